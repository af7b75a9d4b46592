#include "fakewindow.h"
#include "qstringfrom.h"
#include "texts.h"

#include <QLineEdit>

using Property = FakeSerialPort::Property;

class TestChannelSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settingsTextFollowsTheChannelsCombos_data();
    void settingsTextFollowsTheChannelsCombos();
    void nothingEnabledWritesNothing();
    void disabledChannelsChoiceRewritesTheEnabledOnes();
    void onlyTheRefusedChannelIsReported();
    void typedTextIsUsedAtTheNextChoice();
    void handshakingText_data();
    void handshakingText();
};

void TestChannelSettings::settingsTextFollowsTheChannelsCombos_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("expected");
    // Each channel gets distinct entries, so a combo read from the wrong place shows.
    QTest::newRow("COM1") << 0 << QStringLiteral("300,e,5,2");
    QTest::newRow("COM2") << 1 << QStringLiteral("600,o,6,2");
    QTest::newRow("COM3") << 2 << QStringLiteral("1200,s,7,2");
    QTest::newRow("COM4") << 3 << QStringLiteral("2400,m,5,2");
}

void TestChannelSettings::settingsTextFollowsTheChannelsCombos()
{
    QFETCH(int, channel);
    QFETCH(QString, expected);
    FakeWindow ui;
    QVERIFY(ui.show());
    for (int other = 0; other < channelCount; ++other) {
        ui.combo(comboIndex(other, SettingsRole::Baud))->setCurrentIndex(1 + other);
        ui.combo(comboIndex(other, SettingsRole::Parity))->setCurrentIndex(1 + other);
        ui.combo(comboIndex(other, SettingsRole::DataBits))->setCurrentIndex(other % 3);
        ui.combo(comboIndex(other, SettingsRole::Handshaking))->setCurrentIndex(other);
    }
    ui.clickCheckBox(channel);

    ui.chooseEntry(comboIndex(channel, SettingsRole::StopBits), 1);

    QCOMPARE(ui.ports[channel]->writesOf(Property::Settings), QStringList{expected});
    QCOMPARE(ui.ports[channel]->writesOf(Property::Handshaking), QStringList{QString::number(channel)});
    QVERIFY(ui.messages.isEmpty());
}

void TestChannelSettings::nothingEnabledWritesNothing()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    for (int index = 0; index < comboCount; ++index)
        ui.chooseEntry(index, 1);
    for (FakeSerialPort *port : ui.ports)
        QVERIFY(port->writes().isEmpty());
    QVERIFY(ui.messages.isEmpty());
}

void TestChannelSettings::disabledChannelsChoiceRewritesTheEnabledOnes()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(0);

    ui.chooseEntry(comboIndex(2, SettingsRole::Baud), 0);

    QCOMPARE(ui.ports[0]->writesOf(Property::Settings), QStringList{QStringLiteral("9600,n,8,1")});
    QCOMPARE(ui.ports[0]->writesOf(Property::Handshaking), QStringList{QStringLiteral("0")});
    QVERIFY(ui.ports[2]->writes().isEmpty());
}

void TestChannelSettings::onlyTheRefusedChannelIsReported()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(0);
    ui.clickCheckBox(2);
    ui.ports[2]->refuse(Property::Settings);
    qsizetype com1WritesAtMessage = -1;
    ui.onMessage = [&] { com1WritesAtMessage = ui.ports[0]->writesOf(Property::Settings).size(); };

    ui.chooseEntry(comboIndex(1, SettingsRole::Parity), 1);

    QCOMPARE(ui.messages, QStringList{qs(texts::notAllowed)});
    QCOMPARE(com1WritesAtMessage, qsizetype(1));
    // The refused channel's handshaking step still ran.
    QCOMPARE(ui.ports[2]->writesOf(Property::Handshaking), QStringList{QStringLiteral("0")});
}

void TestChannelSettings::typedTextIsUsedAtTheNextChoice()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(0);
    QComboBox *baud = ui.combo(comboIndex(0, SettingsRole::Baud));
    baud->lineEdit()->clear();
    QTest::keyClicks(baud, QStringLiteral("96 00"));
    QTest::keyClick(baud, Qt::Key_Return);
    QVERIFY2(ui.ports[0]->writes().size() == 1, "typing alone applies nothing"); // the open

    ui.chooseEntry(comboIndex(0, SettingsRole::Handshaking), 2);

    QCOMPARE(ui.ports[0]->writesOf(Property::Settings), QStringList{QStringLiteral("96 00,n,8,1")});
    QCOMPARE(*ui.ports[0]->settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(*ui.ports[0]->handshaking(), 2);
    QCOMPARE(ui.messages, QStringList{qs(texts::notAllowed)});
}

void TestChannelSettings::handshakingText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<bool>("reported");
    QTest::newRow("listEntry") << QStringLiteral("3") << QStringList{QStringLiteral("3")} << false;
    QTest::newRow("blanksAround") << QStringLiteral(" 2 ") << QStringList{QStringLiteral("2")} << false;
    QTest::newRow("plusSign") << QStringLiteral("+1") << QStringList{QStringLiteral("1")} << false;
    QTest::newRow("negative") << QStringLiteral("-1") << QStringList{QStringLiteral("-1")} << true;
    QTest::newRow("outOfRange") << QStringLiteral("4") << QStringList{QStringLiteral("4")} << true;
    QTest::newRow("letters") << QStringLiteral("abc") << QStringList{} << true;
    QTest::newRow("fraction") << QStringLiteral("2.5") << QStringList{} << true;
    QTest::newRow("empty") << QString() << QStringList{} << true;
    QTest::newRow("tooLarge") << QStringLiteral("4294967296") << QStringList{} << true;
}

void TestChannelSettings::handshakingText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, written);
    QFETCH(bool, reported);
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(3);
    ui.combo(comboIndex(3, SettingsRole::Handshaking))->setEditText(text);

    ui.chooseEntry(comboIndex(3, SettingsRole::Baud), 6);

    QCOMPARE(ui.ports[3]->writesOf(Property::Handshaking), written);
    QCOMPARE(ui.ports[3]->writesOf(Property::Settings), QStringList{QStringLiteral("9600,n,8,1")});
    QCOMPARE(ui.messages.size(), reported ? 1 : 0);
}

QTEST_MAIN(TestChannelSettings)
#include "tst_channelsettings.moc"
