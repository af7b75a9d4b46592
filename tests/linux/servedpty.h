#pragma once

#include "ptyline.h"

#include <QProcess>
#include <QString>
#include <QTemporaryFile>

// A pty whose slave a real RFC 2217 server on loopback serves, started here. The server's
// preloaded shim keeps the pty's modem lines and the character size and parity it asked for in a
// small file that is mapped here too; the test plays the far end on the master.
class ServedPty final
{
public:
    // TLS with server.key and server.pem.
    enum class Server { Ser2net, Pyserial, Ser2netTls };

    explicit ServedPty(Server server, quint16 port = freePort());
    ~ServedPty();

    static quint16 freePort();
    // Whether it listens within five seconds.
    [[nodiscard]] bool start();
    void stop();

    quint16 port() const { return m_port; }
    int master() const { return m_master; }
    // TIOCM_* bits: the far end raises DCD, DSR and CTS and sees DTR and RTS.
    int &lines() { return m_shared->lines; }
    // How often the server read the lines, as ser2net polls them.
    unsigned linesRead() const { return m_shared->linesRead; }
    // The slave's settings as lineText() gives them, with the character size and parity the
    // server asked for.
    QString lineInForce() const;

private:
    Server m_server;
    quint16 m_port;
    int m_master;
    int m_slave;
    QTemporaryFile m_line;
    ptyline::Shared *m_shared;
    QProcess m_process;
};
