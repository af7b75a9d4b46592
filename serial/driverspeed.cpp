#include "nativetermios.h"

// Apart from the rest: the kernel's termios2 clashes with the C library's termios.
#ifdef Q_OS_LINUX
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

std::optional<qint32> driverBaudRate([[maybe_unused]] NativeSerialHandle handle)
{
#ifdef Q_OS_LINUX
    termios2 tio{};
    if (::ioctl(handle, TCGETS2, &tio) != 0)
        return std::nullopt;
    return qint32(tio.c_ospeed);
#else
    return std::nullopt;
#endif
}
