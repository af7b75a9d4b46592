#include "rfc2217codec.h"

namespace {

[[nodiscard]] bool isVerb(quint8 byte)
{
    return byte >= telnet::will && byte <= telnet::dont;
}

} // namespace

// Runs of plain data are copied whole: at 921,600 baud nearly every byte is one.
void Rfc2217Codec::decode(QByteArrayView bytes, QByteArray &data, std::vector<TelnetEvent> &events)
{
    qsizetype at = 0;
    while (at < bytes.size() && m_state != State::Violated) {
        if (m_state == State::Data) {
            qsizetype end = bytes.indexOf(char(telnet::iac), at);
            end = end < 0 ? bytes.size() : end;
            data.append(bytes.sliced(at, end - at));
            at = end;
            if (at < bytes.size()) {
                m_state = State::Iac;
                ++at;
            }
            continue;
        }
        const quint8 byte = quint8(bytes[at++]);
        switch (m_state) {
        case State::Iac:
            m_state = isVerb(byte) || byte == telnet::sb ? State::Verb : State::Data;
            m_verb = byte;
            if (byte == telnet::iac)
                data.append(char(telnet::iac));
            break; // other commands (NOP, GA, ...) mean nothing here
        case State::Verb:
            if (m_verb != telnet::sb)
                events.push_back({m_verb, byte, {}});
            m_sub = QByteArray(1, char(byte));
            m_state = m_verb == telnet::sb ? State::Sub : State::Data;
            break;
        case State::Sub:
            if (byte == telnet::iac)
                m_state = State::SubIac;
            else if (m_sub.size() > maxSubnegotiation)
                violate();
            else
                m_sub.append(char(byte));
            break;
        case State::SubIac:
            if (byte == telnet::se) {
                events.push_back({telnet::sb, quint8(m_sub[0]), m_sub.sliced(1)});
                m_sub.clear();
                m_state = State::Data;
            } else if (byte == telnet::iac && m_sub.size() <= maxSubnegotiation) {
                m_sub.append(char(byte));
                m_state = State::Sub;
            } else {
                violate();
            }
            break;
        case State::Data:
        case State::Violated: break;
        }
    }
}

void Rfc2217Codec::violate()
{
    m_state = State::Violated;
    m_sub.clear();
}

QByteArray Rfc2217Codec::escaped(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() + data.count(char(telnet::iac)));
    for (const char byte : data) {
        out.append(byte);
        if (quint8(byte) == telnet::iac)
            out.append(byte);
    }
    return out;
}

QByteArray Rfc2217Codec::negotiation(quint8 verb, quint8 option)
{
    const char bytes[] = {char(telnet::iac), char(verb), char(option)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray Rfc2217Codec::command(ComPortCommand command, QByteArrayView value)
{
    const char head[] = {char(telnet::iac), char(telnet::sb), char(telnet::comPort), char(command)};
    const char tail[] = {char(telnet::iac), char(telnet::se)};
    return QByteArray(head, sizeof head) + escaped(value) + QByteArray(tail, sizeof tail);
}
