#pragma once

#include <map>
#include <string>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

// What a pseudo-terminal lacks of a serial line, answered for it by the tests' stand-ins for the C
// library's calls (modemshim.cpp): modem lines, and the character size and parity, which it forces
// to 8,n. Linked into a test executable that exports its symbols, they answer for the slaves of its
// PtyModems. Preloaded into a network server, they answer for any pty slave from the small file
// named by VELMORA_PTY_LINE, which the test maps too; into Wine's processes, for the two ptys of
// the null-modem cable in the folder VELMORA_NULL_MODEM.
namespace ptyline {

inline constexpr tcflag_t keptBits = CSIZE | PARENB | PARODD | CMSPAR;
// The kernel's termios2, which clashes with glibc's headers, and the requests that carry it.
struct Termios2
{
    tcflag_t flags[4];
    cc_t line, cc[19];
    speed_t ispeed, ospeed;
};
inline constexpr unsigned long getTermios2 = _IOR('T', 0x2A, Termios2),
                               setTermios2 = _IOW('T', 0x2B, Termios2);

struct Shared
{
    int lines;
    tcflag_t cflag; // the character size and parity asked for
    unsigned linesRead;
};

// The settings read back, with the character size and parity that were asked for.
inline void reportAsked(termios &tio, tcflag_t asked)
{
    tio.c_cflag = (tio.c_cflag & ~keptBits) | asked;
}

// A PtyModem's slave, played as a UART (ptymodem.h tells how).
struct Modem
{
    Shared line{0, CS8, 0};
    unsigned uartClock = 0;
    bool heldByXoff = false;
};

// A character device's number, which every descriptor of it shares; 0 for anything else.
inline dev_t deviceOf(int fd)
{
    struct stat status{};
    return ::fstat(fd, &status) || !S_ISCHR(status.st_mode) ? 0 : status.st_rdev;
}

// By the slave's device number. Never destroyed: a server still writes while it exits.
inline std::map<dev_t, Modem> &modems()
{
    static auto &table = *new std::map<dev_t, Modem>;
    return table;
}

} // namespace ptyline
