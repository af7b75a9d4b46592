#pragma once

#include "ports.h"

#include <QString>

class Controls;

// A choice in any settings combo applies all combos to every enabled channel.
class ChannelSettings
{
public:
    ChannelSettings(Controls &controls, const Ports &ports);

    void comboClicked(int comboIndex);

private:
    [[nodiscard]] QString settingsText(int channel) const;
    [[nodiscard]] bool applyTo(int channel);

    Controls &m_controls;
    const Ports &m_ports;
};
