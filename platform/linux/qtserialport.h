#pragma once

#include "linesettings.h"
#include "portlimits.h"
#include "receivebuffer.h"
#include "serialport.h"
#include "utf8streamdecoder.h"

#include <QObject>
#include <QSerialPort>

// Where a port finds its device, asked afresh at every open.
class DeviceLocator
{
public:
    [[nodiscard]] virtual QString deviceToOpen(int channel) = 0;

protected:
    ~DeviceLocator() = default;
};

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
    // The device is looked up at every open, so that an adapter plugged in while the program runs is
    // found at the next tick.
    QtSerialPort(DeviceLocator &locator, int channel, QObject *parent = nullptr);
    explicit QtSerialPort(const QString &deviceName, QObject *parent = nullptr);
    ~QtSerialPort() override;

    // Why the last open did not work; None once one did.
    enum class OpenFailure { None, NoDevice, Busy, NoPermission, Driver };

    // The device the port has open; empty while it is closed, and from the moment its device went away.
    [[nodiscard]] QString openDevice() const;
    [[nodiscard]] bool isHungUp() const { return m_state == State::HungUp; }
    [[nodiscard]] OpenFailure openFailure() const { return m_failure; }
    // The driver's own words for a Driver failure.
    [[nodiscard]] QString driverError() const { return m_driverError; }
    // Opens a port whose device went away again, on the device its locator names now, with the settings,
    // handshaking and lines in force before; it stays hung up where that does not work.
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

    // Bytes taken from the driver since construction, and the part of them
    // that found the receive buffer full and was lost.
    [[nodiscard]] qint64 receivedBytes() const { return m_received.receivedBytes(); }
    [[nodiscard]] qint64 droppedBytes() const { return m_received.droppedBytes(); }

private:
    // HungUp: opened, but the device went away; only closing works.
    enum class State { Closed, Open, HungUp };

    bool open();
    [[nodiscard]] OpenFailure failureOfOpen() const;
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
    void drain();
    void watchReadNotifier();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void releaseHungUpDevice();

    DeviceLocator *m_locator = nullptr;
    int m_channel = 0;
    QString m_openDevice;
    QSerialPort *m_port;
    State m_state = State::Closed;
    OpenFailure m_failure = OpenFailure::None;
    QString m_driverError;
    LineSettings m_settings;
    qint32 m_handshaking = 0;
    bool m_dtr = false;
    bool m_rts = false;
    ReceiveBuffer m_received{receiveCapacity};
    Utf8StreamDecoder m_decoder;
};
