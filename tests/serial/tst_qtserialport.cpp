#include "ptypair.h"
#include "qtserialport.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <ctime>
#include <functional>

using namespace std::chrono_literals;

namespace {

using Operation = std::function<bool(QtSerialPort &)>;

[[nodiscard]] std::chrono::nanoseconds processCpuTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

void runEventLoop(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Text of count bytes that repeats with a long period, all of it ASCII.
[[nodiscard]] QByteArray pattern(qsizetype count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        bytes[i] = char(' ' + (i * 7 + i / 4093) % 95);
    return bytes;
}

// Drains the master until it has given count bytes or time is up.
[[nodiscard]] QByteArray readMaster(PtyPair &pty, qsizetype count)
{
    QByteArray bytes;
    QDeadlineTimer deadline(30s);
    while (bytes.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        bytes += pty.readMaster();
    }
    return bytes;
}

} // namespace

class TestQtSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void openAndClose();
    void closedPort_data();
    void closedPort();
    void settingsInForce_data();
    void settingsInForce();
    void handshaking_data();
    void handshaking();
    void send_data();
    void send();
    void receive_data();
    void receive();
    void burstWithoutLoss();
    void receiveBound();
    void transmitBound();
    void hangUp_data();
    void hangUp();
    void bareModemLines_data();
    void bareModemLines();

private:
    std::unique_ptr<PtyPair> m_pty;
};

void TestQtSerialPort::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
}

void TestQtSerialPort::openAndClose()
{
    QTemporaryDir directory;
    QtSerialPort missing(directory.filePath(QStringLiteral("ttyNone")));
    QVERIFY(!missing.setPortOpen(true));
    QVERIFY(missing.setPortOpen(false));

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    QVERIFY2(!port.setPortOpen(true), "a second open of an open port");
    QVERIFY(port.output(u"up"));
    QCOMPARE(readMaster(*m_pty, 2), QByteArray("up"));
    QVERIFY(port.setPortOpen(false));
    QVERIFY(port.setPortOpen(false));
    QVERIFY(!port.output(u"down"));
    QVERIFY(port.setPortOpen(true));
    QVERIFY(port.output(u"again"));
    QCOMPARE(readMaster(*m_pty, 5), QByteArray("again"));
}

void TestQtSerialPort::closedPort_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("writeSettings") << Operation([](QtSerialPort &p) { return p.setSettings(u"1200,e,7,2"); }) << true;
    QTest::newRow("readSettings") << Operation([](QtSerialPort &p) { return p.settings() == u"9600,n,8,1"; }) << true;
    QTest::newRow("writeHandshaking") << Operation([](QtSerialPort &p) { return p.setHandshaking(3); }) << true;
    QTest::newRow("readHandshaking") << Operation([](QtSerialPort &p) { return p.handshaking() == 0; }) << true;
    QTest::newRow("writeDtr") << Operation([](QtSerialPort &p) { return p.setDtrEnable(true); }) << true;
    QTest::newRow("readDtr") << Operation([](QtSerialPort &p) { return p.dtrEnable() == false; }) << true;
    QTest::newRow("writeRts") << Operation([](QtSerialPort &p) { return p.setRtsEnable(true); }) << true;
    QTest::newRow("readRts") << Operation([](QtSerialPort &p) { return p.rtsEnable() == false; }) << true;
    QTest::newRow("readCd") << Operation([](QtSerialPort &p) { return p.cdHolding().has_value(); }) << false;
    QTest::newRow("readCts") << Operation([](QtSerialPort &p) { return p.ctsHolding().has_value(); }) << false;
    QTest::newRow("readDsr") << Operation([](QtSerialPort &p) { return p.dsrHolding().has_value(); }) << false;
    QTest::newRow("readInput") << Operation([](QtSerialPort &p) { return p.input().has_value(); }) << false;
    QTest::newRow("writeOutput") << Operation([](QtSerialPort &p) { return p.output(u"x"); }) << false;
    QTest::newRow("close") << Operation([](QtSerialPort &p) { return p.setPortOpen(false); }) << true;
}

// Before the first open and after a close alike.
void TestQtSerialPort::closedPort()
{
    QFETCH(Operation, operation);
    QFETCH(bool, succeeds);

    QtSerialPort fresh(m_pty->slavePath());
    QCOMPARE(operation(fresh), succeeds);

    QtSerialPort reclosed(m_pty->slavePath());
    QVERIFY(reclosed.setPortOpen(true));
    QVERIFY(reclosed.setPortOpen(false));
    QCOMPARE(operation(reclosed), succeeds);
    QCOMPARE(m_pty->readMaster(), QByteArray());
}

void TestQtSerialPort::settingsInForce_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("whileClosed");
    // Empty when the write is refused and the initial settings stay.
    QTest::addColumn<QString>("inForce");
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<bool>("twoStopBits");

    const QString initial = QStringLiteral("9600,n,8,1");
    QTest::newRow("initial") << QString() << false << initial << 9600u << false;
    QTest::newRow("110") << QStringLiteral("110,n,8,1") << false << QStringLiteral("110,n,8,1") << 110u << false;
    QTest::newRow("14400NoConstant") << QStringLiteral("14400,N,8,1") << false << QStringLiteral("14400,n,8,1")
                                     << 14400u << false;
    QTest::newRow("115200TwoStop") << QStringLiteral("115200,n,8,2") << false << QStringLiteral("115200,n,8,2")
                                   << 115200u << true;
    QTest::newRow("921600") << QStringLiteral("921600,n,8,1") << false << QStringLiteral("921600,n,8,1")
                            << 921600u << false;
    QTest::newRow("closed19200TwoStop") << QStringLiteral("19200,n,8,2") << true << QStringLiteral("19200,n,8,2")
                                        << 19200u << true;
    QTest::newRow("closed14400") << QStringLiteral("14400,n,8,1") << true << QStringLiteral("14400,n,8,1")
                                 << 14400u << false;
    // A pty takes the baud rate and stop bits, then refuses parity or seven
    // data bits: what it took first must be put back.
    QTest::newRow("parityRefusedByPty") << QStringLiteral("19200,e,8,2") << false << initial << 9600u << false;
    QTest::newRow("sevenBitsRefusedByPty") << QStringLiteral("19200,n,7,2") << false << initial << 9600u << false;
}

void TestQtSerialPort::settingsInForce()
{
    QFETCH(QString, settings);
    QFETCH(bool, whileClosed);
    QFETCH(QString, inForce);
    QFETCH(quint32, baud);
    QFETCH(bool, twoStopBits);

    QtSerialPort port(m_pty->slavePath());
    if (whileClosed)
        QVERIFY(port.setSettings(settings));
    QVERIFY(port.setPortOpen(true));
    if (!whileClosed && !settings.isEmpty())
        QCOMPARE(port.setSettings(settings), inForce.compare(settings, Qt::CaseInsensitive) == 0);

    QCOMPARE(m_pty->slaveBaudRate(), baud);
    const std::optional<termios> tio = m_pty->slaveTermios();
    QVERIFY(tio);
    QCOMPARE((tio->c_cflag & CSTOPB) != 0, twoStopBits);
    QCOMPARE(port.settings(), inForce);
}

void TestQtSerialPort::handshaking_data()
{
    QTest::addColumn<qint32>("handshaking");
    QTest::addColumn<bool>("whileClosed");
    QTest::addColumn<bool>("rtsCts");
    QTest::addColumn<bool>("xonXoff");

    for (const bool whileClosed : {false, true}) {
        const char *const when = whileClosed ? "Closed" : "Open";
        QTest::addRow("none%s", when) << 0 << whileClosed << false << false;
        QTest::addRow("xonXoff%s", when) << 1 << whileClosed << false << true;
        QTest::addRow("rtsCts%s", when) << 2 << whileClosed << true << false;
        QTest::addRow("both%s", when) << 3 << whileClosed << true << true;
    }
}

// Also across a later settings change, which QSerialPort writes from its own
// idea of the flow control.
void TestQtSerialPort::handshaking()
{
    QFETCH(qint32, handshaking);
    QFETCH(bool, whileClosed);
    QFETCH(bool, rtsCts);
    QFETCH(bool, xonXoff);

    QtSerialPort port(m_pty->slavePath());
    if (whileClosed)
        QVERIFY(port.setHandshaking(handshaking));
    QVERIFY(port.setPortOpen(true));
    if (!whileClosed) {
        QVERIFY(port.setHandshaking(3 - handshaking));
        QVERIFY(port.setHandshaking(handshaking));
    }
    QCOMPARE(port.handshaking(), handshaking);

    for (const QString &settings : {QStringLiteral("9600,n,8,1"), QStringLiteral("38400,n,8,2")}) {
        QVERIFY(port.setSettings(settings));
        const std::optional<termios> tio = m_pty->slaveTermios();
        QVERIFY(tio);
        QCOMPARE((tio->c_cflag & CRTSCTS) != 0, rtsCts);
        QCOMPARE((tio->c_iflag & IXON) != 0, xonXoff);
        QCOMPARE((tio->c_iflag & IXOFF) != 0, xonXoff);
    }
}

void TestQtSerialPort::send_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("ascii") << QStringLiteral("AT&F\r\n") << QByteArray("AT&F\r\n");
    QTest::newRow("cyrillic") << QString::fromUtf8("Жук") << QByteArray("\xD0\x96\xD1\x83\xD0\xBA");
    QTest::newRow("astral") << QString::fromUtf8("\xF0\x9F\x98\x80") << QByteArray("\xF0\x9F\x98\x80");
    QTest::newRow("nul") << QStringView(u"a\0b", 3).toString() << QByteArray("a\0b", 3);
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestQtSerialPort::send()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    QVERIFY(port.output(text));
    QCOMPARE(readMaster(*m_pty, bytes.size()), bytes);
}

void TestQtSerialPort::receive_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QString>("text");

    QTest::newRow("ascii") << QByteArrayList{"hello"} << QStringLiteral("hello");
    QTest::newRow("nothing") << QByteArrayList{""} << QString();
    QTest::newRow("twoByteSplit") << QByteArrayList{"a\xD0", "\x96z"} << QString::fromUtf8("aЖz");
    QTest::newRow("fourByteSplitThreeWays") << QByteArrayList{"\xF0\x9F", "\x98", "\x80!"}
                                            << QString::fromUtf8("\xF0\x9F\x98\x80!");
    QTest::newRow("nul") << QByteArrayList{QByteArray("p\0q", 3)} << QStringView(u"p\0q", 3).toString();
    QTest::newRow("invalidByte") << QByteArrayList{"x\xFFy"} << QStringLiteral("x\uFFFDy");
    QTest::newRow("threeByteSplitAfterLead") << QByteArrayList{"\xE2", "\x82\xAC"} << QString::fromUtf8("€");
    QTest::newRow("cutSequence") << QByteArrayList{"\xD0", "z"} << QStringLiteral("\uFFFDz");
    QTest::newRow("strayContinuation") << QByteArrayList{"\x80", "a"} << QStringLiteral("\uFFFDa");
    QTest::newRow("byteOrderMarkKept") << QByteArrayList{"\xEF\xBB\xBFok"} << QStringLiteral("\uFEFFok");
}

// Each chunk is drained and read on its own, so a character split across
// chunks is also split across reads.
void TestQtSerialPort::receive()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QString, text);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    QString received;
    qint64 sent = 0;
    for (const QByteArray &chunk : chunks) {
        QCOMPARE(m_pty->writeMaster(chunk), chunk.size());
        sent += chunk.size();
        QTRY_COMPARE(port.receivedBytes(), sent);
        const std::optional<QString> read = port.input();
        QVERIFY(read);
        received += *read;
    }
    QCOMPARE(received, text);
    QCOMPARE(port.input(), QString());
}

// As the poll reads, but as fast as the pty goes: several seconds' worth at
// the highest rates, in far less than one poll period per read.
void TestQtSerialPort::burstWithoutLoss()
{
    constexpr qsizetype burstSize = qsizetype(4) << 20;
    const QByteArray burst = pattern(burstSize);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    QString received;
    received.reserve(burstSize);
    qsizetype written = 0;
    QDeadlineTimer deadline(60s);
    while (received.size() < burstSize && !deadline.hasExpired()) {
        const qint64 now = m_pty->writeMaster(QByteArrayView(burst).sliced(written));
        QVERIFY(now >= 0);
        written += now;
        QCoreApplication::processEvents();
        received += port.input().value_or(QString());
    }
    QCOMPARE(received.size(), burstSize);
    QVERIFY(received == QLatin1StringView(burst));
    QCOMPARE(port.droppedBytes(), qint64(0));
}

void TestQtSerialPort::receiveBound()
{
    constexpr qsizetype excess = 65536;
    const QByteArray bytes = pattern(QtSerialPort::receiveCapacity + excess);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    qsizetype written = 0;
    QDeadlineTimer deadline(30s);
    while (port.receivedBytes() < bytes.size() && !deadline.hasExpired()) {
        written += m_pty->writeMaster(QByteArrayView(bytes).sliced(written));
        QCoreApplication::processEvents();
    }
    QCOMPARE(port.receivedBytes(), qint64(bytes.size()));
    QCOMPARE(port.droppedBytes(), qint64(excess));
    const std::optional<QString> kept = port.input();
    QVERIFY(kept);
    QVERIFY(*kept == QLatin1StringView(bytes.first(QtSerialPort::receiveCapacity)));
}

void TestQtSerialPort::transmitBound()
{
    const QByteArray whole = pattern(QtSerialPort::transmitCapacity);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    QVERIFY(port.output(QString::fromLatin1(whole.first(whole.size() - 1))));
    QVERIFY2(!port.output(u"ab"), "one byte of room left");
    QVERIFY(port.output(QString::fromLatin1(whole.last(1))));
    QVERIFY2(!port.output(u"c"), "no room left");
    QVERIFY(port.output(QString()));
    // Bytes of a refused write would show up here, in front of or after the rest.
    QVERIFY(readMaster(*m_pty, whole.size()) == whole);
    QVERIFY(port.output(u"room again"));
    QCOMPARE(readMaster(*m_pty, 10), QByteArray("room again"));
}

void TestQtSerialPort::hangUp_data()
{
    QTest::addColumn<bool>("eventLoopFirst");

    QTest::newRow("noticedByEventLoop") << true;
    QTest::newRow("noticedByOperation") << false;
}

// The far end goes away while the port is open. QSerialPort's read notifier
// then fires on every pass of the event loop unless the port stops reading.
void TestQtSerialPort::hangUp()
{
    QFETCH(bool, eventLoopFirst);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    QCOMPARE(m_pty->writeMaster("last words"), qint64(10));
    QTRY_COMPARE(port.receivedBytes(), qint64(10));
    m_pty->closeMaster();

    if (eventLoopFirst) {
        constexpr std::chrono::milliseconds period = 2s;
        const auto cpuBefore = processCpuTime();
        QElapsedTimer wall;
        wall.start();
        runEventLoop(period);
        const auto cpu = std::chrono::duration_cast<std::chrono::milliseconds>(processCpuTime() - cpuBefore);
        QVERIFY(wall.elapsed() >= period.count());
        QVERIFY2(cpu < period / 10, qPrintable(QStringLiteral("%1 ms of CPU in 2 s").arg(cpu.count())));
    }

    QVERIFY(!port.input());
    QVERIFY(!port.output(u"anyone?"));
    QVERIFY(!port.cdHolding());
    QVERIFY(!port.setSettings(u"19200,n,8,1"));
    QVERIFY(!port.setHandshaking(1));
    QVERIFY(!port.setDtrEnable(true));
    QVERIFY(!port.setPortOpen(true));
    QCOMPARE(port.settings(), QStringLiteral("9600,n,8,1"));
    QVERIFY(port.setPortOpen(false));
    QVERIFY2(!port.setPortOpen(true), "the device is gone");
}

void TestQtSerialPort::bareModemLines_data()
{
    QTest::addColumn<Operation>("operation");

    QTest::newRow("readCd") << Operation([](QtSerialPort &p) { return p.cdHolding().has_value(); });
    QTest::newRow("readCts") << Operation([](QtSerialPort &p) { return p.ctsHolding().has_value(); });
    QTest::newRow("readDsr") << Operation([](QtSerialPort &p) { return p.dsrHolding().has_value(); });
    QTest::newRow("raiseDtr") << Operation([](QtSerialPort &p) { return p.setDtrEnable(true); });
    QTest::newRow("dropDtr") << Operation([](QtSerialPort &p) { return p.setDtrEnable(false); });
    QTest::newRow("raiseRts") << Operation([](QtSerialPort &p) { return p.setRtsEnable(true); });
    QTest::newRow("dropRts") << Operation([](QtSerialPort &p) { return p.setRtsEnable(false); });
}

// A pty has no modem lines (ENOTTY): the line operations fail, the rest works,
// and lines wanted before the open do not stop it.
void TestQtSerialPort::bareModemLines()
{
    QFETCH(Operation, operation);

    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setDtrEnable(true));
    QVERIFY(port.setRtsEnable(true));
    QVERIFY(port.setPortOpen(true));
    QVERIFY(!operation(port));
    QCOMPARE(port.dtrEnable(), true);
    QCOMPARE(port.rtsEnable(), true);
    QVERIFY(port.output(u"still"));
    QCOMPARE(readMaster(*m_pty, 5), QByteArray("still"));
}

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_qtserialport.moc"
