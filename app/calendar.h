#pragma once

#include <QDate>
#include <QString>

#include <functional>

// Where start-up takes today's date and the names of the regional settings from.
struct Calendar
{
    std::function<QDate()> today;
    // Full nominative month name, month 1 to 12.
    std::function<QString(int month)> monthName;
    // Full weekday name, day 1 to 7 with Sunday as day 1.
    std::function<QString(int weekday)> weekdayName;
};

// The clock and the names of the user's regional settings.
[[nodiscard]] Calendar systemCalendar();

// Sunday is day 1, as the weekday names count.
[[nodiscard]] int sundayBasedWeekday(QDate date);
