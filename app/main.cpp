#include "systemwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const std::unique_ptr<MainWindow> window = makeSystemWindow();
    window->show();
    return QApplication::exec();
}
