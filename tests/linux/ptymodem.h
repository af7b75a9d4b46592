#pragma once

#include "ptyline.h"

#include <QByteArray>
#include <QString>

#include <unistd.h>

// A pseudo-terminal whose slave the code under test opens by its path while the test plays the far
// end on the non-blocking master. Linked into a test executable that exports its symbols, it gives
// the slave modem lines: the stand-ins of modemshim.cpp answer the modem-line requests for it, and
// the character size and parity that a pty forces to 8,n are kept as asked. The slave is held open
// here too, raw, to read its settings. It plays a UART that does XON/XOFF itself: while the far end
// holds it with XOFF, the slave's writes are refused with EAGAIN. Given a UART clock, a speed
// without a Bxxx constant is made as that clock over the nearest whole divisor.
class PtyModem final
{
public:
    explicit PtyModem(unsigned uartClock = 0);
    ~PtyModem();
    Q_DISABLE_COPY(PtyModem)

    QString slavePath() const { return m_path; }
    termios slaveTermios() const;
    unsigned slaveBaudRate() const;
    // The slave's settings as lineText() gives them.
    QString lineInForce() const;
    // TIOCM_* bits: the far end raises DCD, DSR and CTS and sees DTR and RTS.
    int &lines() { return m_modem.line.lines; }

    qint64 write(const QByteArray &bytes) const;
    // What the master holds once events ran until `count` bytes came or three seconds passed.
    QByteArray read(qsizetype count = 0) const;
    // As an adapter that is pulled out.
    void hangUp() { ::close(std::exchange(m_master, -1)); }

private:
    int m_master;
    int m_slave;
    QString m_path;
    ptyline::Modem &m_modem;
};
