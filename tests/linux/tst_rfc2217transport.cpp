#include "linetext.h"
#include "portcore.h"
#include "rfc2217transport.h"
#include "servedpty.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using State = PortCore::State;

namespace {

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
    quint16 m_pyserialPort = ServedPty::freePort();
    quint16 m_tlsPort = ServedPty::freePort();
    std::unique_ptr<ServedPty> m_pyserial;
    std::unique_ptr<ServedPty> m_tls;
    QTcpServer m_fake;
    Play m_play = Play::Silent; // for the next connection

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
        m_pyserial = std::make_unique<ServedPty>(ServedPty::Server::Pyserial, m_pyserialPort);
        m_tls = std::make_unique<ServedPty>(ServedPty::Server::Ser2netTls, m_tlsPort);
        QVERIFY(m_pyserial->start() && m_tls->start());
        QVERIFY(m_fake.listen(QHostAddress::LocalHost));
        connect(&m_fake, &QTcpServer::newConnection, this,
                [this] { serve(m_fake.nextPendingConnection(), m_play); });
    }

    // pyserial's server raises RTS itself on a connection, which under RTS/CTS stays the server's,
    // and adds a flow control to the one in force unless it is cleared first. (The contract suite
    // runs over ser2net.)
    void pyserialServer()
    {
        const auto port = portOn(u"rfc2217://127.0.0.1:%1"_s.arg(m_pyserialPort));
        QVERIFY(port->setSettings(u"19200,e,7,2"_s) && port->setHandshaking(2)
                && port->setDtrEnable(true) && port->setPortOpen(true));
        QTRY_COMPARE(outcome(*port), u"2"_s);
        const auto line = [&] {
            return (lineText(m_pyserial->slaveTermios(), m_pyserial->slaveBaudRate()) + u' '
                    + outputsText(m_pyserial->lines()))
                .trimmed();
        };
        QCOMPARE(line(), u"19200 cs7 parenb cstopb crtscts dtr rts"_s);
        QVERIFY(port->setDtrEnable(false) && port->setHandshaking(1)
                && port->setSettings(u"1200,o,5,1"_s));
        QCOMPARE(line(), u"1200 cs5 parenb parodd ixon ixoff"_s);
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
        const quint16 other = play == Play::Absent ? ServedPty::freePort() : m_fake.serverPort();
        const auto port = portOn(address.arg(play == Play::Tls ? m_tlsPort : other));
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
