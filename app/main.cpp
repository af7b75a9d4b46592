#include "channeltable.h"
#include "comportmap.h"
#include "mainwindow.h"
#include "module1.h"
#include "qtserialport.h"

#include <QApplication>

#include <clocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Month and weekday names follow the user's regional settings.
    std::setlocale(LC_TIME, "");

    const ComPortMap comPorts;
    std::array<std::unique_ptr<SerialPort>, channelCount> ports;
    std::array<QtSerialPort *, channelCount> backends{};
    for (int channel = 0; channel < channelCount; ++channel) {
        const int comNumber = channelTable[channel].portNumber;
        auto port = std::make_unique<QtSerialPort>([comPorts, comNumber] { return comPorts.device(comNumber); });
        backends[channel] = port.get();
        ports[channel] = std::move(port);
    }

    MainWindow window(std::move(ports));
    // An open port is described by the device it holds, which the numbering may since have given away.
    window.setPortDescriber([comPorts, backends](int channel) {
        const QString open = backends[channel]->openDevice();
        return open.isEmpty() ? comPorts.description(channelTable[channel].portNumber) : comPorts.describe(open);
    });
    Module1 module;
    module.formLoad(window);
    window.show();
    return QApplication::exec();
}
