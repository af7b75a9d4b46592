#pragma once

#include <QString>

// The device behind COMn on this platform.
[[nodiscard]] QString portDeviceName(int portNumber);
