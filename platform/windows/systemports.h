#pragma once

#include "comportlist.h"
#include "portset.h"
#include "winserialport.h"

#include <QDeadlineTimer>

#include <array>
#include <memory>

// COM1 to COM4 of this machine over the Win32 communications calls. What the system knows of its ports is
// looked up again when a port has been opened or closed since, or after a few seconds; never on every tick.
class SystemPorts final : public PortSet
{
public:
    SystemPorts();
    ~SystemPorts() override;

    SerialPort &port(int channel) override;
    QString description(int channel) override;

private:
    [[nodiscard]] std::array<bool, count> openPorts() const;

    std::array<std::unique_ptr<WinSerialPort>, count> m_ports;
    QList<ComPortInfo> m_listed;
    std::array<bool, count> m_listedWhileOpen{};
    QDeadlineTimer m_listFresh;
};
