#include "module1.h"
#include "testwindow.h"

#include <QApplication>
#include <QGroupBox>
#include <QMenuBar>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;

class TestWindowAndStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The style a plain Linux desktop gets.
    void initTestCase() { QApplication::setStyle(u"Fusion"_s); }

    // A control by name and index; where it stands in the client area (height 0: as the font
    // makes it); its caption, or else what a screen reader calls it.
    void landmarks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QString>("words");
        QTest::newRow("ports") << "Frame1" << -1 << QRect(15, 32, 81, 89) << "Порты";
        QTest::newRow("pinsCom1") << "Frame2" << 0 << QRect(98, 248, 241, 145) << "СОМ 1";
        QTest::newRow("settingsCom2") << "Frame3" << 1 << QRect(585, 248, 90, 130) << "Настройка";
        QTest::newRow("pinCts") << "Label10" << -1 << QRect(112, 200, 265, 17)
                                << "8(5)-CTS-вход очищен для передачи";
        QTest::newRow("dtrCom4") << "Command9" << -1 << QRect(526, 104, 9, 19) << "COM4 DTR";
        QTest::newRow("dsrCom4") << "Shape6" << 3 << QRect(398, 468, 25, 25) << "COM4 DSR";
        QTest::newRow("baudCom2") << "Combo1" << 7 << QRect(607, 264, 63, 0) << "COM2 скорость";
    }
    void landmarks()
    {
        QFETCH(QString, name);
        QFETCH(int, index);
        QFETCH(QRect, place);
        TestWindow ui;
        QWidget *widget = ui.get(name, index);
        QCOMPARE(QRect(widget->mapTo(ui.window->centralWidget(), QPoint()), widget->size()),
                 place.height() ? place : place.adjusted(0, 0, 0, widget->height()));
        QString words = widget->property(qobject_cast<QGroupBox *>(widget) ? "title" : "text")
                            .toString();
        // Qt names a combo by its text on Linux; its field carries the name there.
        if (auto *combo = qobject_cast<QComboBox *>(widget))
            widget = combo->lineEdit();
        QTEST(words.isEmpty() ? widget->accessibleName() : words, "words");
    }

    // Under a large system font the layout stays as it is and each caption still fits its
    // label; each control has a name of its own and stands inside its container; how many
    // there are, and how many a screen reader can name.
    void everyControl()
    {
        const QFont system = QApplication::font();
        const auto restore = qScopeGuard([system] { QApplication::setFont(system); });
        QApplication::setFont(QFont(system.family(), 16));
        TestWindow ui;
        QSet<QString> names;
        int spoken = 0;
        const QRegularExpression named(u"^[A-Z][a-z]+\\d+$"_s);
        for (QWidget *widget : ui.window->findChildren<QWidget *>(named)) {
            const QString name = widget->objectName() + u'/' + widget->property("Index").toString();
            const auto *label = qobject_cast<QLabel *>(widget);
            QVERIFY2(!names.contains(name)
                         && widget->parentWidget()->rect().contains(widget->geometry())
                         && (!label || label->fontMetrics().horizontalAdvance(label->text())
                                           <= label->width()),
                     qPrintable(name));
            names << name;
            spoken += !widget->accessibleName().isEmpty();
        }
        QCOMPARE(names.size(), 156);
        QCOMPARE(spoken, 100);
        QCOMPARE(ui.window->centralWidget()->size(), QSize(684, 551));
    }

    // COM2's settings, top to bottom: each combo's index and height in the panel, its list
    // and its text at start.
    void comboLists()
    {
        TestWindow ui;
        QStringList shown;
        for (const QComboBox *combo : ui.get("Frame3", 1)->findChildren<QComboBox *>()) {
            QStringList entries{combo->property("Index").toString(), QString::number(combo->y())};
            for (int row = 0; row < combo->count(); ++row)
                entries << combo->itemText(row);
            shown << entries.join(u' ') + u'/' + combo->currentText();
        }
        QCOMPARE(shown, QStringList({u"7 16 110 300 600 1200 2400 4800 9600 14400 19200 38400 "
                                     "57600 115200/9600"_s,
                                     u"6 38 n e o s m/n"_s, u"5 58 5 6 7 8/8"_s, u"4 78 1 2/1"_s,
                                     u"17 99 0 1 2 3/0"_s}));
    }

    // The fields that take what is typed (the TD fields only); the timer; the one menu item;
    // a few captions and names; a line's state as a screen reader hears it from its indicator
    // and its button, then turned on.
    void fieldsTimerMenuAndStates()
    {
        TestWindow ui;
        QStringList shown;
        for (int field = 2; field <= 37; ++field)
            if (QTest::keyClicks(ui.text(field), u"AT"_s), !ui.text(field)->text().isEmpty())
                shown << QString::number(field);
        const QList<QAction *> menu = ui.window->menuBar()->actions();
        const QWidget *dcd = ui.get("Shape1", 1), *dtr = ui.get("Command5");
        shown << ui.window->objectName() << QString::number(ui.get<QTimer>("Timer1")->interval())
              << QString::number(menu.size()) << menu[0]->objectName() << menu[0]->text()
              << ui.get<QLabel>("Label21")->text() << ui.get<QLabel>("Label22")->text()
              << ui.text(13)->accessibleName()
              << dcd->accessibleDescription() + dtr->accessibleDescription();
        ui.window->setButtonColor(1, Line::Dtr, ColorCode::Red);
        ui.window->setIndicatorColor(1, Pin::Dcd, ColorCode::Green);
        QCOMPARE(shown.join(u'|') + dcd->accessibleDescription() + dtr->accessibleDescription(),
                 u"4|13|22|31|Form1|300|1|mnu_Prog|О программе|управл|управл.|COM2 TD|"
                 "выклвыклвклвкл"_s);
    }

    // The about texts as the panel shows them, read-only, by a few of their lines; the
    // window's icons, as large and as small as the style's, their rounded corners see-through
    // and their middle opaque.
    void aboutTextsAndIcons()
    {
        TestWindow ui;
        Module1().formLoad(*ui.window);
        const auto *author = ui.get<QPlainTextEdit>("Text38");
        const auto *terms = ui.get<QPlainTextEdit>("Text39");
        const QStringList lines =
            (author->toPlainText() + u'\n' + terms->toPlainText()).split(u'\n');
        QCOMPARE(QStringList({QString::number(lines.size()), lines[2], lines[6], lines[7]}),
                 QStringList({u"14"_s, u"Автор: Ерофей Коннекторов"_s,
                              u"© Brannick, все права защищены"_s,
                              u"Соглашение на использование программы Velmora v.1.1:"_s}));
        QVERIFY(author->isReadOnly() && terms->isReadOnly());
        QString alphas;
        for (int size : {32, 16}) {
            const QImage icon = ui.window->windowIcon().pixmap(size).toImage();
            alphas += u"%1 %2 "_s.arg(icon.pixelColor(0, 0).alpha())
                          .arg(icon.pixelColor(size / 2, size / 2).alpha());
        }
        QCOMPARE(alphas, u"0 255 0 255 "_s);
        QCOMPARE(ui.window->windowIcon().availableSizes(), QList({QSize(32, 32), QSize(16, 16)}));
    }

    // A click at a point of the panel shown by its menu item, or that item chosen again (a
    // null point): whether the panel stays. The panel lies above the controls it covers.
    void aboutPanel_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("stays");
        QTest::newRow("besideTheTexts") << QPoint(10, 200) << false;
        QTest::newRow("picture") << QPoint(360, 56) << false;
        QTest::newRow("authorText") << QPoint(64, 36) << false;
        QTest::newRow("termsText") << QPoint(64, 156) << true;
        QTest::newRow("termsScrollBar") << QPoint(426, 240) << true;
        QTest::newRow("icon") << QPoint(-1, -1) << true;
        QTest::newRow("menuAgain") << QPoint() << false;
    }
    void aboutPanel()
    {
        QFETCH(QPoint, at);
        TestWindow ui;
        QWidget *panel = ui.get("Frame4"), *covered = ui.get("Command6");
        QAction *menu = ui.window->menuBar()->actions()[0];
        QVERIFY(panel->isHidden());
        menu->trigger();
        const QPoint middle = covered->geometry().center();
        QVERIFY(panel->isAncestorOf(ui.window->centralWidget()->childAt(middle)));
        // (-1, -1) is the icon, wherever the style puts it.
        const bool icon = at == QPoint(-1, -1);
        QWidget *target = icon ? ui.get("Image1") : panel->childAt(at) ? panel->childAt(at) : panel;
        if (at.isNull())
            menu->trigger();
        else
            QTest::mouseClick(target, Qt::LeftButton, {},
                              icon ? QPoint(4, 4) : target->mapFrom(panel, at));
        QTEST(panel->isVisible(), "stays");
    }

    // Colours that never change are painted all the same: the about panel's texts', and a status
    // caption's blue (a caption of full blocks here).
    void fixedColoursPainted()
    {
        TestWindow ui;
        ui.window->menuBar()->actions()[0]->trigger();
        ui.window->setStatusCaption(2, u"\u2588\u2588\u2588"_s);
        QCOMPARE(QString(ui.painted("Text38")) + ui.painted("Text39") + ui.painted("Label16"),
                 u"ayB"_s);
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

    // Today, from a clock that moves on a day each time it is read; the month's name given (in
    // the genitive in the title, whatever its case; one not in the table kept); the
    // title after its fixed lead, weekday n (Sunday first) being named "Wn".
    void title_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("title");
        QTest::newRow("sunday") << QDate(2024, 3, 3) << "Март" << "3  Марта  2024 года  W1";
        QTest::newRow("thursday") << QDate(2024, 5, 9) << "Май" << "9  Мая  2024 года  W5";
        QTest::newRow("saturday") << QDate(2024, 12, 14) << "декабрь"
                                  << "14  Декабря  2024 года  W7";
    }
    void title()
    {
        QFETCH(QDate, today);
        QFETCH(QString, month);
        TestWindow ui;
        const auto clock = [today]() mutable { return std::exchange(today, today.addDays(1)); };
        const auto weekday = [](int day) { return u"W%1"_s.arg(day); };
        Module1({clock, [month](int) { return month; }, weekday}).formLoad(*ui.window);
        const QString lead = u"Brannick       Velmora v.1.1              Сегодня: "_s;
        QTEST(ui.window->windowTitle().remove(lead), "title");
    }
};

QTEST_MAIN(TestWindowAndStartup)
#include "tst_window.moc"
