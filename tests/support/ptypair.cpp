#include "ptypair.h"

#include <array>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The kernel's struct termios2, which carries the speed as a number; its
// header cannot be included together with <termios.h>.
struct KernelTermios2
{
    tcflag_t iflag;
    tcflag_t oflag;
    tcflag_t cflag;
    tcflag_t lflag;
    cc_t line;
    std::array<cc_t, 19> cc;
    speed_t ispeed;
    speed_t ospeed;
};

const unsigned long getTermios2 = _IOR('T', 0x2A, KernelTermios2);

} // namespace

PtyPair::PtyPair()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::array<char, 128> name{};
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0
        || ::ptsname_r(m_master, name.data(), name.size()) != 0) {
        closeMaster();
        return;
    }
    m_slave = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct stat status{};
    termios tio{};
    if (m_slave < 0 || ::fstat(m_slave, &status) != 0 || ::tcgetattr(m_slave, &tio) != 0) {
        closeMaster();
        return;
    }
    // No echo back to the master while the code under test has it closed.
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    m_slavePath = QString::fromLocal8Bit(name.data());
    m_slaveDevice = status.st_rdev;
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

std::optional<termios> PtyPair::slaveTermios() const
{
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0)
        return std::nullopt;
    return tio;
}

std::optional<quint32> PtyPair::slaveBaudRate() const
{
    KernelTermios2 tio{};
    if (::ioctl(m_slave, getTermios2, &tio) != 0)
        return std::nullopt;
    return tio.ospeed;
}

qint64 PtyPair::writeMaster(QByteArrayView bytes)
{
    const ssize_t written = ::write(m_master, bytes.data(), std::size_t(bytes.size()));
    if (written < 0)
        return errno == EAGAIN ? 0 : -1;
    return written;
}

QByteArray PtyPair::readMaster()
{
    QByteArray bytes;
    std::array<char, 65536> chunk{};
    ssize_t got = 0;
    while ((got = ::read(m_master, chunk.data(), chunk.size())) > 0)
        bytes.append(chunk.data(), got);
    return bytes;
}

void PtyPair::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
