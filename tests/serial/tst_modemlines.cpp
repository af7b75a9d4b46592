#include "modemlines.h"
#include "ptypair.h"
#include "qtserialport.h"

#include <QRegularExpression>
#include <QTest>

#include <utility>

using Line = ModemLines::Line;

// DTR and RTS written through the real backend and QSerialPort as the far
// end sees them, and DCD, DSR and CTS raised by the far end as the backend
// reads them, over a pty given modem lines by the preloaded fixture.
class TestModemLines : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void outputsAtOpenAndClose_data();
    void outputsAtOpenAndClose();
    void outputsWhileOpen();
    void inputs_data();
    void inputs();
    void rtsFollowsHandshaking_data();
    void rtsFollowsHandshaking();
    void speedBeyondTheUart_data();
    void speedBeyondTheUart();

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<ModemLines> m_modem;
};

void TestModemLines::initTestCase()
{
    if (!ModemLines::fixtureLoaded() || ModemLines::stateDirectory().isEmpty())
        QSKIP("needs the modem fixture preloaded and VELMORA_MODEM_DIR set (run it through ctest)");
}

void TestModemLines::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
    m_modem = std::make_unique<ModemLines>(m_pty->slaveDevice());
    QVERIFY(m_modem->isValid());
}

void TestModemLines::outputsAtOpenAndClose_data()
{
    QTest::addColumn<bool>("dtr");
    QTest::addColumn<bool>("rts");
    QTest::newRow("bothDropped") << false << false;
    QTest::newRow("dtrOnly") << true << false;
    QTest::newRow("rtsOnly") << false << true;
    QTest::newRow("bothRaised") << true << true;
}

// Lines written while closed reach the device only at the open, where they
// override the kernel raising both; a close drops both.
void TestModemLines::outputsAtOpenAndClose()
{
    QFETCH(bool, dtr);
    QFETCH(bool, rts);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setDtrEnable(dtr));
    QVERIFY(port.setRtsEnable(rts));
    QVERIFY(!m_modem->isAsserted(Line::Dtr));
    QVERIFY(!m_modem->isAsserted(Line::Rts));
    QVERIFY(m_modem->set(Line::Dtr, true));
    QVERIFY(m_modem->set(Line::Rts, true));

    QVERIFY(port.setPortOpen(true));
    QCOMPARE(m_modem->isAsserted(Line::Dtr), dtr);
    QCOMPARE(m_modem->isAsserted(Line::Rts), rts);
    QCOMPARE(port.dtrEnable(), dtr);
    QCOMPARE(port.rtsEnable(), rts);
    QVERIFY(port.setPortOpen(false));
    QVERIFY(!m_modem->isAsserted(Line::Dtr));
    QVERIFY(!m_modem->isAsserted(Line::Rts));
}

void TestModemLines::outputsWhileOpen()
{
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    const std::pair<bool, bool> states[] = {{true, false}, {false, true}, {true, true}, {false, false}};
    for (const auto &[dtr, rts] : states) {
        QVERIFY(port.setDtrEnable(dtr));
        QVERIFY(port.setRtsEnable(rts));
        QCOMPARE(m_modem->isAsserted(Line::Dtr), dtr);
        QCOMPARE(m_modem->isAsserted(Line::Rts), rts);
        QCOMPARE(port.dtrEnable(), dtr);
        QCOMPARE(port.rtsEnable(), rts);
    }
}

void TestModemLines::inputs_data()
{
    QTest::addColumn<bool>("dcd");
    QTest::addColumn<bool>("dsr");
    QTest::addColumn<bool>("cts");
    QTest::newRow("none") << false << false << false;
    QTest::newRow("dcdOnly") << true << false << false;
    QTest::newRow("dsrOnly") << false << true << false;
    QTest::newRow("ctsOnly") << false << false << true;
    QTest::newRow("all") << true << true << true;
}

void TestModemLines::inputs()
{
    QFETCH(bool, dcd);
    QFETCH(bool, dsr);
    QFETCH(bool, cts);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(m_modem->set(Line::Dcd, true));
    QVERIFY(!port.cdHolding()); // a closed port reads no line
    QVERIFY(port.setPortOpen(true));
    // Ring and the port's own outputs must not leak into the inputs.
    QVERIFY(m_modem->set(Line::Ri, true));
    QVERIFY(port.setDtrEnable(true));
    QVERIFY(port.setRtsEnable(true));
    QVERIFY(m_modem->set(Line::Dcd, dcd));
    QVERIFY(m_modem->set(Line::Dsr, dsr));
    QVERIFY(m_modem->set(Line::Cts, cts));
    QCOMPARE(port.cdHolding(), dcd);
    QCOMPARE(port.dsrHolding(), dsr);
    QCOMPARE(port.ctsHolding(), cts);
}

void TestModemLines::rtsFollowsHandshaking_data()
{
    QTest::addColumn<int>("openedWith");
    QTest::addColumn<int>("switchedTo");
    QTest::addColumn<bool>("rts");
    QTest::newRow("noneToRtsCts") << 0 << 2 << true;
    QTest::newRow("xonXoffToBoth") << 1 << 3 << true;
    QTest::newRow("rtsCtsToNone") << 2 << 0 << false;
    QTest::newRow("bothToXonXoff") << 3 << 1 << false;
}

// The driver owns RTS under hardware flow control: switching it on hands RTS
// over asserted, switching it off puts back what the button asks for, and a
// close drops both outputs either way.
void TestModemLines::rtsFollowsHandshaking()
{
    QFETCH(int, openedWith);
    QFETCH(int, switchedTo);
    QFETCH(bool, rts);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setHandshaking(openedWith));
    QVERIFY(port.setDtrEnable(true));
    QVERIFY(m_modem->set(Line::Rts, true)); // the kernel raises it at the open
    QVERIFY(port.setPortOpen(true));
    QVERIFY(port.setHandshaking(switchedTo));
    QCOMPARE(m_modem->isAsserted(Line::Rts), rts);
    QVERIFY(port.setHandshaking(2));
    QVERIFY(port.setPortOpen(false));
    QVERIFY(!m_modem->isAsserted(Line::Dtr));
    QVERIFY(!m_modem->isAsserted(Line::Rts));
}

void TestModemLines::speedBeyondTheUart_data()
{
    QTest::addColumn<QString>("settings");
    QTest::newRow("standardRate") << QStringLiteral("921600,n,8,1");
    QTest::newRow("customRate") << QStringLiteral("250000,n,8,1");
}

// A UART that quietly keeps a speed it cannot do must not be shown running it.
void TestModemLines::speedBeyondTheUart()
{
    QFETCH(QString, settings);

    QVERIFY(m_modem->setTopsOutAt115200(true));
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    QVERIFY(!port.setSettings(settings));
    QCOMPARE(port.settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(m_pty->slaveBaudRate(), 9600u);
    QVERIFY(port.setSettings(QStringLiteral("115200,n,8,1")));
    QCOMPARE(m_pty->slaveBaudRate(), 115200u);
}

QTEST_GUILESS_MAIN(TestModemLines)
#include "tst_modemlines.moc"
