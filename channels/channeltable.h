#pragma once

#include <array>

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
    int portNumber;
    std::array<int, settingsRoleCount> combos; // Combo1 index, by SettingsRole
};

// COM2 to COM4 number their line-setting combos from stop bits up.
inline constexpr std::array<ChannelEntry, channelCount> channelTable{{
    {1, {0, 1, 2, 3, 16}},
    {2, {7, 6, 5, 4, 17}},
    {3, {11, 10, 9, 8, 18}},
    {4, {15, 14, 13, 12, 19}},
}};

[[nodiscard]] constexpr int comboIndex(int channel, SettingsRole role)
{
    return channelTable[channel].combos[static_cast<int>(role)];
}
