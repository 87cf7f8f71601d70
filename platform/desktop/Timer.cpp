#include "DesktopState.h"

#include <algorithm>

namespace win {

using namespace detail;

UINT SetTimer(HWND hwnd, UINT id, UINT elapseMs, TIMERPROC proc) {
    auto& s = state();
    if (hwnd && !s.find(hwnd)) return 0;
    if (!hwnd && !proc) return 0;  // nobody to deliver to
    elapseMs = std::max(elapseMs, USER_TIMER_MINIMUM);
    if (hwnd) {
        s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                      [&](const TimerEntry& t) { return t.hwnd == hwnd && t.id == id; }),
                       s.timers.end());
    } else {
        id = s.nextTimerId++;
        if (s.nextTimerId == 0) s.nextTimerId = 0x7F01;
    }
    TimerEntry e;
    e.hwnd = hwnd;
    e.id = id;
    e.elapse = elapseMs;
    e.due = s.now() + elapseMs;
    e.seq = ++s.timerSeq;
    e.pid = sys::Machine::currentProcessId();
    e.proc = std::move(proc);
    s.timers.push_back(std::move(e));
    return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT id) {
    auto& s = state();
    const auto before = s.timers.size();
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                  [&](const TimerEntry& t) { return t.hwnd == hwnd && t.id == id; }),
                   s.timers.end());
    return s.timers.size() != before ? TRUE : FALSE;
}

DWORD GetTickCount() { return static_cast<DWORD>(sys::Machine::current().clock().tickMs()); }
DWORD timeGetTime() { return GetTickCount(); }
void Sleep(DWORD ms) { sys::Machine::current().clock().sleep(ms); }

size_t activeTimerCount() { return state().timers.size(); }

} // namespace win
