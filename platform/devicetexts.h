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

// A ticked box whose device went away: "COM1 — /dev/ttyUSB0 отключён, ждёт возвращения".
inline constexpr std::string_view awaitingReturnTail = " отключён, ждёт возвращения";

// Why a port would not open, after its device: "/dev/ttyUSB0 — занят другой программой".
inline constexpr std::string_view noSuchDevice = "нет такого устройства";
inline constexpr std::string_view busyDevice = "занят другой программой";
inline constexpr std::string_view noPermission = "нет прав на открытие: пользователь должен быть в группе dialout";
inline constexpr std::string_view driverErrorLead = "не открывается: ";
inline constexpr std::string_view driverRefusedSettings = "драйвер не принял настройки";
inline constexpr std::string_view nothingBehindNode = "за этим узлом нет устройства";
inline constexpr std::string_view inputOutputError = "ошибка ввода-вывода";
inline constexpr std::string_view linkLoop = "ссылки замыкаются в кольцо";
inline constexpr std::string_view isFolder = "это папка, а не последовательный порт";
inline constexpr std::string_view isRegularFile = "это обычный файл, а не последовательный порт";
inline constexpr std::string_view isFifo = "это канал FIFO, а не последовательный порт";
inline constexpr std::string_view notSerialPort = "это не последовательный порт";
inline constexpr std::string_view nodevMount = "файловая система смонтирована с nodev: устройства на ней не открываются";

} // namespace texts
