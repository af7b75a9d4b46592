#include "module1.h"
#include "portmapping.h"
#include "remoteportdialog.h"
#include "systemports.h"
#include "systemwindow.h"
#include "testwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// The main window over fake ports and at start-up; a COM number that stands for a port on another
// machine, in the dialog that asks for its address and in the window as the program builds it.
class TestWindowAndStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The style a plain Linux desktop gets.
    void initTestCase() { QApplication::setStyle(u"Fusion"_s); }

    // Under a large system font the layout stays as it is and each caption still fits its
    // label; each control has a name of its own ("name/index") and stands inside its container;
    // how many there are, and how many a screen reader can name, combos' fields included. Then
    // the controls that take typing (the TD fields alone); three landmarks, a frame, COM1's
    // handshaking caption (no full stop, unlike the others) and an indexed indicator, each where
    // it stands in its container, its caption and what a screen reader calls it (with QDebug's
    // blanks);
    // the window's name, its poll timer's period, its menu.
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
        shown << seen[u"Frame2/0"_s] << seen[u"Label21/"_s] << seen[u"Shape6/3"_s];
        shown << ui.window.objectName() << QString::number(ui.get<QTimer>("Timer1")->interval());
        for (const QAction *item : ui.window.menuBar()->actions())
            shown << item->objectName() << item->text();
        QCOMPARE(shown.join(u'|'), u"Text4/|Text13/|Text22/|Text31/|QRect(98,248 241x145) СОМ 1  |"
                                   "QRect(4,101 45x17) управл  |QRect(56,72 25x25)  COM4 DSR |"
                                   "Form1|300|mnu_Prog|О программе"_s);
    }

    // What start-up and the about panel show. The title after its fixed lead: the day from a
    // clock that moves on a day each time it is read (a Saturday), the month's name given in any
    // case but put in the genitive, weekday n (Sunday first) being named "Wn". The about texts
    // (the author's line and the terms' first). The colours that never change as
    // painted, read as the menu item shows the panel before start-up fills its texts: the panel's
    // face (between its texts), which the style's frame tints, the author text on the same grey,
    // the terms on light yellow, and a status caption's blue (in full blocks here).
    // Then whether the panel stays after a click where a user clicks, on the terms text, the
    // author text, the picture, the panel itself, and on its menu item again,
    // shown anew before each: it lies above the controls it covers.
    void startup()
    {
        TestWindow ui;
        QAction *menu = ui.window.menuBar()->actions()[0];
        menu->trigger();
        ui.window.setStatusCaption(2, u"███"_s);
        const QString painted = ui.painted("Frame4") + QString(ui.painted("Text38"))
            + ui.painted("Text39") + ui.painted("Label16");
        QDate today(2024, 12, 14);
        Module1({[&today] { return std::exchange(today, today.addDays(1)); },
                 [](int) { return u"декабрь"_s; }, [](int day) { return u"W%1"_s.arg(day); }})
            .formLoad(ui.window);
        const QStringList lines = (ui.get<QPlainTextEdit>("Text38")->toPlainText() + u'\n'
                                   + ui.get<QPlainTextEdit>("Text39")->toPlainText())
                                      .split(u'\n');
        QStringList seen{ui.window.windowTitle(), lines[2], lines[7], painted};
        QString stays;
        for (const char *part : {"Text39", "Text38", "Image2", "Frame4", "mnu_Prog"}) {
            if (ui.get("Frame4")->isHidden())
                menu->trigger();
            // The menu item is no widget.
            QWidget *at = ui.get(part);
            if (!at)
                menu->trigger();
            else
                QTest::mouseClick(ui.window.windowHandle(), Qt::LeftButton, {},
                                  at->mapTo(&ui.window, at->rect().center()));
            stays += u"01"[ui.get("Frame4")->isVisible()];
        }
        seen << stays;
        QCOMPARE(seen.join(u'|'), u"Brannick       Velmora v.1.1              Сегодня: 14  "
                                  "Декабря  2024 года  W7|Автор: Ерофей Коннекторов|"
                                  "Соглашение на использование программы Velmora v.1.1:|aayB|"
                                  "10000"_s);
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

    // The dialog's title and its accept button; what is wrong said as the address is typed, and
    // whether it can be accepted: nothing said while the field is empty, then a port missing, then
    // a valid address; the address accepted.
    void dialog()
    {
        RemotePortDialog dialog(3, {});
        QPushButton *accept = dialog.findChildren<QPushButton *>().first();
        QStringList seen{dialog.windowTitle(), accept->text()};
        for (const QString &typed : {u""_s, u"rfc2217://h"_s, u":7"_s}) {
            QTest::keyClicks(dialog.findChild<QLineEdit *>(), typed);
            seen << dialog.findChild<QLabel *>(u"problem"_s)->text()
                    + QString::number(accept->isEnabled());
        }
        accept->click();
        seen << dialog.address()->text() + QString::number(dialog.result());
        QCOMPARE(seen.join(u'|'), u"Удалённый порт COM3|Подключить|0|не указан порт: "
                                  "rfc2217://сервер:порт0|1|rfc2217://h:71"_s);
    }

    // The box stays ticked while the connection is made in the background; a refused one takes the
    // tick back with the usual message, and the box says why. What the box says (the address left
    // out) and whether it is ticked, before the tick, after it, after the message; the message.
    // The user's settings are in a folder of the test's own.
    void refusedConnection()
    {
        QTemporaryDir config;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        const RemoteAddress address{false, u"localhost"_s, gone.serverPort(), {}};
        gone.close();
        QVERIFY(PortMapping::store(3, address));
        const auto window = makeSystemWindow(std::make_unique<SystemPorts>());
        window->findChild<QTimer *>(u"Timer1"_s)->stop();
        QStringList seen;
        window->setMessagePresenter([&seen](QWidget *, const QString &text) { seen << text; });
        auto *box = window->findChild<QCheckBox *>(u"Check3"_s);
        const auto look = [&] {
            seen << box->accessibleDescription().remove(address.text())
                    + QString::number(box->isChecked());
        };
        look();
        box->setChecked(true);
        look();
        QTRY_COMPARE(seen.size(), 3);
        look();
        QCOMPARE(seen.join(u'|'), u"COM3 — 0|COM3 —  — соединение…1|Порт не найден|"
                                  "COM3 —  — соединение отклонено0"_s);
    }
};

QTEST_MAIN(TestWindowAndStartup)
#include "tst_window.moc"
