// The stand-ins for the C library's calls that ptyline.h tells of. Built alone, this is the library
// preloaded into the RFC 2217 servers (ser2net, pyserial's server), which raises CTS, DSR and DCD
// for them and reads DTR, RTS and the character size and parity they asked for.
#include "ptyline.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// The definition the C library or a sanitizer runtime would have given to a call handed on.
#define REAL(function, ...) \
    reinterpret_cast<decltype(&function)>(::dlsym(RTLD_NEXT, #function))(__VA_ARGS__)

using namespace ptyline;

dev_t ptyline::deviceOf(int fd)
{
    struct stat status{};
    return ::fstat(fd, &status) || !S_ISCHR(status.st_mode) ? 0 : status.st_rdev;
}

// Never destroyed: a server still writes while it exits.
std::map<dev_t, Modem> &ptyline::modems()
{
    static auto &table = *new std::map<dev_t, Modem>;
    return table;
}

namespace {

Modem *modemOf(int fd)
{
    const auto found = modems().find(deviceOf(fd));
    return found == modems().end() ? nullptr : &found->second;
}

Shared *sharedFile()
{
    const char *path = std::getenv("VELMORA_PTY_LINE");
    const int file = path ? ::open(path, O_RDWR | O_CLOEXEC) : -1;
    void *memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    return memory == MAP_FAILED ? nullptr : static_cast<Shared *>(memory);
}

// A PtyModem's line, else the shared file's if fd is a Unix 98 pty slave (majors 136 to 143).
Shared *lineOf(int fd)
{
    if (Modem *modem = modemOf(fd))
        return &modem->line;
    static Shared *const shared = sharedFile();
    const unsigned kind = major(deviceOf(fd));
    return kind >= 136 && kind <= 143 ? shared : nullptr;
}

bool isModemRequest(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

// TIOCMGET reads the lines; the others change DTR and RTS alone, the inputs being the far end's.
void answer(Shared &line, unsigned long request, int &bits)
{
    const int outputs = bits & (TIOCM_DTR | TIOCM_RTS);
    line.linesRead += request == TIOCMGET;
    if (request == TIOCMGET)
        bits = line.lines;
    else if (request == TIOCMSET)
        line.lines = (line.lines & ~(TIOCM_DTR | TIOCM_RTS)) | outputs;
    else
        line.lines = request == TIOCMBIS ? line.lines | outputs : line.lines & ~outputs;
}

// Given a UART clock, a speed without a Bxxx constant is made as that clock over the nearest whole
// divisor.
void *asMade(int fd, unsigned long request, void *argument, Termios2 &made)
{
    const Modem *modem = request == setTermios2 ? modemOf(fd) : nullptr;
    if (!modem || !modem->uartClock || !static_cast<Termios2 *>(argument)->ospeed)
        return argument;
    made = *static_cast<Termios2 *>(argument);
    const unsigned clock = modem->uartClock;
    made.ispeed = made.ospeed = clock / std::max(1u, (clock + made.ospeed / 2) / made.ospeed);
    return &made;
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

// The settings read back, with the character size and parity that were asked for.
int gotAsked(const Shared *line, tcflag_t &cflag, int result)
{
    if (line && result == 0)
        cflag = (cflag & ~keptBits) | line->cflag;
    return result;
}

} // namespace

// ser2net reads and writes the settings with ioctl too: TCGETS and TCGETS2 ('T' 0x01, 0x2A) read,
// TCSETS, TCSETSW, TCSETSF and their termios2 forms (0x02 to 0x04, 0x2B to 0x2D) write. termios
// and termios2 both start with the four flag words.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    Termios2 made;
    void *argument = asMade(fd, request, va_arg(arguments, void *), made);
    va_end(arguments);
    Shared *line = lineOf(fd);
    if (line && isModemRequest(request)) {
        answer(*line, request, *static_cast<int *>(argument));
        return 0;
    }
    const unsigned number = _IOC_TYPE(request) == 'T' ? _IOC_NR(request) : 0;
    const auto real = [&] { return REAL(ioctl, fd, request, argument); };
    if ((number >= 0x02 && number <= 0x04) || (number >= 0x2B && number <= 0x2D))
        return setKept(line, static_cast<termios *>(argument)->c_cflag, real);
    if (number == 0x01 || number == 0x2A)
        return gotAsked(line, static_cast<termios *>(argument)->c_cflag, real());
    return real();
}

extern "C" int tcgetattr(int fd, termios *tio) noexcept
{
    return gotAsked(lineOf(fd), tio->c_cflag, REAL(tcgetattr, fd, tio));
}

extern "C" int tcsetattr(int fd, int action, const termios *tio) noexcept
{
    termios taken = *tio;
    return setKept(lineOf(fd), taken.c_cflag, [&] { return REAL(tcsetattr, fd, action, &taken); });
}

extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    Modem *modem = modemOf(fd);
    if (!modem || !modem->heldByXoff || size == 0)
        return REAL(write, fd, data, size);
    const size_t taken = std::min(size, 16 - modem->fifo.size());
    modem->fifo.append(static_cast<const char *>(data), taken);
    return taken > 0 ? ssize_t(taken) : (errno = EAGAIN, -1);
}

extern "C" int tcflush(int fd, int queue) noexcept
{
    if (Modem *modem = modemOf(fd); modem && queue != TCIFLUSH)
        modem->fifo.clear();
    return REAL(tcflush, fd, queue);
}
