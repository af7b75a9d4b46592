#pragma once

#include <QString>
#include <QStringView>

#include <optional>

enum class ParityKind { None, Even, Odd, Space, Mark };
enum class StopBitsKind { One, OneAndHalf, Two };

// A line-settings text such as "9600,n,8,1", parsed.
struct LineSettings
{
    qint32 baudRate = 9600;
    ParityKind parity = ParityKind::None;
    int dataBits = 8;
    StopBitsKind stopBits = StopBitsKind::One;

    friend bool operator==(const LineSettings &, const LineSettings &) = default;
};

// Baud, parity letter (either case), data bits 5 to 8, stop bits, joined by
// commas without blanks; anything else is refused.
[[nodiscard]] std::optional<LineSettings> parseLineSettings(QStringView text);
// The canonical form: lower-case parity letter, e.g. "9600,n,8,1".
[[nodiscard]] QString formatLineSettings(const LineSettings &settings);

// The handshaking combo's text as a signed 32-bit number: surrounding blanks
// and a sign are allowed, a fraction or anything else is not.
[[nodiscard]] std::optional<qint32> parseHandshakingText(QStringView text);
