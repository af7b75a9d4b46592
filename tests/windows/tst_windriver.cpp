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

    // A driver that ends every read with nothing is not read again at once, which would spin, but a
    // poll period later; a few such reads in a row are a hang-up.
    void emptyReadsAreAHangUp()
    {
        FarEnd far;
        PortCore port(FarEnd::transport());
        port.setDevice(far.device());
        QVERIFY(port.setPortOpen(true));
        far.starve();
        QVERIFY(far.write("x") == 1);
        QTRY_COMPARE_WITH_TIMEOUT(port.state(), PortCore::State::Waiting, 3000);
    }
};

QTEST_GUILESS_MAIN(TestWinDriver)
#include "tst_windriver.moc"
