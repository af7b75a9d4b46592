#pragma once

#include "transport.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <memory>

// A COM port over the Win32 communications calls. A read is always pending while the port is open, so
// received bytes are taken from the driver whenever the event loop runs; writes go out in the background
// and never hold the caller.
class WinCommTransport final : public QObject, public Transport
{
    Q_OBJECT
public:
    WinCommTransport();
    ~WinCommTransport() override;

    // The device is a COM name, "COM3".
    OpenResult open(const QString &device, const PortConfig &config) override;
    void close() override;
    bool configure(const PortConfig &config) override;
    bool write(QByteArrayView bytes) override;
    qint64 queued() const override;
    bool setLine(OutputLine line, bool asserted) override;
    std::optional<bool> signalState(ModemSignal signal) override;
    StopBitsRule stopBitsRule() const override { return StopBitsRule::DcbPairs; }

private:
    struct Device;

    void startRead();
    void readDone();
    void startWrite();
    void writeDone();
    void failedRequest();
    void hangUp();

    std::unique_ptr<Device> m_device;
    // Handed to the driver and not yet reported sent, and what waits behind it.
    QByteArray m_writing;
    QByteArray m_unsent;
    // Reads that ended with nothing, and status requests that failed, in a row: a driver that keeps
    // doing either has lost its device, whatever it says.
    int m_emptyReads = 0;
    int m_failedRequests = 0;
    QTimer m_readAgain;
};
