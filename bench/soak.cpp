// Streams into all four ports at the byte rate of 921,600 baud for a while
// (600 s unless a number of seconds is given) with the real window and the
// real serial backend on pseudo terminals, and reports the resident memory
// growth and every byte that did not reach the RD fields in order.
#include "processusage.h"
#include "ptymodem.h"
#include "portcore.h"
#include "qtserialtransport.h"
#include "testwindow.h"

#include <QApplication>

#include <cstdio>

namespace {

constexpr qint64 bytesPerSecond = 921'600 / 10; // 8 data bits with start and stop bit
constexpr int writeIntervalMs = 10;
constexpr qint64 warmUpMs = 10'000;

char patternAt(qint64 position)
{
    return char('!' + position % 94); // printable, so the RD field shows it unchanged
}

// One port's stream: what is due to be written, and what the RD field showed so far.
struct Stream
{
    qint64 written = 0;
    qint64 checked = 0;
    qint64 mismatches = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 durationMs = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 600) * 1000;

    std::array<std::unique_ptr<PtyModem>, channelCount> ptys;
    std::array<std::unique_ptr<SerialPort>, channelCount> owned;
    std::array<PortCore *, channelCount> ports{};
    for (int channel = 0; channel < channelCount; ++channel) {
        ptys[channel] = std::make_unique<PtyModem>();
        auto port = std::make_unique<PortCore>(std::make_unique<QtSerialTransport>());
        port->setDevice(ptys[channel]->slavePath());
        ports[channel] = port.get();
        owned[channel] = std::move(port);
    }
    TestWindow ui(std::move(owned));
    auto *timer = ui.get<QTimer>(QStringLiteral("Timer1"));
    std::array<Stream, channelCount> streams;
    for (int channel = 0; channel < channelCount; ++channel)
        ui.window->setCheckValue(channel, 1);
    if (!ui.messages.isEmpty())
        return 2;

    // Read the RD fields right after each poll, which the window's own handler runs first.
    QObject::connect(timer, &QTimer::timeout, &app, [&] {
        for (int channel = 0; channel < channelCount; ++channel) {
            Stream &stream = streams[channel];
            for (QChar shown : ui.text(pinFieldNumber(channel, Pin::Rd))->text()) {
                if (shown.toLatin1() != patternAt(stream.checked))
                    ++stream.mismatches;
                ++stream.checked;
            }
        }
    });

    QElapsedTimer clock;
    clock.start();
    QTimer writer;
    writer.setInterval(writeIntervalMs);
    QObject::connect(&writer, &QTimer::timeout, &app, [&] {
        const qint64 due = clock.elapsed() * bytesPerSecond / 1000;
        for (int channel = 0; channel < channelCount; ++channel) {
            Stream &stream = streams[channel];
            QByteArray chunk;
            for (qint64 position = stream.written; position < due; ++position)
                chunk += patternAt(position);
            const qint64 taken = ptys[channel]->write(chunk);
            stream.written += std::max<qint64>(taken, 0);
        }
    });
    writer.start();
    timer->start();

    qint64 residentAfterWarmUp = 0;
    QTimer::singleShot(warmUpMs, &app, [&] { residentAfterWarmUp = processusage::residentBytes(); });
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, &app, [&] {
        std::printf("%4lld s: resident %lld kB\n", qlonglong(clock.elapsed() / 1000), qlonglong(processusage::residentBytes() / 1024));
        std::fflush(stdout);
    });
    progress.start(60'000);
    QTimer::singleShot(durationMs, &app, [&] { writer.stop(); });
    QTimer::singleShot(durationMs + 1000, &app, &QCoreApplication::quit);
    app.exec();

    qint64 written = 0, lost = 0, dropped = 0;
    for (int channel = 0; channel < channelCount; ++channel) {
        written += streams[channel].written;
        lost += streams[channel].written - streams[channel].checked + streams[channel].mismatches;
        dropped += ports[channel]->droppedBytes();
    }
    const qint64 growth = processusage::residentBytes() - residentAfterWarmUp;
    std::printf("soak %.0f s, four ports at 921600 baud: %lld bytes sent, %lld lost (%lld dropped by "
                "the receive buffers), resident growth after warm-up %lld kB\n",
                double(durationMs) / 1000, qlonglong(written), qlonglong(lost), qlonglong(dropped),
                qlonglong(growth / 1024));
    const bool met = lost == 0 && growth < (1 << 20);
    std::printf("goal (0 lost, under 1 MB growth): %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
