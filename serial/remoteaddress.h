#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// A serial port served over the network: "rfc2217://HOST:PORT", or "rfc2217+tls://HOST:PORT" with the
// server's certificate checked against the system's trusted authorities, or, given "?ca=FILE", against
// the authorities in that PEM file alone. HOST is a name, an IPv4 address or an IPv6 address in brackets.
struct RemoteAddress
{
    bool tls = false;
    QString host;
    quint16 port = 0;
    QString caFile;

    // The address as typed back, e.g. "rfc2217://[::1]:7000".
    [[nodiscard]] QString text() const;

    friend bool operator==(const RemoteAddress &, const RemoteAddress &) = default;
};

// An address, or the Russian text of what is wrong with the one given.
struct RemoteAddressParse
{
    std::optional<RemoteAddress> address;
    QString error;

    [[nodiscard]] static RemoteAddressParse from(QStringView text);
};
