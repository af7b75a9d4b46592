#include "portnamespace.h"

#include <QByteArray>
#include <QDir>
#include <QScopeGuard>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *deviceDirectory = "/dev";
constexpr std::array<std::string_view, PortNamespace::portCount> portNames{"ttyS0", "ttyS1", "ttyS2", "ttyS3"};
constexpr std::array<const char *, 2> lockDirectories{"/run/lock", "/var/lock"};

[[nodiscard]] bool isPortName(std::string_view name)
{
    return std::find(portNames.begin(), portNames.end(), name) != portNames.end();
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
    if (from == QByteArray(deviceDirectory) + "/ptmx" && ::access("/dev/pts/ptmx", F_OK) == 0)
        return ::symlink("pts/ptmx", to.constData()) == 0;
    struct stat status{};
    if (::lstat(from.constData(), &status) != 0)
        return false;
    if (S_ISLNK(status.st_mode)) {
        std::array<char, 4096> target{};
        const ssize_t length = ::readlink(from.constData(), target.data(), target.size() - 1);
        return length > 0 && ::symlink(target.data(), to.constData()) == 0;
    }
    const bool directory = S_ISDIR(status.st_mode);
    const bool standIn = directory ? ::mkdir(to.constData(), status.st_mode & 07777) == 0 : createEmptyFile(to);
    return standIn
           && ::mount(from.constData(), to.constData(), nullptr, MS_BIND | (directory ? MS_REC : 0), nullptr) == 0;
}

} // namespace

QString PortNamespace::portPath(int port)
{
    const std::string_view name = portNames[std::size_t(port)];
    return QString::fromLatin1(deviceDirectory) + QLatin1Char('/')
           + QString::fromLatin1(name.data(), qsizetype(name.size()));
}

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
    return shadowDeviceDirectory() && privateLockDirectories();
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

    const std::unique_ptr<DIR, int (*)(DIR *)> entries(::opendir(deviceDirectory), ::closedir);
    if (!entries)
        return fail(QStringLiteral("reading /dev"));
    while (const dirent *entry = ::readdir(entries.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == ".." || isPortName(entry->d_name))
            continue;
        // An entry that cannot be copied is left out; what the test needs is checked where it is used.
        (void)copyEntry(QByteArray(deviceDirectory) + '/' + name, staging + '/' + name);
    }
    for (int port = 0; port < portCount; ++port) {
        const std::string_view name = portNames[std::size_t(port)];
        if (!createEmptyFile(staging + '/' + QByteArray(name.data(), qsizetype(name.size()))))
            return fail(QStringLiteral("creating the stand-in for ") + portPath(port));
    }
    if (::mount(staging.constData(), deviceDirectory, nullptr, MS_MOVE, nullptr) != 0)
        return fail(QStringLiteral("moving the copy over /dev"));
    return true;
}

bool PortNamespace::privateLockDirectories()
{
    for (const char *directory : lockDirectories) {
        struct stat status{};
        if (::lstat(directory, &status) != 0 || !S_ISDIR(status.st_mode))
            continue; // absent, or a link to the other one
        if (::mount("tmpfs", directory, "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=1777") != 0)
            return fail(QStringLiteral("mounting a private tmpfs on ") + QString::fromLocal8Bit(directory));
    }
    return true;
}

bool PortNamespace::bind(int port, const QString &source)
{
    if (::mount(source.toLocal8Bit().constData(), portPath(port).toLocal8Bit().constData(), nullptr, MS_BIND,
                nullptr)
        != 0)
        return fail(QStringLiteral("binding %1 over %2").arg(source, portPath(port)));
    return true;
}

bool PortNamespace::unbind(int port)
{
    if (::umount2(portPath(port).toLocal8Bit().constData(), 0) != 0)
        return fail(QStringLiteral("unbinding ") + portPath(port));
    return true;
}
