#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// What the system knows of its serial ports: SetupAPI's ports and modems classes, with the friendly name,
// maker and USB serial number of each device, and the ports that only the registry's SERIALCOMM map names
// (virtual ports, and every port under Wine). All strings come from devices and drivers: they are plain text here.
struct ComPortInfo
{
    QString name; // "COM3"
    QString model; // "USB Serial Port", without the "(COM3)" Windows adds
    QString maker;
    QString serialNumber;

    friend bool operator==(const ComPortInfo &, const ComPortInfo &) = default;
};

[[nodiscard]] QList<ComPortInfo> listComPorts();

// "COM3 — USB Serial Port (FTDI), серийный номер A10K2ZQ3", "COM1 — последовательный порт" for a port
// known by name only, "COM2 — нет устройства" for one the list lacks.
[[nodiscard]] QString describeComPort(const QString &comName, const QList<ComPortInfo> &ports);

// The serial number a USB device instance id carries ("USB\VID_0403&PID_6001\A10K2ZQ3"); empty for one
// Windows made up itself ("5&2C3F1B1&0&2") or for a device that is not USB.
[[nodiscard]] QString usbSerialNumber(QStringView instanceId);
