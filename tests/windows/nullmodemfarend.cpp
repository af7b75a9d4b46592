#include "farend.h"
#include "wincommtransport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <windows.h>

using namespace Qt::StringLiterals;

namespace {

const QStringList links = qEnvironmentVariable("VELMORA_NULL_MODEM").split(u':');
const QString pidFile = links.value(0).section(u'/', 0, -2) + u"/socat.pid"_s;

// Wine starts a Linux program given by its Linux path, but hands back no process to wait for.
void runOnHost(const QString &command)
{
    std::wstring line = (u"/bin/sh -c \""_s + command + u'"').toStdWString();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    QVERIFY(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
}

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
template <typename Condition> void waitUntil(Condition done, int ms)
{
    for (QDeadlineTimer end(ms); !done() && !end.hasExpired();)
        QTest::qWait(5);
}

bool hostFileExists(const QString &path) { return QFile::exists(u"Z:"_s + path); }

} // namespace

// A null-modem cable: socat joins two ptys whose links the prefix maps to COM1, the near end, and
// COM3, played here with raw Win32 calls. The preloaded nullmodem library gives the ptys modem
// lines (DTR to DSR and DCD, RTS to CTS), keeps their line settings and writes COM1's to a file.
// The process id is written once both links are there: until then Wine opens COMn as a bare device
// that answers nothing.
struct FarEnd::Cable
{
    HANDLE port = INVALID_HANDLE_VALUE;
    OVERLAPPED io{0, 0, {}, ::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    Cable()
    {
        runOnHost(
            u"rm -f %1.line %1.mute; env -u LD_PRELOAD socat pty,raw,echo=0,link=%1"
            " pty,raw,echo=0,link=%2"
            " </dev/null >/dev/null 2>&1 & for i in $(seq 500); do [ -e %1 ] && [ -e %2 ] && break;"
            " sleep 0.01; done; echo $! > %3"_s.arg(links.value(0), links.value(1), pidFile));
        waitUntil([] { return hostFileExists(pidFile); }, 5000);
        port = ::CreateFileW(L"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        COMMTIMEOUTS noTimeouts{};
        ::GetCommState(port, &dcb);
        // No flow control; DTR and RTS are the far end's own (their _DISABLE values are 0).
        dcb.fOutX = dcb.fInX = dcb.fOutxCtsFlow = dcb.fDtrControl = dcb.fRtsControl = FALSE;
        ::SetCommState(port, &dcb);
        ::SetCommTimeouts(port, &noTimeouts);
    }
    // socat takes its links along when it goes: a next cable must not lose its own to this one.
    ~Cable()
    {
        ::CloseHandle(port);
        ::CloseHandle(io.hEvent);
        unplug();
        waitUntil([] { return !hostFileExists(pidFile); }, 5000);
    }
    static void unplug()
    {
        runOnHost(u"test -f %1 && kill $(cat %1); for i in $(seq 500); do [ -L %2 ] || break;"
                  " sleep 0.01; done; rm -f %1"_s.arg(pidFile, links.value(0)));
    }
    // The bytes an overlapped ReadFile or WriteFile moved (0 if it failed), waited for in the event
    // loop, where the port under test takes what comes.
    qint64 done(BOOL started)
    {
        DWORD moved = 0;
        started = started || ::GetLastError() == ERROR_IO_PENDING;
        waitUntil([&] { return !started || HasOverlappedIoCompleted(&io); }, 10000);
        return started && ::GetOverlappedResult(port, &io, &moved, FALSE) ? moved : 0;
    }
};

FarEnd::FarEnd()
    : m_cable(std::make_unique<Cable>())
{ }
FarEnd::~FarEnd() = default;

std::unique_ptr<Transport> FarEnd::transport() { return std::make_unique<WinCommTransport>(); }
// Wine makes 14400 baud 38400.
QString FarEnd::unreachableSettings() { return u"14400,n,8,1"_s; }
bool FarEnd::takesBothHandshakes() { return true; }
bool FarEnd::closeDropsHeldOutput() { return true; }
QString FarEnd::device() const { return u"COM1"_s; }

double FarEnd::cpuSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    return double(ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart
                  + ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart)
        / 1e7;
}

QString FarEnd::lineInForce() const
{
    QFile file(u"Z:"_s + links.value(0) + u".line"_s);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed()
                                          : u"none"_s;
}

QString FarEnd::outputsSeen() const
{
    DWORD lines = 0;
    ::GetCommModemStatus(m_cable->port, &lines);
    return QStringList{lines & MS_DSR_ON ? u"dtr"_s : u""_s, lines & MS_CTS_ON ? u"rts"_s : u""_s}
        .join(u' ')
        .trimmed();
}

void FarEnd::raise(bool dcdAndDsr, bool cts)
{
    ::EscapeCommFunction(m_cable->port, dcdAndDsr ? SETDTR : CLRDTR);
    ::EscapeCommFunction(m_cable->port, cts ? SETRTS : CLRRTS);
}

qint64 FarEnd::write(const QByteArray &bytes)
{
    return m_cable->done(
        ::WriteFile(m_cable->port, bytes.constData(), DWORD(bytes.size()), nullptr, &m_cable->io));
}

QByteArray FarEnd::read(qsizetype count)
{
    QByteArray bytes;
    waitUntil(
        [&] {
            QTest::qWait(10);
            COMSTAT status{};
            QByteArray chunk(::ClearCommError(m_cable->port, nullptr, &status) ? status.cbInQue : 0,
                             Qt::Uninitialized);
            if (!chunk.isEmpty())
                bytes += chunk.first(m_cable->done(::ReadFile(
                    m_cable->port, chunk.data(), status.cbInQue, nullptr, &m_cable->io)));
            return bytes.size() >= count;
        },
        3000);
    return bytes;
}

void FarEnd::hangUp() { Cable::unplug(); }

void FarEnd::mute()
{
    QFile mute(u"Z:"_s + links.value(0) + u".mute"_s);
    QVERIFY(mute.open(QIODevice::WriteOnly));
}

// The old cable goes first: a new one takes its names.
void FarEnd::plugIn()
{
    m_cable.reset();
    m_cable = std::make_unique<Cable>();
}
