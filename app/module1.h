#pragma once

#include "calendar.h"

#include <QDate>
#include <QString>

class MainWindow;
class QWidget;

// The work done once per run when Form1 loads, and the program-level state it keeps.
class Module1 final
{
public:
    static constexpr const char *iconResourceName = "Icon1";

    explicit Module1(Calendar calendar = systemCalendar(),
                     QString iconResource = QString::fromLatin1(iconResourceName));

    // Icons, transmit phases, month, title, author text, terms text, in that order.
    void formLoad(MainWindow &window);

    // Gives the window, and first its topmost owner when asked to, the large and the
    // small icon from the program's resource of that name, drawn at the screen's pixels;
    // a missing one clears the icon.
    static void setWindowIcon(QWidget *window, const QString &resourceName, bool setTopmostOwner);

    void setMonthGenitive();
    [[nodiscard]] const QString &monthGenitive() const { return m_monthGenitive; }

    // The genitive form of a nominative month name in any case; any other name comes back unchanged.
    [[nodiscard]] static QString genitiveOf(const QString &monthName);
    [[nodiscard]] static QString windowTitle(QDate date, const QString &monthGenitive, const QString &weekdayName);
    [[nodiscard]] static QString authorText();
    [[nodiscard]] static QString termsText();

private:
    [[nodiscard]] QDate startDate();

    Calendar m_calendar;
    QString m_iconResource;
    QDate m_startDate;
    QString m_monthGenitive;
};
