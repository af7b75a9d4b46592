// Four ports served by ser2net over loopback, each streaming at the byte rate of 921,600 baud for a while
// (60 s unless a number of seconds is given), against four local ports on pseudo terminals doing the
// same; then the four remote ports open and idle as long. Every byte is checked in order where the poll
// would read it (every 300 ms), 0xFF among them, and the processor time of this process and of ser2net
// is reported for each.
#include "portcore.h"
#include "processusage.h"
#include "ptyline.h"
#include "qtserialtransport.h"
#include "rfc2217transport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int portCount = 4;
constexpr qint64 bytesPerSecond = 921'600 / 10;

// Printable, and every 95th byte the Telnet IAC, which the input shows as U+FFFD.
char patternAt(qint64 position)
{
    return position % 95 == 94 ? char(0xff) : char('!' + position % 95);
}

QChar shownAt(qint64 position)
{
    return position % 95 == 94 ? QChar(QChar::ReplacementCharacter) : QChar(char16_t(u'!' + position % 95));
}

struct Pty
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QString slave = (::grantpt(master), ::unlockpt(master), QString::fromLocal8Bit(::ptsname(master)));
    qint64 written = 0;
    qint64 checked = 0;
    qint64 mismatched = 0;

    ~Pty() { ::close(master); }
    void writeDue(qint64 due)
    {
        QByteArray chunk;
        for (qint64 position = written; position < due; ++position)
            chunk += patternAt(position);
        written += std::max<ssize_t>(::write(master, chunk.constData(), std::size_t(chunk.size())), 0);
    }
    void check(const std::optional<QString> &input)
    {
        for (const QChar shown : input.value_or(QString()))
            mismatched += shown != shownAt(checked++);
    }
};

double processSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.open(QIODevice::ReadOnly) ? stat.readAll().split(' ') : QList<QByteArray>();
    const qint64 ticks = fields.size() > 15 ? fields[13].toLongLong() + fields[14].toLongLong() : 0;
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

// Runs the event loop for `seconds`, streaming into the ptys when `stream`, reading the ports every 300 ms.
void run(double seconds, bool stream, std::array<Pty, portCount> &ptys,
         const std::array<SerialPort *, portCount> &ports)
{
    QElapsedTimer clock;
    clock.start();
    QTimer writer, poll;
    QObject::connect(&writer, &QTimer::timeout, [&] {
        for (Pty &pty : ptys)
            pty.writeDue(clock.elapsed() * bytesPerSecond / 1000);
    });
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (int index = 0; index < portCount; ++index)
            ptys[index].check(ports[index]->input());
    });
    if (stream)
        writer.start(10);
    poll.start(300);
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &writer, &QTimer::stop);
    QTimer::singleShot(int(seconds * 1000) + 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

void report(const char *what, double seconds, double ours, double server, const std::array<Pty, portCount> &ptys)
{
    qint64 written = 0, lost = 0;
    for (const Pty &pty : ptys) {
        written += pty.written;
        lost += pty.written - pty.checked + pty.mismatched;
    }
    std::printf("%-28s %8lld bytes, %lld lost; CPU %.2f s (%.1f %%), ser2net %.2f s\n", what, qlonglong(written),
                qlonglong(lost), ours, 100 * ours / seconds, server);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? QByteArray(argv[1]).toDouble() : 60;
    QTemporaryDir dir;
    std::array<Pty, portCount> remotePtys, localPtys;

    QFile line(dir.filePath(QStringLiteral("line")));
    const ptyline::Shared initial{0, CS8, 0};
    line.open(QIODevice::WriteOnly);
    line.write(reinterpret_cast<const char *>(&initial), sizeof initial);
    line.close();
    QByteArray config;
    std::array<quint16, portCount> tcpPorts{};
    for (int index = 0; index < portCount; ++index) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        tcpPorts[index] = probe.serverPort();
        config += QStringLiteral("connection: &port%1\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                                 "  connector: serialdev,%3,921600n81,local\n")
                      .arg(index).arg(tcpPorts[index]).arg(remotePtys[index].slave).toUtf8();
    }
    QFile configFile(dir.filePath(QStringLiteral("ser2net.yaml")));
    configFile.open(QIODevice::WriteOnly);
    configFile.write(config);
    configFile.close();
    QProcess server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(MODEM_SHIM));
    environment.insert(QStringLiteral("VELMORA_PTY_LINE"), line.fileName());
    server.setProcessEnvironment(environment);
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start(QStringLiteral("ser2net"), {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                                             configFile.fileName(), QStringLiteral("-P"), dir.filePath(u"pid"_s)});
    if (!server.waitForStarted())
        return 2;
    QThread::sleep(1);

    std::array<std::unique_ptr<PortCore>, portCount> remote;
    std::array<SerialPort *, portCount> remotePorts{};
    for (int index = 0; index < portCount; ++index) {
        remote[index] = std::make_unique<PortCore>(std::make_unique<Rfc2217Transport>());
        remote[index]->setDevice(QStringLiteral("rfc2217://127.0.0.1:%1").arg(tcpPorts[index]));
        (void)remote[index]->setSettings(QStringLiteral("921600,n,8,1"));
        (void)remote[index]->setPortOpen(true);
        remotePorts[index] = remote[index].get();
    }
    const auto allOpen = [&remote] {
        return std::all_of(remote.begin(), remote.end(),
                           [](const auto &port) { return port->state() == PortCore::State::Open; });
    };
    QEventLoop opening;
    QTimer::singleShot(6000, &opening, &QEventLoop::quit);
    QTimer opened;
    QObject::connect(&opened, &QTimer::timeout, &opening, [&] {
        if (allOpen())
            opening.quit();
    });
    opened.start(20);
    opening.exec();
    opened.stop();
    if (!allOpen())
        return 3;

    std::printf("four ports at 921600 baud, %.0f s each run\n", seconds);
    double cpu = processusage::cpuSeconds(), serverCpu = processSeconds(server.processId());
    run(seconds, true, remotePtys, remotePorts);
    report("remote (RFC 2217, ser2net)", seconds, processusage::cpuSeconds() - cpu,
           processSeconds(server.processId()) - serverCpu, remotePtys);

    std::array<std::unique_ptr<PortCore>, portCount> local;
    std::array<SerialPort *, portCount> localPorts{};
    for (int index = 0; index < portCount; ++index) {
        local[index] = std::make_unique<PortCore>(std::make_unique<QtSerialTransport>());
        local[index]->setDevice(localPtys[index].slave);
        (void)local[index]->setSettings(QStringLiteral("921600,n,8,1"));
        (void)local[index]->setPortOpen(true);
        localPorts[index] = local[index].get();
    }
    cpu = processusage::cpuSeconds();
    run(seconds, true, localPtys, localPorts);
    report("local (Qt Serial Port, pty)", seconds, processusage::cpuSeconds() - cpu, 0, localPtys);

    for (auto &port : local)
        port.reset();
    cpu = processusage::cpuSeconds();
    serverCpu = processSeconds(server.processId());
    std::array<Pty, portCount> idle;
    run(seconds, false, remotePtys, remotePorts);
    report("remote, idle", seconds, processusage::cpuSeconds() - cpu,
           processSeconds(server.processId()) - serverCpu, idle);
    server.terminate();
    server.waitForFinished();
    qint64 lost = 0;
    for (const std::array<Pty, portCount> *ptys : {&remotePtys, &localPtys})
        for (const Pty &pty : *ptys)
            lost += pty.written - pty.checked + pty.mismatched;
    std::printf("goal (0 lost): %s\n", lost == 0 ? "met" : "MISSED");
    return lost == 0 ? 0 : 1;
}
