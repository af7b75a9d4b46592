// A null-modem cable between two ptys, for Wine: preloaded (LD_PRELOAD) into the Wine processes of
// a test, where Wine's serial code runs on the Linux side and asks the C library for the modem
// lines and the line settings. A pty has no modem lines and forces eight data bits without parity;
// for the two ptys named by VELMORA_NULL_MODEM="LINK1:LINK2" (links to their slaves, as socat's
// link= makes them) this library answers instead:
// - DTR of one end is DSR and DCD at the other, RTS of one end is CTS at the other;
// - the data bits, parity and stop bits asked for are kept and reported back, and the settings in
// force
//   are written, after each change, to LINK.line as "9600 cs8 parenb cstopb crtscts ixon ixoff".
// A pty whose other side is gone answers as it would have. Everything else goes to the C library.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr tcflag_t keptBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
constexpr int outputs = TIOCM_DTR | TIOCM_RTS;

struct End
{
    int outputs = 0;
    tcflag_t cflag = CS8;
};

std::mutex guard;
std::map<dev_t, End> ends; // by the slave's device number, which every descriptor of it shares

template <typename Function> Function *next(const char *name)
{
    return reinterpret_cast<Function *>(::dlsym(RTLD_NEXT, name));
}

// A descriptor's device is the one its /proc/self/fd link leads to.
dev_t deviceAt(const std::string &path)
{
    struct stat status
    {
    };
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode) ? status.st_rdev : 0;
}

struct Plug
{
    dev_t self = 0, other = 0;
    std::string link;
};

// Which end of the cable the descriptor is, if it is one. The cable's two links are looked up at
// every call, as socat makes new ptys each time it starts.
bool plugOf(int fd, Plug &plug)
{
    const std::string both
        = std::getenv("VELMORA_NULL_MODEM") != nullptr ? std::getenv("VELMORA_NULL_MODEM") : "";
    const std::size_t colon = both.find(':');
    const dev_t device = deviceAt("/proc/self/fd/" + std::to_string(fd));
    if (device == 0 || colon == std::string::npos)
        return false;
    const dev_t one = deviceAt(both.substr(0, colon)), two = deviceAt(both.substr(colon + 1));
    plug = device == one ? Plug{one, two, both.substr(0, colon)}
                         : Plug{two, one, both.substr(colon + 1)};
    return device == one || device == two;
}

// glibc's speed codes: B0 to B38400 count up from 0, B57600 to B4000000 from CBAUDEX + 1.
unsigned speedOf(speed_t code)
{
    static const unsigned low[]
        = {0, 50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400};
    static const unsigned high[]
        = {57600,   115200,  230400,  460800,  500000,  576000,  921600, 1000000,
           1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    return code < 16                             ? low[code]
        : code > CBAUDEX && code - CBAUDEX <= 15 ? high[code - CBAUDEX - 1]
                                                 : 0;
}

void writeLine(const std::string &link, const termios &tio)
{
    const tcflag_t c = tio.c_cflag;
    const bool parity = c & PARENB;
    const std::string made = link + ".line.new";
    std::FILE *file = std::fopen(made.c_str(), "we");
    const bool written = file != nullptr
        && std::fprintf(file, "%u cs%u%s%s%s%s%s%s%s\n", speedOf(::cfgetospeed(&tio)),
                        5 + (c & CSIZE) / CS6, parity ? " parenb" : "",
                        parity && c & PARODD ? " parodd" : "",
                        parity && c & CMSPAR ? " cmspar" : "", c & CSTOPB ? " cstopb" : "",
                        c & CRTSCTS ? " crtscts" : "", tio.c_iflag & IXON ? " ixon" : "",
                        tio.c_iflag & IXOFF ? " ixoff" : "")
            > 0;
    if (file != nullptr && std::fclose(file) == 0 && written)
        std::rename(made.c_str(), (link + ".line").c_str());
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    const auto real = next<int(int, unsigned long, void *)>("ioctl");
    Plug plug;
    if ((request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC)
        || !plugOf(fd, plug))
        return real(fd, request, argument);
    int probe = 0;
    if (real(fd, TIOCMGET, &probe) != 0 && errno == EIO)
        return -1; // hung up: the cable is out
    // As a driver that lost its device without saying so: LINK.mute makes every status request
    // fail.
    if (request == TIOCMGET && ::access((plug.link + ".mute").c_str(), F_OK) == 0)
        return errno = EINVAL, -1;
    const std::lock_guard lock(guard);
    int &bits = *static_cast<int *>(argument);
    int &mine = ends[plug.self].outputs;
    const int theirs = ends[plug.other].outputs;
    if (request == TIOCMGET)
        bits = mine | (theirs & TIOCM_DTR ? TIOCM_DSR | TIOCM_CAR : 0)
            | (theirs & TIOCM_RTS ? TIOCM_CTS : 0);
    else
        mine = request == TIOCMBIC ? mine & ~(bits & outputs)
                                   : (request == TIOCMBIS ? mine : 0) | (bits & outputs);
    return 0;
}

extern "C" int tcgetattr(int fd, termios *tio) noexcept
{
    const int result = next<int(int, termios *)>("tcgetattr")(fd, tio);
    Plug plug;
    if (result == 0 && plugOf(fd, plug)) {
        const std::lock_guard lock(guard);
        tio->c_cflag = (tio->c_cflag & ~keptBits) | ends[plug.self].cflag;
    }
    return result;
}

extern "C" int tcsetattr(int fd, int action, const termios *tio) noexcept
{
    const auto real = next<int(int, int, const termios *)>("tcsetattr");
    Plug plug;
    if (!plugOf(fd, plug))
        return real(fd, action, tio);
    termios asked = *tio;
    asked.c_cflag = (asked.c_cflag & ~keptBits) | CS8;
    const int result = real(fd, action, &asked);
    if (result == 0) {
        const std::lock_guard lock(guard);
        ends[plug.self].cflag = tio->c_cflag & keptBits;
        writeLine(plug.link, *tio);
    }
    return result;
}
