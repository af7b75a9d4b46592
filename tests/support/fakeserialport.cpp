#include "fakeserialport.h"

QStringList FakeSerialPort::writesOf(Property property) const
{
    QStringList values;
    for (const Write &write : m_writes) {
        if (write.property == property)
            values << write.value;
    }
    return values;
}

bool FakeSerialPort::record(Property property, const QString &value)
{
    m_writes.append({property, value});
    return !m_refused.contains(property);
}

static QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

bool FakeSerialPort::setPortOpen(bool open)
{
    if (!record(Property::PortOpen, boolText(open)))
        return false;
    m_open = open;
    return true;
}

bool FakeSerialPort::setSettings(QStringView settings)
{
    const auto parsed = parseLineSettings(settings);
    if (!record(Property::Settings, settings.toString()) || !parsed)
        return false;
    m_settings = *parsed;
    return true;
}

std::optional<QString> FakeSerialPort::settings() const
{
    return answer(Property::Settings, formatLineSettings(m_settings));
}

bool FakeSerialPort::setHandshaking(qint32 handshaking)
{
    if (!record(Property::Handshaking, QString::number(handshaking)) || handshaking < 0 || handshaking > 3)
        return false;
    m_handshaking = handshaking;
    return true;
}

std::optional<qint32> FakeSerialPort::handshaking() const
{
    return answer(Property::Handshaking, m_handshaking);
}

bool FakeSerialPort::setDtrEnable(bool enable)
{
    if (!record(Property::DtrEnable, boolText(enable)))
        return false;
    m_dtr = enable;
    return true;
}

std::optional<bool> FakeSerialPort::dtrEnable() const
{
    return answer(Property::DtrEnable, m_dtr);
}

bool FakeSerialPort::setRtsEnable(bool enable)
{
    if (!record(Property::RtsEnable, boolText(enable)))
        return false;
    m_rts = enable;
    return true;
}

std::optional<bool> FakeSerialPort::rtsEnable() const
{
    return answer(Property::RtsEnable, m_rts);
}

std::optional<bool> FakeSerialPort::cdHolding() const
{
    return answer(Property::CdHolding, m_dcd);
}

std::optional<bool> FakeSerialPort::ctsHolding() const
{
    return answer(Property::CtsHolding, m_cts);
}

std::optional<bool> FakeSerialPort::dsrHolding() const
{
    return answer(Property::DsrHolding, m_dsr);
}

std::optional<QString> FakeSerialPort::input()
{
    if (m_refused.contains(Property::Input))
        return std::nullopt;
    return std::exchange(m_received, QString());
}

bool FakeSerialPort::output(QStringView text)
{
    return record(Property::Output, text.toString());
}
