// Gives pseudo-terminals emulated modem lines. Loaded with LD_PRELOAD, it
// answers the modem-line ioctls for any descriptor whose device has a state
// file (see modemstate.h) and passes everything else on. A pty's driver also
// forces eight data bits and no parity, which glibc's tcsetattr then reports
// as a failure; for such devices the character size and parity asked for are
// kept in the file instead and shown by tcgetattr again.

#include "modemstate.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <algorithm>

#include <dlfcn.h>
#include <sys/stat.h>
#include <termios.h>

// The kernel's termios2, as TCGETS2 and TCSETS2 use it; its own header clashes with termios.h.
struct termios2
{
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

namespace {

constexpr speed_t slowUartTop = 115200;

constexpr int writableLines = TIOCM_DTR | TIOCM_RTS;
constexpr tcflag_t keptCflag = CSIZE | PARENB | PARODD | CMSPAR;

template<typename Function>
Function *next(const char *name)
{
    return reinterpret_cast<Function *>(::dlsym(RTLD_NEXT, name));
}

using IoctlFunction = int(int, unsigned long, void *);
using TcgetattrFunction = int(int, termios *);
using TcsetattrFunction = int(int, int, const termios *);

// Empty when the descriptor is not an emulated device.
std::string statePath(int fd)
{
    const char *directory = std::getenv(modemstate::directoryVariable);
    struct stat status{};
    if (directory == nullptr || ::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode))
        return {};
    std::string path = std::string(directory) + "/" + modemstate::fileName(status.st_rdev);
    return ::access(path.c_str(), F_OK) == 0 ? path : std::string();
}

bool isModemRequest(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

int answerModemRequest(const std::string &path, unsigned long request, int *bits)
{
    if (bits == nullptr) {
        errno = EFAULT;
        return -1;
    }
    bool done = false;
    if (request == TIOCMGET) {
        const auto state = modemstate::load(path);
        done = state.has_value();
        if (done)
            *bits = state->lines;
    } else {
        const int asked = *bits & writableLines;
        done = modemstate::update(path, [request, asked](modemstate::State &state) {
            if (request == TIOCMSET)
                state.lines = (state.lines & ~writableLines) | asked;
            else if (request == TIOCMBIS)
                state.lines |= asked;
            else
                state.lines &= ~asked;
        });
    }
    if (!done)
        errno = EIO;
    return done ? 0 : -1;
}

bool isSlowUart(int fd)
{
    const std::string path = statePath(fd);
    const auto state = path.empty() ? std::nullopt : modemstate::load(path);
    return state && state->topsOutAt115200;
}

} // namespace

extern "C" {

// Lets a test see that the fixture is in its process.
__attribute__((visibility("default"))) int velmora_modem_fixture_loaded = 1;

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) noexcept
{
    std::va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    if (isModemRequest(request)) {
        const std::string path = statePath(fd);
        if (!path.empty())
            return answerModemRequest(path, request, static_cast<int *>(argument));
    }
    termios2 clipped{};
    if (request == TCSETS2 && argument != nullptr && isSlowUart(fd)) {
        clipped = *static_cast<const termios2 *>(argument);
        clipped.c_ispeed = std::min(clipped.c_ispeed, slowUartTop);
        clipped.c_ospeed = std::min(clipped.c_ospeed, slowUartTop);
        argument = &clipped;
    }
    static IoctlFunction *const realIoctl = next<IoctlFunction>("ioctl");
    return realIoctl(fd, request, argument);
}

__attribute__((visibility("default"))) int tcgetattr(int fd, termios *tio) noexcept
{
    static TcgetattrFunction *const realTcgetattr = next<TcgetattrFunction>("tcgetattr");
    const int result = realTcgetattr(fd, tio);
    const std::string path = result == 0 ? statePath(fd) : std::string();
    if (!path.empty()) {
        const auto state = modemstate::load(path);
        if (state && state->cflag)
            tio->c_cflag = (tio->c_cflag & ~keptCflag) | (tcflag_t(*state->cflag) & keptCflag);
    }
    return result;
}

__attribute__((visibility("default"))) int tcsetattr(int fd, int action, const termios *tio) noexcept
{
    static TcsetattrFunction *const realTcsetattr = next<TcsetattrFunction>("tcsetattr");
    const std::string path = statePath(fd);
    if (!path.empty()) {
        const auto state = modemstate::load(path);
        if (state && state->refusesFiveDataBits && (tio->c_cflag & CSIZE) == CS5) {
            errno = EINVAL;
            return -1;
        }
    }
    if (path.empty())
        return realTcsetattr(fd, action, tio);
    // Ask the pty only for what it keeps: glibc reads the settings back and
    // calls a changed character size or parity a failure.
    termios forced = *tio;
    forced.c_cflag = (forced.c_cflag & ~(CSIZE | PARENB)) | CS8;
    if (isSlowUart(fd) && cfgetospeed(&forced) > B115200)
        cfsetspeed(&forced, B115200);
    const int result = realTcsetattr(fd, action, &forced);
    if (result == 0) {
        const unsigned long kept = tio->c_cflag & keptCflag;
        modemstate::update(path, [kept](modemstate::State &state) { state.cflag = kept; });
    }
    return result;
}

} // extern "C"
