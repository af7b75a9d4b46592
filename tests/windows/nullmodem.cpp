// A null-modem cable between two ptys, for Wine: preloaded (LD_PRELOAD) into the Wine processes of a test,
// where Wine's serial code runs on the Linux side and asks the C library for the modem lines and the line
// settings. A pty has no modem lines and forces eight data bits without parity; for the two ptys named by
// VELMORA_NULL_MODEM="LINK1:LINK2" (links to their slaves, as socat's link= makes them) this library
// answers instead:
// - DTR of one end is DSR and DCD at the other, RTS of one end is CTS at the other;
// - the data bits, parity and stop bits asked for are kept and reported back, and the settings in force
//   are written, after each change, to LINK.line as "9600 cs8 parenb cstopb crtscts ixon ixoff".
// A pty whose other side is gone answers as it would have. Everything else goes to the C library.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include <dlfcn.h>
#include <fcntl.h>
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

template<typename Function>
Function *next(const char *name)
{
    return reinterpret_cast<Function *>(::dlsym(RTLD_NEXT, name));
}

dev_t deviceOf(int fd)
{
    struct stat status{};
    return ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) ? status.st_rdev : 0;
}

dev_t deviceAt(const std::string &path)
{
    struct stat status{};
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode) ? status.st_rdev : 0;
}

// The cable's two links; looked up at every call, as socat makes new ptys each time it starts.
std::pair<std::string, std::string> links()
{
    const char *cable = std::getenv("VELMORA_NULL_MODEM");
    const std::string both = cable != nullptr ? cable : "";
    const std::size_t colon = both.find(':');
    return colon == std::string::npos ? std::pair<std::string, std::string>() : std::pair(both.substr(0, colon), both.substr(colon + 1));
}

struct Plug
{
    dev_t self = 0;
    dev_t other = 0;
    std::string link;
};

// Which end of the cable the descriptor is, if it is one.
bool plugOf(int fd, Plug &plug)
{
    const dev_t device = deviceOf(fd);
    const auto [first, second] = links();
    if (device == 0 || first.empty())
        return false;
    const dev_t one = deviceAt(first);
    const dev_t two = deviceAt(second);
    if (device == one)
        plug = {one, two, first};
    else if (device == two)
        plug = {two, one, second};
    return device == one || device == two;
}

unsigned speedOf(speed_t code)
{
    static const std::map<speed_t, unsigned> speeds{
        {B50, 50}, {B75, 75}, {B110, 110}, {B134, 134}, {B150, 150}, {B200, 200}, {B300, 300}, {B600, 600},
        {B1200, 1200}, {B1800, 1800}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200},
        {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
        {B500000, 500000}, {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000}, {B1152000, 1152000},
        {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
        {B3500000, 3500000}, {B4000000, 4000000}};
    const auto found = speeds.find(code);
    return found == speeds.end() ? 0 : found->second;
}

void writeLine(const std::string &link, const termios &tio)
{
    std::string text = std::to_string(speedOf(::cfgetospeed(&tio))) + " cs" + std::to_string(5 + (tio.c_cflag & CSIZE) / CS6);
    const std::pair<tcflag_t, const char *> flags[] = {{PARENB, " parenb"}, {PARODD, " parodd"}, {CMSPAR, " cmspar"},
                                                       {CSTOPB, " cstopb"}, {CRTSCTS, " crtscts"}};
    for (const auto &[flag, name] : flags) {
        if ((tio.c_cflag & flag) && (tio.c_cflag & PARENB || !(flag & (PARODD | CMSPAR))))
            text += name;
    }
    text += std::string(tio.c_iflag & IXON ? " ixon" : "") + (tio.c_iflag & IXOFF ? " ixoff" : "") + "\n";
    const std::string made = link + ".line.new";
    const int file = ::open(made.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return;
    const bool written = ::write(file, text.data(), text.size()) == ssize_t(text.size());
    ::close(file);
    if (written)
        ::rename(made.c_str(), (link + ".line").c_str());
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
    if ((request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC) || !plugOf(fd, plug))
        return real(fd, request, argument);
    int probe = 0;
    if (real(fd, TIOCMGET, &probe) != 0 && errno == EIO)
        return -1; // hung up: the cable is out
    const std::lock_guard lock(guard);
    int &bits = *static_cast<int *>(argument);
    int &mine = ends[plug.self].outputs;
    if (request == TIOCMGET) {
        const int theirs = ends[plug.other].outputs;
        bits = mine | (theirs & TIOCM_DTR ? TIOCM_DSR | TIOCM_CAR : 0) | (theirs & TIOCM_RTS ? TIOCM_CTS : 0);
    } else if (request == TIOCMSET) {
        mine = bits & outputs;
    } else {
        mine = request == TIOCMBIS ? mine | (bits & outputs) : mine & ~(bits & outputs);
    }
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
    Plug plug;
    if (!plugOf(fd, plug))
        return next<int(int, int, const termios *)>("tcsetattr")(fd, action, tio);
    termios asked = *tio;
    asked.c_cflag = (asked.c_cflag & ~keptBits) | CS8;
    const int result = next<int(int, int, const termios *)>("tcsetattr")(fd, action, &asked);
    if (result == 0) {
        const std::lock_guard lock(guard);
        ends[plug.self].cflag = tio->c_cflag & keptBits;
        writeLine(plug.link, *tio);
    }
    return result;
}
