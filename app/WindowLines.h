#pragma once
// The console's lines for the program's own top-level windows: one when a window comes on the
// screen, one when it leaves, each under a name its user knows. A window told open is told
// closed by the end of the run at the latest, however it went.
#include "platform/desktop/Window.h"

#include <functional>
#include <map>
#include <string>

namespace m_Main {

class WindowLines {
public:
    // Watches the current machine's windows from now on.
    explicit WindowLines(std::function<void(const std::string& line)> say);
    // Tells the closing of every window still told open, and stops watching.
    ~WindowLines();
    WindowLines(const WindowLines&) = delete;
    WindowLines& operator=(const WindowLines&) = delete;

private:
    void heard(win::HWND hwnd, bool shown);

    std::function<void(const std::string&)> say_;
    win::DWORD self_;
    std::map<win::HWND, std::string> open_;  // told open: the name it was told by
};

} // namespace m_Main
