#pragma once

#include "comportmap.h"
#include "portcore.h"
#include "portset.h"
#include "remotechannels.h"

#include <QFileSystemWatcher>

#include <array>
#include <memory>
#include <optional>

// COM1 to COM4 of this machine over Qt Serial Port, numbered by ComPortMap. The numbering is worked out
// again when something can have changed it: a port opened or closed, or a node coming or going in the
// device folder or the rules folder (inotify tells); never on a plain poll tick.
//
// While its box is ticked, a channel stands for the device it opened: the /dev/COMn link it was opened
// through, else its USB identity, else its device name. When that device goes away the channel waits,
// and the device it would take back is kept from the other boxes; when the same device is back, the
// tick opens it again with everything in force before. A different device that takes the name is not
// opened. A number mapped to a port on another machine stands for that port instead.
class SystemPorts final : public PortSet
{
public:
    explicit SystemPorts(ComPortMap comPorts = ComPortMap());
    ~SystemPorts() override;

    SerialPort &port(int channel) override;
    bool openPort(int channel) override;
    void resumeWaiting() override;
    QString description(int channel) const override;

private:
    using Numbering = std::array<ComPortMap::ComPort, ComPortMap::comCount>;

    // What a channel opened, by what tells it apart.
    struct Opened
    {
        QString device;
        QString link;
        std::optional<ComPortMap::UsbIdentity> usb;
    };

    [[nodiscard]] QString present(const Opened &opened) const;
    [[nodiscard]] QString waitingText(int channel) const;
    [[nodiscard]] ComPortMap::HeldDevices heldDevices() const;
    [[nodiscard]] const Numbering &numbering() const;

    ComPortMap m_comPorts;
    std::array<std::unique_ptr<PortCore>, count> m_ports;
    std::array<Opened, count> m_opened;
    RemoteChannels m_remote;
    QFileSystemWatcher m_watcher;
    // The numbering last worked out, and what the channels held then.
    mutable std::optional<Numbering> m_numbering;
    mutable ComPortMap::HeldDevices m_numberedWith;
};
