#include "modemlines.h"
#include "ptypair.h"
#include "qtserialport.h"

#include <QRegularExpression>
#include <QTest>

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

    void outputsAtOpen_data();
    void outputsAtOpen();
    void outputsWhileOpen_data();
    void outputsWhileOpen();
    void inputs_data();
    void inputs();
    void closedPortLeavesLinesAlone();

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

void TestModemLines::outputsAtOpen_data()
{
    QTest::addColumn<bool>("dtr");
    QTest::addColumn<bool>("rts");

    QTest::newRow("bothDropped") << false << false;
    QTest::newRow("dtrOnly") << true << false;
    QTest::newRow("rtsOnly") << false << true;
    QTest::newRow("bothRaised") << true << true;
}

// The kernel raises both lines when a port opens; the open puts them where
// the object was told to have them.
void TestModemLines::outputsAtOpen()
{
    QFETCH(bool, dtr);
    QFETCH(bool, rts);

    QVERIFY(m_modem->set(Line::Dtr, true));
    QVERIFY(m_modem->set(Line::Rts, true));
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setDtrEnable(dtr));
    QVERIFY(port.setRtsEnable(rts));
    QVERIFY(port.setPortOpen(true));
    QCOMPARE(m_modem->isAsserted(Line::Dtr), dtr);
    QCOMPARE(m_modem->isAsserted(Line::Rts), rts);
    QCOMPARE(port.dtrEnable(), dtr);
    QCOMPARE(port.rtsEnable(), rts);
}

void TestModemLines::outputsWhileOpen_data()
{
    QTest::addColumn<Line>("line");

    QTest::newRow("dtr") << Line::Dtr;
    QTest::newRow("rts") << Line::Rts;
}

void TestModemLines::outputsWhileOpen()
{
    QFETCH(Line, line);
    const Line other = line == Line::Dtr ? Line::Rts : Line::Dtr;
    const auto write = [line](QtSerialPort &port, bool enable) {
        return line == Line::Dtr ? port.setDtrEnable(enable) : port.setRtsEnable(enable);
    };
    const auto read = [line](const QtSerialPort &port) {
        return line == Line::Dtr ? port.dtrEnable() : port.rtsEnable();
    };

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    for (const bool enable : {true, false, true}) {
        QVERIFY(write(port, enable));
        QCOMPARE(m_modem->isAsserted(line), enable);
        QCOMPARE(read(port), enable);
        QVERIFY(!m_modem->isAsserted(other));
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

    QVERIFY(m_modem->set(Line::Dcd, !dcd));
    QVERIFY(m_modem->set(Line::Cts, !cts));
    QCOMPARE(port.cdHolding(), !dcd);
    QCOMPARE(port.dsrHolding(), dsr);
    QCOMPARE(port.ctsHolding(), !cts);
}

// Lines written while the port is closed reach the device only at the open;
// a closed port asserts nothing.
void TestModemLines::closedPortLeavesLinesAlone()
{
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setDtrEnable(true));
    QVERIFY(port.setRtsEnable(true));
    QVERIFY(!m_modem->isAsserted(Line::Dtr));
    QVERIFY(!m_modem->isAsserted(Line::Rts));
    QVERIFY(m_modem->set(Line::Dcd, true));
    QVERIFY(!port.cdHolding());

    QVERIFY(port.setPortOpen(true));
    QVERIFY(m_modem->isAsserted(Line::Dtr));
    QVERIFY(m_modem->isAsserted(Line::Rts));
    QVERIFY(port.setPortOpen(false));
    QVERIFY(!m_modem->isAsserted(Line::Dtr));
    QVERIFY(!m_modem->isAsserted(Line::Rts));
    QVERIFY(port.setDtrEnable(false));
    QVERIFY(port.setPortOpen(true));
    QVERIFY(!m_modem->isAsserted(Line::Dtr));
    QVERIFY(m_modem->isAsserted(Line::Rts));
}

QTEST_GUILESS_MAIN(TestModemLines)
#include "tst_modemlines.moc"
