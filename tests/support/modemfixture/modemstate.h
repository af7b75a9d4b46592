#pragma once

// The state file that the modem-line fixture and its test client share, one
// per emulated device: <VELMORA_MODEM_DIR>/<st_rdev in lower-case hex>. It
// holds blank-separated words: the asserted lines among "dtr rts dcd dsr cts
// ri", "cflag=<hex>" for the character size and parity last asked for,
// "refuse-cs5" to make the emulated driver refuse five data bits, and
// "uart-115200" to make it a UART that quietly clips faster speeds. Every
// change is a read-modify-write under an exclusive flock. No Qt here: the
// fixture is loaded into programs that must not see a second Qt.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <unistd.h>

namespace modemstate {

inline constexpr const char *directoryVariable = "VELMORA_MODEM_DIR";

struct LineWord
{
    std::string_view word;
    int bit;
};

inline constexpr std::array<LineWord, 6> lineWords{{
    {"dtr", TIOCM_DTR},
    {"rts", TIOCM_RTS},
    {"dcd", TIOCM_CAR},
    {"dsr", TIOCM_DSR},
    {"cts", TIOCM_CTS},
    {"ri", TIOCM_RNG},
}};

inline constexpr std::string_view cflagPrefix = "cflag=";
inline constexpr std::string_view refuseCs5Word = "refuse-cs5";
inline constexpr std::string_view slowUartWord = "uart-115200";

struct State
{
    int lines = 0;
    std::optional<unsigned long> cflag;
    bool refusesFiveDataBits = false;
    bool topsOutAt115200 = false;
};

[[nodiscard]] inline State parse(std::string_view text)
{
    State state;
    while (!text.empty()) {
        const std::size_t start = text.find_first_not_of(" \t\n");
        if (start == std::string_view::npos)
            break;
        text.remove_prefix(start);
        const std::string_view word = text.substr(0, text.find_first_of(" \t\n"));
        text.remove_prefix(word.size());
        for (const LineWord &line : lineWords) {
            if (word == line.word)
                state.lines |= line.bit;
        }
        if (word == refuseCs5Word)
            state.refusesFiveDataBits = true;
        if (word == slowUartWord)
            state.topsOutAt115200 = true;
        if (word.substr(0, cflagPrefix.size()) == cflagPrefix)
            state.cflag = std::strtoul(std::string(word.substr(cflagPrefix.size())).c_str(), nullptr, 16);
    }
    return state;
}

[[nodiscard]] inline std::string format(const State &state)
{
    std::string text;
    for (const LineWord &line : lineWords) {
        if (state.lines & line.bit)
            text.append(line.word).append(" ");
    }
    if (state.cflag) {
        std::array<char, 32> hex{};
        std::snprintf(hex.data(), hex.size(), "%lx", *state.cflag);
        text.append(cflagPrefix).append(hex.data()).append(" ");
    }
    if (state.refusesFiveDataBits)
        text.append(refuseCs5Word).append(" ");
    if (state.topsOutAt115200)
        text.append(slowUartWord).append(" ");
    text.append("\n");
    return text;
}

[[nodiscard]] inline std::string fileName(dev_t device)
{
    std::array<char, 32> hex{};
    std::snprintf(hex.data(), hex.size(), "%llx", static_cast<unsigned long long>(device));
    return hex.data();
}

[[nodiscard]] inline std::string readLocked(int fd)
{
    std::string text;
    std::array<char, 256> chunk{};
    ssize_t got = 0;
    off_t offset = 0;
    while ((got = ::pread(fd, chunk.data(), chunk.size(), offset)) > 0) {
        text.append(chunk.data(), std::size_t(got));
        offset += got;
    }
    return text;
}

[[nodiscard]] inline std::optional<State> load(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    ::flock(fd, LOCK_SH);
    const State state = parse(readLocked(fd));
    ::close(fd);
    return state;
}

// Applies change to the file's state; false when the file is not there.
template<typename Change>
bool update(const std::string &path, Change change, int extraOpenFlags = 0)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | extraOpenFlags, 0644);
    if (fd < 0)
        return false;
    ::flock(fd, LOCK_EX);
    State state = parse(readLocked(fd));
    change(state);
    const std::string text = format(state);
    const bool written = ::ftruncate(fd, 0) == 0
                         && ::pwrite(fd, text.data(), text.size(), 0) == ssize_t(text.size());
    ::close(fd);
    return written;
}

} // namespace modemstate
