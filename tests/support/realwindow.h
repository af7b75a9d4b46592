#pragma once

#include "modemlines.h"
#include "ptypair.h"
#include "qtserialport.h"
#include "windowprobe.h"

#include <QElapsedTimer>

#include <array>

// The real main window over the real serial backend: each channel's port is
// the slave of a pseudo-terminal whose master the test plays, with modem
// lines when the modem fixture is preloaded.
class RealWindow : public WindowProbe
{
public:
    RealWindow()
    {
        std::array<std::unique_ptr<SerialPort>, channelCount> owned;
        for (int channel = 0; channel < channelCount; ++channel) {
            ptys[channel] = std::make_unique<PtyPair>();
            modems[channel] = std::make_unique<ModemLines>(ptys[channel]->slaveDevice());
            auto port = std::make_unique<QtSerialPort>(ptys[channel]->slavePath());
            ports[channel] = port.get();
            owned[channel] = std::move(port);
        }
        adopt(std::make_unique<MainWindow>(std::move(owned)));
    }

    ~RealWindow() override { window.reset(); } // close the ports before their ptys go

    // Empty when usable, otherwise why not.
    [[nodiscard]] QString unusableBecause() const
    {
        for (const auto &pty : ptys) {
            if (!pty->isValid())
                return QStringLiteral("no pseudo-terminal could be opened");
        }
        if (!ModemLines::fixtureLoaded())
            return QStringLiteral("the modem fixture is not preloaded");
        return {};
    }

    // Reads the master until `wanted` bytes arrived or the time is up.
    [[nodiscard]] QByteArray readFarEnd(int channel, qsizetype wanted, int timeoutMs = 3000)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < wanted && clock.elapsed() < timeoutMs) {
            got += ptys[channel]->readMaster();
            if (got.size() < wanted)
                QTest::qWait(1);
        }
        return got;
    }

    std::array<std::unique_ptr<PtyPair>, channelCount> ptys;
    std::array<std::unique_ptr<ModemLines>, channelCount> modems;
    std::array<QtSerialPort *, channelCount> ports{};
};
