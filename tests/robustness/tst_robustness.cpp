#include "processusage.h"
#include "qstringfrom.h"
#include "realwindow.h"
#include "texts.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QProcess>
#include <QSerialPort>

#include <cstdio>

namespace {

constexpr char holdPortArgument[] = "--hold-port";

// Measures the longest time the event loop went without running a 5 ms timer.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longestMs = std::max(m_longestMs, m_sinceLast.restart());
        });
        m_sinceLast.start();
        m_timer.start();
    }
    [[nodiscard]] qint64 longestMs() const { return m_longestMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    qint64 m_longestMs = 0;
};

// Another program that has the port open: this test binary, started again.
int holdPort(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(argv[2]));
    if (!port.open(QIODevice::ReadWrite))
        return 1;
    std::puts("held");
    std::fflush(stdout);
    char drain[16];
    while (std::fread(drain, 1, sizeof drain, stdin) > 0) {
    }
    return 0;
}

} // namespace

class TestRobustness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void hangUpWhileEnabled();
    void portHeldByAnotherProcess();
    void flowControlStall();
    void megabytePastedIntoTd();
    void hostileBytesReceived_data();
    void hostileBytesReceived();
    void garbageInEveryCombo();

private:
    std::unique_ptr<RealWindow> ui;
};

void TestRobustness::init()
{
    ui = std::make_unique<RealWindow>();
    if (const QString why = ui->unusableBecause(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY(ui->show());
}

void TestRobustness::cleanup()
{
    ui.reset();
}

void TestRobustness::hangUpWhileEnabled()
{
    ui->clickCheckBox(0);
    ui->clickCheckBox(1);
    ui->timer()->start();
    ui->ptys[0]->closeMaster();

    const double cpuBefore = processusage::cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    int updates = 0;
    while (wall.elapsed() < 5000) {
        const QString mark = QString::number(updates);
        ui->ptys[1]->writeMaster(mark.toLatin1());
        QElapsedTimer waited;
        waited.start();
        while (ui->pinField(1, Pin::Rd)->text() != mark && waited.elapsed() < 1000)
            QTest::qWait(20);
        if (ui->pinField(1, Pin::Rd)->text() == mark)
            ++updates;
    }
    const double cpuShare = (processusage::cpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
    std::printf("hang-up: %.2f %% of a core over %.1f s\n", cpuShare * 100, double(wall.elapsed()) / 1000.0);

    QVERIFY2(cpuShare < 0.05, qPrintable(QStringLiteral("CPU share %1").arg(cpuShare)));
    QVERIFY2(updates >= 8, "the other channel kept updating");
    ui->clickCheckBox(0);
    QTRY_COMPARE(ui->pinField(0, Pin::Gnd)->text(), QString());
    QVERIFY(ui->messages.isEmpty());
}

void TestRobustness::portHeldByAnotherProcess()
{
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(),
                 {QString::fromLatin1(holdPortArgument), ui->ptys[2]->slavePath()});
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readAllStandardOutput().trimmed(), QByteArray("held"));

    ui->clickCheckBox(2);

    QCOMPARE(ui->messages, QStringList{qs(texts::portNotFound)});
    QCOMPARE(ui->window->checkValue(2), 0);
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
}

void TestRobustness::flowControlStall()
{
    ui->clickCheckBox(3);
    ui->chooseEntry(comboIndex(3, SettingsRole::Handshaking), 2);
    QVERIFY(ui->messages.isEmpty());
    // CTS held low: the far end takes nothing, as a stopped modem would.
    ui->modems[3]->set(ModemLines::Line::Cts, false);
    const QString text = QString(200'000, u'x') + u'!';
    ui->pinField(3, Pin::Td)->setText(text);
    QTest::qWait(200); // the field lays out its long text once, before the measurement
    const qint64 residentBefore = processusage::residentBytes();

    StallMeter meter;
    ui->timer()->start();
    QTest::qWait(4000);
    const qint64 growth = processusage::residentBytes() - residentBefore;
    std::printf("flow-control stall: longest event-loop stall %lld ms, resident growth %lld kB\n",
                qlonglong(meter.longestMs()), qlonglong(growth / 1024));

    QVERIFY2(meter.longestMs() < 50, qPrintable(QStringLiteral("stalled %1 ms").arg(meter.longestMs())));
    QVERIFY2(growth < (32 << 20), "the transmit queue stays bounded");
    QCOMPARE(ui->pinField(3, Pin::Cts)->text(), QStringLiteral("False"));

    ui->modems[3]->set(ModemLines::Line::Cts, true);
    const QByteArray sent = ui->readFarEnd(3, 2 * text.size(), 10000);
    QVERIFY(sent.size() >= 2 * text.size());
    QVERIFY2(sent.startsWith(text.toUtf8() + text.toUtf8()), "sending resumed with whole texts");
}

void TestRobustness::megabytePastedIntoTd()
{
    ui->clickCheckBox(0);
    const QString text = QString(1'000'000, u'\u0436'); // two bytes each in UTF-8
    QApplication::clipboard()->setText(text);
    QLineEdit *td = ui->pinField(0, Pin::Td);
    td->setFocus();
    QTest::keyClick(td, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(td->text().size(), text.size());
    td->clearFocus(); // a blinking cursor would repaint the megabyte-long line twice a second

    ui->window->poll().tick();
    const QByteArray sent = ui->readFarEnd(0, 2'000'000, 20000);

    QCOMPARE(sent.size(), 2'000'000);
    QVERIFY(sent == text.toUtf8());
}

void TestRobustness::hostileBytesReceived_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("nul") << QByteArray("a\0b", 3) << QString::fromUtf16(u"a\u2400b");
    QTest::newRow("invalidUtf8") << QByteArray("\xff\xfe\xc3") + "z" << QString::fromUtf16(u"\ufffd\ufffd\ufffdz");
    QTest::newRow("burst64k") << QByteArray(65536, 'q') << QString(65536, u'q');
}

void TestRobustness::hostileBytesReceived()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    ui->clickCheckBox(1);
    for (qsizetype sent = 0; sent < bytes.size(); QTest::qWait(1)) {
        const qint64 taken = ui->ptys[1]->writeMaster(QByteArrayView(bytes).sliced(sent));
        QVERIFY(taken >= 0);
        sent += taken;
    }
    QTRY_COMPARE(ui->ports[1]->receivedBytes(), qint64(bytes.size()));

    ui->window->poll().tick();

    QCOMPARE(ui->pinField(1, Pin::Rd)->text(), shown);
    QCOMPARE(ui->indicatorColor(1, Pin::Rd), ColorCode::Green);
}

void TestRobustness::garbageInEveryCombo()
{
    for (int channel = 0; channel < channelCount; ++channel)
        ui->clickCheckBox(channel);
    const QString garbage[] = {QStringLiteral("9600,n"), QStringLiteral("\u0416\u0416"), QStringLiteral(" "),
                               QString(4000, u'9'), QStringLiteral("-0")};
    for (int index = 0; index < comboCount; ++index) {
        QComboBox *box = ui->combo(index);
        box->clearEditText();
        box->lineEdit()->insert(garbage[index % std::size(garbage)]);
    }

    ui->chooseEntry(comboIndex(0, SettingsRole::Handshaking), 0);
    ui->window->poll().tick();

    QCOMPARE(ui->messages.size(), channelCount);
    for (int channel = 0; channel < channelCount; ++channel) {
        QVERIFY(ui->messages[channel] == qs(texts::notAllowed));
        QCOMPARE(*ui->ports[channel]->settings(), QStringLiteral("9600,n,8,1"));
        QVERIFY(ui->control<QLabel>(qs(channelTable[channel].statusLabel))->text().startsWith(u"9600,n,8,1  "));
    }
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], holdPortArgument) == 0)
        return holdPort(argc, argv);
    QApplication app(argc, argv);
    TestRobustness test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_robustness.moc"
