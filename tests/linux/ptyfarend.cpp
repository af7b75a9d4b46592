#include "farend.h"
#include "linetext.h"
#include "ptymodem.h"
#include "qtserialtransport.h"

using namespace Qt::StringLiterals;

// The slave of a pty with modem lines is the near end; a 3 MHz UART clock rounds the speeds that
// have no Bxxx constant.
struct FarEnd::Cable
{
    PtyModem pty{3000000};
};

FarEnd::FarEnd()
    : m_cable(std::make_shared<Cable>())
{ }

std::unique_ptr<Transport> FarEnd::transport() { return std::make_unique<QtSerialTransport>(); }
// 3 MHz over 12 is 250000, 2.3 % off.
const FarEnd::Traits FarEnd::traits{u"256000,n,8,1"_s, true, true};
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

qsizetype FarEnd::writeSome(const QByteArray &bytes)
{
    return qMax(0LL, m_cable->pty.write(bytes));
}
QByteArray FarEnd::readSome() { return m_cable->pty.read(0); }
