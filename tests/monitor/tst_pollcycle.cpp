#include "fakewindow.h"

#include <QLabel>

using Property = FakeSerialPort::Property;

namespace {

constexpr ColorCode idle = ColorCode::WindowBackground;

QString statusText(const FakeWindow &ui, int channel)
{
    return ui.control<QLabel>(qs(channelTable[channel].statusLabel))->text();
}

} // namespace

class TestPollCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void disabledTickBlanksThePanel();
    void valueTwoIsNotEnabled();
    void inputLines_data();
    void inputLines();
    void outputLinesFollowTheButtons();
    void groundAndRingIndicator();
    void statusCaption_data();
    void statusCaption();
    void receivedTextReplacesTheField();
    void controlCharactersAreShownAsPictures();
    void transmitPhase_data();
    void transmitPhase();
    void refusedReadsKeepTheOldTexts();
    void unreadLineIsShownIdle();
    void failureInOneChannelLeavesTheOthersUpdated();
    void timerPollsOnItsOwn();
};

void TestPollCycle::disabledTickBlanksThePanel()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    for (int channel = 0; channel < channelCount; ++channel) {
        ui.clickCheckBox(channel);
        ui.ports[channel]->setLines(true, true, true);
        ui.ports[channel]->inject(QStringLiteral("rx"));
        ui.pinField(channel, Pin::Td)->setText(QStringLiteral("tx"));
        QTest::mouseClick(ui.lineButton(channel, Line::Dtr), Qt::LeftButton);
        QTest::mouseClick(ui.lineButton(channel, Line::Rts), Qt::LeftButton);
    }
    ui.window->poll().tick();
    for (int channel = 0; channel < channelCount; ++channel)
        ui.clickCheckBox(channel);

    ui.window->poll().tick();

    for (int channel = 0; channel < channelCount; ++channel) {
        QCOMPARE(statusText(ui, channel), QString());
        for (int pin = 1; pin <= pinCount; ++pin)
            QCOMPARE(ui.pinField(channel, Pin(pin))->text(), QString());
        for (int pin = 1; pin < pinCount; ++pin)
            QCOMPARE(ui.indicatorColor(channel, Pin(pin)), idle);
        QCOMPARE(ui.buttonColor(channel, Line::Dtr), ColorCode::ButtonFace);
        QCOMPARE(ui.buttonColor(channel, Line::Rts), ColorCode::ButtonFace);
        QCOMPARE(ui.ports[channel]->writesOf(Property::DtrEnable).last(), QStringLiteral("false"));
        QCOMPARE(ui.ports[channel]->writesOf(Property::RtsEnable).last(), QStringLiteral("false"));
    }
}

void TestPollCycle::valueTwoIsNotEnabled()
{
    FakeWindow ui;
    ui.ports[0]->setLines(true, true, true);
    ui.window->setCheckValue(0, 2);
    QCOMPARE(ui.window->checkValue(0), 2);

    ui.window->poll().tick();

    QCOMPARE(ui.pinField(0, Pin::Dcd)->text(), QString());
    QCOMPARE(ui.ports[0]->writesOf(Property::DtrEnable), QStringList{QStringLiteral("false")});
}

void TestPollCycle::inputLines_data()
{
    QTest::addColumn<bool>("dcd");
    QTest::addColumn<bool>("dsr");
    QTest::addColumn<bool>("cts");
    QTest::newRow("allDown") << false << false << false;
    QTest::newRow("dcdOnly") << true << false << false;
    QTest::newRow("dsrOnly") << false << true << false;
    QTest::newRow("ctsOnly") << false << false << true;
    QTest::newRow("allUp") << true << true << true;
}

void TestPollCycle::inputLines()
{
    QFETCH(bool, dcd);
    QFETCH(bool, dsr);
    QFETCH(bool, cts);
    FakeWindow ui;
    ui.window->setCheckValue(1, 1);
    ui.ports[1]->setLines(dcd, dsr, cts);

    ui.window->poll().tick();

    const std::pair<Pin, bool> lines[] = {{Pin::Dcd, dcd}, {Pin::Dsr, dsr}, {Pin::Cts, cts}};
    for (const auto &[pin, on] : lines) {
        QCOMPARE(ui.pinField(1, pin)->text(), on ? QStringLiteral("True") : QStringLiteral("False"));
        QCOMPARE(ui.indicatorColor(1, pin), on ? ColorCode::Green : idle);
    }
}

void TestPollCycle::outputLinesFollowTheButtons()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(3);
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(3, Pin::Dtr)->text(), QStringLiteral("False"));

    QTest::mouseClick(ui.lineButton(3, Line::Dtr), Qt::LeftButton);
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(3, Pin::Dtr)->text(), QStringLiteral("True"));
    QCOMPARE(ui.indicatorColor(3, Pin::Dtr), ColorCode::Red);
    QCOMPARE(ui.pinField(3, Pin::Rts)->text(), QStringLiteral("False"));
    QCOMPARE(ui.indicatorColor(3, Pin::Rts), idle);

    QTest::mouseClick(ui.lineButton(3, Line::Dtr), Qt::LeftButton);
    QTest::mouseClick(ui.lineButton(3, Line::Rts), Qt::LeftButton);
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(3, Pin::Dtr)->text(), QStringLiteral("False"));
    QCOMPARE(ui.indicatorColor(3, Pin::Dtr), idle);
    QCOMPARE(ui.pinField(3, Pin::Rts)->text(), QStringLiteral("True"));
    QCOMPARE(ui.indicatorColor(3, Pin::Rts), ColorCode::Red);
}

void TestPollCycle::groundAndRingIndicator()
{
    FakeWindow ui;
    ui.window->setCheckValue(2, 1);
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(2, Pin::Gnd)->text(), QStringLiteral("0"));
    QCOMPARE(ui.pinField(2, Pin::Ri)->text(), QString());
    QCOMPARE(ui.indicatorColor(2, Pin::Gnd), idle);
    QCOMPARE(ui.indicatorColor(2, Pin::Ri), idle);
}

void TestPollCycle::statusCaption_data()
{
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<QString>("caption");
    QTest::newRow("none") << 0 << QStringLiteral("9600,n,8,1  comNone");
    QTest::newRow("xonxoff") << 1 << QStringLiteral("9600,n,8,1  comXOnXOff");
    QTest::newRow("rtscts") << 2 << QStringLiteral("9600,n,8,1  comRTS");
    QTest::newRow("both") << 3 << QStringLiteral("9600,n,8,1  comRTSXOnXOff");
    QTest::newRow("four") << 4 << QStringLiteral("9600,n,8,1  ");
    QTest::newRow("negative") << -1 << QStringLiteral("9600,n,8,1  ");
}

void TestPollCycle::statusCaption()
{
    QFETCH(int, handshaking);
    QFETCH(QString, caption);
    FakeWindow ui;
    ui.ports[2]->reportHandshaking(handshaking);
    ui.window->setCheckValue(2, 1);

    ui.window->poll().tick();

    QCOMPARE(statusText(ui, 2), caption);
    for (int other : {0, 1, 3})
        QCOMPARE(statusText(ui, other), QString());
}

void TestPollCycle::receivedTextReplacesTheField()
{
    FakeWindow ui;
    ui.window->setCheckValue(0, 1);
    ui.ports[0]->inject(QStringLiteral("first"));
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(0, Pin::Rd)->text(), QStringLiteral("first"));
    QCOMPARE(ui.indicatorColor(0, Pin::Rd), ColorCode::Green);

    ui.ports[0]->inject(QStringLiteral("sec"));
    ui.ports[0]->inject(QStringLiteral("ond"));
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(0, Pin::Rd)->text(), QStringLiteral("second"));

    ui.window->poll().tick();
    QCOMPARE(ui.pinField(0, Pin::Rd)->text(), QString());
    QCOMPARE(ui.indicatorColor(0, Pin::Rd), idle);
}

void TestPollCycle::controlCharactersAreShownAsPictures()
{
    FakeWindow ui;
    ui.window->setCheckValue(0, 1);
    ui.ports[0]->inject(QString::fromUtf16(u"ok\r\n\0\x1b\x7f\u00e9", 8));
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(0, Pin::Rd)->text(), QString::fromUtf16(u"ok\u240d\u240a\u2400\u241b\u2421\u00e9"));

    // A lone NUL is data, not an empty field.
    ui.ports[0]->inject(QString(QChar(u'\0')));
    ui.window->poll().tick();
    QCOMPARE(ui.indicatorColor(0, Pin::Rd), ColorCode::Green);
}

void TestPollCycle::transmitPhase_data()
{
    // One character per tick: the TD text then ('-' for empty), what is sent ('.' for nothing),
    // and the TD indicator ('R' red, '.' idle).
    QTest::addColumn<QString>("texts");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("indicator");
    QTest::newRow("everySecondTick") << QStringLiteral("aaaaa") << QStringLiteral("a.a.a") << QStringLiteral("R.R.R");
    QTest::newRow("nothingToSend") << QStringLiteral("---") << QStringLiteral("...") << QStringLiteral("...");
    QTest::newRow("clearingResetsThePhase") << QStringLiteral("a-a") << QStringLiteral("a.a") << QStringLiteral("R.R");
    QTest::newRow("clearedOnSkipTick") << QStringLiteral("aa-b") << QStringLiteral("a..b") << QStringLiteral("R..R");
    QTest::newRow("newTextWaitsForPhaseOne") << QStringLiteral("abc") << QStringLiteral("a.c") << QStringLiteral("R.R");
}

void TestPollCycle::transmitPhase()
{
    QFETCH(QString, texts);
    QFETCH(QString, sent);
    QFETCH(QString, indicator);
    FakeWindow ui;
    ui.window->setCheckValue(1, 1);
    QLineEdit *td = ui.pinField(1, Pin::Td);

    QString sentSeen, indicatorSeen;
    for (QChar text : texts) {
        td->setText(text == u'-' ? QString() : QString(text));
        const QStringList before = ui.ports[1]->writesOf(Property::Output);
        ui.window->poll().tick();
        const QStringList after = ui.ports[1]->writesOf(Property::Output);
        sentSeen += after.size() > before.size() ? after.last() : QStringLiteral(".");
        indicatorSeen += ui.indicatorColor(1, Pin::Td) == ColorCode::Red ? u'R' : u'.';
        QCOMPARE(td->text(), text == u'-' ? QString() : QString(text)); // never written while enabled
    }
    QCOMPARE(sentSeen, sent);
    QCOMPARE(indicatorSeen, indicator);
}

void TestPollCycle::refusedReadsKeepTheOldTexts()
{
    FakeWindow ui;
    ui.window->setCheckValue(0, 1);
    ui.ports[0]->setLines(true, false, true);
    ui.ports[0]->inject(QStringLiteral("kept"));
    ui.window->poll().tick();

    for (Property property : {Property::Settings, Property::Handshaking, Property::CdHolding, Property::DsrHolding,
                              Property::CtsHolding, Property::Input})
        ui.ports[0]->refuse(property);
    ui.ports[0]->setLines(false, true, false);
    ui.window->poll().tick();

    QCOMPARE(statusText(ui, 0), QStringLiteral("9600,n,8,1  comNone"));
    QCOMPARE(ui.pinField(0, Pin::Dcd)->text(), QStringLiteral("True"));
    QCOMPARE(ui.indicatorColor(0, Pin::Dcd), ColorCode::Green);
    QCOMPARE(ui.pinField(0, Pin::Dsr)->text(), QStringLiteral("False"));
    QCOMPARE(ui.indicatorColor(0, Pin::Dsr), idle);
    QCOMPARE(ui.pinField(0, Pin::Rd)->text(), QStringLiteral("kept"));
    QCOMPARE(ui.indicatorColor(0, Pin::Rd), ColorCode::Green);
}

void TestPollCycle::unreadLineIsShownIdle()
{
    FakeWindow ui;
    ui.window->poll().tick();
    ui.window->setCheckValue(0, 1);
    for (Property property : {Property::CdHolding, Property::DsrHolding, Property::CtsHolding,
                              Property::DtrEnable, Property::RtsEnable})
        ui.ports[0]->refuse(property);

    ui.window->poll().tick();

    for (Pin pin : {Pin::Dcd, Pin::Dtr, Pin::Dsr, Pin::Rts, Pin::Cts}) {
        QCOMPARE(ui.pinField(0, pin)->text(), QString());
        QCOMPARE(ui.indicatorColor(0, pin), idle);
    }
}

void TestPollCycle::failureInOneChannelLeavesTheOthersUpdated()
{
    FakeWindow ui;
    ui.window->setCheckValue(0, 1);
    ui.window->setCheckValue(1, 1);
    for (int property = 0; property <= int(Property::Output); ++property)
        ui.ports[0]->refuse(Property(property));
    ui.ports[1]->setLines(true, true, true);
    ui.ports[1]->inject(QStringLiteral("x"));
    ui.pinField(0, Pin::Td)->setText(QStringLiteral("lost"));

    ui.window->poll().tick();

    QCOMPARE(ui.indicatorColor(0, Pin::Td), ColorCode::Red);
    QCOMPARE(ui.window->poll().transmitPhase(0), qint16(2));
    QCOMPARE(statusText(ui, 1), QStringLiteral("9600,n,8,1  comNone"));
    QCOMPARE(ui.pinField(1, Pin::Rd)->text(), QStringLiteral("x"));
    QCOMPARE(ui.pinField(1, Pin::Cts)->text(), QStringLiteral("True"));
    QCOMPARE(ui.pinField(2, Pin::Dcd)->text(), QString());
}

void TestPollCycle::timerPollsOnItsOwn()
{
    FakeWindow ui;
    QCOMPARE(ui.timer()->interval(), 300);
    ui.window->setCheckValue(0, 1);
    ui.ports[0]->inject(QStringLiteral("tick"));
    ui.timer()->start();
    QTRY_COMPARE_WITH_TIMEOUT(ui.pinField(0, Pin::Rd)->text(), QStringLiteral("tick"), 2000);
}

QTEST_MAIN(TestPollCycle)
#include "tst_pollcycle.moc"
