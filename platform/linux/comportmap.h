#pragma once

#include <QString>
#include <QStringList>

#include <QByteArray>

#include <array>
#include <optional>
#include <utility>

// Which device each of COM1..COM4 stands for, numbered as Windows numbers its
// ports. A number whose channel holds a port open keeps that device. A number
// pinned by a udev rule takes the device its /dev/COMn link points to, and
// while its adapter is away (a rule without its link, or a dangling link) it
// is reserved and names nothing, so that no other device answers to it; so
// does a number whose rule more than one present tty answers (a clone of the
// adapter), since udev hands the link to whichever came last. A link to
// something that is not a tty, or to a device a lower number names already,
// names nothing. The numbers left go to the real UARTs, then the USB
// adapters, then the CDC devices; a number still free keeps /dev/ttyS(n-1).
// The kernel console is never numbered automatically: its modem lines are
// not ours to drive; a number that would fall back to it tells how to pin
// it all the same. No device is ever named by two numbers. Worked out afresh
// on every call, so that an adapter plugged in later is found. No device is
// opened, since many ttyS nodes have no hardware and one may be the console:
// sysfs is read, and the nodes are only looked at.
class ComPortMap
{
public:
    static constexpr int comCount = 4;
    // What the channel of each number holds, COM1 first: the device it has open, or waits to open again
    // (an empty name while that device is away); nothing where the channel is closed.
    using HeldDevices = std::array<std::optional<QString>, comCount>;

    // What tells a USB adapter's port apart from any other that may later take its name, as the device
    // gives it, byte for byte. The USB port path is filled in where the serial number does not tell the
    // adapter apart: an adapter without one, or a clone present at the same time.
    struct UsbIdentity
    {
        QByteArray vendor;
        QByteArray product;
        QByteArray serial;
        QByteArray interface;
        QByteArray portPath;

        friend bool operator==(const UsbIdentity &, const UsbIdentity &) = default;
    };

    struct ComPort
    {
        // Under the device's own name, so that its lock file is the one other serial tools look for;
        // empty where the number names no device.
        QString device;
        // Plain text, e.g. "/dev/ttyUSB0 — FTDI FT232R USB UART, серийный номер A10K2ZQ3".
        QString description;
    };

    explicit ComPortMap(QString devRoot = QStringLiteral("/dev"), QString sysRoot = QStringLiteral("/sys"),
                        QString rulesDir = QStringLiteral("/etc/udev/rules.d"));

    [[nodiscard]] std::array<ComPort, comCount> ports(const HeldDevices &held = {}) const;
    [[nodiscard]] QString describe(const QString &device) const;
    // Empty for a device that is not on USB.
    [[nodiscard]] std::optional<UsbIdentity> usbIdentity(const QString &device) const;
    // The port present now with that identity, under its device name; empty where there is none.
    [[nodiscard]] QString deviceWithUsbIdentity(const UsbIdentity &identity) const;
    // A character device with the number sysfs gives for its tty's name, or a pseudo terminal.
    [[nodiscard]] bool isPort(const QString &device) const;
    // /dev/COMn, whether or not it is there.
    [[nodiscard]] QString link(int comNumber) const;
    // Where a node or a rule coming or going can change the numbering.
    [[nodiscard]] QStringList watchedFolders() const;

private:
    [[nodiscard]] QStringList systemPorts() const;
    [[nodiscard]] QStringList consoles() const;
    [[nodiscard]] bool isPinned(int comNumber) const;
    [[nodiscard]] QString ruleFile(int comNumber) const;
    [[nodiscard]] QStringList ruleMatches(int comNumber) const;
    [[nodiscard]] bool ruleApplies(const QList<std::pair<QString, QString>> &keys, const QString &ttyName) const;
    [[nodiscard]] bool isPhantom(const QString &ttyName) const;
    [[nodiscard]] QString usbDevice(const QString &ttyName) const;
    [[nodiscard]] std::optional<UsbIdentity> rawUsbIdentity(const QString &device) const;
    [[nodiscard]] QString ttyDir(const QString &ttyName) const;

    QString m_dev;
    QString m_sys;
    QString m_rules;
};
