#pragma once

#include "portcore.h"
#include "remoteaddress.h"

#include <QDeadlineTimer>

#include <array>
#include <optional>

// Which channels stand for ports on other machines, for a platform's owner of the ports: the mapping is
// read when a box is ticked, and the channel's port then takes the network transport, or its local one
// back. A remote channel that lost its connection reconnects at most once a second.
class RemoteChannels final
{
public:
    using LocalTransport = std::unique_ptr<Transport> (*)();
    static constexpr int count = 4;

    explicit RemoteChannels(LocalTransport localTransport) : m_localTransport(localTransport) {}

    // Opens the port of a mapped number on its address: whether the open went (or is going) through.
    // Nothing where the number is local, the port then having its local transport.
    [[nodiscard]] std::optional<bool> open(int channel, PortCore &port);
    // True where the channel is remote, having tried to reconnect if it was time.
    bool resume(int channel, PortCore &port);
    // The box's description while its number is mapped; nothing where it is local.
    [[nodiscard]] std::optional<QString> description(int channel, const PortCore &port) const;

private:
    struct Channel
    {
        bool remote = false;
        // What the mapping said when the box was last ticked: the address, or what is wrong with it.
        QString address;
        QString error;
        QDeadlineTimer nextReconnect;
    };

    LocalTransport m_localTransport;
    std::array<Channel, count> m_channels;
};
