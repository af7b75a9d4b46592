#pragma once

#include "channeltable.h"
#include "ports.h"

class Controls;

// The DTR and RTS buttons: the colour is the wanted state of the line.
class LineToggles
{
public:
    LineToggles(Controls &controls, const Ports &ports);

    void buttonClicked(int channel, Line line);

private:
    Controls &m_controls;
    const Ports &m_ports;
};
