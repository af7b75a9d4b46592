// A null-modem cable between the ptys that the links VELMORA_NULL_MODEM/pty1 and /pty3 lead to
// (the ends of a socat), for Wine: preloaded into a test's Wine process, whose serial code asks the
// C library for modem lines and line settings, which a pty lacks (it forces eight data bits
// without parity). Here DTR at one end is DSR and DCD at the other and RTS is CTS; the line
// settings are the cable's, as an end last set them, so that the far end reads the near end's; and
// after a break, every request for the lines fails, as at a driver that lost its device without
// saying so. A new pair of ptys is a new cable. Everything else goes to the C library.
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

namespace {

struct Cable
{
    std::array<dev_t, 2> ends{};
    std::array<int, 2> outputs{};
    termios line{};
    bool muted = false;
} cable;

// A file's device number, 0 for none.
dev_t device(const std::string &path)
{
    struct stat status{};
    ::stat(path.c_str(), &status);
    return status.st_rdev;
}

// Which end of the cable the descriptor is, 0 or 1, or -1.
int endOf(int fd)
{
    const std::string ports = std::getenv("VELMORA_NULL_MODEM");
    const std::array ends{device(ports + "/pty1"), device(ports + "/pty3")};
    if (ends != cable.ends)
        cable = {ends};
    const dev_t self = device("/proc/self/fd/" + std::to_string(fd));
    return self == 0 ? -1 : self == ends[0] ? 0 : self == ends[1] ? 1 : -1;
}

template <typename Function> Function *next(Function &, const char *name)
{
    return reinterpret_cast<Function *>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    int *const bits = va_arg(arguments, int *);
    va_end(arguments);
    // Wine reads the modem lines by TIOCMGET and sets them by TIOCMSET.
    const bool ours = request == TIOCMGET || request == TIOCMSET || request == TIOCSBRK;
    const int end = ours ? endOf(fd) : -1;
    if (end < 0)
        return next(ioctl, "ioctl")(fd, request, bits);
    if (request == TIOCSBRK)
        cable.muted = true;
    if (cable.muted)
        return errno = EINVAL, -1;
    const int theirs = cable.outputs[1 - end];
    if (request == TIOCMSET)
        cable.outputs[end] = *bits & (TIOCM_DTR | TIOCM_RTS);
    else
        *bits = cable.outputs[end] | (theirs & TIOCM_DTR ? TIOCM_DSR | TIOCM_CAR : 0)
            | (theirs & TIOCM_RTS ? TIOCM_CTS : 0);
    return 0;
}

extern "C" int tcgetattr(int fd, termios *line) noexcept
{
    const int result = next(tcgetattr, "tcgetattr")(fd, line);
    if (result == 0 && endOf(fd) >= 0 && cable.line.c_cflag != 0) // once one is set
        *line = cable.line;
    return result;
}

extern "C" int tcsetattr(int fd, int action, const termios *line) noexcept
{
    // Other data bits or a parity asked of a pty come back refused: glibc finds them changed.
    termios pty = *line;
    pty.c_cflag = (pty.c_cflag & ~(CSIZE | PARENB)) | CS8;
    const bool ours = endOf(fd) >= 0;
    const int result = next(tcsetattr, "tcsetattr")(fd, action, ours ? &pty : line);
    if (result == 0 && ours)
        cable.line = *line;
    return result;
}
