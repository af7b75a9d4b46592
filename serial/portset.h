#pragma once

#include "serialport.h"

#include <QString>

// The owner of a machine's four serial-port controls, COM1 first: it knows which device each COM number
// stands for, opens a channel's port on it, brings waiting channels back, and says how each box
// describes its port. Each platform has one; a test has its own.
class PortSet
{
public:
    static constexpr int count = 4;

    virtual ~PortSet() = default;

    [[nodiscard]] virtual SerialPort &port(int channel) = 0;
    // Writing True to the channel's PortOpen: opens its port on the device its number stands for now.
    [[nodiscard]] virtual bool openPort(int channel) = 0;
    // Opens again, with everything that was in force, each waiting channel whose own device is back.
    virtual void resumeWaiting() = 0;
    // Plain text naming the device that ticking the channel's box opens, or that it has open; empty where
    // nothing is known of it.
    [[nodiscard]] virtual QString description(int channel) const = 0;
};
