#include "qtserialport.h"

#include "nativetermios.h"

#include <QScopedValueRollback>

#include <array>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {

struct HandshakingMode
{
    QSerialPort::FlowControl flowControl;
    bool addsSoftware;
};

// Indexed by the handshaking number.
constexpr std::array<HandshakingMode, 4> handshakingModes{{
    {QSerialPort::NoFlowControl, false},
    {QSerialPort::SoftwareControl, false},
    {QSerialPort::HardwareControl, false},
    {QSerialPort::HardwareControl, true},
}};

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

constexpr std::array<Mapping<StopBitsKind, QSerialPort::StopBits>, 3> stopBitsKinds{{
    {StopBitsKind::One, QSerialPort::OneStop},
    {StopBitsKind::OneAndHalf, QSerialPort::OneAndHalfStop},
    {StopBitsKind::Two, QSerialPort::TwoStop},
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

[[nodiscard]] bool isHandshaking(qint32 handshaking)
{
    return handshaking >= 0 && handshaking < qint32(handshakingModes.size());
}

} // namespace

QtSerialPort::QtSerialPort(DeviceResolver device, QObject *parent)
    : QObject(parent), m_device(std::move(device)), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &QtSerialPort::drain);
    connect(m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::QtSerialPort(const QString &deviceName, QObject *parent)
    : QtSerialPort([deviceName] { return deviceName; }, parent)
{
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
    return m_state == State::Closed ? QString() : m_openDevice;
}

bool QtSerialPort::open()
{
    const QScopedValueRollback inCall(m_inCall, true);
    m_openDevice = m_device();
    m_port->setPortName(m_openDevice);
    // While closed these only tell QSerialPort what to set up at its open.
    if (!applyLineSettings(m_settings)
        || !m_port->setFlowControl(handshakingModes[std::size_t(m_handshaking)].flowControl)
        || !m_port->open(QIODevice::ReadWrite))
        return false;
    if (!completeAtDriver(m_settings, m_handshaking)) {
        m_port->close();
        return false;
    }
    // The kernel raises both lines on open. A device without modem lines
    // (a pseudo-terminal) refuses this, and still opens.
    (void)applyLine(QSerialPort::DataTerminalReadySignal, m_dtr);
    (void)applyLine(QSerialPort::RequestToSendSignal, m_rts);
    m_received.clear();
    m_decoder.reset();
    m_state = State::Open;
    return true;
}

void QtSerialPort::close()
{
    const QScopedValueRollback inCall(m_inCall, true);
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
    if (!wanted || m_state == State::HungUp)
        return false;
    if (m_state == State::Open) {
        const QScopedValueRollback inCall(m_inCall, true);
        if (!applyLineSettings(*wanted) || !completeAtDriver(*wanted, m_handshaking)
            || !driverTookSpeed(wanted->baudRate)) {
            // The driver refused a part after taking others: put back the
            // settings in force, so that they are what a read reports.
            (void)applyLineSettings(m_settings);
            (void)completeAtDriver(m_settings, m_handshaking);
            return false;
        }
    }
    m_settings = *wanted;
    return true;
}

// A UART that cannot do a speed may keep its old one or clip the new one, and
// both driver paths report success all the same.
bool QtSerialPort::driverTookSpeed(qint32 baudRate) const
{
    const std::optional<qint32> actual = driverBaudRate(m_port->handle());
    return !actual || *actual == baudRate;
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
    if (!isHandshaking(handshaking) || m_state == State::HungUp)
        return false;
    if (m_state == State::Open) {
        const QScopedValueRollback inCall(m_inCall, true);
        if (!applyHandshaking(handshaking)) {
            (void)applyHandshaking(m_handshaking);
            return false;
        }
        handOverRts(handshaking);
    }
    m_handshaking = handshaking;
    return true;
}

// Under hardware flow the driver owns RTS, but the kernel does not raise it
// when the flow control starts: it is handed over asserted, as an open does.
// Without, RTS goes back to what its button asks for.
void QtSerialPort::handOverRts(qint32 handshaking)
{
    if (handshakingModes[std::size_t(handshaking)].flowControl == QSerialPort::HardwareControl)
        (void)setModemLine(m_port->handle(), ModemLine::Rts, true);
    else
        (void)applyLine(QSerialPort::RequestToSendSignal, m_rts);
}

std::optional<qint32> QtSerialPort::handshaking() const
{
    return m_handshaking;
}

bool QtSerialPort::applyHandshaking(qint32 handshaking)
{
    return m_port->setFlowControl(handshakingModes[std::size_t(handshaking)].flowControl)
           && completeAtDriver(m_settings, handshaking);
}

bool QtSerialPort::completeAtDriver(const LineSettings &settings, qint32 handshaking)
{
    const bool stickParity = settings.parity == ParityKind::Space || settings.parity == ParityKind::Mark;
    return (stickParity || clearStickParity(m_port->handle()))
           && (!handshakingModes[std::size_t(handshaking)].addsSoftware
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

std::optional<bool> QtSerialPort::rtsEnable() const
{
    return m_rts;
}

bool QtSerialPort::applyLine(QSerialPort::PinoutSignal line, bool enable)
{
    const QScopedValueRollback inCall(m_inCall, true);
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
    const QScopedValueRollback inCall(m_inCall, true);
    // A failed query answers "no signal"; only the error tells them apart.
    m_port->clearError();
    const QSerialPort::PinoutSignals lines = m_port->pinoutSignals();
    if (m_port->error() != QSerialPort::NoError)
        return std::nullopt;
    return lines.testFlag(line);
}

std::optional<QString> QtSerialPort::input()
{
    // What arrived before a hang-up is still shown once.
    if (!deviceUsable() && (m_state != State::HungUp || m_received.size() == 0))
        return std::nullopt;
    return m_decoder.decode(m_received.take());
}

bool QtSerialPort::output(QStringView text)
{
    if (!deviceUsable())
        return false;
    const QByteArray bytes = text.toUtf8();
    const QScopedValueRollback inCall(m_inCall, true);
    if (m_port->bytesToWrite() + bytes.size() > transmitCapacity)
        return false;
    return m_port->write(bytes) == bytes.size();
}

bool QtSerialPort::deviceUsable()
{
    if (m_state != State::Open)
        return false;
    if (deviceGone()) {
        m_state = State::HungUp;
        releaseHungUpDevice();
        return false;
    }
    return true;
}

// Catches a hang-up that the event loop has not run to notice yet.
bool QtSerialPort::deviceGone() const
{
#ifdef Q_OS_UNIX
    pollfd descriptor{m_port->handle(), 0, 0};
    return ::poll(&descriptor, 1, 0) == 1 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

void QtSerialPort::drain()
{
    m_received.append(m_port->readAll());
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || m_inCall || m_state != State::Open)
        return;
    // A write refused for lack of room, on a line stopped by XOFF, is no
    // hang-up: the data stays queued and goes out when the line resumes.
    if (!deviceGone()) {
        m_port->clearError();
        return;
    }
    // The device is gone (EOF, EIO). Its read notifier would fire for ever;
    // closing it from inside its own notification is unsafe, hence the queued call.
    m_state = State::HungUp;
    QMetaObject::invokeMethod(this, &QtSerialPort::releaseHungUpDevice, Qt::QueuedConnection);
}

void QtSerialPort::releaseHungUpDevice()
{
    const QScopedValueRollback inCall(m_inCall, true);
    if (m_state == State::HungUp && m_port->isOpen()) {
        drain();
        m_port->close();
    }
}
