#include "channelsettings.h"

#include "controls.h"
#include "linesettings.h"
#include "qstringfrom.h"
#include "channeltexts.h"

#include <QStringList>

ChannelSettings::ChannelSettings(Controls &controls, PortSet &ports)
    : m_controls(controls)
    , m_ports(ports)
{
}

void ChannelSettings::comboClicked(int /*comboIndex: every choice applies all combos*/)
{
    for (int channel = 0; channel < channelCount; ++channel) {
        if (!m_controls.isEnabled(channel))
            continue;
        if (!applyTo(channel))
            m_controls.showMessage(qs(texts::notAllowed));
    }
}

QString ChannelSettings::settingsText(int channel) const
{
    constexpr SettingsRole lineRoles[] = {SettingsRole::Baud, SettingsRole::Parity,
                                          SettingsRole::DataBits, SettingsRole::StopBits};
    QStringList parts;
    for (SettingsRole role : lineRoles)
        parts << m_controls.comboText(comboIndex(channel, role));
    return parts.join(QLatin1Char(','));
}

bool ChannelSettings::applyTo(int channel)
{
    SerialPort &port = m_ports.port(channel);
    // Both steps are tried whatever the first one gives.
    const bool settingsTaken = port.setSettings(settingsText(channel));
    const auto handshaking =
        parseHandshakingText(m_controls.comboText(comboIndex(channel, SettingsRole::Handshaking)));
    const bool handshakingTaken = handshaking && port.setHandshaking(*handshaking);
    return settingsTaken && handshakingTaken;
}
