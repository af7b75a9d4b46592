#include "farend.h"
#include "ptymodem.h"
#include "qtserialtransport.h"

// The slave of a pty with modem lines is the near end; a 3 MHz UART clock rounds the speeds that
// have no Bxxx constant.
struct FarEnd::Cable
{
    PtyModem pty{3000000};
};

#include "ptyfarend.h"

FarEnd::FarEnd()
    : m_cable(std::make_shared<Cable>())
{ }

std::unique_ptr<Transport> FarEnd::transport() { return std::make_unique<QtSerialTransport>(); }
// 3 MHz over 12 is 250000, 2.3 % off.
const FarEnd::Traits FarEnd::traits{QStringLiteral("256000,n,8,1"), true, true};
QString FarEnd::device() const { return m_cable->pty.slavePath(); }

qsizetype FarEnd::writeSome(const QByteArray &bytes)
{
    return qMax(0LL, m_cable->pty.write(bytes));
}
QByteArray FarEnd::readSome() { return m_cable->pty.read(0); }
