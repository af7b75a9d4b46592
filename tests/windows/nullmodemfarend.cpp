#include "farend.h"
#include "wincommtransport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <windows.h>

using namespace Qt::StringLiterals;

namespace {

// Wine starts a Linux program given by its Linux path, but hands back no process to wait for.
void runOnHost(const QString &command)
{
    std::wstring line = (u"/bin/sh -c \""_s + command + u'"').toStdWString();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    QVERIFY(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
}

QString windowsPath(const QString &linuxPath) { return u"Z:"_s + linuxPath; }

double processorSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    return double(ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart
                  + ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) / 1e7;
}

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
template<typename Condition>
void waitUntil(Condition done, int ms) { for (QDeadlineTimer end(ms); !done() && !end.hasExpired();) QTest::qWait(5); }

} // namespace

// A null-modem cable: socat joins two ptys whose links the prefix maps to COM1, the port under test, and
// COM3, the far end played here with raw Win32 calls. The preloaded nullmodem library gives the ptys
// modem lines (DTR to DSR and DCD, RTS to CTS), keeps their line settings and writes COM1's to a file.
struct FarEnd::Cable
{
    Q_DISABLE_COPY(Cable)
    Cable()
    {
        // The process id is written once both links are there: until then Wine opens COMn as mountmgr's bare
        // device, which answers no request.
        runOnHost(u"rm -f %1.line; env -u LD_PRELOAD socat pty,raw,echo=0,link=%1 pty,raw,echo=0,link=%2 </dev/null >/dev/null 2>&1 & "
                  "for i in $(seq 500); do [ -e %1 ] && [ -e %2 ] && break; sleep 0.01; done; echo $! > %3"_s.arg(m_link, m_links.value(1), m_pidFile));
        waitUntil([this] { return QFile::exists(windowsPath(m_pidFile)); }, 5000);
        m_far = ::CreateFileW(L"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        COMMTIMEOUTS noTimeouts{};
        ::GetCommState(m_far, &dcb);
        // No XON/XOFF and no CTS flow; DTR and RTS are the far end's own (DTR_CONTROL_DISABLE and
        // RTS_CONTROL_DISABLE are both 0).
        dcb.fOutX = dcb.fInX = dcb.fOutxCtsFlow = dcb.fDtrControl = dcb.fRtsControl = FALSE;
        ::SetCommState(m_far, &dcb);
        ::SetCommTimeouts(m_far, &noTimeouts);
    }
    // socat takes its links along when it goes: a next cable must not lose its own to this one.
    ~Cable()
    {
        ::CloseHandle(m_far);
        ::CloseHandle(m_io.hEvent);
        hangUp();
        waitUntil([this] { return !QFile::exists(windowsPath(m_pidFile)); }, 5000);
    }

    // As an adapter that is pulled out: socat ends, and both ptys with it. The process id file goes once
    // socat has taken its links along.
    void hangUp()
    {
        runOnHost(u"test -f %1 && kill $(cat %1); for i in $(seq 500); do [ -L %2 ] || break; sleep 0.01; done; rm -f %1"_s.arg(m_pidFile, m_link));
    }

    // COM1's settings as its pty holds them, e.g. "115200 cs7 parenb cstopb"; without parenb the parity
    // bits mean nothing.
    [[nodiscard]] QString lineInForce() const
    {
        QFile file(windowsPath(m_link + u".line"_s));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed() : u"none"_s;
    }
    // MS_RLSD_ON, MS_DSR_ON and MS_CTS_ON as the far end reads them.
    [[nodiscard]] DWORD lines() const
    {
        DWORD lines = 0;
        return ::GetCommModemStatus(m_far, &lines) ? lines & (MS_RLSD_ON | MS_DSR_ON | MS_CTS_ON) : 0;
    }
    void raise(int outputs) const { ::EscapeCommFunction(m_far, outputs & 1 ? SETDTR : CLRDTR) && ::EscapeCommFunction(m_far, outputs & 2 ? SETRTS : CLRRTS); }

    // The bytes an overlapped ReadFile or WriteFile moved (0 if it failed), waited for in the event loop,
    // where the port under test takes what comes.
    qint64 done(BOOL started)
    {
        DWORD moved = 0;
        started = started || ::GetLastError() == ERROR_IO_PENDING;
        waitUntil([&] { return !started || HasOverlappedIoCompleted(&m_io); }, 10000);
        return started && ::GetOverlappedResult(m_far, &m_io, &moved, FALSE) ? moved : 0;
    }
    qint64 write(const QByteArray &bytes) { return done(::WriteFile(m_far, bytes.constData(), DWORD(bytes.size()), nullptr, &m_io)); }
    // What the far end holds once events ran until `count` bytes came or three seconds passed.
    QByteArray read(qsizetype count = 0)
    {
        QByteArray bytes;
        waitUntil([&] {
            QTest::qWait(10);
            COMSTAT status{};
            QByteArray chunk(::ClearCommError(m_far, nullptr, &status) ? status.cbInQue : 0, Qt::Uninitialized);
            bytes += chunk.first(chunk.isEmpty() ? 0 : done(::ReadFile(m_far, chunk.data(), status.cbInQue, nullptr, &m_io)));
            return bytes.size() >= count;
        }, 3000);
        return bytes;
    }

    const QStringList m_links = qEnvironmentVariable("VELMORA_NULL_MODEM").split(u':');
    const QString m_link = m_links.value(0);
    const QString m_pidFile = m_link.section(u'/', 0, -2) + u"/socat.pid"_s;
    HANDLE m_far = INVALID_HANDLE_VALUE;
    OVERLAPPED m_io{0, 0, {}, ::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

FarEnd::FarEnd() : m_cable(std::make_unique<Cable>()) {}
FarEnd::~FarEnd() = default;

std::unique_ptr<Transport> FarEnd::transport() { return std::make_unique<WinCommTransport>(); }
// Wine makes 14400 baud 38400.
QString FarEnd::unreachableSettings() { return u"14400,n,8,1"_s; }
double FarEnd::cpuSeconds() { return processorSeconds(); }
QString FarEnd::device() const { return u"COM1"_s; }
QString FarEnd::lineInForce() const { return m_cable->lineInForce(); }

QString FarEnd::outputsSeen() const
{
    const DWORD lines = m_cable->lines();
    return QStringList{lines & MS_DSR_ON ? u"dtr"_s : u""_s, lines & MS_CTS_ON ? u"rts"_s : u""_s}
        .join(u' ').trimmed();
}

void FarEnd::raise(bool dcdAndDsr, bool cts) { m_cable->raise((dcdAndDsr ? 1 : 0) | (cts ? 2 : 0)); }
qint64 FarEnd::write(const QByteArray &bytes) { return m_cable->write(bytes); }
QByteArray FarEnd::read(qsizetype count) { return m_cable->read(count); }
void FarEnd::hangUp() { m_cable->hangUp(); }
// The old cable goes first: a new one takes its names.
void FarEnd::plugIn()
{
    m_cable.reset();
    m_cable = std::make_unique<Cable>();
}
