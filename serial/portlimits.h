#pragma once

#include <QtGlobal>

#include <array>
#include <cstdlib>

// What every serial-port backend holds to, whatever its driver.

// About eleven seconds at 921,600 baud, some thirty-six 300 ms polls.
inline constexpr qsizetype receiveCapacity = qsizetype(1) << 20;
// Counted together with what the driver still holds to send.
inline constexpr qsizetype transmitCapacity = qsizetype(4) << 20;

struct HandshakingMode
{
    bool rtsCts;
    bool xonXoff;
};

// Indexed by the handshaking number: none, XON/XOFF, RTS/CTS, both.
inline constexpr std::array<HandshakingMode, 4> handshakingModes{{
    {false, false},
    {false, true},
    {true, false},
    {true, true},
}};

[[nodiscard]] constexpr bool isHandshaking(qint32 handshaking)
{
    return handshaking >= 0 && handshaking < qint32(handshakingModes.size());
}

// A UART that cannot make a speed may keep its old one or clip the new one, and drivers report success all
// the same; those on a fixed clock (pl2303, cp210x) report the nearest rate they can make instead. A
// receiver samples each bit in its middle, so over a 10- to 12-bit frame the two ends may be some 4 % apart
// before the last bit is misread: 2 % is one end's share.
[[nodiscard]] constexpr bool speedCloseEnough(qint32 wanted, qint32 actual)
{
    const qint64 off = qint64(actual) - wanted;
    return (off < 0 ? -off : off) * 50 <= wanted;
}
