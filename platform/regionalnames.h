#pragma once

#include <QString>

// The names the user's regional settings give: the full nominative month name, month 1 to 12, and the
// full weekday name, day 1 to 7 with Sunday as day 1.
[[nodiscard]] QString regionalMonthName(int month);
[[nodiscard]] QString regionalWeekdayName(int weekday);
