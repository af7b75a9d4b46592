#include "fakewindow.h"

#include <QAccessible>

using namespace Qt::StringLiterals;

namespace {

[[nodiscard]] QString said(QWidget *widget, QAccessible::Text text)
{
    return QAccessible::queryAccessibleInterface(widget)->text(text);
}

} // namespace

// What a screen reader is told of the pins and the line buttons.
class TestAccessibility : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data();
    void names();
    void statesFollowTheColours();
};

void TestAccessibility::names_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::newRow("indicatorCom1Dcd") << u"Shape1"_s << 0 << u"COM1 DCD"_s;
    QTest::newRow("indicatorCom3Cts") << u"Shape8"_s << 2 << u"COM3 CTS"_s;
    QTest::newRow("indicatorCom4Ri") << u"Shape9"_s << 3 << u"COM4 RI"_s;
    QTest::newRow("fieldCom2Rd") << u"Text12"_s << -1 << u"COM2 RD"_s;
    QTest::newRow("fieldCom4Gnd") << u"Text33"_s << -1 << u"COM4 GND"_s;
    QTest::newRow("buttonCom1Dtr") << u"Command3"_s << -1 << u"COM1 DTR"_s;
    QTest::newRow("buttonCom4Rts") << u"Command10"_s << -1 << u"COM4 RTS"_s;
}

void TestAccessibility::names()
{
    QFETCH(QString, control);
    QFETCH(int, index);
    QFETCH(QString, name);
    FakeWindow ui;
    QCOMPARE(said(ui.control<QWidget>(control, index), QAccessible::Name), name);
}

void TestAccessibility::statesFollowTheColours()
{
    FakeWindow ui;
    QVERIFY(ui.show());
    QWidget *dcd = ui.indicator(1, Pin::Dcd);
    QWidget *dtr = ui.lineButton(1, Line::Dtr);
    QCOMPARE(said(dcd, QAccessible::Description), u"выкл"_s);
    QCOMPARE(said(dtr, QAccessible::Description), u"выкл"_s);
    ui.clickCheckBox(1);
    ui.window->poll().tick();
    ui.ports[1]->setLines(true, false, false);
    ui.window->poll().tick();
    QCOMPARE(said(dcd, QAccessible::Description), u"вкл"_s);
    QTest::mouseClick(dtr, Qt::LeftButton);
    QCOMPARE(said(dtr, QAccessible::Description), u"вкл"_s);
    ui.ports[1]->setLines(false, false, false);
    ui.window->poll().tick();
    QCOMPARE(said(dcd, QAccessible::Description), u"выкл"_s);
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
