#include "rfc2217transport.h"

#include "portlimits.h"
#include "qstringfrom.h"
#include "remoteaddress.h"
#include "porttexts.h"

#include <QDeadlineTimer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QtEndian>

#include <algorithm>

namespace {

// The options both ends are to agree on: binary data both ways, no go-aheads, and the port control.
constexpr std::array<quint8, 3> agreedOptions{telnet::binary, telnet::suppressGoAhead, telnet::comPort};
// More replies than a server could want from honest negotiation: past them it is only making us talk.
constexpr int maxNegotiationReplies = 64;
// The socket is fed this much at a time, so that a close drops the rest unsent.
constexpr qsizetype socketWriteWindow = 64 * 1024;
// What a connection reads ahead of us; the server waits beyond it, as a UART's sender would.
constexpr qint64 socketReadBuffer = 256 * 1024;
// How long reading rests after each read of an open plain connection.
constexpr int readRestMs = 50;

// NOTIFY-MODEMSTATE bits: carrier detect, DSR, CTS, each with its change bit, so that a line falling
// to off is reported too. The ring indicator is left out: nothing shows it.
constexpr quint8 modemMask = 0x80 | 0x20 | 0x10 | 0x08 | 0x02 | 0x01;
constexpr quint8 dcdBit = 0x80, dsrBit = 0x20, ctsBit = 0x10;

// SET-CONTROL values.
constexpr quint8 noFlow = 1, xonXoffFlow = 2, hardwareFlow = 3, dtrOn = 8, dtrOff = 9, rtsOn = 11, rtsOff = 12;
constexpr quint8 purgeTransmit = 2, purgeBoth = 3;

// SET-PARITY values by ParityKind, SET-STOPSIZE values by StopBitsKind.
constexpr std::array<quint8, 5> parityValues{1, 3, 2, 5, 4};
constexpr std::array<quint8, 3> stopSizeValues{1, 3, 2};

// SET-CONTROL answers come back by kind: flow, break, DTR, RTS, inbound flow.
[[nodiscard]] int controlKind(quint8 value)
{
    return value <= 3 ? 0 : value <= 6 ? 1 : value <= 9 ? 2 : value <= 12 ? 3 : 4;
}

struct CertificateReason
{
    QSslError::SslError error;
    std::string_view text;
};
constexpr std::array<CertificateReason, 9> certificateReasons{{
    {QSslError::HostNameMismatch, texts::certificateOtherName},
    {QSslError::CertificateExpired, texts::certificateExpired},
    {QSslError::CertificateNotYetValid, texts::certificateNotYetValid},
    {QSslError::CertificateRevoked, texts::certificateRevoked},
    {QSslError::SelfSignedCertificate, texts::certificateUnknownIssuer},
    {QSslError::SelfSignedCertificateInChain, texts::certificateUnknownIssuer},
    {QSslError::UnableToGetLocalIssuerCertificate, texts::certificateUnknownIssuer},
    {QSslError::UnableToVerifyFirstCertificate, texts::certificateUnknownIssuer},
    {QSslError::CertificateUntrusted, texts::certificateUnknownIssuer},
}};

[[nodiscard]] QString certificateRefusal(const QSslError &error)
{
    const auto found = std::find_if(certificateReasons.begin(), certificateReasons.end(),
                                    [&](const CertificateReason &reason) { return reason.error == error.error(); });
    const std::string_view reason = found == certificateReasons.end() ? texts::certificateInvalid : found->text;
    return qs(texts::certificateRefusedLead) + qs(reason);
}

[[nodiscard]] std::string_view socketFailure(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError: return texts::hostNotFound;
    case QAbstractSocket::ConnectionRefusedError: return texts::connectionRefused;
    case QAbstractSocket::RemoteHostClosedError: return texts::serverClosed;
    case QAbstractSocket::SslHandshakeFailedError: return texts::tlsFailed;
    default: return texts::connectionFailed;
    }
}

[[nodiscard]] bool bothHandshakes(qint32 handshaking)
{
    const HandshakingMode mode = handshakingModes[std::size_t(handshaking)];
    return mode.rtsCts && mode.xonXoff;
}

[[nodiscard]] QByteArray byte(quint8 value)
{
    return QByteArray(1, char(value));
}

[[nodiscard]] QByteArray baudValue(qint32 baud)
{
    QByteArray value(4, Qt::Uninitialized);
    qToBigEndian(quint32(baud), value.data());
    return value;
}

} // namespace

Rfc2217Transport::Rfc2217Transport(QObject *parent) : QObject(parent)
{
    m_openTimer.setSingleShot(true);
    m_openTimer.setInterval(openTimeoutMs);
    connect(&m_openTimer, &QTimer::timeout, this, &Rfc2217Transport::openTimedOut);
    m_readRest.setSingleShot(true);
    m_readRest.setInterval(readRestMs);
    connect(&m_readRest, &QTimer::timeout, this, &Rfc2217Transport::endReadRest);
}

Rfc2217Transport::~Rfc2217Transport()
{
    retire(false);
}

OpenResult Rfc2217Transport::open(const QString &device, const PortConfig &config)
{
    close();
    const RemoteAddressParse parsed = RemoteAddressParse::from(device);
    if (!parsed.address)
        return OpenResult::failed(parsed.error);
    if (bothHandshakes(config.handshaking))
        return OpenResult::failed(qs(texts::bothHandshakes));
    QList<QSslCertificate> authorities;
    if (!parsed.address->caFile.isEmpty()) {
        authorities = QSslCertificate::fromPath(parsed.address->caFile, QSsl::Pem,
                                                QSslCertificate::PatternSyntax::FixedString);
        if (authorities.isEmpty())
            return OpenResult::failed(qs(texts::caFileUnreadable));
    }
    if (parsed.address->tls && !QSslSocket::supportsSsl())
        return OpenResult::failed(qs(texts::tlsFailed));
    m_config = config;
    m_codec = Rfc2217Codec();
    m_we = {};
    m_they = {};
    m_negotiationReplies = 0;
    m_heard = false;
    m_modemState.reset();
    m_socket = makeSocket(parsed.address->tls, authorities);
    m_phase = Phase::Connecting;
    m_openTimer.start();
    if (auto *tls = qobject_cast<QSslSocket *>(m_socket))
        tls->connectToHostEncrypted(parsed.address->host, parsed.address->port);
    else
        m_socket->connectToHost(parsed.address->host, parsed.address->port);
    return OpenResult::pending();
}

QTcpSocket *Rfc2217Transport::makeSocket(bool tls, const QList<QSslCertificate> &authorities)
{
    QTcpSocket *socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
    socket->setReadBufferSize(socketReadBuffer);
    if (auto *secure = qobject_cast<QSslSocket *>(socket)) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        if (!authorities.isEmpty())
            configuration.setCaCertificates(authorities);
        secure->setSslConfiguration(configuration);
        m_sslErrors.clear();
        connect(secure, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) { m_sslErrors = errors; });
        connect(secure, &QSslSocket::encrypted, this, &Rfc2217Transport::connected);
    } else {
        connect(socket, &QTcpSocket::connected, this, &Rfc2217Transport::connected);
    }
    connect(socket, &QTcpSocket::readyRead, this, &Rfc2217Transport::readyRead);
    connect(socket, &QTcpSocket::errorOccurred, this, &Rfc2217Transport::failed);
    connect(socket, &QTcpSocket::disconnected, this, &Rfc2217Transport::failed);
    connect(socket, &QTcpSocket::bytesWritten, this, &Rfc2217Transport::pump);
    return socket;
}

// The client offers the port control and binary data both ways, as RFC 2217 has it.
void Rfc2217Transport::connected()
{
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_phase = Phase::Negotiating;
    for (const quint8 option : agreedOptions) {
        m_we[option] = Side::Asked;
        m_socket->write(Rfc2217Codec::negotiation(telnet::will, option));
        if (option != telnet::comPort) {
            m_they[option] = Side::Asked;
            m_socket->write(Rfc2217Codec::negotiation(telnet::doIt, option));
        }
    }
}

void Rfc2217Transport::readyRead()
{
    if (m_readRest.isActive())
        return;
    readAvailable();
    settle();
    restReading();
}

// A server forwards a fast line in many small segments; the window shows what came only every 300 ms.
// So while a plain connection is open, reading rests a moment after each read, and the stream is taken
// in a few large reads: resting, the socket takes one byte more and then stops reading. (Not under TLS,
// whose records must be read whole.)
void Rfc2217Transport::restReading()
{
    if (m_phase != Phase::Open || qobject_cast<QSslSocket *>(m_socket))
        return;
    m_socket->setReadBufferSize(1);
    m_readRest.start();
}

void Rfc2217Transport::stopReadRest()
{
    m_readRest.stop();
    if (m_socket)
        m_socket->setReadBufferSize(socketReadBuffer);
}

// Reads what came meanwhile, which may be no more than the byte the socket holds.
void Rfc2217Transport::endReadRest()
{
    stopReadRest();
    if (m_socket && !m_socket->waitForReadyRead(0) && m_socket)
        readyRead();
}

void Rfc2217Transport::readAvailable()
{
    while (m_socket && m_socket->bytesAvailable() > 0 && !m_codec.violated()) {
        const QByteArray bytes = m_socket->read(socketWriteWindow);
        m_heard = true;
        QByteArray data;
        std::vector<TelnetEvent> events;
        m_codec.decode(bytes, data, events);
        for (const TelnetEvent &event : events) {
            handle(event);
            if (!m_socket)
                return;
        }
        deliver(data);
    }
}

// What the last bytes read lead to: the end of a connection that broke the protocol, the settings once
// the server agreed to the port control, the end of an open once it answered them all.
void Rfc2217Transport::settle()
{
    if (brokeProtocol()) {
        if (m_phase == Phase::Open)
            lose();
        else if (m_phase != Phase::Closed)
            finishOpen(OpenResult::failed(qs(texts::notRfc2217)));
        return;
    }
    if (m_phase == Phase::Negotiating && m_we[telnet::comPort] == Side::Yes) {
        m_phase = Phase::Configuring;
        m_refused = false;
        sendSettings(m_config, nullptr);
        send(ComPortCommand::SetLineStateMask, byte(0), std::nullopt);
        send(ComPortCommand::SetModemStateMask, byte(modemMask), std::nullopt);
        send(ComPortCommand::PurgeData, byte(purgeBoth), std::nullopt);
        send(ComPortCommand::NotifyModemState, {}, std::nullopt);
        sendProbe();
    }
    if (m_phase == Phase::Configuring && m_expected.empty())
        finishOpen(m_refused ? OpenResult::failed(qs(texts::settingsRefused)) : OpenResult::opened());
}

bool Rfc2217Transport::brokeProtocol() const
{
    return m_codec.violated() || m_negotiationReplies > maxNegotiationReplies;
}

void Rfc2217Transport::handle(const TelnetEvent &event)
{
    if (event.verb != telnet::sb) {
        negotiate(event.verb, event.option);
        return;
    }
    if (event.option == telnet::comPort && !event.payload.isEmpty() && quint8(event.payload[0]) >= telnet::serverOffset)
        answered(quint8(event.payload[0]) - telnet::serverOffset, QByteArrayView(event.payload).sliced(1));
}

// Each side of an option is No, Asked (we asked, no answer yet) or Yes; only a change of state is answered,
// so two ends never echo each other's requests back and forth (RFC 1143).
void Rfc2217Transport::negotiate(quint8 verb, quint8 option)
{
    const bool aboutUs = verb == telnet::doIt || verb == telnet::dont;
    const bool yes = verb == telnet::doIt || verb == telnet::will;
    const bool agreed = std::find(agreedOptions.begin(), agreedOptions.end(), option) != agreedOptions.end();
    Side &side = aboutUs ? m_we[option] : m_they[option];
    if (yes && !agreed)
        reply(aboutUs ? telnet::wont : telnet::dont, option);
    else if (yes && side == Side::No)
        reply(aboutUs ? telnet::will : telnet::doIt, option);
    else if (!yes && side == Side::Yes)
        reply(aboutUs ? telnet::wont : telnet::dont, option);
    if (agreed)
        side = yes ? Side::Yes : Side::No;
    if (option == telnet::comPort && aboutUs && !yes) {
        if (m_phase == Phase::Open)
            lose();
        else
            finishOpen(OpenResult::failed(qs(texts::notRfc2217)));
    }
}

void Rfc2217Transport::reply(quint8 verb, quint8 option)
{
    if (++m_negotiationReplies <= maxNegotiationReplies)
        m_socket->write(Rfc2217Codec::negotiation(verb, option));
}

// Commands of one kind are answered in the order they were asked, but not always before those of another
// kind asked later (ser2net purges at once and changes the line settings in turn). An answer goes to the
// first command of its kind still unanswered.
void Rfc2217Transport::answered(quint8 command, QByteArrayView value)
{
    if (command == quint8(ComPortCommand::NotifyModemState)) {
        if (!value.isEmpty())
            m_modemState = quint8(value[0]);
        return;
    }
    const auto sameKind = [&](const Expected &expected) {
        return quint8(expected.command) == command
               && (expected.command != ComPortCommand::SetControl
                   || (!value.isEmpty() && controlKind(quint8(expected.value[0])) == controlKind(quint8(value[0]))));
    };
    const auto found = std::find_if(m_expected.begin(), m_expected.end(), sameKind);
    if (found == m_expected.end())
        return;
    const bool sameValue = found->command == ComPortCommand::SetBaudRate && value.size() == 4
                               ? speedCloseEnough(qFromBigEndian<qint32>(found->value.constData()),
                                                  qFromBigEndian<qint32>(value.data()))
                               : found->value == value;
    m_refused = m_refused || (found->answer == Answer::Same && !sameValue);
    const bool last = found->answer == Answer::Last;
    m_expected.erase(found);
    if (last) {
        m_refused = m_refused || !m_expected.empty();
        m_expected.clear();
    }
}

void Rfc2217Transport::send(ComPortCommand command, QByteArray value, std::optional<Answer> answer)
{
    m_socket->write(Rfc2217Codec::command(command, value));
    if (answer)
        m_expected.push_back({command, std::move(value), *answer});
}

// What differs from `before`, or everything. A server may add a flow control to the one in force
// (pyserial's does), so a change of flow control clears it first; ser2net answers that clearing with
// the flow control in force when it gets to it, which may be the next one already.
void Rfc2217Transport::sendSettings(const PortConfig &config, const PortConfig *before)
{
    const auto changed = [&](auto member) { return !before || config.*member != before->*member; };
    const LineSettings &line = config.line;
    if (!before || line.baudRate != before->line.baudRate)
        send(ComPortCommand::SetBaudRate, baudValue(line.baudRate));
    if (!before || line.dataBits != before->line.dataBits)
        send(ComPortCommand::SetDataSize, byte(quint8(line.dataBits)));
    if (!before || line.parity != before->line.parity)
        send(ComPortCommand::SetParity, byte(parityValues[std::size_t(line.parity)]));
    if (!before || line.stopBits != before->line.stopBits)
        send(ComPortCommand::SetStopSize, byte(stopSizeValues[std::size_t(line.stopBits)]));
    const HandshakingMode mode = handshakingModes[std::size_t(config.handshaking)];
    if (changed(&PortConfig::handshaking)) {
        const bool flow = mode.rtsCts || mode.xonXoff;
        send(ComPortCommand::SetControl, byte(noFlow), flow ? Answer::Any : Answer::Same);
        if (mode.rtsCts) // handed over asserted, as a local port's
            send(ComPortCommand::SetControl, byte(rtsOn));
        if (flow)
            send(ComPortCommand::SetControl, byte(mode.rtsCts ? hardwareFlow : xonXoffFlow));
    }
    if (changed(&PortConfig::dtr))
        send(ComPortCommand::SetControl, byte(config.dtr ? dtrOn : dtrOff));
    if (!mode.rtsCts && (changed(&PortConfig::rts) || changed(&PortConfig::handshaking)))
        send(ComPortCommand::SetControl, byte(config.rts ? rtsOn : rtsOff));
}

// Asking for the speed in force is answered by every server, after the settings asked before it.
void Rfc2217Transport::sendProbe()
{
    send(ComPortCommand::SetBaudRate, baudValue(0), Answer::Last);
}

bool Rfc2217Transport::awaitAnswers()
{
    if (m_expected.empty())
        return true;
    stopReadRest();
    sendProbe();
    const QDeadlineTimer deadline(answerTimeoutMs);
    while (m_phase == Phase::Open && !m_expected.empty()) {
        if (deadline.hasExpired()) {
            lose();
            break;
        }
        m_socket->waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        readAvailable();
        if (m_phase == Phase::Open && brokeProtocol())
            lose();
    }
    return m_phase == Phase::Open && !m_refused;
}

bool Rfc2217Transport::configure(const PortConfig &config)
{
    if (m_phase != Phase::Open || bothHandshakes(config.handshaking))
        return false;
    m_refused = false;
    sendSettings(config, &m_config);
    m_config = config;
    return awaitAnswers();
}

bool Rfc2217Transport::setLine(OutputLine line, bool asserted)
{
    if (m_phase != Phase::Open)
        return false;
    m_refused = false;
    if (line == OutputLine::Dtr)
        m_config.dtr = asserted;
    else
        m_config.rts = asserted;
    const quint8 value = line == OutputLine::Dtr ? (asserted ? dtrOn : dtrOff) : (asserted ? rtsOn : rtsOff);
    send(ComPortCommand::SetControl, byte(value));
    return awaitAnswers();
}

// The server reports the inputs. Of RTS it tells nothing: under RTS/CTS it was handed over asserted.
std::optional<bool> Rfc2217Transport::signalState(ModemSignal signal)
{
    if (m_phase != Phase::Open)
        return std::nullopt;
    if (signal == ModemSignal::Rts)
        return m_config.rts || handshakingModes[std::size_t(m_config.handshaking)].rtsCts;
    if (!m_modemState)
        return std::nullopt;
    const quint8 bit = signal == ModemSignal::Dcd ? dcdBit : signal == ModemSignal::Dsr ? dsrBit : ctsBit;
    return (*m_modemState & bit) != 0;
}

bool Rfc2217Transport::write(QByteArrayView bytes)
{
    if (m_phase != Phase::Open)
        return false;
    m_outgoing += Rfc2217Codec::escaped(bytes);
    pump();
    return true;
}

qint64 Rfc2217Transport::queued() const
{
    return m_outgoing.size() + (m_socket ? m_socket->bytesToWrite() : 0);
}

void Rfc2217Transport::pump()
{
    while (m_socket && !m_outgoing.isEmpty() && m_socket->bytesToWrite() < socketWriteWindow) {
        const qsizetype chunk = std::min(m_outgoing.size(), socketWriteWindow);
        m_socket->write(m_outgoing.first(chunk));
        m_outgoing.remove(0, chunk);
    }
}

// Data that comes while the port hears of the open (a port that resumes may change settings at once,
// reading answers meanwhile) goes after what came before it.
void Rfc2217Transport::deliver(const QByteArray &data)
{
    const bool held = m_phase == Phase::Configuring || m_phase == Phase::Announcing
                      || (m_phase == Phase::Open && !m_early.isEmpty());
    if (m_phase == Phase::Open && !held && !data.isEmpty())
        events().received(data);
    else if (held)
        m_early.append(data.first(std::min(data.size(), receiveCapacity - m_early.size())));
}

void Rfc2217Transport::failed()
{
    // Reported by a wait for answers that ran out, which judges that itself.
    if (m_socket->error() == QAbstractSocket::SocketTimeoutError)
        return;
    if (m_phase == Phase::Open) {
        readAvailable(); // what the server sent before it went
        if (m_socket)
            lose();
        return;
    }
    const bool certificate = m_socket->error() == QAbstractSocket::SslHandshakeFailedError && !m_sslErrors.isEmpty();
    finishOpen(OpenResult::failed(certificate ? certificateRefusal(m_sslErrors.first())
                                              : qs(socketFailure(m_socket->error()))));
}

void Rfc2217Transport::openTimedOut()
{
    finishOpen(OpenResult::failed(qs(m_heard ? texts::notRfc2217 : texts::noAnswer)));
}

// The port hears of the end of an open from the event loop: open() has returned by then, and a port that
// starts configuring at once does so outside this transport's own reading.
void Rfc2217Transport::finishOpen(const OpenResult &result)
{
    m_openTimer.stop();
    if (result.status == OpenResult::Status::Opened)
        m_phase = Phase::Announcing;
    else
        retire(false);
    QMetaObject::invokeMethod(this, [this, result, generation = m_generation] {
        if (generation != m_generation)
            return;
        if (result.status == OpenResult::Status::Opened)
            m_phase = Phase::Open;
        events().openEnded(result);
        deliver(std::exchange(m_early, {}));
    }, Qt::QueuedConnection);
}

void Rfc2217Transport::lose()
{
    retire(false);
    events().hungUp();
}

// Unsent output goes, then the server is asked to drop its own and the output lines.
void Rfc2217Transport::close()
{
    if (m_phase == Phase::Open) {
        m_outgoing.clear();
        send(ComPortCommand::PurgeData, byte(purgeTransmit), std::nullopt);
        send(ComPortCommand::SetControl, byte(dtrOff), std::nullopt);
        if (!handshakingModes[std::size_t(m_config.handshaking)].rtsCts)
            send(ComPortCommand::SetControl, byte(rtsOff), std::nullopt);
    }
    retire(m_phase == Phase::Open);
}

// A socket let go finishes sending what it holds, for two seconds at most; nothing it reads reaches the
// port any more.
void Rfc2217Transport::retire(bool graceful)
{
    ++m_generation;
    m_phase = Phase::Closed;
    m_openTimer.stop();
    m_readRest.stop();
    m_expected.clear();
    m_outgoing.clear();
    m_early.clear();
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    disconnect(socket, nullptr, this, nullptr);
    if (!graceful) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(2000, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->flush();
    socket->disconnectFromHost();
}
