#include "MSubclass.h"

#include "platform/desktop/Message.h"
#include "platform/forms/RuntimeError.h"

#include <map>
#include <mutex>
#include <vector>

// ---- Client cookies -----------------------------------------------------------------------

namespace {

struct CookieTable {
    std::mutex mutex;
    std::map<int32_t, ISubclass*> clients;
    int32_t next = 0x00510000;
};
// Never destroyed: clients held by other statics (the main form) may detach during static
// destruction, in whatever order it runs.
CookieTable& cookies() {
    static CookieTable* const t = new CookieTable;
    return *t;
}

} // namespace

ISubclass::ISubclass() {
    auto& t = cookies();
    std::lock_guard lock(t.mutex);
    cookie_ = t.next;
    t.next += 4;
    if (t.next <= 0) t.next = 0x00510000;
    t.clients[cookie_] = this;
}

ISubclass::~ISubclass() {
    auto& t = cookies();
    std::lock_guard lock(t.mutex);
    t.clients.erase(cookie_);
}

ISubclass* ISubclass::fromCookie(int32_t cookie) {
    if (cookie == 0) return nullptr;
    auto& t = cookies();
    std::lock_guard lock(t.mutex);
    auto it = t.clients.find(cookie);
    return it == t.clients.end() ? nullptr : it->second;
}

namespace MSubclass {

const long kErrCantSubclass = static_cast<int32_t>(0x80040000u + 13081);
const long kErrAlreadyHandled = static_cast<int32_t>(0x80040000u + 13082);
const long kErrInvalidWindow = static_cast<int32_t>(0x80040000u + 13083);
const long kErrExternalWindow = static_cast<int32_t>(0x80040000u + 13084);

namespace {

const char* const kErrorSource = "Pennant.WindowProc";

int32_t g_currentMessage = 0;
bool g_lastWriteOk = true;

std::string num(int32_t v) { return std::to_string(v); }
std::string hookCountName(win::HWND h) { return num(h) + "C"; }
std::string msgCountName(win::HWND h, win::UINT m) { return num(h) + "#" + num(static_cast<int32_t>(m)) + "C"; }
std::string clientName(win::HWND h, win::UINT m, int32_t i) {
    return num(h) + "#" + num(static_cast<int32_t>(m)) + "#" + num(i);
}

// A value of 0 is never stored: writing 0 removes the property.
void writeProp(win::HWND h, const std::string& name, int32_t value) {
    if (value == 0) {
        win::RemoveProp(h, name);
        g_lastWriteOk = true;
    } else {
        g_lastWriteOk = win::SetProp(h, name, value) != win::FALSE;
    }
}

int32_t WindowHookCount(win::HWND h) { return win::GetProp(h, hookCountName(h)); }
void SetWindowHookCount(win::HWND h, int32_t n) { writeProp(h, hookCountName(h), n); }
win::WNDPROC OldWindowProc(win::HWND h) { return win::GetProp(h, num(h)); }
void SetOldWindowProc(win::HWND h, win::WNDPROC proc) { writeProp(h, num(h), proc); }
int32_t MessageClientCount(win::HWND h, win::UINT m) { return win::GetProp(h, msgCountName(h, m)); }
void SetMessageClientCount(win::HWND h, win::UINT m, int32_t n) { writeProp(h, msgCountName(h, m), n); }
int32_t MessageClient(win::HWND h, win::UINT m, int32_t i) { return win::GetProp(h, clientName(h, m, i)); }
void SetMessageClient(win::HWND h, win::UINT m, int32_t i, int32_t cookie) { writeProp(h, clientName(h, m, i), cookie); }

[[noreturn]] void SubclassError(long number) {
    const char* text = "";
    if (number == kErrCantSubclass) text = "Can't subclass window";
    else if (number == kErrAlreadyHandled) text = "Message already handled by another class";
    else if (number == kErrInvalidWindow) text = "Invalid window";
    else if (number == kErrExternalWindow) text = "Can't modify external window";
    throw forms::RuntimeError(number, text, kErrorSource);
}

win::WNDPROC sharedProc() { return win::wndProcOf(&SubclassWndProc); }

void ReleaseWindow(win::HWND h) {
    if (WindowHookCount(h) <= 0) return;
    const win::WNDPROC old = OldWindowProc(h);
    if (old != 0) win::SetWindowLong(h, win::GWL_WNDPROC, old);
    SetOldWindowProc(h, 0);
    SetWindowHookCount(h, 0);
}

} // namespace

int32_t CurrentMessage() { return g_currentMessage; }

bool IsOwnWindow(win::HWND hwnd) {
    win::DWORD pid = 0;
    win::GetWindowThreadProcessId(hwnd, &pid);
    return pid != 0 && pid == win::GetCurrentProcessId();
}

void HookMessage(ISubclass* client, win::HWND hwnd, win::UINT msg) {
    if (!client) forms::raise(forms::err::InvalidProcedureCall);
    if (!win::IsWindow(hwnd)) SubclassError(kErrInvalidWindow);
    if (!IsOwnWindow(hwnd)) SubclassError(kErrExternalWindow);
    const int32_t cookie = client->subclassCookie();

    const int32_t count = MessageClientCount(hwnd, msg);
    for (int32_t i = 1; i <= count; ++i)
        if (MessageClient(hwnd, msg, i) == cookie) SubclassError(kErrAlreadyHandled);

    const int32_t index = count + 1;
    SetMessageClientCount(hwnd, msg, index);
    if (!g_lastWriteOk) forms::raise(forms::err::InvalidProcedureCall);
    SetMessageClient(hwnd, msg, index, cookie);
    if (!g_lastWriteOk) {
        SetMessageClientCount(hwnd, msg, count);
        forms::raise(forms::err::InvalidProcedureCall);
    }
    auto undoEntry = [&] {
        SetMessageClient(hwnd, msg, index, 0);
        SetMessageClientCount(hwnd, msg, count);
    };

    if (WindowHookCount(hwnd) == 0) {
        const win::WNDPROC old = win::SetWindowLong(hwnd, win::GWL_WNDPROC, sharedProc());
        if (old == 0) {
            undoEntry();
            SubclassError(kErrCantSubclass);
        }
        SetOldWindowProc(hwnd, old);
        if (!g_lastWriteOk) {
            win::SetWindowLong(hwnd, win::GWL_WNDPROC, old);
            undoEntry();
            forms::raise(forms::err::InvalidProcedureCall);
        }
    }

    const int32_t hooks = WindowHookCount(hwnd);
    SetWindowHookCount(hwnd, hooks + 1);
    if (!g_lastWriteOk) {
        undoEntry();
        if (WindowHookCount(hwnd) == 0) {
            if (const win::WNDPROC old = OldWindowProc(hwnd)) win::SetWindowLong(hwnd, win::GWL_WNDPROC, old);
            SetOldWindowProc(hwnd, 0);
        }
        forms::raise(forms::err::InvalidProcedureCall);
    }
}

void UnhookMessage(ISubclass* client, win::HWND hwnd, win::UINT msg) {
    if (!client || !win::IsWindow(hwnd) || !IsOwnWindow(hwnd)) return;
    const int32_t n = MessageClientCount(hwnd, msg);
    if (n < 1) return;
    const int32_t cookie = client->subclassCookie();
    int32_t at = 0;
    for (int32_t i = 1; i <= n && !at; ++i)
        if (MessageClient(hwnd, msg, i) == cookie) at = i;
    if (!at) return;

    for (int32_t i = at; i < n; ++i) SetMessageClient(hwnd, msg, i, MessageClient(hwnd, msg, i + 1));
    SetMessageClient(hwnd, msg, n, 0);
    SetMessageClientCount(hwnd, msg, n - 1);

    const int32_t hooks = WindowHookCount(hwnd);
    if (hooks == 1) {
        if (const win::WNDPROC old = OldWindowProc(hwnd)) win::SetWindowLong(hwnd, win::GWL_WNDPROC, old);
        SetOldWindowProc(hwnd, 0);
    }
    SetWindowHookCount(hwnd, hooks - 1);
}

win::LRESULT CallPrevWndProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    const win::WNDPROC old = OldWindowProc(hwnd);
    return old ? win::CallWindowProc(old, hwnd, msg, wParam, lParam) : 0;
}

win::LRESULT SubclassWndProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    const win::WNDPROC old = OldWindowProc(hwnd);
    if (old == 0) return 0;
    const int32_t n = MessageClientCount(hwnd, msg);
    if (n < 1) {
        if (msg == win::WM_DESTROY) ReleaseWindow(hwnd);
        return win::CallWindowProc(old, hwnd, msg, wParam, lParam);
    }

    // The chain as it stood when the message came: a client may detach or destroy itself or
    // others meanwhile, which shifts the entries; walking the live list then called one client
    // twice and skipped another. A client detached meanwhile is not called.
    std::vector<int32_t> chain(static_cast<size_t>(n));
    for (int32_t i = 1; i <= n; ++i) chain[static_cast<size_t>(i - 1)] = MessageClient(hwnd, msg, i);
    auto stillHooked = [&](int32_t cookie) {
        const int32_t now = MessageClientCount(hwnd, msg);
        for (int32_t i = 1; i <= now; ++i)
            if (MessageClient(hwnd, msg, i) == cookie) return true;
        return false;
    };
    // A message sent from inside a client's handler must not leave its number behind for the
    // outer message's later clients (the drop-down helper answers by it).
    static int depth = 0;
    struct RestoreCurrent {
        int32_t saved = g_currentMessage;
        RestoreCurrent() { ++depth; }
        ~RestoreCurrent() {
            if (--depth > 0) g_currentMessage = saved;
        }
    } restore;

    win::LRESULT result = 0;
    bool prevCalled = false;
    int32_t lastCookie = 0;
    for (int32_t i = n; i >= 1; --i) {
        const int32_t cookie = chain[static_cast<size_t>(i - 1)];
        ISubclass* client = ISubclass::fromCookie(cookie);
        if (!client || (i < n && !stillHooked(cookie))) continue;
        lastCookie = cookie;
        g_currentMessage = static_cast<int32_t>(msg);
        if (i == 1 && client->MsgResponse() == 2 && !prevCalled) {
            result = win::CallWindowProc(old, hwnd, msg, wParam, lParam);
            prevCalled = true;
            if (!(client = ISubclass::fromCookie(cookie))) continue;
        }
        result = client->WindowProc(hwnd, msg, wParam, lParam);
    }
    if (!lastCookie) {
        // No live client: the message still reaches the window's own procedure.
        return prevCalled ? result : win::CallWindowProc(old, hwnd, msg, wParam, lParam);
    }
    ISubclass* last = ISubclass::fromCookie(lastCookie);
    if (last && !prevCalled && last->MsgResponse() == 1) result = win::CallWindowProc(old, hwnd, msg, wParam, lParam);
    return result;
}

} // namespace MSubclass
