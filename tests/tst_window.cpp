#include "module1.h"
#include "rows.h"
#include "testwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>

using namespace Qt::StringLiterals;

static const QString titleLead = u"Brannick       Velmora v.1.1              Сегодня: "_s;

// "name index x y width height|caption|accessible name": height 0 follows the font, x -1 leaves the place open.
static QStringList controlRows()
{
    QStringList rows{u"Frame4 -1 0 0 449 265"_s, u"Frame1 -1 15 32 81 89|Порты"_s, u"Image2 -1 304 16 112 80"_s,
                     u"Label12 -1 392 8 177 17|Com1      Com2        Com3       Com4"_s,
                     u"Text38 -1 24 16 265 113"_s, u"Text39 -1 24 136 409 113"_s};
    const QString pins[] = {u"1(8)-DCD-вход-обнаружение инф. сигнала"_s, u"2(3)-RD-вход-принимаемые данные"_s,
                            u"3(2)-TD-выход-передаваемые данные"_s, u"4(20)-DTR-выход-компьютер готов к обмену"_s,
                            u"5(7)-GND-сигнальная земля"_s, u"6(6)-DSR-вход-готовность внешнего устройства"_s,
                            u"7(4)-RTS-выход-запрос на передачу"_s, u"8(5)-CTS-вход очищен для передачи"_s,
                            u"9(22)-RI-вход-индикатор звонка"_s};
    // Where Frame3 and Frame2 of each channel stand.
    const QString at[][2] = {{u"6 248"_s, u"98 248"_s}, {u"585 248"_s, u"342 248"_s},
                             {u"6 396"_s, u"98 396"_s}, {u"585 396"_s, u"342 396"_s}};
    const QString settings[] = {u"скорость"_s, u"чётность"_s, u"биты данных"_s, u"стоповые биты"_s, u"управление потоком"_s};
    const int combos[4][5] = {{0, 1, 2, 3, 16}, {7, 6, 5, 4, 17}, {11, 10, 9, 8, 18}, {15, 14, 13, 12, 19}};
    for (int p = 0; p < 9; ++p)
        rows << u"Label%1 -1 112 %2 265 17|%3"_s.arg(p + 3).arg(32 + 24 * p).arg(pins[p]);
    for (int i = 0; i < channelCount; ++i) {
        const int n = i + 1, x = 382 + 48 * i;
        rows << u"Frame3 %1 %2 90 130|Настройка"_s.arg(i).arg(at[i][0]) << u"Frame2 %1 %2 241 145|СОМ %3"_s.arg(i).arg(at[i][1]).arg(n)
             << u"Check%1 -1 8 %2 57 17|Com%1"_s.arg(n).arg(16 * n) << u"Label17 %1 -1 0 0 0|чет/неч"_s.arg(i)
             << u"Label18 %1 -1 0 0 0|бит"_s.arg(i) << u"Label19 %1 -1 0 0 0|стоп "_s.arg(i)
             << u"Label%1 -1 -1 0 0 0|%2"_s.arg(20 + n).arg(n == 1 ? u"управл"_s : u"управл."_s)
             << u"Command%1 -1 %2 104 9 19||COM%3 DTR"_s.arg(2 * n + 1).arg(x).arg(n)
             << u"Command%1 -1 %2 176 9 19||COM%3 RTS"_s.arg(2 * n + 2).arg(x).arg(n)
             << u"Label1 %1 48 16 145 17|1         2        3         4         5"_s.arg(i)
             << u"Label2 %1 56 104 121 17|6            7        8         9"_s.arg(i);
        for (int role = 0; role < 5; ++role)
            rows << u"Combo1 %1 -1 0 0 0||COM%2 %3"_s.arg(combos[i][role]).arg(n).arg(settings[role]);
        for (int p = 0; p < 9; ++p) {
            const QString name = u"COM%1 %2"_s.arg(n).arg(pins[p].section(u'-', 1, 1)); // the signal's name
            rows << u"Text%1 -1 %2 %3 33 19||%4"_s.arg(2 + 9 * i + p).arg(x + 10).arg(32 + 24 * p).arg(name)
                 << u"Shape%1 %2 %3 %4 25 25||%5"_s.arg(p + 1).arg(i).arg(p < 5 ? 40 + 32 * p : 56 + 32 * (p - 5)).arg(p < 5 ? 40 : 72).arg(name);
        }
    }
    return rows;
}

static QString said(QWidget *widget, QAccessible::Text text = QAccessible::Description) { return QAccessible::queryAccessibleInterface(widget)->text(text); }

// Today as given, every month named `monthName`, and weekday n (Sunday first) named "Wn".
static Calendar calendarOf(const std::function<QDate()> &today, const QString &monthName)
{
    return {today, [monthName](int) { return monthName; }, [](int weekday) { return u"W%1"_s.arg(weekday); }};
}

class TestWindowAndStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(u"Fusion"_s); } // the style a plain Linux desktop gets

    void controls_data()
    {
        QTest::addColumn<QString>("row");
        for (const QString &row : controlRows())
            QTest::newRow(qPrintable(row.section(u' ', 0, 1).replace(u' ', u'_'))) << row;
    }
    void controls()
    {
        QFETCH(QString, row);
        const QFont system = QApplication::font(); // made large: the layout stays as it is
        const auto restore = qScopeGuard([system] { QApplication::setFont(system); });
        QApplication::setFont(QFont(system.family(), 16));
        TestWindow ui;
        const QStringList at = row.section(u'|', 0, 0).split(u' ');
        QWidget *widget = ui.get(at[0], at[1].toInt());
        QVERIFY2(widget, "no single control answers to the name");
        const QRect rect(at[2].toInt(), at[3].toInt(), at[4].toInt(), at[5].toInt());
        if (rect.x() >= 0)
            QCOMPARE(widget->geometry(), rect.height() ? rect : QRect(rect.topLeft(), QSize(rect.width(), widget->height())));
        if (!row.section(u'|', 1, 1).isEmpty())
            QCOMPARE(widget->property(qobject_cast<QGroupBox *>(widget) ? "title" : "text").toString(), row.section(u'|', 1, 1));
        if (const auto *label = qobject_cast<QLabel *>(widget)) // the font made smaller until the caption fits
            QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->width());
        if (auto *combo = qobject_cast<QComboBox *>(widget))
            widget = combo->lineEdit(); // Qt names a combo by its text on Linux
        if (!row.section(u'|', 2).isEmpty())
            QCOMPARE(said(widget, QAccessible::Name), row.section(u'|', 2));
    }

    // The window and its one menu item; the combos' lists; only the TD fields take what is typed; colours show
    // as their codes say, and a screen reader is told; the about panel's texts and the window's icon.
    void fieldsColoursAndTexts()
    {
        TestWindow ui;
        const QString lists[] = {u"110 300 600 1200 2400 4800 9600 14400 19200 38400 57600 115200"_s, u"n e o s m"_s,
                                 u"5 6 7 8"_s, u"1 2"_s, u"0 1 2 3"_s};
        const QString initial[] = {u"9600"_s, u"n"_s, u"8"_s, u"1"_s, u"0"_s};
        const int roleOf[] = {0, 1, 2, 3, 3, 2, 1, 0, 3, 2, 1, 0, 3, 2, 1, 0, 4, 4, 4, 4};
        for (int index = 0; index < 20; ++index) {
            const auto *combo = ui.get<QComboBox>(u"Combo1"_s, index);
            QStringList entries;
            for (int i = 0; i < combo->count(); ++i)
                entries << combo->itemText(i);
            QCOMPARE(entries.join(u' ') + u'/' + combo->currentText(), lists[roleOf[index]] + u'/' + initial[roleOf[index]]);
            QVERIFY(combo->parentWidget() == ui.get(u"Frame3"_s, index < 16 ? index / 4 : index - 16) && combo->isEditable());
        }
        QCOMPARE(ui.window->objectName() + u' ' + QString::number(ui.get<QTimer>(u"Timer1"_s)->interval()), u"Form1 300"_s);
        const QList<QAction *> items = ui.window->menuBar()->actions();
        QCOMPARE(QString::number(items.size()) + u' ' + items[0]->objectName() + u' ' + items[0]->text(), u"1 mnu_Prog О программе"_s);
        QCOMPARE(ui.window->centralWidget()->size(), QSize(684, 551)); // below the menu bar
        for (int field = 2; field <= 37; ++field) {
            ui.text(field)->setFocus();
            QTest::keyClicks(ui.text(field), u"AT+1"_s);
            QTest::keyClick(ui.text(field), Qt::Key_Backspace);
            QCOMPARE(ui.text(field)->text(), (field - 4) % 9 == 0 ? u"AT+"_s : QString());
        }
        QCOMPARE(QString::number(ui.colour(u"Frame4"_s), 16) + u' ' + QString::number(ui.colour(u"Text39"_s), 16),
                 u"8000000a c0ffff"_s);
        QWidget *dcd = ui.get(u"Shape1"_s, 1), *dtr = ui.get(u"Command5"_s);
        QCOMPARE(said(dcd) + said(dtr), u"выклвыкл"_s);
        ui.window->setButtonColor(1, Line::Dtr, ColorCode::Red);
        ui.window->setIndicatorColor(1, Pin::Dcd, ColorCode::Green);
        QCOMPARE(said(dcd) + said(dtr), u"вклвкл"_s);
        QCOMPARE(ui.painted(u"Command5"_s).name() + ui.painted(u"Shape1"_s, 1).name(), u"#ff0000#00c000"_s);
        // The texts of the about panel, as given and as shown once the form is loaded.
        const QStringList author{u"Brannick"_s, u"Velmora v.1.1"_s, u"Автор: Ерофей Коннекторов"_s, u"www.example.com"_s,
                                 u"e-mail:velmora@example.org"_s, u""_s, u"© Brannick, все права защищены"_s};
        const QStringList terms{
            u"Соглашение на использование программы Velmora v.1.1:"_s, u" "_s,
            u"2.Программа бесплатно распространяется автором  с сайта www.example.com. Распространение c других источников должно быть согласовано с автором."_s,
            u"3.Разрешается свободное использование  программы в личных и служебных целях."_s,
            u"4.Запрещается вносить изменения в программу без согласия автора."_s,
            u"5. Автор не несёт никакой ответственности возникшей в результате  использования этого продукта."_s,
            u"6. Автор не берет на себя обязательств по дальнейшему развитию и  поддержки данного программного продукта."_s};
        QCOMPARE(Module1::authorText() + u'|' + Module1::termsText(), author.join(u"\r\n"_s) + u'|' + terms.join(u"\r\n"_s));
        Module1().formLoad(*ui.window);
        const auto *authorBox = ui.get<QPlainTextEdit>(u"Text38"_s), *termsBox = ui.get<QPlainTextEdit>(u"Text39"_s);
        QCOMPARE(authorBox->toPlainText() + u'|' + termsBox->toPlainText(), author.join(u'\n') + u'|' + terms.join(u'\n'));
        QVERIFY(authorBox->isReadOnly() && termsBox->isReadOnly());
        // As large and as small as the style's icons, and drawn: the rounded corners see through, the middle is opaque.
        const QImage small = ui.window->windowIcon().pixmap(16).toImage();
        QCOMPARE(ui.window->windowIcon().availableSizes(), (QList<QSize>{QSize(32, 32), QSize(16, 16)}));
        QCOMPARE(u"%1 %2"_s.arg(small.pixelColor(0, 0).alpha()).arg(small.pixelColor(8, 8).alpha()), u"0 255"_s);
    }

    // Run by tst_window_at150 with the screen at 150 %: both icons drawn at its pixels, not scaled.
    void iconsAt150Percent()
    {
        if (qEnvironmentVariable("QT_SCALE_FACTOR") != u"1.5"_s)
            QSKIP("tst_window_at150 runs this with QT_SCALE_FACTOR=1.5");
        TestWindow ui;
        Module1().formLoad(*ui.window);
        const QList<QSize> sizes{QSize(48, 48), QSize(24, 24)};
        QCOMPARE(ui.window->windowIcon().availableSizes(), sizes);
    }

    // "tag control x y shown": a click at that point of the control, with the panel shown; x -1 is on the scroll bar.
    void aboutPanel_data()
    {
        rowTable({"besideTheTexts Frame4 10 200 0", "picture Image2 56 40 0", "authorText Text38 40 20 0",
                  "termsText Text39 40 20 1", "termsScrollBar Text39 -1 0 1", "icon Image1 0 0 1",
                  "menuAgain mnu_Prog 0 0 0"});
    }
    void aboutPanel()
    {
        QFETCH(QString, row);
        const QStringList at = row.split(u' ');
        TestWindow ui;
        Module1().formLoad(*ui.window);
        QWidget *panel = ui.get(u"Frame4"_s);
        QMenuBar *bar = ui.window->menuBar();
        const QPoint menu = bar->actionGeometry(bar->actions().front()).center();
        QVERIFY(panel->isHidden());
        QTest::mouseClick(bar, Qt::LeftButton, {}, menu);
        QVERIFY(panel->isAncestorOf(ui.window->centralWidget()->childAt(ui.get(u"Command6"_s)->geometry().center())));
        QWidget *target = at[0] == u"mnu_Prog"_s ? bar : ui.get(at[0]);
        if (auto *text = qobject_cast<QPlainTextEdit *>(target))
            target = at[1] == u"-1"_s ? static_cast<QWidget *>(text->verticalScrollBar()) : text->viewport();
        const QPoint point = target == bar ? menu : at[1] == u"-1"_s ? QPoint(5, target->height() - 4) : QPoint(at[1].toInt(), at[2].toInt());
        QTest::mouseClick(target, Qt::LeftButton, {}, point);
        QCOMPARE(panel->isVisible(), at[3] == u"1"_s);
    }

    // A date of every month, weekday and day count, read once though the clock moves on; a name not in
    // the table is kept as it is.
    void title_data()
    {
        QTest::addColumn<QString>("row"); // the date, the month's name, the title after "Сегодня: "
        for (const char *row : {"2024-01-01 Январь 1  Января  2024 года  W2", "2024-02-02 Февраль 2  Февраля  2024 года  W6", "2024-03-03 Март 3  Марта  2024 года  W1",
                                "2024-04-04 Апрель 4  Апреля  2024 года  W5", "2024-05-05 Май 5  Мая  2024 года  W1", "2024-06-06 Июнь 6  Июня  2024 года  W5",
                                "2024-07-07 Июль 7  Июля  2024 года  W1", "2024-08-08 Август 8  Августа  2024 года  W5", "2024-09-09 Сентябрь 9  Сентября  2024 года  W2",
                                "2024-10-10 Октябрь 10  Октября  2024 года  W5", "2024-11-11 Ноябрь 11  Ноября  2024 года  W2", "2024-12-12 Декабрь 12  Декабря  2024 года  W5",
                                "2024-12-13 December 13  December  2024 года  W6", "2024-12-14 декабрь 14  Декабря  2024 года  W7"})
            QTest::newRow(qPrintable(QString::fromUtf8(row).section(u' ', 0, 0))) << QString::fromUtf8(row); // by the date
    }
    void title()
    {
        QFETCH(QString, row);
        TestWindow ui;
        QDate date = QDate::fromString(row.section(u' ', 0, 0), Qt::ISODate);
        Module1(calendarOf([date]() mutable { return std::exchange(date, date.addDays(1)); }, row.section(u' ', 1, 1))).formLoad(*ui.window);
        QCOMPARE(ui.window->windowTitle(), titleLead + row.section(u' ', 2));
    }
};

QTEST_MAIN(TestWindowAndStartup)
#include "tst_window.moc"
