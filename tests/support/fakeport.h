#pragma once

#include "linesettings.h"
#include "serialport.h"

#include <QStringList>
#include <QVariant>

// A serial-port control for tests. Every write lands in `log` as "name value", also when refused; a
// name in `refused` ("open", "settings", "handshaking", "dtr", "rts", "output") makes that write
// fail, and `readsFail` every read. The far end's lines and the text it sent are plain members.
class FakePort final : public SerialPort
{
public:
    QStringList log;
    QByteArrayList refused;
    bool readsFail = false;
    bool open = false, dtr = false, rts = false, cd = false, dsr = false, cts = false;
    QString inForce, received, sent;
    qint32 handshake = 0;

    bool setPortOpen(bool value) override { return set("open", value, open); }
    bool setSettings(QStringView text) override
    {
        return set("settings", text.toString(), inForce, bool(parseLineSettings(text)));
    }
    bool setHandshaking(qint32 value) override { return set("handshaking", value, handshake); }
    bool setDtrEnable(bool value) override { return set("dtr", value, dtr); }
    bool setRtsEnable(bool value) override { return set("rts", value, rts); }
    bool output(QStringView text) override { return set("output", text.toString(), sent); }
    std::optional<QString> input() override { return get(std::exchange(received, {})); }
// A read of `member`.
#define FAKEPORT_READ(Type, function, member) \
    std::optional<Type> function() const override { return get(member); }
    FAKEPORT_READ(QString, settings, inForce)
    FAKEPORT_READ(qint32, handshaking, handshake)
    FAKEPORT_READ(bool, dtrEnable, dtr)
    FAKEPORT_READ(bool, rtsEnable, rts)
    FAKEPORT_READ(bool, cdHolding, cd)
    FAKEPORT_READ(bool, ctsHolding, cts)
    FAKEPORT_READ(bool, dsrHolding, dsr)
#undef FAKEPORT_READ

private:
    template<typename T>
    bool set(const char *name, const T &value, T &member, bool valid = true)
    {
        log << QLatin1String(name) + u' ' + QVariant(value).toString();
        return !refused.contains(name) && valid && (member = value, true);
    }
    template<typename T>
    std::optional<T> get(const T &value) const
    {
        return readsFail ? std::nullopt : std::optional(value);
    }
};
