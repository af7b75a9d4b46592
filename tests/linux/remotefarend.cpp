#include "farend.h"
#include "linetext.h"
#include "rfc2217transport.h"
#include "servedpty.h"

#include <QDeadlineTimer>
#include <QTest>

#include <ctime>

using namespace Qt::StringLiterals;

// The near end is a pty that ser2net serves on loopback; a new cable is a new pty behind the same
// address.
struct FarEnd::Cable
{
    quint16 port = ServedPty::freePort();
    std::unique_ptr<ServedPty> pty;

    void plugIn()
    {
        pty = std::make_unique<ServedPty>(ServedPty::Server::Ser2net, port);
        QVERIFY(pty->start());
    }
};

FarEnd::FarEnd()
    : m_cable(std::make_unique<Cable>())
{
    m_cable->plugIn();
}
FarEnd::~FarEnd() = default;

std::unique_ptr<Transport> FarEnd::transport() { return std::make_unique<Rfc2217Transport>(); }
// ser2net passes over one and a half stop bits.
QString FarEnd::unreachableSettings() { return u"9600,n,8,1.5"_s; }
bool FarEnd::takesBothHandshakes() { return false; }
bool FarEnd::closeDropsHeldOutput() { return false; }
double FarEnd::cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }
QString FarEnd::device() const { return u"rfc2217://127.0.0.1:%1"_s.arg(m_cable->port); }

QString FarEnd::lineInForce() const
{
    return m_cable->pty->lineInForce();
}

// The server changes the lines after it answered, and drops them after the connection ended.
QString FarEnd::outputsSeen() const
{
    QTest::qWait(200);
    return outputsText(m_cable->pty->lines());
}

// ser2net polls the lines; they are taken once it read them twice and its notice came.
void FarEnd::raise(bool dcdAndDsr, bool cts)
{
    int &lines = m_cable->pty->lines();
    lines = (lines & (TIOCM_DTR | TIOCM_RTS)) | (dcdAndDsr ? TIOCM_CAR | TIOCM_DSR : 0)
        | (cts ? TIOCM_CTS : 0);
    const unsigned read = m_cable->pty->linesRead();
    (void)QTest::qWaitFor([&] { return m_cable->pty->linesRead() >= read + 2; }, 5000);
    QTest::qWait(200);
}

qint64 FarEnd::write(const QByteArray &bytes)
{
    qint64 done = 0;
    for (QDeadlineTimer end(3000); done < bytes.size() && !end.hasExpired(); QTest::qWait(1)) {
        const ssize_t wrote = ::write(m_cable->pty->master(), bytes.data() + done,
                                      size_t(bytes.size() - done));
        done += qMax<ssize_t>(0, wrote);
    }
    return done;
}

QByteArray FarEnd::read(qsizetype count)
{
    QByteArray bytes;
    char chunk[4096];
    const auto more = [&] {
        for (ssize_t got; (got = ::read(m_cable->pty->master(), chunk, sizeof chunk)) > 0;)
            bytes.append(chunk, got);
        return bytes.size() >= count && count > 0;
    };
    (void)QTest::qWaitFor(more, count > 0 ? 3000 : 200);
    return bytes;
}

void FarEnd::hangUp() { m_cable->pty->stop(); }
// The old server goes first: the new one takes its address.
void FarEnd::plugIn()
{
    m_cable->pty.reset();
    m_cable->plugIn();
}
