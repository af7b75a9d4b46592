#pragma once

#include "comportmap.h"
#include "mainwindow.h"

#include <memory>

// The window over this machine's COM1 to COM4, each port's device worked out
// afresh at every open, and each box's tooltip naming it.
[[nodiscard]] std::unique_ptr<MainWindow> makeSystemWindow(const ComPortMap &comPorts = ComPortMap());
