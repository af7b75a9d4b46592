#include "farend.h"
#include "portcore.h"

#include <QTest>

// What a Windows driver may do and Wine's never does, played on the null modem.
class TestWinDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A driver whose every status request fails has lost its device, though it never says so.
    void failingStatusIsAHangUp()
    {
        FarEnd far;
        PortCore port(FarEnd::transport());
        port.setDevice(far.device());
        QVERIFY(port.setPortOpen(true) && port.cdHolding());
        far.mute();
        QVERIFY(!port.cdHolding() && !port.dsrHolding() && !port.ctsHolding());
        QCOMPARE(port.state(), PortCore::State::Waiting);
    }
};

QTEST_GUILESS_MAIN(TestWinDriver)
#include "tst_windriver.moc"
