#pragma once

#include "channeltable.h"
#include "portset.h"

class Controls;

// The DTR and RTS buttons: the colour is the wanted state of the line.
class LineToggles
{
public:
    LineToggles(Controls &controls, PortSet &ports);

    void buttonClicked(int channel, Line line);

private:
    Controls &m_controls;
    PortSet &m_ports;
};
