#pragma once

#include "portset.h"

#include <QString>

class Controls;

// A choice in any settings combo applies all combos to every enabled channel.
class ChannelSettings
{
public:
    ChannelSettings(Controls &controls, PortSet &ports);

    void comboClicked(int comboIndex);

private:
    [[nodiscard]] QString settingsText(int channel) const;
    [[nodiscard]] bool applyTo(int channel);

    Controls &m_controls;
    PortSet &m_ports;
};
