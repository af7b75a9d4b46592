#include "linesettings.h"
#include "modemlines.h"
#include "ptypair.h"
#include "qtserialport.h"

#include <QRegularExpression>
#include <QTest>

namespace {

// What was in force before each write; mark parity also sets CMSPAR, which
// a later even or odd parity has to take away again.
const QString previousSettings = QStringLiteral("2400,m,7,2");

// By ParityKind: none, even, odd, space, mark.
constexpr tcflag_t parityBits[] = {0, PARENB, PARENB | PARODD, PARENB | CMSPAR, PARENB | PARODD | CMSPAR};
constexpr tcflag_t characterSizes[] = {CS5, CS6, CS7, CS8};

} // namespace

class TestLineSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void settingsText_data();
    void settingsText();
    void handshakingText_data();
    void handshakingText();

private:
    std::unique_ptr<PtyPair> m_pty;
};

void TestLineSettings::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
}

void TestLineSettings::settingsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("canonical"); // empty when the text is refused
    // The emulated driver refuses five data bits, after the baud rate and
    // parity have been set: the write must be rolled back.
    QTest::addColumn<bool>("driverRefuses");

    const auto row = [](const char *tag, const char *text, const char *canonical = "", bool driverRefuses = false) {
        QTest::newRow(tag) << QString::fromUtf8(text) << QString::fromUtf8(canonical) << driverRefuses;
    };
    row("initial", "9600,n,8,1", "9600,n,8,1");
    row("upperCaseParity", "110,N,8,1", "110,n,8,1");
    row("even7", "300,E,7,1", "300,e,7,1");
    row("odd7TwoStop", "1200,o,7,2", "1200,o,7,2");
    row("space8", "4800,s,8,1", "4800,s,8,1");
    row("mark6", "19200,M,6,1", "19200,m,6,1");
    row("baudWithoutConstant", "14400,e,8,1", "14400,e,8,1");
    row("highBaud", "921600,n,8,2", "921600,n,8,2");
    row("unlistedBaud", "31250,n,8,1", "31250,n,8,1");
    row("fiveBitsRefusedByDriver", "1200,e,5,2", "1200,e,5,2", true);

    row("empty", "");
    row("threeParts", "9600,n,8");
    row("fiveParts", "9600,n,8,1,1");
    row("blankAfterComma", "9600, n,8,1");
    row("trailingBlank", "9600,n,8,1 ");
    row("leadingZeroBaud", "09600,n,8,1");
    row("zeroBaud", "0,n,8,1");
    row("baudPast32Bits", "2147483648,n,8,1");
    row("fullWidthDigits", "９６００,n,8,1");
    row("unknownParity", "9600,x,8,1");
    row("fourDataBits", "9600,n,4,1");
    row("threeStopBits", "9600,n,8,3");
    row("oneAndHalfStopBits", "9600,n,8,1.5");
}

// The grammar, the write to a closed port, and the write to an open port
// whose driver may refuse a part midway.
void TestLineSettings::settingsText()
{
    QFETCH(QString, text);
    QFETCH(QString, canonical);
    QFETCH(bool, driverRefuses);

    QtSerialPort closed(m_pty->slavePath());
    QVERIFY(closed.setSettings(previousSettings));
    QCOMPARE(closed.setSettings(text), !canonical.isEmpty());
    QCOMPARE(closed.settings(), canonical.isEmpty() ? previousSettings : canonical);

    if (!ModemLines::fixtureLoaded())
        QSKIP("the open half needs the modem fixture preloaded (run it through ctest)");
    ModemLines modem(m_pty->slaveDevice());
    QVERIFY(modem.isValid());
    QVERIFY(modem.setRefusesFiveDataBits(true));
    QtSerialPort open(m_pty->slavePath());
    QVERIFY(open.setSettings(previousSettings));
    QVERIFY(open.setPortOpen(true));

    const bool accepted = !canonical.isEmpty() && !driverRefuses;
    QCOMPARE(open.setSettings(text), accepted);
    const QString inForceText = accepted ? canonical : previousSettings;
    QCOMPARE(open.settings(), inForceText);

    const LineSettings inForce = parseLineSettings(inForceText).value();
    QCOMPARE(m_pty->slaveBaudRate(), quint32(inForce.baudRate));
    const std::optional<termios> tio = m_pty->slaveTermios();
    QVERIFY(tio);
    QCOMPARE(tio->c_cflag & CSIZE, characterSizes[inForce.dataBits - 5]);
    // Without PARENB the other two bits mean nothing to a driver.
    const tcflag_t parity = (tio->c_cflag & PARENB) ? tio->c_cflag & (PARENB | PARODD | CMSPAR) : 0;
    QCOMPARE(parity, parityBits[int(inForce.parity)]);
    QCOMPARE((tio->c_cflag & CSTOPB) != 0, inForce.stopBits == StopBitsKind::Two);
}

void TestLineSettings::handshakingText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint32>>("number");

    const auto row = [](const char *tag, const char *text, std::optional<qint32> number) {
        QTest::newRow(tag) << QString::fromUtf8(text) << number;
    };
    row("none", "0", 0);
    row("both", "3", 3);
    row("blanksAround", "\t2 ", 2);
    row("plusSign", "+3", 3);
    row("negative", "-1", -1);
    row("four", "4", 4);
    row("largest", "2147483647", 2147483647);
    row("past32Bits", "2147483648", std::nullopt);
    row("letters", "abc", std::nullopt);
    row("fraction", "2.0", std::nullopt);
    row("empty", "", std::nullopt);
    row("hexadecimal", "0x1", std::nullopt);
    row("arabicIndicDigit", "٣", std::nullopt);
}

// The text conversion, then the number written to the port, closed and open,
// which refuses anything outside 0 to 3 and keeps what it had.
void TestLineSettings::handshakingText()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint32>, number);

    QCOMPARE(parseHandshakingText(text), number);
    if (!number)
        return;
    const bool accepted = *number >= 0 && *number <= 3;
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setHandshaking(2));
    for (const bool open : {false, true}) {
        QVERIFY(port.setPortOpen(open));
        QCOMPARE(port.setHandshaking(*number), accepted);
        QCOMPARE(port.handshaking(), accepted ? *number : 2);
    }
}

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"
