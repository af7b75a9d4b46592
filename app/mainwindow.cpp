#include "mainwindow.h"

#include "aboutpanel.h"
#include "circleshape.h"
#include "colorbutton.h"
#include "channelcontrols.h"
#include "layoutfont.h"
#include "portcore.h"
#include "portmapping.h"
#include "remoteportdialog.h"
#include "porttexts.h"
#include "qstringfrom.h"
#include "receivedfield.h"
#include "screencolor.h"
#include "windowtexts.h"
#include "windowlayout.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

using windowlayout::Rect;

void showMessageBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, qs(texts::appTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

// Every control is named as the tables name it; elements of a control array
// share the name and carry their Index.
template<typename Widget>
Widget *makeControl(QWidget *parent, const QString &name, const Rect &rect, int index = -1)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(name);
    if (index >= 0)
        widget->setProperty("Index", index);
    widget->setGeometry(rect.x, rect.y, rect.width, rect.height);
    return widget;
}

QLabel *makeLabel(QWidget *parent, std::string_view name, std::string_view caption, const Rect &rect,
                  int index = -1)
{
    auto *label = makeControl<QLabel>(parent, qs(name), rect, index);
    label->setText(qs(caption));
    return label;
}

[[nodiscard]] QString numbered(std::string_view kind, int number)
{
    return qs(kind) + QString::number(number);
}

// "COM1 DCD", "COM1 скорость": what a screen reader says for a control of a channel.
[[nodiscard]] QString channelControlName(int channel, std::string_view what)
{
    return qs(texts::channelNameLead) + QString::number(channelTable[channel].portNumber) + QLatin1Char(' ') + qs(what);
}

[[nodiscard]] QString pinName(int channel, Pin pin)
{
    return channelControlName(channel, texts::signalNames[std::size_t(pin) - 1]);
}

// Every change of a box, partly ticked included; Qt 6.7 renamed the signal.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
constexpr auto boxChanged = &QCheckBox::checkStateChanged;
#else
constexpr auto boxChanged = &QCheckBox::stateChanged;
#endif

[[nodiscard]] int lineSlot(int channel, Line line)
{
    return channel * 2 + (line == Line::Dtr ? 0 : 1);
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<PortSet> ports, QWidget *parent)
    : QMainWindow(parent)
    , m_ports(std::move(ports))
    , m_enable(*this, *m_ports)
    , m_settings(*this, *m_ports)
    , m_toggles(*this, *m_ports)
    , m_poll(*this, *m_ports)
    , m_presenter(showMessageBox)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(qs(texts::provisionalCaption));
    nameSerialPorts();

    auto *client = new QWidget(this);
    client->setFont(layoutFont(client->font()));
    setCentralWidget(client);
    buildMenu();
    buildFrames(client);
    buildPinGrid(client);
    m_aboutPanel->raise();

    resize(windowlayout::clientWidth, windowlayout::clientHeight + menuBar()->sizeHint().height());
    describePorts();
    startPolling();
}

MainWindow::~MainWindow() = default;

void MainWindow::setMessagePresenter(MessagePresenter presenter)
{
    m_presenter = presenter ? std::move(presenter) : MessagePresenter(showMessageBox);
}

void MainWindow::tick()
{
    m_ports->resumeWaiting();
    m_poll.tick();
    describePorts();
}

// The texts come from the device: the tooltip shows them as they are, never as markup.
void MainWindow::describePorts()
{
    for (int channel = 0; channel < channelCount; ++channel) {
        const QString description = m_ports->description(channel);
        QCheckBox *box = m_checkBoxes[channel];
        if (box->accessibleDescription() == description)
            continue;
        box->setAccessibleDescription(description);
        box->setToolTip(description.isEmpty() ? QString() : Qt::convertFromPlainText(description, Qt::WhiteSpaceNormal));
    }
}

void MainWindow::setAboutTexts(const QString &authorText, const QString &termsText)
{
    m_aboutPanel->setTexts(authorText, termsText);
}

// A port that is a QObject becomes a named child, so it can be found like a control;
// it is still destroyed by its owner here, before the window's children go. A port core tells when an
// open that went on in the background failed.
void MainWindow::nameSerialPorts()
{
    for (int channel = 0; channel < channelCount; ++channel) {
        if (auto *object = dynamic_cast<QObject *>(&m_ports->port(channel))) {
            object->setObjectName(qs(channelControls[channel].serialPort));
            object->setParent(this);
        }
        if (auto *core = dynamic_cast<PortCore *>(&m_ports->port(channel))) {
            connect(core, &PortCore::openFailed, this, [this, channel] {
                m_enable.openFailed(channel);
                describePorts();
            });
        }
    }
}

void MainWindow::buildMenu()
{
    auto *about = new QAction(qs(texts::aboutMenu), this);
    about->setObjectName(QStringLiteral("mnu_Prog"));
    menuBar()->addAction(about);
    connect(about, &QAction::triggered, this, [this] { m_aboutPanel->toggle(); });
    // Outside the menu bar, which holds the one item; closing the window ends the program.
    auto *quit = new QAction(this);
    quit->setShortcut(QKeySequence::Quit);
    addAction(quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
}

void MainWindow::buildFrames(QWidget *client)
{
    using namespace windowlayout;
    for (const FrameEntry &entry : topLevelFrames) {
        if (entry.name == aboutPanelName) {
            m_aboutPanel = new AboutPanel(client);
            m_aboutPanel->setGeometry(entry.rect.x, entry.rect.y, entry.rect.width, entry.rect.height);
            continue;
        }
        auto *frame = makeControl<QGroupBox>(client, qs(entry.name), entry.rect, entry.index);
        frame->setTitle(qs(entry.caption));
        if (entry.name == portsBoxName)
            buildPortsBox(frame);
        else if (entry.name == pinPanelName)
            buildPinPanel(entry.index, frame);
        else if (entry.name == settingsPanelName)
            buildSettingsPanel(entry.index, frame);
    }
}

void MainWindow::buildPortsBox(QGroupBox *box)
{
    for (int channel = 0; channel < channelCount; ++channel) {
        const ChannelControls &entry = channelControls[channel];
        auto *check = makeControl<QCheckBox>(box, qs(entry.checkBox), windowlayout::checkBoxRect(channel));
        check->setText(qs(entry.checkCaption));
        // Every change is a click, the program's own untick after a refused open included.
        connect(check, boxChanged, this, [this, channel] {
            m_enable.checkClicked(channel);
            describePorts();
        });
        // What the number stands for: a port of this machine, or one served over the network.
        check->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(check, &QWidget::customContextMenuRequested, this,
                [this, channel, check](const QPoint &at) { chooseRemotePort(channel, check->mapToGlobal(at)); });
        m_checkBoxes[channel] = check;
    }
}

void MainWindow::chooseRemotePort(int channel, const QPoint &at)
{
    const int comNumber = channelTable[channel].portNumber;
    QMenu menu(this);
    const QAction *remote = menu.addAction(qs(texts::remotePortAction));
    const QAction *local = menu.addAction(qs(texts::localPortAction));
    const QAction *chosen = menu.exec(at);
    if (chosen == remote) {
        const std::optional<RemoteAddressParse> mapped = PortMapping::read(comNumber);
        const QString current = mapped && mapped->address ? mapped->address->text() : QString();
        if (const std::optional<RemoteAddress> address = RemotePortDialog::ask(this, comNumber, current))
            (void)PortMapping::store(comNumber, *address);
    } else if (chosen == local) {
        (void)PortMapping::makeLocal(comNumber);
    }
    describePorts();
}

void MainWindow::buildPinGrid(QWidget *client)
{
    using namespace windowlayout;
    for (const PinRow &row : pinRows)
        makeLabel(client, row.label, row.caption, pinDescriptionRect(row.pin));
    makeLabel(client, columnHeaderName, texts::columnHeader, columnHeaderRect);

    for (int channel = 0; channel < channelCount; ++channel) {
        for (const PinRow &row : pinRows) {
            const QString name = numbered("Text", pinFieldNumber(channel, row.pin));
            const Rect rect = pinFieldRect(channel, row.pin);
            QLineEdit *field = row.pin == Pin::Rd ? makeControl<ReceivedField>(client, name, rect)
                                                  : makeControl<QLineEdit>(client, name, rect);
            field->setReadOnly(row.pin != Pin::Td); // only the TD field takes what the user types
            field->setAccessibleName(pinName(channel, row.pin));
            // A field holds a whole tick's received text or a whole pasted text to send.
            field->setMaxLength(std::numeric_limits<int>::max());
            m_pinFields[channel * pinCount + static_cast<int>(row.pin) - 1] = field;
        }
        for (Line line : {Line::Dtr, Line::Rts}) {
            const ChannelControls &entry = channelControls[channel];
            auto *button = makeControl<ColorButton>(client, qs(line == Line::Dtr ? entry.dtrButton : entry.rtsButton),
                                                    lineButtonRect(channel, line));
            button->setAccessibleName(pinName(channel, line == Line::Dtr ? Pin::Dtr : Pin::Rts));
            connect(button, &QPushButton::clicked, this, [this, channel, line] { m_toggles.buttonClicked(channel, line); });
            m_lineButtons[lineSlot(channel, line)] = button;
        }
    }
}

void MainWindow::buildPinPanel(int channel, QGroupBox *panel)
{
    using namespace windowlayout;
    makeLabel(panel, upperDigitRowName, texts::upperDigitRow, upperDigitRowRect, channel);
    for (const PinRow &row : pinRows) {
        const int pin = static_cast<int>(row.pin);
        m_indicators[pin - 1][channel] = makeControl<CircleShape>(panel, numbered("Shape", pin), indicatorRect(row.pin), channel);
        m_indicators[pin - 1][channel]->setAccessibleName(pinName(channel, row.pin));
    }
    makeLabel(panel, lowerDigitRowName, texts::lowerDigitRow, lowerDigitRowRect, channel);

    QLabel *status = makeLabel(panel, channelControls[channel].statusLabel, {}, statusLabelRect);
    status->setAlignment(Qt::AlignCenter);
    paintRole(*status, QPalette::WindowText, statusText);
    m_statusLabels[channel] = status;
}

void MainWindow::buildSettingsPanel(int channel, QGroupBox *panel)
{
    using namespace windowlayout;
    for (const SettingsRow &row : settingsRows) {
        const int index = comboIndex(channel, row.role);
        auto *combo = makeControl<QComboBox>(panel, QStringLiteral("Combo1"), comboRect(row), index);
        combo->setEditable(true);
        // Typing only edits the text: it neither adds to the list nor completes to an entry.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        for (std::string_view entry : row.entries)
            combo->addItem(qs(entry));
        combo->setCurrentIndex(combo->findText(qs(row.initialText)));
        // Qt names a combo by its text on Linux; its field, which has the focus, carries the name there.
        const QString name = channelControlName(channel, texts::settingNames[std::size_t(row.role)]);
        combo->setAccessibleName(name);
        combo->lineEdit()->setAccessibleName(name);
        connect(combo, &QComboBox::activated, this, [this, index] { m_settings.comboClicked(index); });
        m_combos[index] = combo;

        if (row.labelKind == RowLabel::ArrayElement)
            makeLabel(panel, row.labelName, row.labelCaption, settingsLabelRect(row), channel);
        else if (row.labelKind == RowLabel::ChannelLabel)
            makeLabel(panel, channelControls[channel].handshakingLabel, channelControls[channel].handshakingCaption,
                      settingsLabelRect(row));
    }
}

void MainWindow::startPolling()
{
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(PollCycle::period);
    connect(m_timer, &QTimer::timeout, this, &MainWindow::tick);
    m_timer->start();
}

QLineEdit *MainWindow::pinField(int channel, Pin pin) const
{
    return m_pinFields[channel * pinCount + static_cast<int>(pin) - 1];
}

ColorButton *MainWindow::lineButton(int channel, Line line) const
{
    return m_lineButtons[lineSlot(channel, line)];
}

int MainWindow::checkValue(int channel) const
{
    switch (m_checkBoxes[channel]->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

void MainWindow::setCheckValue(int channel, int value)
{
    constexpr Qt::CheckState states[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    if (value >= 0 && value < int(std::size(states)))
        m_checkBoxes[channel]->setCheckState(states[value]);
}

QString MainWindow::pinText(int channel, Pin pin) const
{
    return pinField(channel, pin)->text();
}

void MainWindow::setPinText(int channel, Pin pin, const QString &text)
{
    QLineEdit *field = pinField(channel, pin);
    if (field->text() != text)
        field->setText(text);
}

void MainWindow::setIndicatorColor(int channel, Pin pin, ColorCode color)
{
    m_indicators[static_cast<int>(pin) - 1][channel]->setBackColor(static_cast<uint>(color));
}

ColorCode MainWindow::buttonColor(int channel, Line line) const
{
    return ColorCode(lineButton(channel, line)->backColor());
}

void MainWindow::setButtonColor(int channel, Line line, ColorCode color)
{
    lineButton(channel, line)->setBackColor(static_cast<uint>(color));
}

void MainWindow::setStatusCaption(int channel, const QString &caption)
{
    QLabel *label = m_statusLabels[channel];
    if (label->text() != caption)
        label->setText(caption);
}

QString MainWindow::comboText(int comboIndex) const
{
    return m_combos[comboIndex]->currentText();
}

void MainWindow::showMessage(const QString &text)
{
    m_presenter(this, text);
}
