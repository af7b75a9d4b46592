#include "portcore.h"
#include "ptyline.h"
#include "rfc2217transport.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using State = PortCore::State;

namespace {

enum class Server { Ser2net, Pyserial, Ser2netTls };

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

bool listening(quint16 port)
{
    QFile table(u"/proc/net/tcp"_s);
    const QByteArray line
        = u"0100007F:%1 00000000:0000 0A"_s.arg(int(port), 4, 16, QChar(u'0')).toUpper().toLatin1();
    return table.open(QIODevice::ReadOnly) && table.readAll().contains(line);
}

// A pty whose slave a real RFC 2217 server on loopback serves. The server's preloaded shim keeps
// the pty's modem lines and asked character size and parity in a file mapped here too.
class FarEnd
{
public:
    explicit FarEnd(Server server) : m_server(server), m_port(freePort())
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
        m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio = slaveTermios();
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
        QFile line(m_dir.filePath(u"line"_s));
        const ptyline::Shared initial{0, CS8};
        line.open(QIODevice::WriteOnly);
        line.write(reinterpret_cast<const char *>(&initial), sizeof initial);
        line.close();
        const int fd = ::open(QFile::encodeName(line.fileName()).constData(), O_RDWR | O_CLOEXEC);
        m_shared = static_cast<ptyline::Shared *>(
            ::mmap(nullptr, sizeof initial, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        ::close(fd);
    }
    ~FarEnd()
    {
        stop();
        ::munmap(m_shared, sizeof *m_shared);
        ::close(m_master);
        ::close(m_slave);
    }

    bool start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LD_PRELOAD"_s, QStringLiteral(MODEM_SHIM));
        environment.insert(u"VELMORA_PTY_LINE"_s, m_dir.filePath(u"line"_s));
        m_process.setProcessEnvironment(environment);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        if (m_server == Server::Pyserial) {
            m_process.start(
                u"/usr/bin/python3"_s,
                {QStringLiteral(PYSERIAL_SERVER), QString::number(m_port), m_slavePath});
        } else {
            const QString tls = u"ssl(key=%1,cert=%2),"_s.arg(m_dir.filePath(u"server.key"_s),
                                                               m_dir.filePath(u"server.pem"_s));
            QFile config(m_dir.filePath(u"ser2net.yaml"_s));
            config.open(QIODevice::WriteOnly);
            config.write(u"connection: &velmora\n  accepter: telnet(rfc2217),%1tcp,127.0.0.1,%2\n"
                         "  connector: serialdev,%3,9600n81,local\n"_s
                             .arg(m_server == Server::Ser2netTls ? tls : QString())
                             .arg(m_port)
                             .arg(m_slavePath)
                             .toUtf8());
            config.close();
            m_process.start(
                u"ser2net"_s,
                {u"-n"_s, u"-u"_s, u"-c"_s, config.fileName(), u"-P"_s, m_dir.filePath(u"pid"_s)});
        }
        return m_process.waitForStarted()
            && QTest::qWaitFor([this] { return listening(m_port); }, 5000);
    }
    void stop()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished();
    }

    [[nodiscard]] QString address() const { return u"rfc2217://127.0.0.1:%1"_s.arg(m_port); }
    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] QString folder() const { return m_dir.path(); }
    [[nodiscard]] int &lines() { return m_shared->lines; }

    // A test authority, and a key and certificate it signed for 127.0.0.1, in the far end's folder.
    [[nodiscard]] bool makeCertificates() const
    {
        QFile extension(m_dir.filePath(u"extension"_s));
        const bool written = extension.open(QIODevice::WriteOnly)
            && extension.write("subjectAltName=IP:127.0.0.1\n") > 0;
        extension.close();
        const auto openssl = [this](const QString &arguments) {
            QProcess process;
            process.setWorkingDirectory(m_dir.path());
            process.start(u"openssl"_s, arguments.split(u' '));
            return process.waitForFinished() && process.exitCode() == 0;
        };
        const QString key = u"-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"_s;
        return written
            && openssl(u"req -x509 %1 -keyout ca.key -out ca.pem -subj /CN=VelmoraCA"_s.arg(key))
            && openssl(u"req %1 -keyout server.key -out server.csr -subj /CN=127.0.0.1"_s.arg(key))
            && openssl(u"x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
                       "-out server.pem -days 2 -extfile extension"_s);
    }

    // The line as the server left it, e.g. "19200 cs7 parenb cstopb crtscts dtr".
    [[nodiscard]] QString described() const
    {
        const termios tio = slaveTermios();
        const std::pair<speed_t, int> speeds[]
            = {{B1200, 1200}, {B9600, 9600}, {B19200, 19200}, {B38400, 38400}};
        int speed = 0;
        for (const auto &[code, baud] : speeds)
            speed = ::cfgetospeed(&tio) == code ? baud : speed;
        const tcflag_t cflag = (tio.c_cflag & ~ptyline::keptBits) | m_shared->cflag;
        QString text = u"%1 cs%2"_s.arg(speed).arg(5 + (cflag & CSIZE) / CS6);
        const std::pair<tcflag_t, QString> flags[] = {{PARENB, u" parenb"_s},
                                                      {PARODD, u" parodd"_s},
                                                      {CSTOPB, u" cstopb"_s},
                                                      {CRTSCTS, u" crtscts"_s}};
        for (const auto &[flag, name] : flags)
            text += cflag & flag ? name : QString();
        text += tio.c_iflag & IXON ? u" ixon"_s : QString();
        return text + (m_shared->lines & TIOCM_DTR ? u" dtr"_s : u""_s)
            + (m_shared->lines & TIOCM_RTS ? u" rts"_s : u""_s);
    }

    [[nodiscard]] bool write(const QByteArray &bytes) const
    {
        return ::write(m_master, bytes.constData(), bytes.size()) == bytes.size();
    }
    [[nodiscard]] QByteArray read(qsizetype count) const
    {
        QByteArray bytes;
        char chunk[4096];
        (void)QTest::qWaitFor(
            [&] {
                for (ssize_t got; (got = ::read(m_master, chunk, sizeof chunk)) > 0;)
                    bytes.append(chunk, got);
                return bytes.size() >= count;
            },
            3000);
        return bytes;
    }

private:
    [[nodiscard]] termios slaveTermios() const
    {
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        return tio;
    }

    Server m_server;
    quint16 m_port;
    QTemporaryDir m_dir;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    ptyline::Shared *m_shared = nullptr;
    QProcess m_process;
};

// A server of the test's own: quiet, talking nonsense, or answering as RFC 2217 asks and, a moment
// after the open went through (the speed asked for last), playing foul.
enum class Play { Silent, Text, RefuseComPort, NegotiationFlood, LiesAboutSpeed, GoesQuiet,
                  EndlessSubnegotiation, NotificationFlood, Garbage };

class FakeServer final : public QTcpServer
{
public:
    explicit FakeServer(Play play) : m_play(play)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            m_client = nextPendingConnection();
            greet();
            connect(m_client, &QTcpSocket::readyRead, this,
                    [this] { answer(m_client->readAll()); });
        });
    }

private:
    void greet()
    {
        if (m_play == Play::Text)
            m_client->write("SSH-2.0-OpenSSH_9.2\r\n");
        for (int flood = m_play == Play::NegotiationFlood ? 100000 : 0; flood > 0; --flood)
            m_client->write("\xff\xfd\x63");
    }
    void answer(const QByteArray &bytes)
    {
        QByteArray data;
        std::vector<TelnetEvent> events;
        m_codec.decode(bytes, data, events);
        for (const TelnetEvent &event : events) {
            if (event.verb == telnet::will && event.option == telnet::comPort
                && m_play != Play::Silent)
                m_client->write(m_play == Play::RefuseComPort ? "\xff\xfe\x2c" : "\xff\xfd\x2c");
            if (event.verb != telnet::sb || m_play < Play::NegotiationFlood || m_quiet)
                continue;
            QByteArray value = event.payload.sliced(1);
            const bool speed = event.payload[0] == char(ComPortCommand::SetBaudRate);
            if (speed && m_play == Play::LiesAboutSpeed && value != QByteArray(4, 0))
                value = QByteArray::fromHex("00002580");
            m_client->write(Rfc2217Codec::command(ComPortCommand(event.payload[0] + 100), value));
            if (speed && value == QByteArray(4, 0) && !std::exchange(m_opened, true))
                QTimer::singleShot(200, this, &FakeServer::playFoul);
        }
    }
    void playFoul()
    {
        m_quiet = m_play == Play::GoesQuiet;
        if (m_play == Play::EndlessSubnegotiation)
            m_client->write("\xff\xfa\x2c\x6b" + QByteArray(1 << 20, 'x'));
        for (int flood = m_play == Play::NotificationFlood ? 100000 : 0; flood > 0; --flood)
            m_client->write(
                Rfc2217Codec::command(ComPortCommand(107), QByteArray(1, char(flood & 0x10))));
        if (m_play == Play::Garbage) {
            QByteArray garbage(1 << 20, Qt::Uninitialized);
            QRandomGenerator random(2217);
            std::generate(garbage.begin(), garbage.end(),
                          [&random] { return char(random.bounded(256)); });
            m_client->write(garbage);
        }
    }

    Play m_play;
    QTcpSocket *m_client = nullptr;
    Rfc2217Codec m_codec;
    bool m_opened = false;
    bool m_quiet = false;
};

// In a thread of its own, as the transport waits for answers reading only its own connection.
class FakeServerThread final : public QThread
{
public:
    explicit FakeServerThread(Play play)
        : m_play(play)
    {
        start();
        m_listening.acquire();
    }
    ~FakeServerThread() override
    {
        quit();
        wait();
    }
    [[nodiscard]] QString address() const { return u"rfc2217://127.0.0.1:%1"_s.arg(m_port); }

private:
    void run() override
    {
        FakeServer server(m_play);
        m_port = server.serverPort();
        m_listening.release();
        exec();
    }

    Play m_play;
    quint16 m_port = 0;
    QSemaphore m_listening;
};

std::unique_ptr<PortCore> portOn(const QString &address)
{
    auto port = std::make_unique<PortCore>(std::make_unique<Rfc2217Transport>());
    port->setDevice(address);
    return port;
}

} // namespace

// The RFC 2217 transport under a port core, against ser2net and pyserial's server over a pty, and
// against servers of the test's own that fail or misbehave.
class TestRfc2217Transport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Settings and lines at the open and while open, CTS, DSR and DCD as the far end raises them
    // (ser2net samples them once a second), bytes both ways, a close dropping DTR and RTS. ser2net
    // passes over 1.5 stop bits, which is refused in full; pyserial's server takes them as 2. It
    // also raises RTS itself on a connection, which under RTS/CTS stays the server's.
    void settingsAndLines_data()
    {
        QTest::addColumn<Server>("server");
        QTest::addColumn<QString>("atOpen");
        QTest::addColumn<QString>("oneAndHalf");
        QTest::newRow("ser2net") << Server::Ser2net << u"19200 cs7 parenb cstopb crtscts dtr"_s
                                 << u"refused 1200 cs5 parenb parodd ixon rts"_s;
        QTest::newRow("pyserial") << Server::Pyserial
                                  << u"19200 cs7 parenb cstopb crtscts dtr rts"_s
                                  << u"1200 cs5 parenb parodd cstopb ixon rts"_s;
    }
    void settingsAndLines()
    {
        QFETCH(Server, server);
        FarEnd far(server);
        QVERIFY(far.start());
        const auto port = portOn(far.address());
        QVERIFY(port->setSettings(u"19200,e,7,2"_s) && port->setHandshaking(2)
                && port->setDtrEnable(true));
        QVERIFY(port->setPortOpen(true) && port->state() == State::Opening);
        QTRY_VERIFY(port->state() != State::Opening);
        QCOMPARE(port->openFailure(), QString());
        QTEST(far.described(), "atOpen");

        far.lines() = TIOCM_CTS | TIOCM_CAR;
        const auto inputs = [&] {
            const auto text = [](std::optional<bool> on) {
                return on ? (*on ? u"on "_s : u"off "_s) : u"? "_s;
            };
            return text(port->cdHolding()) + text(port->dsrHolding()) + text(port->ctsHolding());
        };
        QTRY_COMPARE_WITH_TIMEOUT(inputs(), u"on off on "_s, 4000);
        far.lines() = TIOCM_DSR;
        QTRY_COMPARE_WITH_TIMEOUT(inputs(), u"off on off "_s, 4000);

        QVERIFY(port->setSettings(u"1200,o,5,1"_s) && port->setHandshaking(1)
                && port->setRtsEnable(true));
        QVERIFY(port->setDtrEnable(false));
        QCOMPARE(far.described(), u"1200 cs5 parenb parodd ixon rts"_s);
        const bool taken = port->setSettings(u"1200,o,5,1.5"_s);
        QTEST((taken ? u""_s : u"refused "_s) + far.described(), "oneAndHalf");
        QCOMPARE(*port->settings(), taken ? u"1200,o,5,1.5"_s : u"1200,o,5,1"_s);

        QVERIFY(far.write("a\xff\xff" "b\xc3\xa9"));
        QString received;
        QTRY_VERIFY((received += port->input().value_or(QString())) == u"a\ufffd\ufffdb\u00e9"_s);
        QVERIFY(port->transport().write("\xff\x00\xffz"_ba));
        QCOMPARE(far.read(4), "\xff\x00\xffz"_ba);

        QVERIFY(port->setPortOpen(false));
        QTRY_COMPARE(far.lines() & (TIOCM_DTR | TIOCM_RTS), 0);
    }

    // A server that goes away is a hang-up; the port resumes at most once a second: while the
    // server is down the attempt fails back to waiting, once it is back the port opens with what
    // was in force. What came before the hang-up is shown once, also while a resume is under way.
    void hangUpAndResume_data()
    {
        QTest::addColumn<Server>("server");
        QTest::newRow("ser2net") << Server::Ser2net;
        QTest::newRow("pyserial") << Server::Pyserial;
    }
    void hangUpAndResume()
    {
        QFETCH(Server, server);
        FarEnd far(server);
        QVERIFY(far.start());
        const auto port = portOn(far.address());
        QVERIFY(port->setSettings(u"38400,o,8,2"_s) && port->setDtrEnable(true)
                && port->setRtsEnable(true));
        QVERIFY(port->setPortOpen(true));
        QTRY_COMPARE(port->state(), State::Open);
        QVERIFY(far.write("tail"));
        QTRY_COMPARE(port->receivedBytes(), 4);
        far.stop();
        QStringList states;
        const auto seen = [&] { states << QString::number(int(port->state())); };
        QTRY_COMPARE(port->state(), State::Waiting);
        QVERIFY(port->resume(far.address()));
        seen();
        QCOMPARE(port->input(),
                 u"tail"_s); // what came before the hang-up, once, even while resuming
        QTRY_COMPARE(port->state(), State::Waiting);
        QVERIFY(far.start());
        QVERIFY(port->resume(far.address()));
        seen();
        QTRY_COMPARE(port->state(), State::Open);
        QCOMPARE(states.join(u','), u"1,1"_s);
        QCOMPARE(far.described(), u"38400 cs8 parenb parodd cstopb dtr rts"_s);
    }

    // ser2net's TLS accepter: its certificate checked against a test authority named in the
    // address, against the system's, and for the name the address gives; bytes both ways once
    // it is trusted.
    void tls_data()
    {
        QTest::addColumn<QString>("address"); // %1 the port, %2 the far end's folder
        QTest::addColumn<QString>("outcome");
        QTest::newRow("trusted") << u"rfc2217+tls://127.0.0.1:%1?ca=%2/ca.pem"_s << u"x\u00ff"_s;
        QTest::newRow("systemAuthorities")
            << u"rfc2217+tls://127.0.0.1:%1"_s
            << u"сертификат сервера отклонён: выдан неизвестным центром сертификации"_s;
        QTest::newRow("otherName") << u"rfc2217+tls://localhost:%1?ca=%2/ca.pem"_s
                                   << u"сертификат сервера отклонён: выдан для другого имени"_s;
        QTest::newRow("noCaFile") << u"rfc2217+tls://127.0.0.1:%1?ca=%2/none.pem"_s
                                  << u"файл центров сертификации не читается"_s;
    }
    void tls()
    {
        QFETCH(QString, address);
        FarEnd far(Server::Ser2netTls);
        QVERIFY(far.makeCertificates() && far.start());
        const auto port = portOn(address.arg(far.port()).arg(far.folder()));
        (void)port->setPortOpen(true);
        QTRY_VERIFY_WITH_TIMEOUT(port->state() != State::Opening, 6000);
        if (port->state() == State::Open) {
            QVERIFY(far.write("x\xc3\xbf"));
            QString received;
            QTRY_VERIFY((received += port->input().value_or(QString())).size() == 2);
            QVERIFY(port->transport().write("\xff\xfe"_ba));
            QCOMPARE(far.read(2), "\xff\xfe"_ba);
            QTEST(received, "outcome");
        } else {
            QTEST(port->openFailure(), "outcome");
        }
    }

    // What becomes of a port whose server is none, or one that breaks the protocol: the state it
    // ends in (0 closed, 2 open, 3 waiting) with the reason of a failed open, or, once open,
    // whether a change of speed was taken, the CTS last seen, and the state after. Nothing reaches
    // a closed port.
    void misbehavingServer_data()
    {
        QTest::addColumn<std::optional<Play>>("play");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("nothingListens") << std::optional<Play>() << u"0 соединение отклонено"_s;
        QTest::newRow("silent") << std::optional(Play::Silent) << u"0 сервер не отвечает"_s;
        QTest::newRow("text") << std::optional(Play::Text) << u"0 не сервер RFC 2217"_s;
        QTest::newRow("refuseComPort")
            << std::optional(Play::RefuseComPort) << u"0 не сервер RFC 2217"_s;
        QTest::newRow("negotiationFlood")
            << std::optional(Play::NegotiationFlood) << u"0 не сервер RFC 2217"_s;
        QTest::newRow("liesAboutSpeed")
            << std::optional(Play::LiesAboutSpeed) << u"2 refused cts ? 2"_s;
        QTest::newRow("goesQuiet") << std::optional(Play::GoesQuiet) << u"2 refused cts ? 3"_s;
        QTest::newRow("endlessSubnegotiation")
            << std::optional(Play::EndlessSubnegotiation) << u"3"_s;
        QTest::newRow("notificationFlood")
            << std::optional(Play::NotificationFlood) << u"2 taken cts off 2"_s;
        QTest::newRow("garbage") << std::optional(Play::Garbage) << u"3"_s;
    }
    void misbehavingServer()
    {
        QFETCH(std::optional<Play>, play);
        FakeServerThread fake(play.value_or(Play::Silent));
        const auto port
            = portOn(play ? fake.address() : u"rfc2217://127.0.0.1:%1"_s.arg(freePort()));
        QVERIFY(port->setPortOpen(true));
        QTRY_VERIFY_WITH_TIMEOUT(port->state() != State::Opening, 6000);
        QTest::qWait(500);
        QString outcome = QString::number(int(port->state())) + u' ' + port->openFailure();
        if (port->state() == State::Open) {
            outcome += port->setSettings(u"19200,n,8,1"_s) ? u"taken"_s : u"refused"_s;
            const std::optional<bool> cts = port->ctsHolding();
            outcome += cts ? (*cts ? u" cts on "_s : u" cts off "_s) : u" cts ? "_s;
            outcome += QString::number(int(port->state()));
        }
        QTEST(outcome.trimmed(), "outcome");
        const qint64 received = port->receivedBytes();
        QVERIFY(port->setPortOpen(false));
        QTest::qWait(300);
        QCOMPARE(port->receivedBytes(), received);
    }
};

QTEST_GUILESS_MAIN(TestRfc2217Transport)
#include "tst_rfc2217transport.moc"
