#pragma once

#include "comportmap.h"
#include "mainwindow.h"

#include <memory>

// The window as the program starts it, over this machine's COM1 to COM4: each
// port's device worked out afresh at every open and never one that another
// channel holds, each box telling which device it stands for, month and
// weekday names from the user's regional settings, start-up done.
[[nodiscard]] std::unique_ptr<MainWindow> makeSystemWindow(const ComPortMap &comPorts = ComPortMap());
