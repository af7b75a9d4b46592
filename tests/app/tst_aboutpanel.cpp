#include "appfixture.h"
#include "module1.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

// Where a click lands: the menu item, or a point of a control of the panel.
enum class Target { Menu, PanelSurface, Image2, Text38, Text39, Text39ScrollBar, Image1 };

void click(const AppFixture &app, Target target)
{
    switch (target) {
    case Target::Menu: {
        QMenuBar *bar = app.window->menuBar();
        const QAction *item = app.window->findChild<QAction *>(QStringLiteral("mnu_Prog"));
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(const_cast<QAction *>(item)).center());
        return;
    }
    case Target::PanelSurface: // left of the terms text, below the author text
        QTest::mouseClick(app.control(QStringLiteral("Frame4")), Qt::LeftButton, {}, QPoint(10, 200));
        return;
    case Target::Image2:
        QTest::mouseClick(app.control(QStringLiteral("Image2")), Qt::LeftButton, {}, QPoint(56, 40));
        return;
    case Target::Text38:
        QTest::mouseClick(app.control<QPlainTextEdit>(QStringLiteral("Text38"))->viewport(), Qt::LeftButton, {},
                          QPoint(40, 20));
        return;
    case Target::Text39:
        QTest::mouseClick(app.control<QPlainTextEdit>(QStringLiteral("Text39"))->viewport(), Qt::LeftButton, {},
                          QPoint(40, 20));
        return;
    case Target::Text39ScrollBar: {
        QScrollBar *bar = app.control<QPlainTextEdit>(QStringLiteral("Text39"))->verticalScrollBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 4));
        return;
    }
    case Target::Image1:
        QTest::mouseClick(app.control(QStringLiteral("Image1")), Qt::LeftButton, {}, QPoint(0, 0));
        return;
    }
}

} // namespace

Q_DECLARE_METATYPE(Target)

class TestAboutPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stateTable_data();
    void stateTable();
    void menuTwiceLeavesItHidden();
    void termsTextScrollsWhileOpen();
    void pollGoesOnBeneath();
};

void TestAboutPanel::stateTable_data()
{
    QTest::addColumn<bool>("shownBefore");
    QTest::addColumn<Target>("target");
    QTest::addColumn<bool>("shownAfter");
    QTest::newRow("hidden_menu") << false << Target::Menu << true;
    QTest::newRow("shown_menu") << true << Target::Menu << false;
    QTest::newRow("shown_Frame4") << true << Target::PanelSurface << false;
    QTest::newRow("shown_Image2") << true << Target::Image2 << false;
    QTest::newRow("shown_Text38") << true << Target::Text38 << false;
    QTest::newRow("shown_Text39") << true << Target::Text39 << true;
    QTest::newRow("shown_Text39ScrollBar") << true << Target::Text39ScrollBar << true;
    QTest::newRow("shown_Image1") << true << Target::Image1 << true;
}

void TestAboutPanel::stateTable()
{
    QFETCH(bool, shownBefore);
    QFETCH(Target, target);
    QFETCH(bool, shownAfter);

    AppFixture app;
    Module1 module;
    module.formLoad(*app.window);
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QWidget *panel = app.control(QStringLiteral("Frame4"));
    QVERIFY(panel->isHidden());
    if (shownBefore)
        app.window->findChild<QAction *>(QStringLiteral("mnu_Prog"))->trigger();
    QCOMPARE(panel->isVisible(), shownBefore);

    click(app, target);
    QCOMPARE(panel->isVisible(), shownAfter);
}

void TestAboutPanel::menuTwiceLeavesItHidden()
{
    AppFixture app;
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    click(app, Target::Menu);
    click(app, Target::Menu);
    QVERIFY(app.control(QStringLiteral("Frame4"))->isHidden());
}

void TestAboutPanel::termsTextScrollsWhileOpen()
{
    AppFixture app;
    Module1 module;
    module.formLoad(*app.window);
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    click(app, Target::Menu);
    auto *terms = app.control<QPlainTextEdit>(QStringLiteral("Text39"));
    QScrollBar *bar = terms->verticalScrollBar();
    QVERIFY(bar->isVisible());
    QVERIFY(bar->maximum() > 0); // seven long lines do not fit in 113 pixels
    click(app, Target::Text39ScrollBar);
    QVERIFY(bar->value() > 0);
    QVERIFY(app.control(QStringLiteral("Frame4"))->isVisible());
}

// The panel covers COM1's column; the timer keeps writing it all the same.
void TestAboutPanel::pollGoesOnBeneath()
{
    AppFixture app;
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    click(app, Target::Menu);
    app.control<QCheckBox>(QStringLiteral("Check1"))->setChecked(true);

    const auto *ground = app.control<QLineEdit>(QStringLiteral("Text6"));
    QTRY_COMPARE(ground->text(), QStringLiteral("0"));
    QVERIFY(app.control(QStringLiteral("Frame4"))->isVisible());

    click(app, Target::PanelSurface);
    QVERIFY(app.control(QStringLiteral("Frame4"))->isHidden());
    QCOMPARE(app.window->centralWidget()->childAt(ground->geometry().center()), ground);
}

QTEST_MAIN(TestAboutPanel)
#include "tst_aboutpanel.moc"
