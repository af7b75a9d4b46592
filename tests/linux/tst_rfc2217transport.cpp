#include "portcore.h"
#include "rfc2217transport.h"
#include "servedpty.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Opened with RTS/CTS, then changed to XON/XOFF: the state (0 closed, 2 open, 3 waiting) and
// why an open failed, after each, and the line of a served pty left open.
QString openAndChange(const QString &address, const ServedPty *served = nullptr)
{
    PortCore port(std::make_unique<Rfc2217Transport>());
    port.setDevice(address);
    QString seen;
    const auto see = [&] {
        seen += QString::number(int(port.state())) + u' ' + port.openFailure() + u' ';
        return port.state() == PortCore::State::Open;
    };
    (void)(port.setHandshaking(2) && port.setPortOpen(true));
    (void)QTest::qWaitFor([&] { return port.state() != PortCore::State::Opening; }, 6000);
    QTest::qWait(500);
    if (see()) {
        seen += port.setHandshaking(1) ? u"taken "_s : u"refused "_s;
        if (see() && served)
            seen += served->lineInForce();
    }
    return seen.simplified();
}

} // namespace

// The RFC 2217 transport under a port core, against real servers over a pty and against a server
// of the test's own that fails or misbehaves. (The contract suite runs over ser2net.)
class TestRfc2217Transport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QTcpServer m_own;
    ServedPty m_pyserial{ServedPty::Server::Pyserial};
    ServedPty m_tls{ServedPty::Server::Ser2netTls};

    // The test's own server plays the current row of ownServer(): what it says at the connection,
    // the speed it says it took whatever it was asked, if any, and what it says a moment after
    // the open went through (the speed asked for last, as 0). It answers each command with the
    // value asked for, but only while the test waits in the event loop, so never a change asked
    // for while open.
    void play()
    {
        QTcpSocket *client = m_own.nextPendingConnection();
        QFETCH(QByteArrayList, says);
        client->write(QByteArray::fromHex(says.value(0)));
        connect(client, &QTcpSocket::readyRead, client, [=, codec = Rfc2217Codec()]() mutable {
            QByteArray data;
            std::vector<TelnetEvent> events;
            codec.decode(client->readAll(), data, events);
            for (const TelnetEvent &event : events) {
                QByteArray value = event.payload.mid(1);
                if (value == QByteArray(4, 0))
                    QTimer::singleShot(200, client,
                                       [=] { client->write(QByteArray::fromHex(says.value(2))); });
                if (value.size() == 4 && !says.value(1).isEmpty())
                    value = QByteArray::fromHex(says[1]);
                if (event.verb == telnet::sb)
                    client->write(
                        Rfc2217Codec::command(ComPortCommand(event.payload[0] + 100), value));
            }
        });
    }

private Q_SLOTS:
    // A certificate for 127.0.0.1, its own authority, for ser2net's TLS accepter.
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QCOMPARE(QProcess::execute(u"openssl"_s,
                                   u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                   "-nodes -subj /CN=Velmora -keyout server.key -out server.pem "
                                   "-addext subjectAltName=IP:127.0.0.1"_s.split(u' ')),
                 0);
        QVERIFY(m_pyserial.start() && m_tls.start() && m_own.listen(QHostAddress::LocalHost));
        connect(&m_own, &QTcpServer::newConnection, this, &TestRfc2217Transport::play);
    }

    // pyserial's server adds a flow control to the one in force unless it is cleared first.
    void pyserialServer()
    {
        QCOMPARE(openAndChange(u"rfc2217://127.0.0.1:%1"_s.arg(m_pyserial.port()), &m_pyserial),
                 u"2 taken 2 9600 cs8 ixon ixoff"_s);
    }

    // The certificate is checked against the authority the address names, else the system's,
    // and for the name the address gives.
    void tls_data()
    {
        // %1 the port
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("trusted") << u"127.0.0.1:%1?ca=server.pem"_s << u"2 taken 2"_s;
        QTest::newRow("systemAuthorities")
            << u"127.0.0.1:%1"_s
            << u"0 сертификат сервера отклонён: выдан неизвестным центром сертификации"_s;
        QTest::newRow("otherName")
            << u"localhost:%1?ca=server.pem"_s
            << u"0 сертификат сервера отклонён: выдан для другого имени"_s;
        QTest::newRow("unreadableCaFile")
            << u"127.0.0.1:%1?ca=none.pem"_s << u"0 файл центров сертификации не читается"_s;
    }
    void tls()
    {
        QFETCH(QString, address);
        QTEST(openAndChange(u"rfc2217+tls://"_s + address.arg(m_tls.port())), "outcome");
    }

    // A server that is none, breaks the protocol, lies, withdraws or floods. Bytes in hex.
    void ownServer_data()
    {
        QTest::addColumn<QByteArrayList>("says");
        QTest::addColumn<QString>("outcome");
        const QByteArray comPort = "fffd2c"_ba;
        const QString notRfc2217 = u"0 не сервер RFC 2217"_s;
        QTest::newRow("silent") << QByteArrayList{} << u"0 сервер не отвечает"_s;
        QTest::newRow("text") << QByteArrayList{"SSH-2.0"_ba.toHex()} << notRfc2217;
        QTest::newRow("negotiationFlood")
            << QByteArrayList{comPort + "fffd63"_ba.repeated(999)} << notRfc2217;
        QTest::newRow("liesAboutSpeed")
            << QByteArrayList{comPort, "0001c200"} << u"0 сервер не принял настройки"_s;
        QTest::newRow("withdrawsComPort") << QByteArrayList{comPort, {}, "fffe2c"} << u"3"_s;
        QTest::newRow("endlessSubnegotiation")
            << QByteArrayList{comPort, {}, "fffa2c6b" + QByteArray(1 << 20, 'x').toHex()}
            << u"3"_s;
        // Empty or unasked-for answers and notifications, of this option or another.
        QTest::newRow("oddFrames")
            << QByteArrayList{comPort + "fffa2cfff0fffa2c6bfff0fffa2c6cfff0fffa01fff0"}
            << u"2 refused 3"_s;
    }
    void ownServer()
    {
        QTEST(openAndChange(u"rfc2217://127.0.0.1:%1"_s.arg(m_own.serverPort())), "outcome");
    }
};

QTEST_GUILESS_MAIN(TestRfc2217Transport)
#include "tst_rfc2217transport.moc"
