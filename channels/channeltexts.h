#pragma once

#include <array>
#include <string_view>

// What the handlers and the poll write into the window, as UTF-8.
namespace texts {

inline constexpr std::string_view portNotFound = "Порт не найден";
inline constexpr std::string_view notAllowed = "Недопустимо";

inline constexpr std::string_view trueText = "True";
inline constexpr std::string_view falseText = "False";
inline constexpr std::string_view groundText = "0";

inline constexpr std::array<std::string_view, 4> handshakeNames{
    "comNone", "comXOnXOff", "comRTS", "comRTSXOnXOff"};

} // namespace texts
