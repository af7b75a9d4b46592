#pragma once

#include "comportmap.h"
#include "portset.h"
#include "qtserialport.h"

#include <QFileSystemWatcher>

#include <array>
#include <memory>
#include <optional>

// COM1 to COM4 of this machine over QSerialPort, numbered by ComPortMap. The numbering is worked out again
// when something can have changed it: a port opened or closed, or a node coming or going in the device
// folder or the rules folder (inotify tells); never on a plain poll tick.
//
// While its box is ticked, a channel stands for the device it opened: the /dev/COMn link it was opened
// through, else its USB identity, else its device name. When that device goes away the channel gives up
// its name at once and waits; when the same device is back, the next tick opens it again with everything
// in force before. A different device that takes the name is not opened.
class SystemPorts final : public PortSet, private DeviceLocator
{
public:
    explicit SystemPorts(ComPortMap comPorts = ComPortMap());
    ~SystemPorts() override;

    SerialPort &port(int channel) override;
    QString description(int channel) override;

private:
    using Numbering = std::array<ComPortMap::ComPort, ComPortMap::comCount>;

    // What a channel opened, by what tells it apart.
    struct Opened
    {
        QString device;
        QString link;
        QString usbIdentity;
    };

    QString deviceToOpen(int channel) override;
    [[nodiscard]] QString present(const Opened &opened) const;
    bool reopen(int channel);
    [[nodiscard]] QString failureText(int channel) const;
    [[nodiscard]] ComPortMap::HeldDevices heldDevices() const;
    [[nodiscard]] const Numbering &numbering();

    ComPortMap m_comPorts;
    std::array<std::unique_ptr<QtSerialPort>, count> m_ports;
    std::array<Opened, count> m_opened;
    std::optional<int> m_reopening;
    QFileSystemWatcher m_watcher;
    std::optional<Numbering> m_numbering;
    ComPortMap::HeldDevices m_numberedWith;
};
