#pragma once

#include "fakeserialport.h"
#include "windowprobe.h"

#include <array>

// The real main window over four fake ports.
class FakeWindow : public WindowProbe
{
public:
    FakeWindow()
    {
        std::array<std::unique_ptr<SerialPort>, channelCount> owned;
        for (int channel = 0; channel < channelCount; ++channel) {
            auto port = std::make_unique<FakeSerialPort>();
            ports[channel] = port.get();
            owned[channel] = std::move(port);
        }
        adopt(std::make_unique<MainWindow>(std::move(owned)));
    }

    std::array<FakeSerialPort *, channelCount> ports{};
};
