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

QString windowsPath(const QString &linuxPath)
{
    return u"Z:"_s + linuxPath;
}

double processSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto seconds = [](FILETIME time) { return double(ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart) / 1e7; };
    return seconds(kernel) + seconds(user);
}

} // namespace

// A null-modem cable: socat joins two ptys whose links the prefix maps to COM1, the port under test, and
// COM3, the far end played here with raw Win32 calls. The preloaded nullmodem library gives the ptys
// modem lines (DTR to DSR and DCD, RTS to CTS), keeps their line settings and writes COM1's to a file.
class NullModem
{
public:
    NullModem()
    {
        const QStringList links = qEnvironmentVariable("VELMORA_NULL_MODEM").split(u':');
        m_link = links.value(0);
        m_pidFile = m_link.section(u'/', 0, -2) + u"/socat.pid"_s;
        // The process id is written once both links are there: until then Wine opens COMn as mountmgr's bare
        // device, which answers no request.
        runOnHost(u"rm -f %1.line; env -u LD_PRELOAD socat pty,raw,echo=0,link=%1 pty,raw,echo=0,link=%2 </dev/null >/dev/null 2>&1 & "
                  "for i in $(seq 500); do [ -e %1 ] && [ -e %2 ] && break; sleep 0.01; done; echo $! > %3"_s.arg(m_link, links.value(1), m_pidFile));
        for (QDeadlineTimer deadline(5000); !QFile::exists(windowsPath(m_pidFile)) && !deadline.hasExpired();)
            QTest::qWait(10);
        m_far = ::CreateFileW(L"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        m_io.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        COMMTIMEOUTS noTimeouts{};
        ::GetCommState(m_far, &dcb);
        dcb.fOutX = dcb.fInX = dcb.fOutxCtsFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        ::SetCommState(m_far, &dcb);
        ::SetCommTimeouts(m_far, &noTimeouts);
    }
    // socat takes its links along when it goes: a next cable must not lose its own to this one.
    ~NullModem()
    {
        ::CloseHandle(m_far);
        ::CloseHandle(m_io.hEvent);
        hangUp();
        for (QDeadlineTimer deadline(5000); QFile::exists(windowsPath(m_pidFile)) && !deadline.hasExpired();)
            QTest::qWait(10);
    }
    NullModem(const NullModem &) = delete;
    NullModem &operator=(const NullModem &) = delete;

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
        ::GetCommModemStatus(m_far, &lines);
        return lines & (MS_RLSD_ON | MS_DSR_ON | MS_CTS_ON);
    }
    void raise(int outputs) const
    {
        ::EscapeCommFunction(m_far, outputs & 1 ? SETDTR : CLRDTR);
        ::EscapeCommFunction(m_far, outputs & 2 ? SETRTS : CLRRTS);
    }

    // Waited for in the event loop, where the port under test takes what comes.
    qint64 write(const QByteArray &bytes)
    {
        DWORD written = 0;
        if (!::WriteFile(m_far, bytes.constData(), DWORD(bytes.size()), nullptr, &m_io) && ::GetLastError() != ERROR_IO_PENDING)
            return -1;
        for (QDeadlineTimer deadline(10000); !HasOverlappedIoCompleted(&m_io) && !deadline.hasExpired();)
            QTest::qWait(5);
        return ::GetOverlappedResult(m_far, &m_io, &written, FALSE) ? qint64(written) : -1;
    }
    // What the far end holds once events ran until `count` bytes came or three seconds passed.
    QByteArray read(qsizetype count = 0)
    {
        QByteArray bytes;
        QDeadlineTimer deadline(3000);
        do {
            QTest::qWait(10);
            COMSTAT status{};
            DWORD errors = 0;
            DWORD got = 0;
            if (!::ClearCommError(m_far, &errors, &status) || status.cbInQue == 0)
                continue;
            QByteArray chunk(status.cbInQue, Qt::Uninitialized);
            if ((::ReadFile(m_far, chunk.data(), status.cbInQue, nullptr, &m_io) || ::GetLastError() == ERROR_IO_PENDING)
                && ::GetOverlappedResult(m_far, &m_io, &got, TRUE))
                bytes += chunk.first(got);
        } while (bytes.size() < count && !deadline.hasExpired());
        return bytes;
    }

private:
    QString m_link;
    QString m_pidFile;
    HANDLE m_far = INVALID_HANDLE_VALUE;
    OVERLAPPED m_io{};
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
        QTest::addColumn<QString>("inForce");
        QTest::addColumn<bool>("farCts");
        QTest::newRow("even7Two") << u"115200,E,7,2"_s << 0 << u"115200 cs7 parenb cstopb"_s << false;
        QTest::newRow("odd5OneAndHalfXonXoff") << u"1200,o,5,1.5"_s << 1 << u"1200 cs5 parenb parodd cstopb ixon ixoff"_s << false;
        QTest::newRow("mark6RtsCts") << u"19200,m,6,1"_s << 2 << u"19200 cs6 parenb parodd cmspar crtscts"_s << true;
        QTest::newRow("space8Both") << u"921600,s,8,2"_s << 3 << u"921600 cs8 parenb cmspar cstopb crtscts ixon ixoff"_s << true;
        QTest::newRow("speedFarOff") << u"14400,n,8,1"_s << 2 << u"refused"_s << false;
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
            QTEST(taken ? after : u"refused"_s, "inForce");
            QVERIFY(taken || !whileOpen || after == before);
            QTEST((cable.lines() & MS_CTS_ON) != 0, "farCts");
            // Wine cannot tell the line the driver holds (it has no IOCTL_SERIAL_GET_DTRRTS).
            QCOMPARE(port.rtsEnable(), (cable.lines() & MS_CTS_ON) ? std::nullopt : std::optional(false));
            QVERIFY(!taken || (port.settings() == settings.toLower() && port.handshaking() == handshaking));
        }
    }

    // DTR and RTS asked for while closed reach the far end at the open; toggled while open they follow at
    // once; a close drops both. The far end's DTR is read as DCD and DSR, its RTS as CTS.
    void modemLines_data()
    {
        QTest::addColumn<int>("ours");
        QTest::addColumn<int>("theirs");
        QTest::addColumn<int>("farSees");
        QTest::addColumn<QString>("weSee");
        QTest::newRow("none") << 0 << 0 << 0 << u""_s;
        QTest::newRow("dtr") << 1 << 2 << 0xA0 << u"cts"_s;
        QTest::newRow("rts") << 2 << 1 << 0x10 << u"cd dsr"_s;
        QTest::newRow("both") << 3 << 3 << 0xB0 << u"cd dsr cts"_s;
    }
    void modemLines()
    {
        QFETCH(int, ours);
        QFETCH(int, theirs);
        QFETCH(int, farSees);
        NullModem cable;
        WinSerialPort port(u"COM1"_s);
        QVERIFY(cable.connected() && !port.cdHolding() && port.setDtrEnable(ours & 1) && port.setRtsEnable(ours & 2) && port.setPortOpen(true));
        QCOMPARE(int(cable.lines()), farSees);
        cable.raise(theirs);
        const QString seen = QStringList{*port.cdHolding() ? u"cd"_s : u""_s, *port.dsrHolding() ? u"dsr"_s : u""_s,
                                         *port.ctsHolding() ? u"cts"_s : u""_s}.join(u' ').simplified();
        QTEST(seen, "weSee");
        QVERIFY(port.setDtrEnable(!(ours & 1)) && port.setRtsEnable(!(ours & 2)));
        QCOMPARE(int(cable.lines()), 0xB0 - farSees);
        QVERIFY(port.setPortOpen(false));
        QCOMPARE(int(cable.lines()), 0);
    }

    // Each chunk is read on its own ("|" ends a read), so a character split across chunks is split across
    // reads too, and what is read is sent straight back. Under XON/XOFF, XOFF holds the port's output until
    // XON and neither reaches the reader; the close at the end drops what is held, and the port opened
    // again sends afresh.
    void receiveAndSend_data()
    {
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QString>("reads");
        QTest::addColumn<QByteArray>("echo");
        QTest::newRow("cyrillicSplit") << 0 << QByteArrayList{"a\xD0", "\x96z"} << u"a|Жz|"_s << "a\xD0\x96z"_ba;
        QTest::newRow("astralSplitThreeWays") << 0 << QByteArrayList{"\xF0\x9F", "\x98", "\x80!"} << u"||\U0001F600!|"_s << "\xF0\x9F\x98\x80!"_ba;
        QTest::newRow("invalidBytes") << 0 << QByteArrayList{"x\xFFy\xE0\x80"} << u"x\uFFFDy\uFFFD\uFFFD|"_s << "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD"_ba;
        QTest::newRow("cutTailShownAtNextRead") << 0 << QByteArrayList{"OK\xD2", "", "z"} << u"OK|\uFFFD|z|"_s << "OK\xEF\xBF\xBDz"_ba;
        QTest::newRow("xoffIsNoHangUp") << 1 << QByteArrayList{"\x13held for a bit!", "x", "y", "\x11"} << u"held for a bit!|x|y||"_s << "held for a bit!xy"_ba;
        QTest::newRow("closeDropsUnsent") << 1 << QByteArrayList{"\x13unsent"} << u"unsent|"_s << ""_ba;
        QTest::newRow("fastAndLong") << 0 << QByteArrayList{QByteArray(200000, 'k')} << QString(200000, u'k') + u'|' << QByteArray(200000, 'k');
    }
    void receiveAndSend()
    {
        QFETCH(int, handshaking);
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArray, echo);
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
        QTEST(reads, "reads");
        QCOMPARE(cable.read(echo.size()), echo);
        QVERIFY(port.setPortOpen(false) && cable.write("\x11") == 1 && port.setPortOpen(true) && port.output(u"afresh"));
        QCOMPARE(cable.read(6), "afresh"_ba);
    }

    // No core kept busy with a read pending and a write done, nor once the far end has gone away; what came
    // before is kept (a character it cut off as U+FFFD), and only closing works.
    void hangUp()
    {
        NullModem cable;
        WinSerialPort port(u"COM1"_s);
        QVERIFY(cable.connected() && port.setPortOpen(true) && port.output(u"ping") && cable.read(4) == "ping" && cable.write("abc\xD0") == 4);
        QTRY_COMPARE(port.receivedBytes(), 4);
        for (const bool farEndGone : {false, true}) {
            if (farEndGone)
                cable.hangUp();
            const double before = processSeconds();
            QTest::qWait(1000);
            QVERIFY2(processSeconds() - before < 0.25, farEndGone ? "busy after the hang-up" : "busy while idle");
        }
        QCOMPARE(port.input(), u"abc\uFFFD"_s);
        QVERIFY(!port.input() && !port.output(u"anyone?") && !port.setDtrEnable(true) && !port.setSettings(u"19200,n,8,1"_s)
                && !port.cdHolding() && !port.setPortOpen(true) && port.setPortOpen(false) && !port.setPortOpen(true));
    }
};

QTEST_GUILESS_MAIN(TestWinSerialPort)
#include "tst_winserialport.moc"
