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

QString SystemPorts::description(int channel)
{
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
