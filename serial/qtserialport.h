#pragma once

#include "linesettings.h"
#include "receivebuffer.h"
#include "serialport.h"
#include "utf8streamdecoder.h"

#include <QObject>
#include <QSerialPort>

#include <functional>

// The serial-port control over QSerialPort.
//
// Settings, handshaking and the DTR and RTS wishes are held by the object and
// may be written while the port is closed; they are put in force at the next
// open. Received bytes are drained from the driver whenever the event loop
// runs, so nothing is lost between two reads of the input.
class QtSerialPort final : public QObject, public SerialPort
{
    Q_OBJECT
public:
    // About eleven seconds at 921,600 baud, some thirty-six 300 ms polls.
    static constexpr qsizetype receiveCapacity = qsizetype(1) << 20;
    // Counted together with what QSerialPort still holds for the driver.
    static constexpr qsizetype transmitCapacity = qsizetype(4) << 20;

    // Works out the device afresh at every open, so that an adapter plugged in
    // while the program runs is found at the next tick.
    using DeviceResolver = std::function<QString()>;

    explicit QtSerialPort(DeviceResolver device, QObject *parent = nullptr);
    explicit QtSerialPort(const QString &deviceName, QObject *parent = nullptr);
    ~QtSerialPort() override;

    // The device the port has open; empty while it is closed.
    [[nodiscard]] QString openDevice() const;

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

    // Bytes taken from the driver since construction, and the part of them
    // that found the receive buffer full and was lost.
    [[nodiscard]] qint64 receivedBytes() const { return m_received.receivedBytes(); }
    [[nodiscard]] qint64 droppedBytes() const { return m_received.droppedBytes(); }

private:
    // HungUp: opened, but the device went away; only closing works.
    enum class State { Closed, Open, HungUp };

    bool open();
    void close();
    [[nodiscard]] bool change(const LineSettings &settings, qint32 handshaking);
    [[nodiscard]] bool putInForce(const LineSettings &settings, qint32 handshaking);
    [[nodiscard]] bool applyLineSettings(const LineSettings &settings);
    void handOverRts(qint32 handshaking);
    [[nodiscard]] bool driverTookSpeed(qint32 baudRate) const;
    // What QSerialPort leaves undone; due after each of its writes.
    [[nodiscard]] bool completeAtDriver(const LineSettings &settings, qint32 handshaking);
    [[nodiscard]] bool setLine(QSerialPort::PinoutSignal line, bool enable, bool &wanted);
    [[nodiscard]] bool applyLine(QSerialPort::PinoutSignal line, bool enable);
    [[nodiscard]] std::optional<bool> holding(QSerialPort::PinoutSignal line) const;
    [[nodiscard]] bool deviceUsable();
    [[nodiscard]] bool deviceGone() const;
    void drain();
    void watchReadNotifier();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void onError(QSerialPort::SerialPortError error);
    void hangUp();
    void releaseHungUpDevice();

    DeviceResolver m_device;
    QString m_openDevice;
    QSerialPort *m_port;
    State m_state = State::Closed;
    // Errors that QSerialPort raises inside our own calls are answered by
    // those calls; any other comes from its event-loop reading or writing.
    mutable bool m_inCall = false;
    LineSettings m_settings;
    qint32 m_handshaking = 0;
    bool m_dtr = false;
    bool m_rts = false;
    ReceiveBuffer m_received{receiveCapacity};
    Utf8StreamDecoder m_decoder;
};
