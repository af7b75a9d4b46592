#pragma once

#include <cstdint>

// Platform colour values, blue-green-red; the top bit marks a system colour.
enum class ColorCode : std::uint32_t {
    Green = 0x00C000,
    Red = 0x0000FF,
    Blue = 0xFF0000,
    LightYellow = 0xC0FFFF,
    WindowBackground = 0x80000005,
    ActiveBorder = 0x8000000A,
    ButtonFace = 0x8000000F,
};
