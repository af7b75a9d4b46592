// The real program under a private X server, on four virtual null-modem
// ports, driven with mouse and keyboard and checked from outside: the far
// ends of the ports, the screen's pixels, the program's open descriptors.
// The test functions run in order against one run of the program.

#include "modemlines.h"
#include "modemstate.h"
#include "portnamespace.h"
#include "ptypair.h"
#include "qstringfrom.h"
#include "screengrabber.h"
#include "texts.h"
#include "velmoraprocess.h"
#include "xdotooldriver.h"
#include "xvfbsession.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include <termios.h>

using namespace std::chrono_literals;

namespace {

// DB-9 pin numbers.
enum class Pin { Dcd = 1, Rd, Td, Dtr, Gnd, Dsr, Rts, Cts, Ri };

// Where the user finds things, in pixels from the top-left corner of the
// client area, below the menu bar. Typed here rather than taken from the
// program's layout tables, so that a control out of place shows.
namespace form {

constexpr int clientWidth = 684;
constexpr int clientHeight = 551;
constexpr std::array<QPoint, 4> pinPanels{{{98, 248}, {342, 248}, {98, 396}, {342, 396}}};
constexpr std::array<QPoint, 4> settingsPanels{{{6, 248}, {585, 248}, {6, 396}, {585, 396}}};
constexpr QPoint portsBox{15, 32};

// Channels count from 1, as COM1 to COM4 do.
constexpr QPoint checkBoxOrigin(int channel)
{
    return portsBox + QPoint(8, 16 * channel);
}

// The tick mark's square at the box's left end, which is what a person clicks.
constexpr QPoint checkBox(int channel)
{
    return checkBoxOrigin(channel) + QPoint(6, 8);
}

constexpr QRect checkMark(int channel)
{
    return {checkBoxOrigin(channel) + QPoint(1, 2), QSize(12, 13)};
}

constexpr QPoint pinField(int channel, Pin pin)
{
    return {392 + 48 * (channel - 1) + 16, 32 + 24 * (int(pin) - 1) + 9};
}

constexpr QPoint lineButton(int channel, Pin pin)
{
    return {382 + 48 * (channel - 1) + 4, (pin == Pin::Dtr ? 104 : 176) + 9};
}

// The centre of a pin's round indicator in the channel's pin panel.
constexpr QPoint indicator(int channel, Pin pin)
{
    const int p = int(pin);
    const QPoint inPanel = p <= 5 ? QPoint(40 + 32 * (p - 1), 40) : QPoint(56 + 32 * (p - 6), 72);
    return pinPanels[std::size_t(channel - 1)] + inPanel + QPoint(12, 12);
}

// The edit field of the baud combo, left of its drop-down arrow.
constexpr QPoint baudEditField(int channel)
{
    return settingsPanels[std::size_t(channel - 1)] + QPoint(22 + 15, 16 + 10);
}

// Spots the about panel covers where nothing else is drawn on it.
constexpr std::array<QPoint, 3> aboutPanelBare{{{300, 10}, {433, 200}, {10, 150}}};

} // namespace form

const QString green = QStringLiteral("green");
const QString red = QStringLiteral("red");
const QString idle = QStringLiteral("idle");

constexpr QRgb greenPixel = qRgb(0, 192, 0);
constexpr QRgb redPixel = qRgb(255, 0, 0);

constexpr auto startTimeout = 20s;
constexpr int settleMs = 2500; // several poll ticks, with room for a loaded machine
constexpr int tickMs = 300;

// Where the pointer rests between clicks, off the window, so that no control
// is drawn hovered.
constexpr QPoint pointerRest{1010, 760};

const QString mainWindowTitle = QStringLiteral("^Brannick {7}Velmora v\\.1\\.1 ");

[[nodiscard]] QString messageBoxTitle()
{
    return QLatin1Char('^') + QRegularExpression::escape(qs(texts::appTitle)) + QLatin1Char('$');
}

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
    void init();
    void cleanup();
    void cleanupTestCase();

    void windowHasLayoutSize();
    void aboutMenuShowsAndHidesPanel();
    void portOpensWithInitialSettings_data();
    void portOpensWithInitialSettings();
    void baudChosenWithKeyboardReachesDriver();
    void inputLinesLightIndicators_data();
    void inputLinesLightIndicators();
    void receivedTextLightsRdForOneTick_data();
    void receivedTextLightsRdForOneTick();
    void tdTextArrivesWholeEverySecondTick_data();
    void tdTextArrivesWholeEverySecondTick();
    void lineButtonsDriveLines_data();
    void lineButtonsDriveLines();
    void untickDropsLinesAndClosesPort();
    void missingPortGivesOneMessage();

private:
    [[nodiscard]] QPoint onScreen(QPoint client) const { return m_client.topLeft() + client; }
    bool click(QPoint client);
    bool clickMenu();
    [[nodiscard]] QImage screenshot() const;
    [[nodiscard]] QRgb pixel(const QImage &shot, QPoint client) const;
    [[nodiscard]] QString indicatorState(const QImage &shot, int channel, Pin pin) const;
    [[nodiscard]] QString indicatorState(int channel, Pin pin) const;
    [[nodiscard]] QImage checkMarkImage(int channel) const;
    [[nodiscard]] std::array<QRgb, 3> aboutPanelPixels() const;
    [[nodiscard]] int messageBoxCount() const;
    [[nodiscard]] std::optional<unsigned long> askedCflag(int channel) const;
    [[nodiscard]] std::optional<int> measureMenuBar();
    [[nodiscard]] std::vector<Arrival> collectArrivals(int channel, int forMs);

    PtyPair &pty(int channel) { return *m_ptys[std::size_t(channel - 1)]; }
    ModemLines &modem(int channel) { return *m_modems[std::size_t(channel - 1)]; }

    // Declared in the order of setting up: the program goes first, the ports last.
    QTemporaryDir m_stateDirectory;
    QTemporaryDir m_runtimeDirectory;
    PortNamespace m_namespace;
    std::array<std::unique_ptr<PtyPair>, PortNamespace::portCount> m_ptys;
    std::array<std::unique_ptr<ModemLines>, PortNamespace::portCount> m_modems;
    XvfbSession m_xvfb;
    std::optional<XdotoolDriver> m_xdo;
    std::optional<ScreenGrabber> m_grabber;
    VelmoraProcess m_velmora;

    // On screen: the whole window, and its client area below the menu bar.
    QRect m_window;
    QRect m_client;
    std::array<QImage, PortNamespace::portCount> m_untickedMarks;
};

void tst_EndToEnd::initTestCase()
{
    for (const QString &tool : {QStringLiteral("Xvfb"), QStringLiteral("xdotool"), QStringLiteral("import")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed; the end-to-end run needs Xvfb, xdotool "
                                                   "and ImageMagick's import")));
    }
    QVERIFY2(QFile::exists(QStringLiteral(VELMORA_BINARY)), VELMORA_BINARY);
    QVERIFY2(QFile::exists(QStringLiteral(VELMORA_MODEM_FIXTURE)), VELMORA_MODEM_FIXTURE);

    QVERIFY(m_stateDirectory.isValid());
    QVERIFY(m_runtimeDirectory.isValid());
    for (int port = 0; port < PortNamespace::portCount; ++port) {
        m_ptys[port] = std::make_unique<PtyPair>();
        QVERIFY(m_ptys[port]->isValid());
        m_modems[port] = std::make_unique<ModemLines>(m_ptys[port]->slaveDevice(), m_stateDirectory.path());
        QVERIFY(m_modems[port]->isValid());
    }
    if (!m_namespace.enter())
        QSKIP(qPrintable(QStringLiteral("cannot put virtual ports at /dev/ttyS0..3 in a private mount namespace: ")
                         + m_namespace.failure()));
    for (int port = 0; port < PortNamespace::portCount; ++port)
        QVERIFY2(m_namespace.bind(port, m_ptys[port]->slavePath()), qPrintable(m_namespace.failure()));

    QVERIFY2(m_xvfb.start(10s), qPrintable(m_xvfb.failure()));
    m_xdo.emplace(m_xvfb.display());
    m_grabber.emplace(m_xvfb.display());
    QVERIFY(m_xdo->moveTo(pointerRest));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_xvfb.display());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VELMORA_MODEM_FIXTURE));
    environment.insert(QStringLiteral("VELMORA_MODEM_DIR"), m_stateDirectory.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDirectory.path());
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    // The fixture is loaded ahead of a sanitizer runtime; Qt's own caches would read as leaks.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
    QVERIFY(m_velmora.start(QStringLiteral(VELMORA_BINARY), environment, startTimeout));

    const auto mainWindows = [this] { return m_xdo->visibleWindows(mainWindowTitle).value_or(QList<quint64>()); };
    QList<quint64> windows;
    QElapsedTimer waited;
    waited.start();
    while ((windows = mainWindows()).size() != 1 && waited.elapsed() < 20000 && m_velmora.isRunning())
        QTest::qWait(50);
    QVERIFY2(windows.size() == 1, qPrintable(m_velmora.report()));
    const std::optional<QRect> window = m_xdo->geometry(windows.constFirst());
    QVERIFY(window);
    m_window = *window;
    m_client = *window;

    const std::optional<int> menuBar = measureMenuBar();
    QVERIFY2(menuBar && *menuBar >= 10 && *menuBar <= 60, "the about panel's top edge is not where it belongs");
    m_client.setTop(m_window.top() + *menuBar);

    const QImage shot = screenshot();
    for (int channel = 1; channel <= PortNamespace::portCount; ++channel)
        m_untickedMarks[channel - 1] = shot.copy(form::checkMark(channel).translated(m_client.topLeft()));
}

// A program that died fails the rest at once rather than after every timeout.
void tst_EndToEnd::init()
{
    QVERIFY2(m_velmora.isRunning(), qPrintable(m_velmora.report()));
}

void tst_EndToEnd::cleanup()
{
    QVERIFY2(m_velmora.isRunning(), qPrintable(m_velmora.report()));
}

void tst_EndToEnd::cleanupTestCase()
{
    m_velmora.stop();
}

// The about panel lies at the client area's top-left corner, so its top edge,
// where its grey begins, is the bottom of the menu bar.
std::optional<int> tst_EndToEnd::measureMenuBar()
{
    const QImage hidden = screenshot();
    if (hidden.isNull() || !clickMenu())
        return std::nullopt;
    const QPoint column = m_window.topLeft() + QPoint(form::aboutPanelBare[0].x(), 0);
    const auto topEdge = [&]() -> std::optional<int> {
        const QImage shown = screenshot();
        for (int y = 0; y < 100 && !shown.isNull(); ++y) {
            if (shown.pixel(column + QPoint(0, y)) != hidden.pixel(column + QPoint(0, y)))
                return y;
        }
        return std::nullopt;
    };
    std::optional<int> edge = topEdge();
    QElapsedTimer waited;
    waited.start();
    while (!edge && waited.elapsed() < settleMs) {
        QTest::qWait(20);
        edge = topEdge();
    }
    // Hidden again before any test looks.
    if (!edge || !clickMenu() || sampleUntil([this] { return screenshot(); }, hidden) != hidden)
        return std::nullopt;
    return edge;
}

bool tst_EndToEnd::click(QPoint client)
{
    return m_xdo->click(onScreen(client), pointerRest);
}

// The menu bar's only entry stands at its left end.
bool tst_EndToEnd::clickMenu()
{
    const int middle = m_client.top() > m_window.top() ? (m_client.top() - m_window.top()) / 2 : 8;
    return m_xdo->click(m_window.topLeft() + QPoint(30, middle), pointerRest);
}

QImage tst_EndToEnd::screenshot() const
{
    return m_grabber->grab().value_or(QImage());
}

QRgb tst_EndToEnd::pixel(const QImage &shot, QPoint client) const
{
    const QPoint at = onScreen(client);
    return shot.valid(at) ? shot.pixel(at) : 0;
}

// Named for readable failures; idle is the colour of the channel's RI
// indicator, which nothing ever paints.
QString tst_EndToEnd::indicatorState(const QImage &shot, int channel, Pin pin) const
{
    const QRgb colour = pixel(shot, form::indicator(channel, pin));
    if (colour == greenPixel)
        return green;
    if (colour == redPixel)
        return red;
    if (colour == pixel(shot, form::indicator(channel, Pin::Ri)))
        return idle;
    return QColor(colour).name();
}

QString tst_EndToEnd::indicatorState(int channel, Pin pin) const
{
    return indicatorState(screenshot(), channel, pin);
}

QImage tst_EndToEnd::checkMarkImage(int channel) const
{
    return screenshot().copy(form::checkMark(channel).translated(m_client.topLeft()));
}

std::array<QRgb, 3> tst_EndToEnd::aboutPanelPixels() const
{
    const QImage shot = screenshot();
    std::array<QRgb, 3> pixels{};
    for (std::size_t spot = 0; spot < pixels.size(); ++spot)
        pixels[spot] = pixel(shot, form::aboutPanelBare[spot]);
    return pixels;
}

int tst_EndToEnd::messageBoxCount() const
{
    return int(m_xdo->visibleWindows(messageBoxTitle()).value_or(QList<quint64>()).size());
}

// Character size and parity as the program asked the driver for them; a pty
// keeps only 8,n itself, the modem fixture records the request.
std::optional<unsigned long> tst_EndToEnd::askedCflag(int channel) const
{
    const std::string path = m_stateDirectory.path().toStdString() + "/"
                             + modemstate::fileName(m_ptys[std::size_t(channel - 1)]->slaveDevice());
    const auto state = modemstate::load(path);
    return state ? state->cflag : std::nullopt;
}

// What reaches the far end over forMs, one arrival per burst: bytes that
// follow each other within a fraction of a tick belong to one write.
std::vector<Arrival> tst_EndToEnd::collectArrivals(int channel, int forMs)
{
    constexpr qint64 burstGapMs = tickMs / 2;
    std::vector<Arrival> arrivals;
    qint64 lastByteMs = -burstGapMs;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < forMs) {
        const QByteArray bytes = pty(channel).readMaster();
        const qint64 now = clock.elapsed();
        if (!bytes.isEmpty()) {
            if (arrivals.empty() || now - lastByteMs > burstGapMs)
                arrivals.push_back({now, {}});
            arrivals.back().bytes += bytes;
            lastByteMs = now;
        }
        QTest::qWait(10);
    }
    return arrivals;
}

void tst_EndToEnd::windowHasLayoutSize()
{
    QCOMPARE(m_client.width(), form::clientWidth);
    QCOMPARE(m_client.height(), form::clientHeight);
}

void tst_EndToEnd::aboutMenuShowsAndHidesPanel()
{
    const std::array<QRgb, 3> hidden = aboutPanelPixels();
    QVERIFY(clickMenu());
    // One colour over the three bare spots, and a colour none of them had.
    const auto panelShown = [&] {
        const std::array<QRgb, 3> now = aboutPanelPixels();
        return now[0] == now[1] && now[1] == now[2] && now[0] != hidden[0] && now[1] != hidden[1]
               && now[2] != hidden[2];
    };
    QVERIFY(sampleUntil(panelShown, true));
    QVERIFY(clickMenu());
    QVERIFY(sampleUntil([this] { return aboutPanelPixels(); }, hidden) == hidden);
}

void tst_EndToEnd::portOpensWithInitialSettings_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("com1") << 1;
    QTest::newRow("com2") << 2;
    QTest::newRow("com3") << 3;
    QTest::newRow("com4") << 4;
}

// 9600,n,8,1 without handshaking, what the combos show at start.
void tst_EndToEnd::portOpensWithInitialSettings()
{
    QFETCH(int, channel);
    const QString slave = pty(channel).slavePath();
    QVERIFY(!m_velmora.holdsOpen(slave));

    QVERIFY(click(form::checkBox(channel)));
    QTRY_VERIFY_WITH_TIMEOUT(m_velmora.holdsOpen(slave), settleMs);
    const QImage &unticked = m_untickedMarks[channel - 1];
    QVERIFY2(sampleUntil([&] { return checkMarkImage(channel) != unticked; }, true), "the box shows no tick");

    QCOMPARE(pty(channel).slaveBaudRate(), std::optional<quint32>(9600));
    const std::optional<unsigned long> asked = askedCflag(channel);
    QVERIFY2(asked, "the program never set the line's character size and parity");
    QCOMPARE(*asked & CSIZE, static_cast<unsigned long>(CS8));
    QCOMPARE(*asked & PARENB, 0UL);
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
    QVERIFY(m_xdo->click(onScreen(form::baudEditField(channel))));
    const auto restPointer = qScopeGuard([this] { m_xdo->moveTo(pointerRest); });
    QVERIFY(m_xdo->key(QStringLiteral("Down")));
    QTRY_COMPARE_WITH_TIMEOUT(pty(channel).slaveBaudRate(), std::optional<quint32>(14400), settleMs);
    for (int other : {1, 3, 4})
        QCOMPARE(pty(other).slaveBaudRate(), std::optional<quint32>(9600));

    QVERIFY(m_xdo->key(QStringLiteral("Up")));
    QTRY_COMPARE_WITH_TIMEOUT(pty(channel).slaveBaudRate(), std::optional<quint32>(9600), settleMs);
}

void tst_EndToEnd::inputLinesLightIndicators_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<ModemLines::Line>("line");
    QTest::addColumn<Pin>("pin");
    QTest::newRow("dcd_com1") << 1 << ModemLines::Line::Dcd << Pin::Dcd;
    QTest::newRow("dsr_com1") << 1 << ModemLines::Line::Dsr << Pin::Dsr;
    QTest::newRow("cts_com1") << 1 << ModemLines::Line::Cts << Pin::Cts;
    QTest::newRow("dsr_com2") << 2 << ModemLines::Line::Dsr << Pin::Dsr;
    QTest::newRow("cts_com3") << 3 << ModemLines::Line::Cts << Pin::Cts;
    QTest::newRow("dcd_com4") << 4 << ModemLines::Line::Dcd << Pin::Dcd;
}

void tst_EndToEnd::inputLinesLightIndicators()
{
    QFETCH(int, channel);
    QFETCH(ModemLines::Line, line);
    QFETCH(Pin, pin);
    const auto state = [&] { return indicatorState(channel, pin); };
    QCOMPARE(sampleUntil(state, idle), idle);

    QVERIFY(modem(channel).set(line, true));
    const auto dropLine = qScopeGuard([&] { modem(channel).set(line, false); });
    QCOMPARE(sampleUntil(state, green), green);
    const QImage shot = screenshot();
    for (int other = 1; other <= PortNamespace::portCount; ++other) {
        if (other != channel)
            QCOMPARE(indicatorState(shot, other, pin), idle);
    }

    QVERIFY(modem(channel).set(line, false));
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
    const auto state = [&] { return indicatorState(channel, Pin::Rd); };
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
    (void)pty(channel).readMaster();

    QVERIFY(m_xdo->click(onScreen(form::pinField(channel, Pin::Td))));
    QVERIFY(m_xdo->type(text));
    const auto clearField = qScopeGuard([&] {
        m_xdo->click(onScreen(form::pinField(channel, Pin::Td)));
        m_xdo->key(QStringLiteral("ctrl+a"));
        m_xdo->key(QStringLiteral("BackSpace"));
        m_xdo->moveTo(pointerRest);
    });

    // Ticks during typing may send a text half typed; count from the first whole one.
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += pty(channel).readMaster()).contains(whole), settleMs);

    constexpr int watchMs = 8 * tickMs;
    const std::vector<Arrival> arrivals = collectArrivals(channel, watchMs);
    for (const Arrival &arrival : arrivals)
        QCOMPARE(arrival.bytes, whole);
    QVERIFY2(arrivals.size() >= 3 && arrivals.size() <= 5,
             qPrintable(QStringLiteral("%1 arrivals in %2 ms").arg(arrivals.size()).arg(watchMs)));
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        const qint64 gap = arrivals[i].atMs - arrivals[i - 1].atMs;
        QVERIFY2(gap > 2 * tickMs - 150 && gap < 2 * tickMs + 200,
                 qPrintable(QStringLiteral("%1 ms between two arrivals").arg(gap)));
    }
}

void tst_EndToEnd::lineButtonsDriveLines_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<ModemLines::Line>("line");
    QTest::addColumn<Pin>("pin");
    QTest::newRow("dtr_com1") << 1 << ModemLines::Line::Dtr << Pin::Dtr;
    QTest::newRow("rts_com1") << 1 << ModemLines::Line::Rts << Pin::Rts;
    QTest::newRow("dtr_com2") << 2 << ModemLines::Line::Dtr << Pin::Dtr;
    QTest::newRow("rts_com2") << 2 << ModemLines::Line::Rts << Pin::Rts;
    QTest::newRow("dtr_com3") << 3 << ModemLines::Line::Dtr << Pin::Dtr;
    QTest::newRow("rts_com4") << 4 << ModemLines::Line::Rts << Pin::Rts;
}

void tst_EndToEnd::lineButtonsDriveLines()
{
    QFETCH(int, channel);
    QFETCH(ModemLines::Line, line);
    QFETCH(Pin, pin);
    const ModemLines::Line otherLine = line == ModemLines::Line::Dtr ? ModemLines::Line::Rts : ModemLines::Line::Dtr;
    const auto state = [&] { return indicatorState(channel, pin); };
    QVERIFY(!modem(channel).isAsserted(line));

    QVERIFY(click(form::lineButton(channel, pin)));
    QTRY_VERIFY_WITH_TIMEOUT(modem(channel).isAsserted(line), settleMs);
    QVERIFY(!modem(channel).isAsserted(otherLine));
    QCOMPARE(sampleUntil(state, red), red);

    QVERIFY(click(form::lineButton(channel, pin)));
    QTRY_VERIFY_WITH_TIMEOUT(!modem(channel).isAsserted(line), settleMs);
    QCOMPARE(sampleUntil(state, idle), idle);
}

void tst_EndToEnd::untickDropsLinesAndClosesPort()
{
    constexpr int channel = 4;
    QVERIFY(click(form::lineButton(channel, Pin::Dtr)));
    QVERIFY(click(form::lineButton(channel, Pin::Rts)));
    QTRY_VERIFY_WITH_TIMEOUT(modem(channel).isAsserted(ModemLines::Line::Dtr)
                                 && modem(channel).isAsserted(ModemLines::Line::Rts),
                             settleMs);

    QVERIFY(click(form::checkBox(channel)));
    QTRY_VERIFY_WITH_TIMEOUT(!m_velmora.holdsOpen(pty(channel).slavePath()), settleMs);
    QTRY_VERIFY2_WITH_TIMEOUT(!modem(channel).isAsserted(ModemLines::Line::Dtr), "DTR stays raised", settleMs);
    QTRY_VERIFY2_WITH_TIMEOUT(!modem(channel).isAsserted(ModemLines::Line::Rts), "RTS stays raised", settleMs);
    const QImage &unticked = m_untickedMarks[channel - 1];
    QVERIFY2(sampleUntil([&] { return checkMarkImage(channel) == unticked; }, true), "the box still shows a tick");
    QCOMPARE(sampleUntil([&] { return indicatorState(channel, Pin::Dtr); }, idle), idle);
    QCOMPARE(indicatorState(channel, Pin::Rts), idle);
}

// A port that cannot be opened: one "Порт не найден", and the box clear again.
void tst_EndToEnd::missingPortGivesOneMessage()
{
    constexpr int channel = 4;
    constexpr int port = channel - 1;
    const QString notATerminal = m_runtimeDirectory.filePath(QStringLiteral("not-a-terminal"));
    QFile file(notATerminal);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY2(m_namespace.bind(port, notATerminal), qPrintable(m_namespace.failure()));
    const auto restorePort = qScopeGuard([&] { m_namespace.unbind(port); });
    QCOMPARE(messageBoxCount(), 0);

    QVERIFY(click(form::checkBox(channel)));
    const auto boxes = [this] { return messageBoxCount(); };
    QCOMPARE(sampleUntil(boxes, 1), 1);
    QVERIFY(m_xdo->key(QStringLiteral("Return")));
    QCOMPARE(sampleUntil(boxes, 0), 0);

    // A second message would come only now, after the first was closed.
    QElapsedTimer watched;
    watched.start();
    while (watched.elapsed() < 3 * tickMs) {
        QCOMPARE(messageBoxCount(), 0);
        QTest::qWait(50);
    }
    const QImage &unticked = m_untickedMarks[channel - 1];
    QVERIFY2(sampleUntil([&] { return checkMarkImage(channel) == unticked; }, true), "the box still shows a tick");
    QVERIFY(!m_velmora.holdsOpen(notATerminal));
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
