#include "pollcycle.h"

#include "controls.h"
#include "qstringfrom.h"
#include "channeltexts.h"

namespace {

[[nodiscard]] QString truthText(bool state)
{
    return qs(state ? texts::trueText : texts::falseText);
}

// Only "True" counts; an empty field (a status never read) is not shown as asserted.
[[nodiscard]] bool isTrueText(const QString &text)
{
    return text == qs(texts::trueText);
}

// Control characters made visible as their Unicode control pictures.
[[nodiscard]] QString withControlPictures(const QString &text)
{
    constexpr char16_t deletePicture = 0x2421;
    constexpr char16_t firstControlPicture = 0x2400;
    QString visible = text;
    for (QChar &c : visible) {
        if (c.unicode() < 0x20)
            c = QChar(char16_t(firstControlPicture + c.unicode()));
        else if (c.unicode() == 0x7F)
            c = QChar(deletePicture);
    }
    return visible;
}

// Empty for a value that has no name.
[[nodiscard]] QString handshakeName(std::optional<qint32> handshaking)
{
    if (!handshaking || *handshaking < 0 || *handshaking >= qint32(texts::handshakeNames.size()))
        return {};
    return qs(texts::handshakeNames[std::size_t(*handshaking)]);
}

} // namespace

PollCycle::PollCycle(Controls &controls, PortSet &ports)
    : m_controls(controls)
    , m_ports(ports)
{
}

void PollCycle::resetTransmitPhases()
{
    m_phases.fill(TransmitPhase::Send);
}

void PollCycle::tick()
{
    for (int channel = 0; channel < channelCount; ++channel) {
        if (m_controls.isEnabled(channel))
            pollEnabled(channel);
        else
            blankDisabled(channel);
    }
}

void PollCycle::pollEnabled(int channel)
{
    SerialPort &port = m_ports.port(channel);
    // A failed read leaves its control as it was; nothing is reported.
    const QString name = handshakeName(port.handshaking());
    if (const auto settings = port.settings())
        m_controls.setStatusCaption(channel, *settings + QStringLiteral("  ") + name);
    showLine(channel, Pin::Dcd, port.cdHolding(), ColorCode::Green);
    showReceived(channel, port.input());
    transmit(channel);
    showLine(channel, Pin::Dtr, port.dtrEnable(), ColorCode::Red);
    m_controls.setPinText(channel, Pin::Gnd, qs(texts::groundText));
    showLine(channel, Pin::Dsr, port.dsrHolding(), ColorCode::Green);
    showLine(channel, Pin::Rts, port.rtsEnable(), ColorCode::Red);
    showLine(channel, Pin::Cts, port.ctsHolding(), ColorCode::Green);
}

void PollCycle::showLine(int channel, Pin pin, std::optional<bool> state, ColorCode active)
{
    if (state)
        m_controls.setPinText(channel, pin, truthText(*state));
    const bool on = isTrueText(m_controls.pinText(channel, pin));
    m_controls.setIndicatorColor(channel, pin, on ? active : ColorCode::WindowBackground);
}

void PollCycle::showReceived(int channel, const std::optional<QString> &received)
{
    if (!received)
        return; // the field keeps what it showed, and so does its indicator
    m_controls.setPinText(channel, Pin::Rd, withControlPictures(*received));
    m_controls.setIndicatorColor(channel, Pin::Rd,
                                 received->isEmpty() ? ColorCode::WindowBackground : ColorCode::Green);
}

void PollCycle::transmit(int channel)
{
    TransmitPhase &phase = m_phases[channel];
    const QString text = m_controls.pinText(channel, Pin::Td);
    if (text.isEmpty() || phase != TransmitPhase::Send) {
        m_controls.setIndicatorColor(channel, Pin::Td, ColorCode::WindowBackground);
        phase = TransmitPhase::Send;
        return;
    }
    m_controls.setIndicatorColor(channel, Pin::Td, ColorCode::Red);
    (void)m_ports.port(channel).output(text); // a refused send still counts as this phase's send
    phase = TransmitPhase::Skip;
}

void PollCycle::blankDisabled(int channel)
{
    // Each field is followed by one indicator, but from field 6 on by the one
    // before it: GND's indicator is painted only here, RI's never.
    for (int pin = 1; pin <= pinCount; ++pin) {
        m_controls.setPinText(channel, Pin(pin), QString());
        if (pin != int(Pin::Gnd))
            m_controls.setIndicatorColor(channel, Pin(pin < int(Pin::Gnd) ? pin : pin - 1),
                                         ColorCode::WindowBackground);
    }

    SerialPort &port = m_ports.port(channel);
    (void)port.setDtrEnable(false);
    m_controls.setButtonColor(channel, Line::Dtr, ColorCode::ButtonFace);
    (void)port.setRtsEnable(false);
    m_controls.setButtonColor(channel, Line::Rts, ColorCode::ButtonFace);
    m_controls.setStatusCaption(channel, QString());
}
