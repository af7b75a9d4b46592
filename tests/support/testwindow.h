#pragma once

#include "channelcontrols.h"
#include "fakeport.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

// The ports given, and fake ones for the rest; the boxes say nothing of them.
class TestPorts final : public PortSet
{
public:
    explicit TestPorts(std::array<std::unique_ptr<SerialPort>, channelCount> ports) : m_ports(std::move(ports)) {}
    SerialPort &port(int channel) override { return *m_ports[channel]; }
    bool openPort(int channel) override { return m_ports[channel]->setPortOpen(true); }
    void resumeWaiting() override {}
    QString description(int) const override { return {}; }

private:
    std::array<std::unique_ptr<SerialPort>, channelCount> m_ports;
};

// The real main window, shown, over the ports given and fake ones for the rest. Its poll timer is
// stopped so that a test ticks by hand, and messages are recorded instead of shown.
// It counts the paint events of the indicators and the DTR/RTS buttons.
struct TestWindow : QObject
{
    std::array<FakePort *, channelCount> fake{};
    int paints = 0;
    std::unique_ptr<MainWindow> window;
    QStringList messages;
    std::function<void()> onMessage = [] {};

    explicit TestWindow(std::array<std::unique_ptr<SerialPort>, channelCount> ports = {})
    {
        for (int channel = 0; channel < channelCount; ++channel) {
            if (!ports[channel])
                ports[channel] = std::make_unique<FakePort>();
            fake[channel] = dynamic_cast<FakePort *>(ports[channel].get());
        }
        window = std::make_unique<MainWindow>(std::make_unique<TestPorts>(std::move(ports)));
        window->setMessagePresenter([this](QWidget *, const QString &text) { messages << text, onMessage(); });
        get<QTimer>(QStringLiteral("Timer1"))->stop();
        for (QWidget *indicatorOrButton : window->findChildren<QWidget *>(QRegularExpression(QStringLiteral("^(Shape|Command)\\d"))))
            indicatorOrButton->installEventFilter(this);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("the window was never exposed");
    }

    // The one control of that name; with an Index, the element of that control array.
    template<typename T = QWidget>
    T *get(const QString &name, int index = -1) const
    {
        QList<T *> found = window->findChildren<T *>(name);
        found.removeIf([index](T *candidate) {
            const QVariant element = candidate->property("Index");
            return element.isValid() ? element.toInt() != index : index >= 0;
        });
        return found.size() == 1 ? found.front() : nullptr;
    }
    QLineEdit *text(int number) const { return get<QLineEdit>(QStringLiteral("Text%1").arg(number)); }
    QString label(const QString &name) const { return get<QLabel>(name)->text(); }
    // The colour code of a button or a round indicator.
    uint colour(const QString &name, int index = -1) const { return get(name, index)->property("backColor").toUInt(); }

    // The colour the screen shows in the middle of a control once the pending repaints have run.
    QColor painted(const QString &name, int index = -1) const
    {
        const QWidget *widget = (QCoreApplication::processEvents(), get(name, index));
        return window->screen()->grabWindow(window->winId()).toImage().pixelColor(widget->mapTo(window.get(), widget->rect().center()));
    }
    // The paint events counted since the last call, once the pending repaints have run.
    int repaints() { return QCoreApplication::processEvents(), std::exchange(paints, 0); }
    bool eventFilter(QObject *, QEvent *event) override { return paints += event->type() == QEvent::Paint, false; }

    void tick() const { window->tick(); }
    // On the box of a check box rather than the middle of its caption, as a user clicks.
    void click(const QString &name) const { QTest::mouseClick(get(name), Qt::LeftButton, {}, QPoint(6, get(name)->height() / 2)); }
    // Chooses list entry `row` the way the arrow keys do, which emits activated.
    void choose(int combo, int row) const
    {
        QComboBox *box = get<QComboBox>(QStringLiteral("Combo1"), combo);
        box->setCurrentIndex(row == 0 ? 1 : row - 1);
        QTest::keyClick(box, row == 0 ? Qt::Key_Up : Qt::Key_Down);
    }
};
