#include "nativetermios.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

// tcsetattr reports success when any part of a change took, so what it was
// asked for is read back.
template<typename Change>
[[nodiscard]] bool changeTermios(NativeSerialHandle handle, Change change)
{
    termios tio{};
    if (::tcgetattr(handle, &tio) != 0)
        return false;
    termios wanted = tio;
    change(wanted);
    if (wanted.c_iflag == tio.c_iflag && wanted.c_cflag == tio.c_cflag)
        return true;
    termios applied{};
    return ::tcsetattr(handle, TCSANOW, &wanted) == 0 && ::tcgetattr(handle, &applied) == 0
           && applied.c_iflag == wanted.c_iflag && (applied.c_cflag & CMSPAR) == (wanted.c_cflag & CMSPAR);
}

} // namespace

bool addSoftwareFlowControl(NativeSerialHandle handle)
{
    // The same input flags QSerialPort uses for its own XON/XOFF mode.
    return changeTermios(handle, [](termios &tio) { tio.c_iflag |= IXON | IXOFF | IXANY; });
}

bool clearStickParity(NativeSerialHandle handle)
{
    return changeTermios(handle, [](termios &tio) { tio.c_cflag &= ~tcflag_t(CMSPAR); });
}

bool setModemLine(NativeSerialHandle handle, ModemLine line, bool asserted)
{
    int bits = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    return ::ioctl(handle, asserted ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool deviceGone(NativeSerialHandle handle)
{
    pollfd descriptor{handle, 0, 0};
    return ::poll(&descriptor, 1, 0) == 1 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool mayOpen(const QString &path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK, AT_EACCESS) == 0;
}
