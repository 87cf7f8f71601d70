// The one place that knows every window module of the program, above the core and the window
// layers, so every include below it runs down.
#pragma once

#include <functional>
#include <string>

namespace m_Main {

// Installs the program's windows: every maker and hook of core/Program.h that a window module
// fills, the splash and the main window's load (trace, when given, watches the price loop).
void InstallWindows(std::function<void(const std::string& event)> trace = nullptr);

} // namespace m_Main
