#include "portnamespace.h"

#include <QByteArray>
#include <QDir>
#include <QScopeGuard>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int portCount = 4;

[[nodiscard]] QByteArray portName(int port)
{
    return "ttyS" + QByteArray::number(port);
}

[[nodiscard]] QString portPath(int port)
{
    return QStringLiteral("/dev/") + QString::fromLatin1(portName(port));
}

[[nodiscard]] bool createEmptyFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    return fd >= 0 && ::close(fd) == 0;
}

// One entry of /dev, re-created in the copy: links as links, everything else
// as a bind mount of the original over a stand-in of the same kind.
bool copyEntry(const QByteArray &from, const QByteArray &to)
{
    // A bound ptmx node no longer finds its devpts instance; the instance's own node does.
    if (from == "/dev/ptmx" && ::access("/dev/pts/ptmx", F_OK) == 0)
        return ::symlink("pts/ptmx", to.constData()) == 0;
    struct stat status{};
    if (::lstat(from.constData(), &status) != 0)
        return false;
    if (S_ISLNK(status.st_mode)) {
        std::array<char, 4096> target{};
        return ::readlink(from.constData(), target.data(), target.size() - 1) > 0
               && ::symlink(target.data(), to.constData()) == 0;
    }
    const bool directory = S_ISDIR(status.st_mode);
    const bool standIn = directory ? ::mkdir(to.constData(), status.st_mode & 07777) == 0 : createEmptyFile(to);
    return standIn
           && ::mount(from.constData(), to.constData(), nullptr, MS_BIND | (directory ? MS_REC : 0), nullptr) == 0;
}

} // namespace

bool PortNamespace::fail(const QString &step)
{
    m_failure = step + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool PortNamespace::enter()
{
    if (::geteuid() != 0) {
        m_failure = QStringLiteral("not root: binding ports over /dev/ttyS0..3 needs CAP_SYS_ADMIN");
        return false;
    }
    if (::unshare(CLONE_NEWNS) != 0)
        return fail(QStringLiteral("unshare(CLONE_NEWNS)"));
    // From here on nothing mounted leaks out to the machine.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return fail(QStringLiteral("making / private"));
    // Lock files are named after the device alone; ours must not meet the machine's.
    for (const char *directory : {"/run/lock", "/var/lock"}) {
        struct stat status{};
        if (::lstat(directory, &status) == 0 && S_ISDIR(status.st_mode)
            && ::mount("tmpfs", directory, "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=1777") != 0)
            return fail(QStringLiteral("mounting a private tmpfs on ") + QString::fromLatin1(directory));
    }
    return shadowDeviceDirectory();
}

bool PortNamespace::shadowDeviceDirectory()
{
    QByteArray staging = QDir::tempPath().toLocal8Bit() + "/velmora-e2e-dev.XXXXXX";
    if (::mkdtemp(staging.data()) == nullptr)
        return fail(QStringLiteral("creating a staging directory"));
    const auto removeStaging = qScopeGuard([&staging] {
        (void)::umount2(staging.constData(), MNT_DETACH); // only still mounted when a step failed
        ::rmdir(staging.constData());
    });
    if (::mount("tmpfs", staging.constData(), "tmpfs", MS_NOSUID, "mode=0755") != 0)
        return fail(QStringLiteral("mounting a tmpfs for the copy of /dev"));
    const auto filter = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    for (const QString &entry : QDir(QStringLiteral("/dev")).entryList(filter)) {
        const QByteArray name = entry.toLocal8Bit();
        // An entry that cannot be copied is left out; what the test needs is checked where it is used.
        if (!name.startsWith("ttyS"))
            (void)copyEntry("/dev/" + name, staging + '/' + name);
    }
    for (int port = 0; port < portCount; ++port) {
        if (!createEmptyFile(staging + '/' + portName(port)))
            return fail(QStringLiteral("creating the stand-in for ") + portPath(port));
    }
    if (::mount(staging.constData(), "/dev", nullptr, MS_MOVE, nullptr) != 0)
        return fail(QStringLiteral("moving the copy over /dev"));
    return true;
}

bool PortNamespace::bind(int port, const QString &source)
{
    const QByteArray target = portPath(port).toLocal8Bit();
    if (::mount(source.toLocal8Bit().constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
        return fail(QStringLiteral("binding %1 over %2").arg(source, portPath(port)));
    return true;
}

bool PortNamespace::unbind(int port)
{
    if (::umount2(portPath(port).toLocal8Bit().constData(), 0) != 0)
        return fail(QStringLiteral("unbinding ") + portPath(port));
    return true;
}
