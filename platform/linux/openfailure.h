#pragma once

#include <QString>

// Why a device did not open as a serial port, in the words a box shows after the device's name. Qt Serial
// Port hands on the system's error only as the C library's text, so that text is what is read here.

// What stands at the path, where it cannot be a serial port at all; empty where it may be one.
[[nodiscard]] QString unusableDeviceReason(const QString &device);
// An open the system refused with a permission or a lock error.
[[nodiscard]] QString refusedOpenReason(const QString &device, const QString &systemText);
// Any other failed open, set-up of the line included.
[[nodiscard]] QString openErrorReason(const QString &systemText);
