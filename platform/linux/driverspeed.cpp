#include "nativetermios.h"

// Apart from the rest: the kernel's termios2 clashes with the C library's termios.
#include <asm/termbits.h>
#include <sys/ioctl.h>

std::optional<qint32> driverBaudRate(NativeSerialHandle handle)
{
    termios2 tio{};
    if (::ioctl(handle, TCGETS2, &tio) != 0)
        return std::nullopt;
    return qint32(tio.c_ospeed);
}
