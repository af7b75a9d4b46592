#pragma once

#include "comportlist.h"
#include "portcore.h"
#include "portset.h"
#include "remotechannels.h"

#include <QDeadlineTimer>

#include <array>
#include <memory>

// COM1 to COM4 of this machine over the Win32 communications calls. What the system knows of its ports is
// looked up again when a port has been opened or closed since, or after a few seconds; never on every tick.
// A number mapped to a port on another machine stands for that port instead.
class SystemPorts final : public PortSet
{
public:
    SystemPorts();
    ~SystemPorts() override;

    QString description(int channel) const override;
    SerialPort &port(int channel) override;
    void resumeWaiting() override;
    bool openPort(int channel) override;

private:
    [[nodiscard]] std::array<PortCore::State, count> states() const;

    std::array<std::unique_ptr<PortCore>, count> m_ports;
    RemoteChannels m_remote;
    mutable QList<ComPortInfo> m_listed;
    mutable std::array<PortCore::State, count> m_listedWith{};
    mutable QDeadlineTimer m_listFresh;
};
