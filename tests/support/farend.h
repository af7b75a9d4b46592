#pragma once

#include "transport.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QTest>

#include <memory>

// The far end of a cable, played by the test, whose near end a port of the platform under test
// opens. Destroyed, it is a cable pulled out.
class FarEnd
{
public:
    FarEnd();

    static std::unique_ptr<Transport> transport();
    // How this platform's driver differs from the others.
    struct Traits
    {
        // Settings it cannot make within the tolerance, e.g. "256000,n,8,1".
        QString unreachableSettings;
        // Whether it takes RTS/CTS and XON/XOFF at once.
        bool takesBothHandshakes;
        // Whether a close drops output held by XOFF; a server sends it once the line is free, and
        // takes a new connection only then.
        bool closeDropsHeldOutput;
    };
    static const Traits traits;

    QString device() const;
    // The near end's line as its driver holds it, e.g. "115200 cs7 parenb cstopb crtscts ixon
    // ixoff".
    QString lineInForce() const;
    // The near end's outputs as seen here: "dtr rts", "dtr", "rts" or "".
    QString outputsSeen() const;
    // The far end's outputs, which the near end reads as DCD and DSR, and as CTS.
    void raise(bool dcdAndDsr, bool cts);
    // Whether all of it went within three seconds, taken in pieces while the port reads.
    bool write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        for (QDeadlineTimer end(3000); done < bytes.size() && !end.hasExpired(); QTest::qWait(1))
            done += writeSome(bytes.sliced(done));
        return done == bytes.size();
    }
    // What came once events ran until `count` bytes did or three seconds passed.
    QByteArray read(qsizetype count)
    {
        QByteArray bytes;
        (void)QTest::qWaitFor([&] { return (bytes += readSome()).size() >= count; }, 3000);
        return bytes;
    }
    // As a driver that lost its device without saying so: every status request fails (under Wine).
    void mute();

private:
    // What the line took of it, and what has come, at once.
    qsizetype writeSome(const QByteArray &bytes);
    QByteArray readSome();

    struct Cable;
    // Owned alone: a shared pointer only for its deleter, made where the Cable is known, so that
    // FarEnd needs no destructor of its own.
    std::shared_ptr<Cable> m_cable;
};
