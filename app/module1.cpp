#include "module1.h"

#include "iconresource.h"
#include "mainwindow.h"
#include "qstringfrom.h"
#include "windowtexts.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QStringList>
#include <QStyle>
#include <QWindow>

namespace {

// The window that owns a top-level window: its parent's window, or the window
// it is transient for. Child widgets have no owner.
[[nodiscard]] QWidget *ownerOf(const QWidget *window)
{
    if (!window->isWindow())
        return nullptr;
    if (QWidget *parent = window->parentWidget())
        return parent->window();
    const QWindow *handle = window->windowHandle();
    const QWindow *transientParent = handle != nullptr ? handle->transientParent() : nullptr;
    if (transientParent == nullptr)
        return nullptr;
    for (QWidget *candidate : QApplication::topLevelWidgets()) {
        if (candidate->windowHandle() == transientParent)
            return candidate;
    }
    return nullptr;
}

[[nodiscard]] QWidget *topmostOwner(QWidget *window)
{
    QWidget *candidate = window;
    while (QWidget *owner = ownerOf(candidate))
        candidate = owner;
    return candidate;
}

// A window keeps one icon per size, in pixels; setting one size leaves the other as it was.
void setIconOfSize(QWidget *window, int size, const QPixmap &pixmap)
{
    const QIcon old = window->windowIcon();
    QIcon icon;
    for (const QSize &kept : old.availableSizes()) {
        if (kept != QSize(size, size))
            icon.addPixmap(old.pixmap(kept, 1.0));
    }
    if (!pixmap.isNull())
        icon.addPixmap(pixmap);
    window->setWindowIcon(icon);
}

[[nodiscard]] QString joinLines(const QStringList &lines)
{
    return lines.join(qs(texts::aboutLineBreak));
}

} // namespace

Module1::Module1(Calendar calendar, QString iconResource)
    : m_calendar(std::move(calendar))
    , m_iconResource(std::move(iconResource))
{
}

void Module1::formLoad(MainWindow &window)
{
    setWindowIcon(&window, m_iconResource, true);
    window.poll().resetTransmitPhases();
    setMonthGenitive();
    const QDate today = startDate();
    window.setWindowTitle(windowTitle(today, m_monthGenitive, m_calendar.weekdayName(sundayBasedWeekday(today))));
    window.setAboutTexts(authorText(), termsText());
}

void Module1::setWindowIcon(QWidget *window, const QString &resourceName, bool setTopmostOwner)
{
    QWidget *owner = setTopmostOwner ? topmostOwner(window) : nullptr;
    const QStyle *style = window->style();
    // In the screen's pixels: at 150 % a 32-pixel picture would be scaled up to 48 by the system.
    const qreal ratio = window->devicePixelRatio();
    for (QStyle::PixelMetric metric : {QStyle::PM_LargeIconSize, QStyle::PM_SmallIconSize}) {
        const int size = qRound(style->pixelMetric(metric, nullptr, window) * ratio);
        const QPixmap pixmap = QPixmap::fromImage(iconResource(resourceName, size));
        if (owner != nullptr)
            setIconOfSize(owner, size, pixmap);
        setIconOfSize(window, size, pixmap);
    }
}

void Module1::setMonthGenitive()
{
    m_monthGenitive = genitiveOf(m_calendar.monthName(startDate().month()));
}

// The clock is read once, so the month and the day of the title always agree.
QDate Module1::startDate()
{
    if (!m_startDate.isValid())
        m_startDate = m_calendar.today();
    return m_startDate;
}

// Windows promises the nominative but not its case: Wine gives "декабрь".
QString Module1::genitiveOf(const QString &monthName)
{
    for (const texts::MonthForms &forms : texts::monthForms) {
        if (monthName.compare(qs(forms.nominative), Qt::CaseInsensitive) == 0)
            return qs(forms.genitive);
    }
    return monthName;
}

QString Module1::windowTitle(QDate date, const QString &monthGenitive, const QString &weekdayName)
{
    const QString gap = qs(texts::titleGap);
    return qs(texts::titleLead) + QString::number(date.day()) + gap + monthGenitive + gap
        + QString::number(date.year()) + qs(texts::titleYearWord) + weekdayName;
}

QString Module1::authorText()
{
    using namespace texts;
    return joinLines({qs(maker), qs(productLine), qs(authorLead) + qs(authorName), qs(makerSite),
                      qs(emailLead) + qs(makerEmail), QString(), qs(copyrightLine)});
}

QString Module1::termsText()
{
    using namespace texts;
    return joinLines({qs(termsHeading), qs(termsSecondLine),
                      qs(termsDistributionLead) + qs(makerSite) + qs(termsDistributionTail), qs(termsUse),
                      qs(termsChanges), qs(termsLiability), qs(termsSupport)});
}
