#include "fakewindow.h"

using Property = FakeSerialPort::Property;

class TestLineToggles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachButtonDrivesItsOwnLine_data();
    void eachButtonDrivesItsOwnLine();
    void disabledChannelsButtonDoesNothing();
    void refusedLineWriteRestoresTheColour();
    void disabledTickDropsARaisedLine();
};

void TestLineToggles::eachButtonDrivesItsOwnLine_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<Line>("line");
    for (int channel = 0; channel < channelCount; ++channel) {
        const ChannelEntry &entry = channelTable[channel];
        QTest::addRow("%s", entry.dtrButton.data()) << channel << Line::Dtr;
        QTest::addRow("%s", entry.rtsButton.data()) << channel << Line::Rts;
    }
}

void TestLineToggles::eachButtonDrivesItsOwnLine()
{
    QFETCH(int, channel);
    QFETCH(Line, line);
    FakeWindow ui;
    QVERIFY(ui.show());
    for (int other = 0; other < channelCount; ++other)
        ui.clickCheckBox(other);
    for (FakeSerialPort *port : ui.ports)
        port->clearWrites();
    const Property wanted = line == Line::Dtr ? Property::DtrEnable : Property::RtsEnable;

    QTest::mouseClick(ui.lineButton(channel, line), Qt::LeftButton);
    QCOMPARE(ui.buttonColor(channel, line), ColorCode::Red);
    QTest::mouseClick(ui.lineButton(channel, line), Qt::LeftButton);
    QCOMPARE(ui.buttonColor(channel, line), ColorCode::ButtonFace);

    const QList<FakeSerialPort::Write> expected{{wanted, QStringLiteral("true")}, {wanted, QStringLiteral("false")}};
    for (int other = 0; other < channelCount; ++other)
        QCOMPARE(ui.ports[other]->writes(), other == channel ? expected : QList<FakeSerialPort::Write>{});
}

void TestLineToggles::disabledChannelsButtonDoesNothing()
{
    FakeWindow ui;
    QVERIFY(ui.show());

    QTest::mouseClick(ui.lineButton(1, Line::Rts), Qt::LeftButton);

    QCOMPARE(ui.buttonColor(1, Line::Rts), ColorCode::ButtonFace);
    QVERIFY(ui.ports[1]->writes().isEmpty());
}

void TestLineToggles::refusedLineWriteRestoresTheColour()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(0);
    QTest::mouseClick(ui.lineButton(0, Line::Dtr), Qt::LeftButton);
    ui.ports[0]->refuse(Property::DtrEnable);
    ui.ports[0]->refuse(Property::RtsEnable);

    QTest::mouseClick(ui.lineButton(0, Line::Dtr), Qt::LeftButton);
    QTest::mouseClick(ui.lineButton(0, Line::Rts), Qt::LeftButton);

    QCOMPARE(ui.buttonColor(0, Line::Dtr), ColorCode::Red);
    QCOMPARE(ui.buttonColor(0, Line::Rts), ColorCode::ButtonFace);
}

void TestLineToggles::disabledTickDropsARaisedLine()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(2);
    QTest::mouseClick(ui.lineButton(2, Line::Rts), Qt::LeftButton);
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(2, Pin::Rts)->text(), QStringLiteral("True"));

    ui.clickCheckBox(2);
    ui.window->poll().tick();
    QCOMPARE(ui.buttonColor(2, Line::Rts), ColorCode::ButtonFace);
    QCOMPARE(*ui.ports[2]->rtsEnable(), false);

    ui.clickCheckBox(2);
    ui.window->poll().tick();
    QCOMPARE(ui.pinField(2, Pin::Rts)->text(), QStringLiteral("False"));
    QCOMPARE(ui.indicatorColor(2, Pin::Rts), ColorCode::WindowBackground);
}

QTEST_MAIN(TestLineToggles)
#include "tst_linetoggles.moc"
