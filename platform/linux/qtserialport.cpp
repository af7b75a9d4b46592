#include "qtserialport.h"

#include "nativetermios.h"
#include "portlimits.h"

#include <QEvent>
#include <QSocketNotifier>

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
// - QStringDecoder cannot be told that the input ended and loses the byte after a cut-off sequence:
//   Utf8StreamDecoder keeps its own tail.

namespace {

template<typename From, typename To>
struct Mapping
{
    From from;
    To to;
};

constexpr std::array<Mapping<ParityKind, QSerialPort::Parity>, 5> parities{{
    {ParityKind::None, QSerialPort::NoParity},
    {ParityKind::Even, QSerialPort::EvenParity},
    {ParityKind::Odd, QSerialPort::OddParity},
    {ParityKind::Space, QSerialPort::SpaceParity},
    {ParityKind::Mark, QSerialPort::MarkParity},
}};

constexpr std::array<Mapping<StopBitsKind, QSerialPort::StopBits>, 2> stopBitsKinds{{
    {StopBitsKind::One, QSerialPort::OneStop},
    {StopBitsKind::Two, QSerialPort::TwoStop}, // termios has no one and a half
}};

constexpr std::array<Mapping<int, QSerialPort::DataBits>, 4> dataBitsCounts{{
    {5, QSerialPort::Data5},
    {6, QSerialPort::Data6},
    {7, QSerialPort::Data7},
    {8, QSerialPort::Data8},
}};

template<typename From, typename To, std::size_t N>
[[nodiscard]] std::optional<To> lookUp(const std::array<Mapping<From, To>, N> &table, From from)
{
    for (const auto &entry : table) {
        if (entry.from == from)
            return entry.to;
    }
    return std::nullopt;
}

// QSerialPort offers one kind of flow control at a time; XON/XOFF beside RTS/CTS is added at the driver.
[[nodiscard]] QSerialPort::FlowControl flowControlOf(qint32 handshaking)
{
    const HandshakingMode mode = handshakingModes[std::size_t(handshaking)];
    return mode.rtsCts ? QSerialPort::HardwareControl : mode.xonXoff ? QSerialPort::SoftwareControl : QSerialPort::NoFlowControl;
}

} // namespace

QtSerialPort::QtSerialPort(const QString &deviceName, QObject *parent)
    : QObject(parent), m_openDevice(deviceName), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &QtSerialPort::drain);
}

QtSerialPort::QtSerialPort(DeviceLocator &locator, int channel, QObject *parent)
    : QtSerialPort(QString(), parent)
{
    m_locator = &locator;
    m_channel = channel;
}

QtSerialPort::~QtSerialPort()
{
    close();
}

bool QtSerialPort::setPortOpen(bool open)
{
    if (!open) {
        close();
        return true;
    }
    return m_state == State::Closed && this->open();
}

QString QtSerialPort::openDevice() const
{
    return m_state == State::Open ? m_openDevice : QString();
}

bool QtSerialPort::open()
{
    if (m_locator != nullptr)
        m_openDevice = m_locator->deviceToOpen(m_channel);
    m_port->setPortName(m_openDevice);
    m_port->clearError();
    // Told before the open too, so that QSerialPort's own open does not start from what was in force before.
    const bool opened = putInForce(m_settings, m_handshaking) && m_port->open(QIODevice::ReadWrite);
    if (!opened || !putInForce(m_settings, m_handshaking)) {
        m_failure = failureOfOpen();
        m_driverError = m_port->errorString().simplified();
        if (m_port->isOpen())
            m_port->close();
        return false;
    }
    m_failure = OpenFailure::None;
    // The kernel raises both lines on open. A device without modem lines
    // (a pseudo-terminal) refuses this, and still opens.
    (void)applyLine(QSerialPort::DataTerminalReadySignal, m_dtr);
    handOverRts(m_handshaking);
    watchReadNotifier();
    m_received.clear();
    m_decoder.reset();
    m_state = State::Open;
    return true;
}

// QSerialPort calls a node it may not open and one that another program holds (a lock file, or a tty in
// exclusive mode) alike a permission error: the node's own permissions tell them apart.
QtSerialPort::OpenFailure QtSerialPort::failureOfOpen() const
{
    const QSerialPort::SerialPortError error = m_port->error();
    if (m_openDevice.isEmpty() || error == QSerialPort::DeviceNotFoundError)
        return OpenFailure::NoDevice;
    if (error != QSerialPort::PermissionError && error != QSerialPort::OpenError)
        return OpenFailure::Driver;
    return mayOpen(m_openDevice) ? OpenFailure::Busy : OpenFailure::NoPermission;
}

bool QtSerialPort::reopen()
{
    if (m_state != State::HungUp)
        return false;
    close();
    if (open())
        return true;
    m_state = State::HungUp;
    return false;
}

void QtSerialPort::close()
{
    if (m_port->isOpen()) {
        // Unsent output is dropped: the kernel would otherwise hold the close
        // until it has trickled out, up to half a minute on a stopped line.
        if (m_state == State::Open) {
            (void)m_port->clear(QSerialPort::Output);
            // A closed port asserts nothing, also where the driver does not hang
            // up on close; QSerialPort itself refuses RTS under hardware flow.
            (void)setModemLine(m_port->handle(), ModemLine::Dtr, false);
            (void)setModemLine(m_port->handle(), ModemLine::Rts, false);
        }
        m_port->close();
    }
    m_received.clear();
    m_state = State::Closed;
}

bool QtSerialPort::setSettings(QStringView text)
{
    const std::optional<LineSettings> wanted = parseLineSettings(text);
    if (!wanted || !lookUp(stopBitsKinds, wanted->stopBits) || m_state == State::HungUp || (m_state == State::Open && !change(*wanted, m_handshaking)))
        return false;
    m_settings = *wanted;
    return true;
}

bool QtSerialPort::change(const LineSettings &settings, qint32 handshaking)
{
    if (putInForce(settings, handshaking))
        return true;
    // The driver refused a part after taking others: put back the settings in force, so that they are what
    // a read reports.
    (void)putInForce(m_settings, m_handshaking);
    return false;
}

// The one way settings reach the driver, at an open and at a change alike. While the port is closed
// QSerialPort only keeps them for its open.
bool QtSerialPort::putInForce(const LineSettings &settings, qint32 handshaking)
{
    return applyLineSettings(settings) && m_port->setFlowControl(flowControlOf(handshaking))
           && (!m_port->isOpen()
               || (completeAtDriver(settings, handshaking) && driverTookSpeed(settings.baudRate)));
}

bool QtSerialPort::driverTookSpeed(qint32 baudRate) const
{
    const std::optional<qint32> actual = driverBaudRate(m_port->handle());
    return !actual || speedCloseEnough(baudRate, *actual);
}

std::optional<QString> QtSerialPort::settings() const
{
    return formatLineSettings(m_settings);
}

bool QtSerialPort::applyLineSettings(const LineSettings &settings)
{
    const auto parity = lookUp(parities, settings.parity);
    const auto dataBits = lookUp(dataBitsCounts, settings.dataBits);
    const auto stopBits = lookUp(stopBitsKinds, settings.stopBits);
    return parity && dataBits && stopBits && m_port->setBaudRate(settings.baudRate)
           && m_port->setParity(*parity) && m_port->setDataBits(*dataBits)
           && m_port->setStopBits(*stopBits);
}

bool QtSerialPort::setHandshaking(qint32 handshaking)
{
    if (!isHandshaking(handshaking) || m_state == State::HungUp
        || (m_state == State::Open && !change(m_settings, handshaking)))
        return false;
    if (m_state == State::Open)
        handOverRts(handshaking);
    m_handshaking = handshaking;
    return true;
}

// Under hardware flow the driver owns RTS, but the kernel does not raise it
// when the flow control starts: it is handed over asserted, as an open does.
// Without, RTS goes back to what its button asks for.
void QtSerialPort::handOverRts(qint32 handshaking)
{
    if (flowControlOf(handshaking) == QSerialPort::HardwareControl)
        (void)setModemLine(m_port->handle(), ModemLine::Rts, true);
    else
        (void)applyLine(QSerialPort::RequestToSendSignal, m_rts);
}

std::optional<qint32> QtSerialPort::handshaking() const
{
    return m_handshaking;
}

bool QtSerialPort::completeAtDriver(const LineSettings &settings, qint32 handshaking)
{
    const bool stickParity = settings.parity == ParityKind::Space || settings.parity == ParityKind::Mark;
    return (stickParity || clearStickParity(m_port->handle()))
           && (flowControlOf(handshaking) != QSerialPort::HardwareControl || !handshakingModes[std::size_t(handshaking)].xonXoff
               || addSoftwareFlowControl(m_port->handle()));
}

bool QtSerialPort::setDtrEnable(bool enable)
{
    return setLine(QSerialPort::DataTerminalReadySignal, enable, m_dtr);
}

std::optional<bool> QtSerialPort::dtrEnable() const
{
    return m_dtr;
}

bool QtSerialPort::setRtsEnable(bool enable)
{
    return setLine(QSerialPort::RequestToSendSignal, enable, m_rts);
}

bool QtSerialPort::setLine(QSerialPort::PinoutSignal line, bool enable, bool &wanted)
{
    if (m_state == State::HungUp || (m_state == State::Open && !applyLine(line, enable)))
        return false;
    wanted = enable;
    return true;
}

// The RTS field shows the line: under hardware flow the driver's, whatever the button asks for meanwhile.
std::optional<bool> QtSerialPort::rtsEnable() const
{
    if (m_state == State::Open && flowControlOf(m_handshaking) == QSerialPort::HardwareControl)
        return holding(QSerialPort::RequestToSendSignal);
    return m_rts;
}

bool QtSerialPort::applyLine(QSerialPort::PinoutSignal line, bool enable)
{
    return line == QSerialPort::DataTerminalReadySignal ? m_port->setDataTerminalReady(enable)
                                                        : m_port->setRequestToSend(enable);
}

std::optional<bool> QtSerialPort::cdHolding() const
{
    return holding(QSerialPort::DataCarrierDetectSignal);
}

std::optional<bool> QtSerialPort::ctsHolding() const
{
    return holding(QSerialPort::ClearToSendSignal);
}

std::optional<bool> QtSerialPort::dsrHolding() const
{
    return holding(QSerialPort::DataSetReadySignal);
}

std::optional<bool> QtSerialPort::holding(QSerialPort::PinoutSignal line) const
{
    if (m_state != State::Open)
        return std::nullopt;
    // A failed query answers "no signal"; only the error tells them apart.
    m_port->clearError();
    const QSerialPort::PinoutSignals lines = m_port->pinoutSignals();
    if (m_port->error() != QSerialPort::NoError)
        return std::nullopt;
    return lines.testFlag(line);
}

std::optional<QString> QtSerialPort::input()
{
    if (m_state == State::Open)
        return m_decoder.decode(m_received.take());
    if (m_state != State::HungUp)
        return std::nullopt;
    // What arrived before a hang-up is still shown once, a character it cut off as U+FFFD.
    QString rest = m_decoder.decode(m_received.take());
    rest += m_decoder.flush();
    return rest.isEmpty() ? std::nullopt : std::optional(rest);
}

bool QtSerialPort::output(QStringView text)
{
    if (m_state != State::Open)
        return false;
    const QByteArray bytes = text.toUtf8();
    if (m_port->bytesToWrite() + bytes.size() > transmitCapacity)
        return false;
    return m_port->write(bytes) == bytes.size();
}

void QtSerialPort::drain()
{
    m_received.append(m_port->readAll());
}

void QtSerialPort::watchReadNotifier()
{
    const auto notifiers = m_port->findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read)
            notifier->installEventFilter(this);
    }
}

// Each wake-up of QSerialPort's read notifier, before it reads: one for a device that went away is the
// last, whether or not QSerialPort would report it. Closing the device from inside QSerialPort's own
// notification is unsafe, hence the queued release.
bool QtSerialPort::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::SockAct || m_state == State::Closed || !deviceGone(m_port->handle()))
        return false;
    static_cast<QSocketNotifier *>(watched)->setEnabled(false);
    if (m_state == State::Open) {
        m_state = State::HungUp;
        QMetaObject::invokeMethod(this, &QtSerialPort::releaseHungUpDevice, Qt::QueuedConnection);
    }
    return true;
}

void QtSerialPort::releaseHungUpDevice()
{
    if (m_state == State::HungUp && m_port->isOpen()) {
        drain();
        m_port->close();
    }
}
