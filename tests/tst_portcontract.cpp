#include "farend.h"
#include "portcore.h"

#include <QTest>

using namespace Qt::StringLiterals;

// A closed port on a new cable; the port goes first.
struct Line
{
    FarEnd far;
    PortCore port{FarEnd::transport()};

    Line() { port.setDevice(far.device()); }
};

// Whether it is open once an open that runs in the background ended.
bool settled(const PortCore &port)
{
    return QTest::qWaitFor([&] { return port.state() != PortCore::State::Opening; }, 6000)
        && port.state() == PortCore::State::Open;
}

bool opened(PortCore &port) { return port.setPortOpen(true) && settled(port); }

// Processor time this process uses over a second of its event loop.
double busySecond()
{
    timespec from{}, to{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &from);
    QTest::qWait(1000);
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &to);
    return to.tv_sec - from.tv_sec + (to.tv_nsec - from.tv_nsec) / 1e9;
}

// What every transport owes the port above it, run over this platform's cable.
class TestPortContract : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Set while closed and put in force at the open, or set while open over others; a change
    // refused while open leaves the line as it was, in full. RTS is the driver's under RTS/CTS,
    // handed over asserted; otherwise its button's (off). In force: the line, then the outputs.
    void settingsInForce_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QString>("inForce");
        QTest::newRow("even7Two") << u"115200,E,7,2"_s << 0 << u"115200 cs7 parenb cstopb"_s;
        QTest::newRow("odd5XonXoff")
            << u"1200,o,5,1"_s << 1 << u"1200 cs5 parenb parodd ixon ixoff"_s;
        QTest::newRow("mark6RtsCts")
            << u"19200,m,6,1"_s << 2 << u"19200 cs6 parenb parodd cmspar crtscts rts"_s;
        QTest::newRow("space8Both")
            << u"921600,s,8,2"_s << 3
            << (FarEnd::traits.takesBothHandshakes
                    ? u"921600 cs8 parenb cmspar cstopb crtscts ixon ixoff rts"_s
                    : u"refused"_s);
        QTest::newRow("unreachable") << FarEnd::traits.unreachableSettings << 2 << u"refused"_s;
    }
    void settingsInForce()
    {
        QFETCH(QString, settings);
        QFETCH(int, handshaking);
        QFETCH(QString, inForce);
        for (const bool whileOpen : {false, true}) {
            Line line;
            auto &[far, port] = line;
            QVERIFY(!whileOpen || (port.setHandshaking((handshaking + 1) % 3) && opened(port)));
            const QString before = far.lineInForce();
            const bool settingsTaken = port.setSettings(settings);
            const QString midway = far.lineInForce();
            const bool taken = settingsTaken && port.setHandshaking(handshaking)
                && (whileOpen || opened(port));
            QVERIFY(!port.setHandshaking(4) && (!taken || !port.setSettings(u"9600,n,8,1.5")));
            QTRY_COMPARE(taken ? (far.lineInForce() + u' ' + far.outputsSeen()).trimmed()
                               : u"refused"_s,
                         inForce);
            // Not every driver tells the RTS it drives.
            const bool rts = inForce.endsWith(u" rts");
            QVERIFY(port.rtsEnable().value_or(rts) == rts);
            QCOMPARE(whileOpen && !taken ? far.lineInForce() : midway,
                     settingsTaken ? midway : before);
            QVERIFY(
                !taken
                || (port.settings() == settings.toLower() && port.handshaking() == handshaking));
        }
    }

    // Wishes made while closed reach the far end at the open, toggles while open at once, and a
    // close drops the line left raised. Each case wishes one line raised at the open and the other
    // one after the toggles; the far end raises the inputs of the other one.
    void modemLines()
    {
        for (const bool dtr : {true, false}) {
            Line line;
            auto &[far, port] = line;
            QVERIFY(port.setDtrEnable(dtr) && port.setRtsEnable(!dtr) && opened(port));
            QTRY_COMPARE(far.outputsSeen(), dtr ? u"dtr"_s : u"rts"_s);
            far.raise(!dtr, dtr);
            QTRY_COMPARE(QString::asprintf("%s %s %s", *port.cdHolding() ? "cd" : "",
                                           *port.dsrHolding() ? "dsr" : "",
                                           *port.ctsHolding() ? "cts" : "")
                             .simplified(),
                         dtr ? u"cts"_s : u"cd dsr"_s);
            QVERIFY(port.setDtrEnable(!dtr) && port.setRtsEnable(dtr));
            QTRY_COMPARE(far.outputsSeen(), dtr ? u"rts"_s : u"dtr"_s);
            QVERIFY(port.setPortOpen(false));
            QTRY_COMPARE(far.outputsSeen(), QString());
        }
    }

    // Each chunk is read on its own ("|" ends a read), so a character split across chunks is split
    // across reads too, and a read that brings nothing more shows a character cut off as U+FFFD;
    // what is read is then sent back whole.
    void receiveAndSend()
    {
        Line line;
        auto &[far, port] = line;
        QVERIFY(!port.input() && !port.output(u"closed") && opened(port));
        QString reads;
        for (const QByteArray &chunk : {"a\xD0"_ba, "\x96z\xF0\x9F"_ba, "\x98"_ba,
                                        "\x80!x\xFFy\xE0\x80OK\xD2"_ba, ""_ba, "z"_ba,
                                        QByteArray(100000, 'k')}) {
            const qint64 sent = port.receivedBytes() + chunk.size();
            QVERIFY(far.write(chunk));
            QTRY_COMPARE(port.receivedBytes(), sent);
            reads += *port.input() + u'|';
        }
        QCOMPARE(reads,
                 u"a|Жz||\U0001F600!x\uFFFDy\uFFFD\uFFFDOK|\uFFFD|z|"_s + QString(100000, u'k')
                     + u'|');
        QVERIFY(port.output(reads.remove(u'|')));
        QCOMPARE(far.read(reads.toUtf8().size()), reads.toUtf8());
    }

    // Under XON/XOFF the far end's XOFF holds what is sent, with no hang-up, until XON; a close
    // drops what is held, and the port opened again sends afresh.
    // Held, output is queued up to 4 MiB and no more; of what comes in while nobody reads, the
    // first MiB is kept and the rest dropped.
    void xoffAndQueues()
    {
        Line line;
        auto &[far, port] = line;
        const QByteArray xoff = "\x13", xon = "\x11";
        QVERIFY(port.setHandshaking(1) && opened(port) && far.write(xoff));
        QTest::qWait(100);
        QVERIFY(port.output(u"held") && (QTest::qWait(200), far.read(0).isEmpty()));
        QVERIFY(far.write(xon) && far.read(4) == "held" && far.write(xoff));
        QTest::qWait(100);
        // A server sends what it held once the line is free, and takes a new connection only then.
        QVERIFY(port.output(u"dropped")
                && (FarEnd::traits.closeDropsHeldOutput
                    || (far.write(xon) && far.read(7) == "dropped")));
        QVERIFY(port.setPortOpen(false) && far.write(xon));
        QVERIFY(QTest::qWaitFor([&] { return opened(port); }, 5000) && port.output(u"afresh"));
        QCOMPARE(far.read(6), "afresh"_ba);
        QVERIFY(far.write(xoff) && (QTest::qWait(100), port.output(u"t")));
        QVERIFY(port.output(QString(4194304 - port.transport().queued(), u't'))
                && !port.output(u"t"));
        QVERIFY(far.write(QByteArray(1052672, 'r')));
        QTRY_COMPARE(port.receivedBytes(), 1052672);
        QCOMPARE(port.input()->size(), 1048576);
    }

    // The cable is pulled out: no core kept busy, what came before is shown once (a character it
    // cut off as U+FFFD), and the port waits, keeping what is chosen meanwhile. A reopen that fails
    // does not end the wait; a new cable is opened with what was in force, then the choice, or the
    // old settings where the driver refuses it. A closed port is not reopened.
    void waitsAndResumes_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("resumed");
        QTest::newRow("choiceTaken")
            << u"4800,o,8,1"_s << u"4800,o,8,1 4800 cs8 parenb parodd dtr"_s;
        QTest::newRow("choiceRefused")
            << FarEnd::traits.unreachableSettings << u"2400,e,7,1 2400 cs7 parenb dtr"_s;
    }
    void waitsAndResumes()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, resumed);
        PortCore port(FarEnd::transport());
        {
            FarEnd far;
            port.setDevice(far.device());
            QVERIFY(port.setSettings(u"2400,e,7,1") && port.setDtrEnable(true) && opened(port));
            QVERIFY(far.write("abc\xD0"));
            QTRY_COMPARE(port.receivedBytes(), 4);
            // Not busy while idle either.
            QVERIFY(busySecond() < 0.25);
        }
        QVERIFY(busySecond() < 0.25);
        QCOMPARE(port.input(), u"abc\uFFFD"_s);
        QVERIFY(!port.input() && !port.output(u"anyone?") && !port.cdHolding());
        QVERIFY(port.setSettings(chosen) && !port.setPortOpen(true)
                && !(port.resume(port.device()) && settled(port)));
        FarEnd far;
        QVERIFY(port.resume(far.device()) && settled(port));
        QVERIFY(port.output(u"back") && far.read(4) == "back");
        QTRY_COMPARE(*port.settings() + u' ' + far.lineInForce() + u' ' + far.outputsSeen(),
                     resumed);
        QVERIFY(port.setPortOpen(false) && !port.resume(far.device()));
    }
};

QTEST_GUILESS_MAIN(TestPortContract)
#include "tst_portcontract.moc"
