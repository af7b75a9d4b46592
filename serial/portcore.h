#pragma once

#include "receivebuffer.h"
#include "serialport.h"
#include "transport.h"
#include "utf8streamdecoder.h"

#include <QObject>

#include <memory>

// The serial-port control the handlers and the poll see, over any transport.
//
// Settings, handshaking and the DTR and RTS wishes are held here and may be written while the port is
// closed or waiting; they are put in force at the next open. A change the driver refuses is rolled back
// in full. Received bytes are kept as they arrive, so nothing is lost between two reads of the input,
// and what is queued to send is capped. When the device goes away the port waits: it keeps everything
// the user chose, shows once what arrived before, and its owner resumes it on the same device later.
class PortCore final : public QObject, public SerialPort, private TransportEvents
{
    Q_OBJECT
public:
    // Opening: a connection under way. Waiting: opened, then the device went away.
    enum class State { Closed, Opening, Open, Waiting };

    explicit PortCore(std::unique_ptr<Transport> transport, QObject *parent = nullptr);
    ~PortCore() override;

    [[nodiscard]] State state() const { return m_state; }
    // The device the next open takes, named by the port's owner.
    void setDevice(const QString &device) { m_device = device; }
    // What the port opens, has open or waits for.
    [[nodiscard]] const QString &device() const { return m_device; }
    // Why the last open did not work; empty since one did.
    [[nodiscard]] const QString &openFailure() const { return m_failure; }
    // Opens a waiting port again on the device, with the settings, handshaking and lines it had, then what
    // was chosen meanwhile; it goes on waiting where the device does not open.
    bool resume(const QString &device);
    [[nodiscard]] Transport &transport() { return *m_transport; }
    // Another way of reaching the device, for the opens to come; while the port is closed only.
    void setTransport(std::unique_ptr<Transport> transport);

    bool setPortOpen(bool open) override;
    bool setSettings(QStringView settings) override;
    std::optional<QString> settings() const override;
    bool setHandshaking(qint32 handshaking) override;
    std::optional<qint32> handshaking() const override;
    bool setDtrEnable(bool enable) override;
    std::optional<bool> dtrEnable() const override;
    bool setRtsEnable(bool enable) override;
    std::optional<bool> rtsEnable() const override;
    std::optional<bool> cdHolding() const override;
    std::optional<bool> ctsHolding() const override;
    std::optional<bool> dsrHolding() const override;
    std::optional<QString> input() override;
    bool output(QStringView text) override;

    // Bytes received since construction, and the part of them that found the receive buffer full.
    [[nodiscard]] qint64 receivedBytes() const { return m_received.receivedBytes(); }
    [[nodiscard]] qint64 droppedBytes() const { return m_received.droppedBytes(); }

Q_SIGNALS:
    // An open that was under way failed: the channel's box is to be unticked.
    void openFailed();

private:
    void received(QByteArrayView bytes) override;
    void hungUp() override;
    void openEnded(const OpenResult &result) override;

    bool open(State failedState);
    void opened();
    [[nodiscard]] bool change(const PortConfig &wanted);
    [[nodiscard]] bool rtsOwnedByDriver() const;
    [[nodiscard]] std::optional<bool> signalState(ModemSignal signal) const;
    void release();

    std::unique_ptr<Transport> m_transport;
    State m_state = State::Closed;
    // Where a pending open goes back to when it fails.
    State m_stateBeforeOpening = State::Closed;
    QString m_device;
    QString m_failure;
    PortConfig m_wanted;
    // What the driver took last; while waiting, m_wanted may have moved on.
    PortConfig m_inForce;
    ReceiveBuffer m_received;
    Utf8StreamDecoder m_decoder;
};
