#pragma once

#include "remoteaddress.h"

#include <optional>

// Which COM numbers stand for ports served over the network: COM1 to COM4 in the group "ports" of
// velmora/ports.ini, the user's file first, the system's where the user's has no entry. An empty entry in
// the user's file keeps the number local whatever the system's says.
class PortMapping final
{
public:
    // Nothing for a local port; otherwise the address, or what is wrong with the entry.
    [[nodiscard]] static std::optional<RemoteAddressParse> read(int comNumber);
    // In the user's file; false when it could not be written.
    [[nodiscard]] static bool store(int comNumber, const RemoteAddress &address);
    [[nodiscard]] static bool makeLocal(int comNumber);
};
