#include "linetoggles.h"

#include "controls.h"

LineToggles::LineToggles(Controls &controls, PortSet &ports)
    : m_controls(controls)
    , m_ports(ports)
{
}

void LineToggles::buttonClicked(int channel, Line line)
{
    if (!m_controls.isEnabled(channel))
        return;
    const ColorCode before = m_controls.buttonColor(channel, line);
    const bool raise = before == ColorCode::ButtonFace;
    m_controls.setButtonColor(channel, line, raise ? ColorCode::Red : ColorCode::ButtonFace);

    SerialPort &port = m_ports.port(channel);
    const bool written = line == Line::Dtr ? port.setDtrEnable(raise) : port.setRtsEnable(raise);
    // A line the port refuses keeps its state, so its button keeps the colour that says so.
    if (!written)
        m_controls.setButtonColor(channel, line, before);
}
