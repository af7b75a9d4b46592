#pragma once

#include "transport.h"

#include <QByteArray>
#include <QString>

#include <memory>

// The far end of a cable, played by the test, whose near end a port of the platform under test
// opens.
class FarEnd
{
public:
    FarEnd();
    ~FarEnd();
    FarEnd(const FarEnd &) = delete;
    FarEnd &operator=(const FarEnd &) = delete;

    [[nodiscard]] static std::unique_ptr<Transport> transport();
    // Settings this platform's driver cannot make within the tolerance, e.g. "256000,n,8,1".
    [[nodiscard]] static QString unreachableSettings();
    // Whether its driver takes RTS/CTS and XON/XOFF at once.
    [[nodiscard]] static bool takesBothHandshakes();
    // Whether a close drops output held by XOFF; a server sends it once the line is free, and
    // takes a new connection only then.
    [[nodiscard]] static bool closeDropsHeldOutput();
    // Processor time this process has used, in seconds.
    [[nodiscard]] static double cpuSeconds();

    [[nodiscard]] QString device() const;
    // The near end's line as its driver holds it, e.g. "115200 cs7 parenb cstopb crtscts ixon
    // ixoff".
    [[nodiscard]] QString lineInForce() const;
    // The near end's outputs as seen here: "dtr rts", "dtr", "rts" or "".
    [[nodiscard]] QString outputsSeen() const;
    // The far end's outputs, which the near end reads as DCD and DSR, and as CTS.
    void raise(bool dcdAndDsr, bool cts);
    qint64 write(const QByteArray &bytes);
    // What came once events ran until `count` bytes did or three seconds passed.
    [[nodiscard]] QByteArray read(qsizetype count);
    // As a driver that lost its device without saying so: every status request fails (under Wine).
    void mute();
    // As a cable pulled out; plugIn() puts a new one in.
    void hangUp();
    void plugIn();

private:
    struct Cable;
    std::unique_ptr<Cable> m_cable;
};
