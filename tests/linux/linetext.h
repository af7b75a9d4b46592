#pragma once

#include <QString>

#include <sys/ioctl.h>
#include <termios.h>

// A line's settings as the contract suite compares them, e.g. "19200 cs7 parenb parodd cstopb
// crtscts ixon ixoff".
[[nodiscard]] inline QString lineText(const termios &tio, unsigned speed)
{
    using namespace Qt::StringLiterals;
    const tcflag_t c = tio.c_cflag;
    const bool parity = c & PARENB;
    const std::pair<bool, QString> flags[] = {
        {parity, u" parenb"_s},          {parity && (c & PARODD), u" parodd"_s},
        {parity && (c & CMSPAR), u" cmspar"_s}, {c & CSTOPB, u" cstopb"_s},
        {c & CRTSCTS, u" crtscts"_s},    {tio.c_iflag & IXON, u" ixon"_s},
        {tio.c_iflag & IXOFF, u" ixoff"_s}};
    QString text = u"%1 cs%2"_s.arg(speed).arg(5 + (c & CSIZE) / CS6);
    for (const auto &[on, name] : flags)
        text += on ? name : QString();
    return text;
}

// DTR and RTS of TIOCM_* bits: "dtr rts", "dtr", "rts" or "".
[[nodiscard]] inline QString outputsText(int lines)
{
    using namespace Qt::StringLiterals;
    const QString dtr = lines & TIOCM_DTR ? u"dtr"_s : QString();
    return (dtr + (lines & TIOCM_RTS ? u" rts"_s : QString())).trimmed();
}
