// libFuzzer target for the two parsers that read text the user typed into
// the settings combos. Each parser is checked against a plain pattern of its
// grammar, and what it accepts must survive a round trip.

#include "linesettings.h"

#include <QByteArrayView>
#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

[[nodiscard]] bool fitsInt32(QStringView digits, bool negative)
{
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok);
    const qlonglong limit = negative ? -qlonglong(std::numeric_limits<qint32>::min())
                                     : qlonglong(std::numeric_limits<qint32>::max());
    return ok && value <= limit;
}

void checkSettings(QStringView text)
{
    static const QRegularExpression grammar(QRegularExpression::anchoredPattern(
        QStringLiteral("([1-9][0-9]{0,9}),[nNeEoOsSmM],[5-8],[12]")));
    const QRegularExpressionMatch match = grammar.match(text);
    const bool expected = match.hasMatch() && fitsInt32(match.capturedView(1), false);

    const std::optional<LineSettings> settings = parseLineSettings(text);
    require(settings.has_value() == expected);
    if (!settings)
        return;
    const QString canonical = formatLineSettings(*settings);
    require(canonical.compare(text, Qt::CaseInsensitive) == 0);
    require(parseLineSettings(canonical) == settings);
}

void checkHandshaking(QStringView text)
{
    static const QRegularExpression grammar(QRegularExpression::anchoredPattern(QStringLiteral("([+-]?)([0-9]+)")));
    const QRegularExpressionMatch match = grammar.match(text.trimmed());
    const bool expected = match.hasMatch() && fitsInt32(match.capturedView(2), match.capturedView(1) == u"-");

    const std::optional<qint32> number = parseHandshakingText(text);
    require(number.has_value() == expected);
    if (number)
        require(parseHandshakingText(QString::number(*number)) == number);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString utf8 = QString::fromUtf8(QByteArrayView(data, qsizetype(size)));
    checkSettings(utf8);
    checkHandshaking(utf8);

    // The same bytes as UTF-16, where lone surrogates and any code unit occur.
    QString utf16(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(utf16.data(), data, std::size_t(utf16.size()) * sizeof(char16_t));
    checkSettings(utf16);
    checkHandshaking(utf16);
    return 0;
}
