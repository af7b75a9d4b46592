#include "farend.h"
#include "rfc2217transport.h"
#include "servedpty.h"

// The near end is a pty that ser2net serves on loopback.
struct FarEnd::Cable
{
    quint16 port = ServedPty::freePort();
    ServedPty pty{ServedPty::Server::Ser2net, port};
};

#include "ptyfarend.h"

FarEnd::FarEnd()
    : m_cable(std::make_shared<Cable>())
{
    QVERIFY(m_cable->pty.start());
}

std::unique_ptr<Transport> FarEnd::transport() { return std::make_unique<Rfc2217Transport>(); }
// ser2net passes over one and a half stop bits.
const FarEnd::Traits FarEnd::traits{QStringLiteral("9600,n,8,1.5"), false, false};
QString FarEnd::device() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_cable->port);
}

qsizetype FarEnd::writeSome(const QByteArray &bytes)
{
    return qMax(0L, ::write(m_cable->pty.master(), bytes.data(), bytes.size()));
}

QByteArray FarEnd::readSome()
{
    QByteArray bytes(65536, Qt::Uninitialized);
    return bytes.first(qMax(0L, ::read(m_cable->pty.master(), bytes.data(), bytes.size())));
}
