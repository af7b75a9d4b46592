#include "portcore.h"
#include "ptyline.h"
#include "rfc2217transport.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using State = PortCore::State;
using Inputs = QList<std::optional<bool>>; // DCD, DSR, CTS

namespace {

enum class Server { Ser2net, Pyserial, Ser2netTls };

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

std::unique_ptr<PortCore> portOn(const QString &address)
{
    auto port = std::make_unique<PortCore>(std::make_unique<Rfc2217Transport>());
    port->setDevice(address);
    return port;
}

// The state it ended in (0 closed, 2 open, 3 waiting) and why an open failed.
QString outcome(const PortCore &port)
{
    return (QString::number(int(port.state())) + u' ' + port.openFailure()).trimmed();
}

// A pty whose slave a real RFC 2217 server on loopback serves, in the test's folder. The server's
// preloaded shim keeps the pty's modem lines and asked size and parity in a file mapped here too.
class FarEnd
{
public:
    explicit FarEnd(Server server)
        : m_server(server), m_port(QString::number(freePort())), m_line(m_port)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        (void)(m_line.open(QIODevice::ReadWrite) && m_line.resize(sizeof(ptyline::Shared)));
        m_shared = reinterpret_cast<ptyline::Shared *>(m_line.map(0, sizeof(ptyline::Shared)));
        *m_shared = {0, CS8};
    }
    ~FarEnd()
    {
        stop();
        ::close(m_master);
        ::close(m_slave);
    }

    bool start()
    {
        const QString tls = m_server == Server::Ser2netTls
            ? u"ssl(key=server.key,cert=server.pem),"_s : QString();
        m_process.startCommand(u"env LD_PRELOAD=" MODEM_SHIM " VELMORA_PTY_LINE=%1 "_s.arg(m_port)
                               + (m_server == Server::Pyserial
                                      ? u"/usr/bin/python3 " PYSERIAL_SERVER " -p %1 %2"_s
                                      : u"ser2net -n -u -Y \"connection: &c#  accepter: "
                                        "telnet(rfc2217),%3tcp,127.0.0.1,%1#  connector: "
                                        "serialdev,%2,9600n81,local\""_s)
                                     .arg(m_port, QString::fromLocal8Bit(::ptsname(m_master)),
                                          tls));
        // Listening on 127.0.0.1 (0100007F) in state 0A.
        const QByteArray entry = "0100007F:" + QByteArray::number(m_port.toInt(), 16).toUpper()
            + " 00000000:0000 0A";
        return QTest::qWaitFor([&] {
            QFile table(u"/proc/net/tcp"_s);
            return table.open(QIODevice::ReadOnly) && table.readAll().contains(entry);
        }, 5000);
    }
    void stop()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished();
    }

    [[nodiscard]] QString address() const { return u"rfc2217://127.0.0.1:"_s + m_port; }
    [[nodiscard]] const QString &port() const { return m_port; }
    [[nodiscard]] int &lines() { return m_shared->lines; }

    // The line as the server left it, e.g. "19200 cs7 parenb cstopb crtscts dtr".
    [[nodiscard]] QString described() const
    {
        ptyline::Termios2 tio{};
        ::ioctl(m_slave, ptyline::getTermios2, &tio);
        const tcflag_t c = (tio.flags[2] & ~ptyline::keptBits) | m_shared->cflag;
        const tcflag_t lines = m_shared->lines;
        const std::pair<tcflag_t, const char *> flags[]{
            {c & PARENB, " parenb"},        {c & PARODD, " parodd"},
            {c & CSTOPB, " cstopb"},        {c & CRTSCTS, " crtscts"},
            {tio.flags[0] & IXON, " ixon"}, {lines & TIOCM_DTR, " dtr"},
            {lines & TIOCM_RTS, " rts"}};
        QString text = u"%1 cs%2"_s.arg(tio.ospeed).arg(5 + (c & CSIZE) / CS6);
        for (const auto &[on, name] : flags)
            text += QLatin1StringView(on ? name : "");
        return text;
    }

    [[nodiscard]] bool write(QByteArrayView bytes) const
    {
        return ::write(m_master, bytes.data(), bytes.size()) == bytes.size();
    }
    [[nodiscard]] QByteArray read() const
    {
        char bytes[64];
        return QByteArray(bytes, std::max<ssize_t>(::read(m_master, bytes, sizeof bytes), 0));
    }

private:
    Server m_server;
    QString m_port;
    QFile m_line;
    int m_master = -1;
    int m_slave = -1;
    ptyline::Shared *m_shared = nullptr;
    QProcess m_process;
};

// How a server of the test's own, in this thread, plays: answering as RFC 2217 asks only while
// the test waits in the event loop, so never a change asked for while open, and a moment after
// the open went through (the speed asked for last) playing foul.
enum class Play { Absent, Tls, Silent, Text, RefuseComPort, NegotiationFlood, LiesAboutSpeed,
                  Answers, EndlessSubnegotiation, OddFrames };

} // namespace

// The RFC 2217 transport under a port core, against ser2net and pyserial's server over a pty, and
// against a server of the test's own that fails or misbehaves; each server serves every case.
class TestRfc2217Transport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FarEnd> m_far[3]; // by Server
    QTcpServer m_fake;
    Play m_play = Play::Silent; // for the next connection

    FarEnd &far(Server server) { return *m_far[int(server)]; }

    void serve(QTcpSocket *client, Play play)
    {
        client->write(play == Play::Text             ? "SSH-2.0-OpenSSH_9.2\r\n"
                      : play == Play::RefuseComPort ? "\xff\xfe\x2c"
                      : play == Play::Silent        ? ""
                                                    : "\xff\xfd\x2c");
        const int flood = play == Play::NegotiationFlood ? 999 : 0;
        client->write(QByteArray("\xff\xfd\x63").repeated(flood));
        const auto answer = [client, play, codec = Rfc2217Codec()]() mutable {
            QByteArray data;
            std::vector<TelnetEvent> events;
            codec.decode(client->readAll(), data, events);
            for (const TelnetEvent &event : events) {
                if (event.verb != telnet::sb)
                    continue;
                QByteArray value = event.payload.sliced(1);
                const bool probe = value == QByteArray(4, 0);
                if (play == Play::LiesAboutSpeed && value.size() == 4 && !probe)
                    value = QByteArray::fromHex("0001c200");
                client->write(Rfc2217Codec::command(ComPortCommand(event.payload[0] + 100), value));
                if (!probe)
                    continue;
                // Empty or unasked-for answers and notifications, of this option or another.
                QByteArray foul = QByteArray::fromHex("fffa2cfff0fffa2c6bfff0fffa2c6cfff0fffa01"
                                                      "fff0").repeated(play == Play::OddFrames);
                if (play == Play::EndlessSubnegotiation)
                    foul = "\xff\xfa\x2c\x6b" + QByteArray(1 << 20, 'x');
                QTimer::singleShot(200, client, [client, foul] { client->write(foul); });
            }
        };
        connect(client, &QTcpSocket::readyRead, client, answer);
    }

private Q_SLOTS:
    // A test authority and a certificate it signed for 127.0.0.1, for ser2net's TLS accepter.
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const auto request = [](const QString &subject) {
            return QProcess::execute(u"openssl"_s,
                                     (u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                      "-nodes -days 2 -subj /CN="_s + subject).split(u' '));
        };
        QCOMPARE(request(u"VelmoraCA -keyout ca.key -out ca.pem"_s), 0);
        QCOMPARE(request(u"127.0.0.1 -keyout server.key -out server.pem -CA ca.pem -CAkey ca.key "
                         "-addext subjectAltName=IP:127.0.0.1"_s),
                 0);
        for (const Server server : {Server::Ser2net, Server::Pyserial, Server::Ser2netTls})
            QVERIFY((m_far[int(server)] = std::make_unique<FarEnd>(server))->start());
        QVERIFY(m_fake.listen(QHostAddress::LocalHost));
        connect(&m_fake, &QTcpServer::newConnection, this,
                [this] { serve(m_fake.nextPendingConnection(), m_play); });
    }

    // Settings and lines at the open and while open. ser2net passes over 1.5 stop bits, which is
    // refused in full. pyserial's server raises RTS itself on a connection, which under RTS/CTS
    // stays the server's, and adds a flow control to the one in force unless it is cleared first.
    void settings_data()
    {
        QTest::addColumn<Server>("server");
        QTest::addColumn<QString>("atOpen");
        QTest::addColumn<QString>("settings"); // then asked for, with XON/XOFF and DTR dropped
        QTest::addColumn<QString>("described");
        QTest::newRow("ser2net") << Server::Ser2net << u"19200 cs7 parenb cstopb crtscts dtr"_s
                                 << u"1200,o,5,1.5"_s << u"refused 19200 cs7 parenb cstopb ixon"_s;
        QTest::newRow("pyserial") << Server::Pyserial
                                  << u"19200 cs7 parenb cstopb crtscts dtr rts"_s
                                  << u"1200,o,5,1"_s << u"1200 cs5 parenb parodd ixon"_s;
    }
    void settings()
    {
        QFETCH(Server, server);
        QFETCH(QString, settings);
        const auto port = portOn(far(server).address());
        QVERIFY(port->setSettings(u"19200,e,7,2"_s) && port->setHandshaking(2)
                && port->setDtrEnable(true) && port->setPortOpen(true));
        QTRY_COMPARE(outcome(*port), u"2"_s);
        QTEST(far(server).described(), "atOpen");
        const bool taken = port->setDtrEnable(false) && port->setHandshaking(1)
            && port->setSettings(settings);
        QTEST((taken ? u""_s : u"refused "_s) + far(server).described(), "described");
    }

    // CTS, DSR and DCD as the far end raises them (ser2net samples them once a second), bytes
    // both ways, 0xFF among them. (Both servers drop DTR and RTS themselves when a client goes.)
    void linesAndData()
    {
        FarEnd &far = this->far(Server::Ser2net);
        const auto port = portOn(far.address());
        QVERIFY(port->setPortOpen(true));
        QTRY_COMPARE(outcome(*port), u"2"_s);
        const auto inputs = [&] {
            return Inputs{port->cdHolding(), port->dsrHolding(), port->ctsHolding()};
        };
        far.lines() = TIOCM_CTS | TIOCM_CAR;
        QTRY_COMPARE_WITH_TIMEOUT(inputs(), Inputs({true, false, true}), 4000);
        far.lines() = TIOCM_DSR;
        QTRY_COMPARE_WITH_TIMEOUT(inputs(), Inputs({false, true, false}), 4000);
        QVERIFY(far.write("a\xff"));
        QTRY_COMPARE(port->receivedBytes(), 2);
        QVERIFY(port->transport().write("\xff\x00\xffz"_ba));
        QByteArray sent;
        QTRY_COMPARE(sent += far.read(), "\xff\x00\xffz"_ba);
    }

    // A server that goes away is a hang-up; a resume while it is down fails back to waiting, one
    // once it is back opens with the settings and DTR that were in force.
    void hangUpAndResume()
    {
        FarEnd &far = this->far(Server::Ser2net);
        const auto port = portOn(far.address());
        QVERIFY(port->setSettings(u"38400,o,8,2"_s) && port->setDtrEnable(true)
                && port->setPortOpen(true));
        QTRY_COMPARE(outcome(*port), u"2"_s);
        far.stop();
        QTRY_COMPARE(outcome(*port), u"3"_s);
        QVERIFY(port->resume(far.address()) && port->state() == State::Opening);
        QTRY_COMPARE(outcome(*port), u"3 соединение отклонено"_s);
        QVERIFY(far.start() && port->resume(far.address()));
        QTRY_COMPARE(outcome(*port), u"2"_s);
        QCOMPARE(far.described(), u"38400 cs8 parenb parodd cstopb dtr"_s);
    }

    // How an open ends against a server that is none, breaks the protocol, or whose certificate
    // is checked against the authority the address names, the system's, and for the name the
    // address gives; once open, whether a change of speed is taken and the state after. Nothing
    // reaches a closed port.
    void opening_data()
    {
        QTest::addColumn<QString>("address"); // %1 the port
        QTest::addColumn<Play>("play");
        QTest::addColumn<QString>("outcome");
        const QString plain = u"rfc2217://127.0.0.1:%1"_s;
        const QString notRfc2217 = u"0 не сервер RFC 2217"_s;
        QTest::newRow("nothingListens") << plain << Play::Absent << u"0 соединение отклонено"_s;
        QTest::newRow("silent") << plain << Play::Silent << u"0 сервер не отвечает"_s;
        QTest::newRow("text") << plain << Play::Text << notRfc2217;
        QTest::newRow("refuseComPort") << plain << Play::RefuseComPort << notRfc2217;
        QTest::newRow("negotiationFlood") << plain << Play::NegotiationFlood << notRfc2217;
        QTest::newRow("liesAboutSpeed") << plain << Play::LiesAboutSpeed
                                        << u"0 сервер не принял настройки"_s;
        QTest::newRow("answersNoChange") << plain << Play::Answers << u"2 refused 3"_s;
        QTest::newRow("endlessSubnegotiation") << plain << Play::EndlessSubnegotiation << u"3"_s;
        QTest::newRow("oddFrames") << plain << Play::OddFrames << u"2 refused 3"_s;
        QTest::newRow("tlsTrusted")
            << u"rfc2217+tls://127.0.0.1:%1?ca=ca.pem"_s << Play::Tls << u"2 taken 2"_s;
        QTest::newRow("tlsSystemAuthorities")
            << u"rfc2217+tls://127.0.0.1:%1"_s << Play::Tls
            << u"0 сертификат сервера отклонён: выдан неизвестным центром сертификации"_s;
        QTest::newRow("tlsOtherName")
            << u"rfc2217+tls://localhost:%1?ca=ca.pem"_s << Play::Tls
            << u"0 сертификат сервера отклонён: выдан для другого имени"_s;
        QTest::newRow("tlsNoCaFile") << u"rfc2217+tls://127.0.0.1:%1?ca=none.pem"_s << Play::Tls
                                     << u"0 файл центров сертификации не читается"_s;
    }
    void opening()
    {
        QFETCH(QString, address);
        QFETCH(Play, play);
        m_play = play;
        const quint16 other = play == Play::Absent ? freePort() : m_fake.serverPort();
        const auto port = portOn(address.arg(play == Play::Tls ? far(Server::Ser2netTls).port()
                                                               : QString::number(other)));
        (void)port->setPortOpen(true);
        QTRY_VERIFY_WITH_TIMEOUT(port->state() != State::Opening, 6000);
        QTest::qWait(500);
        QString seen = outcome(*port);
        if (port->state() == State::Open) {
            seen += port->setSettings(u"19200,n,8,1"_s) ? u" taken "_s : u" refused "_s;
            seen += outcome(*port);
        }
        QTEST(seen, "outcome");
        const qint64 received = port->receivedBytes();
        QVERIFY(port->setPortOpen(false));
        QTest::qWait(300);
        QCOMPARE(port->receivedBytes(), received);
    }
};

QTEST_GUILESS_MAIN(TestRfc2217Transport)
#include "tst_rfc2217transport.moc"
