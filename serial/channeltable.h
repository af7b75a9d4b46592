#pragma once

#include <array>
#include <string_view>

inline constexpr int channelCount = 4;
inline constexpr int pinCount = 9;
inline constexpr int comboCount = 20;

// DB-9 pin numbers.
enum class Pin : int { Dcd = 1, Rd, Td, Dtr, Gnd, Dsr, Rts, Cts, Ri };
enum class Line { Dtr, Rts };
enum class SettingsRole : int { Baud, Parity, DataBits, StopBits, Handshaking };
inline constexpr int settingsRoleCount = 5;

struct ChannelEntry
{
    std::string_view checkBox;
    std::string_view checkCaption;
    std::string_view serialPort;
    int portNumber;
    std::string_view statusLabel;
    int firstPinField;                        // text box number of pin 1
    std::array<int, settingsRoleCount> combos; // Combo1 index, by SettingsRole
    std::string_view handshakingLabel;
    std::string_view handshakingCaption;
    std::string_view dtrButton;
    std::string_view rtsButton;
};

// Which controls belong to which channel. COM3's status label is Label16 and
// COM4's Label15; COM2 to COM4 number their line-setting combos from stop bits up.
inline constexpr std::array<ChannelEntry, channelCount> channelTable{{
    {"Check1", "Com1", "MSComm1", 1, "Label13", 2, {0, 1, 2, 3, 16}, "Label21", "управл", "Command3", "Command4"},
    {"Check2", "Com2", "MSComm2", 2, "Label14", 11, {7, 6, 5, 4, 17}, "Label22", "управл.", "Command5", "Command6"},
    {"Check3", "Com3", "MSComm3", 3, "Label16", 20, {11, 10, 9, 8, 18}, "Label23", "управл.", "Command7", "Command8"},
    {"Check4", "Com4", "MSComm4", 4, "Label15", 29, {15, 14, 13, 12, 19}, "Label24", "управл.", "Command9", "Command10"},
}};

[[nodiscard]] constexpr int pinFieldNumber(int channel, Pin pin)
{
    return channelTable[channel].firstPinField + static_cast<int>(pin) - 1;
}

[[nodiscard]] constexpr int comboIndex(int channel, SettingsRole role)
{
    return channelTable[channel].combos[static_cast<int>(role)];
}
