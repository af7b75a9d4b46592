#pragma once

#include "linesettings.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

// What a port puts in force at the driver: the line settings, the handshaking number and the DTR and RTS
// wishes (under RTS/CTS the driver owns RTS, whatever the wish).
struct PortConfig
{
    LineSettings line;
    qint32 handshaking = 0;
    bool dtr = false;
    bool rts = false;

    friend bool operator==(const PortConfig &, const PortConfig &) = default;
};

// How an open ended. `reason` is the Russian phrase a box shows after the device when it did not open
// ("занят другой программой"); a pending open (a connection under way) ends later, through
// TransportEvents::openEnded.
struct OpenResult
{
    enum class Status { Opened, Pending, Failed };
    Status status = Status::Failed;
    QString reason;

    [[nodiscard]] static OpenResult opened() { return {Status::Opened, {}}; }
    [[nodiscard]] static OpenResult pending() { return {Status::Pending, {}}; }
    [[nodiscard]] static OpenResult failed(QString reason) { return {Status::Failed, std::move(reason)}; }
};

// Which stop bits a driver takes, beyond what the settings grammar accepts.
enum class StopBitsRule {
    NoOneAndHalf, // termios has none
    DcbPairs,     // one and a half with five data bits only, two with any number but five
    Any,          // the far end decides
};

[[nodiscard]] constexpr bool stopBitsAllowed(StopBitsRule rule, const LineSettings &settings)
{
    switch (rule) {
    case StopBitsRule::NoOneAndHalf: return settings.stopBits != StopBitsKind::OneAndHalf;
    case StopBitsRule::DcbPairs:
        return settings.stopBits == StopBitsKind::One
            || (settings.stopBits == StopBitsKind::OneAndHalf) == (settings.dataBits == 5);
    case StopBitsRule::Any: return true;
    }
    return false;
}

enum class OutputLine { Dtr, Rts };
// The lines a port reads: the three inputs, and RTS as the driver drives it under RTS/CTS.
enum class ModemSignal { Dcd, Dsr, Cts, Rts };

// What a transport tells the port above it, as it happens.
class TransportEvents
{
public:
    virtual void received(QByteArrayView bytes) = 0;
    // The device went away or the connection broke; the transport is then only closed.
    virtual void hungUp() = 0;
    // A pending open ended: opened, or failed with its reason.
    virtual void openEnded(const OpenResult &result) = 0;

protected:
    ~TransportEvents() = default;
};

// One way of reaching a serial port: a local driver, or a port served over the network. It opens,
// puts settings in force, reads, writes and drives lines; what the port wants and what it keeps across a
// hang-up is the port core's.
class Transport
{
public:
    virtual ~Transport() = default;

    // The port that hears of what the transport notices; set once, by that port.
    void attach(TransportEvents &events) { m_events = &events; }

    [[nodiscard]] virtual StopBitsRule stopBitsRule() const = 0;

    // Opens the device with the configuration in force from the first byte on.
    [[nodiscard]] virtual OpenResult open(const QString &device, const PortConfig &config) = 0;
    // Drops unsent output and both output lines first, where the device is still there.
    virtual void close() = 0;
    // Puts a whole configuration in force on the open device; false when the driver refused any part of
    // it, which may leave a part taken.
    [[nodiscard]] virtual bool configure(const PortConfig &config) = 0;
    [[nodiscard]] virtual bool setLine(OutputLine line, bool asserted) = 0;
    [[nodiscard]] virtual std::optional<bool> signalState(ModemSignal signal) = 0;
    // Hands the bytes to the driver, all or none; what it has not sent yet counts in queued().
    [[nodiscard]] virtual bool write(QByteArrayView bytes) = 0;
    [[nodiscard]] virtual qint64 queued() const = 0;

protected:
    [[nodiscard]] TransportEvents &events() const { return *m_events; }

private:
    TransportEvents *m_events = nullptr;
};
