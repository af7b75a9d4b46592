#pragma once

#include "linesettings.h"
#include "receivebuffer.h"
#include "serialport.h"
#include "utf8streamdecoder.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

// The serial-port control over the Win32 communications calls, for one COM number.
//
// Settings, handshaking and the DTR and RTS wishes are held by the object and may be written while the
// port is closed; they are put in force at the next open. A read is always pending while the port is
// open, so received bytes are taken from the driver whenever the event loop runs; writes go out in the
// background and never hold the caller.
class WinSerialPort final : public QObject, public SerialPort
{
    Q_OBJECT
public:
    explicit WinSerialPort(QString comName, QObject *parent = nullptr);
    ~WinSerialPort() override;

    [[nodiscard]] const QString &comName() const { return m_comName; }
    // Opened and not closed since, whether or not the device is still there.
    [[nodiscard]] bool isOpen() const { return m_state != State::Closed; }
    [[nodiscard]] bool isHungUp() const { return m_state == State::HungUp; }
    // Opens a port whose device went away again, with the settings, handshaking and lines in force
    // before; it stays hung up where that does not work.
    bool reopen();

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

    // Bytes taken from the driver since construction, and the part of them that found the receive
    // buffer full and was lost.
    [[nodiscard]] qint64 receivedBytes() const { return m_received.receivedBytes(); }
    [[nodiscard]] qint64 droppedBytes() const { return m_received.droppedBytes(); }

private:
    // HungUp: opened, but the device went away; only closing works.
    enum class State { Closed, Open, HungUp };
    struct Device;

    bool open();
    void close();
    void release();
    [[nodiscard]] bool change(const LineSettings &settings, qint32 handshaking);
    [[nodiscard]] bool putInForce(const LineSettings &settings, qint32 handshaking);
    [[nodiscard]] bool setLine(bool dtr, bool enable);
    [[nodiscard]] std::optional<bool> holding(unsigned long line) const;
    void startRead();
    void readDone();
    void startWrite();
    void writeDone();
    void hangUp();

    QString m_comName;
    std::unique_ptr<Device> m_device;
    State m_state = State::Closed;
    LineSettings m_settings;
    qint32 m_handshaking = 0;
    bool m_dtr = false;
    bool m_rts = false;
    ReceiveBuffer m_received;
    Utf8StreamDecoder m_decoder;
    // Handed to the driver and not yet reported sent, and what waits behind it.
    QByteArray m_writing;
    QByteArray m_unsent;
};
