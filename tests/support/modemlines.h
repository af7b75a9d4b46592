#pragma once

#include <QString>

#include <string>

#include <sys/types.h>

// The far end of an emulated modem for one pseudo-terminal slave.
//
// The modem fixture (libvelmora_modemfixture.so, loaded into the process that
// opens the slave through LD_PRELOAD, with VELMORA_MODEM_DIR naming a
// directory) answers TIOCMGET, TIOCMSET, TIOCMBIS and TIOCMBIC on that slave
// from a state file in the directory; this class writes and reads that file.
// The far end raises and drops DCD, DSR, CTS and RI and sees DTR and RTS;
// it may also preset DTR and RTS, as the kernel raises both when a port opens.
// The fixture also keeps the data bits and parity that a pty would otherwise
// force to 8,n, so that tcgetattr shows what was asked for, and can be made
// to refuse five data bits as a driver might.
//
//     PtyPair pty;
//     ModemLines modem(pty.slaveDevice());
//     modem.set(ModemLines::Line::Dcd, true);
//     ... the program opens pty.slavePath() and reads DCD as asserted ...
//     QVERIFY(modem.isAsserted(ModemLines::Line::Dtr));
class ModemLines final
{
public:
    enum class Line { Dtr, Rts, Dcd, Dsr, Cts, Ri };

    // Whether the fixture is loaded into this very process.
    [[nodiscard]] static bool fixtureLoaded();
    // The directory named by VELMORA_MODEM_DIR, empty when it is not set.
    [[nodiscard]] static QString stateDirectory();

    // Makes the device an emulated modem with every line dropped, until destruction.
    explicit ModemLines(dev_t device, const QString &directory = stateDirectory());
    ~ModemLines();
    ModemLines(const ModemLines &) = delete;
    ModemLines &operator=(const ModemLines &) = delete;

    [[nodiscard]] bool isValid() const { return m_valid; }
    bool set(Line line, bool asserted);
    [[nodiscard]] bool isAsserted(Line line) const;
    bool setRefusesFiveDataBits(bool refuses);
    // Makes the device a UART that quietly clips speeds above 115200 baud.
    bool setTopsOutAt115200(bool slow);

private:
    std::string m_path;
    bool m_valid = false;
};
