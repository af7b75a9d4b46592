#include "winserialport.h"

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

double cpuSeconds()
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
struct NullModem
{
    Q_DISABLE_COPY(NullModem)
    NullModem()
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
    ~NullModem()
    {
        ::CloseHandle(m_far);
        ::CloseHandle(m_io.hEvent);
        hangUp();
        waitUntil([this] { return !QFile::exists(windowsPath(m_pidFile)); }, 5000);
    }

    [[nodiscard]] bool connected() const { return m_far != INVALID_HANDLE_VALUE; }
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

class TestWinSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Set while closed and put in force at the open, or set while open over settings that differ in every
    // part. RTS is the driver's under RTS/CTS flow, handed over asserted, else its button's (off). Wine makes
    // 14400 baud 38400; refused, that leaves the line as it was.
    void settingsInForce_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QString>("inForce"); // ", far CTS" when the far end reads CTS
        QTest::newRow("even7Two") << u"115200,E,7,2"_s << 0 << u"115200 cs7 parenb cstopb"_s;
        QTest::newRow("odd5OneAndHalfXonXoff") << u"1200,o,5,1.5"_s << 1 << u"1200 cs5 parenb parodd cstopb ixon ixoff"_s;
        QTest::newRow("mark6RtsCts") << u"19200,m,6,1"_s << 2 << u"19200 cs6 parenb parodd cmspar crtscts, far CTS"_s;
        QTest::newRow("space8Both") << u"921600,s,8,2"_s << 3 << u"921600 cs8 parenb cmspar cstopb crtscts ixon ixoff, far CTS"_s;
        QTest::newRow("speedFarOff") << u"14400,n,8,1"_s << 2 << u"refused"_s;
    }
    void settingsInForce()
    {
        QFETCH(QString, settings);
        QFETCH(int, handshaking);
        for (const bool whileOpen : {false, true}) {
            NullModem cable;
            WinSerialPort port(u"COM1"_s);
            QVERIFY(cable.connected() && port.settings() == u"9600,n,8,1"_s);
            QVERIFY(!whileOpen || (port.setSettings(u"2400,m,7,1"_s) && port.setHandshaking(3 - handshaking) && port.setPortOpen(true)));
            const QString before = cable.lineInForce();
            const bool taken = port.setSettings(settings) && port.setHandshaking(handshaking) && port.setPortOpen(true) != whileOpen;
            QVERIFY(!port.setSettings(u"9600,n,8,1.5"_s) && !port.setSettings(u"9600,n,5,2"_s) && !port.setHandshaking(4));
            const QString after = cable.lineInForce();
            const bool farCts = cable.lines() & MS_CTS_ON;
            // A refusal while open must leave the line as it was.
            QTEST((taken ? after : !whileOpen || after == before ? u"refused"_s : u"refused, yet "_s + after)
                  + (farCts ? u", far CTS"_s : u""_s), "inForce");
            // Wine cannot tell the line the driver holds (it has no IOCTL_SERIAL_GET_DTRRTS).
            QCOMPARE(port.rtsEnable(), farCts ? std::nullopt : std::optional(false));
            QVERIFY(!taken || (port.settings() == settings.toLower() && port.handshaking() == handshaking));
        }
    }

    // DTR and RTS asked for while closed reach the far end at the open; toggled while open they follow at
    // once; a close drops both. The far end's DTR is read as DCD and DSR, its RTS as CTS. Each case, as
    // "OURS>THEIRS:": the far end's lines at the open, the lines the port sees once the far end raised
    // THEIRS, the far end's once ours are toggled and once the port is closed (bit 1 is DTR, bit 2 RTS).
    void modemLines()
    {
        QStringList seen;
        for (const auto &[ours, theirs] : {std::pair(0, 0), {1, 2}, {2, 1}, {3, 3}}) {
            NullModem cable;
            WinSerialPort port(u"COM1"_s);
            QVERIFY(cable.connected() && !port.cdHolding() && port.setDtrEnable(ours & 1) && port.setRtsEnable(ours & 2)
                    && port.setPortOpen(true));
            seen << u"%1>%2: %3,"_s.arg(ours).arg(theirs).arg(cable.lines(), 0, 16);
            cable.raise(theirs);
            seen.last() += QStringList{*port.cdHolding() ? u"cd"_s : u""_s, *port.dsrHolding() ? u"dsr"_s : u""_s,
                                       *port.ctsHolding() ? u"cts"_s : u""_s}.join(u' ').simplified();
            // A toggle or close refused shows as "refused".
            seen.last() += port.setDtrEnable(!(ours & 1)) && port.setRtsEnable(!(ours & 2))
                               ? u",%1"_s.arg(cable.lines(), 0, 16) : u",refused"_s;
            seen.last() += port.setPortOpen(false) ? u",%1"_s.arg(cable.lines(), 0, 16) : u",refused"_s;
        }
        QCOMPARE(seen.join(u' '), u"0>0: 0,,b0,0 1>2: a0,cts,10,0 2>1: 10,cd dsr,a0,0 3>3: b0,cd dsr cts,0,0"_s);
    }

    // Each chunk is read on its own ("|" ends a read), so a character split across chunks is split across
    // reads too, and what is read is sent straight back. Under XON/XOFF, XOFF holds the port's output until
    // XON and neither reaches the reader; the close at the end drops what is held, and the port opened
    // again sends afresh.
    void receiveAndSend()
    {
        struct Case { int handshaking; QByteArrayList chunks; QString reads; QByteArray echo; };
        const Case cases[] = {
            // A Cyrillic letter split; an astral one split three ways; invalid bytes; a cut tail shown at the next read.
            {0, {"a\xD0", "\x96z"}, u"a|Жz|"_s, "a\xD0\x96z"_ba},
            {0, {"\xF0\x9F", "\x98", "\x80!"}, u"||\U0001F600!|"_s, "\xF0\x9F\x98\x80!"_ba},
            {0, {"x\xFFy\xE0\x80"}, u"x\uFFFDy\uFFFD\uFFFD|"_s, "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD"_ba},
            {0, {"OK\xD2", "", "z"}, u"OK|\uFFFD|z|"_s, "OK\xEF\xBF\xBDz"_ba},
            // XOFF is no hang-up; the close drops what is unsent; fast and long.
            {1, {"\x13held for a bit!", "x", "y", "\x11"}, u"held for a bit!|x|y||"_s, "held for a bit!xy"_ba},
            {1, {"\x13unsent"}, u"unsent|"_s, ""_ba},
            {0, {QByteArray(200000, 'k')}, QString(200000, u'k') + u'|', QByteArray(200000, 'k')},
        };
        for (const auto &[handshaking, chunks, expectedReads, echo] : cases) {
            NullModem cable;
            WinSerialPort port(u"COM1"_s);
            QVERIFY(cable.connected() && !port.input() && !port.output(u"closed") && port.setSettings(u"921600,n,8,1"_s)
                    && port.setHandshaking(handshaking) && port.setPortOpen(true));
            QString reads;
            qint64 sent = 0;
            for (const QByteArray &chunk : chunks) {
                sent += cable.write(chunk) - chunk.count('\x11') - chunk.count('\x13');
                QTRY_COMPARE(port.receivedBytes(), sent);
                reads += port.input().value() + u'|';
                QVERIFY(port.output(reads.section(u'|', -2, -2)));
            }
            QCOMPARE(reads, expectedReads);
            QCOMPARE(cable.read(echo.size()), echo);
            QVERIFY(port.setPortOpen(false) && cable.write("\x11") == 1 && port.setPortOpen(true) && port.output(u"afresh"));
            QCOMPARE(cable.read(6), "afresh"_ba);
        }
    }

    // No core kept busy with a read pending and a write done, nor once the far end has gone away; what came
    // before is kept (a character it cut off as U+FFFD), and nothing works until the adapter is back at its
    // COM number: then it opens again as it was, settings and DTR in force.
    void hangUp()
    {
        NullModem cable;
        WinSerialPort port(u"COM1"_s);
        QVERIFY(cable.connected() && port.setSettings(u"2400,e,7,1"_s) && port.setDtrEnable(true) && port.setPortOpen(true)
                && port.output(u"ping") && cable.read(4) == "ping" && cable.write("abc\xD0") == 4);
        QTRY_COMPARE(port.receivedBytes(), 4);
        const auto busySecond = [] { const double from = cpuSeconds(); QTest::qWait(1000); return cpuSeconds() - from; };
        QVERIFY2(busySecond() < 0.25, "busy while idle");
        cable.hangUp();
        QVERIFY2(busySecond() < 0.25, "busy after the hang-up");
        QCOMPARE(port.input(), u"abc\uFFFD"_s);
        QVERIFY(!port.input() && !port.output(u"anyone?") && !port.setDtrEnable(true) && !port.setSettings(u"19200,n,8,1"_s)
                && !port.cdHolding() && !port.setPortOpen(true) && !port.reopen());
        NullModem again;
        QVERIFY(again.connected() && port.reopen() && port.output(u"back") && again.read(4) == "back");
        QCOMPARE(again.lineInForce() + u' ' + QString::number(again.lines(), 16), u"2400 cs7 parenb a0"_s);
        QVERIFY(port.setPortOpen(false) && !port.reopen());
    }
};

QTEST_GUILESS_MAIN(TestWinSerialPort)
#include "tst_winserialport.moc"
