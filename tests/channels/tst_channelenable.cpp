#include "fakewindow.h"
#include "qstringfrom.h"
#include "texts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

using Property = FakeSerialPort::Property;

class TestChannelEnable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tickOpensOnlyItsOwnPort_data();
    void tickOpensOnlyItsOwnPort();
    void refusedOpenIsReportedOnceAndTakenBack();
    void untickClosesSilently();
    void reopenKeepsTheSettingsInForce();
    void messageBoxHasTextCaptionAndSingleOk();
};

void TestChannelEnable::tickOpensOnlyItsOwnPort_data()
{
    QTest::addColumn<int>("channel");
    for (int channel = 0; channel < channelCount; ++channel)
        QTest::addRow("%s", channelTable[channel].checkCaption.data()) << channel;
}

void TestChannelEnable::tickOpensOnlyItsOwnPort()
{
    QFETCH(int, channel);
    FakeWindow ui;
    QVERIFY(ui.show());

    ui.clickCheckBox(channel);

    QCOMPARE(ui.window->checkValue(channel), 1);
    for (int other = 0; other < channelCount; ++other)
        QCOMPARE(ui.ports[other]->isOpen(), other == channel);
    QVERIFY(ui.messages.isEmpty());
}

void TestChannelEnable::refusedOpenIsReportedOnceAndTakenBack()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.ports[1]->refuse(Property::PortOpen);
    bool tickedWhileShown = false;
    ui.onMessage = [&] { tickedWhileShown = ui.window->checkValue(1) == 1; };

    ui.clickCheckBox(1);

    QCOMPARE(ui.messages, QStringList{qs(texts::portNotFound)});
    QVERIFY2(tickedWhileShown, "the box is unticked only after the message was closed");
    QCOMPARE(ui.window->checkValue(1), 0);
    QVERIFY(!ui.checkBox(1)->isChecked());
    QVERIFY(!ui.ports[1]->isOpen());
    QCOMPARE(ui.ports[1]->writesOf(Property::PortOpen).first(), QStringLiteral("true"));
    QCOMPARE(ui.ports[1]->writesOf(Property::PortOpen).last(), QStringLiteral("false"));

    // The port was refused only once: the next tick opens it.
    ui.ports[1]->accept(Property::PortOpen);
    ui.clickCheckBox(1);
    QVERIFY(ui.ports[1]->isOpen());
    QCOMPARE(ui.messages.size(), 1);
}

void TestChannelEnable::untickClosesSilently()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(2);
    ui.ports[2]->refuse(Property::PortOpen); // closing fails too: still no message

    ui.clickCheckBox(2);

    QCOMPARE(ui.window->checkValue(2), 0);
    QCOMPARE(ui.ports[2]->writesOf(Property::PortOpen), QStringList({QStringLiteral("true"), QStringLiteral("false")}));
    QVERIFY(ui.messages.isEmpty());
}

void TestChannelEnable::reopenKeepsTheSettingsInForce()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    ui.clickCheckBox(0);
    ui.chooseEntry(comboIndex(0, SettingsRole::Baud), 11);
    QCOMPARE(*ui.ports[0]->settings(), QStringLiteral("115200,n,8,1"));
    ui.clickCheckBox(0);
    // A choice made while disabled reaches no port.
    ui.chooseEntry(comboIndex(0, SettingsRole::Baud), 0);

    ui.clickCheckBox(0);
    ui.window->poll().tick();

    QVERIFY(ui.ports[0]->isOpen());
    QCOMPARE(ui.ports[0]->writesOf(Property::Settings), QStringList{QStringLiteral("115200,n,8,1")});
    QCOMPARE(ui.control<QLabel>(QStringLiteral("Label13"))->text(), QStringLiteral("115200,n,8,1  comNone"));
}

void TestChannelEnable::messageBoxHasTextCaptionAndSingleOk()
{
    std::array<std::unique_ptr<SerialPort>, channelCount> ports;
    FakeSerialPort *refusing = nullptr;
    for (auto &port : ports) {
        auto fake = std::make_unique<FakeSerialPort>();
        refusing = fake.get();
        port = std::move(fake);
    }
    refusing->refuse(Property::PortOpen);
    MainWindow window(std::move(ports));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QString text, caption;
    QMessageBox::Icon icon = QMessageBox::Warning;
    qsizetype buttonCount = 0;
    int boxesSeen = 0;
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        ++boxesSeen;
        text = box->text();
        caption = box->windowTitle();
        icon = box->icon();
        buttonCount = box->buttons().size();
        box->button(QMessageBox::Ok)->click();
    });
    closer.start();

    window.setCheckValue(3, 1);

    QCOMPARE(boxesSeen, 1);
    QCOMPARE(text, qs(texts::portNotFound));
    QCOMPARE(caption, qs(texts::appTitle));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttonCount, qsizetype(1));
    QCOMPARE(window.checkValue(3), 0);
}

QTEST_MAIN(TestChannelEnable)
#include "tst_channelenable.moc"
