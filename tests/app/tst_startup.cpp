#include "appfixture.h"
#include "module1.h"

#include <QCheckBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include <clocale>
#include <string>

namespace {

const QString crlf = QStringLiteral("\r\n");

// Month n and weekday n (Sunday first) named by number, so a title shows which number was asked for.
Calendar numberedCalendar(const std::function<QDate()> &today)
{
    return {today, [](int month) { return QStringLiteral("M%1").arg(month); },
            [](int weekday) { return QStringLiteral("W%1").arg(weekday); }};
}

Calendar fixedCalendar(QDate date)
{
    return numberedCalendar([date] { return date; });
}

// Sets LC_TIME for one test and puts the previous one back afterwards.
class TimeLocale
{
public:
    explicit TimeLocale(const char *name)
        : m_previous(std::setlocale(LC_TIME, nullptr))
        , m_active(std::setlocale(LC_TIME, name) != nullptr)
    {
    }
    ~TimeLocale() { std::setlocale(LC_TIME, m_previous.c_str()); }
    TimeLocale(const TimeLocale &) = delete;
    TimeLocale &operator=(const TimeLocale &) = delete;

    [[nodiscard]] bool active() const { return m_active; }

private:
    std::string m_previous;
    bool m_active;
};

const QString russianGenitive[] = {
    QStringLiteral("Января"), QStringLiteral("Февраля"), QStringLiteral("Марта"), QStringLiteral("Апреля"),
    QStringLiteral("Мая"), QStringLiteral("Июня"), QStringLiteral("Июля"), QStringLiteral("Августа"),
    QStringLiteral("Сентября"), QStringLiteral("Октября"), QStringLiteral("Ноября"), QStringLiteral("Декабря"),
};
const QString russianWeekdays[] = {
    QStringLiteral("Воскресенье"), QStringLiteral("Понедельник"), QStringLiteral("Вторник"), QStringLiteral("Среда"),
    QStringLiteral("Четверг"), QStringLiteral("Пятница"), QStringLiteral("Суббота"),
};

QString expectedRussianTitle(QDate date)
{
    return QStringLiteral("Brannick       Velmora v.1.1              Сегодня: %1  %2  %3 года  %4")
        .arg(date.day())
        .arg(russianGenitive[date.month() - 1])
        .arg(date.year())
        .arg(russianWeekdays[date.dayOfWeek() % 7]);
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
    void loadAsksForTheRightNumbers_data();
    void loadAsksForTheRightNumbers();
    void titleThroughGlibcRussian_data();
    void titleThroughGlibcRussian();
    void titleForTodayUnderRussian();
    void titleUnderCLocale();
    void startDateKeptAfterMidnight();
    void loadResetsTransmitPhases();
    void authorText();
    void termsText();
    void loadFillsTheAboutTexts();
    void iconResourceIsA256ColourPicture();
    void loadSetsLargeAndSmallIcons();
    void iconGoesToTheTopmostOwner_data();
    void iconGoesToTheTopmostOwner();
    void missingIconResource();
};

void TestStartup::genitive_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");
    const QString nominative[] = {
        QStringLiteral("Январь"), QStringLiteral("Февраль"), QStringLiteral("Март"), QStringLiteral("Апрель"),
        QStringLiteral("Май"), QStringLiteral("Июнь"), QStringLiteral("Июль"), QStringLiteral("Август"),
        QStringLiteral("Сентябрь"), QStringLiteral("Октябрь"), QStringLiteral("Ноябрь"), QStringLiteral("Декабрь"),
    };
    for (int month = 0; month < 12; ++month)
        QTest::addRow("month%02d", month + 1) << nominative[month] << russianGenitive[month];
    QTest::newRow("english") << QStringLiteral("December") << QStringLiteral("December");
    QTest::newRow("lowerCase") << QStringLiteral("декабрь") << QStringLiteral("декабрь");
    QTest::newRow("trailingBlank") << QStringLiteral("Май ") << QStringLiteral("Май ");
    QTest::newRow("alreadyGenitive") << QStringLiteral("Мая") << QStringLiteral("Мая");
    QTest::newRow("empty") << QString() << QString();
}

void TestStartup::genitive()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    QCOMPARE(Module1::genitiveOf(name), stored);

    Module1 module({[] { return QDate(2024, 5, 20); }, [name](int) { return name; }, [](int) { return QString(); }});
    module.setMonthGenitive();
    QCOMPARE(module.monthGenitive(), stored);
}

void TestStartup::title_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("weekday");
    QTest::addColumn<QString>("title");

    QTest::newRow("day1") << QDate(2024, 12, 1) << QStringLiteral("Декабря") << QStringLiteral("Воскресенье")
                          << QStringLiteral("Brannick       Velmora v.1.1              Сегодня: 1  Декабря  2024 года  Воскресенье");
    QTest::newRow("day9") << QDate(2025, 3, 9) << QStringLiteral("Марта") << QStringLiteral("Воскресенье")
                          << QStringLiteral("Brannick       Velmora v.1.1              Сегодня: 9  Марта  2025 года  Воскресенье");
    QTest::newRow("day10") << QDate(2025, 3, 10) << QStringLiteral("Марта") << QStringLiteral("Понедельник")
                           << QStringLiteral("Brannick       Velmora v.1.1              Сегодня: 10  Марта  2025 года  Понедельник");
    QTest::newRow("day31") << QDate(2023, 1, 31) << QStringLiteral("Января") << QStringLiteral("Вторник")
                           << QStringLiteral("Brannick       Velmora v.1.1              Сегодня: 31  Января  2023 года  Вторник");
    QTest::newRow("otherLanguage") << QDate(2024, 12, 1) << QStringLiteral("December") << QStringLiteral("Sunday")
                                   << QStringLiteral("Brannick       Velmora v.1.1              Сегодня: 1  December  2024 года  Sunday");
}

void TestStartup::title()
{
    QFETCH(QDate, date);
    QFETCH(QString, month);
    QFETCH(QString, weekday);
    QFETCH(QString, title);
    QCOMPARE(Module1::windowTitle(date, month, weekday), title);
}

void TestStartup::loadAsksForTheRightNumbers_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("title");
    const QString lead = QStringLiteral("Brannick       Velmora v.1.1              Сегодня: ");
    for (int day = 1; day <= 9; ++day) { // 2024-12-01 was a Sunday
        QTest::addRow("december%d", day) << QDate(2024, 12, day)
                                         << lead + QStringLiteral("%1  M12  2024 года  W%2").arg(day).arg((day - 1) % 7 + 1);
    }
    QTest::newRow("leapDay") << QDate(2024, 2, 29) << lead + QStringLiteral("29  M2  2024 года  W5");
    QTest::newRow("saturday") << QDate(2000, 1, 1) << lead + QStringLiteral("1  M1  2000 года  W7");
}

void TestStartup::loadAsksForTheRightNumbers()
{
    QFETCH(QDate, date);
    QFETCH(QString, title);
    AppFixture app;
    Module1 module(fixedCalendar(date));
    module.formLoad(*app.window);
    QCOMPARE(app.window->windowTitle(), title);
    QCOMPARE(module.monthGenitive(), QStringLiteral("M%1").arg(date.month()));
}

void TestStartup::titleThroughGlibcRussian_data()
{
    QTest::addColumn<QDate>("date");
    for (int month = 1; month <= 12; ++month)
        QTest::addRow("month%02d", month) << QDate(2024, month, month); // every weekday occurs
}

void TestStartup::titleThroughGlibcRussian()
{
    QFETCH(QDate, date);
    const TimeLocale russian("ru_RU.UTF-8");
    if (!russian.active())
        QSKIP("the ru_RU.UTF-8 locale is not installed (localedef -i ru_RU -f UTF-8 ru_RU.UTF-8)");

    Calendar calendar = systemCalendar();
    calendar.today = [date] { return date; };
    AppFixture app;
    Module1 module(calendar);
    module.formLoad(*app.window);
    QCOMPARE(module.monthGenitive(), russianGenitive[date.month() - 1]);
    QCOMPARE(app.window->windowTitle(), expectedRussianTitle(date));
}

void TestStartup::titleForTodayUnderRussian()
{
    const TimeLocale russian("ru_RU.UTF-8");
    if (!russian.active())
        QSKIP("the ru_RU.UTF-8 locale is not installed (localedef -i ru_RU -f UTF-8 ru_RU.UTF-8)");
    AppFixture app;
    const QDate before = QDate::currentDate();
    Module1 module;
    module.formLoad(*app.window);
    const QString title = app.window->windowTitle();
    QVERIFY2(title == expectedRussianTitle(before) || title == expectedRussianTitle(QDate::currentDate()),
             qPrintable(title));
}

void TestStartup::titleUnderCLocale()
{
    const TimeLocale c("C");
    QVERIFY(c.active());
    Calendar calendar = systemCalendar();
    calendar.today = [] { return QDate(2024, 12, 1); };
    AppFixture app;
    Module1 module(calendar);
    module.formLoad(*app.window);
    QCOMPARE(app.window->windowTitle(),
             QStringLiteral("Brannick       Velmora v.1.1              Сегодня: 1  December  2024 года  Sunday"));
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
    QVERIFY(title.contains(QStringLiteral(": 31  M12  2024 ")));

    now = QDate(2025, 1, 1);
    QSignalSpy ticks(app.window->findChild<QTimer *>(QStringLiteral("Timer1")), &QTimer::timeout);
    QTRY_VERIFY(ticks.size() >= 2);
    QCOMPARE(app.window->windowTitle(), title);
    QCOMPARE(reads, 1);
}

void TestStartup::loadResetsTransmitPhases()
{
    AppFixture app;
    app.stopPolling();
    for (int channel = 0; channel < channelCount; ++channel) {
        app.control<QCheckBox>(QStringLiteral("Check%1").arg(channel + 1))->setChecked(true);
        app.window->setPinText(channel, Pin::Td, QStringLiteral("x"));
    }
    app.window->poll().tick();
    for (int channel = 0; channel < channelCount; ++channel)
        QCOMPARE(app.window->poll().transmitPhase(channel), qint16(2));

    Module1 module(fixedCalendar(QDate(2024, 1, 2)));
    module.formLoad(*app.window);
    for (int channel = 0; channel < channelCount; ++channel)
        QCOMPARE(app.window->poll().transmitPhase(channel), qint16(1));
}

void TestStartup::authorText()
{
    const QString text = Module1::authorText();
    QVERIFY(!text.endsWith(crlf));
    QCOMPARE(text.count(QLatin1Char('\n')), text.count(crlf));
    QCOMPARE(text.count(QLatin1Char('\r')), text.count(crlf));

    const QStringList lines = text.split(crlf);
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], QStringLiteral("Brannick"));
    QCOMPARE(lines[1], QStringLiteral("Velmora v.1.1"));
    QVERIFY(lines[2].startsWith(QStringLiteral("Автор: ")));
    QVERIFY(lines[2].size() > 7);
    QVERIFY(lines[3].contains(QStringLiteral("example.")));
    QVERIFY(lines[4].startsWith(QStringLiteral("e-mail:")));
    QVERIFY(!lines[4].startsWith(QStringLiteral("e-mail: ")));
    QVERIFY(lines[4].contains(QStringLiteral("@example.")));
    QCOMPARE(lines.count(QString()), 1);
    QCOMPARE(lines[5], QString());
    QVERIFY(lines[6].contains(QStringLiteral("Brannick")));
}

void TestStartup::termsText()
{
    const QString text = Module1::termsText();
    QVERIFY(!text.endsWith(crlf));
    QCOMPARE(text.count(QLatin1Char('\n')), text.count(crlf));
    QCOMPARE(text.count(QLatin1Char('\r')), text.count(crlf));

    const QStringList lines = text.split(crlf);
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.count(QString()), 0);
    QCOMPARE(lines[0], QStringLiteral("Соглашение на использование программы Velmora v.1.1:"));
    QCOMPARE(lines[1], QStringLiteral(" "));
    const QString site = Module1::authorText().split(crlf)[3];
    QCOMPARE(lines[2], QStringLiteral("2.Программа бесплатно распространяется автором  с сайта ") + site
                 + QStringLiteral(". Распространение c других источников должно быть согласовано с автором."));
    QVERIFY(lines[2].contains(QLatin1String(" c "))); // the Latin letter before "других"
    QVERIFY(lines[3].startsWith(QStringLiteral("3.")));
    QVERIFY(lines[3].contains(QStringLiteral("использование  ")));
    QVERIFY(lines[4].startsWith(QStringLiteral("4.")));
    QCOMPARE(lines[5], QStringLiteral("5. Автор не несёт никакой ответственности возникшей в результате  использования этого продукта."));
    QCOMPARE(lines[6], QStringLiteral("6. Автор не берет на себя обязательств по дальнейшему развитию и  поддержки данного программного продукта."));
}

void TestStartup::loadFillsTheAboutTexts()
{
    AppFixture app;
    QCOMPARE(app.control<QPlainTextEdit>(QStringLiteral("Text38"))->toPlainText(), QString());
    Module1 module(fixedCalendar(QDate(2024, 1, 2)));
    module.formLoad(*app.window);
    // The text box keeps the lines; CR LF becomes its own line separator.
    const auto *author = app.control<QPlainTextEdit>(QStringLiteral("Text38"));
    const auto *terms = app.control<QPlainTextEdit>(QStringLiteral("Text39"));
    QCOMPARE(author->toPlainText().split(QLatin1Char('\n')), Module1::authorText().split(crlf));
    QCOMPARE(terms->toPlainText().split(QLatin1Char('\n')), Module1::termsText().split(crlf));
}

void TestStartup::iconResourceIsA256ColourPicture()
{
    const QImage icon(QStringLiteral(":/Icon1"));
    QCOMPARE(icon.size(), QSize(256, 256));
    QCOMPARE(icon.format(), QImage::Format_Indexed8);
    QVERIFY(icon.colorCount() > 16 && icon.colorCount() <= 256);

    AppFixture app;
    const QLabel *picture = app.control<QLabel>(QStringLiteral("Image2"));
    QCOMPARE(picture->pixmap().size(), QSize(256, 256));
    QVERIFY(picture->hasScaledContents());
    QVERIFY(app.control<QLabel>(QStringLiteral("Image1"))->pixmap().isNull());
}

void TestStartup::loadSetsLargeAndSmallIcons()
{
    AppFixture app;
    QVERIFY(app.window->windowIcon().isNull());
    Module1 module(fixedCalendar(QDate(2024, 1, 2)));
    module.formLoad(*app.window);
    const QStyle *style = app.window->style();
    const int large = style->pixelMetric(QStyle::PM_LargeIconSize);
    const int small = style->pixelMetric(QStyle::PM_SmallIconSize);
    const QList<QSize> sizes = app.window->windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(large, large)));
    QVERIFY(sizes.contains(QSize(small, small)));
}

void TestStartup::iconGoesToTheTopmostOwner_data()
{
    QTest::addColumn<bool>("toOwner");
    QTest::newRow("ownerToo") << true;
    QTest::newRow("windowOnly") << false;
}

void TestStartup::iconGoesToTheTopmostOwner()
{
    QFETCH(bool, toOwner);
    QWidget topmost;
    QWidget owner(&topmost, Qt::Window);
    AppFixture app(&owner);
    QVERIFY(app.window->isWindow());

    Module1::setWindowIcon(app.window.get(), QStringLiteral("Icon1"), toOwner);
    QVERIFY(!app.window->windowIcon().isNull());
    QCOMPARE(!topmost.windowIcon().isNull(), toOwner);
}

void TestStartup::missingIconResource()
{
    AppFixture app;
    Module1::setWindowIcon(app.window.get(), QStringLiteral("Icon1"), true);
    QVERIFY(!app.window->windowIcon().isNull());

    Module1 module(fixedCalendar(QDate(2024, 12, 1)), QStringLiteral("NoSuchIcon"));
    module.formLoad(*app.window);
    QVERIFY(app.window->windowIcon().isNull());
    QCOMPARE(app.window->windowTitle(),
             QStringLiteral("Brannick       Velmora v.1.1              Сегодня: 1  M12  2024 года  W1"));
    QVERIFY(!app.control<QPlainTextEdit>(QStringLiteral("Text39"))->toPlainText().isEmpty());
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
