#include "portcore.h"

#include "portlimits.h"

namespace {

[[nodiscard]] bool rtsCts(qint32 handshaking)
{
    return handshakingModes[std::size_t(handshaking)].rtsCts;
}

} // namespace

PortCore::PortCore(std::unique_ptr<Transport> transport, QObject *parent)
    : QObject(parent), m_transport(std::move(transport)), m_received(receiveCapacity)
{
    m_transport->attach(*this);
}

PortCore::~PortCore()
{
    release();
}

void PortCore::setTransport(std::unique_ptr<Transport> transport)
{
    if (m_state != State::Closed)
        return;
    m_transport = std::move(transport);
    m_transport->attach(*this);
}

bool PortCore::setPortOpen(bool open)
{
    if (!open) {
        release();
        m_state = State::Closed;
        return true;
    }
    return m_state == State::Closed && this->open(State::Closed);
}

bool PortCore::resume(const QString &device)
{
    if (m_state != State::Waiting)
        return false;
    m_device = device;
    return open(State::Waiting);
}

// A waiting port opens with what the device last took, so that a choice made meanwhile that the driver
// refuses is rolled back like any other change.
bool PortCore::open(State failedState)
{
    if (failedState == State::Closed)
        m_inForce = m_wanted;
    else
        m_transport->close(); // what is left of the device that went away
    const OpenResult result = m_transport->open(m_device, m_inForce);
    m_failure = result.reason;
    switch (result.status) {
    case OpenResult::Status::Opened: opened(); return true;
    case OpenResult::Status::Pending:
        m_stateBeforeOpening = failedState;
        m_state = State::Opening;
        return true;
    case OpenResult::Status::Failed: m_state = failedState; return false;
    }
    return false;
}

void PortCore::opened()
{
    m_received.clear();
    m_decoder.reset();
    m_state = State::Open;
    if (m_wanted != m_inForce && !change(m_wanted))
        m_wanted = m_inForce;
}

void PortCore::openEnded(const OpenResult &result)
{
    if (m_state != State::Opening)
        return;
    m_failure = result.reason;
    if (result.status == OpenResult::Status::Opened) {
        opened();
        return;
    }
    m_state = m_stateBeforeOpening;
    if (m_state == State::Closed)
        Q_EMIT openFailed();
}

void PortCore::release()
{
    if (m_state != State::Closed)
        m_transport->close();
    m_received.clear();
    m_decoder.reset();
}

bool PortCore::change(const PortConfig &wanted)
{
    if (m_transport->configure(wanted)) {
        m_inForce = wanted;
        return true;
    }
    (void)m_transport->configure(m_inForce);
    return false;
}

bool PortCore::setSettings(QStringView text)
{
    const std::optional<LineSettings> line = parseLineSettings(text);
    if (!line || !stopBitsAllowed(m_transport->stopBitsRule(), *line))
        return false;
    PortConfig wanted = m_wanted;
    wanted.line = *line;
    if (m_state == State::Open && !change(wanted))
        return false;
    m_wanted = wanted;
    return true;
}

std::optional<QString> PortCore::settings() const
{
    return formatLineSettings(m_wanted.line);
}

bool PortCore::setHandshaking(qint32 handshaking)
{
    if (!isHandshaking(handshaking))
        return false;
    PortConfig wanted = m_wanted;
    wanted.handshaking = handshaking;
    if (m_state == State::Open && !change(wanted))
        return false;
    m_wanted = wanted;
    return true;
}

std::optional<qint32> PortCore::handshaking() const
{
    return m_wanted.handshaking;
}

bool PortCore::setDtrEnable(bool enable)
{
    if (m_state == State::Open && !m_transport->setLine(OutputLine::Dtr, enable))
        return false;
    m_wanted.dtr = m_state == State::Open ? (m_inForce.dtr = enable) : enable;
    return true;
}

std::optional<bool> PortCore::dtrEnable() const
{
    return m_wanted.dtr;
}

// Under RTS/CTS the driver owns RTS; not every driver says no to a change, so it is refused here.
bool PortCore::setRtsEnable(bool enable)
{
    if (m_state == State::Open && (rtsOwnedByDriver() || !m_transport->setLine(OutputLine::Rts, enable)))
        return false;
    m_wanted.rts = m_state == State::Open ? (m_inForce.rts = enable) : enable;
    return true;
}

// The RTS field shows the line: under RTS/CTS the driver's, whatever the button asks for meanwhile.
std::optional<bool> PortCore::rtsEnable() const
{
    return rtsOwnedByDriver() ? signalState(ModemSignal::Rts) : m_wanted.rts;
}

bool PortCore::rtsOwnedByDriver() const
{
    return m_state == State::Open && rtsCts(m_inForce.handshaking);
}

std::optional<bool> PortCore::cdHolding() const
{
    return signalState(ModemSignal::Dcd);
}

std::optional<bool> PortCore::ctsHolding() const
{
    return signalState(ModemSignal::Cts);
}

std::optional<bool> PortCore::dsrHolding() const
{
    return signalState(ModemSignal::Dsr);
}

std::optional<bool> PortCore::signalState(ModemSignal signal) const
{
    return m_state == State::Open ? m_transport->signalState(signal) : std::nullopt;
}

std::optional<QString> PortCore::input()
{
    if (m_state == State::Open)
        return m_decoder.decode(m_received.take());
    if (m_state != State::Waiting && !(m_state == State::Opening && m_stateBeforeOpening == State::Waiting))
        return std::nullopt;
    // What arrived before a hang-up is still shown once, a character it cut off as U+FFFD, also while the
    // port resumes: a resume that goes through starts afresh.
    QString rest = m_decoder.decode(m_received.take());
    rest += m_decoder.flush();
    return rest.isEmpty() ? std::nullopt : std::optional(rest);
}

bool PortCore::output(QStringView text)
{
    if (m_state != State::Open)
        return false;
    const QByteArray bytes = text.toUtf8();
    return m_transport->queued() + bytes.size() <= transmitCapacity && m_transport->write(bytes);
}

void PortCore::received(QByteArrayView bytes)
{
    m_received.append(bytes);
}

// The transport is let go from the event loop: it may have noticed the hang-up inside its own notifier.
void PortCore::hungUp()
{
    if (m_state != State::Open)
        return;
    m_state = State::Waiting;
    QMetaObject::invokeMethod(this, [this] { if (m_state == State::Waiting) m_transport->close(); },
                              Qt::QueuedConnection);
}
