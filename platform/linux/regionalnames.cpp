#include "regionalnames.h"

#include <QByteArray>

#include <clocale>

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace {

#ifdef ALTMON_1
constexpr nl_item firstMonth = ALTMON_1; // the nominative form; MON_1 is genitive in some locales
#else
constexpr nl_item firstMonth = MON_1;
#endif

[[nodiscard]] QString fromCodeset(const QByteArray &text, const char *codeset)
{
    const iconv_t converter = ::iconv_open("UTF-8", codeset);
    if (converter == iconv_t(-1))
        return QString::fromUtf8(text);
    QByteArray in = text;
    QByteArray out(in.size() * 4, Qt::Uninitialized);
    char *from = in.data();
    char *to = out.data();
    std::size_t fromLeft = std::size_t(in.size());
    std::size_t toLeft = std::size_t(out.size());
    const bool converted = ::iconv(converter, &from, &fromLeft, &to, &toLeft) != std::size_t(-1);
    ::iconv_close(converter);
    return converted ? QString::fromUtf8(out.constData(), out.size() - qsizetype(toLeft)) : QString::fromUtf8(text);
}

// nl_langinfo answers in the codeset of the LC_CTYPE locale, which need not be
// LC_TIME's: the names are asked of LC_TIME's locale and decoded from its codeset.
[[nodiscard]] QString timeLocaleName(nl_item item)
{
    const locale_t timeLocale = ::newlocale(LC_ALL_MASK, std::setlocale(LC_TIME, nullptr), locale_t(nullptr));
    if (timeLocale == locale_t(nullptr))
        return QString::fromUtf8(::nl_langinfo(item));
    const QString name = fromCodeset(::nl_langinfo_l(item, timeLocale), ::nl_langinfo_l(CODESET, timeLocale));
    ::freelocale(timeLocale);
    return name;
}

} // namespace

QString regionalMonthName(int month)
{
    return timeLocaleName(nl_item(firstMonth + month - 1));
}

QString regionalWeekdayName(int weekday)
{
    return timeLocaleName(nl_item(DAY_1 + weekday - 1));
}

