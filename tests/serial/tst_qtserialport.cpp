#include "processusage.h"
#include "ptypair.h"
#include "qtserialport.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

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
    void settingsInForce_data();
    void settingsInForce();
    void handshaking_data();
    void handshaking();
    void send_data();
    void send();
    void receive_data();
    void receive();
    void receiveVolume_data();
    void receiveVolume();
    void transmitBound();
    void hangUp_data();
    void hangUp();
    void bareModemLines();
    void xoffIsNoHangUp();

private:
    std::unique_ptr<PtyPair> m_pty;
};

void TestQtSerialPort::init()
{
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
}

void TestQtSerialPort::openAndClose()
{
    QTemporaryDir directory;
    QtSerialPort missing(directory.filePath(u"ttyNone"_s));
    QVERIFY(!missing.setPortOpen(true));
    QVERIFY(missing.setPortOpen(false));

    QtSerialPort port(m_pty->slavePath());
    QCOMPARE(port.settings(), u"9600,n,8,1"_s);
    QCOMPARE(port.handshaking(), 0);
    // Before the first open and after a close alike.
    for (int round = 0; round < 2; ++round) {
        QVERIFY(!port.input());
        QVERIFY(!port.output(u"x"));
        QVERIFY(!port.cdHolding() && !port.ctsHolding() && !port.dsrHolding());
        QVERIFY(port.setPortOpen(false));
        QVERIFY(port.setPortOpen(true));
        QVERIFY2(!port.setPortOpen(true), "a second open of an open port");
        QVERIFY(port.output(u"up"));
        QCOMPARE(readMaster(*m_pty, 2), "up"_ba);
        QVERIFY(port.setPortOpen(false));
    }
    QCOMPARE(m_pty->readMaster(), QByteArray());
}

void TestQtSerialPort::settingsInForce_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("whileClosed");
    QTest::addColumn<QString>("inForce");
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<bool>("twoStopBits");

    const QString initial = u"9600,n,8,1"_s;
    QTest::newRow("initial") << QString() << false << initial << 9600u << false;
    QTest::newRow("14400NoConstant") << u"14400,N,8,1"_s << false << u"14400,n,8,1"_s << 14400u << false;
    QTest::newRow("921600TwoStop") << u"921600,n,8,2"_s << false << u"921600,n,8,2"_s << 921600u << true;
    QTest::newRow("closed19200TwoStop") << u"19200,n,8,2"_s << true << u"19200,n,8,2"_s << 19200u << true;
    // A pty takes the baud rate and stop bits, then refuses parity: what it took first must be put back.
    QTest::newRow("parityRefusedByPty") << u"19200,e,8,2"_s << false << initial << 9600u << false;
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

    for (const QString &settings : {u"9600,n,8,1"_s, u"38400,n,8,2"_s}) {
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
    QTest::newRow("cyrillic") << u"Жук"_s << "\xD0\x96\xD1\x83\xD0\xBA"_ba;
    QTest::newRow("astral") << u"\U0001F600"_s << "\xF0\x9F\x98\x80"_ba;
    QTest::newRow("nul") << QStringView(u"a\0b", 3).toString() << QByteArray("a\0b", 3);
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

    QTest::newRow("twoByteSplit") << QByteArrayList{"a\xD0", "\x96z"} << u"aЖz"_s;
    QTest::newRow("fourByteSplitThreeWays") << QByteArrayList{"\xF0\x9F", "\x98", "\x80!"} << u"\U0001F600!"_s;
    QTest::newRow("nul") << QByteArrayList{QByteArray("p\0q", 3)} << QStringView(u"p\0q", 3).toString();
    QTest::newRow("invalidByte") << QByteArrayList{"x\xFFy"} << u"x\uFFFDy"_s;
    QTest::newRow("cutSequence") << QByteArrayList{"\xD0", "z"} << u"\uFFFDz"_s;
    QTest::newRow("neverValidAtOnce") << QByteArrayList{"OK\xE0\x80", "\xF4\x90"} << u"OK\uFFFD\uFFFD\uFFFD\uFFFD"_s;
    QTest::newRow("tailShownAtNextRead") << QByteArrayList{"OK\xD2", ""} << u"OK\uFFFD"_s;
    QTest::newRow("byteOrderMarkKept") << QByteArrayList{"\xEF\xBB\xBFok"} << u"\uFEFFok"_s;
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

void TestQtSerialPort::receiveVolume_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("readAsItComes");
    QTest::addColumn<qint64>("dropped");
    // As the poll reads, but as fast as the pty goes: seconds' worth at the highest rates.
    QTest::newRow("burst4MiB") << (qint64(4) << 20) << true << qint64(0);
    QTest::newRow("unreadPastTheBound") << qint64(QtSerialPort::receiveCapacity + 65536) << false << qint64(65536);
}

// The driver is drained whether or not anyone reads; unread bytes past the bound are counted.
void TestQtSerialPort::receiveVolume()
{
    QFETCH(qint64, size);
    QFETCH(bool, readAsItComes);
    QFETCH(qint64, dropped);

    const QByteArray bytes = pattern(size);
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setPortOpen(true));
    QString received;
    qsizetype written = 0;
    QDeadlineTimer deadline(60s);
    while (port.receivedBytes() < size && !deadline.hasExpired()) {
        const qint64 now = m_pty->writeMaster(QByteArrayView(bytes).sliced(written));
        QVERIFY(now >= 0);
        written += now;
        QCoreApplication::processEvents();
        if (readAsItComes)
            received += port.input().value_or(QString());
    }
    received += port.input().value_or(QString());
    QCOMPARE(port.receivedBytes(), size);
    QCOMPARE(port.droppedBytes(), dropped);
    QVERIFY(received == QLatin1StringView(bytes.first(size - dropped)));
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
    // Bytes of a refused write would show up here, in front of or after the rest.
    QVERIFY(readMaster(*m_pty, whole.size()) == whole);
    QVERIFY(port.output(u"room again"));
    QCOMPARE(readMaster(*m_pty, 10), "room again"_ba);
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
        const auto cpuBefore = processusage::cpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(2s, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = processusage::cpuSeconds() - cpuBefore;
        QVERIFY2(cpu < 0.2, qPrintable(u"%1 s of CPU in 2 s"_s.arg(cpu)));
    }

    QCOMPARE(port.input(), u"last words"_s);
    QVERIFY(!port.input());
    QVERIFY(!port.output(u"anyone?"));
    QVERIFY(!port.setSettings(u"19200,n,8,1"));
    QVERIFY(!port.setDtrEnable(true));
    QCOMPARE(port.settings(), u"9600,n,8,1"_s);
    QVERIFY(port.setPortOpen(false));
    QVERIFY2(!port.setPortOpen(true), "the device is gone");
}

// A pty has no modem lines (ENOTTY): the line operations fail, the rest works,
// and lines wanted before the open do not stop it.
void TestQtSerialPort::bareModemLines()
{
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setDtrEnable(true));
    QVERIFY(port.setRtsEnable(true));
    QVERIFY(port.setPortOpen(true));
    QVERIFY(!port.cdHolding());
    QVERIFY(!port.ctsHolding());
    QVERIFY(!port.dsrHolding());
    QVERIFY(!port.setDtrEnable(false));
    QVERIFY(!port.setRtsEnable(false));
    QCOMPARE(port.dtrEnable(), true);
    QCOMPARE(port.rtsEnable(), true);
    QVERIFY(port.output(u"still"));
    QCOMPARE(readMaster(*m_pty, 5), "still"_ba);
}

// A far end that stops and resumes the line quickly with XOFF and XON makes
// the driver refuse writes now and then; that is no hang-up, and everything
// queued still goes out.
void TestQtSerialPort::xoffIsNoHangUp()
{
    QtSerialPort port(m_pty->slavePath());
    QVERIFY(port.setHandshaking(1));
    QVERIFY(port.setPortOpen(true));
    // As Qt 6.4 reports a write that failed with EAGAIN.
    Q_EMIT port.findChild<QSerialPort *>()->errorOccurred(QSerialPort::ResourceError);
    QCoreApplication::processEvents();
    const QByteArray text = pattern(400000);
    QVERIFY(port.output(QString::fromLatin1(text)));
    QByteArray got;
    for (QDeadlineTimer deadline(20s); got.size() < text.size() && !deadline.hasExpired();) {
        (void)m_pty->writeMaster("\x13");
        QCoreApplication::processEvents();
        (void)m_pty->writeMaster("\x11");
        got += m_pty->readMaster();
        QCoreApplication::processEvents();
    }
    QCOMPARE(got, text);
    QCOMPARE(port.input(), QString());
}

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_qtserialport.moc"
