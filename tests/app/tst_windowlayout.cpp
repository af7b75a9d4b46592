#include "appfixture.h"
#include "qstringfrom.h"
#include "screencolor.h"
#include "texts.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStyle>
#include <QTest>

namespace {

// The description's channel table: combo index by channel and role
// (baud, parity, data bits, stop bits, handshaking).
constexpr int comboOf[channelCount][5] = {
    {0, 1, 2, 3, 16}, {7, 6, 5, 4, 17}, {11, 10, 9, 8, 18}, {15, 14, 13, 12, 19}};
constexpr const char *statusLabelOf[channelCount] = {"Label13", "Label14", "Label16", "Label15"};

struct Place
{
    QString name;
    int index;
};

QString captionOf(const QWidget *widget)
{
    if (const auto *box = qobject_cast<const QGroupBox *>(widget))
        return box->title();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *field = qobject_cast<const QLineEdit *>(widget))
        return field->text();
    if (const auto *text = qobject_cast<const QPlainTextEdit *>(widget))
        return text->toPlainText();
    return QStringLiteral("<no caption>");
}

QString text(const char *ascii)
{
    return QString::fromLatin1(ascii);
}

QList<int> blankRuns(const QString &caption)
{
    QList<int> runs;
    static const QRegularExpression blanks(QStringLiteral(" +"));
    for (const QRegularExpressionMatch &match : blanks.globalMatch(caption))
        runs << int(match.capturedLength());
    return runs;
}

} // namespace

class TestWindowLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void windowAndMenu();
    void rectangles_data();
    void rectangles();
    void captions_data();
    void captions();
    void blanksInCaptions();
    void captionsFitTheirLabels();
    void pinPanelCaptionsAreCyrillic();
    void comboLists_data();
    void comboLists();
    void comboRowsInEveryPanel();
    void pinFieldsReadOnly_data();
    void pinFieldsReadOnly();
    void pinFieldsHoldLongTexts();
    void typingIntoPinFields_data();
    void typingIntoPinFields();
    void initialColours_data();
    void initialColours();
    void screenColours_data();
    void screenColours();
    void buttonsAndIndicatorsShowTheirColour();
    void statusLabelIsCentredAndBlue();
    void channelBinding_data();
    void channelBinding();
    void aboutPanelHiddenAndTopmost();
    void resizeMovesNothing();
};

void TestWindowLayout::initTestCase()
{
    // The buttons must show their colour under the style a plain Linux desktop gets.
    QApplication::setStyle(QStringLiteral("Fusion"));
}

void TestWindowLayout::windowAndMenu()
{
    AppFixture app;
    QCOMPARE(app.window->objectName(), QStringLiteral("Form1"));
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));

    QCOMPARE(app.window->centralWidget()->size(), QSize(684, 551));
    QCOMPARE(app.window->centralWidget()->y(), app.window->menuBar()->geometry().bottom() + 1);
    const QList<QAction *> items = app.window->menuBar()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.front()->objectName(), QStringLiteral("mnu_Prog"));
    QCOMPARE(items.front()->text(), qs(texts::aboutMenu));
    QCOMPARE(items.front()->menu(), nullptr);
}

void TestWindowLayout::rectangles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("parent"); // empty: the client area
    QTest::addColumn<int>("parentIndex");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("heightFixed"); // combo heights follow the font

    const auto row = [](const QString &tag, const QString &name, int index, const Place &parent, QRect rect,
                        bool heightFixed = true) {
        QTest::newRow(tag.toLatin1().constData()) << name << index << parent.name << parent.index << rect << heightFixed;
    };
    const Place client{QString(), -1};
    const auto element = [](const char *name, int index) { return Place{text(name), index}; };
    const auto tagOf = [](const QString &name, int index) {
        return index < 0 ? name : name + QLatin1Char('_') + QString::number(index);
    };

    row(text("Frame4"), text("Frame4"), -1, client, {0, 0, 449, 265});
    row(text("Frame1"), text("Frame1"), -1, client, {15, 32, 81, 89});
    const QRect settingsPanels[] = {{6, 248, 90, 130}, {585, 248, 90, 130}, {6, 396, 90, 130}, {585, 396, 90, 130}};
    const QRect pinPanels[] = {{98, 248, 241, 145}, {342, 248, 241, 145}, {98, 396, 241, 145}, {342, 396, 241, 145}};
    for (int i = 0; i < channelCount; ++i) {
        row(tagOf(text("Frame3"), i), text("Frame3"), i, client, settingsPanels[i]);
        row(tagOf(text("Frame2"), i), text("Frame2"), i, client, pinPanels[i]);
    }

    for (int p = 1; p <= 9; ++p)
        row(text("Label%1").arg(p + 2), text("Label%1").arg(p + 2), -1, client, {112, 32 + 24 * (p - 1), 265, 17});
    row(text("Label12"), text("Label12"), -1, client, {392, 8, 177, 17});

    for (int n = 1; n <= channelCount; ++n) {
        for (int p = 1; p <= 9; ++p) {
            const QString name = text("Text%1").arg(2 + 9 * (n - 1) + (p - 1));
            row(name, name, -1, client, {392 + 48 * (n - 1), 32 + 24 * (p - 1), 33, 19});
        }
        const QString dtr = text("Command%1").arg(2 * n + 1);
        const QString rts = text("Command%1").arg(2 * n + 2);
        row(dtr, dtr, -1, client, {382 + 48 * (n - 1), 104, 9, 19});
        row(rts, rts, -1, client, {382 + 48 * (n - 1), 176, 9, 19});

        const QString check = text("Check%1").arg(n);
        row(check, check, -1, element("Frame1", -1), {8, 16 * n, 57, 17});

        const Place pinPanel = element("Frame2", n - 1);
        row(tagOf(text("Label1"), n - 1), text("Label1"), n - 1, pinPanel, {48, 16, 145, 17});
        row(tagOf(text("Label2"), n - 1), text("Label2"), n - 1, pinPanel, {56, 104, 121, 17});
        for (int p = 1; p <= 9; ++p) {
            const QRect circle = p <= 5 ? QRect(40 + 32 * (p - 1), 40, 25, 25) : QRect(56 + 32 * (p - 6), 72, 25, 25);
            row(tagOf(text("Shape%1").arg(p), n - 1), text("Shape%1").arg(p), n - 1, pinPanel, circle);
        }

        const Place settingsPanel = element("Frame3", n - 1);
        const QRect combos[] = {{22, 16, 63, 0}, {50, 38, 35, 0}, {50, 58, 35, 0}, {50, 78, 35, 0}, {50, 99, 35, 0}};
        for (int role = 0; role < 5; ++role) {
            const int index = comboOf[n - 1][role];
            row(tagOf(text("Combo1"), index), text("Combo1"), index, settingsPanel, combos[role], false);
        }
    }

    const Place about = element("Frame4", -1);
    row(text("Text38"), text("Text38"), -1, about, {24, 16, 265, 113});
    row(text("Text39"), text("Text39"), -1, about, {24, 136, 409, 113});
    row(text("Image2"), text("Image2"), -1, about, {304, 16, 112, 80});
    row(text("Image1"), text("Image1"), -1, about, {48, 56, 1, 1});
}

void TestWindowLayout::rectangles()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QString, parent);
    QFETCH(int, parentIndex);
    QFETCH(QRect, rect);
    QFETCH(bool, heightFixed);

    AppFixture app;
    const QWidget *widget = app.control(name, index);
    QVERIFY2(widget != nullptr, "no single control answers to this name");
    const QWidget *container = parent.isEmpty() ? app.window->centralWidget() : app.control(parent, parentIndex);
    QVERIFY(container != nullptr);
    QCOMPARE(widget->parentWidget(), container);

    QCOMPARE(widget->pos(), rect.topLeft());
    QCOMPARE(widget->width(), rect.width());
    if (heightFixed)
        QCOMPARE(widget->height(), rect.height());
}

void TestWindowLayout::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");

    const auto row = [](const QString &name, int index, const QString &caption) {
        const QString tag = index < 0 ? name : name + QLatin1Char('_') + QString::number(index);
        QTest::newRow(tag.toLatin1().constData()) << name << index << caption;
    };

    row(text("Frame1"), -1, qs(texts::portsBox));
    row(text("Frame4"), -1, QString());
    for (int p = 0; p < pinCount; ++p)
        row(text("Label%1").arg(p + 3), -1, qs(texts::pinDescriptions[p]));
    row(text("Label12"), -1, qs(texts::columnHeader));
    for (int i = 0; i < channelCount; ++i) {
        row(text("Check%1").arg(i + 1), -1, text("Com%1").arg(i + 1));
        row(text("Frame2"), i, qs(texts::pinPanels[i]));
        row(text("Frame3"), i, qs(texts::settingsPanel));
        row(text("Label1"), i, qs(texts::upperDigitRow));
        row(text("Label2"), i, qs(texts::lowerDigitRow));
        row(text("Label17"), i, qs(texts::parityCaption));
        row(text("Label18"), i, qs(texts::dataBitsCaption));
        row(text("Label19"), i, qs(texts::stopBitsCaption));
        row(text(statusLabelOf[i]), -1, QString());
        row(text("Command%1").arg(2 * i + 3), -1, QString());
        row(text("Command%1").arg(2 * i + 4), -1, QString());
    }
    row(text("Label21"), -1, QStringLiteral("управл"));
    for (int label = 22; label <= 24; ++label)
        row(text("Label%1").arg(label), -1, QStringLiteral("управл."));
    for (int field = 2; field <= 39; ++field)
        row(text("Text%1").arg(field), -1, QString());
}

void TestWindowLayout::captions()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QString, caption);

    AppFixture app;
    const QWidget *widget = app.control(name, index);
    QVERIFY2(widget != nullptr, "no single control answers to this name");
    QCOMPARE(captionOf(widget), caption);
}

// Blanks that are easy to lose when a caption is typed again.
void TestWindowLayout::blanksInCaptions()
{
    AppFixture app;
    QCOMPARE(blankRuns(app.control<QLabel>(text("Label12"))->text()), (QList<int>{6, 8, 7}));
    QCOMPARE(blankRuns(app.control<QLabel>(text("Label1"), 0)->text()), (QList<int>{9, 8, 9, 9}));
    QCOMPARE(blankRuns(app.control<QLabel>(text("Label2"), 0)->text()), (QList<int>{12, 8, 9}));
    QVERIFY(app.control<QLabel>(text("Label19"), 3)->text().endsWith(QStringLiteral("п ")));
    QVERIFY(app.control<QLabel>(text("Label10"))->text().contains(QStringLiteral("вход очищен")));
    for (int i = 0; i < channelCount; ++i)
        QCOMPARE(blankRuns(app.control<QGroupBox>(text("Frame2"), i)->title()), QList<int>{1});
}

// The rectangles were made for a narrower font than this platform's default.
void TestWindowLayout::captionsFitTheirLabels()
{
    AppFixture app;
    int checked = 0;
    for (const QLabel *label : app.window->centralWidget()->findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue;
        const QFontMetrics metrics = label->fontMetrics();
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
        QVERIFY(metrics.height() <= label->height());
        ++checked;
    }
    QCOMPARE(checked, 9 + 1 + 4 * 5 + 4); // pin rows, header, per channel two digit rows and three captions, handshaking
    QVERIFY(app.window->centralWidget()->font().pointSizeF() <= QApplication::font().pointSizeF());
}

void TestWindowLayout::pinPanelCaptionsAreCyrillic()
{
    AppFixture app;
    for (int i = 0; i < channelCount; ++i) {
        const QString caption = app.control<QGroupBox>(text("Frame2"), i)->title();
        QCOMPARE(caption, QString(QChar(0x0421)) + QChar(0x041E) + QChar(0x041C) + QLatin1Char(' ')
                     + QString::number(i + 1));
        const QString box = app.control<QCheckBox>(text("Check%1").arg(i + 1))->text();
        QCOMPARE(box, QLatin1String("Com") + QString::number(i + 1));
    }
}

void TestWindowLayout::comboLists_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("initial");

    const QStringList lists[] = {
        {text("110"), text("300"), text("600"), text("1200"), text("2400"), text("4800"), text("9600"),
         text("14400"), text("19200"), text("38400"), text("57600"), text("115200")},
        {text("n"), text("e"), text("o"), text("s"), text("m")},
        {text("5"), text("6"), text("7"), text("8")},
        {text("1"), text("2")},
        {text("0"), text("1"), text("2"), text("3")},
    };
    const char *initial[] = {"9600", "n", "8", "1", "0"};
    const char *roleName[] = {"baud", "parity", "databits", "stopbits", "handshaking"};
    for (int channel = 0; channel < channelCount; ++channel) {
        for (int role = 0; role < 5; ++role) {
            const int index = comboOf[channel][role];
            QTest::addRow("Combo1_%d_COM%d_%s", index, channel + 1, roleName[role])
                << index << lists[role] << text(initial[role]);
        }
    }
}

void TestWindowLayout::comboLists()
{
    QFETCH(int, index);
    QFETCH(QStringList, entries);
    QFETCH(QString, initial);

    AppFixture app;
    const QComboBox *combo = app.control<QComboBox>(text("Combo1"), index);
    QVERIFY(combo != nullptr);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i);
    QCOMPARE(shown, entries);
    QCOMPARE(combo->currentText(), initial);
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
    QCOMPARE(combo->completer(), nullptr);
}

// The five combos stand in the same order in every panel, the labels to their left.
void TestWindowLayout::comboRowsInEveryPanel()
{
    AppFixture app;
    const char *labels[] = {nullptr, "Label17", "Label18", "Label19", nullptr};
    const char *handshakingLabels[] = {"Label21", "Label22", "Label23", "Label24"};
    for (int channel = 0; channel < channelCount; ++channel) {
        int previousY = -1;
        for (int role = 0; role < 5; ++role) {
            const QComboBox *combo = app.control<QComboBox>(text("Combo1"), comboOf[channel][role]);
            QVERIFY(combo->y() > previousY);
            previousY = combo->y();
            const QLabel *label = role == 4 ? app.control<QLabel>(text(handshakingLabels[channel]))
                : labels[role] != nullptr   ? app.control<QLabel>(text(labels[role]), channel)
                                            : nullptr;
            if (label == nullptr)
                continue;
            QCOMPARE(label->parentWidget(), combo->parentWidget());
            QVERIFY(label->geometry().right() < combo->x());
            QVERIFY(qAbs(label->geometry().center().y() - combo->geometry().center().y()) <= 3);
        }
    }
}

void TestWindowLayout::pinFieldsReadOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("readOnly");
    for (int field = 2; field <= 37; ++field) {
        const bool transmit = (field - 2) % 9 == 2; // pin 3 of each channel
        QTest::addRow("Text%d", field) << text("Text%1").arg(field) << !transmit;
    }
}

void TestWindowLayout::pinFieldsReadOnly()
{
    QFETCH(QString, name);
    QFETCH(bool, readOnly);
    AppFixture app;
    QCOMPARE(app.control<QLineEdit>(name)->isReadOnly(), readOnly);
}

// A line edit cuts its text at 32767 characters unless told otherwise.
void TestWindowLayout::pinFieldsHoldLongTexts()
{
    AppFixture app;
    app.stopPolling();
    const QString received(100'000, QLatin1Char('r'));
    app.window->setPinText(1, Pin::Rd, received);
    QCOMPARE(app.window->pinText(1, Pin::Rd), received);

    const QString pasted(100'000, QLatin1Char('t'));
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QLineEdit *td = app.control<QLineEdit>(text("Text4"));
    td->setFocus();
    td->insert(pasted);
    QCOMPARE(td->text(), pasted);
}

void TestWindowLayout::typingIntoPinFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Text2_DCD") << text("Text2") << false;
    QTest::newRow("Text3_RD") << text("Text3") << false;
    QTest::newRow("Text4_TD") << text("Text4") << true;
    QTest::newRow("Text14_DTR") << text("Text14") << false;
    QTest::newRow("Text13_TD") << text("Text13") << true;
    QTest::newRow("Text22_TD") << text("Text22") << true;
    QTest::newRow("Text28_RI") << text("Text28") << false;
    QTest::newRow("Text31_TD") << text("Text31") << true;
    QTest::newRow("Text33_GND") << text("Text33") << false;
}

void TestWindowLayout::typingIntoPinFields()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);

    AppFixture app;
    app.stopPolling();
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QLineEdit *field = app.control<QLineEdit>(name);
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("AT+1"));
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), accepted ? QStringLiteral("AT+") : QString());
}

void TestWindowLayout::initialColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<uint>("code");

    for (int channel = 0; channel < channelCount; ++channel) {
        for (int p = 1; p <= 9; ++p)
            QTest::addRow("Shape%d_%d", p, channel) << text("Shape%1").arg(p) << channel << QByteArray("backColor")
                                                    << 0x80000005u;
        for (int button = 3 + 2 * channel; button <= 4 + 2 * channel; ++button)
            QTest::addRow("Command%d", button) << text("Command%1").arg(button) << -1 << QByteArray("backColor")
                                               << 0x8000000Fu;
        QTest::newRow(statusLabelOf[channel]) << text(statusLabelOf[channel]) << -1 << QByteArray("foreColor")
                                              << 0x00FF0000u;
    }
    QTest::newRow("Frame4") << text("Frame4") << -1 << QByteArray("backColor") << 0x8000000Au;
    QTest::newRow("Text38") << text("Text38") << -1 << QByteArray("backColor") << 0x8000000Au;
    QTest::newRow("Text39") << text("Text39") << -1 << QByteArray("backColor") << 0x00C0FFFFu;
}

void TestWindowLayout::initialColours()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QByteArray, property);
    QFETCH(uint, code);

    AppFixture app;
    const QVariant value = app.control(name, index)->property(property.constData());
    QVERIFY(value.isValid());
    QCOMPARE(value.toUInt(), code);
}

void TestWindowLayout::screenColours_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<QColor>("colour");
    const QPalette palette = QApplication::palette();
    QTest::newRow("green") << 0x00C000u << QColor(0, 192, 0);
    QTest::newRow("red") << 255u << QColor(255, 0, 0);
    QTest::newRow("blue") << 0x00FF0000u << QColor(0, 0, 255);
    QTest::newRow("lightYellow") << 0x00C0FFFFu << QColor(255, 255, 192);
    QTest::newRow("windowBackground") << 0x80000005u << palette.color(QPalette::Base);
    QTest::newRow("buttonFace") << 0x8000000Fu << palette.color(QPalette::Button);
    QTest::newRow("activeBorder") << 0x8000000Au << QColor(0xD4, 0xD0, 0xC8);
}

void TestWindowLayout::screenColours()
{
    QFETCH(uint, code);
    QFETCH(QColor, colour);
    QCOMPARE(screenColor(code), colour);
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
    QWidget *button = app.control(text("Command6"));
    QWidget *circle = app.control(text("Shape1"), 2);
    QCOMPARE(button->property("backColor").toUInt(), 255u);

    QCOMPARE(button->grab().toImage().pixelColor(4, 9), QColor(255, 0, 0));
    QCOMPARE(circle->grab().toImage().pixelColor(12, 12), QColor(0, 192, 0));
    const QImage idle = app.control(text("Command5"))->grab().toImage();
    QCOMPARE(idle.pixelColor(4, 9), QApplication::palette().color(QPalette::Button));
    QVERIFY(idle.pixelColor(0, 9) != idle.pixelColor(4, 9)); // a border tells it from the window
}

void TestWindowLayout::statusLabelIsCentredAndBlue()
{
    AppFixture app;
    for (int channel = 0; channel < channelCount; ++channel) {
        const QLabel *label = app.control<QLabel>(text(statusLabelOf[channel]));
        QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        const QRect panel = label->parentWidget()->rect();
        QVERIFY(panel.contains(label->geometry()));
        QCOMPARE(label->geometry().center().x(), panel.center().x());
        QVERIFY(label->y() >= 104 + 17 - 1); // below the lower digit row
    }
}

void TestWindowLayout::channelBinding_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("panelCaption");
    QTest::addColumn<QString>("statusLabel");
    QTest::addColumn<int>("groundField");
    for (int channel = 0; channel < channelCount; ++channel)
        QTest::addRow("COM%d", channel + 1) << channel << qs(texts::pinPanels[channel])
                                            << text(statusLabelOf[channel]) << 6 + 9 * channel;
}

// A poll of a channel writes into the panel captioned for it and into its column.
void TestWindowLayout::channelBinding()
{
    QFETCH(int, channel);
    QFETCH(QString, panelCaption);
    QFETCH(QString, statusLabel);
    QFETCH(int, groundField);

    AppFixture app;
    app.stopPolling();
    app.control<QCheckBox>(text("Check%1").arg(channel + 1))->setChecked(true);
    app.window->poll().tick();

    for (int i = 0; i < channelCount; ++i) {
        const auto *panel = app.control<QGroupBox>(text("Frame2"), i);
        QStringList written;
        for (const QLabel *label : panel->findChildren<QLabel *>()) {
            if (!label->text().isEmpty() && label->property("Index").isNull())
                written << label->objectName();
        }
        if (panel->title() == panelCaption)
            QCOMPARE(written, QStringList{statusLabel});
        else
            QCOMPARE(written, QStringList());
    }
    QCOMPARE(app.control<QLabel>(statusLabel)->text(), QStringLiteral("9600,n,8,1  comNone"));
    for (int i = 0; i < channelCount; ++i) {
        const QLineEdit *ground = app.control<QLineEdit>(text("Text%1").arg(6 + 9 * i));
        QCOMPARE(ground->text(), i == channel ? QStringLiteral("0") : QString());
    }
    QCOMPARE(app.control(text("Text%1").arg(groundField))->x(), 392 + 48 * channel);
}

void TestWindowLayout::aboutPanelHiddenAndTopmost()
{
    AppFixture app;
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QWidget *panel = app.control(text("Frame4"));
    QVERIFY(panel->isHidden());
    QWidget *client = app.window->centralWidget();
    QCOMPARE(client->childAt(400, 40), app.control(text("Text2")));

    panel->show();
    // It covers the first pin column and the DTR and RTS buttons of COM1 and COM2.
    for (const char *covered : {"Text2", "Text10", "Command3", "Command4", "Command5", "Command6", "Label3", "Frame1"}) {
        const QWidget *control = app.control(text(covered));
        const QWidget *top = client->childAt(control->geometry().center());
        QVERIFY2(top == panel || panel->isAncestorOf(top), covered);
    }
    QCOMPARE(client->childAt(app.control(text("Command7"))->geometry().center()), app.control(text("Command7")));
}

void TestWindowLayout::resizeMovesNothing()
{
    AppFixture app;
    app.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    QWidget *client = app.window->centralWidget();
    const QList<QWidget *> controls = client->findChildren<QWidget *>();
    QList<QRect> before;
    for (const QWidget *control : controls)
        before << control->geometry();

    for (QSize size : {QSize(1200, 900), QSize(300, 200), QSize(700, 600)}) {
        app.window->resize(size);
        QTRY_COMPARE(app.window->size(), size);
        for (qsizetype i = 0; i < controls.size(); ++i)
            QCOMPARE(controls[i]->geometry(), before[i]);
        if (size.width() < 585) // the right-hand settings panels no longer fit
            QVERIFY(app.control(text("Frame3"), 3)->visibleRegion().isEmpty());
    }
    QVERIFY(!app.control(text("Frame3"), 3)->visibleRegion().isEmpty());
}

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
