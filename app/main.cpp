#include "channeltable.h"
#include "mainwindow.h"
#include "module1.h"
#include "portnames.h"
#include "qtserialport.h"

#include <QApplication>

#include <clocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Month and weekday names follow the user's regional settings.
    std::setlocale(LC_TIME, "");

    std::array<std::unique_ptr<SerialPort>, channelCount> ports;
    for (int channel = 0; channel < channelCount; ++channel)
        ports[channel] = std::make_unique<QtSerialPort>(portDeviceName(channelTable[channel].portNumber));

    MainWindow window(std::move(ports));
    Module1 module;
    module.formLoad(window);
    window.show();
    return QApplication::exec();
}
