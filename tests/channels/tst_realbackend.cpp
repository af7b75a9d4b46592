#include "qstringfrom.h"
#include "realwindow.h"

#include <QLabel>

class TestRealBackend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void receiveAndSendEverySecondTick();
    void buttonsDriveTheFarEndsLines();
    void combosSetTheSettingsInForce();

private:
    std::unique_ptr<RealWindow> ui;
};

void TestRealBackend::init()
{
    ui = std::make_unique<RealWindow>();
    if (const QString why = ui->unusableBecause(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY(ui->show());
}

void TestRealBackend::receiveAndSendEverySecondTick()
{
    ui->clickCheckBox(1);
    QVERIFY(ui->messages.isEmpty());
    ui->ptys[1]->writeMaster("hello\r\n");
    QTRY_VERIFY(ui->ports[1]->receivedBytes() == 7);
    ui->pinField(1, Pin::Td)->setText(QStringLiteral("ping"));

    QByteArray farEnd;
    QString shown;
    for (int tick = 0; tick < 4; ++tick) {
        ui->window->poll().tick();
        if (tick == 0)
            shown = ui->pinField(1, Pin::Rd)->text();
        QTest::qWait(50);
        farEnd += ui->ptys[1]->readMaster();
    }

    QCOMPARE(shown, QString::fromUtf16(u"hello\u240d\u240a"));
    QCOMPARE(ui->pinField(1, Pin::Rd)->text(), QString());
    QCOMPARE(farEnd, QByteArray("pingping"));
}

void TestRealBackend::buttonsDriveTheFarEndsLines()
{
    ui->clickCheckBox(0);
    ui->window->poll().tick();
    QVERIFY(!ui->modems[0]->isAsserted(ModemLines::Line::Dtr));
    QVERIFY(!ui->modems[0]->isAsserted(ModemLines::Line::Rts));

    QTest::mouseClick(ui->lineButton(0, Line::Dtr), Qt::LeftButton);
    QVERIFY(ui->modems[0]->isAsserted(ModemLines::Line::Dtr));
    QVERIFY(!ui->modems[0]->isAsserted(ModemLines::Line::Rts));
    QTest::mouseClick(ui->lineButton(0, Line::Rts), Qt::LeftButton);
    QVERIFY(ui->modems[0]->isAsserted(ModemLines::Line::Rts));

    ui->modems[0]->set(ModemLines::Line::Dsr, true);
    ui->window->poll().tick();
    QCOMPARE(ui->pinField(0, Pin::Dsr)->text(), QStringLiteral("True"));
    QCOMPARE(ui->indicatorColor(0, Pin::Dsr), ColorCode::Green);
    QCOMPARE(ui->pinField(0, Pin::Dtr)->text(), QStringLiteral("True"));

    ui->clickCheckBox(0);
    ui->window->poll().tick();
    QVERIFY(!ui->modems[0]->isAsserted(ModemLines::Line::Dtr));
    QVERIFY(!ui->modems[0]->isAsserted(ModemLines::Line::Rts));
}

void TestRealBackend::combosSetTheSettingsInForce()
{
    ui->clickCheckBox(2);
    ui->chooseEntry(comboIndex(2, SettingsRole::Baud), 11);
    ui->chooseEntry(comboIndex(2, SettingsRole::Parity), 1);
    ui->chooseEntry(comboIndex(2, SettingsRole::DataBits), 2);
    ui->chooseEntry(comboIndex(2, SettingsRole::StopBits), 1);
    ui->window->poll().tick();

    QVERIFY(ui->messages.isEmpty());
    QCOMPARE(ui->ptys[2]->slaveBaudRate(), std::optional<quint32>(115200));
    const termios held = *ui->ptys[2]->slaveTermios();
    QCOMPARE(held.c_cflag & CSIZE, tcflag_t(CS7));
    QVERIFY(held.c_cflag & PARENB);
    QVERIFY(!(held.c_cflag & PARODD));
    QVERIFY(held.c_cflag & CSTOPB);
    QCOMPARE(ui->control<QLabel>(QStringLiteral("Label16"))->text(), QStringLiteral("115200,e,7,2  comNone"));
}

QTEST_MAIN(TestRealBackend)
#include "tst_realbackend.moc"
