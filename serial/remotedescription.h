#pragma once

#include "portcore.h"

#include <QString>

// What a box says of a port served over the network, in its tooltip: the address, and while the box is
// ticked what became of the connection, e.g. "COM3 — rfc2217://host:7000 — соединение…"; after an open
// that failed, why.
[[nodiscard]] QString describeRemotePort(int comNumber, const QString &address, PortCore::State state,
                                         const QString &failure);
// The same for a stored address that is not one: "COM3 — неверный адрес удалённого порта: не указан порт…".
[[nodiscard]] QString describeBrokenMapping(int comNumber, const QString &error);
