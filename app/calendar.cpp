#include "calendar.h"

#include "regionalnames.h"

Calendar systemCalendar()
{
    return {[] { return QDate::currentDate(); }, regionalMonthName, regionalWeekdayName};
}

int sundayBasedWeekday(QDate date)
{
    return date.dayOfWeek() % 7 + 1;
}
