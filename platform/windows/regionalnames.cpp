#include "regionalnames.h"

#include <windows.h>

namespace {

[[nodiscard]] QString localeText(LCTYPE item)
{
    wchar_t text[128] = {};
    const int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, text, int(std::size(text)));
    return length > 1 ? QString::fromWCharArray(text, length - 1) : QString();
}

} // namespace

// The plain month names are the nominative ones; the genitive come only with LOCALE_RETURN_GENITIVE_NAMES.
QString regionalMonthName(int month)
{
    return localeText(LOCALE_SMONTHNAME1 + LCTYPE(month - 1));
}

// Windows counts the days from Monday, LOCALE_SDAYNAME1.
QString regionalWeekdayName(int weekday)
{
    return localeText(LOCALE_SDAYNAME1 + LCTYPE((weekday + 5) % 7));
}
