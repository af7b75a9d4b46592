#pragma once

#include <QSerialPort>

#include <utility>

using NativeSerialHandle = decltype(std::declval<QSerialPort>().handle());

// What QSerialPort leaves undone at the driver. Neither knows about the
// other's settings, so both have to be done again after every change that
// QSerialPort writes.

// QSerialPort offers RTS/CTS or XON/XOFF but not both together; this turns
// XON/XOFF on as well, next to whatever QSerialPort has set.
[[nodiscard]] bool addSoftwareFlowControl(NativeSerialHandle handle);

// QSerialPort sets stick (space or mark) parity but never clears it again,
// so a later even or odd parity would stay space or mark.
[[nodiscard]] bool clearStickParity(NativeSerialHandle handle);
