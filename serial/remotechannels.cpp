#include "remotechannels.h"

#include "portmapping.h"
#include "remotedescription.h"
#include "rfc2217transport.h"

namespace {

constexpr int reconnectIntervalMs = 1000;

} // namespace

std::optional<bool> RemoteChannels::open(int channel, PortCore &port)
{
    Channel &state = m_channels[channel];
    const std::optional<RemoteAddressParse> mapped = PortMapping::read(channel + 1);
    if (mapped.has_value() != state.remote)
        port.setTransport(mapped ? std::make_unique<Rfc2217Transport>() : m_localTransport());
    state.remote = mapped.has_value();
    if (!mapped)
        return std::nullopt;
    state.address = mapped->address ? mapped->address->text() : QString();
    state.error = mapped->error;
    if (!mapped->address)
        return false;
    port.setDevice(state.address);
    return port.setPortOpen(true);
}

bool RemoteChannels::resume(int channel, PortCore &port)
{
    Channel &state = m_channels[channel];
    if (!state.remote)
        return false;
    if (port.state() == PortCore::State::Waiting && state.nextReconnect.hasExpired()) {
        state.nextReconnect.setRemainingTime(reconnectIntervalMs);
        (void)port.resume(state.address);
    }
    return true;
}

// A refusal is shown while the box still stands for the address it speaks of.
std::optional<QString> RemoteChannels::description(int channel, const PortCore &port) const
{
    const Channel &state = m_channels[channel];
    if (port.state() != PortCore::State::Closed) {
        if (!state.remote)
            return std::nullopt;
        return describeRemotePort(channel + 1, state.address, port.state(), port.openFailure());
    }
    // Read afresh, so that an edit, the box's own menu included, shows at once.
    const std::optional<RemoteAddressParse> mapped = PortMapping::read(channel + 1);
    if (!mapped)
        return std::nullopt;
    if (!mapped->address)
        return describeBrokenMapping(channel + 1, mapped->error);
    const QString address = mapped->address->text();
    const bool refused = state.remote && state.address == address;
    return describeRemotePort(channel + 1, address, PortCore::State::Closed,
                              refused ? port.openFailure() : QString());
}
