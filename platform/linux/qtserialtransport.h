#pragma once

#include "transport.h"

#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

// A local serial device over QSerialPort, with what QSerialPort leaves undone done at the driver.
class QtSerialTransport final : public QObject, public Transport
{
    Q_OBJECT
public:
    explicit QtSerialTransport(QObject *parent = nullptr);
    ~QtSerialTransport() override;

    StopBitsRule stopBitsRule() const override { return StopBitsRule::NoOneAndHalf; }
    OpenResult open(const QString &device, const PortConfig &config) override;
    void close() override;
    bool configure(const PortConfig &config) override;
    bool setLine(OutputLine line, bool asserted) override;
    std::optional<bool> signalState(ModemSignal signal) override;
    bool write(QByteArrayView bytes) override;
    qint64 queued() const override;

private:
    [[nodiscard]] bool putInForce(const PortConfig &config);
    [[nodiscard]] bool completeAtDriver(const PortConfig &config);
    [[nodiscard]] bool driverTookSpeed(qint32 baudRate) const;
    void handOverLines(const PortConfig &config);
    [[nodiscard]] QString failureReason(const QString &device) const;
    void readArrived();
    void endReadRest();
    void drain();
    void watchReadNotifier();
    bool eventFilter(QObject *watched, QEvent *event) override;

    QSerialPort *m_port;
    QPointer<QSocketNotifier> m_readNotifier;
    QTimer m_readRest;
    // The device went away: it takes no more requests, and is only closed.
    bool m_gone = false;
};
