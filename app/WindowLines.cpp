#include "app/WindowLines.h"

#include "platform/forms/Strings.h"
#include "toolkit/frmSplash.h"
#include "toolkit/m_Main.h"

namespace m_Main {

namespace {

// The caption, or what stands for it where the caption is no name: the main window's is the key
// a second copy finds it by, and on the screen it is the icon window; the splash has none.
std::string nameOf(win::HWND hwnd) {
    const std::string caption = forms::Trim(win::windowText(hwnd));
    if (caption == kMainCaption) return "图标窗口";
    if (const auto& splash = frmSplash::Instance(); splash && forms::Form::fromHwnd(hwnd) == splash.get())
        return "启动画面";
    return caption;
}

} // namespace

WindowLines::WindowLines(std::function<void(const std::string& line)> say)
    : say_(std::move(say)), self_(win::GetCurrentProcessId()) {
    win::watchTopLevelWindows([this](win::HWND hwnd, bool shown) { heard(hwnd, shown); });
}

WindowLines::~WindowLines() {
    win::watchTopLevelWindows(nullptr);
    // What is still open goes with the program.
    for (const auto& [hwnd, name] : open_) say_("window closed: " + name);
}

void WindowLines::heard(win::HWND hwnd, bool shown) {
    // The terminal's windows come and go on its own thread, where the current process is its;
    // they are its own business.
    win::DWORD pid = 0;
    win::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != self_) return;
    if (!shown) {
        const auto told = open_.find(hwnd);
        if (told == open_.end()) return;
        say_("window closed: " + told->second);
        open_.erase(told);
        return;
    }
    const std::string name = nameOf(hwnd);
    if (name.empty() || open_.count(hwnd)) return;
    open_.emplace(hwnd, name);
    say_("window opened: " + name);
}

} // namespace m_Main
