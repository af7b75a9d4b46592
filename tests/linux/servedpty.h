#pragma once

#include "ptyline.h"

#include <QFile>
#include <QProcess>
#include <QString>

// A pty whose slave a real RFC 2217 server on loopback serves, started here. The server's
// preloaded shim keeps the pty's modem lines and the character size and parity it asked for in a
// small file that is mapped here too; the test plays the far end on the master.
class ServedPty final
{
public:
    enum class Server { Ser2net, Pyserial, Ser2netTls }; // TLS with server.key and server.pem

    ServedPty(Server server, quint16 port);
    ~ServedPty();
    ServedPty(const ServedPty &) = delete;
    ServedPty &operator=(const ServedPty &) = delete;

    [[nodiscard]] static quint16 freePort();
    // Whether it listens within five seconds.
    [[nodiscard]] bool start();
    void stop();

    [[nodiscard]] int master() const { return m_master; }
    // TIOCM_* bits: the far end raises DCD, DSR and CTS and sees DTR and RTS.
    [[nodiscard]] int &lines() { return m_shared->lines; }
    // How often the server read the lines, as ser2net polls them.
    [[nodiscard]] unsigned linesRead() const { return m_shared->linesRead; }
    // The slave's settings, with the character size and parity the server asked for.
    [[nodiscard]] termios slaveTermios() const;
    [[nodiscard]] unsigned slaveBaudRate() const;

private:
    Server m_server;
    quint16 m_port;
    int m_master = -1;
    int m_slave = -1;
    QFile m_line;
    ptyline::Shared *m_shared = nullptr;
    QProcess m_process;
};
