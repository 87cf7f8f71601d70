#include "CTimer.h"

#include "platform/desktop/Timer.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"

#include <array>

namespace {

const char* const kErrorSource = "Pennant.WindowProc";

} // namespace

const long CTimer::kErrTooManyTimers = static_cast<int32_t>(0x80040000u + 13651);
const long CTimer::kErrNoSystemTimer = static_cast<int32_t>(0x80040000u + 13652);

// The running timers of one machine. Slot numbers are 1-based; the highest slot ever used only
// grows, so the searches cover every slot that was ever taken.
struct TimerTable {
    std::array<std::shared_ptr<CTimer>, mTimer::kMaxTimers> slots;
    int16_t highest = 0;

    ~TimerTable() {
        // The machine is going: its window system may be gone already, so the timers must not
        // call into it when they are released.
        for (auto& t : slots)
            if (t) {
                t->timerId_ = 0;
                t->interval_ = 0;
            }
    }
};

namespace {

TimerTable& table() { return sys::Machine::current().service<TimerTable>(); }

} // namespace

// ---- mTimer -------------------------------------------------------------------------------

namespace mTimer {

bool CreateSysTimer(const std::shared_ptr<CTimer>& timer) {
    const win::UINT id = win::SetTimer(0, 0, static_cast<win::UINT>(timer->Interval()), &TimerProc);
    timer->TimerID(id);
    if (id == 0) {
        timer->Interval(0);  // raises TimeOver: the interval stored is above 0
        return false;
    }
    auto& t = table();
    for (int i = 0; i < kMaxTimers; ++i) {
        if (t.slots[i]) continue;
        t.slots[i] = timer;
        if (t.highest < i + 1) t.highest = static_cast<int16_t>(i + 1);
        return true;
    }
    // A timer without a slot must never tick: release the system timer at once.
    win::KillTimer(0, id);
    timer->TimerID(0);
    timer->RaiseError(CTimer::kErrTooManyTimers);
}

bool DeleteSysTimer(CTimer& timer) {
    auto& t = table();
    for (int i = 0; i < t.highest; ++i) {
        if (!t.slots[i] || t.slots[i]->TimerID() != timer.TimerID()) continue;
        win::KillTimer(0, timer.TimerID());
        timer.TimerID(0);
        // The table's hold may be the last: release it after the timer is no longer touched.
        auto released = std::move(t.slots[i]);
        return true;
    }
    return false;
}

void TimerProc(win::HWND, win::UINT, win::UINT timerId, win::DWORD) {
    auto& t = table();
    for (int i = 0; i < t.highest; ++i) {
        if (!t.slots[i] || t.slots[i]->TimerID() != timerId) continue;
        // Keeps the timer alive through its handlers, which may stop it and drop the last hold.
        std::shared_ptr<CTimer> timer = t.slots[i];
        timer->PulseTimer();
        return;
    }
}

int runningCount() {
    int n = 0;
    for (const auto& s : table().slots) n += s ? 1 : 0;
    return n;
}

int highestSlot() { return table().highest; }

} // namespace mTimer

// ---- CTimer -------------------------------------------------------------------------------

std::shared_ptr<CTimer> CTimer::create() { return std::shared_ptr<CTimer>(new CTimer()); }

CTimer::~CTimer() {
    // Only a timer the full table refused can be destroyed with an interval; its system timer
    // is gone already. No TimeOver: nobody is left to hear it.
    interval_ = 0;
}

void CTimer::Interval(int32_t ms) {
    if (ms >= 1) {
        if (ms == interval_) return;
        if (interval_ != 0) mTimer::DeleteSysTimer(*this);
        interval_ = ms;
        if (!mTimer::CreateSysTimer(shared_from_this())) RaiseError(kErrNoSystemTimer);
        return;
    }
    if (interval_ > 0) {
        // Keeps this object alive past the table's release, for TimeOver.
        auto self = shared_from_this();
        interval_ = 0;
        mTimer::DeleteSysTimer(*this);
        if (TimeOver) {
            auto fn = TimeOver;
            fn();
        }
    }
}

void CTimer::PulseTimer() {
    if (!ThatTime) return;
    auto fn = ThatTime;  // the handler may replace or clear ThatTime while it runs
    fn();
}

void CTimer::RaiseError(long number) {
    const char* text = number == kErrTooManyTimers ? "No more than 10 timers allowed per class"
                                                   : "Can't create system timer";
    throw forms::RuntimeError(number, text, kErrorSource);
}
