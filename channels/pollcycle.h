#pragma once

#include "channeltable.h"
#include "colorcode.h"
#include "portset.h"

#include <QString>

#include <array>
#include <chrono>
#include <optional>

class Controls;

// Every tick rebuilds each channel's panel from its port: enabled channels are
// read and their TD text sent on alternate ticks, disabled ones are blanked.
class PollCycle
{
public:
    static constexpr std::chrono::milliseconds period{300};

    PollCycle(Controls &controls, PortSet &ports);

    void tick();
    void resetTransmitPhases();

    [[nodiscard]] qint16 transmitPhase(int channel) const { return m_phases[channel]; }

private:
    void pollEnabled(int channel);
    void blankDisabled(int channel);
    void showLine(int channel, Pin pin, std::optional<bool> state, ColorCode active);
    void showReceived(int channel, const std::optional<QString> &received);
    void transmit(int channel);

    Controls &m_controls;
    PortSet &m_ports;
    std::array<qint16, channelCount> m_phases{1, 1, 1, 1};
};
