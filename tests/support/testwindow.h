#pragma once

#include "channelcontrols.h"
#include "fakeport.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

// The ports a test window is over; the boxes say nothing of them.
class TestPorts final : public PortSet
{
public:
    std::array<std::unique_ptr<SerialPort>, channelCount> ports;
    SerialPort &port(int channel) override { return *ports[channel]; }
    bool openPort(int channel) override { return port(channel).setPortOpen(true); }
    void resumeWaiting() override {}
    QString description(int) const override { return {}; }
};

// The real main window, shown, over the ports given and fake ones for the rest. Its poll timer is
// stopped so that a test ticks by hand, and messages are recorded instead of shown. It counts the
// paint events of the indicators and the DTR/RTS buttons.
struct TestWindow : QObject
{
    std::array<FakePort *, channelCount> fake{};
    std::unique_ptr<MainWindow> window;
    QStringList messages;
    std::function<void()> onMessage = [] {};
    int paints = 0;

    explicit TestWindow(std::array<std::unique_ptr<SerialPort>, channelCount> ports = {})
    {
        auto owner = std::make_unique<TestPorts>();
        for (int channel = 0; channel < channelCount; ++channel) {
            if (!ports[channel])
                ports[channel] = std::make_unique<FakePort>();
            fake[channel] = dynamic_cast<FakePort *>(ports[channel].get());
            owner->ports[channel] = std::move(ports[channel]);
        }
        window = std::make_unique<MainWindow>(std::move(owner));
        window->setMessagePresenter([this](QWidget *, const QString &text) {
            messages << text, onMessage();
        });
        get<QTimer>("Timer1")->stop();
        const QRegularExpression counted(QStringLiteral("^(Shape|Command)"));
        for (QWidget *widget : window->findChildren<QWidget *>(counted))
            widget->installEventFilter(this);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("the window was never exposed");
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        return paints += event->type() == QEvent::Paint, false;
    }
    // The paint events counted since the last call, once the pending repaints have run.
    int repaints() { return QCoreApplication::processEvents(), std::exchange(paints, 0); }

    // The control of that name; with an index, that element of the control array.
    template<typename T = QWidget>
    T *get(QAnyStringView name, int index = -1) const
    {
        for (T *found : window->findChildren<T *>(name.toString()))
            if (found->property("Index") == (index < 0 ? QVariant() : QVariant(index)))
                return found;
        return nullptr;
    }
    QLineEdit *text(int number) const
    {
        return get<QLineEdit>(QStringLiteral("Text%1").arg(number));
    }
    QComboBox *combo(int index) const { return get<QComboBox>("Combo1", index); }
    // Channel c's box, and its DTR or RTS button.
    static QString box(int c) { return QStringLiteral("Check%1").arg(c + 1); }
    static QString button(int c, Line line)
    {
        return QStringLiteral("Command%1").arg(2 * c + 3 + int(line));
    }

    // The colour the screen shows at a point of a control (its middle by default) once the
    // pending repaints have run, as a letter: G green, R red, B blue, w white, g the grey of a
    // button, a that of the about panel, y light yellow, ? any other.
    QChar painted(QAnyStringView name, int index = -1, QPoint at = {}) const
    {
        const QWidget *widget = (QCoreApplication::processEvents(), get(name, index));
        if (at.isNull())
            at = widget->rect().center();
        const QImage screen = window->screen()->grabWindow(window->winId()).toImage();
        const QRgb known[] = {0x00c000, 0xff0000, 0x0000ff, 0xffffff, 0xefefef, 0xd4d0c8, 0xffffc0};
        const QRgb colour = screen.pixel(widget->mapTo(window.get(), at)) & 0xffffff;
        return u"GRBwgay?"[std::find(known, known + 7, colour) - known];
    }
    // A channel as the screen shows it: the texts of its pin fields 1 to 9 ('-' for none), the
    // colours of its indicators 1 to 9 and of its DTR and RTS buttons, its status caption
    // (COM3's is Label16, COM4's Label15).
    QString shown(int channel) const
    {
        QStringList texts;
        QString colours;
        for (int pin = 1; pin <= 9; ++pin) {
            texts << text(1 + 9 * channel + pin)->text();
            colours += painted(QStringLiteral("Shape%1").arg(pin), channel);
        }
        colours += painted(button(channel, Line::Dtr));
        colours += painted(button(channel, Line::Rts));
        const char *status[] = {"Label13", "Label14", "Label16", "Label15"};
        texts.replaceInStrings(QRegularExpression(QStringLiteral("^$")), QStringLiteral("-"));
        return texts.join(u' ') + u' ' + colours + u' ' + get<QLabel>(status[channel])->text();
    }

    void tick() const { window->tick(); }
    // On the box of a check box rather than the middle of its caption, as a user clicks.
    void click(QAnyStringView name) const
    {
        QTest::mouseClick(get(name), Qt::LeftButton, {}, QPoint(6, get(name)->height() / 2));
    }
    // Chooses list entry `row` the way the arrow keys do, which emits activated.
    void choose(int index, int row) const
    {
        combo(index)->setCurrentIndex(row == 0 ? 1 : row - 1);
        QTest::keyClick(combo(index), row == 0 ? Qt::Key_Up : Qt::Key_Down);
    }
};
