#pragma once

#include "mainwindow.h"
#include "qstringfrom.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// Finds and drives the main window's controls by the names the channel table gives.
class WindowProbe
{
public:
    virtual ~WindowProbe() = default;

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

    std::unique_ptr<MainWindow> window;
    QStringList messages;
    std::function<void()> onMessage;

protected:
    // Records messages instead of showing them, and stops the poll timer so tests tick by hand.
    void adopt(std::unique_ptr<MainWindow> created)
    {
        window = std::move(created);
        window->setMessagePresenter([this](QWidget *, const QString &text) {
            messages << text;
            if (onMessage)
                onMessage();
        });
        timer()->stop();
    }
};
