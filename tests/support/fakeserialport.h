#pragma once

#include "linesettings.h"
#include "serialport.h"

#include <QList>
#include <QSet>
#include <QString>

// A serial-port control for tests, with levers: refuse the open or any one
// property, set the input lines, inject received text; it records every write.
class FakeSerialPort final : public SerialPort
{
public:
    enum class Property {
        PortOpen, Settings, Handshaking, DtrEnable, RtsEnable,
        CdHolding, CtsHolding, DsrHolding, Input, Output,
    };

    struct Write
    {
        Property property;
        QString value;
        friend bool operator==(const Write &, const Write &) = default;
    };

    void refuse(Property property) { m_refused.insert(property); }
    void accept(Property property) { m_refused.remove(property); }
    void setLines(bool dcd, bool dsr, bool cts)
    {
        m_dcd = dcd;
        m_dsr = dsr;
        m_cts = cts;
    }
    void inject(const QString &text) { m_received += text; }
    // Reports a handshaking value no write would be allowed to set.
    void reportHandshaking(qint32 handshaking) { m_handshaking = handshaking; }

    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] const QList<Write> &writes() const { return m_writes; }
    [[nodiscard]] QStringList writesOf(Property property) const;
    void clearWrites() { m_writes.clear(); }

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

private:
    bool record(Property property, const QString &value);
    template<typename T>
    std::optional<T> answer(Property property, T value) const
    {
        if (m_refused.contains(property))
            return std::nullopt;
        return value;
    }

    QSet<Property> m_refused;
    QList<Write> m_writes;
    bool m_open = false;
    LineSettings m_settings;
    qint32 m_handshaking = 0;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_dcd = false;
    bool m_dsr = false;
    bool m_cts = false;
    QString m_received;
};
