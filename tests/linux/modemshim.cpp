// Preloaded into the RFC 2217 servers that the transport test runs over a pty (ser2net, pyserial's
// server): their calls for the modem lines and the line settings of any pty slave are answered from
// the small file named by VELMORA_PTY_LINE, which the test maps too, raising CTS, DSR and DCD and
// reading DTR, RTS and the character size and parity the server asked for.
#include "ptyline.h"

#include <cstdarg>
#include <cstdlib>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

ptyline::Shared *shared()
{
    static ptyline::Shared *const mapped = [] {
        const char *path = std::getenv("VELMORA_PTY_LINE");
        const int fd = path ? ::open(path, O_RDWR | O_CLOEXEC) : -1;
        void *memory = fd < 0
            ? MAP_FAILED
            : ::mmap(nullptr, sizeof(ptyline::Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (fd >= 0)
            ::close(fd);
        return memory == MAP_FAILED ? nullptr : static_cast<ptyline::Shared *>(memory);
    }();
    return mapped;
}

// Unix 98 pty slaves have majors 136 to 143.
ptyline::Shared *lineOf(int fd)
{
    struct stat status
    {
    };
    const bool ptySlave = ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode)
        && major(status.st_rdev) >= 136 && major(status.st_rdev) <= 143;
    return ptySlave ? shared() : nullptr;
}

// ser2net reads and writes the settings with ioctl as well as through tcgetattr and tcsetattr.
bool isSettingsRead(unsigned long request)
{
    return request == TCGETS || request == ptyline::getTermios2;
}

bool isSettingsWrite(unsigned long request)
{
    return request == TCSETS || request == TCSETSW || request == TCSETSF
        || request == ptyline::setTermios2 || request == ptyline::setTermios2Drained
        || request == ptyline::setTermios2Flushed;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    const auto real = ptyline::next<int(int, unsigned long, void *)>("ioctl");
    ptyline::Shared *line = lineOf(fd);
    if (line && ptyline::isModemRequest(request)) {
        ptyline::answer(line->lines, request, *static_cast<int *>(argument));
        return 0;
    }
    if (!line || (!isSettingsWrite(request) && !isSettingsRead(request)))
        return real(fd, request, argument);
    // termios and termios2 both start with the four flag words, the control flags third.
    auto *flags = static_cast<tcflag_t *>(argument);
    const tcflag_t asked = flags[2];
    if (isSettingsWrite(request))
        flags[2] = (asked & ~ptyline::keptBits) | CS8;
    const int result = real(fd, request, argument);
    flags[2] = isSettingsWrite(request) ? asked : (flags[2] & ~ptyline::keptBits) | line->cflag;
    if (result == 0 && isSettingsWrite(request))
        line->cflag = asked & ptyline::keptBits;
    return result;
}

extern "C" int tcgetattr(int fd, termios *tio) noexcept
{
    const int result = ptyline::next<int(int, termios *)>("tcgetattr")(fd, tio);
    if (const ptyline::Shared *line = lineOf(fd); result == 0 && line)
        ptyline::reportAsked(*tio, line->cflag);
    return result;
}

extern "C" int tcsetattr(int fd, int action, const termios *tio) noexcept
{
    ptyline::Shared *line = lineOf(fd);
    const termios taken = line ? ptyline::asTaken(*tio) : *tio;
    const int result
        = ptyline::next<int(int, int, const termios *)>("tcsetattr")(fd, action, &taken);
    if (line && result == 0)
        line->cflag = tio->c_cflag & ptyline::keptBits;
    return result;
}
