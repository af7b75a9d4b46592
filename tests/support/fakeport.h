#pragma once

#include "linesettings.h"
#include "serialport.h"

#include <QSet>
#include <QStringList>

// A serial-port control for tests. Every write lands in `log` as "name value", also when refused; a name
// in `refused` ("open", "settings", "handshaking", "dtr", "rts", "cd", "dsr", "cts", "input", "output")
// makes that access fail. The far end's lines and the text it sent are plain members.
class FakePort final : public SerialPort
{
public:
    QStringList log;
    QSet<QString> refused;
    bool open = false, dtr = false, rts = false, cd = false, dsr = false, cts = false;
    QString inForce = QStringLiteral("9600,n,8,1");
    qint32 handshake = 0;
    QString received;

    bool setPortOpen(bool value) override { return record(u"open", value) && (open = value, true); }
    bool setSettings(QStringView text) override
    {
        const std::optional<LineSettings> parsed = parseLineSettings(text);
        return record(u"settings", text.toString()) && parsed && (inForce = formatLineSettings(*parsed), true);
    }
    std::optional<QString> settings() const override { return read(u"settings", inForce); }
    bool setHandshaking(qint32 value) override
    {
        return record(u"handshaking", QString::number(value)) && value >= 0 && value <= 3 && (handshake = value, true);
    }
    std::optional<qint32> handshaking() const override { return read(u"handshaking", handshake); }
    bool setDtrEnable(bool value) override { return record(u"dtr", value) && (dtr = value, true); }
    std::optional<bool> dtrEnable() const override { return read(u"dtr", dtr); }
    bool setRtsEnable(bool value) override { return record(u"rts", value) && (rts = value, true); }
    std::optional<bool> rtsEnable() const override { return read(u"rts", rts); }
    std::optional<bool> cdHolding() const override { return read(u"cd", cd); }
    std::optional<bool> ctsHolding() const override { return read(u"cts", cts); }
    std::optional<bool> dsrHolding() const override { return read(u"dsr", dsr); }
    std::optional<QString> input() override
    {
        return refused.contains(QStringLiteral("input")) ? std::nullopt : std::optional(std::exchange(received, {}));
    }
    bool output(QStringView text) override { return record(u"output", text.toString()); }

private:
    bool record(QStringView name, const QString &value)
    {
        log << name.toString() + u' ' + value;
        return !refused.contains(name.toString());
    }
    bool record(QStringView name, bool value) { return record(name, QString::fromLatin1(value ? "true" : "false")); }
    template<typename T>
    std::optional<T> read(QStringView name, const T &value) const
    {
        return refused.contains(name.toString()) ? std::nullopt : std::optional<T>(value);
    }
};
