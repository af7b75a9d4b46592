#include "appfixture.h"
#include "module1.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A click on the menu item, or on a control of the panel at a point of it; a text box takes clicks on its viewport.
void click(const AppFixture &app, const QString &target, QPoint at)
{
    if (target == u"mnu_Prog"_s) {
        QMenuBar *bar = app.window->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(bar->actions().front()).center());
    } else if (target == u"Text39ScrollBar"_s) {
        QScrollBar *bar = app.control<QPlainTextEdit>(u"Text39"_s)->verticalScrollBar();
        QVERIFY(bar->isVisible() && bar->maximum() > 0); // seven long lines do not fit
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 4));
        QVERIFY(bar->value() > 0);
    } else if (const auto *text = app.control<QPlainTextEdit>(target)) {
        QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, at);
    } else {
        QTest::mouseClick(app.control(target), Qt::LeftButton, {}, at);
    }
}

} // namespace

class TestAboutPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stateTable_data();
    void stateTable();
    void pollGoesOnBeneath();
};

void TestAboutPanel::stateTable_data()
{
    QTest::addColumn<bool>("shownBefore");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("shownAfter");
    QTest::newRow("hidden_menu") << false << u"mnu_Prog"_s << QPoint() << true;
    QTest::newRow("shown_menu") << true << u"mnu_Prog"_s << QPoint() << false;
    QTest::newRow("shown_Frame4") << true << u"Frame4"_s << QPoint(10, 200) << false; // beside the texts
    QTest::newRow("shown_Image2") << true << u"Image2"_s << QPoint(56, 40) << false;
    QTest::newRow("shown_Text38") << true << u"Text38"_s << QPoint(40, 20) << false;
    QTest::newRow("shown_Text39") << true << u"Text39"_s << QPoint(40, 20) << true;
    QTest::newRow("shown_Text39ScrollBar") << true << u"Text39ScrollBar"_s << QPoint() << true;
    QTest::newRow("shown_Image1") << true << u"Image1"_s << QPoint(0, 0) << true;
}

void TestAboutPanel::stateTable()
{
    QFETCH(bool, shownBefore);
    QFETCH(QString, target);
    QFETCH(QPoint, at);
    QFETCH(bool, shownAfter);

    AppFixture app;
    Module1 module;
    module.formLoad(*app.window);
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QWidget *panel = app.control(u"Frame4"_s);
    if (shownBefore)
        click(app, u"mnu_Prog"_s, {});
    QCOMPARE(panel->isVisible(), shownBefore);
    click(app, target, at);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(panel->isVisible(), shownAfter);
}

// The panel covers COM1's column; the timer keeps writing it all the same.
void TestAboutPanel::pollGoesOnBeneath()
{
    AppFixture app;
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    click(app, u"mnu_Prog"_s, {});
    app.control<QCheckBox>(u"Check1"_s)->setChecked(true);
    const auto *ground = app.control<QLineEdit>(u"Text6"_s);
    QTRY_COMPARE(ground->text(), u"0"_s);
    QVERIFY(app.control(u"Frame4"_s)->isVisible());
    click(app, u"Frame4"_s, QPoint(10, 200));
    QCOMPARE(app.window->centralWidget()->childAt(ground->geometry().center()), ground);
}

QTEST_MAIN(TestAboutPanel)
#include "tst_aboutpanel.moc"
