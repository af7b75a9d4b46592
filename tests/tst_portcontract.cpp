#include "farend.h"
#include "portcore.h"

#include <QTest>

using namespace Qt::StringLiterals;

// What every transport owes the port above it, run over this platform's cable.
class TestPortContract : public QObject
{
    Q_OBJECT

    static std::unique_ptr<PortCore> port(const FarEnd &far)
    {
        auto port = std::make_unique<PortCore>(FarEnd::transport());
        port->setDevice(far.device());
        return port;
    }
    // Whether it is open once an open that runs in the background ended.
    static bool settled(const PortCore &port)
    {
        (void)QTest::qWaitFor([&] { return port.state() != PortCore::State::Opening; }, 6000);
        return port.state() == PortCore::State::Open;
    }
    static bool opened(PortCore &port) { return port.setPortOpen(true) && settled(port); }

private Q_SLOTS:
    // Set while closed and put in force at the open, or set while open over others; a change
    // refused while open leaves the line as it was, in full. RTS is the
    // driver's under RTS/CTS, handed over asserted; otherwise its button's (off).
    void settingsInForce_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QString>("inForce");
        QTest::newRow("even7Two") << u"115200,E,7,2"_s << 0 << u"115200 cs7 parenb cstopb"_s;
        QTest::newRow("odd5XonXoff")
            << u"1200,o,5,1"_s << 1 << u"1200 cs5 parenb parodd ixon ixoff"_s;
        QTest::newRow("mark6RtsCts")
            << u"19200,m,6,1"_s << 2 << u"19200 cs6 parenb parodd cmspar crtscts, rts"_s;
        QTest::newRow("space8Both")
            << u"921600,s,8,2"_s << 3
            << (FarEnd::takesBothHandshakes()
                    ? u"921600 cs8 parenb cmspar cstopb crtscts ixon ixoff, rts"_s
                    : u"refused"_s);
        QTest::newRow("unreachable") << FarEnd::unreachableSettings() << 2 << u"refused"_s;
    }
    void settingsInForce()
    {
        QFETCH(QString, settings);
        QFETCH(int, handshaking);
        for (const bool whileOpen : {false, true}) {
            FarEnd far;
            const auto port = TestPortContract::port(far);
            QVERIFY(!whileOpen
                    || (port->setSettings(u"2400,n,8,1"_s)
                        && port->setHandshaking((handshaking + 1) % 3) && opened(*port)));
            const QString before = far.lineInForce();
            const bool settingsTaken = port->setSettings(settings);
            const QString midway = far.lineInForce();
            const bool taken = settingsTaken && port->setHandshaking(handshaking)
                && (whileOpen ? !port->setPortOpen(true) : opened(*port));
            QVERIFY(!port->setHandshaking(4) && (!taken || !port->setSettings(u"9600,n,8,1.5"_s)));
            // Not every driver tells the RTS it drives; the far end always does.
            const bool farRts = far.outputsSeen().contains(u"rts"_s);
            QVERIFY(port->rtsEnable().value_or(farRts) == farRts);
            QTEST(taken ? far.lineInForce() + (farRts ? u", rts"_s : u""_s) : u"refused"_s,
                  "inForce");
            QCOMPARE(whileOpen && !taken ? far.lineInForce() : midway,
                     settingsTaken ? midway : before);
            QVERIFY(
                !taken
                || (port->settings() == settings.toLower() && port->handshaking() == handshaking));
        }
    }

    // Wishes made while closed reach the far end at the open, toggles while open at once, and a
    // close drops both lines. Each case as "OURS>THEIRS: at the open, inputs read, after toggles,
    // closed".
    void modemLines()
    {
        QStringList seen;
        for (const auto &[ours, theirs] : {std::pair(0, 0), {1, 2}, {2, 1}, {3, 3}}) {
            FarEnd far;
            const auto port = TestPortContract::port(far);
            QVERIFY(!port->cdHolding() && port->setDtrEnable(ours & 1)
                    && port->setRtsEnable(ours & 2));
            QVERIFY(opened(*port));
            seen << u"%1>%2: %3,"_s.arg(ours).arg(theirs).arg(far.outputsSeen());
            far.raise(theirs & 1, theirs & 2);
            seen.last() += QStringList{*port->cdHolding() ? u"cd"_s : u""_s,
                                       *port->dsrHolding() ? u"dsr"_s : u""_s,
                                       *port->ctsHolding() ? u"cts"_s : u""_s}
                               .join(u' ')
                               .simplified();
            const bool toggled = port->setDtrEnable(!(ours & 1)) && port->setRtsEnable(!(ours & 2));
            seen.last() += u',' + (toggled ? far.outputsSeen() : u"refused"_s);
            seen.last() += u',' + (port->setPortOpen(false) ? far.outputsSeen() : u"refused"_s);
        }
        QCOMPARE(
            seen.join(u' '),
            u"0>0: ,,dtr rts, 1>2: dtr,cts,rts, 2>1: rts,cd dsr,dtr, 3>3: dtr rts,cd dsr cts,,"_s);
    }

    // Each chunk is read on its own ("|" ends a read), so a character split across chunks is split
    // across reads too, and what is read is sent straight back.
    void receiveAndSend_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QString>("reads");
        QTest::addColumn<QByteArray>("echo");
        QTest::newRow("cyrillicSplit")
            << QByteArrayList{"a\xD0", "\x96z"} << u"a|Жz|"_s << "a\xD0\x96z"_ba;
        QTest::newRow("astralSplitThreeWays") << QByteArrayList{"\xF0\x9F", "\x98", "\x80!"}
                                              << u"||\U0001F600!|"_s << "\xF0\x9F\x98\x80!"_ba;
        QTest::newRow("invalidBytes")
            << QByteArrayList{"x\xFFy\xE0\x80"} << u"x\uFFFDy\uFFFD\uFFFD|"_s
            << "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD"_ba;
        QTest::newRow("cutTailShownAtNextRead")
            << QByteArrayList{"OK\xD2", "", "z"} << u"OK|\uFFFD|z|"_s << "OK\xEF\xBF\xBDz"_ba;
        QTest::newRow("longBurst") << QByteArrayList{QByteArray(100000, 'k')}
                                   << QString(100000, u'k') + u'|' << QByteArray(100000, 'k');
    }
    void receiveAndSend()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArray, echo);
        FarEnd far;
        const auto port = TestPortContract::port(far);
        QVERIFY(!port->input() && !port->output(u"closed") && port->setSettings(u"921600,n,8,1"_s));
        QVERIFY(opened(*port));
        QString reads;
        qint64 sent = 0;
        for (const QByteArray &chunk : chunks) {
            sent += far.write(chunk);
            QTRY_COMPARE(port->receivedBytes(), sent);
            reads += port->input().value() + u'|';
            QVERIFY(port->output(reads.section(u'|', -2, -2)));
        }
        QTEST(reads, "reads");
        QCOMPARE(far.read(echo.size()), echo);
    }

    // Under XON/XOFF the far end's XOFF holds what is sent, with no hang-up, until XON; a close
    // drops what is held, and the port opened again sends afresh.
    // Held, output is queued up to 4 MiB and no more; of what comes in while nobody reads, the
    // first MiB is kept and the rest dropped.
    void xoffAndQueues()
    {
        FarEnd far;
        const auto port = TestPortContract::port(far);
        QVERIFY(port->setHandshaking(1) && opened(*port) && far.write("\x13") == 1);
        QTest::qWait(100);
        QVERIFY(port->output(u"held"_s) && (QTest::qWait(200), far.read(0).isEmpty()));
        QVERIFY(far.write("\x11") == 1 && far.read(4) == "held" && far.write("\x13") == 1);
        QTest::qWait(100);
        // A server sends what it held once the line is free, and takes a new connection only then.
        const bool drops = FarEnd::closeDropsHeldOutput();
        QVERIFY(port->output(u"dropped"_s)
                && (drops || (far.write("\x11") == 1 && far.read(7) == "dropped")));
        QVERIFY(port->setPortOpen(false) && far.write("\x11") == 1);
        QVERIFY(drops ? opened(*port) : QTest::qWaitFor([&] { return opened(*port); }, 5000));
        QVERIFY(port->output(u"afresh"_s));
        QCOMPARE(far.read(6), "afresh"_ba);
        QVERIFY(far.write("\x13") == 1 && (QTest::qWait(100), port->output(u"t"_s)));
        QVERIFY(port->output(QString(4194304 - port->transport().queued(), u't'))
                && !port->output(u"t"));
        QCOMPARE(far.write(QByteArray(1052672, 'r')), 1052672);
        QTRY_COMPARE(port->receivedBytes(), 1052672);
        QCOMPARE(port->input()->size(), 1048576);
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
            << FarEnd::unreachableSettings() << u"2400,e,7,1 2400 cs7 parenb dtr"_s;
    }
    void waitsAndResumes()
    {
        QFETCH(QString, chosen);
        FarEnd far;
        const auto port = TestPortContract::port(far);
        const auto busySecond = [] {
            const double from = FarEnd::cpuSeconds();
            QTest::qWait(1000);
            return FarEnd::cpuSeconds() - from;
        };
        QVERIFY(port->setSettings(u"2400,e,7,1"_s) && port->setDtrEnable(true)
                && opened(*port));
        QVERIFY(port->output(u"ping"_s) && far.read(4) == "ping" && far.write("abc\xD0") == 4);
        QTRY_COMPARE(port->receivedBytes(), 4);
        QVERIFY2(busySecond() < 0.25, "busy while idle");
        far.hangUp();
        QVERIFY2(busySecond() < 0.25, "busy after the hang-up");
        QCOMPARE(port->input(), u"abc\uFFFD"_s);
        QVERIFY(!port->input() && !port->output(u"anyone?"_s) && !port->cdHolding());
        QVERIFY(port->setSettings(chosen) && !port->setPortOpen(true)
                && !(port->resume(far.device()) && settled(*port)));
        QCOMPARE(port->state(), PortCore::State::Waiting);
        far.plugIn();
        QVERIFY(port->resume(far.device()) && settled(*port));
        QVERIFY(port->output(u"back"_s) && far.read(4) == "back");
        QTEST(*port->settings() + u' ' + far.lineInForce() + u' ' + far.outputsSeen(), "resumed");
        QVERIFY(port->setPortOpen(false) && !port->resume(far.device()));
    }
};

QTEST_GUILESS_MAIN(TestPortContract)
#include "tst_portcontract.moc"
