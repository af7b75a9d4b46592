#pragma once

#include "mainwindow.h"

#include <memory>

// The window as the program starts it over the machine's ports: month and weekday names from the user's
// regional settings, start-up done.
[[nodiscard]] std::unique_ptr<MainWindow> makeSystemWindow(std::unique_ptr<PortSet> ports);
