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

namespace {

// The shared line if fd is a Unix 98 pty slave (majors 136 to 143).
ptyline::Shared *lineOf(int fd)
{
    static auto *const shared = [] {
        const int file = ::open(std::getenv("VELMORA_PTY_LINE"), O_RDWR | O_CLOEXEC);
        void *memory
            = ::mmap(nullptr, sizeof(ptyline::Shared), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        return memory == MAP_FAILED ? nullptr : static_cast<ptyline::Shared *>(memory);
    }();
    struct stat status
    {
    };
    const bool slave = ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode)
        && major(status.st_rdev) >= 136 && major(status.st_rdev) <= 143;
    return slave ? shared : nullptr;
}

} // namespace

// ser2net reads and writes the settings with ioctl too: TCGETS and TCGETS2 ('T' 0x01, 0x2A) read,
// TCSETS, TCSETSW, TCSETSF and their termios2 forms (0x02 to 0x04, 0x2B to 0x2D) write. termios
// and termios2 both start with the four flag words, the control flags third.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    const auto real = ptyline::next<int(int, unsigned long, void *)>("ioctl");
    ptyline::Shared *line = lineOf(fd);
    if (line && ptyline::isModemRequest(request)) {
        line->linesRead += request == TIOCMGET;
        ptyline::answer(line->lines, request, *static_cast<int *>(argument));
        return 0;
    }
    const unsigned number = _IOC_TYPE(request) == 'T' ? _IOC_NR(request) : 0;
    const bool write = (number >= 0x02 && number <= 0x04) || (number >= 0x2B && number <= 0x2D);
    if (!line || (!write && number != 0x01 && number != 0x2A))
        return real(fd, request, argument);
    tcflag_t &cflag = static_cast<tcflag_t *>(argument)[2];
    const tcflag_t asked = cflag;
    if (write)
        cflag = (asked & ~ptyline::keptBits) | CS8;
    const int result = real(fd, request, argument);
    cflag = write ? asked : (cflag & ~ptyline::keptBits) | line->cflag;
    if (result == 0 && write)
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
