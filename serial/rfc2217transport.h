#pragma once

#include "rfc2217codec.h"
#include "transport.h"

#include <QList>
#include <QObject>
#include <QSslError>
#include <QTimer>

#include <array>
#include <deque>

class QTcpSocket;

// A serial port served by an RFC 2217 (Telnet COM Port Control) server, over TCP or TLS; the device is
// the address of the port on the server (see RemoteAddress).
//
// Opening runs in the background: open() hands back a pending result, and within five seconds the port
// hears through openEnded() whether the connection, the Telnet negotiation and the settings all went
// through. Once open, a change waits for the server's answers, reading this connection alone (nothing of
// the window runs meanwhile), for at most a second and a half: a setting the server answers with another
// value, or passes over, is refused; a server that answers nothing in that time is taken as lost, as if
// it had hung up, so the window never waits longer. Whatever the server sends is bounded: a malformed or
// overlong command ends the connection, notifications only overwrite the modem state, and the answers to
// options it offers are limited in number.
class Rfc2217Transport final : public QObject, public Transport
{
    Q_OBJECT
public:
    static constexpr int openTimeoutMs = 5000;
    static constexpr int answerTimeoutMs = 1500;

    explicit Rfc2217Transport(QObject *parent = nullptr);
    ~Rfc2217Transport() override;

    [[nodiscard]] StopBitsRule stopBitsRule() const override { return StopBitsRule::Any; }
    [[nodiscard]] OpenResult open(const QString &device, const PortConfig &config) override;
    void close() override;
    [[nodiscard]] bool configure(const PortConfig &config) override;
    [[nodiscard]] bool setLine(OutputLine line, bool asserted) override;
    [[nodiscard]] std::optional<bool> signalState(ModemSignal signal) override;
    [[nodiscard]] bool write(QByteArrayView bytes) override;
    [[nodiscard]] qint64 queued() const override;

private:
    // Announcing: the open went through and the port hears of it from the event loop.
    enum class Phase { Closed, Connecting, Negotiating, Configuring, Announcing, Open };
    enum class Side : quint8 { No, Asked, Yes };
    // What a command is to be answered with: its own value, any value of its kind, or, for the probe
    // that ends a batch, any value, after which whatever is still unanswered was passed over.
    enum class Answer { Same, Any, Last };
    struct Expected
    {
        ComPortCommand command;
        QByteArray value;
        Answer answer = Answer::Same;
    };

    [[nodiscard]] QTcpSocket *makeSocket(bool tls, const QList<QSslCertificate> &authorities);
    void connected();
    void readyRead();
    void restReading();
    void stopReadRest();
    void endReadRest();
    void failed();
    void openTimedOut();
    void readAvailable();
    void handle(const TelnetEvent &event);
    void negotiate(quint8 verb, quint8 option);
    void reply(quint8 verb, quint8 option);
    void answered(quint8 command, QByteArrayView value);
    void send(ComPortCommand command, QByteArray value, std::optional<Answer> answer = Answer::Same);
    void sendSettings(const PortConfig &config, const PortConfig *before);
    void sendProbe();
    [[nodiscard]] bool awaitAnswers();
    void settle();
    [[nodiscard]] bool brokeProtocol() const;
    void deliver(const QByteArray &data);
    void pump();
    void finishOpen(const OpenResult &result);
    void lose();
    void retire(bool graceful);

    QTcpSocket *m_socket = nullptr;
    QTimer m_openTimer;
    QTimer m_readRest;
    Phase m_phase = Phase::Closed;
    // Bumped whenever a connection ends, so that an announcement meant for it is dropped.
    quint64 m_generation = 0;
    Rfc2217Codec m_codec;
    std::array<Side, 256> m_we{};
    std::array<Side, 256> m_they{};
    int m_negotiationReplies = 0;
    bool m_heard = false;
    std::deque<Expected> m_expected;
    bool m_refused = false;
    PortConfig m_config;
    std::optional<quint8> m_modemState;
    // Escaped output not yet handed to the socket, so that a close can drop it.
    QByteArray m_outgoing;
    // What arrived between the open going through and the port hearing of it.
    QByteArray m_early;
    QList<QSslError> m_sslErrors;
};
