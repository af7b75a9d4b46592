#include "receivedfield.h"
#include "rows.h"
#include "testwindow.h"

#include <QClipboard>

using namespace Qt::StringLiterals;

static const QString statusLabels[] = {u"Label13"_s, u"Label14"_s, u"Label16"_s, u"Label15"_s};
static const QString blank = u"-|-|-|-|-|-|-|-|-"_s;

static QLineEdit *pinField(const TestWindow &ui, int channel, int pin) { return ui.text(2 + 9 * channel + pin - 1); }

// Pins 1 to 9 of a channel as text and the colour on the screen, joined by '|': G green, R red, - white.
static QString panel(const TestWindow &ui, int channel)
{
    QStringList pins;
    for (int pin = 1; pin <= 9; ++pin) {
        const QColor colour = ui.painted(u"Shape%1"_s.arg(pin), channel);
        const QChar code = colour == QColor(0, 192, 0) ? u'G' : colour == QColor(255, 0, 0) ? u'R' : colour == QColor(255, 255, 255) ? u'-' : u'?';
        pins << pinField(ui, channel, pin)->text() + code;
    }
    return pins.join(u'|');
}

class TestPollCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // "tag channel raised handshaking shown": raised by the far end (dcd dsr cts) or by the buttons (dtr rts),
    // '-' for none; shown, the pins and the status caption after "115200,e,7,2  ".
    void lines_data()
    {
        rowTable({"com1AllDown 0 - 0 False-|-|-|False-|0-|False-|False-|False-|- comNone",
                  "com2Dcd 1 dcd 1 TrueG|-|-|False-|0-|False-|False-|False-|- comXOnXOff",
                  "com3Dsr 2 dsr 2 False-|-|-|False-|0-|TrueG|False-|False-|- comRTS",
                  "com4Cts 3 cts 3 False-|-|-|False-|0-|False-|False-|TrueG|- comRTSXOnXOff",
                  "com2Dtr 1 dtr 4 False-|-|-|TrueR|0-|False-|False-|False-|- ",
                  "com3Rts 2 rts -1 False-|-|-|False-|0-|False-|TrueR|False-|- ",
                  "com4All 3 dcd,dsr,cts,dtr,rts 0 TrueG|-|-|TrueR|0-|TrueG|TrueR|TrueG|- comNone"});
    }
    void lines()
    {
        QFETCH(QString, row);
        const int channel = row.section(u' ', 0, 0).toInt();
        const QString raised = row.section(u' ', 1, 1), shown = row.section(u' ', 3);
        TestWindow ui;
        ui.click(u"Check%1"_s.arg(channel + 1));
        FakePort &port = *ui.fake[channel];
        port.inForce = u"115200,e,7,2"_s;
        port.handshake = row.section(u' ', 2, 2).toInt(); // also what no write would be allowed to set
        port.cd = raised.contains(u"dcd"_s), port.dsr = raised.contains(u"dsr"_s), port.cts = raised.contains(u"cts"_s);
        for (int button : {0, 1})
            if (raised.contains(button ? u"rts"_s : u"dtr"_s))
                ui.click(u"Command%1"_s.arg(2 * channel + 3 + button));
        ui.repaints();
        ui.tick();
        for (int other = 0; other < channelCount; ++other)
            QCOMPARE(panel(ui, other) + u' ' + ui.label(statusLabels[other]).remove(u"115200,e,7,2  "_s),
                     other == channel ? shown : blank + u' ');
        QCOMPARE(ui.repaints(), shown.section(u' ', 0, 0).count(QRegularExpression(u"[GR]"_s))); // only the indicators that changed
        QCOMPARE((ui.tick(), ui.tick(), ui.repaints()), 0); // idle ticks paint nothing
    }

    // Each tick shows what came since the one before; control characters show as their pictures.
    void received()
    {
        TestWindow ui;
        ui.click(u"Check3"_s);
        QStringList shown;
        for (const QString &arrived : {u"first"_s, QString(), QString::fromUtf16(u"ok\r\n\0\x1b\x7f\u00e9", 8), QString(QChar())}) {
            ui.fake[2]->received = arrived;
            ui.tick();
            shown << panel(ui, 2).section(u'|', 1, 1);
        }
        QCOMPARE(shown.join(u' '), u"firstG - ok\u240d\u240a\u2400\u241b\u2421\u00e9G \u2400G"_s);
    }

    // What 921,600 baud brings in a tick, 27,600 characters, stays whole to read and to copy, while only the
    // end that shows is laid out, drawn pixel for pixel as a plain line edit draws the whole text. Hinted to
    // whole-pixel advances: with fractional ones the line edit's end falls within a pixel of it, wherever the
    // unseen rest of the text leaves it.
    void longReceivedTextIsLaidOutOnlyWhereItShows()
    {
        TestWindow ui;
        ui.click(u"Check1"_s);
        QString arrived;
        for (int line = 0; arrived.size() < 27'600; ++line)
            arrived += u"line %1: ok\r\n"_s.arg(line);
        ui.fake[0]->received = arrived;
        ui.tick();
        auto *field = qobject_cast<ReceivedField *>(pinField(ui, 0, 2));
        QFont font = field->font();
        font.setHintingPreference(QFont::PreferFullHinting);
        field->setFont(font);
        QLineEdit plain(arrived.replace(u"\r\n"_s, u"\u240d\u240a"_s), field->parentWidget());
        plain.setGeometry(field->geometry()), plain.setFont(font), plain.setReadOnly(true), plain.show();
        QCOMPARE(field->grab().toImage(), plain.grab().toImage());
        QVERIFY2(field->laidOutLength() <= 256, qPrintable(QString::number(field->laidOutLength())));
        QCOMPARE(field->text(), plain.text());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier), QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), plain.text());
    }

    // "tag texts sent": a character a tick, the TD text ('-' for none); what is sent ('.' for nothing) and the
    // TD colour.
    void transmitPhase_data()
    {
        rowTable({"everySecondTick aaaaa aR .- aR .- aR", "nothingToSend --- .- .- .-",
                  "clearingResetsThePhase a-a aR .- aR", "clearedOnSkipTick aa-b aR .- .- bR",
                  "newTextWaitsForPhaseOne abc aR .- cR"});
    }
    void transmitPhase()
    {
        QFETCH(QString, row);
        TestWindow ui;
        ui.click(u"Check2"_s);
        QStringList sent;
        for (QChar text : row.section(u' ', 0, 0)) {
            pinField(ui, 1, 3)->setText(text == u'-' ? QString() : QString(text));
            const qsizetype before = ui.fake[1]->log.size();
            ui.tick();
            const QString written = ui.fake[1]->log.mid(before).join(u'/').remove(u"output "_s);
            sent << (written.isEmpty() ? u"."_s : written) + panel(ui, 1).section(u'|', 2, 2).right(1);
        }
        QCOMPARE(sent.join(u' '), row.section(u' ', 1));
    }

    void disabledChannelsAreBlankedAndDropTheirLines()
    {
        TestWindow ui;
        for (int channel = 0; channel < channelCount; ++channel) {
            ui.click(u"Check%1"_s.arg(channel + 1));
            ui.fake[channel]->cd = ui.fake[channel]->dsr = ui.fake[channel]->cts = true;
            ui.fake[channel]->received = u"rx"_s;
            pinField(ui, channel, 3)->setText(u"tx"_s);
            ui.click(u"Command%1"_s.arg(2 * channel + 3)), ui.click(u"Command%1"_s.arg(2 * channel + 4));
            ui.tick();
            if (channel > 0)
                ui.click(u"Check%1"_s.arg(channel + 1));
        }
        ui.window->setCheckValue(0, 2); // greyed is not ticked
        ui.tick();
        for (int channel = 0; channel < channelCount; ++channel) {
            const QStringList lines = ui.fake[channel]->log.filter(QRegularExpression(u"^(dtr|rts)"_s));
            QCOMPARE(panel(ui, channel) + ui.label(statusLabels[channel]) + u' ' + lines.sliced(lines.size() - 2).join(u' '),
                     blank + u" dtr false rts false"_s);
            QCOMPARE(ui.painted(u"Command%1"_s.arg(2 * channel + 3)).name() + ui.painted(u"Command%1"_s.arg(2 * channel + 4)).name(), u"#efefef#efefef"_s);
        }
    }

    // A read that fails leaves what it would have written as it was, and the other channels go on.
    void refusedReadsKeepTheOldTexts()
    {
        TestWindow ui;
        ui.click(u"Check1"_s), ui.click(u"Check2"_s);
        ui.fake[1]->refused << u"dsr"_s; // a field never written shows nothing asserted
        FakePort &failing = *ui.fake[0];
        failing.cd = failing.cts = true;
        failing.received = u"kept"_s;
        ui.tick();
        failing.refused = QSet<QString>{u"settings"_s, u"handshaking"_s, u"cd"_s, u"dsr"_s, u"cts"_s, u"dtr"_s, u"rts"_s, u"input"_s, u"output"_s};
        failing.cd = failing.cts = !(failing.dsr = true);
        pinField(ui, 0, 3)->setText(u"x"_s);
        ui.fake[1]->cts = true;
        ui.tick();
        QCOMPARE(panel(ui, 0) + u' ' + ui.label(u"Label13"_s) + u' ' + panel(ui, 1),
                 u"TrueG|keptG|xR|False-|0-|False-|False-|TrueG|- 9600,n,8,1  comNone False-|-|-|False-|0-|-|False-|TrueG|-"_s);
    }
};

QTEST_MAIN(TestPollCycle)
#include "tst_pollcycle.moc"
