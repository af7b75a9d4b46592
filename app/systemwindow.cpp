#include "systemwindow.h"

#include "channeltable.h"
#include "module1.h"
#include "qtserialport.h"

#include <clocale>

namespace {

[[nodiscard]] int comIndex(int channel)
{
    return channelTable[channel].portNumber - 1;
}

} // namespace

std::unique_ptr<MainWindow> makeSystemWindow(const ComPortMap &comPorts)
{
    std::setlocale(LC_TIME, "");
    auto backends = std::make_shared<std::array<QtSerialPort *, channelCount>>();
    const auto numbering = [comPorts, backends] {
        ComPortMap::HeldDevices held;
        for (int channel = 0; channel < channelCount; ++channel)
            held[comIndex(channel)] = (*backends)[channel]->openDevice();
        return comPorts.ports(held);
    };
    std::array<std::unique_ptr<SerialPort>, channelCount> ports;
    for (int channel = 0; channel < channelCount; ++channel) {
        auto port = std::make_unique<QtSerialPort>([numbering, channel] { return numbering()[comIndex(channel)].device; });
        (*backends)[channel] = port.get();
        ports[channel] = std::move(port);
    }
    auto window = std::make_unique<MainWindow>(std::move(ports));
    window->setPortDescriber([numbering] {
        const auto numbered = numbering();
        std::array<QString, channelCount> descriptions;
        for (int channel = 0; channel < channelCount; ++channel)
            descriptions[channel] = numbered[comIndex(channel)].description;
        return descriptions;
    });
    Module1().formLoad(*window);
    return window;
}
