#include "rows.h"
#include "testwindow.h"

using namespace Qt::StringLiterals;

// What the ports were told, a port's writes joined by ';' and the ports by '|'; opens left out unless asked.
static QString logs(const TestWindow &ui, bool opens = false)
{
    QStringList ports;
    for (const FakePort *port : ui.fake)
        ports << (opens ? port->log : QStringList(port->log).filter(QRegularExpression(u"^(?!open)"_s))).join(u';');
    return ports.join(u'|');
}

class TestChannels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boxAndButtonsDriveTheirOwnPort_data() { rowTable({"COM1 0", "COM2 1", "COM3 2", "COM4 3"}); }
    // The buttons do nothing while the channel is disabled; a refused line write keeps the colour,
    // and a refused close is no news to the user.
    void boxAndButtonsDriveTheirOwnPort()
    {
        QFETCH(QString, row);
        const int channel = row.toInt();
        TestWindow ui;
        const QString box = u"Check%1"_s.arg(channel + 1), dtr = u"Command%1"_s.arg(2 * channel + 3), rts = u"Command%1"_s.arg(2 * channel + 4);
        QStringList shown; // the button's colour after each press, the box's value after each click
        const auto press = [&](const QString &button) { ui.click(button), shown << ui.painted(button).name(); };
        const auto tick = [&] { ui.click(box), shown << QString::number(ui.window->checkValue(channel)); };
        press(rts), tick(), press(dtr), press(dtr), press(rts);
        ui.fake[channel]->refused << u"rts"_s << u"open"_s;
        press(rts), tick();
        QCOMPARE(shown.join(u' '), u"#efefef 1 #ff0000 #efefef #ff0000 #ff0000 0"_s);
        QStringList written(channelCount); // only its own port, and no message
        written[channel] = u"open true;dtr true;dtr false;rts true;rts false;open false"_s;
        QCOMPARE(logs(ui, true) + u' ' + QString::number(ui.messages.size()), written.join(u'|') + u" 0"_s);
    }

    // Reported once; the box is unticked only once the message is closed.
    void refusedOpenIsReportedAndTakenBack()
    {
        TestWindow ui;
        ui.fake[1]->refused << u"open"_s;
        ui.onMessage = [&] { QCOMPARE(ui.window->checkValue(1), 1); };
        ui.click(u"Check2"_s);
        QCOMPARE(ui.messages, QStringList{u"Порт не найден"_s});
        QVERIFY(!ui.get<QAbstractButton>(u"Check2"_s)->isChecked() && !ui.fake[1]->open);
        ui.fake[1]->refused.clear();
        ui.click(u"Check2"_s);
        QVERIFY(ui.fake[1]->open);
        QCOMPARE(ui.messages.size(), 1);
    }

    // "tag enabled combo row written": the combos first get entries that differ by channel, so that one read
    // from the wrong place shows.
    void choiceWritesEveryEnabledChannel_data()
    {
        rowTable({"COM1StopBits 1 3 1 settings 300,e,5,2;handshaking 0|||",
                  "COM2StopBits 2 4 1 |settings 600,o,6,2;handshaking 1||",
                  "COM3StopBits 3 8 1 ||settings 1200,s,7,2;handshaking 2|",
                  "COM4StopBits 4 12 1 |||settings 2400,m,5,2;handshaking 3",
                  "disabledChannelsBaud 1 11 0 settings 300,e,5,1;handshaking 0|||", "nothingEnabled - 0 3 |||",
                  "allFromCOM4Handshaking 1234 19 2 settings 300,e,5,1;handshaking 0|settings 600,o,6,1;handshaking 1|"
                  "settings 1200,s,7,1;handshaking 2|settings 2400,m,5,1;handshaking 2"});
    }
    void choiceWritesEveryEnabledChannel()
    {
        QFETCH(QString, row);
        TestWindow ui;
        const int baud[] = {0, 7, 11, 15}, parity[] = {1, 6, 10, 14}, dataBits[] = {2, 5, 9, 13};
        for (int channel = 0; channel < channelCount; ++channel) {
            ui.get<QComboBox>(u"Combo1"_s, baud[channel])->setCurrentIndex(1 + channel);
            ui.get<QComboBox>(u"Combo1"_s, parity[channel])->setCurrentIndex(1 + channel);
            ui.get<QComboBox>(u"Combo1"_s, dataBits[channel])->setCurrentIndex(channel % 3);
            ui.get<QComboBox>(u"Combo1"_s, 16 + channel)->setCurrentIndex(channel);
            if (row.section(u' ', 0, 0).contains(QString::number(channel + 1)))
                ui.click(u"Check%1"_s.arg(channel + 1));
        }
        ui.choose(row.section(u' ', 1, 1).toInt(), row.section(u' ', 2, 2).toInt());
        QCOMPARE(logs(ui) + u' ' + QString::number(ui.messages.size()), row.section(u' ', 3) + u" 0"_s);
    }

    // Typing alone applies nothing; the next choice applies the typed texts as they stand, and a refusal
    // is reported once that channel is done, before the next one is written.
    // "tag combo/typed/com2/message": what COM2 was told (COM4 always gets 9600,n,8,1 and 0), and the message
    // shown, if any.
    void typedTexts_data()
    {
        rowTable({"blankInBaud 7/96 00/settings 96 00,n,8,1;handshaking 0/Недопустимо",
                  "signedHandshaking 17/ +1 /settings 9600,n,8,1;handshaking 1/",
                  "handshakingFour 17/4/settings 9600,n,8,1;handshaking 4/Недопустимо",
                  "handshakingLetters 17/abc/settings 9600,n,8,1/Недопустимо",
                  "handshakingFraction 17/2.0/settings 9600,n,8,1/Недопустимо",
                  "handshakingNegative 17/-1/settings 9600,n,8,1;handshaking -1/Недопустимо"});
    }
    void typedTexts()
    {
        QFETCH(QString, row);
        const QString com2 = row.section(u'/', 2, 2), message = row.section(u'/', 3, 3);
        TestWindow ui;
        ui.click(u"Check2"_s), ui.click(u"Check4"_s);
        QStringList atMessages;
        ui.onMessage = [&] { atMessages << logs(ui); };
        auto *box = ui.get<QComboBox>(u"Combo1"_s, row.section(u'/', 0, 0).toInt());
        box->lineEdit()->clear();
        QTest::keyClicks(box, row.section(u'/', 1, 1));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(logs(ui), u"|||"_s);
        ui.choose(12, 0);
        QCOMPARE(logs(ui), u"|%1||settings 9600,n,8,1;handshaking 0"_s.arg(com2));
        // The logs at each message, and the messages.
        QCOMPARE(atMessages.join(u'/') + u' ' + ui.messages.join(u'/'),
                 message.isEmpty() ? u" "_s : u"|%1|| %2"_s.arg(com2, message));
    }
};

QTEST_MAIN(TestChannels)
#include "tst_channels.moc"
