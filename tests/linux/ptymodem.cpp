#include "ptymodem.h"

#include "linetext.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <fcntl.h>

using namespace ptyline;

PtyModem::PtyModem(unsigned uartClock)
    : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    , m_slave((::grantpt(m_master), ::unlockpt(m_master),
               ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC)))
    , m_path(QString::fromLocal8Bit(::ptsname(m_master)))
    , m_modem(modems()[deviceOf(m_slave)])
{
    termios tio = slaveTermios();
    ::cfmakeraw(&tio); // no echo to the master while the code under test has the slave closed
    ::tcsetattr(m_slave, TCSANOW, &tio);
    m_modem.uartClock = uartClock;
}

PtyModem::~PtyModem()
{
    modems().erase(deviceOf(m_slave));
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
    Termios2 tio{};
    return ::ioctl(m_slave, getTermios2, &tio) ? 0 : tio.ospeed;
}

QString PtyModem::lineInForce() const
{
    return lineText(slaveTermios(), slaveBaudRate());
}

qint64 PtyModem::write(const QByteArray &bytes) const
{
    bool &held = m_modem.heldByXoff;
    held = bytes.contains('\x13') || (held && !bytes.contains('\x11'));
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
