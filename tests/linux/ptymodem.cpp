#include "ptymodem.h"

#include "ptyline.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cerrno>
#include <cstdarg>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>

// The C library's own definition of a call that a stand-in below hands on.
#define REAL(function, ...) ptyline::next<decltype(function)>(#function)(__VA_ARGS__)

namespace {

struct Modem
{
    int lines = 0;
    tcflag_t cflag = CS8; // the character size and parity asked for
    unsigned uartClock = 0;
    bool heldByXoff = false;
    QByteArray fifo;
};

// By the slave's device number, which every descriptor of it shares.
std::map<dev_t, Modem> modems;

dev_t deviceOf(int fd)
{
    struct stat status{};
    return ::fstat(fd, &status) ? 0 : status.st_rdev;
}

Modem *modemOf(int fd)
{
    const dev_t device = deviceOf(fd);
    return modems.contains(device) ? &modems[device] : nullptr;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    Modem *modem = modemOf(fd);
    ptyline::Termios2 made = modem && modem->uartClock && request == ptyline::setTermios2
        ? *static_cast<ptyline::Termios2 *>(argument)
        : ptyline::Termios2{};
    if (made.ospeed) {
        const unsigned clock = modem->uartClock;
        made.ispeed = made.ospeed = clock / qMax(1u, (clock + made.ospeed / 2) / made.ospeed);
        argument = &made;
    }
    if (!modem || !ptyline::isModemRequest(request))
        return REAL(ioctl, fd, request, argument);
    ptyline::answer(modem->lines, request, *static_cast<int *>(argument));
    return 0;
}

extern "C" int tcgetattr(int fd, termios *tio) noexcept
{
    const int result = REAL(tcgetattr, fd, tio);
    if (const Modem *modem = modemOf(fd); result == 0 && modem)
        ptyline::reportAsked(*tio, modem->cflag);
    return result;
}

// The pty is asked only for what it keeps: glibc calls a change it did not make a failure.
extern "C" int tcsetattr(int fd, int action, const termios *tio) noexcept
{
    Modem *modem = modemOf(fd);
    const termios taken = modem ? ptyline::asTaken(*tio) : *tio;
    const int result = REAL(tcsetattr, fd, action, &taken);
    if (modem && result == 0)
        modem->cflag = tio->c_cflag & ptyline::keptBits;
    return result;
}

extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    Modem *modem = modemOf(fd);
    if (!modem || !modem->heldByXoff || size == 0)
        return REAL(write, fd, data, size);
    const qsizetype taken = qMin(qsizetype(size), 16 - modem->fifo.size());
    modem->fifo.append(static_cast<const char *>(data), taken);
    return taken > 0 ? taken : (errno = EAGAIN, -1);
}

extern "C" int tcflush(int fd, int queue) noexcept
{
    if (Modem *modem = modemOf(fd); modem && queue != TCIFLUSH)
        modem->fifo.clear();
    return REAL(tcflush, fd, queue);
}

PtyModem::PtyModem(unsigned uartClock)
    : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    , m_slave((::grantpt(m_master), ::unlockpt(m_master),
               ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC)))
    , m_path(QString::fromLocal8Bit(::ptsname(m_master)))
{
    termios tio = slaveTermios();
    ::cfmakeraw(&tio); // no echo to the master while the code under test has the slave closed
    ::tcsetattr(m_slave, TCSANOW, &tio);
    modems[deviceOf(m_slave)].uartClock = uartClock;
}

PtyModem::~PtyModem()
{
    modems.erase(deviceOf(m_slave));
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
    ptyline::Termios2 tio{};
    return ::ioctl(m_slave, ptyline::getTermios2, &tio) ? 0 : tio.ospeed;
}

int &PtyModem::lines() { return modems[deviceOf(m_slave)].lines; }

qint64 PtyModem::write(const QByteArray &bytes) const
{
    Modem &modem = modems[deviceOf(m_slave)];
    modem.heldByXoff = bytes.contains('\x13') || (modem.heldByXoff && !bytes.contains('\x11'));
    if (!modem.heldByXoff && ::write(m_slave, modem.fifo.data(), size_t(modem.fifo.size())) >= 0)
        modem.fifo.clear();
    return ::write(m_master, bytes.constData(), size_t(bytes.size()));
}

QByteArray PtyModem::read(qsizetype count) const
{
    QByteArray bytes;
    char chunk[65536];
    QDeadlineTimer deadline(3000);
    do {
        QCoreApplication::processEvents();
        for (ssize_t got; (got = ::read(m_master, chunk, sizeof chunk)) > 0;)
            bytes.append(chunk, got);
    } while (bytes.size() < count && !deadline.hasExpired());
    return bytes;
}
