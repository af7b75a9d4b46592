#pragma once

#include <string_view>

// What a "ComN" box says of its port, in its tooltip and to a screen reader, on every platform:
// "/dev/ttyUSB0 — FTDI FT232R USB UART, серийный номер A10K2ZQ3", "COM2 — нет устройства",
// "COM1 закреплён за отключённым адаптером".
namespace texts {

inline constexpr std::string_view comLead = "COM";
inline constexpr std::string_view deviceSeparator = " — ";
inline constexpr std::string_view noDevice = "нет устройства";
inline constexpr std::string_view plainSerialPort = "последовательный порт";
inline constexpr std::string_view serialNumberLead = ", серийный номер ";
inline constexpr std::string_view reservedNumberTail = " закреплён за отключённым адаптером";

} // namespace texts
