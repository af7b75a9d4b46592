#include "servedpty.h"

#include "linetext.h"

#include <QTcpServer>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

ServedPty::ServedPty(Server server, quint16 port)
    : m_server(server), m_port(port)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ::grantpt(m_master);
    ::unlockpt(m_master);
    m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    m_line.open();
    m_line.resize(sizeof(ptyline::Shared));
    m_shared = reinterpret_cast<ptyline::Shared *>(m_line.map(0, sizeof(ptyline::Shared)));
    *m_shared = {0, CS8, 0};
}

ServedPty::~ServedPty()
{
    stop();
    ::close(m_master);
    ::close(m_slave);
}

quint16 ServedPty::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

bool ServedPty::start()
{
    m_process.startCommand(
        u"env LD_PRELOAD=" MODEM_SHIM " VELMORA_PTY_LINE=%1 "_s.arg(m_line.fileName())
        + (m_server == Server::Pyserial
               ? u"/usr/bin/python3 " PYSERIAL_SERVER " -p %1 %2"_s
               : u"ser2net -n -u -Y \"connection: &c#  accepter: telnet(rfc2217),%3tcp,"
                 "127.0.0.1,%1#  connector: serialdev,%2,9600n81,local\""_s)
              .arg(QString::number(m_port), QString::fromLocal8Bit(::ptsname(m_master)),
                   m_server == Server::Ser2netTls ? u"ssl(key=server.key,cert=server.pem),"_s
                                                  : QString()));
    // Listening on 127.0.0.1 (0100007F) in state 0A.
    const QByteArray entry
        = "0100007F:" + QByteArray::number(m_port, 16).toUpper() + " 00000000:0000 0A";
    return QTest::qWaitFor([&] {
        QFile table(u"/proc/net/tcp"_s);
        return table.open(QIODevice::ReadOnly) && table.readAll().contains(entry);
    }, 5000);
}

void ServedPty::stop()
{
    m_process.terminate();
    m_process.waitForFinished();
}

QString ServedPty::lineInForce() const
{
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ptyline::reportAsked(tio, m_shared->cflag);
    ptyline::Termios2 speed{};
    ::ioctl(m_slave, ptyline::getTermios2, &speed);
    return lineText(tio, speed.ospeed);
}
