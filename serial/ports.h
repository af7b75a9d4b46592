#pragma once

#include "channeltable.h"
#include "serialport.h"

#include <array>

// The four serial-port controls, COM1 first; owned by the window.
using Ports = std::array<SerialPort *, channelCount>;
