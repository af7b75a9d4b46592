#include "systemports.h"

#include "porttexts.h"
#include "qstringfrom.h"
#include "wincommtransport.h"

#include <algorithm>

namespace {

// An adapter plugged in or pulled out shows in the tooltip this much later at most.
constexpr int listLifetimeMs = 3000;

[[nodiscard]] std::unique_ptr<Transport> localTransport()
{
    return std::make_unique<WinCommTransport>();
}

[[nodiscard]] QString comName(int channel)
{
    return qs(texts::comLead) + QString::number(channel + 1);
}

} // namespace

SystemPorts::SystemPorts() : m_remote(localTransport)
{
    for (auto &port : m_ports)
        port = std::make_unique<PortCore>(localTransport());
}

SystemPorts::~SystemPorts() = default;

SerialPort &SystemPorts::port(int channel)
{
    return *m_ports[channel];
}

bool SystemPorts::openPort(int channel)
{
    if (m_ports[channel]->state() != PortCore::State::Closed)
        return false;
    if (const std::optional<bool> remote = m_remote.open(channel, *m_ports[channel]))
        return *remote;
    m_ports[channel]->setDevice(comName(channel));
    return m_ports[channel]->setPortOpen(true);
}

// A channel whose device went away opens its COM number again as soon as it answers.
void SystemPorts::resumeWaiting()
{
    for (int channel = 0; channel < count; ++channel) {
        if (!m_remote.resume(channel, *m_ports[channel]) && m_ports[channel]->state() == PortCore::State::Waiting)
            (void)m_ports[channel]->resume(comName(channel));
    }
}

QString SystemPorts::description(int channel) const
{
    const PortCore &port = *m_ports[channel];
    if (const std::optional<QString> remote = m_remote.description(channel, port))
        return *remote;
    if (port.state() == PortCore::State::Waiting)
        return comName(channel) + qs(texts::awaitingReturnTail);
    const std::array<PortCore::State, count> now = states();
    if (m_listFresh.hasExpired() || now != m_listedWith) {
        m_listed = listComPorts();
        m_listedWith = now;
        m_listFresh.setRemainingTime(listLifetimeMs);
    }
    // A refusal is shown while the port it speaks of is there to be ticked again.
    const bool listed = std::ranges::any_of(m_listed, [&](const ComPortInfo &info) {
        return info.name.compare(comName(channel), Qt::CaseInsensitive) == 0;
    });
    if (port.state() == PortCore::State::Closed && !port.openFailure().isEmpty() && listed)
        return comName(channel) + qs(texts::deviceSeparator) + port.openFailure();
    return describeComPort(comName(channel), m_listed);
}

std::array<PortCore::State, SystemPorts::count> SystemPorts::states() const
{
    std::array<PortCore::State, count> states{};
    for (int channel = 0; channel < count; ++channel)
        states[channel] = m_ports[channel]->state();
    return states;
}
