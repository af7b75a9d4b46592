#pragma once

#include "channelcontrols.h"
#include "colorcode.h"
#include "windowtexts.h"

#include <array>
#include <span>
#include <string_view>

// Where every control of Form1 stands, in pixels from the top-left corner of its
// container; top-level controls stand in the client area below the menu bar.
namespace windowlayout {

struct Rect
{
    int x;
    int y;
    int width;
    int height;
};

inline constexpr int clientWidth = 684;
inline constexpr int clientHeight = 551;

// An index of -1 marks a control that is not an element of a control array.
struct FrameEntry
{
    std::string_view name;
    int index;
    std::string_view caption;
    Rect rect;
};

// The top-level containers; each row of the lower zone reads settings, pins, pins, settings.
inline constexpr std::array<FrameEntry, 10> topLevelFrames{{
    {"Frame4", -1, {}, {0, 0, 449, 265}},
    {"Frame1", -1, texts::portsBox, {15, 32, 81, 89}},
    {"Frame3", 0, texts::settingsPanel, {6, 248, 90, 130}},
    {"Frame2", 0, texts::pinPanels[0], {98, 248, 241, 145}},
    {"Frame2", 1, texts::pinPanels[1], {342, 248, 241, 145}},
    {"Frame3", 1, texts::settingsPanel, {585, 248, 90, 130}},
    {"Frame3", 2, texts::settingsPanel, {6, 396, 90, 130}},
    {"Frame2", 2, texts::pinPanels[2], {98, 396, 241, 145}},
    {"Frame2", 3, texts::pinPanels[3], {342, 396, 241, 145}},
    {"Frame3", 3, texts::settingsPanel, {585, 396, 90, 130}},
}};
inline constexpr std::string_view aboutPanelName = "Frame4";
inline constexpr std::string_view portsBoxName = "Frame1";
inline constexpr std::string_view pinPanelName = "Frame2";
inline constexpr std::string_view settingsPanelName = "Frame3";

// Top zone: one row per pin, one column per channel.
struct PinRow
{
    Pin pin;
    std::string_view label;
    std::string_view caption;
};

inline constexpr std::array<PinRow, pinCount> pinRows{{
    {Pin::Dcd, "Label3", texts::pinDescriptions[0]},
    {Pin::Rd, "Label4", texts::pinDescriptions[1]},
    {Pin::Td, "Label5", texts::pinDescriptions[2]},
    {Pin::Dtr, "Label6", texts::pinDescriptions[3]},
    {Pin::Gnd, "Label7", texts::pinDescriptions[4]},
    {Pin::Dsr, "Label8", texts::pinDescriptions[5]},
    {Pin::Rts, "Label9", texts::pinDescriptions[6]},
    {Pin::Cts, "Label10", texts::pinDescriptions[7]},
    {Pin::Ri, "Label11", texts::pinDescriptions[8]},
}};

[[nodiscard]] constexpr int pinRowY(Pin pin)
{
    return 32 + 24 * (static_cast<int>(pin) - 1);
}

[[nodiscard]] constexpr Rect pinDescriptionRect(Pin pin)
{
    return {112, pinRowY(pin), 265, 17};
}

inline constexpr std::string_view columnHeaderName = "Label12";
inline constexpr Rect columnHeaderRect{392, 8, 177, 17};

[[nodiscard]] constexpr Rect pinFieldRect(int channel, Pin pin)
{
    return {392 + 48 * channel, pinRowY(pin), 33, 19};
}

// Each button stands just left of its line's field.
[[nodiscard]] constexpr Rect lineButtonRect(int channel, Line line)
{
    return {382 + 48 * channel, pinRowY(line == Line::Dtr ? Pin::Dtr : Pin::Rts), 9, 19};
}

// Ports box.
[[nodiscard]] constexpr Rect checkBoxRect(int channel)
{
    return {8, 16 + 16 * channel, 57, 17};
}

// Pin panel: the DB-9 face, pins 1 to 5 above 6 to 9, and the status label.
inline constexpr std::string_view upperDigitRowName = "Label1";
inline constexpr Rect upperDigitRowRect{48, 16, 145, 17};
inline constexpr std::string_view lowerDigitRowName = "Label2";
inline constexpr Rect lowerDigitRowRect{56, 104, 121, 17};
inline constexpr Rect statusLabelRect{12, 120, 217, 17};

[[nodiscard]] constexpr Rect indicatorRect(Pin pin)
{
    const int p = static_cast<int>(pin);
    return p <= 5 ? Rect{40 + 32 * (p - 1), 40, 25, 25} : Rect{56 + 32 * (p - 6), 72, 25, 25};
}

// Settings panel, top to bottom; every channel's panel has the same rows.
inline constexpr std::array<std::string_view, 12> baudEntries{
    "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600", "115200"};
inline constexpr std::array<std::string_view, 5> parityEntries{"n", "e", "o", "s", "m"};
inline constexpr std::array<std::string_view, 4> dataBitsEntries{"5", "6", "7", "8"};
inline constexpr std::array<std::string_view, 2> stopBitsEntries{"1", "2"};
inline constexpr std::array<std::string_view, 4> handshakingEntries{"0", "1", "2", "3"};

// The handshaking row's label is a plain control per channel (channelControls);
// the others are elements of a label array.
enum class RowLabel { None, ArrayElement, ChannelLabel };

struct SettingsRow
{
    SettingsRole role;
    int x;
    int y;
    int width;
    std::span<const std::string_view> entries;
    std::string_view initialText;
    RowLabel labelKind;
    std::string_view labelName;
    std::string_view labelCaption;
};

inline constexpr int comboHeight = 21;

inline constexpr std::array<SettingsRow, settingsRoleCount> settingsRows{{
    {SettingsRole::Baud, 22, 16, 63, baudEntries, "9600", RowLabel::None, {}, {}},
    {SettingsRole::Parity, 50, 38, 35, parityEntries, "n", RowLabel::ArrayElement, "Label17", texts::parityCaption},
    {SettingsRole::DataBits, 50, 58, 35, dataBitsEntries, "8", RowLabel::ArrayElement, "Label18", texts::dataBitsCaption},
    {SettingsRole::StopBits, 50, 78, 35, stopBitsEntries, "1", RowLabel::ArrayElement, "Label19", texts::stopBitsCaption},
    {SettingsRole::Handshaking, 50, 99, 35, handshakingEntries, "0", RowLabel::ChannelLabel, {}, {}},
}};

[[nodiscard]] constexpr Rect comboRect(const SettingsRow &row)
{
    return {row.x, row.y, row.width, comboHeight};
}

[[nodiscard]] constexpr Rect settingsLabelRect(const SettingsRow &row)
{
    return {4, row.y + 2, row.x - 5, 17};
}

// About panel.
inline constexpr std::string_view authorTextName = "Text38";
inline constexpr Rect authorTextRect{24, 16, 265, 113};
inline constexpr std::string_view termsTextName = "Text39";
inline constexpr Rect termsTextRect{24, 136, 409, 113};
inline constexpr std::string_view pictureName = "Image2";
inline constexpr Rect pictureRect{304, 16, 112, 80};
inline constexpr std::string_view emptyPictureName = "Image1";
inline constexpr Rect emptyPictureRect{48, 56, 1, 1};
inline constexpr std::string_view pictureResource = ":/Icon1";

// Colours of the layout; the indicators' and buttons' colours change at run time.
inline constexpr ColorCode indicatorIdle = ColorCode::WindowBackground;
inline constexpr ColorCode buttonOff = ColorCode::ButtonFace;
inline constexpr ColorCode statusText = ColorCode::Blue;
inline constexpr ColorCode aboutBackground = ColorCode::ActiveBorder;
inline constexpr ColorCode termsBackground = ColorCode::LightYellow;

} // namespace windowlayout
