#include "ptymodem.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstdarg>
#include <map>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Modem
{
    int lines = 0;
    tcflag_t cflag = CS8; // the character size and parity asked for
};
constexpr tcflag_t keptBits = CSIZE | PARENB | PARODD | CMSPAR;
constexpr int outputs = TIOCM_DTR | TIOCM_RTS;

// By the slave's device number, which every descriptor of it shares.
std::map<dev_t, Modem> modems;

Modem *modemOf(int fd)
{
    struct stat status{};
    const auto found = ::fstat(fd, &status) == 0 ? modems.find(status.st_rdev) : modems.end();
    return found == modems.end() ? nullptr : &found->second;
}

// The definition the C library or a sanitizer runtime would have given.
template<typename Function>
Function *next(const char *name)
{
    return reinterpret_cast<Function *>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    Modem *modem = modemOf(fd);
    if (!modem || (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC))
        return next<int(int, unsigned long, void *)>("ioctl")(fd, request, argument);
    int &bits = *static_cast<int *>(argument);
    if (request == TIOCMGET)
        bits = modem->lines;
    else if (request == TIOCMSET)
        modem->lines = (modem->lines & ~outputs) | (bits & outputs);
    else
        modem->lines = request == TIOCMBIS ? modem->lines | (bits & outputs) : modem->lines & ~(bits & outputs);
    return 0;
}

extern "C" int tcgetattr(int fd, termios *tio) noexcept
{
    const int result = next<int(int, termios *)>("tcgetattr")(fd, tio);
    if (const Modem *modem = modemOf(fd); result == 0 && modem)
        tio->c_cflag = (tio->c_cflag & ~keptBits) | modem->cflag;
    return result;
}

// The pty is asked only for what it keeps: glibc calls a change it did not make a failure.
extern "C" int tcsetattr(int fd, int action, const termios *tio) noexcept
{
    Modem *modem = modemOf(fd);
    termios kept = *tio;
    kept.c_cflag = modem ? (kept.c_cflag & ~keptBits) | CS8 : kept.c_cflag;
    const int result = next<int(int, int, const termios *)>("tcsetattr")(fd, action, &kept);
    if (modem && result == 0)
        modem->cflag = tio->c_cflag & keptBits;
    return result;
}

PtyModem::PtyModem()
    : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    , m_slave((::grantpt(m_master), ::unlockpt(m_master), ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC)))
    , m_path(QString::fromLocal8Bit(::ptsname(m_master)))
{
    termios tio = slaveTermios();
    ::cfmakeraw(&tio); // no echo to the master while the code under test has the slave closed
    ::tcsetattr(m_slave, TCSANOW, &tio);
    lines() = 0;
}

PtyModem::~PtyModem()
{
    struct stat status{};
    modems.erase(::fstat(m_slave, &status) == 0 ? status.st_rdev : 0);
    hangUp();
    ::close(m_slave);
}

termios PtyModem::slaveTermios() const
{
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    return tio;
}

unsigned PtyModem::slaveBaudRate() const
{
    struct { tcflag_t flags[4]; cc_t line, cc[19]; speed_t ispeed, ospeed; } tio{}; // the kernel's termios2
    return ::ioctl(m_slave, _IOR('T', 0x2A, decltype(tio)), &tio) == 0 ? tio.ospeed : 0;
}

int &PtyModem::lines()
{
    struct stat status{};
    ::fstat(m_slave, &status);
    return modems[status.st_rdev].lines;
}

qint64 PtyModem::write(const QByteArray &bytes) const
{
    return ::write(m_master, bytes.constData(), std::size_t(bytes.size()));
}

QByteArray PtyModem::read(qsizetype count) const
{
    QByteArray bytes;
    char chunk[65536];
    for (QDeadlineTimer deadline(3000); bytes.size() < count || bytes.isEmpty();) {
        QCoreApplication::processEvents();
        for (ssize_t got; (got = ::read(m_master, chunk, sizeof chunk)) > 0;)
            bytes.append(chunk, got);
        if (count == 0 || deadline.hasExpired())
            break;
    }
    return bytes;
}

void PtyModem::hangUp()
{
    ::close(std::exchange(m_master, -1));
}
