#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// One serial-port control per channel. Every access can fail; a failure is
// handed back as a value (false or an empty optional), never thrown.
class SerialPort
{
public:
    virtual ~SerialPort() = default;

    [[nodiscard]] virtual bool setPortOpen(bool open) = 0;

    [[nodiscard]] virtual bool setSettings(QStringView settings) = 0;
    [[nodiscard]] virtual std::optional<QString> settings() const = 0;

    [[nodiscard]] virtual bool setHandshaking(qint32 handshaking) = 0;
    [[nodiscard]] virtual std::optional<qint32> handshaking() const = 0;

    [[nodiscard]] virtual bool setDtrEnable(bool enable) = 0;
    [[nodiscard]] virtual std::optional<bool> dtrEnable() const = 0;
    [[nodiscard]] virtual bool setRtsEnable(bool enable) = 0;
    [[nodiscard]] virtual std::optional<bool> rtsEnable() const = 0;

    [[nodiscard]] virtual std::optional<bool> cdHolding() const = 0;
    [[nodiscard]] virtual std::optional<bool> ctsHolding() const = 0;
    [[nodiscard]] virtual std::optional<bool> dsrHolding() const = 0;

    // Everything received since the previous read; empty when nothing arrived.
    [[nodiscard]] virtual std::optional<QString> input() = 0;
    // Queues the text for sending; fails, queuing nothing, when it does not fit whole.
    [[nodiscard]] virtual bool output(QStringView text) = 0;
};
