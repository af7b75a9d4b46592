#pragma once

#include "portset.h"

class Controls;

// Ticking a channel's box opens its port, unticking closes it.
class ChannelEnable
{
public:
    ChannelEnable(Controls &controls, PortSet &ports);

    void checkClicked(int channel);

private:
    Controls &m_controls;
    PortSet &m_ports;
};
