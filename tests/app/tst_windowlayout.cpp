#include "appfixture.h"
#include "qstringfrom.h"
#include "texts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Combo index by channel and role (baud, parity, data bits, stop bits, handshaking).
constexpr int comboOf[channelCount][5] = {{0, 1, 2, 3, 16}, {7, 6, 5, 4, 17}, {11, 10, 9, 8, 18}, {15, 14, 13, 12, 19}};
const QString statusLabelOf[channelCount] = {u"Label13"_s, u"Label14"_s, u"Label16"_s, u"Label15"_s};

QString captionOf(const QWidget *widget)
{
    const char *property = qobject_cast<const QGroupBox *>(widget) ? "title"
        : qobject_cast<const QPlainTextEdit *>(widget)            ? "plainText"
                                                                  : "text";
    return widget->property(property).toString();
}

} // namespace

class TestWindowLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void controls_data();
    void controls();
    void comboLists_data();
    void comboLists();
    void pinFields_data();
    void pinFields();
    void buttonsAndIndicatorsShowTheirColour();
    void channelBinding_data();
    void channelBinding();
    void aboutPanel();
    void windowAndResize();
};

void TestWindowLayout::initTestCase()
{
    // The buttons must show their colour under the style a plain Linux desktop gets.
    QApplication::setStyle(u"Fusion"_s);
}

void TestWindowLayout::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("parent"); // empty: the client area
    QTest::addColumn<int>("parentIndex");
    QTest::addColumn<QRect>("rect"); // null: left open; height 0: follows the font
    QTest::addColumn<QVariant>("caption"); // invalid: the control has none
    QTest::addColumn<QVariant>("colour"); // the colour code at creation, where the tables give one

    struct Parent
    {
        QString name;
        int index = -1;
    };
    const auto row = [](const QString &name, int index, QRect rect, const QVariant &caption, const Parent &parent = {},
                        const QVariant &colour = {}) {
        const QString tag = index < 0 ? name : name + u'_' + QString::number(index);
        QTest::newRow(qPrintable(tag)) << name << index << parent.name << parent.index << rect << caption << colour;
    };
    const QString empty = u""_s;
    const Parent about{u"Frame4"_s};

    row(u"Frame4"_s, -1, {0, 0, 449, 265}, empty, {}, 0x8000000Au);
    row(u"Frame1"_s, -1, {15, 32, 81, 89}, u"Порты"_s);
    const QRect settingsPanels[] = {{6, 248, 90, 130}, {585, 248, 90, 130}, {6, 396, 90, 130}, {585, 396, 90, 130}};
    const QRect pinPanels[] = {{98, 248, 241, 145}, {342, 248, 241, 145}, {98, 396, 241, 145}, {342, 396, 241, 145}};
    for (int p = 1; p <= 9; ++p) {
        // Pin 8 has a blank, not a hyphen, after the direction.
        const QString caption = p == 8 ? u"8(5)-CTS-вход очищен для передачи"_s : qs(texts::pinDescriptions[p - 1]);
        row(u"Label%1"_s.arg(p + 2), -1, {112, 32 + 24 * (p - 1), 265, 17}, caption);
    }
    row(u"Label12"_s, -1, {392, 8, 177, 17}, u"Com1      Com2        Com3       Com4"_s);

    const QRect combos[] = {{22, 16, 63, 0}, {50, 38, 35, 0}, {50, 58, 35, 0}, {50, 78, 35, 0}, {50, 99, 35, 0}};
    for (int n = 1; n <= channelCount; ++n) {
        const int i = n - 1;
        row(u"Frame3"_s, i, settingsPanels[i], u"Настройка"_s);
        row(u"Frame2"_s, i, pinPanels[i], u"\u0421\u041E\u041C %1"_s.arg(n)); // Cyrillic Es, O, Em
        for (int p = 1; p <= 9; ++p)
            row(u"Text%1"_s.arg(2 + 9 * i + (p - 1)), -1, {392 + 48 * i, 32 + 24 * (p - 1), 33, 19}, empty);
        row(u"Command%1"_s.arg(2 * n + 1), -1, {382 + 48 * i, 104, 9, 19}, empty, {}, 0x8000000Fu);
        row(u"Command%1"_s.arg(2 * n + 2), -1, {382 + 48 * i, 176, 9, 19}, empty, {}, 0x8000000Fu);
        row(u"Check%1"_s.arg(n), -1, {8, 16 * n, 57, 17}, u"Com%1"_s.arg(n), {u"Frame1"_s});

        const Parent pinPanel{u"Frame2"_s, i};
        row(u"Label1"_s, i, {48, 16, 145, 17}, u"1         2        3         4         5"_s, pinPanel);
        row(u"Label2"_s, i, {56, 104, 121, 17}, u"6            7        8         9"_s, pinPanel);
        row(statusLabelOf[i], -1, {}, empty, pinPanel, 0x00FF0000u);
        for (int p = 1; p <= 9; ++p) {
            const QRect circle = p <= 5 ? QRect(40 + 32 * (p - 1), 40, 25, 25) : QRect(56 + 32 * (p - 6), 72, 25, 25);
            row(u"Shape%1"_s.arg(p), i, circle, {}, pinPanel, 0x80000005u);
        }

        const Parent settingsPanel{u"Frame3"_s, i};
        for (int role = 0; role < 5; ++role)
            row(u"Combo1"_s, comboOf[i][role], combos[role], {}, settingsPanel);
        row(u"Label17"_s, i, {}, u"чет/неч"_s, settingsPanel);
        row(u"Label18"_s, i, {}, u"бит"_s, settingsPanel);
        row(u"Label19"_s, i, {}, u"стоп "_s, settingsPanel);
        row(u"Label%1"_s.arg(20 + n), -1, {}, n == 1 ? u"управл"_s : u"управл."_s, settingsPanel);
    }

    row(u"Text38"_s, -1, {24, 16, 265, 113}, empty, about, 0x8000000Au);
    row(u"Text39"_s, -1, {24, 136, 409, 113}, empty, about, 0x00C0FFFFu);
    row(u"Image2"_s, -1, {304, 16, 112, 80}, {}, about);
    row(u"Image1"_s, -1, {48, 56, 1, 1}, {}, about);
}

void TestWindowLayout::controls()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QString, parent);
    QFETCH(int, parentIndex);
    QFETCH(QRect, rect);
    QFETCH(QVariant, caption);
    QFETCH(QVariant, colour);

    AppFixture app;
    const QWidget *widget = app.control(name, index);
    QVERIFY2(widget != nullptr, "no single control answers to this name");
    const QWidget *container = parent.isEmpty() ? app.window->centralWidget() : app.control(parent, parentIndex);
    QVERIFY(container != nullptr);
    QCOMPARE(widget->parentWidget(), container);
    if (!rect.isNull()) {
        QCOMPARE(widget->pos(), rect.topLeft());
        QCOMPARE(widget->width(), rect.width());
        if (rect.height() > 0)
            QCOMPARE(widget->height(), rect.height());
    }
    const auto *label = qobject_cast<const QLabel *>(widget);
    if (colour.isValid()) // a label colours its text, the rest their background
        QCOMPARE(widget->property(label != nullptr ? "foreColor" : "backColor").toUInt(), colour.toUInt());
    if (!caption.isValid())
        return;
    QCOMPARE(captionOf(widget), caption.toString());
    // The rectangles were made for a narrower font than this platform's default.
    if (label != nullptr) {
        const QFontMetrics metrics = label->fontMetrics();
        QVERIFY(metrics.horizontalAdvance(label->text()) <= label->width());
        QVERIFY(metrics.height() <= label->height());
    }
}

void TestWindowLayout::comboLists_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("label"); // the caption to its left, if any
    QTest::addColumn<int>("labelIndex");

    const QStringList lists[] = {
        u"110 300 600 1200 2400 4800 9600 14400 19200 38400 57600 115200"_s.split(u' '),
        u"n e o s m"_s.split(u' '), u"5 6 7 8"_s.split(u' '), u"1 2"_s.split(u' '), u"0 1 2 3"_s.split(u' '),
    };
    const QString initial[] = {u"9600"_s, u"n"_s, u"8"_s, u"1"_s, u"0"_s};
    const QString labels[] = {QString(), u"Label17"_s, u"Label18"_s, u"Label19"_s};
    const char *roleName[] = {"baud", "parity", "databits", "stopbits", "handshaking"};
    for (int channel = 0; channel < channelCount; ++channel) {
        for (int role = 0; role < 5; ++role) {
            const int index = comboOf[channel][role];
            QTest::addRow("Combo1_%d_COM%d_%s", index, channel + 1, roleName[role])
                << index << lists[role] << initial[role]
                << (role < 4 ? labels[role] : u"Label%1"_s.arg(21 + channel)) << (role < 4 ? channel : -1);
        }
    }
}

void TestWindowLayout::comboLists()
{
    QFETCH(int, index);
    QFETCH(QStringList, entries);
    QFETCH(QString, initial);
    QFETCH(QString, label);
    QFETCH(int, labelIndex);

    AppFixture app;
    const QComboBox *combo = app.control<QComboBox>(u"Combo1"_s, index);
    QVERIFY(combo != nullptr);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i);
    QCOMPARE(shown, entries);
    QCOMPARE(combo->currentText(), initial);
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
    QCOMPARE(combo->completer(), nullptr);
    if (label.isEmpty())
        return;
    const QRect caption = app.control(label, labelIndex)->geometry();
    QVERIFY(caption.right() < combo->x());
    QVERIFY(qAbs(caption.center().y() - combo->geometry().center().y()) <= 3);
}

void TestWindowLayout::pinFields_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("td");
    for (int field = 2; field <= 37; ++field)
        QTest::addRow("Text%d", field) << field << QList{4, 13, 22, 31}.contains(field);
}

// Only the TD field takes what the user types.
void TestWindowLayout::pinFields()
{
    QFETCH(int, field);
    QFETCH(bool, td);

    AppFixture app;
    app.stopPolling();
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QLineEdit *edit = app.control<QLineEdit>(u"Text%1"_s.arg(field));
    QCOMPARE(edit->isReadOnly(), !td);
    edit->setFocus();
    QTest::keyClicks(edit, u"AT+1"_s);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), td ? u"AT+"_s : QString());
}

// Under Fusion a palette change alone would not show on a push button.
void TestWindowLayout::buttonsAndIndicatorsShowTheirColour()
{
    AppFixture app;
    app.stopPolling();
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    app.window->setButtonColor(1, Line::Rts, ColorCode::Red);
    app.window->setIndicatorColor(2, Pin::Dcd, ColorCode::Green);

    QCOMPARE(app.control(u"Command6"_s)->grab().toImage().pixelColor(4, 9), QColor(255, 0, 0));
    QCOMPARE(app.control(u"Shape1"_s, 2)->grab().toImage().pixelColor(12, 12), QColor(0, 192, 0));
    const QImage idle = app.control(u"Command5"_s)->grab().toImage();
    QCOMPARE(idle.pixelColor(4, 9), QApplication::palette().color(QPalette::Button));
    QVERIFY(idle.pixelColor(0, 9) != idle.pixelColor(4, 9)); // a border tells it from the window
}

void TestWindowLayout::channelBinding_data()
{
    QTest::addColumn<int>("channel");
    for (int channel = 0; channel < channelCount; ++channel)
        QTest::addRow("COM%d", channel + 1) << channel;
}

// A poll of a channel writes its own status label, which lies in the panel captioned for it, and its column.
void TestWindowLayout::channelBinding()
{
    QFETCH(int, channel);

    AppFixture app;
    app.stopPolling();
    app.control<QCheckBox>(u"Check%1"_s.arg(channel + 1))->setChecked(true);
    app.window->poll().tick();
    for (int i = 0; i < channelCount; ++i) {
        QCOMPARE(app.control<QLabel>(statusLabelOf[i])->text().isEmpty(), i != channel);
        QCOMPARE(app.control<QLineEdit>(u"Text%1"_s.arg(6 + 9 * i))->text(), i == channel ? u"0"_s : QString());
    }
    const QLabel *status = app.control<QLabel>(statusLabelOf[channel]);
    QCOMPARE(status->text(), u"9600,n,8,1  comNone"_s);
    QCOMPARE(qobject_cast<QGroupBox *>(status->parentWidget())->title(), u"\u0421\u041E\u041C %1"_s.arg(channel + 1));
    QCOMPARE(status->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(status->geometry().center().x(), status->parentWidget()->rect().center().x());
}

void TestWindowLayout::aboutPanel()
{
    AppFixture app;
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QWidget *panel = app.control(u"Frame4"_s);
    QVERIFY(panel->isHidden());
    for (const QString &name : {u"Text38"_s, u"Text39"_s})
        QVERIFY(app.control<QPlainTextEdit>(name)->isReadOnly());
    const auto *picture = app.control<QLabel>(u"Image2"_s);
    QCOMPARE(picture->pixmap().size(), QSize(256, 256));
    QVERIFY(picture->hasScaledContents());
    QVERIFY(app.control<QLabel>(u"Image1"_s)->pixmap().isNull());

    // Shown, it covers the first pin column and the DTR and RTS buttons of COM1 and COM2, not those of COM3.
    panel->show();
    QWidget *client = app.window->centralWidget();
    for (const char *covered : {"Text2", "Text10", "Command3", "Command4", "Command5", "Command6", "Frame1"}) {
        const QWidget *top = client->childAt(app.control(QString::fromLatin1(covered))->geometry().center());
        QVERIFY2(top == panel || panel->isAncestorOf(top), covered);
    }
    QCOMPARE(client->childAt(app.control(u"Command7"_s)->geometry().center()), app.control(u"Command7"_s));
}

// Nothing moves on resize; shrinking hides what no longer fits.
void TestWindowLayout::windowAndResize()
{
    AppFixture app;
    QCOMPARE(app.window->objectName(), u"Form1"_s);
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QCOMPARE(app.window->centralWidget()->size(), QSize(684, 551));
    QCOMPARE(app.window->centralWidget()->y(), app.window->menuBar()->geometry().bottom() + 1);
    const QList<QAction *> items = app.window->menuBar()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.front()->objectName(), u"mnu_Prog"_s);
    QCOMPARE(items.front()->text(), u"О программе"_s);
    QCOMPARE(items.front()->menu(), nullptr);

    const QList<QWidget *> controls = app.window->centralWidget()->findChildren<QWidget *>();
    QList<QRect> before;
    for (const QWidget *control : controls)
        before << control->geometry();
    const QWidget *rightPanel = app.control(u"Frame3"_s, 3);
    for (QSize size : {QSize(1200, 900), QSize(300, 200), QSize(700, 600)}) {
        app.window->resize(size);
        QTRY_COMPARE(app.window->size(), size);
        for (qsizetype i = 0; i < controls.size(); ++i)
            QCOMPARE(controls[i]->geometry(), before[i]);
        QCOMPARE(rightPanel->visibleRegion().isEmpty(), size.width() < 585);
    }
}

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
