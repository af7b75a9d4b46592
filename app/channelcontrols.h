#pragma once

#include "channeltable.h"

#include <array>
#include <string_view>

struct ChannelControls
{
    std::string_view checkBox;
    std::string_view checkCaption;
    std::string_view serialPort;
    std::string_view statusLabel;
    int firstPinField; // text box number of pin 1
    std::string_view handshakingLabel;
    std::string_view handshakingCaption;
    std::string_view dtrButton;
    std::string_view rtsButton;
};

// The controls of each channel by name. COM3's status label is Label16 and COM4's Label15.
inline constexpr std::array<ChannelControls, channelCount> channelControls{{
    {"Check1", "Com1", "MSComm1", "Label13", 2, "Label21", "управл", "Command3", "Command4"},
    {"Check2", "Com2", "MSComm2", "Label14", 11, "Label22", "управл.", "Command5", "Command6"},
    {"Check3", "Com3", "MSComm3", "Label16", 20, "Label23", "управл.", "Command7", "Command8"},
    {"Check4", "Com4", "MSComm4", "Label15", 29, "Label24", "управл.", "Command9", "Command10"},
}};

[[nodiscard]] constexpr int pinFieldNumber(int channel, Pin pin)
{
    return channelControls[channel].firstPinField + static_cast<int>(pin) - 1;
}
