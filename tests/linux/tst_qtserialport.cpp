#include "ptymodem.h"
#include "qtserialport.h"
#include "rows.h"

#include <QTest>

#include <ctime>

#include <sys/ioctl.h>

using namespace Qt::StringLiterals;

// The line as the driver holds it, e.g. "115200 cs7 parenb cstopb rts"; without parenb the parity bits mean nothing.
static QString described(PtyModem &pty)
{
    const termios tio = pty.slaveTermios();
    QString text = u"%1 cs%2"_s.arg(pty.slaveBaudRate()).arg(5 + (tio.c_cflag & CSIZE) / CS6);
    const std::pair<tcflag_t, QString> flags[] = {{PARENB, u" parenb"_s}, {PARODD, u" parodd"_s}, {CMSPAR, u" cmspar"_s},
                                                  {CSTOPB, u" cstopb"_s}, {CRTSCTS, u" crtscts"_s}};
    for (const auto &[flag, name] : flags)
        text += (tio.c_cflag & flag) && (tio.c_cflag & PARENB || !(flag & (PARODD | CMSPAR))) ? name : QString();
    return text + (tio.c_iflag & IXON ? u" ixon"_s : u""_s) + (tio.c_iflag & IXOFF ? u" ixoff"_s : u""_s) + (pty.lines() & TIOCM_RTS ? u" rts"_s : u""_s);
}

class TestQtSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Set while closed and put in force at the open, or set while open over settings that differ in every part.
    // RTS is the driver's under hardware flow, else its button's (off). A UART on a 3 MHz clock gets 250000 for
    // 256000 (2.3 % off) and 14423 for 14400 (0.16 %).
    void settingsInForce_data() // "tag settings handshaking uartClock inForce"
    {
        rowTable({"even7Two 115200,E,7,2 0 0 115200 cs7 parenb cstopb",
                  "odd5XonXoff 1200,o,5,1 1 0 1200 cs5 parenb parodd ixon ixoff",
                  "mark6RtsCts 19200,m,6,1 2 0 19200 cs6 parenb parodd cmspar crtscts rts",
                  "space8Both 14400,s,8,2 3 0 14400 cs8 parenb cmspar cstopb crtscts ixon ixoff rts",
                  "none250000 250000,n,8,1 0 0 250000 cs8", "roundedClose 14400,n,8,1 1 3000000 14423 cs8 ixon ixoff",
                  "roundedTooFar 256000,n,8,1 2 3000000 refused"});
    }
    void settingsInForce()
    {
        QFETCH(QString, row);
        const QString settings = row.section(u' ', 0, 0);
        const int handshaking = row.section(u' ', 1, 1).toInt();
        for (const bool whileOpen : {false, true}) {
            PtyModem pty(row.section(u' ', 2, 2).toUInt());
            QtSerialPort port(pty.slavePath());
            QVERIFY(port.settings() == u"9600,n,8,1"_s && (!whileOpen || (port.setSettings(u"2400,m,7,1"_s) && port.setHandshaking(3 - handshaking) && port.setPortOpen(true))));
            const bool taken = port.setSettings(settings) && port.setHandshaking(handshaking) && port.setPortOpen(true) != whileOpen;
            QVERIFY(!port.setSettings(u"9600,n,8,1,"_s) && !port.setSettings(u"9600,n,8,1.5"_s) && !port.setHandshaking(4)); // termios has no 1.5
            QCOMPARE(taken ? described(pty) : u"refused"_s, row.section(u' ', 3));
            if (whileOpen && !taken) // in full, though the driver took the new parity and data bits before the speed
                QCOMPARE(described(pty), u"2400 cs7 parenb parodd cmspar ixon ixoff"_s);
            QCOMPARE(port.rtsEnable(), (pty.lines() & TIOCM_RTS) != 0);
            QVERIFY(!taken || (port.settings() == settings.toLower() && port.handshaking() == handshaking));
        }
    }

    // DTR and RTS asked for while closed reach the far end at the open, over the kernel raising both;
    // toggled while open they follow at once; a close drops both. The far end's inputs are read alone. Each
    // case, as "OURS>THEIRS:": the far end's lines at the open, the inputs the port sees once the far end
    // raised THEIRS and RI, the far end's lines once ours are toggled and once the port is closed (TIOCM_*
    // bits in hex: 2 DTR, 4 RTS, 20 CTS, 40 DCD, 80 RI, 100 DSR).
    void modemLines()
    {
        QStringList seen;
        for (const auto &[ours, theirs] : {std::pair(0, 0), {TIOCM_DTR, TIOCM_CAR}, {TIOCM_RTS, TIOCM_DSR}, {TIOCM_DTR | TIOCM_RTS, TIOCM_CTS}}) {
            PtyModem pty;
            QtSerialPort port(pty.slavePath());
            const auto far = [&pty] { return QString::number(pty.lines(), 16); };
            pty.lines() = TIOCM_DTR | TIOCM_RTS | TIOCM_CAR;
            QVERIFY(!port.cdHolding() && port.setDtrEnable(ours & TIOCM_DTR) && port.setRtsEnable(ours & TIOCM_RTS) && port.setPortOpen(true));
            seen << u"%1>%2: %3,"_s.arg(ours, 0, 16).arg(theirs, 0, 16).arg(far());
            pty.lines() = ours | theirs | TIOCM_RNG;
            seen.last() += QStringList{*port.cdHolding() ? u"cd"_s : u""_s, *port.dsrHolding() ? u"dsr"_s : u""_s,
                                       *port.ctsHolding() ? u"cts"_s : u""_s}.join(u' ').simplified();
            seen.last() += port.setDtrEnable(!(ours & TIOCM_DTR)) && port.setRtsEnable(!(ours & TIOCM_RTS)) ? u","_s + far() : u",refused"_s;
            seen.last() += port.setPortOpen(false) ? u","_s + far() : u",refused"_s;
        }
        QCOMPARE(seen.join(u' '), u"0>0: 40,,86,80 2>40: 42,cd,c4,c0 4>100: 44,dsr,182,180 6>20: 46,cts,a0,a0"_s);
    }

    // Each chunk is read on its own ("|" ends a read), so a character split across chunks is split across reads
    // too, and what is read is sent straight back. XOFF holds the far end's UART until XON; the close at the end
    // drops what it still holds, and the port opened again sends afresh.
    void receiveAndSend_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QString>("reads");
        QTest::addColumn<QByteArray>("echo");
        QTest::newRow("cyrillicSplit") << QByteArrayList{"a\xD0", "\x96z"} << u"a|Жz|"_s << "a\xD0\x96z"_ba;
        QTest::newRow("astralSplitThreeWays") << QByteArrayList{"\xF0\x9F", "\x98", "\x80!"} << u"||\U0001F600!|"_s << "\xF0\x9F\x98\x80!"_ba;
        QTest::newRow("invalidBytes") << QByteArrayList{"x\xFFy\xE0\x80"} << u"x\uFFFDy\uFFFD\uFFFD|"_s << "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD"_ba;
        QTest::newRow("cutTailShownAtNextRead") << QByteArrayList{"OK\xD2", "", "z"} << u"OK|\uFFFD|z|"_s << "OK\xEF\xBF\xBDz"_ba;
        QTest::newRow("xoffIsNoHangUp") << QByteArrayList{"\x13held for a bit!", "x", "y", "\x11"} << u"\u0013held for a bit!|x|y|\u0011|"_s << "\x13held for a bit!xy\x11"_ba;
        QTest::newRow("closeDropsUnsent") << QByteArrayList{"\x13unsent"} << u"\u0013unsent|"_s << ""_ba;
        QTest::newRow("kilobytesAtOnce") << QByteArrayList{QByteArray(3000, 'k')} << QString(3000, u'k') + u'|' << QByteArray(3000, 'k');
    }
    void receiveAndSend()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArray, echo);
        PtyModem pty;
        QtSerialPort port(pty.slavePath());
        QVERIFY(!port.input() && !port.output(u"closed") && port.setPortOpen(true));
        QString reads;
        qint64 sent = 0;
        for (const QByteArray &chunk : chunks) {
            sent += pty.write(chunk);
            QTRY_COMPARE(port.receivedBytes(), sent);
            reads += port.input().value() + u'|';
            QVERIFY(port.output(reads.section(u'|', -2, -2)));
        }
        QTEST(reads, "reads");
        QCOMPARE(pty.read(echo.size()), echo);
        QVERIFY(port.setPortOpen(false) && pty.write("\x11") == 1 && port.setPortOpen(true) && port.output(u"afresh"));
        QCOMPARE(pty.read(6), "afresh"_ba);
    }

    // A line held by XOFF queues output up to 4 MiB and refuses more; of what comes in while nobody reads,
    // the first MiB is kept and the rest dropped.
    void queuesAreBounded()
    {
        PtyModem pty;
        QtSerialPort port(pty.slavePath());
        QVERIFY(port.setPortOpen(true) && pty.write("\x13") == 1);
        QVERIFY(port.output(QString(4194303, u't')) && port.output(u"t") && !port.output(u"t"));
        for (qint64 sent = 1; sent < 1052672; QCoreApplication::processEvents())
            sent += qMax(0, pty.write(QByteArray(qMin(1052672 - sent, 65536), 'r')));
        QTRY_COMPARE(port.receivedBytes(), 1052672);
        QCOMPARE(port.input()->size(), 1048576);
    }

    // The far end goes away: no spin of the event loop, what came before is kept (a character it cut off as
    // U+FFFD), and only closing works.
    void hangUp()
    {
        PtyModem pty;
        QtSerialPort port(pty.slavePath());
        QVERIFY(port.setPortOpen(true) && pty.write("abc\xD0") == 4);
        QTRY_COMPARE(port.receivedBytes(), 4);
        pty.hangUp();
        const std::clock_t before = std::clock();
        QTest::qWait(1000);
        QVERIFY2(std::clock() - before < CLOCKS_PER_SEC / 4, "a core kept busy after the hang-up");
        QCOMPARE(port.input(), u"abc\uFFFD"_s);
        QVERIFY(!port.input() && !port.output(u"anyone?") && !port.setDtrEnable(true) && !port.setSettings(u"19200,n,8,1"_s)
                && port.setPortOpen(false) && !port.setPortOpen(true));
    }
};

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_qtserialport.moc"
