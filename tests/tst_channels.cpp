#include "testwindow.h"

using namespace Qt::StringLiterals;

// What the ports were told since the last look: a port's writes joined by ';', the ports by '|'.
static QString told(const TestWindow &ui)
{
    QStringList ports;
    for (FakePort *port : ui.fake)
        ports << std::exchange(port->log, {}).join(u';');
    return ports.join(u'|');
}

class TestChannels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boxAndButtonsDriveTheirOwnPort_data()
    {
        QTest::addColumn<int>("channel");
        QTest::newRow("COM1") << 0;
        QTest::newRow("COM2") << 1;
        QTest::newRow("COM3") << 2;
        QTest::newRow("COM4") << 3;
    }
    // RTS pressed while the channel is disabled does nothing; DTR pressed twice is raised and
    // dropped; a refused line write keeps its colour, and a refused close is no news to the
    // user. The buttons' colours, the box's tick and what the ports were told.
    void boxAndButtonsDriveTheirOwnPort()
    {
        QFETCH(int, channel);
        TestWindow ui;
        const QString box = ui.box(channel), dtr = ui.button(channel, Line::Dtr);
        const QString rts = ui.button(channel, Line::Rts);
        for (const QString &control : {rts, box, dtr, dtr, rts})
            ui.click(control);
        ui.fake[channel]->refused << u"rts"_s << u"open"_s;
        ui.click(rts), ui.click(box);
        QStringList written(channelCount);
        written[channel] = u"open true;dtr true;dtr false;rts true;rts false;open false"_s;
        QCOMPARE(QString(ui.painted(dtr)) + ui.painted(rts)
                     + QString::number(ui.window->checkValue(channel)) + told(ui),
                 u"gR0"_s + written.join(u'|'));
        QVERIFY(ui.messages.isEmpty());
    }

    // Reported once; the box is unticked only once the message is closed. Its tick and whether
    // the port is open: at the message, after it, after a second click.
    void refusedOpenIsReportedAndTakenBack()
    {
        TestWindow ui;
        const auto state = [&ui] {
            return QString::number(ui.window->checkValue(1)) + QString::number(ui.fake[1]->open);
        };
        ui.fake[1]->refused << u"open"_s;
        ui.onMessage = [&] { ui.messages << state(); };
        ui.click("Check2");
        ui.messages << state();
        ui.fake[1]->refused.clear();
        ui.click("Check2");
        QCOMPARE(ui.messages.join(u' ') + u' ' + state(), u"Порт не найден 10 00 11"_s);
    }

    // Which channels are ticked, the combo chosen and its entry; what the ports are told. The
    // combos of each channel's panel first get entries that differ by channel, so that one read
    // from the wrong place shows.
    void choiceWritesEveryEnabledChannel_data()
    {
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<int>("combo");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("told");
        QTest::newRow("allFromCom4Handshaking")
            << "1234" << 19 << 2
            << "settings 110,n,5,1;handshaking 0|settings 300,e,6,2;handshaking 1|"
               "settings 600,o,7,1;handshaking 2|settings 1200,s,8,2;handshaking 2";
        QTest::newRow("com2OwnBaud") << "2" << 7 << 0 << "|settings 110,e,6,2;handshaking 1||";
        QTest::newRow("disabledChannelsStopBits")
            << "1" << 12 << 0 << "settings 110,n,5,1;handshaking 0|||";
        QTest::newRow("nothingEnabled") << "" << 0 << 3 << "|||";
    }
    void choiceWritesEveryEnabledChannel()
    {
        QFETCH(QString, enabled);
        QFETCH(int, combo);
        QFETCH(int, entry);
        TestWindow ui;
        for (int channel = 0; channel < channelCount; ++channel) {
            for (QComboBox *box : ui.get("Frame3", channel)->findChildren<QComboBox *>())
                box->setCurrentIndex(channel % box->count());
            if (enabled.contains(QString::number(channel + 1)))
                ui.click(ui.box(channel));
        }
        told(ui);
        ui.choose(combo, entry);
        QTEST(told(ui) + ui.messages.join(u' '), "told");
    }

    // Typing alone applies nothing; the next choice applies the typed texts as they stand. Typed
    // into a combo of COM2, then COM4's stop bits chosen with COM2 and COM4 ticked: what COM2 is
    // told, with any message where it comes and how many writes COM4 had by then (a refusal is
    // reported once COM2 is done, before COM4 is written).
    void typedTexts_data()
    {
        QTest::addColumn<int>("combo");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("told");
        QTest::newRow("blankInBaud") << 7 << "96 00"
                                     << "settings 96 00,n,8,1;handshaking 0;Недопустимо 0";
        QTest::newRow("signedHandshaking") << 17 << " +1 " << "settings 9600,n,8,1;handshaking 1";
        QTest::newRow("handshakingFour") << 17 << "4"
                                         << "settings 9600,n,8,1;handshaking 4;Недопустимо 0";
        QTest::newRow("handshakingLetters") << 17 << "abc" << "settings 9600,n,8,1;Недопустимо 0";
        QTest::newRow("handshakingFraction") << 17 << "2.0" << "settings 9600,n,8,1;Недопустимо 0";
        QTest::newRow("handshakingNegative") << 17 << "-1"
                                             << "settings 9600,n,8,1;handshaking -1;Недопустимо 0";
    }
    void typedTexts()
    {
        QFETCH(int, combo);
        QFETCH(QString, typed);
        TestWindow ui;
        ui.click("Check2"), ui.click("Check4");
        ui.onMessage = [&ui] {
            ui.fake[1]->log << ui.messages.last() + u' ' + QString::number(ui.fake[3]->log.size());
        };
        ui.combo(combo)->lineEdit()->clear();
        QTest::keyClicks(ui.combo(combo), typed);
        QTest::keyClick(ui.combo(combo), Qt::Key_Return);
        QCOMPARE(told(ui), u"|open true||open true"_s);
        ui.choose(12, 0);
        QTEST(ui.fake[1]->log.join(u';'), "told");
        QCOMPARE(ui.fake[3]->log.join(u';'), u"settings 9600,n,8,1;handshaking 0"_s);
    }
};

QTEST_MAIN(TestChannels)
#include "tst_channels.moc"
