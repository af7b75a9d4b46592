// The stand-ins for the C library's calls that ptyline.h tells of. Built alone, this is the library
// preloaded into the RFC 2217 servers and into Wine's processes.
#include "ptyline.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>

// The definition the C library or a sanitizer runtime would have given to a call handed on.
#define REAL(function, ...) \
    reinterpret_cast<decltype(&function)>(::dlsym(RTLD_NEXT, #function))(__VA_ARGS__)

using namespace ptyline;

namespace {

// DTR at one end is DSR and DCD at the other and RTS is CTS; the settings are the cable's, as an
// end last set them, so that the far end reads the near end's. A break cuts it: its ends are then
// bare ptys, whose driver fails every request for the lines, as one that lost its device without
// saying so.
struct Cable
{
    std::array<dev_t, 2> ends{};
    std::array<Modem, 2> lines{};
    termios settings{};
    bool cut = false;
} cable;

dev_t deviceAt(const std::string &path)
{
    struct stat status{};
    return ::stat(path.c_str(), &status) ? 0 : status.st_rdev;
}

// fd's end of the cable between the ptys that the folder's links pty1 and pty3 lead to (a socat's
// two), its inputs being the other end's outputs. A new pair of ptys is a new cable.
Shared *cableEnd(int fd)
{
    const char *folder = std::getenv("VELMORA_NULL_MODEM");
    const dev_t self = deviceOf(fd);
    if (!folder || self == 0)
        return nullptr;
    const std::string ports = folder;
    const std::array ends{deviceAt(ports + "/pty1"), deviceAt(ports + "/pty3")};
    if (ends != cable.ends)
        cable = {ends};
    const int end = self == ends[0] ? 0 : self == ends[1] ? 1 : -1;
    if (end < 0 || cable.cut)
        return nullptr;
    Shared &line = cable.lines[end].line;
    const int theirs = cable.lines[1 - end].line.lines;
    line.lines = (line.lines & (TIOCM_DTR | TIOCM_RTS))
        | (theirs & TIOCM_DTR ? TIOCM_DSR | TIOCM_CAR : 0) | (theirs & TIOCM_RTS ? TIOCM_CTS : 0);
    return &line;
}

Modem *modemOf(int fd)
{
    const auto found = modems().find(deviceOf(fd));
    return found == modems().end() ? nullptr : &found->second;
}

Shared *sharedFile()
{
    const char *path = std::getenv("VELMORA_PTY_LINE");
    const int file = path ? ::open(path, O_RDWR) : -1;
    void *memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    return memory == MAP_FAILED ? nullptr : static_cast<Shared *>(memory);
}

// A PtyModem's line, else the shared file's for a character device, else the cable's.
Shared *lineOf(int fd)
{
    if (Modem *modem = modemOf(fd))
        return &modem->line;
    static Shared *const shared = sharedFile();
    if (!shared)
        return cableEnd(fd);
    return deviceOf(fd) ? shared : nullptr;
}

// TIOCMGET reads the lines; TIOCMSET sets DTR and RTS, TIOCMBIS and TIOCMBIC raise and drop those
// of them that are given: the inputs are the far end's.
void answer(Shared &line, unsigned long request, int &bits)
{
    const int outputs = TIOCM_DTR | TIOCM_RTS;
    const int changed = request == TIOCMSET ? outputs : bits & outputs;
    line.linesRead += request == TIOCMGET;
    if (request == TIOCMGET)
        bits = line.lines;
    else
        line.lines = (line.lines & ~changed) | (request == TIOCMBIC ? 0 : bits & changed);
}

// Given a UART clock, a speed without a Bxxx constant is made as that clock over the nearest whole
// divisor.
void makeSpeed(int fd, unsigned long request, void *argument)
{
    const Modem *modem = request == setTermios2 ? modemOf(fd) : nullptr;
    auto *tio = static_cast<Termios2 *>(argument);
    if (modem && modem->uartClock && tio->ospeed) {
        const unsigned clock = modem->uartClock;
        tio->ispeed = tio->ospeed = clock / std::max(1u, (clock + tio->ospeed / 2) / tio->ospeed);
    }
}

// Hands a change of the settings on at the 8,n that the pty keeps anyway, keeping what was asked:
// glibc calls a change it did not make a failure.
template <typename Call> int setKept(Shared *line, tcflag_t &cflag, Call set)
{
    const tcflag_t asked = cflag;
    cflag = line ? (asked & ~keptBits) | CS8 : asked;
    const int result = set();
    cflag = asked;
    if (line && result == 0)
        line->cflag = asked & keptBits;
    return result;
}

int gotAsked(const Shared *line, termios &tio, int result)
{
    if (line && result == 0)
        reportAsked(tio, line->cflag);
    return result;
}

} // namespace

// TIOCMGET, TIOCMBIS, TIOCMBIC and TIOCMSET are the lines' requests. ser2net reads and writes the
// settings by termios2 (TCGETS2; TCSETS2, TCSETSW2 and TCSETSF2), which starts as termios does.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    makeSpeed(fd, request, argument);
    Shared *line = lineOf(fd);
    if (request == TIOCSBRK && cableEnd(fd))
        cable.cut = true;
    if (line && request >= TIOCMGET && request <= TIOCMSET) {
        answer(*line, request, *static_cast<int *>(argument));
        return 0;
    }
    const auto real = [&] { return REAL(ioctl, fd, request, argument); };
    if (request - setTermios2 <= 2)
        return setKept(line, static_cast<termios *>(argument)->c_cflag, real);
    if (request == getTermios2)
        return gotAsked(line, *static_cast<termios *>(argument), real());
    return real();
}

extern "C" int tcgetattr(int fd, termios *tio) noexcept
{
    const int result = gotAsked(lineOf(fd), *tio, REAL(tcgetattr, fd, tio));
    if (result == 0 && cableEnd(fd) && cable.settings.c_cflag != 0) // once an end set them
        *tio = cable.settings;
    return result;
}

extern "C" int tcsetattr(int fd, int action, const termios *tio) noexcept
{
    termios taken = *tio;
    const int result
        = setKept(lineOf(fd), taken.c_cflag, [&] { return REAL(tcsetattr, fd, action, &taken); });
    if (result == 0 && cableEnd(fd))
        cable.settings = *tio;
    return result;
}

// While the far end holds the line with XOFF, the UART takes nothing more.
extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    const Modem *modem = modemOf(fd);
    if (modem && modem->heldByXoff)
        return errno = EAGAIN, -1;
    return REAL(write, fd, data, size);
}
