// libFuzzer target for the parsers of what the user types into the settings combos: each must accept
// exactly its grammar, and what it accepts must come back from its canonical form unchanged.
#include "linesettings.h"

#include <QRegularExpression>

#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void check(const QString &text)
{
    static const QRegularExpression settingsGrammar(QRegularExpression::anchoredPattern(QStringLiteral("([1-9][0-9]{0,9}),[nNeEoOsSmM],[5-8],[12]")));
    const QRegularExpressionMatch settingsMatch = settingsGrammar.match(text);
    const std::optional<LineSettings> settings = parseLineSettings(text);
    require(settings.has_value() == (settingsMatch.hasMatch() && settingsMatch.captured(1).toLongLong() <= 2147483647));
    require(!settings || formatLineSettings(*settings).compare(text, Qt::CaseInsensitive) == 0);

    static const QRegularExpression handshakingGrammar(QRegularExpression::anchoredPattern(QStringLiteral("[+-]?[0-9]+")));
    bool fitsLongLong = false;
    const qlonglong value = text.trimmed().toLongLong(&fitsLongLong);
    const bool isNumber = fitsLongLong && handshakingGrammar.match(text.trimmed()).hasMatch();
    const std::optional<qint32> number = parseHandshakingText(text);
    require(number.has_value() == (isNumber && value >= -2147483648LL && value <= 2147483647));
    require(!number || *number == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    check(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    // The same bytes as UTF-16, where lone surrogates and any code unit occur.
    check(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}
