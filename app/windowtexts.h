#pragma once

#include <array>
#include <string_view>

// The window's own texts, as UTF-8. Blanks inside them are deliberate.
namespace texts {

inline constexpr std::string_view appTitle = "Velmora_ru v.1.1";

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

// What a screen reader is told: a pin or line by channel and signal, and its state.
inline constexpr std::string_view channelNameLead = "COM";
inline constexpr std::array<std::string_view, 9> signalNames{"DCD", "RD", "TD", "DTR", "GND", "DSR", "RTS", "CTS", "RI"};
// A settings combo by channel and setting, "COM1 скорость"; indexed by the setting's role.
inline constexpr std::array<std::string_view, 5> settingNames{"скорость", "чётность", "биты данных", "стоповые биты",
                                                              "управление потоком"};
inline constexpr std::string_view stateOn = "вкл";
inline constexpr std::string_view stateOff = "выкл";

// Start-up: the window title, the month names, the about texts.
inline constexpr std::string_view titleLead = "Brannick       Velmora v.1.1              Сегодня: ";
inline constexpr std::string_view titleGap = "  ";
inline constexpr std::string_view titleYearWord = " года  ";

struct MonthForms
{
    std::string_view nominative;
    std::string_view genitive;
};

// Compared with the month name of the regional settings without regard to case.
inline constexpr std::array<MonthForms, 12> monthForms{{
    {"Январь", "Января"},
    {"Февраль", "Февраля"},
    {"Март", "Марта"},
    {"Апрель", "Апреля"},
    {"Май", "Мая"},
    {"Июнь", "Июня"},
    {"Июль", "Июля"},
    {"Август", "Августа"},
    {"Сентябрь", "Сентября"},
    {"Октябрь", "Октября"},
    {"Ноябрь", "Ноября"},
    {"Декабрь", "Декабря"},
}};

inline constexpr std::string_view aboutLineBreak = "\r\n";
inline constexpr std::string_view maker = "Brannick";
inline constexpr std::string_view productLine = "Velmora v.1.1";
inline constexpr std::string_view authorLead = "Автор: ";
inline constexpr std::string_view authorName = "Ерофей Коннекторов";
inline constexpr std::string_view makerSite = "www.example.com";
inline constexpr std::string_view emailLead = "e-mail:";
inline constexpr std::string_view makerEmail = "velmora@example.org";
inline constexpr std::string_view copyrightLine = "© Brannick, все права защищены";

inline constexpr std::string_view termsHeading = "Соглашение на использование программы Velmora v.1.1:";
inline constexpr std::string_view termsSecondLine = " ";
inline constexpr std::string_view termsDistributionLead = "2.Программа бесплатно распространяется автором  с сайта ";
inline constexpr std::string_view termsDistributionTail =
    ". Распространение c других источников должно быть согласовано с автором.";
inline constexpr std::string_view termsUse = "3.Разрешается свободное использование  программы в личных и служебных целях.";
inline constexpr std::string_view termsChanges = "4.Запрещается вносить изменения в программу без согласия автора.";
inline constexpr std::string_view termsLiability =
    "5. Автор не несёт никакой ответственности возникшей в результате  использования этого продукта.";
inline constexpr std::string_view termsSupport =
    "6. Автор не берет на себя обязательств по дальнейшему развитию и  поддержки данного программного продукта.";

} // namespace texts
