#pragma once

#include "serialport.h"

#include <QString>

// The machine's four serial-port controls, COM1 first, and what stands behind each: the one object that
// owns the ports and answers, per channel, which device it opens and how its box describes it.
class PortSet
{
public:
    static constexpr int count = 4;

    virtual ~PortSet() = default;

    [[nodiscard]] virtual SerialPort &port(int channel) = 0;
    // Plain text naming the device that ticking the channel's box opens, or that it has open; empty where
    // nothing is known of it.
    [[nodiscard]] virtual QString description(int channel) = 0;
};
