// The real program under a private X server, on four virtual null-modem
// ports, driven with mouse and keyboard and checked from outside: the far
// ends of the ports, the screen's pixels, the program's open descriptors.
// The test functions run in order against one run of the program.

#include "childprocess.h"
#include "modemlines.h"
#include "modemstate.h"
#include "portnamespace.h"
#include "ptypair.h"
#include "qstringfrom.h"
#include "texts.h"
#include "xdisplay.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include <termios.h>

namespace {

using Line = ModemLines::Line;

// DB-9 pin numbers.
enum class Pin { Dcd = 1, Rd, Td, Dtr, Gnd, Dsr, Rts, Cts, Ri };

constexpr int portCount = 4;

// Where the user finds things, in pixels from the top-left corner of the
// client area, below the menu bar. Typed here rather than taken from the
// program's layout tables, so that a control out of place shows. Channels
// count from 1, as COM1 to COM4 do.
namespace form {

constexpr int clientWidth = 684;
constexpr int clientHeight = 551;
constexpr std::array<QPoint, portCount> pinPanels{{{98, 248}, {342, 248}, {98, 396}, {342, 396}}};
constexpr std::array<QPoint, portCount> settingsPanels{{{6, 248}, {585, 248}, {6, 396}, {585, 396}}};
// Spots the about panel covers where nothing else is drawn on it.
constexpr std::array<QPoint, 3> aboutPanelBare{{{300, 10}, {433, 200}, {10, 150}}};

// The tick mark's square at the box's left end; a person clicks its centre.
constexpr QRect checkMark(int channel)
{
    return {QPoint(24, 34 + 16 * channel), QSize(12, 13)};
}

constexpr QPoint pinField(int channel, Pin pin)
{
    return {360 + 48 * channel, 17 + 24 * int(pin)};
}

constexpr QPoint lineButton(int channel, Pin pin)
{
    return {338 + 48 * channel, pin == Pin::Dtr ? 113 : 185};
}

constexpr QPoint indicator(int channel, Pin pin)
{
    const int p = int(pin);
    const QPoint inPanel = p <= 5 ? QPoint(52 + 32 * (p - 1), 52) : QPoint(68 + 32 * (p - 6), 84);
    return pinPanels[std::size_t(channel - 1)] + inPanel;
}

// The edit field of the baud combo, left of its drop-down arrow.
constexpr QPoint baudEditField(int channel)
{
    return settingsPanels[std::size_t(channel - 1)] + QPoint(37, 26);
}

} // namespace form

const QString green = QStringLiteral("green");
const QString red = QStringLiteral("red");
const QString idle = QStringLiteral("idle");

constexpr int settleMs = 2500; // several poll ticks, with room for a loaded machine
constexpr int tickMs = 300;

// Off the window, so that no control is drawn hovered.
const QStringList restPointer{QStringLiteral("mousemove"), QStringLiteral("1010"), QStringLiteral("760")};

// Samples until the wanted value comes or the time is up, and gives the
// last sample. QTRY_* count their steps rather than the clock, and compare a
// second, fresh sample: neither suits a screenshot that takes a fifth of a
// second and a colour that may last one tick.
template<typename Sample>
[[nodiscard]] auto sampleUntil(Sample sample, const std::invoke_result_t<Sample> &wanted, int timeoutMs = settleMs)
{
    QElapsedTimer clock;
    clock.start();
    auto value = sample();
    while (value != wanted && clock.elapsed() < timeoutMs) {
        QTest::qWait(20);
        value = sample();
    }
    return value;
}

struct Arrival
{
    qint64 atMs;
    QByteArray bytes;
};

} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    // A program that died fails the rest at once rather than after every timeout.
    void init() { QVERIFY2(m_velmora.isRunning(), "the program has ended"); }
    void cleanup() { init(); }

    void aboutMenuShowsAndHidesPanel();
    void portOpensWithInitialSettings_data();
    void portOpensWithInitialSettings();
    void baudChosenWithKeyboardReachesDriver();
    void linesShowOnIndicators_data();
    void linesShowOnIndicators();
    void receivedTextLightsRdForOneTick_data();
    void receivedTextLightsRdForOneTick();
    void tdTextArrivesWholeEverySecondTick_data();
    void tdTextArrivesWholeEverySecondTick();
    void untickDropsLinesAndClosesPort();
    void missingPortGivesOneMessage();

private:
    bool click(QPoint client) const;
    bool key(const QStringList &keys) const { return m_x.xdotool(QStringList{QStringLiteral("key")} + keys); }
    [[nodiscard]] QImage screenshot() const { return m_x.grab(m_window); }
    [[nodiscard]] QRgb pixel(const QImage &shot, QPoint client) const;
    [[nodiscard]] QString indicatorState(const QImage &shot, int channel, Pin pin) const;
    [[nodiscard]] QImage checkMarkImage(int channel) const;
    [[nodiscard]] bool boxClearedAgain(int channel) const;

    PtyPair &pty(int channel) { return *m_ptys[std::size_t(channel - 1)]; }
    ModemLines &modem(int channel) { return *m_modems[std::size_t(channel - 1)]; }

    // Declared in the order of setting up: the program goes first, the ports last.
    QTemporaryDir m_stateDirectory;
    QTemporaryDir m_runtimeDirectory;
    PortNamespace m_namespace;
    std::array<std::unique_ptr<PtyPair>, portCount> m_ptys;
    std::array<std::unique_ptr<ModemLines>, portCount> m_modems;
    XDisplay m_x;
    ChildProcess m_velmora;

    quint64 m_window = 0;
    int m_menuBar = 0;
    std::array<QImage, portCount> m_untickedMarks;
};

void tst_EndToEnd::initTestCase()
{
    for (const QString &tool : {QStringLiteral("Xvfb"), QStringLiteral("xdotool"), QStringLiteral("import")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed; the end-to-end run needs Xvfb, xdotool "
                                                   "and ImageMagick's import")));
    }
    QVERIFY(m_stateDirectory.isValid() && m_runtimeDirectory.isValid());
    for (std::size_t port = 0; port < portCount; ++port) {
        m_ptys[port] = std::make_unique<PtyPair>();
        QVERIFY(m_ptys[port]->isValid());
        m_modems[port] = std::make_unique<ModemLines>(m_ptys[port]->slaveDevice(), m_stateDirectory.path());
        QVERIFY(m_modems[port]->isValid());
    }
    if (!m_namespace.enter())
        QSKIP(qPrintable(QStringLiteral("cannot put virtual ports at /dev/ttyS0..3 in a private mount namespace: ")
                         + m_namespace.failure()));
    for (int port = 0; port < portCount; ++port)
        QVERIFY2(m_namespace.bind(port, m_ptys[port]->slavePath()), qPrintable(m_namespace.failure()));
    QVERIFY2(m_x.start(), qPrintable(m_x.failure()));
    QVERIFY(m_x.xdotool(restPointer));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_x.name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VELMORA_MODEM_FIXTURE));
    environment.insert(QStringLiteral("VELMORA_MODEM_DIR"), m_stateDirectory.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDirectory.path());
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // The fixture is loaded ahead of a sanitizer runtime; Qt's own caches would read as leaks.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
    QVERIFY(m_velmora.start(QStringLiteral(VELMORA_BINARY), {}, environment, QProcess::ForwardedChannels));

    const QString title = QStringLiteral("^Brannick {7}Velmora v\\.1\\.1 ");
    const qsizetype found = sampleUntil([&] { return m_x.windows(title).size(); }, 1, 20000);
    QVERIFY2(found == 1, qPrintable(QStringLiteral("%1 main windows on %2").arg(found).arg(m_x.name())));
    m_window = m_x.windows(title).constFirst();
    // Until its first paint the window shows the black root window beneath it.
    QImage shot;
    QVERIFY(sampleUntil([&] { return !(shot = screenshot()).isNull() && shot.pixel(2, 2) != qRgb(0, 0, 0); }, true));
    QCOMPARE(shot.width(), form::clientWidth);
    m_menuBar = shot.height() - form::clientHeight;
    QVERIFY2(m_menuBar >= 10 && m_menuBar <= 60, qPrintable(QStringLiteral("window height %1").arg(shot.height())));
}

bool tst_EndToEnd::click(QPoint client) const
{
    return m_x.xdotool(QStringList{QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(m_window),
                                   QString::number(client.x()), QString::number(client.y() + m_menuBar),
                                   QStringLiteral("click"), QStringLiteral("1")}
                       + restPointer);
}

QRgb tst_EndToEnd::pixel(const QImage &shot, QPoint client) const
{
    const QPoint at = client + QPoint(0, m_menuBar);
    return shot.valid(at) ? shot.pixel(at) : 0;
}

// Named for readable failures; idle is the colour of the channel's RI
// indicator, which nothing ever paints.
QString tst_EndToEnd::indicatorState(const QImage &shot, int channel, Pin pin) const
{
    const QRgb colour = pixel(shot, form::indicator(channel, pin));
    if (colour == qRgb(0, 192, 0))
        return green;
    if (colour == qRgb(255, 0, 0))
        return red;
    return colour == pixel(shot, form::indicator(channel, Pin::Ri)) ? idle : QColor(colour).name();
}

QImage tst_EndToEnd::checkMarkImage(int channel) const
{
    return screenshot().copy(form::checkMark(channel).translated(0, m_menuBar));
}

// Looks as it did before the channel was first ticked.
bool tst_EndToEnd::boxClearedAgain(int channel) const
{
    const QImage &unticked = m_untickedMarks[std::size_t(channel - 1)];
    return sampleUntil([&] { return checkMarkImage(channel); }, unticked) == unticked;
}

void tst_EndToEnd::aboutMenuShowsAndHidesPanel()
{
    const auto bareSpots = [this] {
        const QImage shot = screenshot();
        std::array<QRgb, form::aboutPanelBare.size()> pixels{};
        std::transform(form::aboutPanelBare.begin(), form::aboutPanelBare.end(), pixels.begin(),
                       [&](QPoint spot) { return pixel(shot, spot); });
        return pixels;
    };
    const auto hidden = bareSpots();
    // The menu bar's only entry stands at its left end.
    const QPoint menu(30, -m_menuBar / 2);
    QVERIFY(click(menu));
    // One colour over the bare spots, and a colour none of them had.
    const auto panelShown = [&] {
        const auto now = bareSpots();
        return std::count(now.begin(), now.end(), now[0]) == qsizetype(now.size())
               && std::find(hidden.begin(), hidden.end(), now[0]) == hidden.end();
    };
    QVERIFY(sampleUntil(panelShown, true));
    QVERIFY(click(menu));
    QVERIFY(sampleUntil(bareSpots, hidden) == hidden);
}

void tst_EndToEnd::portOpensWithInitialSettings_data()
{
    QTest::addColumn<int>("channel");
    for (int channel = 1; channel <= portCount; ++channel)
        QTest::addRow("com%d", channel) << channel;
}

// 9600,n,8,1 without handshaking, what the combos show at start.
void tst_EndToEnd::portOpensWithInitialSettings()
{
    QFETCH(int, channel);
    const QString slave = pty(channel).slavePath();
    QVERIFY(!m_velmora.holdsOpen(slave));
    const QImage unticked = m_untickedMarks[channel - 1] = checkMarkImage(channel);

    QVERIFY(click(form::checkMark(channel).center()));
    QTRY_VERIFY_WITH_TIMEOUT(m_velmora.holdsOpen(slave), settleMs);
    QVERIFY2(sampleUntil([&] { return checkMarkImage(channel) != unticked; }, true), "the box shows no tick");

    QCOMPARE(pty(channel).slaveBaudRate(), std::optional<quint32>(9600));
    // A pty keeps only 8,n itself; the modem fixture records what was asked for.
    const auto asked = modemstate::load(
        m_stateDirectory.filePath(QString::fromStdString(modemstate::fileName(pty(channel).slaveDevice())))
            .toStdString());
    QVERIFY2(asked && asked->cflag, "the program never set the line's character size and parity");
    QCOMPARE(*asked->cflag & (CSIZE | PARENB), static_cast<unsigned long>(CS8));
    const std::optional<termios> tio = pty(channel).slaveTermios();
    QVERIFY(tio);
    QCOMPARE(tio->c_cflag & (CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio->c_iflag & (IXON | IXOFF), tcflag_t(0));
}

// Down in a combo's edit field chooses the next entry, 9600 -> 14400; the
// choice is applied to every enabled channel from its own combos.
void tst_EndToEnd::baudChosenWithKeyboardReachesDriver()
{
    constexpr int channel = 2;
    QVERIFY(click(form::baudEditField(channel)));
    QVERIFY(key({QStringLiteral("Down")}));
    QTRY_COMPARE_WITH_TIMEOUT(pty(channel).slaveBaudRate(), std::optional<quint32>(14400), settleMs);
    for (int other : {1, 3, 4})
        QCOMPARE(pty(other).slaveBaudRate(), std::optional<quint32>(9600));

    QVERIFY(key({QStringLiteral("Up")}));
    QTRY_COMPARE_WITH_TIMEOUT(pty(channel).slaveBaudRate(), std::optional<quint32>(9600), settleMs);
}

// Inputs are raised by the far end and show green; outputs are raised by
// their buttons and show red.
void tst_EndToEnd::linesShowOnIndicators_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<Pin>("pin");
    QTest::addColumn<Line>("line");
    QTest::newRow("dcd_com1") << 1 << Pin::Dcd << Line::Dcd;
    QTest::newRow("dsr_com1") << 1 << Pin::Dsr << Line::Dsr;
    QTest::newRow("cts_com1") << 1 << Pin::Cts << Line::Cts;
    QTest::newRow("dsr_com2") << 2 << Pin::Dsr << Line::Dsr;
    QTest::newRow("cts_com3") << 3 << Pin::Cts << Line::Cts;
    QTest::newRow("dcd_com4") << 4 << Pin::Dcd << Line::Dcd;
    QTest::newRow("dtr_com1") << 1 << Pin::Dtr << Line::Dtr;
    QTest::newRow("rts_com1") << 1 << Pin::Rts << Line::Rts;
    QTest::newRow("dtr_com2") << 2 << Pin::Dtr << Line::Dtr;
    QTest::newRow("rts_com2") << 2 << Pin::Rts << Line::Rts;
    QTest::newRow("dtr_com3") << 3 << Pin::Dtr << Line::Dtr;
    QTest::newRow("rts_com4") << 4 << Pin::Rts << Line::Rts;
}

void tst_EndToEnd::linesShowOnIndicators()
{
    QFETCH(int, channel);
    QFETCH(Pin, pin);
    QFETCH(Line, line);
    const bool output = pin == Pin::Dtr || pin == Pin::Rts;
    const QString lit = output ? red : green;
    const auto raise = [&](bool up) {
        return output ? click(form::lineButton(channel, pin)) : modem(channel).set(line, up);
    };
    const auto state = [&] { return indicatorState(screenshot(), channel, pin); };
    QCOMPARE(sampleUntil(state, idle), idle);

    QVERIFY(raise(true));
    const auto dropInput = qScopeGuard([&] { if (!output) modem(channel).set(line, false); });
    QTRY_VERIFY_WITH_TIMEOUT(modem(channel).isAsserted(line), settleMs);
    QCOMPARE(sampleUntil(state, lit), lit);
    // Nothing else lit on any channel, and the other output not raised.
    const QImage shot = screenshot();
    for (int other = 1; other <= portCount; ++other) {
        for (Pin otherPin : {Pin::Dcd, Pin::Dtr, Pin::Dsr, Pin::Rts, Pin::Cts}) {
            if (other != channel || otherPin != pin)
                QCOMPARE(indicatorState(shot, other, otherPin), idle);
        }
    }
    for (Line out : {Line::Dtr, Line::Rts})
        QCOMPARE(modem(channel).isAsserted(out), out == line);

    QVERIFY(raise(false));
    QTRY_VERIFY_WITH_TIMEOUT(!modem(channel).isAsserted(line), settleMs);
    QCOMPARE(sampleUntil(state, idle), idle);
}

void tst_EndToEnd::receivedTextLightsRdForOneTick_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("com1") << 1;
    QTest::newRow("com3") << 3;
}

void tst_EndToEnd::receivedTextLightsRdForOneTick()
{
    QFETCH(int, channel);
    const auto state = [&] { return indicatorState(screenshot(), channel, Pin::Rd); };
    QCOMPARE(sampleUntil(state, idle), idle);

    QCOMPARE(pty(channel).writeMaster("e2e-rx"), qint64(6));
    QCOMPARE(sampleUntil(state, green), green);
    QElapsedTimer lit;
    lit.start();
    QCOMPARE(sampleUntil(state, idle), idle);
    // One tick lit, seen through screenshots that take a while themselves.
    QVERIFY2(lit.elapsed() < 4 * tickMs, qPrintable(QStringLiteral("lit for %1 ms").arg(lit.elapsed())));
}

void tst_EndToEnd::tdTextArrivesWholeEverySecondTick_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("text");
    QTest::newRow("com1") << 1 << QStringLiteral("td1probe");
    QTest::newRow("com2") << 2 << QStringLiteral("second2port");
}

void tst_EndToEnd::tdTextArrivesWholeEverySecondTick()
{
    QFETCH(int, channel);
    QFETCH(QString, text);
    const QByteArray whole = text.toUtf8();
    const QPoint field = form::pinField(channel, Pin::Td);
    QVERIFY(click(field));
    QVERIFY(m_x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"),
                         QStringLiteral("--"), text}));
    const auto clearField = qScopeGuard([&] {
        if (click(field))
            key({QStringLiteral("ctrl+a"), QStringLiteral("BackSpace")});
    });

    // Ticks during typing may send a text half typed; count from the first whole one.
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += pty(channel).readMaster()).contains(whole), settleMs);

    // One arrival per burst: bytes that follow each other within half a tick belong to one write.
    constexpr int watchMs = 8 * tickMs;
    std::vector<Arrival> arrivals;
    qint64 lastByteMs = -tickMs;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < watchMs) {
        const QByteArray bytes = pty(channel).readMaster();
        const qint64 now = clock.elapsed();
        if (!bytes.isEmpty()) {
            if (now - lastByteMs > tickMs / 2)
                arrivals.push_back({now, {}});
            arrivals.back().bytes += bytes;
            lastByteMs = now;
        }
        QTest::qWait(10);
    }
    QVERIFY2(arrivals.size() >= 3 && arrivals.size() <= 5,
             qPrintable(QStringLiteral("%1 arrivals in %2 ms").arg(arrivals.size()).arg(watchMs)));
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        QCOMPARE(arrivals[i].bytes, whole);
        const qint64 gap = i == 0 ? 2 * tickMs : arrivals[i].atMs - arrivals[i - 1].atMs;
        QVERIFY2(gap > 2 * tickMs - 150 && gap < 2 * tickMs + 200,
                 qPrintable(QStringLiteral("%1 ms between two arrivals").arg(gap)));
    }
}

void tst_EndToEnd::untickDropsLinesAndClosesPort()
{
    constexpr int channel = 4;
    const auto raised = [&](Line line) { return modem(channel).isAsserted(line); };
    QVERIFY(click(form::lineButton(channel, Pin::Dtr)) && click(form::lineButton(channel, Pin::Rts)));
    QTRY_VERIFY_WITH_TIMEOUT(raised(Line::Dtr) && raised(Line::Rts), settleMs);

    QVERIFY(click(form::checkMark(channel).center()));
    QTRY_VERIFY_WITH_TIMEOUT(!m_velmora.holdsOpen(pty(channel).slavePath()), settleMs);
    QTRY_VERIFY_WITH_TIMEOUT(!raised(Line::Dtr) && !raised(Line::Rts), settleMs);
    QVERIFY2(boxClearedAgain(channel), "the box still shows a tick");
    QCOMPARE(sampleUntil([&] { return indicatorState(screenshot(), channel, Pin::Dtr); }, idle), idle);
    QCOMPARE(indicatorState(screenshot(), channel, Pin::Rts), idle);
}

// A port that cannot be opened: one "Порт не найден", and the box clear again.
void tst_EndToEnd::missingPortGivesOneMessage()
{
    constexpr int channel = 4;
    const QString notATerminal = m_runtimeDirectory.filePath(QStringLiteral("not-a-terminal"));
    QVERIFY(QFile(notATerminal).open(QIODevice::WriteOnly));
    QVERIFY2(m_namespace.bind(channel - 1, notATerminal), qPrintable(m_namespace.failure()));
    const auto restorePort = qScopeGuard([&] { m_namespace.unbind(channel - 1); });
    const QString title = QLatin1Char('^') + QRegularExpression::escape(qs(texts::appTitle)) + QLatin1Char('$');
    const auto boxes = [&] { return int(m_x.windows(title).size()); };
    QCOMPARE(boxes(), 0);

    QVERIFY(click(form::checkMark(channel).center()));
    QCOMPARE(sampleUntil(boxes, 1), 1);
    QVERIFY(key({QStringLiteral("Return")}));
    QCOMPARE(sampleUntil(boxes, 0), 0);
    // A second message would come only now, after the first was closed.
    QCOMPARE(sampleUntil(boxes, 1, 3 * tickMs), 0);
    QVERIFY2(boxClearedAgain(channel), "the box still shows a tick");
    QVERIFY(!m_velmora.holdsOpen(notATerminal));
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
