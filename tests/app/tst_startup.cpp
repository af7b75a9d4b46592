#include "appfixture.h"
#include "module1.h"
#include "qstringfrom.h"
#include "texts.h"

#include <QIcon>
#include <QImage>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyle>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <string>

using namespace Qt::StringLiterals;

namespace {

const QString crlf = u"\r\n"_s;
const QString titleLead = u"Brannick       Velmora v.1.1              Сегодня: "_s;

const QString russianGenitive[] = {
    u"Января"_s, u"Февраля"_s, u"Марта"_s, u"Апреля"_s, u"Мая"_s, u"Июня"_s,
    u"Июля"_s, u"Августа"_s, u"Сентября"_s, u"Октября"_s, u"Ноября"_s, u"Декабря"_s,
};
const QString russianWeekdays[] = {
    u"Воскресенье"_s, u"Понедельник"_s, u"Вторник"_s, u"Среда"_s, u"Четверг"_s, u"Пятница"_s, u"Суббота"_s,
};

QString russianTitle(QDate date)
{
    return titleLead + u"%1  %2  %3 года  %4"_s.arg(QString::number(date.day()), russianGenitive[date.month() - 1],
                                                    QString::number(date.year()), russianWeekdays[date.dayOfWeek() % 7]);
}

// Month n and weekday n (Sunday first) named by number, so a title shows which number was asked for.
Calendar numberedCalendar(const std::function<QDate()> &today)
{
    return {today, [](int month) { return u"M%1"_s.arg(month); }, [](int weekday) { return u"W%1"_s.arg(weekday); }};
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void genitive_data();
    void genitive();
    void title_data();
    void title();
    void titleUnderEightBitLocale_data();
    void titleUnderEightBitLocale();
    void startDateKeptAfterMidnight();
    void aboutTexts();
    void windowIcon_data();
    void windowIcon();
};

void TestStartup::genitive_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");
    for (int month = 0; month < 12; ++month)
        QTest::addRow("month%02d", month + 1) << qs(texts::monthForms[month].nominative) << russianGenitive[month];
    QTest::newRow("english") << u"December"_s << u"December"_s;
    QTest::newRow("lowerCase") << u"декабрь"_s << u"декабрь"_s;
}

void TestStartup::genitive()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    Module1 module({[] { return QDate(2024, 5, 20); }, [name](int) { return name; }, [](int) { return QString(); }});
    module.setMonthGenitive();
    QCOMPARE(module.monthGenitive(), stored);
}

void TestStartup::title_data()
{
    QTest::addColumn<QByteArray>("locale"); // empty: names injected by number
    QTest::addColumn<QDate>("date"); // invalid: today
    QTest::addColumn<QString>("title"); // empty: the Russian title of that date
    for (int day = 1; day <= 9; ++day) { // 2024-12-01 was a Sunday
        const QString rest = u"%1  M12  2024 года  W%2"_s.arg(day).arg((day - 1) % 7 + 1);
        QTest::addRow("december%d", day) << QByteArray() << QDate(2024, 12, day) << titleLead + rest;
    }
    QTest::newRow("twoDigitDay") << QByteArray() << QDate(2000, 1, 15) << titleLead + u"15  M1  2000 года  W7"_s;
    for (int month = 1; month <= 12; ++month) // every weekday occurs
        QTest::addRow("ru%02d", month) << "ru_RU.UTF-8"_ba << QDate(2024, month, month) << QString();
    QTest::newRow("ruToday") << "ru_RU.UTF-8"_ba << QDate() << QString();
    QTest::newRow("C") << "C"_ba << QDate(2024, 12, 1) << titleLead + u"1  December  2024 года  Sunday"_s;
}

// With injected names, and with those of the C library's LC_TIME locale.
void TestStartup::title()
{
    QFETCH(QByteArray, locale);
    QFETCH(QDate, date);
    QFETCH(QString, title);

    const std::string previous = std::setlocale(LC_TIME, nullptr);
    const auto restore = qScopeGuard([&previous] { std::setlocale(LC_TIME, previous.c_str()); });
    if (!locale.isEmpty() && std::setlocale(LC_TIME, locale.constData()) == nullptr)
        QSKIP("the locale is not installed (localedef -i ru_RU -f UTF-8 ru_RU.UTF-8)");
    Calendar calendar = locale.isEmpty() ? numberedCalendar({}) : systemCalendar();
    if (date.isValid())
        calendar.today = [date] { return date; };
    else
        date = QDate::currentDate();
    AppFixture app;
    Module1 module(calendar);
    module.formLoad(*app.window);
    QCOMPARE(app.window->windowTitle(), title.isEmpty() ? russianTitle(date) : title);
}

void TestStartup::titleUnderEightBitLocale_data()
{
    QTest::addColumn<QString>("charmap");
    QTest::addColumn<QString>("locale");
    QTest::newRow("iso8859_5") << u"ISO-8859-5"_s << u"ru_RU"_s;
    QTest::newRow("koi8r") << u"KOI8-R"_s << u"ru_RU.KOI8-R"_s;
    QTest::newRow("cp1251") << u"CP1251"_s << u"ru_RU.CP1251"_s;
}

// The names come in the codeset of LC_TIME's locale, whatever LC_CTYPE is.
void TestStartup::titleUnderEightBitLocale()
{
    QFETCH(QString, charmap);
    QFETCH(QString, locale);

    QTemporaryDir locales;
    const int built = QProcess::execute(u"localedef"_s, {u"-i"_s, u"ru_RU"_s, u"-f"_s, charmap, locales.filePath(locale)});
    if (built < 0 || !QFileInfo::exists(locales.filePath(locale)))
        QSKIP("localedef could not build the locale");
    qputenv("LOCPATH", QFile::encodeName(locales.path()));
    const std::string previous = std::setlocale(LC_TIME, nullptr);
    const auto restore = qScopeGuard([&previous] {
        qunsetenv("LOCPATH");
        std::setlocale(LC_TIME, previous.c_str());
    });
    QVERIFY(std::setlocale(LC_TIME, locale.toLatin1().constData()));
    Calendar calendar = systemCalendar();
    calendar.today = [] { return QDate(2026, 12, 7); };
    AppFixture app;
    Module1 module(calendar);
    module.formLoad(*app.window);
    QCOMPARE(app.window->windowTitle(), titleLead + u"7  Декабря  2026 года  Понедельник"_s);
}

void TestStartup::startDateKeptAfterMidnight()
{
    QDate now(2024, 12, 31);
    int reads = 0;
    AppFixture app;
    Module1 module(numberedCalendar([&] {
        ++reads;
        return now;
    }));
    module.formLoad(*app.window);
    const QString title = app.window->windowTitle();
    QVERIFY(title.contains(u": 31  M12  2024 "_s));

    now = QDate(2025, 1, 1);
    QSignalSpy ticks(app.window->findChild<QTimer *>(u"Timer1"_s), &QTimer::timeout);
    QTRY_VERIFY(ticks.size() >= 2);
    QCOMPARE(app.window->windowTitle(), title);
    QCOMPARE(reads, 1);
}

// Lines joined by CR LF without a break at the end; the author text has exactly one empty line, the terms none.
void TestStartup::aboutTexts()
{
    const QStringList author = Module1::authorText().split(crlf);
    const QStringList terms = Module1::termsText().split(crlf);
    for (const QStringList &lines : {author, terms}) {
        QCOMPARE(lines.size(), 7);
        for (const QString &line : lines)
            QVERIFY(!line.contains(u'\r') && !line.contains(u'\n'));
    }
    QCOMPARE(author.count(QString()), 1);
    QCOMPARE(author[0], u"Brannick"_s);
    QCOMPARE(author[1], u"Velmora v.1.1"_s);
    QVERIFY(author[2].startsWith(u"Автор: "_s) && author[2].size() > 7);
    QVERIFY(author[3].contains(u"example."_s));
    QVERIFY(QRegularExpression(u"^e-mail:\\S+@example\\."_s).match(author[4]).hasMatch());
    QCOMPARE(author[5], QString());
    QVERIFY(author[6].contains(u"Brannick"_s));

    QCOMPARE(terms.count(QString()), 0);
    QCOMPARE(terms[0], u"Соглашение на использование программы Velmora v.1.1:"_s);
    QCOMPARE(terms[1], u" "_s);
    QVERIFY(terms[2].startsWith(u"2.Программа"_s) && terms[2].contains(u" с сайта "_s + author[3] + u". "_s));
    QVERIFY(terms[3].startsWith(u"3."_s) && terms[3].contains(u"использование  "_s));
    for (int line = 4; line <= 6; ++line)
        QVERIFY(terms[line].startsWith(QString::number(line) + u'.'));
    AppFixture app;
    Module1 module(numberedCalendar([] { return QDate(2024, 1, 2); }));
    module.formLoad(*app.window);
    QCOMPARE(app.control<QPlainTextEdit>(u"Text38"_s)->toPlainText().split(u'\n'), author);
    QCOMPARE(app.control<QPlainTextEdit>(u"Text39"_s)->toPlainText().split(u'\n'), terms);
}

void TestStartup::windowIcon_data()
{
    QTest::addColumn<QString>("resource");
    QTest::newRow("Icon1") << u"Icon1"_s;
    QTest::newRow("missing") << u"NoSuchIcon"_s;
}

// The icon goes to the topmost owner and to the window; a missing one clears both and start-up goes on.
void TestStartup::windowIcon()
{
    QFETCH(QString, resource);
    const QImage picture(u":/Icon1"_s);
    QCOMPARE(picture.size(), QSize(256, 256));
    QCOMPARE(picture.format(), QImage::Format_Indexed8);

    QWidget topmost;
    QWidget owner(&topmost, Qt::Window);
    AppFixture app(&owner);
    const bool found = resource == u"Icon1"_s;
    if (!found) // an icon set before must go
        Module1::setWindowIcon(app.window.get(), u"Icon1"_s, true);
    Module1 module(numberedCalendar([] { return QDate(2024, 12, 1); }), resource);
    module.formLoad(*app.window);

    QCOMPARE(topmost.windowIcon().isNull(), !found);
    QCOMPARE(app.window->windowIcon().isNull(), !found);
    const QList<QSize> sizes = app.window->windowIcon().availableSizes();
    for (QStyle::PixelMetric metric : {QStyle::PM_LargeIconSize, QStyle::PM_SmallIconSize}) {
        const int size = app.window->style()->pixelMetric(metric);
        QCOMPARE(sizes.contains(QSize(size, size)), found);
    }
    QCOMPARE(app.window->windowTitle(), titleLead + u"1  M12  2024 года  W1"_s);
    QVERIFY(!app.control<QPlainTextEdit>(u"Text39"_s)->toPlainText().isEmpty());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
