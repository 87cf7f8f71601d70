#include "mWindow.h"

#include "platform/desktop/Window.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <vector>

namespace mWindow {

namespace {

IEnumWindowsSink* g_sink = nullptr;

win::BOOL EnumWindowsProc(win::HWND hwnd, win::LPARAM) {
    bool stop = false;
    if (g_sink) g_sink->EnumWindow(hwnd, stop);
    return stop ? win::FALSE : win::TRUE;
}

// Empties the slot however the scan ends, so that a sink that throws does not lock out every
// later scan.
struct SlotGuard {
    ~SlotGuard() { g_sink = nullptr; }
};

} // namespace

void EnumerateWindows(IEnumWindowsSink& sink) {
    if (g_sink) return;
    g_sink = &sink;
    SlotGuard guard;
    const int32_t id = sink.Identifier();
    win::EnumWindows(EnumWindowsProc, id);
}

std::string GetWindowTextString(win::HWND hwnd) { return win::windowText(hwnd); }

std::string GetClassNameString(win::HWND hwnd) {
    char buffer[260] = {};
    const int got = win::GetClassName(hwnd, buffer, static_cast<int>(sizeof buffer));
    if (got <= 0) return {};
    const size_t n = std::min(static_cast<size_t>(got), sizeof buffer);
    return sys::fromAnsi(std::string_view(buffer, n), sys::Machine::current().codePage());
}

} // namespace mWindow
