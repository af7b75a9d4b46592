#pragma once

#include "portset.h"

class Controls;

// Ticking a channel's box opens its port, unticking closes it.
class ChannelEnable
{
public:
    ChannelEnable(Controls &controls, PortSet &ports);

    void checkClicked(int channel);
    // An open that went on in the background (a connection) failed: the tick is taken back as at once.
    void openFailed(int channel);

private:
    Controls &m_controls;
    PortSet &m_ports;
};
