// Times the poll tick with four enabled channels on fake ports and the real
// window offscreen, and counts the repaints an idle tick causes; then what the
// boxes' descriptions add to each tick of the real program, over this
// machine's ports (only read: no device is opened).
#include "channelcontrols.h"
#include "systemports.h"
#include "testwindow.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int ticksPerRun = 3000;
constexpr qint64 medianGoalNs = 100'000;

class PaintCounter final : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

struct Figures
{
    qint64 medianNs;
    qint64 p99Ns;
};

Figures summarise(std::vector<qint64> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// Ticks once per round, letting the window repaint between ticks as the event loop would.
template<typename Prepare>
Figures timeTicks(TestWindow &ui, Prepare prepare)
{
    std::vector<qint64> samples;
    samples.reserve(ticksPerRun);
    QElapsedTimer clock;
    for (int round = 0; round < ticksPerRun; ++round) {
        prepare(round);
        clock.start();
        ui.window.poll().tick();
        samples.push_back(clock.nsecsElapsed());
        QCoreApplication::processEvents();
    }
    return summarise(std::move(samples));
}

void print(const char *label, Figures figures)
{
    std::printf("%-28s median %7.1f us   p99 %7.1f us\n", label, figures.medianNs / 1000.0, figures.p99Ns / 1000.0);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestWindow ui;
    for (int channel = 0; channel < channelCount; ++channel) {
        ui.window.setCheckValue(channel, 1);
        ui.fake[channel].cd = ui.fake[channel].cts = true;
        ui.fake[channel].dsr = channel % 2 == 0;
    }

    // What a monitored link usually does: data arrives on every port and TD text goes out.
    const Figures streaming = timeTicks(ui, [&](int round) {
        for (int channel = 0; channel < channelCount; ++channel) {
            ui.fake[channel].received = (QStringLiteral("line %1\r\n").arg(round));
            ui.text(pinFieldNumber(channel, Pin::Td))->setText(QStringLiteral("AT+CSQ\r"));
            ui.fake[channel].log.clear();
        }
    });
    // The worst case: on top of that, DCD and CTS of every port change on every tick.
    const Figures storm = timeTicks(ui, [&](int round) {
        for (int channel = 0; channel < channelCount; ++channel) {
            ui.fake[channel].cd = round % 2 == 0;
            ui.fake[channel].dsr = true;
            ui.fake[channel].cts = round % 2 == 1;
            ui.fake[channel].received = (QStringLiteral("line %1\r\n").arg(round));
            ui.fake[channel].log.clear();
        }
    });

    for (int channel = 0; channel < channelCount; ++channel)
        ui.text(pinFieldNumber(channel, Pin::Td))->clear();
    for (int settle = 0; settle < 3; ++settle) {
        ui.window.poll().tick();
        QCoreApplication::processEvents();
    }
    PaintCounter counter;
    app.installEventFilter(&counter);
    const Figures idle = timeTicks(ui, [](int) {});
    app.removeEventFilter(&counter);

    std::vector<qint64> numbering;
    SystemPorts machine;
    QElapsedTimer clock;
    for (int round = 0; round < ticksPerRun; ++round) {
        clock.start();
        for (int channel = 0; channel < channelCount; ++channel)
            (void)machine.description(channel);
        numbering.push_back(clock.nsecsElapsed());
        QCoreApplication::processEvents(); // where the device folder's changes are told
    }

    std::printf("%d ticks each, four enabled channels\n", ticksPerRun);
    print("streaming (RD and TD busy):", streaming);
    print("line storm (all changing):", storm);
    print("idle (nothing changes):", idle);
    std::printf("paint events during %d idle ticks: %d\n", ticksPerRun, counter.paints);
    print("COM numbering, this /sys:", summarise(std::move(numbering)));
    const bool met = streaming.medianNs <= medianGoalNs && idle.medianNs <= medianGoalNs && counter.paints == 0;
    std::printf("goal (streaming and idle median <= 100 us, no repaint when idle): %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
