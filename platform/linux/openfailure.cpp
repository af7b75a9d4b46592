#include "openfailure.h"

#include "porttexts.h"
#include "nativetermios.h"
#include "qstringfrom.h"

#include <QFile>

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <array>
#include <cerrno>

namespace {

struct ErrorReason
{
    int error;
    std::string_view reason;
};

constexpr std::array<ErrorReason, 11> errorReasons{{
    {ENOENT, texts::noSuchDevice},
    {ENODEV, texts::noSuchDevice},
    {ENOTDIR, texts::noSuchDevice},
    {ENXIO, texts::nothingBehindNode},
    {EIO, texts::inputOutputError},
    {ELOOP, texts::linkLoop},
    {EBUSY, texts::busyDevice},
    {EACCES, texts::noPermission},
    {EPERM, texts::noPermission},
    {EISDIR, texts::isFolder},
    {ENOTTY, texts::notSerialPort},
}};

[[nodiscard]] std::optional<int> errorOf(const QString &systemText)
{
    for (const ErrorReason &entry : errorReasons) {
        if (systemText == qt_error_string(entry.error))
            return entry.error;
    }
    return std::nullopt;
}

[[nodiscard]] QString reasonOf(int error, const QString &systemText)
{
    for (const ErrorReason &entry : errorReasons) {
        if (entry.error == error)
            return qs(entry.reason);
    }
    return qs(texts::driverErrorLead) + systemText;
}

[[nodiscard]] bool onNodevMount(const QString &device)
{
    struct statvfs mount{};
    return ::statvfs(QFile::encodeName(device).constData(), &mount) == 0 && (mount.f_flag & ST_NODEV) != 0;
}

} // namespace

QString unusableDeviceReason(const QString &device)
{
    struct stat node{};
    if (device.isEmpty())
        return qs(texts::noSuchDevice);
    if (::stat(QFile::encodeName(device).constData(), &node) != 0)
        return reasonOf(errno, qt_error_string(errno));
    if (S_ISDIR(node.st_mode))
        return qs(texts::isFolder);
    if (S_ISREG(node.st_mode))
        return qs(texts::isRegularFile);
    if (S_ISFIFO(node.st_mode))
        return qs(texts::isFifo);
    return S_ISCHR(node.st_mode) ? QString() : qs(texts::notSerialPort);
}

// A node this process may open by its permissions is refused where the file system carries no devices,
// and otherwise because another program holds it (a lock file, or a tty in exclusive mode).
QString refusedOpenReason(const QString &device, const QString &systemText)
{
    const std::optional<int> error = errorOf(systemText);
    if (error == EACCES || error == EPERM) {
        if (!mayOpen(device))
            return qs(texts::noPermission);
        return qs(onNodevMount(device) ? texts::nodevMount : texts::busyDevice);
    }
    return qs(texts::busyDevice);
}

QString openErrorReason(const QString &systemText)
{
    const std::optional<int> error = errorOf(systemText);
    return error ? reasonOf(*error, systemText) : qs(texts::driverErrorLead) + systemText;
}
