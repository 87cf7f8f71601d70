#include "DesktopState.h"

#include <algorithm>

namespace win {
namespace detail {

namespace {

struct PinTable {
    std::mutex mutex;
    std::map<uint32_t, std::pair<char*, size_t>> blocks;  // by base address
    uint32_t next = 0x10000000;
};
PinTable& pins() {
    static PinTable t;
    return t;
}

} // namespace

bool processHung(DWORD pid) {
    auto& s = state();
    if (!s.anyHung.load(std::memory_order_acquire)) return false;
    std::lock_guard lock(s.postMutex);
    return s.hungProcesses.count(pid) != 0;
}

void DesktopState::pumpStep() {
    // Posted messages: those queued when the round began, one at a time, so a nested pump
    // keeps their order. A hung process's messages wait.
    size_t n;
    {
        std::lock_guard lock(postMutex);
        n = posted.size();
    }
    std::vector<Posted> held;
    for (size_t i = 0; i < n; ++i) {
        Posted m;
        {
            std::lock_guard lock(postMutex);
            if (posted.empty()) break;
            m = posted.front();
            posted.pop_front();
        }
        Wnd* w = find(m.hwnd);
        if (!w) continue;
        if (processHung(w->pid)) {
            held.push_back(m);
            continue;
        }
        dispatch(m.hwnd, m.msg, m.wParam, m.lParam);
    }
    if (!held.empty()) {
        std::lock_guard lock(postMutex);
        posted.insert(posted.end(), held.begin(), held.end());
    }

    // Timers due now, each once, earliest first.
    const uint64_t t = now();
    std::vector<TimerEntry> due;
    for (auto& e : timers)
        if (e.due <= t) due.push_back(e);
    std::sort(due.begin(), due.end(), [](const TimerEntry& a, const TimerEntry& b) {
        return a.due != b.due ? a.due < b.due : a.seq < b.seq;
    });
    for (const auto& d : due) {
        auto it = std::find_if(timers.begin(), timers.end(), [&](const TimerEntry& e) { return e.seq == d.seq; });
        if (it == timers.end()) continue;  // killed or replaced meanwhile
        DWORD pid = it->pid;
        if (it->hwnd) {
            Wnd* w = find(it->hwnd);
            if (!w) continue;
            pid = w->pid;
        }
        const uint64_t cur = now();
        while (it->due <= cur) it->due += it->elapse;
        if (processHung(pid)) continue;  // a hung program misses its ticks
        const HWND h = it->hwnd;
        const UINT id = it->id;
        TIMERPROC proc = it->proc;
        if (proc) {
            sys::ProcessScope scope(pid);
            proc(h, WM_TIMER, id, static_cast<DWORD>(cur));
        } else {
            dispatch(h, WM_TIMER, id, 0);
        }
    }
}

std::optional<uint64_t> DesktopState::nextDue() {
    std::optional<uint64_t> best;
    {
        std::lock_guard lock(postMutex);
        for (const auto& m : posted) {
            Wnd* w = find(m.hwnd);
            if (w && !hungProcesses.count(w->pid)) {
                best = now();
                break;
            }
        }
    }
    for (const auto& e : timers)
        if (!best || e.due < *best) best = e.due;
    return best;
}

} // namespace detail

using namespace detail;

PinnedMemory::PinnedMemory(void* data, size_t size) {
    auto& t = pins();
    std::lock_guard lock(t.mutex);
    address_ = static_cast<LPARAM>(t.next);
    // Blocks never share a 64 KiB span, so an address past one block's end finds no other.
    const uint64_t span = ((std::max<size_t>(size, 1) + 0xFFFF) / 0x10000 + 1) * 0x10000;
    t.next = static_cast<uint32_t>(t.next + span);
    if (t.next >= 0x7F000000u || t.next < 0x10000000u) t.next = 0x10000000;
    t.blocks[static_cast<uint32_t>(address_)] = {static_cast<char*>(data), size};
}

PinnedMemory::~PinnedMemory() {
    auto& t = pins();
    std::lock_guard lock(t.mutex);
    t.blocks.erase(static_cast<uint32_t>(address_));
}

char* pinnedAt(LPARAM address, size_t* size) {
    auto& t = pins();
    std::lock_guard lock(t.mutex);
    const uint32_t a = static_cast<uint32_t>(address);
    auto it = t.blocks.upper_bound(a);
    if (it == t.blocks.begin()) return nullptr;
    --it;
    const uint32_t off = a - it->first;
    if (off >= it->second.second) return nullptr;
    if (size) *size = it->second.second - off;
    return it->second.first + off;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Wnd* w = findWnd(hwnd);
    if (!w) return 0;
    if (w->pid != sys::Machine::currentProcessId() && processHung(w->pid)) return 0;
    return dispatch(*w, hwnd, msg, wParam, lParam);
}

LRESULT SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                           DWORD* result) {
    if (result) *result = 0;
    Wnd* w = findWnd(hwnd);
    if (!w) return 0;
    if (processHung(w->pid)) {
        if (!(flags & SMTO_ABORTIFHUNG)) state().machine->clock().sleep(timeoutMs);
        return 0;
    }
    const LRESULT r = dispatch(*w, hwnd, msg, wParam, lParam);
    if (result) *result = static_cast<DWORD>(r);
    return 1;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto& s = state();
    if (!s.find(hwnd)) return FALSE;
    std::lock_guard lock(s.postMutex);
    s.posted.push_back({hwnd, msg, wParam, lParam});
    return TRUE;
}

BOOL IsHungAppWindow(HWND hwnd) {
    Wnd* w = findWnd(hwnd);
    return w && processHung(w->pid) ? TRUE : FALSE;
}

LRESULT SendMessageSetText(HWND hwnd, UINT msg, WPARAM wParam, const std::string& ansi) {
    std::string buf = ansi;
    buf.push_back('\0');
    PinnedMemory mem(buf.data(), buf.size());
    return SendMessage(hwnd, msg, wParam, mem.address());
}

LRESULT SendMessageGetText(HWND hwnd, UINT msg, int maxBytes, std::string& ansiOut) {
    ansiOut.clear();
    if (maxBytes <= 0) return 0;
    std::string buf(static_cast<size_t>(maxBytes), '\0');
    PinnedMemory mem(buf.data(), buf.size());
    const LRESULT r = SendMessage(hwnd, msg, static_cast<WPARAM>(maxBytes), mem.address());
    ansiOut.assign(buf.c_str());
    return r;
}

void DoEvents() {
    auto& m = sys::Machine::current();
    state(m);  // the window system's pump takes part even before the first window
    if (m.clock().isVirtual()) m.runFor(1);
    else m.pumpOnce();
}

void setProcessHung(DWORD processId, bool hung) {
    auto& s = state();
    std::lock_guard lock(s.postMutex);
    if (hung) s.hungProcesses.insert(processId);
    else s.hungProcesses.erase(processId);
    s.anyHung.store(!s.hungProcesses.empty(), std::memory_order_release);
}

size_t pendingPostedMessages() {
    auto& s = state();
    std::lock_guard lock(s.postMutex);
    return s.posted.size();
}

} // namespace win
