#pragma once

#include <QString>
#include <QStringList>

#include <array>

// Which device each of COM1..COM4 stands for, numbered as Windows numbers its
// ports: a /dev/COMn link made by a udev rule wins; the numbers no link claims
// go to the real UARTs, then the USB adapters, then the CDC devices; a number
// still free keeps /dev/ttyS(n-1). Worked out afresh on every call, so that an
// adapter plugged in later is found. No device is opened, since many ttyS
// nodes have no hardware and one may be the console: only sysfs is read.
class ComPortMap
{
public:
    static constexpr int comCount = 4;

    explicit ComPortMap(QString devRoot = QStringLiteral("/dev"), QString sysRoot = QStringLiteral("/sys"));

    // Under the device's own name, so that its lock file is the one other serial tools look for.
    [[nodiscard]] QString device(int comNumber) const;
    // "/dev/ttyUSB0 — FTDI FT232R USB UART, serial A10K2ZQ3"
    [[nodiscard]] QString description(int comNumber) const;
    [[nodiscard]] QString describe(const QString &device) const;

private:
    [[nodiscard]] std::array<QString, comCount> devices() const;
    [[nodiscard]] QStringList systemPorts() const;
    [[nodiscard]] bool isPhantom(const QString &ttyName) const;
    [[nodiscard]] QString usbDevice(const QString &ttyName) const;
    [[nodiscard]] QString ttyDir(const QString &ttyName) const;

    QString m_dev;
    QString m_sys;
};
