#pragma once

#include "ports.h"

class Controls;

// Ticking a channel's box opens its port, unticking closes it.
class ChannelEnable
{
public:
    ChannelEnable(Controls &controls, const Ports &ports);

    void checkClicked(int channel);

private:
    Controls &m_controls;
    const Ports &m_ports;
};
