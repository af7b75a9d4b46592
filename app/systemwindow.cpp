#include "systemwindow.h"

#include "groupframestyle.h"
#include "module1.h"

#include <QApplication>
#include <QGroupBox>

#include <clocale>

std::unique_ptr<MainWindow> makeSystemWindow(std::unique_ptr<PortSet> ports)
{
    std::setlocale(LC_TIME, "");
    auto window = std::make_unique<MainWindow>(std::move(ports));
    auto *frames = new GroupFrameStyle(QApplication::style()->name()); // owned by the window, destroyed after its boxes
    frames->setParent(window.get());
    for (QGroupBox *box : window->findChildren<QGroupBox *>())
        box->setStyle(frames);
    Module1().formLoad(*window);
    return window;
}
