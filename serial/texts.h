#pragma once

#include <array>
#include <string_view>

// Every text the user sees, as UTF-8. Blanks inside them are deliberate.
namespace texts {

inline constexpr std::string_view appTitle = "Velmora_ru v.1.1";
inline constexpr std::string_view portNotFound = "Порт не найден";
inline constexpr std::string_view notAllowed = "Недопустимо";

inline constexpr std::string_view aboutMenu = "О программе";
inline constexpr std::string_view provisionalCaption = "Velmora";
inline constexpr std::string_view portsBox = "Порты";
inline constexpr std::string_view settingsPanel = "Настройка";
inline constexpr std::array<std::string_view, 4> pinPanels{"СОМ 1", "СОМ 2", "СОМ 3", "СОМ 4"};
inline constexpr std::string_view columnHeader = "Com1      Com2        Com3       Com4";
inline constexpr std::string_view upperDigitRow = "1         2        3         4         5";
inline constexpr std::string_view lowerDigitRow = "6            7        8         9";
inline constexpr std::string_view parityCaption = "чет/неч";
inline constexpr std::string_view dataBitsCaption = "бит";
inline constexpr std::string_view stopBitsCaption = "стоп ";

inline constexpr std::array<std::string_view, 9> pinDescriptions{
    "1(8)-DCD-вход-обнаружение инф. сигнала",
    "2(3)-RD-вход-принимаемые данные",
    "3(2)-TD-выход-передаваемые данные",
    "4(20)-DTR-выход-компьютер готов к обмену",
    "5(7)-GND-сигнальная земля",
    "6(6)-DSR-вход-готовность внешнего устройства",
    "7(4)-RTS-выход-запрос на передачу",
    "8(5)-CTS-вход очищен для передачи",
    "9(22)-RI-вход-индикатор звонка",
};

inline constexpr std::string_view trueText = "True";
inline constexpr std::string_view falseText = "False";
inline constexpr std::string_view groundText = "0";

inline constexpr std::array<std::string_view, 4> handshakeNames{
    "comNone", "comXOnXOff", "comRTS", "comRTSXOnXOff"};

} // namespace texts
