#pragma once

#include "fakeserialport.h"
#include "mainwindow.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>

// Form1 over four fake ports, with a finder for controls by name and Index.
struct AppFixture
{
    std::unique_ptr<MainWindow> window;

    explicit AppFixture(QWidget *parent = nullptr)
    {
        std::array<std::unique_ptr<SerialPort>, channelCount> owned;
        for (auto &port : owned)
            port = std::make_unique<FakeSerialPort>();
        window = std::make_unique<MainWindow>(std::move(owned), parent);
        window->setMessagePresenter([](QWidget *, const QString &) {});
    }

    // Keeps the poll from blanking what a test has just typed.
    void stopPolling() const { window->findChild<QTimer *>(QStringLiteral("Timer1"))->stop(); }

    // The control of that name; with an index, the element of that control array.
    template<typename Widget = QWidget>
    [[nodiscard]] Widget *control(const QString &name, int index = -1) const
    {
        Widget *found = nullptr;
        for (Widget *candidate : window->findChildren<Widget *>(name)) {
            const QVariant element = candidate->property("Index");
            if (element.isValid() ? element.toInt() != index : index >= 0)
                continue;
            if (found != nullptr)
                return nullptr; // two controls answering to one name is a fault too
            found = candidate;
        }
        return found;
    }
};
