#include "systemwindow.h"

#include "channeltable.h"
#include "qtserialport.h"

std::unique_ptr<MainWindow> makeSystemWindow(const ComPortMap &comPorts)
{
    std::array<std::unique_ptr<SerialPort>, channelCount> ports;
    std::array<QtSerialPort *, channelCount> backends{};
    for (int channel = 0; channel < channelCount; ++channel) {
        const int comNumber = channelTable[channel].portNumber;
        auto port = std::make_unique<QtSerialPort>([comPorts, comNumber] { return comPorts.device(comNumber); });
        backends[channel] = port.get();
        ports[channel] = std::move(port);
    }
    auto window = std::make_unique<MainWindow>(std::move(ports));
    // An open port is described by the device it holds, which the numbering may since have given away.
    window->setPortDescriber([comPorts, backends](int channel) {
        const QString open = backends[channel]->openDevice();
        return open.isEmpty() ? comPorts.description(channelTable[channel].portNumber) : comPorts.describe(open);
    });
    return window;
}
