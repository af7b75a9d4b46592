#include "ptymodem.h"
#include "qtserialport.h"

#include <QTest>

#include <ctime>

#include <sys/ioctl.h>

using namespace Qt::StringLiterals;

namespace {

// The line as the driver holds it, e.g. "115200 cs7 parenb cstopb"; without parenb the parity bits mean nothing.
QString described(const PtyModem &pty)
{
    const termios tio = pty.slaveTermios();
    QString text = u"%1 cs%2"_s.arg(pty.slaveBaudRate()).arg(5 + (tio.c_cflag & CSIZE) / CS6);
    const std::pair<tcflag_t, QString> flags[] = {{PARENB, u" parenb"_s}, {PARODD, u" parodd"_s}, {CMSPAR, u" cmspar"_s},
                                                  {CSTOPB, u" cstopb"_s}, {CRTSCTS, u" crtscts"_s}};
    for (const auto &[flag, name] : flags)
        text += (tio.c_cflag & flag) && (tio.c_cflag & PARENB || !(flag & (PARODD | CMSPAR))) ? name : QString();
    return text + ((tio.c_iflag & IXON) ? u" ixon"_s : u""_s) + ((tio.c_iflag & IXOFF) ? u" ixoff"_s : u""_s);
}

} // namespace

class TestQtSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Set while closed and put in force at the open, or set while open over settings that differ in every part.
    void settingsInForce_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QString>("inForce");
        QTest::newRow("even7Two") << u"115200,E,7,2"_s << 0 << u"115200 cs7 parenb cstopb"_s;
        QTest::newRow("odd5XonXoff") << u"1200,o,5,1"_s << 1 << u"1200 cs5 parenb parodd ixon ixoff"_s;
        QTest::newRow("mark6RtsCts") << u"19200,m,6,1"_s << 2 << u"19200 cs6 parenb parodd cmspar crtscts"_s;
        QTest::newRow("space8Both") << u"14400,s,8,2"_s << 3 << u"14400 cs8 parenb cmspar cstopb crtscts ixon ixoff"_s;
        QTest::newRow("none250000") << u"250000,n,8,1"_s << 0 << u"250000 cs8"_s;
    }
    void settingsInForce()
    {
        QFETCH(QString, settings);
        QFETCH(int, handshaking);
        for (const bool whileOpen : {false, true}) {
            PtyModem pty;
            QtSerialPort port(pty.slavePath());
            QCOMPARE(port.settings(), u"9600,n,8,1"_s);
            QVERIFY(!whileOpen || (port.setSettings(u"2400,m,7,1"_s) && port.setHandshaking(3 - handshaking)));
            QVERIFY(!whileOpen || port.setPortOpen(true));
            QVERIFY(port.setSettings(settings) && port.setHandshaking(handshaking));
            QVERIFY(port.setPortOpen(true) != whileOpen);
            QVERIFY(!port.setSettings(u"9600,n,8,1,"_s) && !port.setHandshaking(4));
            QTEST(described(pty), "inForce");
            QCOMPARE(port.settings().value() + u' ' + QString::number(*port.handshaking()), settings.toLower() + u' ' + QString::number(handshaking));
        }
    }

    // DTR and RTS asked for while closed reach the far end at the open, over the kernel raising both;
    // toggled while open they follow at once; a close drops both. The far end's inputs are read alone.
    void modemLines_data()
    {
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("inputs");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("dtrDcd") << TIOCM_DTR << TIOCM_CAR;
        QTest::newRow("rtsDsr") << TIOCM_RTS << TIOCM_DSR;
        QTest::newRow("bothCts") << (TIOCM_DTR | TIOCM_RTS) << TIOCM_CTS;
    }
    void modemLines()
    {
        QFETCH(int, outputs);
        QFETCH(int, inputs);
        PtyModem pty;
        QtSerialPort port(pty.slavePath());
        pty.lines() = TIOCM_DTR | TIOCM_RTS | TIOCM_CAR;
        QVERIFY(!port.cdHolding());
        QVERIFY(port.setDtrEnable(outputs & TIOCM_DTR) && port.setRtsEnable(outputs & TIOCM_RTS) && port.setPortOpen(true));
        QCOMPARE(pty.lines(), outputs | TIOCM_CAR);
        pty.lines() = outputs | inputs | TIOCM_RNG;
        QCOMPARE((*port.cdHolding() ? TIOCM_CAR : 0) | (*port.dsrHolding() ? TIOCM_DSR : 0) | (*port.ctsHolding() ? TIOCM_CTS : 0), inputs);
        QVERIFY(port.setDtrEnable(!(outputs & TIOCM_DTR)) && port.setRtsEnable(!(outputs & TIOCM_RTS)));
        QCOMPARE(pty.lines(), (~outputs & (TIOCM_DTR | TIOCM_RTS)) | inputs | TIOCM_RNG);
        QVERIFY(port.setPortOpen(false));
        QCOMPARE(pty.lines(), inputs | TIOCM_RNG);
    }

    // Each chunk is read on its own, so a character split across chunks is split across reads too.
    void receiveAndSend_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QString>("text");
        QTest::newRow("cyrillicSplit") << QByteArrayList{"a\xD0", "\x96z"} << u"aЖz"_s;
        QTest::newRow("astralSplitThreeWays") << QByteArrayList{"\xF0\x9F", "\x98", "\x80!"} << u"\U0001F600!"_s;
        QTest::newRow("invalidBytes") << QByteArrayList{"x\xFFy\xE0\x80"} << u"x\uFFFDy\uFFFD\uFFFD"_s;
        QTest::newRow("cutTailShownAtNextRead") << QByteArrayList{"OK\xD2", "", "z"} << u"OK\uFFFDz"_s;
    }
    void receiveAndSend()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QString, text);
        PtyModem pty;
        QtSerialPort port(pty.slavePath());
        QVERIFY(!port.input() && !port.output(u"closed") && port.setPortOpen(true));
        QString received;
        qint64 sent = 0;
        for (const QByteArray &chunk : chunks) {
            sent += pty.write(chunk);
            QTRY_COMPARE(port.receivedBytes(), sent);
            received += port.input().value();
        }
        QCOMPARE(received + port.input().value(), text);
        QVERIFY(port.output(text));
        QCOMPARE(pty.read(1), text.toUtf8());
    }

    // The far end goes away: no spin of the event loop, what came before is kept, and only closing works.
    void hangUp()
    {
        PtyModem pty;
        QtSerialPort port(pty.slavePath());
        QVERIFY(port.setPortOpen(true));
        QCOMPARE(pty.write("last words"), 10);
        QTest::qWait(50);
        pty.hangUp();
        const std::clock_t before = std::clock();
        QTest::qWait(1000);
        QVERIFY2(std::clock() - before < CLOCKS_PER_SEC / 4, "a core kept busy after the hang-up");
        QCOMPARE(port.input(), u"last words"_s);
        QVERIFY(!port.input() && !port.output(u"anyone?") && !port.setDtrEnable(true) && !port.setSettings(u"19200,n,8,1"_s));
        QVERIFY(port.setPortOpen(false) && !port.setPortOpen(true));
    }
};

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_qtserialport.moc"
