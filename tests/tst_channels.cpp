#include "receivedfield.h"
#include "testwindow.h"

#include <QClipboard>

using namespace Qt::StringLiterals;

// The channels' handlers and the poll, through the real window over fake ports: what the screen
// shows (see TestWindow::shown) and what the ports are told (see TestWindow::told), a message where
// it comes.
class TestChannels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The four channels over a few ticks, as the screen shows them (see TestWindow::shown).
    // COM4's DTR button, pressed before its box is ticked, does nothing. Lines are raised by the
    // far end or by the buttons (COM1's DTR and RTS, COM2's DTR, COM3's RTS and its DTR twice),
    // each channel its own, with the handshaking in force (3 to 0) and the settings its port
    // reports ("s"); COM4 refuses RTS, so its button keeps its colour and its field shows it
    // still not asserted. COM1's RD shows what arrived, control characters as their
    // pictures. A screen reader hears an indicator's and a button's state (on for COM1's DCD and
    // DTR).
    // Then COM1's reads all fail: it keeps what it showed, while COM2 goes on, with handshaking 4,
    // which has no name. An idle tick paints nothing and sets no field again, so a selection in
    // one (COM2's DCD) stays. Once COM1's reads work again, its RD shows that
    // nothing came.
    // Unticked or partly ticked, a channel is blanked, what was typed to send included, and
    // closes its port with DTR and RTS dropped; blanked again, it paints nothing.
    void lines()
    {
        TestWindow ui;
        ui.click("Command9");
        ui.fake[3].refused << "rts";
        ui.click("Check1 Check2 Check3 Check4");
        int handshake = 4;
        for (FakePort &port : ui.fake) {
            port.inForce = u"s"_s;
            port.handshake = --handshake;
        }
        FakePort &com1 = ui.fake[0];
        com1.cd = com1.dsr = com1.cts = true;
        ui.fake[1].cd = ui.fake[2].dsr = ui.fake[3].cts = true;
        com1.received = u"ok\r\n\0\x7fé"_s;
        ui.click("Command3 Command4 Command5 Command7 Command7 Command8 Command10");
        ui.tick();
        QStringList expected{
            u"True ok␍␊␀␡é - True 0 True True True - GGwRwGRGwRR s  comRTSXOnXOff"_s,
            u"True - - True 0 False False False - GwwRwwwwwRg s  comRTS"_s,
            u"False - - False 0 True True False - wwwwwGRwwgR s  comXOnXOff"_s,
            u"False - - False 0 False False True - wwwwwwwGwgg s  comNone"_s,
        };
        QCOMPARE(ui.shown(), expected);
        QCOMPARE(ui.get("Shape1", 0)->accessibleDescription()
                     + ui.get("Command3")->accessibleDescription(),
                 u"вклвкл"_s);

        com1.readsFail = true;
        ui.fake[1].handshake = 4;
        ui.tick();
        expected[1].chop(6);
        QCOMPARE(ui.shown(), expected);
        ui.text(11)->selectAll();
        QCOMPARE((ui.repaints(), ui.tick(), ui.repaints()), 0);
        QVERIFY(ui.text(11)->hasSelectedText());
        com1.readsFail = false;
        ui.tick();
        QCOMPARE(ui.text(3)->text() + ui.painted("Shape2", 0), u"w"_s);

        ui.text(4)->setText(u"tx"_s);
        ui.window.setCheckValue(0, 2);
        ui.click("Check2 Check3 Check4");
        ui.tick();
        QCOMPARE(ui.shown(), QStringList(4, u"- - - - - - - - - wwwwwwwwwgg "_s));
        QCOMPARE((ui.repaints(), ui.tick(), ui.repaints()), 0);
        for (const FakePort &port : ui.fake)
            QVERIFY(!port.open && !port.dtr && !port.rts);
    }

    // What 921,600 baud brings in a tick, some 27,600 characters, and more (33,200 here) than a
    // line edit holds unless told otherwise, stays whole to read and to copy, while only the end
    // that shows is laid out, drawn pixel for pixel as the field draws the whole text once it is a
    // plain line edit again (selected, then the cursor moved). Hinted to whole-pixel advances: with
    // fractional ones the line edit's end falls within a pixel of it, wherever the unseen rest of
    // the text leaves it.
    void longReceivedTextIsLaidOutOnlyWhereItShows()
    {
        TestWindow ui;
        ui.click("Check1");
        QString arrived = u"ok\r\n"_s.repeated(8'300);
        ui.fake[0].received = arrived;
        ui.tick();
        auto *field = qobject_cast<ReceivedField *>(ui.text(3));
        QFont font = field->font();
        font.setHintingPreference(QFont::PreferFullHinting);
        field->setFont(font);
        const QImage shown = field->grab().toImage();
        QCOMPARE_LE(field->laidOutLength(), 256);
        field->selectAll();
        field->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), arrived.replace(u"\r\n"_s, u"␍␊"_s));
        field->end(false);
        QCOMPARE(field->laidOutLength(), arrived.size());
        QCOMPARE(field->grab().toImage(), shown);
    }

    // COM2's TD text, a character a tick ('-' for none), goes out every second tick while it
    // stands, a refused send counting as one: nothing to send; a text twice; cleared after a
    // send; a new text on the tick after a send; cleared on a tick without a send. Each tick,
    // what went out and the TD indicator.
    void transmitPhase()
    {
        TestWindow ui;
        ui.click("Check2");
        ui.fake[1].refused << "output";
        ui.told();
        QString sent;
        for (QChar typed : u"-aaa-bc-de"_s) {
            ui.text(13)->setText(QString(typed).remove(u'-'));
            ui.tick();
            sent += std::exchange(ui.fake[1].log, {}).join(u';') + ui.painted("Shape3", 1) + u' ';
        }
        QCOMPARE(sent, u"w output aR w output aR w output bR w w output dR w "_s);
    }

    // A refused open is reported once, and the box unticked (which closes the port) only once
    // the message is closed; a second click opens the port.
    void refusedOpenIsReportedAndTakenBack()
    {
        TestWindow ui;
        ui.fake[1].refused << "open";
        ui.click("Check2");
        ui.fake[1].refused.clear();
        ui.click("Check2");
        QCOMPARE(ui.told(), u"Порт не найден|open true;Порт не найден;open false;open false;"
                            "open true|Порт не найден|Порт не найден"_s);
    }

    // A choice made on any channel's combo writes every ticked channel from its own combos, COM3
    // refusing its handshaking. The combos of each channel's panel first get entries that differ by
    // channel, so that one read from the wrong place shows.
    // Then, with COM3 and COM4 unticked, typing alone applies nothing, Return included; the next
    // choice writes COM1 and COM2 alone, from the texts typed as they stand, both steps tried:
    // COM1's baud with a blank, refused; COM2's handshaking, no number, is not written. Each
    // refusal is said.
    void choiceWritesEveryEnabledChannel()
    {
        TestWindow ui;
        for (QComboBox *box : ui.window.findChildren<QComboBox *>())
            box->setCurrentIndex(box->parent()->property("Index").toInt() % box->count());
        ui.click("Check1 Check2 Check3 Check4");
        ui.fake[2].refused << "handshaking";
        ui.told();
        ui.choose(19, 2);
        QCOMPARE(ui.told(),
                 u"settings 110,n,5,1;handshaking 0;Недопустимо|settings 300,e,6,2;handshaking 1;"
                 "Недопустимо|settings 600,o,7,1;handshaking 2;Недопустимо|Недопустимо;"
                 "settings 1200,s,8,2;handshaking 2"_s);
        ui.click("Check3 Check4");
        for (const auto &[combo, typed] :
             {std::pair(0, u"96 00"_s), {17, u"2.0"_s}}) {
            QComboBox *box = ui.get<QComboBox>("Combo1", combo);
            box->clearEditText();
            QTest::keyClicks(box, typed + u'\r');
        }
        QCOMPARE(ui.told(), u"||open false|open false"_s);
        ui.choose(12, 1);
        QCOMPARE(ui.told(), u"settings 96 00,n,5,1;handshaking 0;Недопустимо;Недопустимо|"
                            "Недопустимо;settings 300,e,6,2;Недопустимо|Недопустимо;Недопустимо|"
                            "Недопустимо;Недопустимо"_s);
    }
};

QTEST_MAIN(TestChannels)
#include "tst_channels.moc"
