#pragma once

#include <dlfcn.h>
#include <sys/ioctl.h>
#include <termios.h>

// What a pseudo-terminal lacks of a serial line, answered for it by the tests' stand-ins for the C
// library's calls: modem lines, of which it has none, and the character size and parity, which it
// forces to 8,n. Shared by the pty of the backend tests (ptymodem.cpp) and the library preloaded
// into the network servers (modemshim.cpp).
namespace ptyline {

inline constexpr tcflag_t keptBits = CSIZE | PARENB | PARODD | CMSPAR;
inline constexpr int outputs = TIOCM_DTR | TIOCM_RTS;
// The kernel's termios2, which clashes with glibc's headers, and the requests that carry it.
struct Termios2
{
    tcflag_t flags[4];
    cc_t line, cc[19];
    speed_t ispeed, ospeed;
};
inline constexpr unsigned long getTermios2 = _IOR('T', 0x2A, Termios2),
                               setTermios2 = _IOW('T', 0x2B, Termios2);

// The lines and the settings of one pty, as the preloaded library and the test share them.
struct Shared
{
    int lines;
    tcflag_t cflag; // the character size and parity asked for
    unsigned linesRead;
};

[[nodiscard]] inline bool isModemRequest(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

// TIOCMGET reads the lines; the others change DTR and RTS alone, the inputs being the far end's.
inline void answer(int &lines, unsigned long request, int &bits)
{
    if (request == TIOCMGET)
        bits = lines;
    else if (request == TIOCMSET)
        lines = (lines & ~outputs) | (bits & outputs);
    else
        lines = request == TIOCMBIS ? lines | (bits & outputs) : lines & ~(bits & outputs);
}

// The settings a pty is given: those asked for, but at the 8,n it keeps anyway.
[[nodiscard]] inline termios asTaken(termios tio)
{
    tio.c_cflag = (tio.c_cflag & ~keptBits) | CS8;
    return tio;
}

// The settings read back, with the character size and parity that were asked for.
inline void reportAsked(termios &tio, tcflag_t asked)
{
    tio.c_cflag = (tio.c_cflag & ~keptBits) | asked;
}

// The definition the C library or a sanitizer runtime would have given.
template <typename F> F *next(const char *name)
{
    return reinterpret_cast<F *>(::dlsym(RTLD_NEXT, name));
}

} // namespace ptyline
