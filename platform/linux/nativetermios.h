#pragma once

#include <QSerialPort>

#include <optional>
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

enum class ModemLine { Dtr, Rts };

// Drives an output line at the driver itself, also where QSerialPort would
// refuse (RTS under hardware flow control).
[[nodiscard]] bool setModemLine(NativeSerialHandle handle, ModemLine line, bool asserted);

// Whether the device behind an open descriptor went away (hung up, unplugged).
[[nodiscard]] bool deviceGone(NativeSerialHandle handle);

// Whether this process may open the node for reading and writing, by its permissions alone.
[[nodiscard]] bool mayOpen(const QString &path);

// The output speed the driver has in force, in baud; empty where it cannot be told.
[[nodiscard]] std::optional<qint32> driverBaudRate(NativeSerialHandle handle);
