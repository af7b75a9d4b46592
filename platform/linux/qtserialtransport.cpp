#include "qtserialtransport.h"

#include "openfailure.h"
#include "nativetermios.h"
#include "portlimits.h"

#include <QEvent>

#include <array>

// Where Qt Serial Port needs help, as found in 6.4.2 (Debian 12) and 6.8.2 (Debian 13); none of it is mended
// in between, so nothing here depends on the version:
// - A device that goes away makes read() return 0. Qt 6.4 calls that an error, ReadError or ResourceError by
//   whatever errno an earlier call left, and after a ReadError reads on; Qt 6.8 reports nothing at all, and
//   its read notifier then fires at every pass of the event loop. Both are caught at that notifier's wake-up,
//   before QSerialPort reads: the one place a hang-up is noticed.
// - A write the driver refuses with EAGAIN, as on a line stopped by XOFF, is reported as a ResourceError by
//   both, though the data stays queued and goes out later: no hang-up.
// - It neither clears stick parity, nor adds XON/XOFF to RTS/CTS, nor hands RTS over (nativetermios.h).
// - Its open reports the system's error only as the C library's text.

namespace {

// Short enough that at 921,600 baud the line discipline's 4 KiB never fills meanwhile, which would stop
// a sender under RTS/CTS; and each read takes at most those 4 KiB, so a few are made in a row.
constexpr int readRestMs = 25;
constexpr int readsInARow = 64;

// Indexed by ParityKind, StopBitsKind and ModemSignal; termios has no one and a half stop bits.
constexpr std::array<QSerialPort::Parity, 5> parities{QSerialPort::NoParity, QSerialPort::EvenParity,
                                                      QSerialPort::OddParity, QSerialPort::SpaceParity,
                                                      QSerialPort::MarkParity};
constexpr std::array<QSerialPort::StopBits, 3> stopBitsKinds{QSerialPort::OneStop, QSerialPort::OneAndHalfStop,
                                                             QSerialPort::TwoStop};
constexpr std::array<QSerialPort::PinoutSignal, 4> pinouts{
    QSerialPort::DataCarrierDetectSignal, QSerialPort::DataSetReadySignal, QSerialPort::ClearToSendSignal,
    QSerialPort::RequestToSendSignal};

// QSerialPort offers one kind of flow control at a time; XON/XOFF beside RTS/CTS is added at the driver.
[[nodiscard]] QSerialPort::FlowControl flowControlOf(qint32 handshaking)
{
    const HandshakingMode mode = handshakingModes[std::size_t(handshaking)];
    return mode.rtsCts ? QSerialPort::HardwareControl
         : mode.xonXoff ? QSerialPort::SoftwareControl
                        : QSerialPort::NoFlowControl;
}

} // namespace

QtSerialTransport::QtSerialTransport(QObject *parent) : QObject(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &QtSerialTransport::readArrived);
    m_readRest.setSingleShot(true);
    m_readRest.callOnTimeout(this, &QtSerialTransport::endReadRest);
}

QtSerialTransport::~QtSerialTransport()
{
    close();
}

OpenResult QtSerialTransport::open(const QString &device, const PortConfig &config)
{
    const QString reason = unusableDeviceReason(device);
    if (!reason.isEmpty())
        return OpenResult::failed(reason);
    m_port->setPortName(device);
    m_port->clearError();
    m_gone = false;
    // Told before the open too, so that QSerialPort's own open does not start from what was in force before.
    if (!putInForce(config) || !m_port->open(QIODevice::ReadWrite) || !configure(config)) {
        const QString failure = failureReason(device);
        m_port->close();
        return OpenResult::failed(failure);
    }
    // What reached the driver while the port was closed is not this open's.
    (void)m_port->clear(QSerialPort::Input);
    watchReadNotifier();
    return OpenResult::opened();
}

QString QtSerialTransport::failureReason(const QString &device) const
{
    if (m_port->error() == QSerialPort::PermissionError || m_port->error() == QSerialPort::OpenError)
        return refusedOpenReason(device, m_port->errorString());
    return openErrorReason(m_port->errorString());
}

void QtSerialTransport::close()
{
    if (!m_port->isOpen())
        return;
    // Unsent output is dropped: the kernel would otherwise hold the close until it has trickled out, up
    // to half a minute on a stopped line. A closed port asserts nothing, also where the driver does not
    // hang up on close; QSerialPort itself refuses RTS under hardware flow.
    if (!m_gone) {
        (void)m_port->clear(QSerialPort::Output);
        (void)setModemLine(m_port->handle(), ModemLine::Dtr, false);
        (void)setModemLine(m_port->handle(), ModemLine::Rts, false);
    }
    m_readRest.stop();
    drain();
    m_port->close();
}

bool QtSerialTransport::configure(const PortConfig &config)
{
    if (!putInForce(config))
        return false;
    handOverLines(config);
    return true;
}

// While the port is closed QSerialPort only keeps the settings for its open.
bool QtSerialTransport::putInForce(const PortConfig &config)
{
    const LineSettings &line = config.line;
    return m_port->setBaudRate(line.baudRate) && m_port->setParity(parities[std::size_t(line.parity)])
        && m_port->setDataBits(QSerialPort::DataBits(line.dataBits))
        && m_port->setStopBits(stopBitsKinds[std::size_t(line.stopBits)])
        && m_port->setFlowControl(flowControlOf(config.handshaking))
        && (!m_port->isOpen() || (completeAtDriver(config) && driverTookSpeed(line.baudRate)));
}

bool QtSerialTransport::completeAtDriver(const PortConfig &config)
{
    const ParityKind parity = config.line.parity;
    const bool stickParity = parity == ParityKind::Space || parity == ParityKind::Mark;
    const HandshakingMode mode = handshakingModes[std::size_t(config.handshaking)];
    return (stickParity || clearStickParity(m_port->handle()))
        && (!mode.rtsCts || !mode.xonXoff || addSoftwareFlowControl(m_port->handle()));
}

bool QtSerialTransport::driverTookSpeed(qint32 baudRate) const
{
    const std::optional<qint32> actual = driverBaudRate(m_port->handle());
    return !actual || speedCloseEnough(baudRate, *actual);
}

// The kernel raises both lines at an open and does not raise RTS when hardware flow starts: under it
// RTS is handed over asserted, otherwise both go to what is wished. A device without modem lines (a
// pseudo-terminal) refuses this, and still works.
void QtSerialTransport::handOverLines(const PortConfig &config)
{
    const bool rtsCts = handshakingModes[std::size_t(config.handshaking)].rtsCts;
    (void)setModemLine(m_port->handle(), ModemLine::Dtr, config.dtr);
    (void)setModemLine(m_port->handle(), ModemLine::Rts, rtsCts || config.rts);
}

bool QtSerialTransport::setLine(OutputLine line, bool asserted)
{
    return line == OutputLine::Dtr ? m_port->setDataTerminalReady(asserted) : m_port->setRequestToSend(asserted);
}

std::optional<bool> QtSerialTransport::signalState(ModemSignal signal)
{
    // A failed query answers "no signal"; only the error tells them apart.
    m_port->clearError();
    const QSerialPort::PinoutSignals lines = m_port->pinoutSignals();
    const bool answered = m_port->error() == QSerialPort::NoError;
    return answered ? std::optional(lines.testFlag(pinouts[std::size_t(signal)])) : std::nullopt;
}

bool QtSerialTransport::write(QByteArrayView bytes)
{
    return m_port->write(bytes.data(), bytes.size()) == bytes.size();
}

qint64 QtSerialTransport::queued() const
{
    return m_port->bytesToWrite();
}

// A fast line wakes the reader for every few hundred bytes, while the window shows what came only every
// 300 ms: so after each read the read notifier rests a moment, and what came meanwhile is taken at once.
void QtSerialTransport::readArrived()
{
    for (int read = 0; read < readsInARow && m_port->waitForReadyRead(0); ++read) {
    }
    drain();
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    m_readRest.start(readRestMs);
}

// What came meanwhile is handed over through readArrived, which rests again. Otherwise the notifier takes
// over, and with it the check for a device that went away, however QSerialPort took that read.
void QtSerialTransport::endReadRest()
{
    (void)m_port->waitForReadyRead(0);
    if (!m_readRest.isActive() && m_readNotifier)
        m_readNotifier->setEnabled(true);
}

void QtSerialTransport::drain()
{
    const QByteArray bytes = m_port->readAll();
    if (!bytes.isEmpty())
        events().received(bytes);
}

void QtSerialTransport::watchReadNotifier()
{
    const auto notifiers = m_port->findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read) {
            notifier->installEventFilter(this);
            m_readNotifier = notifier;
        }
    }
}

// Each wake-up of QSerialPort's read notifier, before it reads: one for a device that went away is the
// last, whether or not QSerialPort would report it.
bool QtSerialTransport::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::SockAct || m_gone || !deviceGone(m_port->handle()))
        return false;
    static_cast<QSocketNotifier *>(watched)->setEnabled(false);
    m_gone = true;
    events().hungUp();
    return true;
}
