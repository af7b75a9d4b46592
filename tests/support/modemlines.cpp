#include "modemlines.h"

#include "modemstate.h"

#include <array>
#include <cstdlib>

#include <dlfcn.h>

namespace {

constexpr std::array<int, 6> lineBits{TIOCM_DTR, TIOCM_RTS, TIOCM_CAR, TIOCM_DSR, TIOCM_CTS, TIOCM_RNG};

int bitOf(ModemLines::Line line)
{
    return lineBits[std::size_t(line)];
}

} // namespace

bool ModemLines::fixtureLoaded()
{
    return ::dlsym(RTLD_DEFAULT, "velmora_modem_fixture_loaded") != nullptr;
}

QString ModemLines::stateDirectory()
{
    return QString::fromLocal8Bit(std::getenv(modemstate::directoryVariable));
}

ModemLines::ModemLines(dev_t device, const QString &directory)
{
    if (directory.isEmpty())
        return;
    m_path = directory.toStdString() + "/" + modemstate::fileName(device);
    m_valid = modemstate::update(m_path, [](modemstate::State &state) { state = {}; }, O_CREAT);
}

ModemLines::~ModemLines()
{
    if (m_valid)
        ::unlink(m_path.c_str());
}

bool ModemLines::set(Line line, bool asserted)
{
    const int bit = bitOf(line);
    return m_valid && modemstate::update(m_path, [bit, asserted](modemstate::State &state) {
        state.lines = asserted ? state.lines | bit : state.lines & ~bit;
    });
}

bool ModemLines::isAsserted(Line line) const
{
    const auto state = m_valid ? modemstate::load(m_path) : std::nullopt;
    return state && (state->lines & bitOf(line)) != 0;
}

bool ModemLines::setRefusesFiveDataBits(bool refuses)
{
    return m_valid && modemstate::update(m_path, [refuses](modemstate::State &state) {
        state.refusesFiveDataBits = refuses;
    });
}

bool ModemLines::setTopsOutAt115200(bool slow)
{
    return m_valid && modemstate::update(m_path, [slow](modemstate::State &state) { state.topsOutAt115200 = slow; });
}
