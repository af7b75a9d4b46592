#include "farend.h"
#include "ptymodem.h"
#include "qtserialtransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <ctime>

#include <sys/ioctl.h>

using namespace Qt::StringLiterals;

// The slave of a pty with modem lines is the near end; a 3 MHz UART clock rounds the speeds that
// have no Bxxx constant.
struct FarEnd::Cable
{
    PtyModem pty{3000000};
};

FarEnd::FarEnd()
    : m_cable(std::make_unique<Cable>())
{ }
FarEnd::~FarEnd() = default;

std::unique_ptr<Transport> FarEnd::transport() { return std::make_unique<QtSerialTransport>(); }
// 3 MHz over 12 is 250000, 2.3 % off.
QString FarEnd::unreachableSettings() { return u"256000,n,8,1"_s; }
double FarEnd::cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }
QString FarEnd::device() const { return m_cable->pty.slavePath(); }

QString FarEnd::lineInForce() const
{
    const termios tio = m_cable->pty.slaveTermios();
    const tcflag_t c = tio.c_cflag;
    QString text = u"%1 cs%2"_s.arg(m_cable->pty.slaveBaudRate()).arg(5 + (c & CSIZE) / CS6);
    const std::pair<tcflag_t, QString> flags[] = {{PARODD, u" parodd"_s}, {CMSPAR, u" cmspar"_s}};
    text += c & PARENB ? u" parenb"_s : u""_s;
    for (const auto &[flag, name] : flags)
        text += (c & PARENB) && (c & flag) ? name : u""_s;
    text += c & CSTOPB ? u" cstopb"_s : u""_s;
    text += c & CRTSCTS ? u" crtscts"_s : u""_s;
    return text + (tio.c_iflag & IXON ? u" ixon"_s : u""_s)
        + (tio.c_iflag & IXOFF ? u" ixoff"_s : u""_s);
}

QString FarEnd::outputsSeen() const
{
    const int lines = m_cable->pty.lines();
    return QStringList{lines & TIOCM_DTR ? u"dtr"_s : u""_s, lines & TIOCM_RTS ? u"rts"_s : u""_s}
        .join(u' ')
        .trimmed();
}

void FarEnd::raise(bool dcdAndDsr, bool cts)
{
    int &lines = m_cable->pty.lines();
    lines = (lines & (TIOCM_DTR | TIOCM_RTS)) | (dcdAndDsr ? TIOCM_CAR | TIOCM_DSR : 0)
        | (cts ? TIOCM_CTS : 0);
}

// Whole, as the pty takes it in pieces while the port reads.
qint64 FarEnd::write(const QByteArray &bytes)
{
    qint64 done = 0;
    for (QDeadlineTimer end(3000); done < bytes.size() && !end.hasExpired();
         QCoreApplication::processEvents())
        done += qMax<qint64>(0, m_cable->pty.write(bytes.mid(done)));
    return done;
}
QByteArray FarEnd::read(qsizetype count) { return m_cable->pty.read(count); }
void FarEnd::hangUp() { m_cable->pty.hangUp(); }
// The old cable goes first: a new one takes its names.
void FarEnd::plugIn()
{
    m_cable.reset();
    m_cable = std::make_unique<Cable>();
}
