#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

#include <sys/types.h>
#include <termios.h>

// A pseudo-terminal pair. The code under test opens the slave by its path;
// the test plays the far end on the master, which is non-blocking. The slave
// is held open here as well, in raw mode: its termios can be read back, and
// it survives the code under test closing and reopening it.
class PtyPair final
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    [[nodiscard]] bool isValid() const { return m_master >= 0 && m_slave >= 0; }
    [[nodiscard]] int masterFd() const { return m_master; }
    [[nodiscard]] int slaveFd() const { return m_slave; }
    [[nodiscard]] QString slavePath() const { return m_slavePath; }
    // The slave's device number (st_rdev), which names it to the modem fixture.
    [[nodiscard]] dev_t slaveDevice() const { return m_slaveDevice; }

    // The slave's line settings as the driver holds them, and its output
    // speed in baud (also for rates that have no Bxxx constant).
    [[nodiscard]] std::optional<termios> slaveTermios() const;
    [[nodiscard]] std::optional<quint32> slaveBaudRate() const;

    // Writes what the master takes now; -1 on an error other than a full buffer.
    qint64 writeMaster(QByteArrayView bytes);
    // Everything the master holds now.
    [[nodiscard]] QByteArray readMaster();
    // Hangs the slave up, as a device that goes away would.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    dev_t m_slaveDevice = 0;
};
