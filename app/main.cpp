#include "platformsetup.h"
#include "systemports.h"
#include "systemwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    preparePlatform();
    QApplication app(argc, argv);
    const std::unique_ptr<MainWindow> window = makeSystemWindow(std::make_unique<SystemPorts>());
    window->show();
    return QApplication::exec();
}
