#include "systemwindow.h"

#include "module1.h"

#include <clocale>

std::unique_ptr<MainWindow> makeSystemWindow(std::unique_ptr<PortSet> ports)
{
    std::setlocale(LC_TIME, "");
    auto window = std::make_unique<MainWindow>(std::move(ports));
    Module1().formLoad(*window);
    return window;
}
