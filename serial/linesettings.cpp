#include "linesettings.h"

#include <QList>

#include <array>
#include <limits>

namespace {

struct ParityLetter
{
    char16_t letter;
    ParityKind parity;
};

constexpr std::array<ParityLetter, 5> parityLetters{{
    {u'n', ParityKind::None},
    {u'e', ParityKind::Even},
    {u'o', ParityKind::Odd},
    {u's', ParityKind::Space},
    {u'm', ParityKind::Mark},
}};

[[nodiscard]] bool isPlainDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

[[nodiscard]] std::optional<qint32> parseBaudRate(QStringView text)
{
    if (!isPlainDigits(text) || text.front() == u'0')
        return std::nullopt;
    bool ok = false;
    const qint32 baud = text.toInt(&ok);
    return ok ? std::optional(baud) : std::nullopt;
}

[[nodiscard]] std::optional<ParityKind> parseParity(QStringView text)
{
    if (text.size() != 1)
        return std::nullopt;
    const char16_t letter = text.front().toLower().unicode();
    for (const ParityLetter &entry : parityLetters) {
        if (entry.letter == letter)
            return entry.parity;
    }
    return std::nullopt;
}

[[nodiscard]] std::optional<int> parseDataBits(QStringView text)
{
    if (text.size() != 1 || text.front() < u'5' || text.front() > u'8')
        return std::nullopt;
    return text.front().unicode() - u'0';
}

[[nodiscard]] std::optional<StopBitsKind> parseStopBits(QStringView text)
{
    if (text == u"1")
        return StopBitsKind::One;
    if (text == u"2")
        return StopBitsKind::Two;
    if (text == u"1.5")
        return StopBitsKind::OneAndHalf; // where the driver offers it: not in termios
    return std::nullopt;
}

[[nodiscard]] QStringView stopBitsText(StopBitsKind stopBits)
{
    switch (stopBits) {
    case StopBitsKind::One: return u"1";
    case StopBitsKind::OneAndHalf: return u"1.5";
    case StopBitsKind::Two: return u"2";
    }
    return u"1";
}

[[nodiscard]] char16_t parityLetter(ParityKind parity)
{
    for (const ParityLetter &entry : parityLetters) {
        if (entry.parity == parity)
            return entry.letter;
    }
    return u'n';
}

} // namespace

std::optional<LineSettings> parseLineSettings(QStringView text)
{
    const QList<QStringView> parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    const auto baud = parseBaudRate(parts[0]);
    const auto parity = parseParity(parts[1]);
    const auto dataBits = parseDataBits(parts[2]);
    const auto stopBits = parseStopBits(parts[3]);
    if (!baud || !parity || !dataBits || !stopBits)
        return std::nullopt;
    return LineSettings{*baud, *parity, *dataBits, *stopBits};
}

QString formatLineSettings(const LineSettings &settings)
{
    return QString::number(settings.baudRate) + u',' + QChar(parityLetter(settings.parity)) + u','
           + QString::number(settings.dataBits) + u',' + stopBitsText(settings.stopBits).toString();
}

std::optional<qint32> parseHandshakingText(QStringView text)
{
    QStringView number = text.trimmed();
    const bool negative = number.startsWith(u'-');
    if (negative || number.startsWith(u'+'))
        number = number.sliced(1);
    if (!isPlainDigits(number))
        return std::nullopt;
    bool ok = false;
    const qint64 magnitude = number.toLongLong(&ok);
    const qint64 value = negative ? -magnitude : magnitude;
    if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}
