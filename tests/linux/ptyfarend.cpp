#include "farend.h"
#include "linetext.h"
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
bool FarEnd::takesBothHandshakes() { return true; }
bool FarEnd::closeDropsHeldOutput() { return true; }
double FarEnd::cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }
QString FarEnd::device() const { return m_cable->pty.slavePath(); }

QString FarEnd::lineInForce() const
{
    return lineText(m_cable->pty.slaveTermios(), m_cable->pty.slaveBaudRate());
}
QString FarEnd::outputsSeen() const { return outputsText(m_cable->pty.lines()); }

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
