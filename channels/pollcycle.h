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

private:
    void pollEnabled(int channel);
    void blankDisabled(int channel);
    void showLine(int channel, Pin pin, std::optional<bool> state, ColorCode active);
    void showReceived(int channel, const std::optional<QString> &received);
    void transmit(int channel);

    Controls &m_controls;
    PortSet &m_ports;
    // A tick that finds TD text sends it and makes the next one skip.
    enum class TransmitPhase : qint16 { Send = 1, Skip = 2 };

    std::array<TransmitPhase, channelCount> m_phases{TransmitPhase::Send, TransmitPhase::Send,
                                                     TransmitPhase::Send, TransmitPhase::Send};
};
