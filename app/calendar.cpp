#include "calendar.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <langinfo.h>
#endif

namespace {

#ifdef Q_OS_WIN

[[nodiscard]] QString localeInfo(LCTYPE type)
{
    wchar_t buffer[LOCALE_NAME_MAX_LENGTH * 2] = {};
    const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, int(std::size(buffer)));
    return length > 0 ? QString::fromWCharArray(buffer, length - 1) : QString();
}

[[nodiscard]] QString regionalMonthName(int month)
{
    return localeInfo(LOCALE_SMONTHNAME1 + LCTYPE(month - 1));
}

// Windows counts its day names from Monday.
[[nodiscard]] QString regionalWeekdayName(int weekday)
{
    return localeInfo(weekday == 1 ? LOCALE_SDAYNAME7 : LOCALE_SDAYNAME1 + LCTYPE(weekday - 2));
}

#else

#ifdef ALTMON_1
constexpr nl_item firstMonth = ALTMON_1; // the nominative form; MON_1 is genitive in some locales
#else
constexpr nl_item firstMonth = MON_1;
#endif

[[nodiscard]] QString regionalMonthName(int month)
{
    return QString::fromUtf8(nl_langinfo(nl_item(firstMonth + month - 1)));
}

[[nodiscard]] QString regionalWeekdayName(int weekday)
{
    return QString::fromUtf8(nl_langinfo(nl_item(DAY_1 + weekday - 1)));
}

#endif

} // namespace

Calendar systemCalendar()
{
    return {[] { return QDate::currentDate(); }, regionalMonthName, regionalWeekdayName};
}

int sundayBasedWeekday(QDate date)
{
    return date.dayOfWeek() % 7 + 1;
}
