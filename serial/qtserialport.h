#pragma once

#include "serialport.h"

#include <QObject>

// The serial-port control over QSerialPort.
class QtSerialPort final : public QObject, public SerialPort
{
    Q_OBJECT
public:
    explicit QtSerialPort(const QString &deviceName, QObject *parent = nullptr);
    ~QtSerialPort() override;

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
};
