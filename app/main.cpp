#include "module1.h"
#include "systemwindow.h"

#include <QApplication>

#include <clocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Month and weekday names follow the user's regional settings.
    std::setlocale(LC_TIME, "");

    const std::unique_ptr<MainWindow> window = makeSystemWindow();
    Module1 module;
    module.formLoad(*window);
    window->show();
    return QApplication::exec();
}
