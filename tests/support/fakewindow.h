#pragma once

#include "fakeserialport.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <array>
#include <memory>

// The real main window over four fake ports, with its messages recorded
// instead of shown. The poll timer is stopped so tests tick by hand.
class FakeWindow
{
public:
    FakeWindow()
    {
        std::array<std::unique_ptr<SerialPort>, channelCount> owned;
        for (int channel = 0; channel < channelCount; ++channel) {
            auto port = std::make_unique<FakeSerialPort>();
            ports[channel] = port.get();
            owned[channel] = std::move(port);
        }
        window = std::make_unique<MainWindow>(std::move(owned));
        window->setMessagePresenter([this](QWidget *, const QString &text) {
            messages << text;
            if (onMessage)
                onMessage();
        });
        timer()->stop();
    }

    [[nodiscard]] bool show()
    {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    [[nodiscard]] QTimer *timer() const { return window->findChild<QTimer *>(QStringLiteral("Timer1")); }

    template<typename T>
    [[nodiscard]] T *control(const QString &name, int index = -1) const
    {
        for (T *candidate : window->findChildren<T *>(name)) {
            if (index < 0 || candidate->property("Index").toInt() == index)
                return candidate;
        }
        return nullptr;
    }

    [[nodiscard]] QLineEdit *pinField(int channel, Pin pin) const
    {
        return control<QLineEdit>(QStringLiteral("Text%1").arg(pinFieldNumber(channel, pin)));
    }

    [[nodiscard]] QWidget *indicator(int channel, Pin pin) const
    {
        return control<QWidget>(QStringLiteral("Shape%1").arg(int(pin)), channel);
    }

    [[nodiscard]] ColorCode indicatorColor(int channel, Pin pin) const
    {
        return ColorCode(indicator(channel, pin)->property("backColor").toUInt());
    }

    [[nodiscard]] QAbstractButton *lineButton(int channel, Line line) const
    {
        const auto &entry = channelTable[channel];
        return control<QAbstractButton>(qs(line == Line::Dtr ? entry.dtrButton : entry.rtsButton));
    }

    [[nodiscard]] ColorCode buttonColor(int channel, Line line) const
    {
        return ColorCode(lineButton(channel, line)->property("backColor").toUInt());
    }

    [[nodiscard]] QAbstractButton *checkBox(int channel) const
    {
        return control<QAbstractButton>(qs(channelTable[channel].checkBox));
    }

    [[nodiscard]] QComboBox *combo(int index) const { return control<QComboBox>(QStringLiteral("Combo1"), index); }

    // Clicks the box itself, as a user does, not the middle of the caption.
    void clickCheckBox(int channel) const
    {
        QAbstractButton *box = checkBox(channel);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    // Chooses list entry `row` the way the arrow keys do, which emits activated.
    void chooseEntry(int comboIndex, int row) const
    {
        QComboBox *box = combo(comboIndex);
        box->setCurrentIndex(row == 0 ? 1 : row - 1);
        QTest::keyClick(box, row == 0 ? Qt::Key_Up : Qt::Key_Down);
    }

    std::array<FakeSerialPort *, channelCount> ports{};
    std::unique_ptr<MainWindow> window;
    QStringList messages;
    std::function<void()> onMessage;
};
