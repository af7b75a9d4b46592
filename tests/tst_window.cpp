#include "module1.h"
#include "testwindow.h"

#include <QApplication>
#include <QMenuBar>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;

class TestWindowAndStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The style a plain Linux desktop gets.
    void initTestCase() { QApplication::setStyle(u"Fusion"_s); }

    // Under a large system font the layout stays as it is and each caption still fits its
    // label; each control has a name of its own ("name/index") and stands inside its container;
    // how many there are, and how many a screen reader can name, combos' fields included. Then
    // the controls that take typing (the TD fields alone); a few landmarks, each where it stands
    // in its container, its caption and what a screen reader calls it (with QDebug's blanks);
    // the window's name, its timer's period, its menu.
    void controls()
    {
        const QFont system = QApplication::font();
        QApplication::setFont(QFont(system.family(), 16));
        TestWindow ui;
        QApplication::setFont(system);
        QHash<QString, QString> seen;
        QStringList shown;
        for (QWidget *widget : ui.window.findChildren<QWidget *>(QRegularExpression(u"\\d$"_s))) {
            const QString name = widget->objectName() + u'/' + widget->property("Index").toString();
            const auto *label = qobject_cast<QLabel *>(widget);
            QVERIFY2(!seen.contains(name)
                         && widget->parentWidget()->rect().contains(widget->geometry())
                         && (!label || label->fontMetrics().horizontalAdvance(label->text())
                                           <= label->width()),
                     qPrintable(name));
            QDebug(&seen[name]).noquote()
                << widget->geometry()
                << widget->property("title").toString() + widget->property("text").toString()
                << widget->accessibleName();
            if (widget->property("readOnly") == false)
                shown << name;
        }
        QCOMPARE(seen.size(), 156);
        QCOMPARE(std::ranges::count_if(ui.window.findChildren<QWidget *>(), [](QWidget *widget) {
                     return !widget->accessibleName().isEmpty();
                 }),
                 120);
        QCOMPARE(ui.window.centralWidget()->size(), QSize(684, 551));
        const QString marks = u"Frame2/0 Label10/ Label21/ Text13/ Command9/ Shape6/3 Combo1/7"_s;
        for (const QString &name : marks.split(u' '))
            shown << seen[name];
        shown << ui.window.objectName() << QString::number(ui.get<QTimer>("Timer1")->interval());
        for (const QAction *item : ui.window.menuBar()->actions())
            shown << item->objectName() << item->text();
        QCOMPARE(shown, QStringList({u"Text4/"_s, u"Text13/"_s, u"Text22/"_s, u"Text31/"_s,
                                     u"QRect(98,248 241x145) СОМ 1  "_s,
                                     u"QRect(112,200 265x17) 8(5)-CTS-вход очищен для передачи  "_s,
                                     u"QRect(4,101 45x17) управл  "_s,
                                     u"QRect(440,80 33x19)  COM2 TD "_s,
                                     u"QRect(526,104 9x19)  COM4 DTR "_s,
                                     u"QRect(56,72 25x25)  COM4 DSR "_s,
                                     u"QRect(22,16 63x21)  COM2 скорость "_s, u"Form1"_s, u"300"_s,
                                     u"mnu_Prog"_s, u"О программе"_s}));
    }

    // What start-up and the about panel show. The title after its fixed lead: the day from a
    // clock that moves on a day each time it is read (a Saturday), the month's name given in any
    // case but put in the genitive, weekday n (Sunday first) being named "Wn". The about texts
    // (how many lines, and a few of them). The colours that never change as painted, read as the
    // menu item shows the panel before start-up fills its texts: the panel's face, which the
    // style's frame tints, the author text on the same grey, the terms on light yellow, and a
    // status caption's blue (in full blocks here).
    // Then whether the panel stays after a click where a user clicks, on the terms text, the
    // empty picture, the author text, the picture, the panel itself, and on its menu item again,
    // shown anew before each: it lies above the controls it covers.
    void startup()
    {
        TestWindow ui;
        QAction *menu = ui.window.menuBar()->actions()[0];
        menu->trigger();
        ui.window.setStatusCaption(2, u"███"_s);
        const QString painted = ui.painted("Frame4", -1, QPoint(296, 50))
            + QString(ui.painted("Text38")) + ui.painted("Text39") + ui.painted("Label16");
        QDate today(2024, 12, 14);
        Module1({[&today] { return std::exchange(today, today.addDays(1)); },
                 [](int) { return u"декабрь"_s; }, [](int day) { return u"W%1"_s.arg(day); }})
            .formLoad(ui.window);
        const QStringList lines = (ui.get<QPlainTextEdit>("Text38")->toPlainText() + u'\n'
                                   + ui.get<QPlainTextEdit>("Text39")->toPlainText())
                                      .split(u'\n');
        QStringList seen{ui.window.windowTitle(), QString::number(lines.size()), lines[2],
                         lines[6], lines[7], painted};
        QString stays;
        for (const char *part : {"Text39", "Image1", "Text38", "Image2", "Frame4", "mnu_Prog"}) {
            if (ui.get("Frame4")->isHidden())
                menu->trigger();
            // The menu item is no widget; the empty picture, a pixel, not every Qt finds under the
            // pointer, so it is clicked itself.
            QWidget *at = ui.get(part);
            if (!at)
                menu->trigger();
            else if (at->width() == 1)
                QTest::mouseClick(at, Qt::LeftButton);
            else
                QTest::mouseClick(ui.window.windowHandle(), Qt::LeftButton, {},
                                  at->mapTo(&ui.window, at->rect().center()));
            stays += u"01"[ui.get("Frame4")->isVisible()];
        }
        seen << stays;
        QCOMPARE(seen, QStringList({u"Brannick       Velmora v.1.1              Сегодня: 14  "
                                    "Декабря  2024 года  W7"_s,
                                    u"14"_s, u"Автор: Ерофей Коннекторов"_s,
                                    u"© Brannick, все права защищены"_s,
                                    u"Соглашение на использование программы Velmora v.1.1:"_s,
                                    u"aayB"_s, u"110000"_s}));
    }

    // The window's icons, as large and as small as the style's in the screen's pixels (at 150 %
    // when tst_window_at150 runs this), their rounded corners see-through and their middle
    // opaque.
    void iconsAt150Percent()
    {
        TestWindow ui;
        Module1().formLoad(ui.window);
        const QIcon icon = ui.window.windowIcon();
        const int large = 32 * ui.window.devicePixelRatio();
        QCOMPARE(icon.availableSizes(), QList({QSize(large, large), QSize(large / 2, large / 2)}));
        for (const QSize &size : icon.availableSizes()) {
            const QImage image = icon.pixmap(size, 1).toImage();
            const int middle = size.width() / 2;
            QCOMPARE(qAlpha(image.pixel(0, 0)) - qAlpha(image.pixel(middle, middle)), -255);
        }
    }
};

QTEST_MAIN(TestWindowAndStartup)
#include "tst_window.moc"
