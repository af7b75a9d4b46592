#include "systemports.h"

#include "devicetexts.h"
#include "qstringfrom.h"

namespace {

// An adapter plugged in or pulled out shows in the tooltip this much later at most.
constexpr int listLifetimeMs = 3000;

} // namespace

SystemPorts::SystemPorts()
{
    for (int channel = 0; channel < count; ++channel)
        m_ports[channel] = std::make_unique<WinSerialPort>(qs(texts::comLead) + QString::number(channel + 1));
}

SystemPorts::~SystemPorts() = default;

SerialPort &SystemPorts::port(int channel)
{
    return *m_ports[channel];
}

// Asked on every poll tick: a channel whose device went away opens its COM number again here as soon as
// it answers, and says meanwhile that it waits.
QString SystemPorts::description(int channel)
{
    WinSerialPort &port = *m_ports[channel];
    if (port.isHungUp() && !port.reopen())
        return port.comName() + qs(texts::awaitingReturnTail);
    const std::array<bool, count> open = openPorts();
    if (m_listFresh.hasExpired() || open != m_listedWhileOpen) {
        m_listed = listComPorts();
        m_listedWhileOpen = open;
        m_listFresh.setRemainingTime(listLifetimeMs);
    }
    return describeComPort(m_ports[channel]->comName(), m_listed);
}

std::array<bool, SystemPorts::count> SystemPorts::openPorts() const
{
    std::array<bool, count> open{};
    for (int channel = 0; channel < count; ++channel)
        open[channel] = m_ports[channel]->isOpen();
    return open;
}
