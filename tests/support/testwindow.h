#pragma once

#include "fakeport.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

// Four fake ports as the window's owner of its ports; the boxes say nothing of them.
struct TestPorts final : PortSet
{
    std::array<FakePort, channelCount> fake;
    SerialPort &port(int channel) override { return fake[channel]; }
    bool openPort(int channel) override { return fake[channel].setPortOpen(true); }
    void resumeWaiting() override {}
    QString description(int) const override { return {}; }
};

// The real main window over fake ports, shown. Its poll timer is stopped so that a test ticks by
// hand; a message is written into every port's log where it comes; paint events are counted.
struct TestWindow : QObject
{
    // Owned by the window.
    TestPorts *ports = new TestPorts;
    std::array<FakePort, channelCount> &fake = ports->fake;
    MainWindow window{std::unique_ptr<PortSet>(ports)};
    int paints = 0;

    TestWindow()
    {
        window.setMessagePresenter([this](QWidget *, const QString &text) {
            for (FakePort &port : fake)
                port.log << text;
        });
        get<QTimer>("Timer1")->stop();
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("the window was never exposed");
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        return paints += event->type() == QEvent::Paint, false;
    }
    // Runs what is pending, the repaints that one pass of the event loop only posts included.
    static void settle() { QCoreApplication::processEvents(QEventLoop::AllEvents, 100); }
    // The paint events counted since the last call, once the pending repaints have run.
    int repaints() { return settle(), std::exchange(paints, 0); }

    // The control of that name; with an index, that element of the control array.
    template<typename T = QWidget>
    T *get(QAnyStringView name, int index = -1) const
    {
        for (T *found : window.findChildren<T *>(name.toString()))
            if (found->property("Index") == (index < 0 ? QVariant() : index))
                return found;
        return nullptr;
    }
    QLineEdit *text(int number) const
    {
        return get<QLineEdit>(QStringLiteral("Text%1").arg(number));
    }
    // What the ports were told since the last look: a port's log joined by ';', the ports by '|'.
    QString told()
    {
        QStringList logs;
        for (FakePort &port : fake)
            logs << std::exchange(port.log, {}).join(u';');
        return logs.join(u'|');
    }

    // The colour the screen shows in the middle of a control, once the pending repaints have run,
    // as a letter: G green, R red, B blue, w white, g the grey of a button, a that of the about
    // panel (also as Fusion's group-box frame tints it), y light yellow, ? any other.
    QChar painted(QAnyStringView name, int index = -1) const
    {
        settle();
        const QWidget *widget = get(name, index);
        const QImage screen = window.screen()->grabWindow(window.winId()).toImage();
        const QRgb known[] = {0xff00c000, 0xffff0000, 0xff0000ff, 0xffffffff,
                              0xffefefef, 0xffd4d0c8, 0xffd2cec6, 0xffffffc0};
        return u"GRBwgaay?"[std::ranges::find(known, screen.pixel(widget->mapTo(
                                 &window, widget->rect().center())))
                             - known];
    }
    // Each channel as the screen shows it: the texts of its pin fields 1 to 9 ('-' for none),
    // the colours of its indicators 1 to 9 and of its DTR and RTS buttons, its status caption
    // (COM3's is Label16, COM4's Label15).
    QStringList shown() const
    {
        QStringList channels;
        for (const char *status : {"Label13", "Label14", "Label16", "Label15"}) {
            const int channel = channels.size();
            QString texts, colours;
            for (int pin = 1; pin <= 9; ++pin) {
                texts += text(1 + 9 * channel + pin)->text().leftJustified(1, u'-') + u' ';
                colours += painted(QStringLiteral("Shape%1").arg(pin), channel);
            }
            for (int button : {3, 4})
                colours += painted(QStringLiteral("Command%1").arg(2 * channel + button));
            channels << texts + colours + u' ' + get<QLabel>(status)->text();
        }
        return channels;
    }

    void tick() { window.tick(); }
    // Clicks the controls named, one after the other: a check box on its box rather than the
    // middle of its caption, as a user clicks (both it and a button are 17 to 19 pixels high).
    void click(QAnyStringView names) const
    {
        for (const QString &name : names.toString().split(u' '))
            QTest::mouseClick(get(name), Qt::LeftButton, {}, QPoint(6, 8));
    }
    // Chooses list entry `row`, not the first, the way the down arrow key does, which emits
    // activated.
    void choose(int index, int row) const
    {
        QComboBox *box = get<QComboBox>("Combo1", index);
        box->setCurrentIndex(row - 1);
        QTest::keyClick(box, Qt::Key_Down);
    }
};
