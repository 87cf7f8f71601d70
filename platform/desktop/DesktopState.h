#pragma once
// Internal: the window system's state of one machine. Not for use outside platform/desktop.
#include "Message.h"
#include "Timer.h"
#include "platform/system/Machine.h"

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace win::detail {

struct Wnd {
    HWND handle = 0;
    std::string cls;          // class name as registered
    std::string text;         // UTF-8
    DWORD style = 0, exStyle = 0;
    HWND parent = 0;          // 0: top-level
    HWND owner = 0;
    RECT rect;                // relative to the parent's client area (screen for top-level)
    RECT normalRect;          // the restored rectangle while minimised or maximised
    WNDPROC proc = 0;
    LONG userData = 0;
    LONG id = 0;
    DWORD pid = 0, tid = 0;
    std::map<std::string, HANDLE> props;  // upper-case names
    std::vector<HWND> children;           // z-order, front first
    bool destroying = false;
};

struct Posted {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

struct TimerEntry {
    HWND hwnd = 0;
    UINT id = 0;
    UINT elapse = 0;
    uint64_t due = 0;
    uint64_t seq = 0;  // creation order, to order ties
    DWORD pid = 0;     // the process that set a window-less timer
    TIMERPROC proc;
};

struct DesktopState {
    explicit DesktopState(sys::Machine* m);

    sys::Machine* machine;
    HWND desktop = 0x00010010;
    HWND taskbar = 0x00010014;  // the shell's "Shell_TrayWnd", made with the desktop
    HWND nextHandle = 0x00010020;
    std::mutex mapMutex;  // guards windows' insertion and lookup (PostMessage runs anywhere)
    std::map<HWND, std::unique_ptr<Wnd>> windows;
    std::map<std::string, WNDCLASS> classes;  // upper-case names
    std::vector<HWND> topLevel;               // z-order, front first, top-most band leading
    HWND active = 0, focus = 0;

    std::mutex postMutex;
    std::deque<Posted> posted;
    std::set<DWORD> hungProcesses;
    std::atomic<bool> anyHung{false};  // every sent message asks; almost always no

    std::vector<TimerEntry> timers;
    uint64_t timerSeq = 0;
    UINT nextTimerId = 0x7F01;

    Wnd* find(HWND h);
    uint64_t now() const { return machine->clock().tickMs(); }
    void pumpStep();
    std::optional<uint64_t> nextDue();
};

DesktopState& state();
DesktopState& state(sys::Machine& m);
Wnd* findWnd(HWND h);
// Calls a window's procedure as the window's process.
LRESULT dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The same for a window already found.
LRESULT dispatch(const Wnd& w, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
std::vector<HWND>& siblingsOf(DesktopState& s, const Wnd& w);
POINT clientOrigin(HWND hwnd);  // the client area's top-left on the screen
DWORD threadOf(DWORD pid);
// Makes the top-level window of h the active (foreground) one, in front of its band.
void activate(HWND h, WPARAM how);
bool processHung(DWORD pid);
// The user's move or size loop (DefWindowProc of WM_NCLBUTTONDOWN on the caption or a sizing
// border, SC_MOVE, SC_SIZE), following the path a test queued.
void moveSizeLoop(HWND hwnd, LRESULT hit);
// The standard controls' procedures.
LRESULT editProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT buttonProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT hotkeyProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT updownProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
// The window hot key of WM_SETHOTKEY (its answer), WM_GETHOTKEY, and the window a press of
// the key with HOTKEYF_ modifiers activates (0 for none).
LRESULT setWindowHotKey(HWND h, WPARAM value);
LRESULT windowHotKey(HWND h);
HWND windowForHotKey(BYTE vk, BYTE hotkeyMods);

} // namespace win::detail
