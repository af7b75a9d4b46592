#include "linesettings.h"
#include "modemlines.h"
#include "ptypair.h"
#include "qtserialport.h"

#include <QRegularExpression>
#include <QTest>

#include <array>
#include <limits>

namespace {

// What was in force before each write; mark parity also sets CMSPAR, which
// a later even or odd parity has to take away again.
const QString previousSettings = QStringLiteral("2400,m,7,2");

struct ParityBits
{
    ParityKind parity;
    tcflag_t bits;
};

constexpr std::array<ParityBits, 5> parityBits{{
    {ParityKind::None, 0},
    {ParityKind::Even, PARENB},
    {ParityKind::Odd, PARENB | PARODD},
    {ParityKind::Space, PARENB | CMSPAR},
    {ParityKind::Mark, PARENB | PARODD | CMSPAR},
}};

constexpr std::array<tcflag_t, 4> characterSizes{CS5, CS6, CS7, CS8};

[[nodiscard]] tcflag_t expectedParityBits(ParityKind parity)
{
    for (const ParityBits &entry : parityBits) {
        if (entry.parity == parity)
            return entry.bits;
    }
    return 0;
}

[[nodiscard]] tcflag_t parityBitsInForce(tcflag_t cflag)
{
    // Without PARENB the other two bits mean nothing to a driver.
    return (cflag & PARENB) ? cflag & (PARENB | PARODD | CMSPAR) : 0;
}

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
    // Empty when the text is refused.
    QTest::addColumn<QString>("canonical");
    // The emulated driver refuses five data bits, after the baud rate and
    // parity have been set: the write must be rolled back.
    QTest::addColumn<bool>("driverRefuses");

    const auto accepted = [](const char *tag, const char *text, const char *canonical) {
        QTest::newRow(tag) << QString::fromUtf8(text) << QString::fromUtf8(canonical) << false;
    };
    const auto refused = [](const char *tag, const char *text) {
        QTest::newRow(tag) << QString::fromUtf8(text) << QString() << false;
    };

    accepted("initial", "9600,n,8,1", "9600,n,8,1");
    accepted("upperCaseParity", "110,N,8,1", "110,n,8,1");
    accepted("even7", "300,E,7,1", "300,e,7,1");
    accepted("odd7TwoStop", "1200,o,7,2", "1200,o,7,2");
    accepted("space8", "4800,s,8,1", "4800,s,8,1");
    accepted("mark6", "19200,M,6,1", "19200,m,6,1");
    accepted("baudWithoutConstant", "14400,e,8,1", "14400,e,8,1");
    accepted("highBaud", "921600,n,8,2", "921600,n,8,2");
    accepted("unlistedBaud", "31250,n,8,1", "31250,n,8,1");
    QTest::newRow("fiveBitsRefusedByDriver") << QStringLiteral("1200,e,5,2") << QStringLiteral("1200,e,5,2") << true;
    QTest::newRow("fiveBitsOddRefusedByDriver") << QStringLiteral("57600,O,5,1") << QStringLiteral("57600,o,5,1") << true;

    refused("empty", "");
    refused("baudOnly", "9600");
    refused("threeParts", "9600,n,8");
    refused("fiveParts", "9600,n,8,1,1");
    refused("trailingComma", "9600,n,8,1,");
    refused("leadingBlank", " 9600,n,8,1");
    refused("trailingBlank", "9600,n,8,1 ");
    refused("blankAfterComma", "9600, n,8,1");
    refused("trailingNewline", "9600,n,8,1\n");
    refused("semicolons", "9600;n;8;1");
    refused("leadingZeroBaud", "09600,n,8,1");
    refused("zeroBaud", "0,n,8,1");
    refused("negativeBaud", "-9600,n,8,1");
    refused("signedBaud", "+9600,n,8,1");
    refused("fractionBaud", "9600.5,n,8,1");
    refused("baudPast32Bits", "2147483648,n,8,1");
    refused("fullWidthDigits", "９６００,n,8,1");
    refused("emptyBaud", ",n,8,1");
    refused("unknownParity", "9600,x,8,1");
    refused("parityWord", "9600,none,8,1");
    refused("emptyParity", "9600,,8,1");
    refused("fourDataBits", "9600,n,4,1");
    refused("nineDataBits", "9600,n,9,1");
    refused("paddedDataBits", "9600,n,08,1");
    refused("zeroStopBits", "9600,n,8,0");
    refused("threeStopBits", "9600,n,8,3");
    refused("oneAndHalfStopBits", "9600,n,8,1.5");
    refused("paddedStopBits", "9600,n,8,01");
}

// The grammar, the write to a closed port, and the write to an open port
// whose driver may refuse a part midway.
void TestLineSettings::settingsText()
{
    QFETCH(QString, text);
    QFETCH(QString, canonical);
    QFETCH(bool, driverRefuses);

    const std::optional<LineSettings> parsed = parseLineSettings(text);
    QCOMPARE(parsed.has_value(), !canonical.isEmpty());
    if (parsed)
        QCOMPARE(formatLineSettings(*parsed), canonical);

    QtSerialPort closed(m_pty->slavePath());
    QVERIFY(closed.setSettings(previousSettings));
    QCOMPARE(closed.setSettings(text), parsed.has_value());
    QCOMPARE(closed.settings(), parsed ? canonical : previousSettings);

    if (!ModemLines::fixtureLoaded())
        QSKIP("the open half needs the modem fixture preloaded (run it through ctest)");
    ModemLines modem(m_pty->slaveDevice());
    QVERIFY(modem.isValid());
    QVERIFY(modem.setRefusesFiveDataBits(true));
    QtSerialPort open(m_pty->slavePath());
    QVERIFY(open.setSettings(previousSettings));
    QVERIFY(open.setPortOpen(true));

    const bool accepted = parsed && !driverRefuses;
    QCOMPARE(open.setSettings(text), accepted);
    const QString inForceText = accepted ? canonical : previousSettings;
    QCOMPARE(open.settings(), inForceText);

    const LineSettings inForce = parseLineSettings(inForceText).value();
    QCOMPARE(m_pty->slaveBaudRate(), quint32(inForce.baudRate));
    const std::optional<termios> tio = m_pty->slaveTermios();
    QVERIFY(tio);
    QCOMPARE(tio->c_cflag & CSIZE, characterSizes[std::size_t(inForce.dataBits - 5)]);
    QCOMPARE(parityBitsInForce(tio->c_cflag), expectedParityBits(inForce.parity));
    QCOMPARE((tio->c_cflag & CSTOPB) != 0, inForce.stopBits == StopBitsKind::Two);
}

void TestLineSettings::handshakingText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint32>>("number");
    QTest::addColumn<bool>("portAccepts");

    const auto row = [](const char *tag, const char *text, std::optional<qint32> number, bool portAccepts) {
        QTest::newRow(tag) << QString::fromUtf8(text) << number << portAccepts;
    };
    constexpr qint32 max = std::numeric_limits<qint32>::max();
    constexpr qint32 min = std::numeric_limits<qint32>::min();

    row("none", "0", 0, true);
    row("xonXoff", "1", 1, true);
    row("rtsCts", "2", 2, true);
    row("both", "3", 3, true);
    row("blanksAround", " 2 ", 2, true);
    row("tabAndNewline", "\t1\n", 1, true);
    row("plusSign", "+3", 3, true);
    row("minusZero", "-0", 0, true);
    row("leadingZeros", "003", 3, true);
    row("negative", "-1", -1, false);
    row("four", "4", 4, false);
    row("largest", "2147483647", max, false);
    row("smallest", "-2147483648", min, false);
    row("past32Bits", "2147483648", std::nullopt, false);
    row("belowSmallest", "-2147483649", std::nullopt, false);
    row("manyDigits", "99999999999999999999999", std::nullopt, false);
    row("letters", "abc", std::nullopt, false);
    row("fraction", "2.5", std::nullopt, false);
    row("wholeFraction", "2.0", std::nullopt, false);
    row("empty", "", std::nullopt, false);
    row("blanksOnly", "  ", std::nullopt, false);
    row("signOnly", "-", std::nullopt, false);
    row("twoSigns", "+-1", std::nullopt, false);
    row("blankAfterSign", "- 1", std::nullopt, false);
    row("blankInside", "1 2", std::nullopt, false);
    row("hexadecimal", "0x1", std::nullopt, false);
    row("exponent", "1e0", std::nullopt, false);
    row("trailingLetter", "2a", std::nullopt, false);
    row("arabicIndicDigit", "٣", std::nullopt, false);
}

// The text conversion, then the number written to the port, which refuses
// anything outside 0 to 3 and keeps what it had.
void TestLineSettings::handshakingText()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint32>, number);
    QFETCH(bool, portAccepts);

    QCOMPARE(parseHandshakingText(text), number);
    if (!number)
        return;
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setHandshaking(2));
    QCOMPARE(port.setHandshaking(*number), portAccepts);
    QCOMPARE(port.handshaking(), portAccepts ? *number : 2);
    QVERIFY(port.setPortOpen(true));
    QCOMPARE(port.setHandshaking(*number), portAccepts);
    QCOMPARE(port.handshaking(), portAccepts ? *number : 2);
}

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"
