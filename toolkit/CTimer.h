#pragma once
// Timer objects: an interval in milliseconds and a tick event, driven by window-less system
// timers on the machine's pump. A running timer is held by the timer table (mTimer), so it keeps
// ticking when its owner lets go of it; only setting Interval below 1 ends it. Owners whose
// handlers capture themselves must stop the timer (Interval(0)) before they go.
#include "platform/system/WinTypes.h"

#include <cstdint>
#include <functional>
#include <memory>

class CTimer;

namespace mTimer {

constexpr int kMaxTimers = 100;

// Starts a system timer for the timer's interval and enters it into the table. Raises 13651
// when the table is full; False when the system gives no timer.
bool CreateSysTimer(const std::shared_ptr<CTimer>& timer);
// Stops the timer's system timer and empties its slot; True when a slot was found.
bool DeleteSysTimer(CTimer& timer);
// The system timer callback: routes a tick to the timer with that identifier.
void TimerProc(win::HWND hwnd, win::UINT msg, win::UINT timerId, win::DWORD time);

// Test side: timers in the table now, and the highest slot ever used.
int runningCount();
int highestSlot();

} // namespace mTimer

class CTimer : public std::enable_shared_from_this<CTimer> {
public:
    // Timers live in shared ownership: the table shares a running timer with its owner.
    static std::shared_ptr<CTimer> create();
    ~CTimer();
    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    int32_t Interval() const { return interval_; }
    // >= 1: starts, or restarts with a full new interval when it differs; < 1: stops, raising
    // TimeOver when it was running. Raises 13651 (table full) or 13652 (no system timer).
    void Interval(int32_t ms);
    // Raises ThatTime now.
    void PulseTimer();

    // Raised synchronously on the pumping thread. A handler may pump, stop or restart its own
    // timer, or drop the last reference to it.
    std::function<void()> ThatTime;
    std::function<void()> TimeOver;

    // Error numbers (object error base + 13651 / 13652).
    static const long kErrTooManyTimers;
    static const long kErrNoSystemTimer;

private:
    friend bool mTimer::CreateSysTimer(const std::shared_ptr<CTimer>&);
    friend bool mTimer::DeleteSysTimer(CTimer&);
    friend void mTimer::TimerProc(win::HWND, win::UINT, win::UINT, win::DWORD);
    friend struct TimerTable;

    CTimer() = default;
    win::UINT TimerID() const { return timerId_; }
    void TimerID(win::UINT id) { timerId_ = id; }
    [[noreturn]] void RaiseError(long number);

    int32_t interval_ = 0;
    win::UINT timerId_ = 0;
};
