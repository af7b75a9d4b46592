// Streams the byte rate of 921,600 baud (92,160 bytes a second) into COM ports of the program's own window
// (makeSystemWindow over SystemPorts, as main() builds it, shown) through the real Linux backend on pseudo
// terminals, and checks every byte that reaches the RD fields against the stream. The far ends are written
// by a process of their own, so that what is measured is the window's alone.
//
//   soak [seconds]                        four ports for ten minutes, or the seconds given: the bytes lost and
//                                         how much the resident memory grew after a 10 s warm-up
//   soak --cpu [ports] [seconds] [runs]   the processor time of the window's process over `seconds` (20) of
//                                         streaming into `ports` (4) ports, each run a fresh process; the
//                                         median of `runs` (5) runs and the bytes lost
#include "channelcontrols.h"
#include "comportmap.h"
#include "processusage.h"
#include "qstringfrom.h"
#include "portcore.h"
#include "systemports.h"
#include "systemwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr qint64 bytesPerSecond = 921'600 / 10; // 8 data bits with start and stop bit
constexpr int writeIntervalMs = 10;
constexpr int patternPeriod = 94;

char patternAt(qint64 position)
{
    return char('!' + position % patternPeriod); // printable, so the RD field shows it unchanged
}

// The far ends of the ports: a child process that writes each port's stream into its pty master at the byte
// rate, from a "go" until a "stop", and then tells how many bytes each master took.
class Feeder
{
public:
    // Forks; to be made before anything starts a thread.
    explicit Feeder(std::vector<int> masters)
    {
        int control[2], result[2];
        if (::pipe(control) != 0 || ::pipe(result) != 0)
            std::exit(3);
        m_pid = ::fork();
        if (m_pid < 0)
            std::exit(3);
        if (m_pid == 0) {
            ::close(control[1]), ::close(result[0]);
            feed(masters, control[0], result[1]);
        }
        ::close(control[0]), ::close(result[1]);
        for (int master : masters)
            ::close(master);
        m_control = control[1];
        m_result = result[0];
        m_count = masters.size();
    }
    ~Feeder()
    {
        ::close(m_control), ::close(m_result);
        ::waitpid(m_pid, nullptr, 0);
    }
    Feeder(const Feeder &) = delete;
    Feeder &operator=(const Feeder &) = delete;

    void start() const { (void)!::write(m_control, "g", 1); }
    // What each master took.
    [[nodiscard]] std::vector<qint64> stop() const
    {
        std::vector<qint64> written(m_count);
        (void)!::write(m_control, "s", 1);
        const auto size = ssize_t(written.size() * sizeof(qint64));
        if (::read(m_result, written.data(), size_t(size)) != size)
            std::exit(3);
        return written;
    }

private:
    [[noreturn]] static void feed(const std::vector<int> &masters, int control, int result)
    {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        char command = 0;
        if (::read(control, &command, 1) != 1 || command != 'g')
            ::_exit(0);
        ::fcntl(control, F_SETFL, O_NONBLOCK);
        // The stream from any position is a slice of this.
        std::vector<char> pattern(patternPeriod + 65536);
        for (std::size_t i = 0; i < pattern.size(); ++i)
            pattern[i] = patternAt(qint64(i));
        std::vector<qint64> written(masters.size());
        char discard[4096];
        timespec start{}, next{};
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        next = start;
        while (::read(control, &command, 1) != 1) {
            next.tv_nsec += writeIntervalMs * 1'000'000L;
            if (next.tv_nsec >= 1'000'000'000L)
                next.tv_sec += 1, next.tv_nsec -= 1'000'000'000L;
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            const qint64 elapsedNs = (next.tv_sec - start.tv_sec) * 1'000'000'000LL + (next.tv_nsec - start.tv_nsec);
            const qint64 due = elapsedNs * bytesPerSecond / 1'000'000'000LL;
            for (std::size_t channel = 0; channel < masters.size(); ++channel) {
                while (written[channel] < due) {
                    const qint64 chunk = std::min<qint64>(due - written[channel], 65536);
                    const ssize_t taken = ::write(masters[channel], pattern.data() + written[channel] % patternPeriod, size_t(chunk));
                    if (taken <= 0)
                        break; // the slave's input is full: the rest waits for the next round
                    written[channel] += taken;
                }
                while (::read(masters[channel], discard, sizeof discard) > 0) {
                }
            }
        }
        (void)!::write(result, written.data(), written.size() * sizeof(qint64));
        // The masters stay open until the window is done: closing them would hang its ports up.
        while (::read(control, &command, 1) != 0 && (errno == EAGAIN || errno == EINTR))
            ::usleep(100'000);
        ::_exit(0);
    }

    pid_t m_pid = -1;
    int m_control = -1;
    int m_result = -1;
    std::size_t m_count = 0;
};

// A pseudo terminal whose master is left non-blocking for the feeder; the slave's path is what COMn links to.
int openMaster(QByteArray &slavePath)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        std::exit(3);
    slavePath = ::ptsname(master);
    return master;
}

// The stream as text, from any position a slice of this; compared a slice at a time, so that checking adds
// little to the processor time measured.
const QString &patternText()
{
    static const QString text = [] {
        QString pattern(patternPeriod * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < pattern.size(); ++i)
            pattern[i] = QLatin1Char(patternAt(i));
        return pattern;
    }();
    return text;
}

// One port's stream as the RD field showed it, tick by tick.
struct Check
{
    QLineEdit *field = nullptr;
    qint64 checked = 0;
    qint64 mismatches = 0;

    void take(const QString &shown)
    {
        const QStringView pattern = patternText();
        for (qsizetype done = 0; done < shown.size();) {
            const qsizetype phase = checked % patternPeriod;
            const qsizetype count = std::min(shown.size() - done, pattern.size() - phase);
            const QStringView part = QStringView(shown).sliced(done, count), expected = pattern.sliced(phase, count);
            if (part != expected) {
                for (qsizetype i = 0; i < count; ++i)
                    mismatches += part[i] != expected[i];
            }
            done += count;
            checked += count;
        }
    }
};

struct RunOptions
{
    int ports = 4;
    qint64 warmUpMs = 3000;
    qint64 durationMs = 20'000;
    bool memory = false;
};

// One run in this process: the program's window over a made-up machine whose /dev/COMn link to the ptys.
int runWindow(int argc, char **argv, const RunOptions &options)
{
    std::vector<int> masters;
    std::vector<QByteArray> slaves(std::size_t(options.ports));
    for (QByteArray &slave : slaves)
        masters.push_back(openMaster(slave));
    const Feeder feeder(masters);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir machine;
    for (const char *folder : {"dev", "sys/class/tty", "rules"})
        QDir(machine.path()).mkpath(QString::fromLatin1(folder));
    for (int channel = 0; channel < options.ports; ++channel) {
        if (!QFile::link(QString::fromLocal8Bit(slaves[std::size_t(channel)]), machine.filePath(QStringLiteral("dev/COM%1").arg(channel + 1))))
            return 3;
    }
    const std::unique_ptr<MainWindow> window = makeSystemWindow(std::make_unique<SystemPorts>(
        ComPortMap(machine.filePath(QStringLiteral("dev")), machine.filePath(QStringLiteral("sys")), machine.filePath(QStringLiteral("rules")))));
    QStringList messages;
    window->setMessagePresenter([&messages](QWidget *, const QString &text) { messages << text; });
    window->show();
    std::vector<Check> checks(std::size_t(options.ports));
    for (int channel = 0; channel < options.ports; ++channel) {
        window->setCheckValue(channel, 1);
        checks[std::size_t(channel)].field = window->findChild<QLineEdit *>(QStringLiteral("Text%1").arg(pinFieldNumber(channel, Pin::Rd)));
    }
    if (!messages.isEmpty()) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(messages.join(QLatin1Char(' '))));
        return 2;
    }

    // Reads the RD fields right after each poll, which the window's own handler runs first.
    QObject::connect(window->findChild<QTimer *>(QStringLiteral("Timer1")), &QTimer::timeout, &app, [&checks] {
        for (Check &check : checks)
            check.take(check.field->text());
    });

    QElapsedTimer clock;
    double cpuAtStart = 0;
    qint64 residentAtStart = 0;
    std::vector<qint64> written;
    QTimer::singleShot(options.warmUpMs, &app, [&] {
        cpuAtStart = processusage::cpuSeconds();
        residentAtStart = processusage::residentBytes();
    });
    QTimer progress;
    if (options.memory) {
        QObject::connect(&progress, &QTimer::timeout, &app, [&] {
            std::printf("%4lld s: resident %lld kB\n", qlonglong(clock.elapsed() / 1000), qlonglong(processusage::residentBytes() / 1024));
            std::fflush(stdout);
        });
        progress.start(60'000);
    }
    double cpuSeconds = 0;
    QTimer::singleShot(options.warmUpMs + options.durationMs, &app, [&] {
        cpuSeconds = processusage::cpuSeconds() - cpuAtStart;
        written = feeder.stop();
        QTimer::singleShot(1000, &app, &QCoreApplication::quit); // what is on its way is still shown
    });
    clock.start();
    feeder.start();
    app.exec();

    qint64 sent = 0, lost = 0, dropped = 0;
    for (std::size_t channel = 0; channel < checks.size(); ++channel) {
        sent += written[channel];
        lost += written[channel] - checks[channel].checked + checks[channel].mismatches;
        if (const auto *port = window->findChild<PortCore *>(qs(channelControls[channel].serialPort)))
            dropped += port->droppedBytes();
    }
    const double seconds = double(options.durationMs) / 1000;
    if (options.memory) {
        const qint64 growth = processusage::residentBytes() - residentAtStart;
        std::printf("soak %.0f s, four ports at 921600 baud: %lld bytes sent, %lld lost (%lld dropped by the receive "
                    "buffers), resident growth after warm-up %lld kB\n",
                    seconds, qlonglong(sent), qlonglong(lost), qlonglong(dropped), qlonglong(growth / 1024));
        const bool met = lost == 0 && growth < (1 << 20);
        std::printf("goal (0 lost, under 1 MB growth): %s\n", met ? "met" : "MISSED");
        return met ? 0 : 1;
    }
    const QStringList threads = processusage::threadNames();
    std::printf("cpu %.3f %% of a core, %d ports, %.0f s, %lld bytes sent, %lld lost, %lld threads (%s)\n",
                100 * cpuSeconds / seconds, options.ports, seconds, qlonglong(sent), qlonglong(lost),
                qlonglong(threads.size()), qPrintable(threads.join(QStringLiteral(", "))));
    return 0;
}

// Runs `runs` fresh processes of one CPU run each and reports their median.
int runCpuBenchmark(const char *self, int ports, int seconds, int runs)
{
    std::vector<double> shares;
    qint64 lostInAll = 0;
    for (int run = 1; run <= runs; ++run) {
        const QByteArray command = QByteArray("'") + self + "' --cpu-run " + QByteArray::number(ports) + ' ' + QByteArray::number(seconds);
        FILE *child = ::popen(command.constData(), "r");
        char line[512];
        double share = -1;
        long long sent = 0, lost = 0, threads = 0;
        while (child != nullptr && std::fgets(line, sizeof line, child) != nullptr) {
            if (std::sscanf(line, "cpu %lf %% of a core, %*d ports, %*f s, %lld bytes sent, %lld lost, %lld threads", &share,
                            &sent, &lost, &threads)
                == 4)
                std::printf("run %d: %5.2f %% of a core, %lld bytes sent, %lld lost, %s", run, share, sent, lost,
                            std::strstr(line, " lost, ") + 7);
            else
                std::fputs(line, stdout);
            std::fflush(stdout);
        }
        if (child == nullptr || ::pclose(child) != 0 || share < 0) {
            std::printf("run %d failed\n", run);
            return 2;
        }
        shares.push_back(share);
        lostInAll += lost;
    }
    std::sort(shares.begin(), shares.end());
    const double median = shares[shares.size() / 2];
    std::printf("%d port%s at 921600 baud, %d s x %d: median %.2f %% of a core (%.2f to %.2f), %lld bytes lost\n", ports,
                ports == 1 ? "" : "s", seconds, runs, median, shares.front(), shares.back(), qlonglong(lostInAll));
    const double goal = ports == 1 ? 0.7 : ports == 4 ? 2.0 : 0;
    if (goal <= 0)
        return lostInAll == 0 ? 0 : 1;
    const bool met = median < goal && lostInAll == 0;
    std::printf("goal (under %.1f %% of a core, 0 lost): %s\n", goal, met ? "met" : "MISSED");
    return met ? 0 : 1;
}

int argument(int argc, char **argv, int index, int fallback)
{
    return argc > index ? std::atoi(argv[index]) : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--cpu") {
        const int ports = argument(argc, argv, 2, 4), seconds = argument(argc, argv, 3, 20), runs = argument(argc, argv, 4, 5);
        if (ports < 1 || ports > 4 || seconds < 1 || runs < 1) {
            std::fprintf(stderr, "usage: soak --cpu [ports 1-4] [seconds] [runs]\n");
            return 2;
        }
        char self[4096] = {};
        if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
            return 3;
        return runCpuBenchmark(self, ports, seconds, runs);
    }
    if (mode == "--cpu-run") {
        RunOptions options;
        options.ports = std::clamp(argument(argc, argv, 2, 4), 1, 4);
        options.durationMs = qint64(std::max(1, argument(argc, argv, 3, 20))) * 1000;
        return runWindow(1, argv, options);
    }
    RunOptions options;
    options.memory = true;
    options.warmUpMs = 10'000;
    options.durationMs = qint64(argc > 1 ? std::max(1, std::atoi(argv[1])) : 600) * 1000;
    return runWindow(1, argv, options);
}
