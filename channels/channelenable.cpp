#include "channelenable.h"

#include "controls.h"
#include "qstringfrom.h"
#include "channeltexts.h"

ChannelEnable::ChannelEnable(Controls &controls, PortSet &ports)
    : m_controls(controls)
    , m_ports(ports)
{
}

void ChannelEnable::checkClicked(int channel)
{
    SerialPort &port = m_ports.port(channel);
    if (!m_controls.isEnabled(channel)) {
        (void)port.setPortOpen(false); // closing a port that never opened is no error
        return;
    }
    if (!m_ports.openPort(channel))
        openFailed(channel);
}

void ChannelEnable::openFailed(int channel)
{
    if (!m_controls.isEnabled(channel))
        return;
    m_controls.showMessage(qs(texts::portNotFound));
    m_controls.setCheckValue(channel, 0);
    // The untick may or may not have come back here as a click; the port ends closed either way.
    (void)m_ports.port(channel).setPortOpen(false);
}
