#pragma once

// How a far end over a pty reads the line and plays the modem lines: through its Cable's `pty`,
// which gives the slave's settings and its TIOCM_* lines. A far end over a pty includes this once,
// after its Cable.

#include "linetext.h"

QString FarEnd::lineInForce() const { return m_cable->pty.lineInForce(); }

QString FarEnd::outputsSeen() const { return outputsText(m_cable->pty.lines()); }

void FarEnd::raise(bool dcdAndDsr, bool cts)
{
    int &lines = m_cable->pty.lines();
    lines = (lines & (TIOCM_DTR | TIOCM_RTS)) | (dcdAndDsr ? TIOCM_CAR | TIOCM_DSR : 0)
        | (cts ? TIOCM_CTS : 0);
}
