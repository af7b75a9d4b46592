#include "farend.h"
#include "wincommtransport.h"

#include <QFile>
#include <QProcess>

#include <windows.h>

using namespace Qt::StringLiterals;

namespace {

// The folder of the links COM1 to COM3 stand for, on drive Z:, the current one.
const QString ports = qEnvironmentVariable("VELMORA_NULL_MODEM");

// Runs a Linux command in that folder. Wine hands back no process to wait for: a file says when
// it is done.
void onHost(const QString &command)
{
    QProcess::startDetached(u"/bin/sh"_s, {u"-c"_s, u"cd %1; "_s.arg(ports) + command});
}

bool socatRuns() { return QFile::exists(ports + u"/socat.pid"_s); }

} // namespace

// A null-modem cable: socat joins two ptys whose links are COM1, the near end, and COM3, played
// here with Win32 calls; the stand-ins of modemshim.cpp, preloaded, give them modem lines and
// settings.
// socat's process id is written once both links are there: until then Wine opens COMn as a bare
// device that answers nothing.
struct FarEnd::Cable
{
    HANDLE port;
    OVERLAPPED io{};

    Cable()
    {
        onHost(u"socat pty,link=pty1 pty,rawer,link=pty3 & for i in $(seq 500); do "
               "[ -e pty3 ] && break; sleep 0.01; done; echo $! >socat.pid"_s);
        QVERIFY(QTest::qWaitFor(socatRuns));
        port = ::CreateFileW(L"COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    }
    // socat takes its links along when it goes: the next cable must not lose its own to this one.
    ~Cable()
    {
        ::CloseHandle(port);
        onHost(u"kill $(cat socat.pid) && while [ -e pty3 ]; do sleep 0.01; done; rm socat.pid"_s);
        QVERIFY(QTest::qWaitFor([] { return !socatRuns(); }));
    }
    // What an overlapped ReadFile or WriteFile moved, waited for in the event loop, where the port
    // under test takes what comes.
    qint64 move(auto call, auto *bytes, qsizetype size)
    {
        DWORD moved = 0;
        if (call(port, bytes, DWORD(size), nullptr, &io) || ::GetLastError() == ERROR_IO_PENDING)
            (void)QTest::qWaitFor(
                [&] { return ::GetOverlappedResult(port, &io, &moved, FALSE); }, 10000);
        return moved;
    }
};

FarEnd::FarEnd()
    : m_cable(std::make_shared<Cable>())
{ }

std::unique_ptr<Transport> FarEnd::transport() { return std::make_unique<WinCommTransport>(); }
// Wine makes 14400 baud 38400.
const FarEnd::Traits FarEnd::traits{u"14400,n,8,1"_s, true, true};
QString FarEnd::device() const { return u"COM1"_s; }

// The cable's settings, read at this end, by Windows' parity codes: none, odd, even, mark, space.
QString FarEnd::lineInForce() const
{
    DCB line{};
    ::GetCommState(m_cable->port, &line);
    return QString::asprintf("%lu cs%u%s%s%s%s%s%s%s", line.BaudRate, line.ByteSize,
                             line.Parity ? " parenb" : "", line.Parity % 2 ? " parodd" : "",
                             line.Parity > 2 ? " cmspar" : "", line.StopBits ? " cstopb" : "",
                             line.fOutxCtsFlow ? " crtscts" : "", line.fOutX ? " ixon" : "",
                             line.fInX ? " ixoff" : "");
}

QString FarEnd::outputsSeen() const
{
    DWORD lines = 0;
    ::GetCommModemStatus(m_cable->port, &lines);
    return QString::asprintf("%s %s", lines & MS_DSR_ON ? "dtr" : "",
                             lines & MS_CTS_ON ? "rts" : "")
        .trimmed();
}

void FarEnd::raise(bool dcdAndDsr, bool cts)
{
    ::EscapeCommFunction(m_cable->port, dcdAndDsr ? SETDTR : CLRDTR);
    ::EscapeCommFunction(m_cable->port, cts ? SETRTS : CLRRTS);
}

qsizetype FarEnd::writeSome(const QByteArray &bytes)
{
    return m_cable->move(::WriteFile, bytes.data(), bytes.size());
}

// Only what has come is asked for: a read of more would wait for it.
QByteArray FarEnd::readSome()
{
    COMSTAT waiting{};
    ::ClearCommError(m_cable->port, nullptr, &waiting);
    QByteArray bytes(waiting.cbInQue, Qt::Uninitialized);
    return bytes.first(m_cable->move(::ReadFile, bytes.data(), bytes.size()));
}

// To the preloaded stand-ins, a break is the sign to fail every request for the lines.
void FarEnd::mute() { ::SetCommBreak(m_cable->port); }
