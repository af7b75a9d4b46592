#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// The Telnet codes RFC 2217 needs (RFC 854, 855, 856, 858).
namespace telnet {
inline constexpr quint8 se = 240, sb = 250, will = 251, wont = 252, doIt = 253, dont = 254, iac = 255;
inline constexpr quint8 binary = 0, suppressGoAhead = 3, comPort = 44;
// A server's answer to a COM-PORT-OPTION command carries the command's code plus this.
inline constexpr quint8 serverOffset = 100;
} // namespace telnet

// The COM-PORT-OPTION commands a client sends (RFC 2217).
enum class ComPortCommand : quint8 {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyModemState = 7,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};

// What a server sent besides data: a negotiation (verb WILL, WONT, DO or DONT and its option), or a
// subnegotiation (its option and what follows it, unescaped).
struct TelnetEvent
{
    quint8 verb = 0; // telnet::sb for a subnegotiation
    quint8 option = 0;
    QByteArray payload;

    friend bool operator==(const TelnetEvent &, const TelnetEvent &) = default;
};

// The byte stream of one Telnet connection, both ways. Decoding keeps its state between pieces, so a
// command may be split anywhere. A subnegotiation longer than any RFC 2217 answer, or a stray command
// inside one, is a protocol violation: decoding stops there for good, since nothing that follows can be
// trusted to be data.
class Rfc2217Codec final
{
public:
    // Longer than a signature text a server would send unasked; every setting's answer is at most 6 bytes.
    static constexpr qsizetype maxSubnegotiation = 256;

    // Data bytes are appended to `data`, everything else to `events`, in the order they came.
    void decode(QByteArrayView bytes, QByteArray &data, std::vector<TelnetEvent> &events);
    [[nodiscard]] bool violated() const { return m_state == State::Violated; }

    // Data with every IAC doubled.
    [[nodiscard]] static QByteArray escaped(QByteArrayView data);
    [[nodiscard]] static QByteArray negotiation(quint8 verb, quint8 option);
    [[nodiscard]] static QByteArray command(ComPortCommand command, QByteArrayView value);

private:
    enum class State { Data, Iac, Verb, Sub, SubIac, Violated };

    void violate();

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
};
