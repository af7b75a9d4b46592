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
class SystemPorts final : public PortSet, private DeviceLocator
{
public:
    explicit SystemPorts(ComPortMap comPorts = ComPortMap());
    ~SystemPorts() override;

    SerialPort &port(int channel) override;
    QString description(int channel) override;

private:
    using Numbering = std::array<ComPortMap::ComPort, ComPortMap::comCount>;

    QString deviceToOpen(int channel) override;
    [[nodiscard]] ComPortMap::HeldDevices heldDevices() const;
    [[nodiscard]] const Numbering &numbering();

    ComPortMap m_comPorts;
    std::array<std::unique_ptr<QtSerialPort>, count> m_ports;
    QFileSystemWatcher m_watcher;
    std::optional<Numbering> m_numbering;
    ComPortMap::HeldDevices m_numberedWith;
};
