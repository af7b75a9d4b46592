#include "receivedfield.h"
#include "testwindow.h"

#include <QClipboard>

using namespace Qt::StringLiterals;

class TestPollCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Lines raised by the far end or by the buttons, each channel its own, with the handshaking
    // in force (2, 1, 0 and -1, which no write could set); what each channel shows (see
    // TestWindow::shown). Only the indicators that change are repainted, and idle ticks paint
    // nothing. Unticked or partly ticked, a channel is blanked, what it received and what was
    // typed to send included, and drops DTR and RTS; blanked again, it paints nothing.
    void linesShownAndDroppedWhenDisabled()
    {
        TestWindow ui;
        const auto shown = [&ui] {
            return QStringList{ui.shown(0), ui.shown(1), ui.shown(2), ui.shown(3)};
        };
        for (int channel = 0; channel < channelCount; ++channel) {
            ui.click(ui.box(channel));
            ui.fake[channel]->inForce = u"300,e,7,2"_s;
            ui.fake[channel]->handshake = 2 - channel;
        }
        ui.fake[0]->cd = ui.fake[0]->dsr = ui.fake[0]->cts = true;
        ui.fake[1]->cd = ui.fake[2]->dsr = ui.fake[3]->cts = true;
        // COM1's DTR and RTS, COM2's DTR, COM3's RTS.
        for (const char *button : {"Command3", "Command4", "Command5", "Command8"})
            ui.click(button);
        ui.repaints();
        ui.tick();
        QCOMPARE(shown(),
                 QStringList({
                     u"True - - True 0 True True True - GwwRwGRGwRR 300,e,7,2  comRTS"_s,
                     u"True - - True 0 False False False - GwwRwwwwwRg 300,e,7,2  comXOnXOff"_s,
                     u"False - - False 0 True True False - wwwwwGRwwgR 300,e,7,2  comNone"_s,
                     u"False - - False 0 False False True - wwwwwwwGwgg 300,e,7,2  "_s,
                 }));
        // The ten indicators that changed.
        QCOMPARE(ui.repaints(), 10);
        QCOMPARE((ui.tick(), ui.tick(), ui.repaints()), 0);
        ui.fake[0]->received = u"rx"_s;
        ui.text(4)->setText(u"tx"_s);
        ui.tick();

        ui.window->setCheckValue(0, 2);
        for (int channel : {1, 2, 3})
            ui.click(ui.box(channel));
        ui.tick();
        QCOMPARE(shown(), QStringList(4, u"- - - - - - - - - wwwwwwwwwgg "_s));
        ui.repaints();
        QCOMPARE((ui.tick(), ui.repaints()), 0);
        for (const FakePort *port : ui.fake)
            QVERIFY(!port->dtr && !port->rts);
    }

    // Each tick shows what came since the one before; control characters show as their pictures.
    void received()
    {
        TestWindow ui;
        ui.click("Check3");
        QStringList rd;
        for (const QString &arrived :
             {u"first"_s, QString(), u"ok\r\n\0\x1b\x7f\u00e9"_s, u"\0"_s}) {
            ui.fake[2]->received = arrived;
            ui.tick();
            rd << ui.text(21)->text() + ui.painted("Shape2", 2);
        }
        QCOMPARE(rd.join(u' '), u"firstG w ok\u240d\u240a\u2400\u241b\u2421\u00e9G \u2400G"_s);
    }

    // What 921,600 baud brings in a tick, 27,600 characters, stays whole to read and to copy, while
    // only the end that shows is laid out, drawn pixel for pixel as a plain line edit draws the
    // whole text. Hinted to whole-pixel advances: with fractional ones the line edit's end falls
    // within a pixel of it, wherever the unseen rest of the text leaves it.
    void longReceivedTextIsLaidOutOnlyWhereItShows()
    {
        TestWindow ui;
        ui.click(u"Check1"_s);
        QString arrived;
        for (int line = 0; arrived.size() < 27'600; ++line)
            arrived += u"line %1: ok\r\n"_s.arg(line);
        ui.fake[0]->received = arrived;
        ui.tick();
        auto *field = qobject_cast<ReceivedField *>(ui.text(3));
        QFont font = field->font();
        font.setHintingPreference(QFont::PreferFullHinting);
        field->setFont(font);
        QLineEdit plain(arrived.replace(u"\r\n"_s, u"\u240d\u240a"_s), field->parentWidget());
        plain.setGeometry(field->geometry()), plain.setFont(font), plain.setReadOnly(true),
            plain.show();
        QCOMPARE(field->grab().toImage(), plain.grab().toImage());
        QVERIFY2(field->laidOutLength() <= 256,
                 qPrintable(QString::number(field->laidOutLength())));
        QCOMPARE(field->text(), plain.text());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), plain.text());
    }

    // COM2's TD text, a character a tick ('-' for none), goes out every second tick while it
    // stands: nothing to send; a text twice; cleared after a send; a new text on the tick after
    // a send; cleared on a tick without a send. Each tick, what went out and the TD indicator.
    void transmitPhase()
    {
        TestWindow ui;
        ui.click("Check2");
        QStringList sent;
        for (QChar typed : u"-aaa-bc-de"_s) {
            ui.text(13)->setText(typed == u'-' ? QString() : QString(typed));
            ui.fake[1]->log.clear();
            ui.tick();
            sent << ui.fake[1]->log.join(u'/').remove(u"output "_s) + ui.painted("Shape3", 1);
        }
        QCOMPARE(sent.join(u' '), u"w aR w aR w bR w w dR w"_s);
    }

    // A read that fails leaves what it would have written as it was, and the other channels go
    // on; a field never written shows nothing asserted. Handshaking 3 has its name, 4 none.
    void refusedReadsKeepTheOldTexts()
    {
        TestWindow ui;
        ui.click("Check1"), ui.click("Check2");
        ui.fake[1]->refused << u"dsr"_s;
        ui.fake[1]->handshake = 4;
        FakePort &failing = *ui.fake[0];
        failing.handshake = 3;
        failing.cd = failing.cts = true;
        failing.received = u"kept"_s;
        ui.tick();
        failing.refused = u"settings handshaking cd dsr cts dtr rts input output"_s.split(u' ');
        failing.cd = failing.cts = !(failing.dsr = true);
        ui.text(4)->setText(u"x"_s);
        ui.fake[1]->cts = true;
        ui.tick();
        QCOMPARE(ui.shown(0),
                 u"True kept x False 0 False False True - GGRwwwwGwgg 9600,n,8,1  comRTSXOnXOff"_s);
        QCOMPARE(ui.shown(1), u"False - - False 0 - False True - wwwwwwwGwgg 9600,n,8,1  "_s);
    }
};

QTEST_MAIN(TestPollCycle)
#include "tst_pollcycle.moc"
