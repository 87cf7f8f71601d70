#include "DesktopState.h"
#include "Dialog.h"
#include "WindowSystemCalls.h"
#include "CommonControls.h"
#include "Cursor.h"
#include "Screen.h"

#include "platform/system/CodePage.h"
#include "platform/system/Process.h"

#include <algorithm>
#include <cstring>

namespace win {
namespace detail {

namespace {

struct ProcTable {
    std::mutex mutex;
    // Shared, so that a call holds its procedure (which may be released meanwhile) for the
    // price of a reference count rather than a copy of the function.
    std::map<WNDPROC, std::shared_ptr<const WndProcFn>> procs;
    std::map<WndProcPtr, WNDPROC> byPtr;
    LONG next = 0x00401000;  // looks like code addresses of a 32-bit program
};
ProcTable& procTable() {
    static ProcTable t;
    return t;
}

const char* const kSystemClasses[] = {
    "#32770", "Button", "Edit", "Static", "ComboBox", "ListBox", "ScrollBar", "SysListView32",
    "SysHeader32", "SysTabControl32", "SysTreeView32", "msctls_updown32", "msctls_trackbar32",
    "msctls_progress32", "msctls_hotkey32", "tooltips_class32", "RichEdit20A", "MDIClient",
    "Shell_TrayWnd", "ToolbarWindow32", "msctls_statusbar32", "AfxFrameOrView42", "Afx:400000:0",
};

// The shell that owns the taskbar; no simulated program gets this id.
constexpr DWORD kShellProcessId = 1100;

// The screen's edge that the work area leaves out; an empty strip below the screen when none.
RECT taskbarRect(const sys::Machine& m) {
    const int w = m.screenWidth(), h = m.screenHeight();
    const sys::Rect wa = m.workArea();
    if (wa.bottom < h) return {0, wa.bottom, w, h};
    if (wa.top > 0) return {0, 0, w, wa.top};
    if (wa.left > 0) return {0, 0, wa.left, h};
    if (wa.right < w) return {wa.right, 0, w, h};
    return {0, h, w, h};
}

} // namespace

DesktopState::DesktopState(sys::Machine* m) : machine(m) {
    for (const char* c : kSystemClasses) {
        WNDCLASS wc;
        wc.lpszClassName = c;
        wc.style = CS_DBLCLKS;
        wc.hCursor = LoadCursor(0, IDC_ARROW);
        classes[sys::upperAscii(c)] = wc;
    }
    classes["EDIT"].lpfnWndProc = wndProcOf(&editProc);
    classes["BUTTON"].lpfnWndProc = wndProcOf(&buttonProc);
    classes["MSCTLS_HOTKEY32"].lpfnWndProc = wndProcOf(&hotkeyProc);
    classes["MSCTLS_UPDOWN32"].lpfnWndProc = wndProcOf(&updownProc);
    classes["STATIC"].lpfnWndProc = wndProcOf(&staticProc);
    classes["COMBOBOX"].lpfnWndProc = wndProcOf(&comboProc);
    classes["SYSTREEVIEW32"].lpfnWndProc = wndProcOf(&treeProc);
    installWindowSystemCalls(*m);

    auto bar = std::make_unique<Wnd>();
    bar->handle = taskbar;
    bar->cls = "Shell_TrayWnd";
    bar->style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    bar->exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    bar->proc = wndProcOf(&DefWindowProc);
    bar->pid = kShellProcessId;
    bar->tid = threadOf(kShellProcessId);
    bar->rect = bar->normalRect = taskbarRect(*m);
    windows[taskbar] = std::move(bar);
    topLevel.push_back(taskbar);
    sys::Machine::Pump p;
    p.step = [this] { pumpStep(); };
    p.nextDue = [this] { return nextDue(); };
    m->addPump(std::move(p));
}

Wnd* DesktopState::find(HWND h) {
    std::lock_guard lock(mapMutex);
    auto it = windows.find(h);
    return it == windows.end() ? nullptr : it->second.get();
}

DesktopState& state(sys::Machine& m) { return m.service<DesktopState>(&m); }
DesktopState& state() { return state(sys::Machine::current()); }
Wnd* findWnd(HWND h) { return state().find(h); }
DWORD threadOf(DWORD pid) { return pid + 4; }

std::vector<HWND>& siblingsOf(DesktopState& s, const Wnd& w) {
    if (w.parent) {
        if (Wnd* p = s.find(w.parent)) return p->children;
    }
    return s.topLevel;
}

LRESULT dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Wnd* w = findWnd(hwnd);
    return w ? dispatch(*w, hwnd, msg, wParam, lParam) : 0;
}

LRESULT dispatch(const Wnd& w, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const WNDPROC proc = w.proc;
    const DWORD pid = w.pid;
    if (pid != sys::Machine::currentProcessId()) {
        sys::ProcessScope scope(pid);
        return CallWindowProc(proc, hwnd, msg, wParam, lParam);
    }
    return CallWindowProc(proc, hwnd, msg, wParam, lParam);
}

namespace {

bool isTopmost(const Wnd& w) { return !w.parent && (w.exStyle & WS_EX_TOPMOST); }

size_t firstNonTopmost(DesktopState& s) {
    size_t i = 0;
    while (i < s.topLevel.size()) {
        Wnd* w = s.find(s.topLevel[i]);
        if (!w || !isTopmost(*w)) break;
        ++i;
    }
    return i;
}

void unlink(std::vector<HWND>& v, HWND h) { v.erase(std::remove(v.begin(), v.end(), h), v.end()); }

bool ownedBy(DesktopState& s, HWND h, HWND owner) {
    for (int depth = 0; h && depth < 64; ++depth) {
        Wnd* w = s.find(h);
        if (!w) return false;
        if (w->owner == owner) return true;
        h = w->owner;
    }
    return false;
}

// Owned windows stay in front of their owner within the same band.
void raiseOwned(DesktopState& s, HWND owner) {
    Wnd* o = s.find(owner);
    if (!o || o->parent) return;
    std::vector<HWND> owned;
    for (HWND h : s.topLevel)
        if (h != owner && ownedBy(s, h, owner)) {
            Wnd* w = s.find(h);
            if (w && isTopmost(*w) == isTopmost(*o)) owned.push_back(h);
        }
    if (owned.empty()) return;
    for (HWND h : owned) unlink(s.topLevel, h);
    auto pos = std::find(s.topLevel.begin(), s.topLevel.end(), owner);
    s.topLevel.insert(pos, owned.begin(), owned.end());
}

void placeTop(DesktopState& s, Wnd& w) {
    auto& sib = siblingsOf(s, w);
    unlink(sib, w.handle);
    if (w.parent) {
        sib.insert(sib.begin(), w.handle);
        return;
    }
    const size_t at = isTopmost(w) ? 0 : firstNonTopmost(s);
    s.topLevel.insert(s.topLevel.begin() + static_cast<long>(at), w.handle);
    raiseOwned(s, w.handle);
}

void placeBottom(DesktopState& s, Wnd& w) {
    auto& sib = siblingsOf(s, w);
    unlink(sib, w.handle);
    if (!w.parent) w.exStyle &= ~WS_EX_TOPMOST;
    sib.push_back(w.handle);
}

void placeAfter(DesktopState& s, Wnd& w, HWND after) {
    auto& sib = siblingsOf(s, w);
    if (std::find(sib.begin(), sib.end(), after) == sib.end() || after == w.handle) return;
    unlink(sib, w.handle);
    size_t at = static_cast<size_t>(std::find(sib.begin(), sib.end(), after) - sib.begin()) + 1;
    if (!w.parent) {
        const size_t band = firstNonTopmost(s);
        at = isTopmost(w) ? std::min(at, band) : std::max(at, band);
    }
    sib.insert(sib.begin() + static_cast<long>(at), w.handle);
}

void setTopmost(DesktopState& s, Wnd& w, bool on) {
    if (on) w.exStyle |= WS_EX_TOPMOST;
    else w.exStyle &= ~WS_EX_TOPMOST;
    for (HWND h : std::vector<HWND>(s.topLevel))
        if (ownedBy(s, h, w.handle))
            if (Wnd* o = s.find(h); o && on) o->exStyle |= WS_EX_TOPMOST;
}

RECT screenRect(DesktopState& s, const Wnd& w) {
    RECT r = w.rect;
    if (w.parent) {
        const POINT o = clientOrigin(w.parent);
        r.left += o.x, r.right += o.x, r.top += o.y, r.bottom += o.y;
    }
    (void)s;
    return r;
}

HWND rootOf(DesktopState& s, HWND h) {
    for (int depth = 0; depth < 64; ++depth) {
        Wnd* w = s.find(h);
        if (!w) return 0;
        if (!w->parent) return h;
        h = w->parent;
    }
    return 0;
}

bool inSubtree(DesktopState& s, HWND h, HWND root) {
    for (int depth = 0; h && depth < 64; ++depth) {
        if (h == root) return true;
        Wnd* w = s.find(h);
        if (!w) return false;
        h = w->parent;
    }
    return false;
}

bool visibleAlone(const Wnd& w) { return (w.style & WS_VISIBLE) != 0; }

HWND nextActivatable(DesktopState& s, HWND except) {
    for (HWND h : s.topLevel) {
        // The target hands activation to a window below the closing one, never up to the shell's bar.
        if (h == except || h == s.taskbar) continue;
        Wnd* w = s.find(h);
        if (w && !w->destroying && visibleAlone(*w) && !(w->style & WS_DISABLED) &&
            !(w->style & WS_MINIMIZE) && !(w->exStyle & WS_EX_NOACTIVATE))
            return h;
    }
    return 0;
}

void setFocusTo(DesktopState& s, HWND h) {
    const HWND old = s.focus;
    if (old == h) return;
    s.focus = h;
    if (old && s.find(old)) dispatch(old, WM_KILLFOCUS, static_cast<WPARAM>(h), 0);
    if (h && s.focus == h && s.find(h)) dispatch(h, WM_SETFOCUS, static_cast<WPARAM>(old), 0);
}

} // namespace

void activate(HWND h, WPARAM how) {
    auto& s = state();
    const HWND root = h ? rootOf(s, h) : 0;
    if (Wnd* w = s.find(root)) placeTop(s, *w);
    if (root == s.active) return;
    const HWND old = s.active;
    s.active = root;
    if (old && s.find(old)) dispatch(old, WM_ACTIVATE, WA_INACTIVE, root);
    if (root && s.active == root) {
        dispatch(root, WM_ACTIVATE, how, old);
        if (s.active == root && !inSubtree(s, s.focus, root)) setFocusTo(s, root);
    } else if (!root && s.focus) {
        setFocusTo(s, 0);
    }
}

namespace {

void sendSize(DesktopState& s, HWND h, WPARAM kind) {
    RECT c;
    GetClientRect(h, &c);
    (void)s;
    dispatch(h, WM_SIZE, kind, MAKELPARAM(c.right, c.bottom));
}

void sendMove(HWND h) {
    Wnd* w = findWnd(h);
    if (!w) return;
    POINT p = clientOrigin(h);
    if (w->parent) {
        const POINT o = clientOrigin(w->parent);
        p.x -= o.x, p.y -= o.y;
    }
    dispatch(h, WM_MOVE, 0, MAKELPARAM(p.x, p.y));
}

struct TopLevelWatch {
    std::function<void(HWND, bool)> watcher;
};

void tellTopLevel(const Wnd& w, bool shown) {
    if (w.parent) return;
    auto& watch = sys::Machine::current().service<TopLevelWatch>();
    if (watch.watcher) watch.watcher(w.handle, shown);
}

// Takes a window off the screen: its visibility, and activation and focus with it.
void takeOffScreen(DesktopState& s, Wnd& w) {
    const HWND h = w.handle;
    w.style &= ~WS_VISIBLE;
    if (s.focus && inSubtree(s, s.focus, h)) setFocusTo(s, 0);
    if (s.active == h) activate(nextActivatable(s, h), WA_ACTIVE);
    if (Wnd* still = s.find(h)) tellTopLevel(*still, false);
}

// Hides a window and moves activation and focus off it.
void hide(DesktopState& s, HWND h) {
    dispatch(h, WM_SHOWWINDOW, FALSE, 0);
    if (Wnd* w = s.find(h)) takeOffScreen(s, *w);
}

void show(DesktopState& s, HWND h) {
    Wnd* w = s.find(h);
    if (!w || (w->style & WS_VISIBLE)) return;
    dispatch(h, WM_SHOWWINDOW, TRUE, 0);
    if ((w = s.find(h))) {
        w->style |= WS_VISIBLE;
        tellTopLevel(*w, true);
    }
}

void sendDestroy(DesktopState& s, HWND h) {
    dispatch(h, WM_DESTROY, 0, 0);
    Wnd* w = s.find(h);
    if (!w) return;
    for (HWND c : std::vector<HWND>(w->children)) {
        if (Wnd* cw = s.find(c)) {
            cw->destroying = true;
            sendDestroy(s, c);
        }
    }
}

void finalDestroy(DesktopState& s, HWND h) {
    Wnd* w = s.find(h);
    if (!w) return;
    for (HWND c : std::vector<HWND>(w->children)) finalDestroy(s, c);
    dispatch(h, WM_NCDESTROY, 0, 0);
    if (!(w = s.find(h))) return;
    unlink(siblingsOf(s, *w), h);
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), [h](const TimerEntry& t) { return t.hwnd == h; }),
                   s.timers.end());
    if (s.focus == h) s.focus = 0;
    if (s.active == h) s.active = 0;
    for (auto& [hh, o] : s.windows)
        if (o->owner == h) o->owner = 0;
    std::unique_ptr<Wnd> dead;
    {
        std::lock_guard lock(s.mapMutex);
        auto it = s.windows.find(h);
        dead = std::move(it->second);
        s.windows.erase(it);
    }
}

} // namespace

POINT clientOrigin(HWND hwnd) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return {};
    const RECT r = screenRect(s, *w);
    const RECT f = frameOf(w->style, w->exStyle);
    return {r.left + f.left, r.top + f.top};
}

} // namespace detail

using namespace detail;

// ---- Procedures -------------------------------------------------------------------------

WNDPROC registerWndProc(WndProcFn fn) {
    auto& t = procTable();
    std::lock_guard lock(t.mutex);
    const WNDPROC p = t.next;
    t.next += 0x10;
    t.procs[p] = std::make_shared<const WndProcFn>(std::move(fn));
    return p;
}

WNDPROC wndProcOf(WndProcPtr fn) {
    if (!fn) return 0;
    {
        auto& t = procTable();
        std::lock_guard lock(t.mutex);
        auto it = t.byPtr.find(fn);
        if (it != t.byPtr.end()) return it->second;
    }
    const WNDPROC p = registerWndProc(fn);
    auto& t = procTable();
    std::lock_guard lock(t.mutex);
    t.byPtr[fn] = p;
    return p;
}

void releaseWndProc(WNDPROC proc) {
    auto& t = procTable();
    std::lock_guard lock(t.mutex);
    t.procs.erase(proc);
    for (auto it = t.byPtr.begin(); it != t.byPtr.end();)
        it = it->second == proc ? t.byPtr.erase(it) : std::next(it);
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<const WndProcFn> fn;
    {
        auto& t = procTable();
        std::lock_guard lock(t.mutex);
        auto it = t.procs.find(proc);
        if (it == t.procs.end()) return 0;
        fn = it->second;
    }
    return fn && *fn ? (*fn)(hwnd, msg, wParam, lParam) : 0;
}

static LRESULT defProcEntry(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); }

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return 0;
    const int cp = s.machine->codePage();
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SETTEXT: {
        size_t n = 0;
        const char* p = lParam ? pinnedAt(lParam, &n) : nullptr;
        w->text = p ? sys::fromAnsi(std::string_view(p, strnlen(p, n)), cp) : std::string();
        return TRUE;
    }
    case WM_GETTEXT: {
        size_t n = 0;
        char* p = pinnedAt(lParam, &n);
        if (!p || wParam == 0) return 0;
        const size_t cap = std::min<size_t>(n, wParam);
        const std::string a = sys::truncateAnsi(sys::toAnsi(w->text, cp), cap - 1, cp);
        std::memcpy(p, a.data(), a.size());
        p[a.size()] = '\0';
        return static_cast<LRESULT>(a.size());
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(sys::ansiLength(w->text, cp));
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SETHOTKEY:
        return setWindowHotKey(hwnd, wParam);
    case WM_GETHOTKEY:
        return windowHotKey(hwnd);
    case WM_NCHITTEST: {
        RECT r;
        GetWindowRect(hwnd, &r);
        const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return HTNOWHERE;
        const RECT f = frameOf(w->style, w->exStyle);
        if (x >= r.left + f.left && x < r.right - f.right && y >= r.top + f.top && y < r.bottom - f.bottom)
            return HTCLIENT;
        if (w->style & WS_THICKFRAME) {
            const bool l = x < r.left + f.left, rt = x >= r.right - f.right;
            const bool t = y < r.top + f.left, b = y >= r.bottom - f.bottom;
            if (t) return l ? HTTOPLEFT : rt ? HTTOPRIGHT : HTTOP;
            if (b) return l ? HTBOTTOMLEFT : rt ? HTBOTTOMRIGHT : HTBOTTOM;
            if (l) return HTLEFT;
            if (rt) return HTRIGHT;
        }
        if (f.top > f.left && y >= r.top + f.left && y < r.top + f.top) return HTCAPTION;
        return HTBORDER;
    }
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE: SendMessage(hwnd, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(hwnd, SW_MAXIMIZE); break;
        case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); break;
        case SC_MOVE: moveSizeLoop(hwnd, HTCAPTION); break;
        case SC_SIZE: moveSizeLoop(hwnd, HTBOTTOMRIGHT); break;
        case SC_HOTKEY:
            if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
            SetForegroundWindow(hwnd);
            break;
        default: break;
        }
        return 0;
    case WM_NCLBUTTONDOWN:
        if (static_cast<LRESULT>(wParam) == HTCAPTION ||
            (static_cast<LRESULT>(wParam) >= HTLEFT && static_cast<LRESULT>(wParam) <= HTBOTTOMRIGHT))
            moveSizeLoop(hwnd, static_cast<LRESULT>(wParam));
        return 0;
    case WM_SETCURSOR:
        return defSetCursor(hwnd, wParam, lParam);
    case WM_MOUSEACTIVATE:
        return 1;  // MA_ACTIVATE
    default:
        return 0;
    }
}

// ---- Classes and creation ---------------------------------------------------------------

ATOM RegisterClass(const WNDCLASS& wc) {
    auto& s = state();
    if (wc.lpszClassName.empty()) return 0;
    const std::string key = sys::upperAscii(wc.lpszClassName);
    if (s.classes.count(key)) return 0;
    s.classes[key] = wc;
    return static_cast<ATOM>(0xC000 + s.classes.size());
}

BOOL UnregisterClass(const std::string& className) {
    auto& s = state();
    const std::string key = sys::upperAscii(className);
    auto it = s.classes.find(key);
    if (it == s.classes.end()) return FALSE;
    for (auto& [h, w] : s.windows)
        if (sys::iequals(w->cls, className)) return FALSE;  // still in use
    s.classes.erase(it);
    return TRUE;
}

HWND CreateWindowEx(DWORD exStyle, const std::string& cls, const std::string& windowName, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menu, LPARAM lpParam) {
    auto& s = state();
    auto cit = s.classes.find(sys::upperAscii(cls));
    if (cit == s.classes.end()) return 0;
    // WS_CHILD with WS_POPUP makes a pop-up; a child of the desktop is a top-level window.
    const bool isChild = (style & (WS_CHILD | WS_POPUP)) == WS_CHILD;
    const bool ofDesktop = parent == s.desktop;
    if (ofDesktop) parent = 0;
    if (parent && !s.find(parent)) return 0;
    if (isChild && !parent && !ofDesktop) return 0;

    auto w = std::make_unique<Wnd>();
    const HWND h = s.nextHandle;
    s.nextHandle += 4;
    w->handle = h;
    w->cls = cit->second.lpszClassName;
    w->text = windowName;
    w->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    w->exStyle = exStyle;
    // What the system adds: top-level windows clip their siblings and an overlapped one has a
    // caption; the window edge follows the frame.
    if (!isChild) {
        w->style |= WS_CLIPSIBLINGS;
        if (!(style & WS_POPUP)) w->style |= WS_CAPTION;
    }
    if ((w->exStyle & WS_EX_DLGMODALFRAME) || (w->style & (WS_DLGFRAME | WS_THICKFRAME)))
        w->exStyle |= WS_EX_WINDOWEDGE;
    else
        w->exStyle &= ~WS_EX_WINDOWEDGE;
    w->proc = cit->second.lpfnWndProc ? cit->second.lpfnWndProc : wndProcOf(&defProcEntry);
    w->pid = sys::Machine::currentProcessId();
    w->tid = threadOf(w->pid);
    if (x == CW_USEDEFAULT) x = 0, y = 0;
    if (width == CW_USEDEFAULT) width = 400, height = 300;
    w->rect = {x, y, x + width, y + height};
    w->normalRect = w->rect;
    if (isChild) {
        w->parent = parent;
        w->id = menu;
    } else if (parent) {
        w->owner = GetAncestor(parent, GA_ROOT);
        // Owned windows stay in front of their owner, so a top-most owner's are top-most too.
        if (Wnd* o = s.find(w->owner); o && isTopmost(*o)) w->exStyle |= WS_EX_TOPMOST;
    }
    Wnd* raw = w.get();
    {
        std::lock_guard lock(s.mapMutex);
        s.windows[h] = std::move(w);
    }
    if (raw->parent) s.find(raw->parent)->children.push_back(h);  // creation order is z-order
    else placeTop(s, *raw);

    if (!dispatch(h, WM_NCCREATE, 0, lpParam) || dispatch(h, WM_CREATE, 0, lpParam) == -1) {
        DestroyWindow(h);
        return 0;
    }
    if (!s.find(h)) return 0;
    // Made maximised, a child goes where maximising puts it: on top of its siblings.
    if (isChild && (style & WS_MAXIMIZE)) placeTop(s, *s.find(h));
    if (style & WS_VISIBLE) {
        if (isChild) show(s, h);
        else ShowWindow(h, (style & WS_MAXIMIZE) ? SW_MAXIMIZE : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOW);
    }
    return h;
}

BOOL DestroyWindow(HWND hwnd) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    if (!w->parent)
        for (HWND h : std::vector<HWND>(s.topLevel))
            if (Wnd* o = s.find(h); o && o->owner == hwnd) DestroyWindow(h);
    if ((w = s.find(hwnd)) && (w->style & WS_VISIBLE)) takeOffScreen(s, *w);
    sendDestroy(s, hwnd);
    finalDestroy(s, hwnd);
    return TRUE;
}

void watchTopLevelWindows(std::function<void(HWND hwnd, bool shown)> watcher) {
    sys::Machine::current().service<TopLevelWatch>().watcher = std::move(watcher);
}

BOOL IsWindow(HWND hwnd) { return findWnd(hwnd) || (hwnd && hwnd == state().desktop) ? TRUE : FALSE; }
HWND GetDesktopWindow() { return state().desktop; }

namespace {
// A process that ends takes its windows with it, whoever ended it.
const bool g_processExitHook = (sys::addProcessExitHook([](sys::Machine&, uint32_t pid) {
                                    setProcessHung(pid, false);
                                    destroyProcessWindows(pid);
                                }),
                                true);
} // namespace

void destroyProcessWindows(DWORD processId) {
    auto& s = state();
    std::vector<HWND> mine;
    for (auto& [h, w] : s.windows)
        if (w->pid == processId && !w->parent) mine.push_back(h);
    for (HWND h : mine) {
        sys::ProcessScope scope(processId);
        DestroyWindow(h);
    }
    // Its windows that another program's window holds as children go too.
    std::vector<HWND> hosted;
    for (auto& [h, w] : s.windows)
        if (Wnd* p = w->pid == processId && w->parent ? s.find(w->parent) : nullptr; p && p->pid != processId)
            hosted.push_back(h);
    for (HWND h : hosted) {
        sys::ProcessScope scope(processId);
        DestroyWindow(h);
    }
}

// ---- Long values ------------------------------------------------------------------------

LONG GetWindowLong(HWND hwnd, int index) {
    Wnd* w = findWnd(hwnd);
    if (!w) {
        if (hwnd && hwnd == state().desktop && index == GWL_STYLE)
            return static_cast<LONG>(WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        return 0;
    }
    switch (index) {
    case GWL_WNDPROC: return w->proc;
    case GWL_HINSTANCE: return 0x00400000;
    case GWL_HWNDPARENT: return w->parent ? w->parent : w->owner;
    case GWL_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWL_USERDATA: return w->userData;
    default: return 0;
    }
}

LONG SetWindowLong(HWND hwnd, int index, LONG value) {
    Wnd* w = findWnd(hwnd);
    if (!w) return 0;
    LONG old = 0;
    switch (index) {
    case GWL_WNDPROC:
        if (w->pid != sys::Machine::currentProcessId()) return 0;
        old = w->proc;
        w->proc = value;
        return old;
    case GWL_HWNDPARENT: {
        // A child's parent changes; a top-level window's owner becomes exactly the window given.
        if (w->parent) return SetParent(hwnd, value);
        auto& s = state();
        const HWND owner = value == s.desktop ? 0 : value;
        if (owner && (owner == hwnd || !s.find(owner) || ownedBy(s, owner, hwnd))) return 0;
        old = w->owner;
        w->owner = owner;
        if (Wnd* o = s.find(owner); o && isTopmost(*o)) w->exStyle |= WS_EX_TOPMOST;
        return old;
    }
    case GWL_ID: old = w->id; w->id = value; return old;
    case GWL_STYLE:
        old = static_cast<LONG>(w->style);
        w->style = static_cast<DWORD>(value);
        if (!w->parent) w->style |= WS_CLIPSIBLINGS;  // a top-level window cannot drop it
        return old;
    case GWL_EXSTYLE: old = static_cast<LONG>(w->exStyle); w->exStyle = static_cast<DWORD>(value); return old;
    case GWL_USERDATA: old = w->userData; w->userData = value; return old;
    default: return 0;
    }
}

// ---- Text -------------------------------------------------------------------------------

int GetWindowText(HWND hwnd, char* buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    buffer[0] = '\0';
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return 0;
    if (w->pid == sys::Machine::currentProcessId()) {
        PinnedMemory mem(buffer, static_cast<size_t>(maxCount));
        return SendMessage(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount), mem.address());
    }
    // Another program's window: its caption is read without asking it.
    const int cp = s.machine->codePage();
    const std::string a = sys::truncateAnsi(sys::toAnsi(w->text, cp), static_cast<size_t>(maxCount - 1), cp);
    std::memcpy(buffer, a.data(), a.size());
    buffer[a.size()] = '\0';
    return static_cast<int>(a.size());
}

int GetWindowTextLength(HWND hwnd) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return 0;
    if (w->pid == sys::Machine::currentProcessId()) return SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0);
    return static_cast<int>(sys::ansiLength(w->text, s.machine->codePage()));
}

BOOL SetWindowText(HWND hwnd, const std::string& text) {
    auto& s = state();
    if (!s.find(hwnd)) return FALSE;
    return SendMessageSetText(hwnd, WM_SETTEXT, 0, sys::toAnsi(text, s.machine->codePage())) ? TRUE : FALSE;
}

int GetClassName(HWND hwnd, char* buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    buffer[0] = '\0';
    auto& s = state();
    Wnd* w = s.find(hwnd);
    std::string name = w ? w->cls : (hwnd == s.desktop ? "#32769" : "");
    if (name.empty()) return 0;
    name = sys::truncateAnsi(sys::toAnsi(name, s.machine->codePage()), static_cast<size_t>(maxCount - 1));
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    return static_cast<int>(name.size());
}

std::string windowText(HWND hwnd) {
    const int n = GetWindowTextLength(hwnd);
    if (n <= 0) return {};
    std::string buf(static_cast<size_t>(n) + 1, '\0');
    const int got = GetWindowText(hwnd, buf.data(), n + 1);
    buf.resize(static_cast<size_t>(std::max(got, 0)));
    return sys::fromAnsi(buf, state().machine->codePage());
}

std::string className(HWND hwnd) {
    char buf[260];
    const int n = GetClassName(hwnd, buf, sizeof buf);
    return sys::fromAnsi(std::string_view(buf, static_cast<size_t>(n)), state().machine->codePage());
}

// ---- Relations and walking --------------------------------------------------------------

HWND GetWindow(HWND hwnd, UINT cmd) {
    auto& s = state();
    if (cmd == GW_CHILD) {
        if (hwnd == s.desktop) return s.topLevel.empty() ? 0 : s.topLevel.front();
        Wnd* w = s.find(hwnd);
        return w && !w->children.empty() ? w->children.front() : 0;
    }
    Wnd* w = s.find(hwnd);
    if (!w) return 0;
    if (cmd == GW_OWNER) return w->owner;
    const auto& sib = siblingsOf(s, *w);
    auto it = std::find(sib.begin(), sib.end(), hwnd);
    if (it == sib.end()) return 0;
    switch (cmd) {
    case GW_HWNDFIRST: return sib.front();
    case GW_HWNDLAST: return sib.back();
    case GW_HWNDNEXT: return std::next(it) == sib.end() ? 0 : *std::next(it);
    case GW_HWNDPREV: return it == sib.begin() ? 0 : *std::prev(it);
    default: return 0;
    }
}

HWND GetParent(HWND hwnd) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return 0;
    // The style decides, not where the window sits: a window that lost WS_CHILD has no parent
    // here, and an owned overlapped window none either.
    if (w->style & WS_POPUP) return w->owner;
    if (w->style & WS_CHILD) return w->parent ? w->parent : s.desktop;
    return 0;
}

HWND SetParent(HWND child, HWND newParent) {
    auto& s = state();
    Wnd* w = s.find(child);
    if (!w) return 0;
    if (newParent == s.desktop) newParent = 0;
    if (newParent && (!s.find(newParent) || inSubtree(s, newParent, child))) return 0;
    const HWND old = w->parent ? w->parent : s.desktop;
    unlink(siblingsOf(s, *w), child);
    w->parent = newParent;
    // The owner stays, and the style too: GetParent follows whatever style the window has.
    if (newParent) {
        s.find(newParent)->children.insert(s.find(newParent)->children.begin(), child);
        if (s.active == child) s.active = 0;
    } else {
        placeTop(s, *w);
    }
    return old;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return 0;
    switch (flags) {
    case GA_PARENT: return w->parent ? w->parent : s.desktop;
    case GA_ROOT: return rootOf(s, hwnd);
    case GA_ROOTOWNER: {
        // The chain GetParent gives, which may end at the desktop (a WS_CHILD of the desktop).
        HWND h = hwnd;
        for (int depth = 0; depth < 64; ++depth) {
            const HWND p = GetParent(h);
            if (!p) break;
            h = p;
        }
        return h;
    }
    default: return 0;
    }
}

BOOL IsChild(HWND parent, HWND hwnd) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    return w && w->parent && inSubtree(s, w->parent, parent) ? TRUE : FALSE;
}

HWND FindWindowEx(HWND parent, HWND childAfter, const char* cls, const char* windowName) {
    auto& s = state();
    std::vector<HWND> list;
    if (!parent || parent == s.desktop) list = s.topLevel;
    else if (Wnd* p = s.find(parent)) list = p->children;
    else return 0;
    auto it = list.begin();
    if (childAfter) {
        it = std::find(list.begin(), list.end(), childAfter);
        if (it == list.end()) return 0;
        ++it;
    }
    for (; it != list.end(); ++it) {
        Wnd* w = s.find(*it);
        if (!w) continue;
        if (cls && !sys::iequals(w->cls, cls)) continue;
        if (windowName && !sys::iequals(w->text, windowName)) continue;
        return *it;
    }
    return 0;
}

HWND FindWindow(const char* cls, const char* windowName) { return FindWindowEx(0, 0, cls, windowName); }

BOOL EnumWindows(const WNDENUMPROC& fn, LPARAM lParam) {
    auto& s = state();
    for (HWND h : std::vector<HWND>(s.topLevel))
        if (s.find(h) && !fn(h, lParam)) return FALSE;
    return TRUE;
}

namespace {
bool enumChildren(DesktopState& s, HWND parent, const WNDENUMPROC& fn, LPARAM lParam) {
    Wnd* p = s.find(parent);
    if (!p) return true;
    for (HWND h : std::vector<HWND>(p->children)) {
        if (!s.find(h)) continue;
        if (!fn(h, lParam)) return false;
        if (!enumChildren(s, h, fn, lParam)) return false;
    }
    return true;
}
} // namespace

BOOL EnumChildWindows(HWND parent, const WNDENUMPROC& fn, LPARAM lParam) {
    auto& s = state();
    const bool fromDesktop = !parent || parent == s.desktop;
    const Wnd* p = fromDesktop ? nullptr : s.find(parent);
    if (fromDesktop ? s.topLevel.empty() : (!p || p->children.empty())) return FALSE;  // nothing to enumerate
    if (fromDesktop) {
        for (HWND h : std::vector<HWND>(s.topLevel)) {
            if (!s.find(h)) continue;
            if (!fn(h, lParam) || !enumChildren(s, h, fn, lParam)) return FALSE;
        }
        return TRUE;
    }
    return enumChildren(s, parent, fn, lParam) ? TRUE : FALSE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
    Wnd* w = findWnd(hwnd);
    if (!w) {
        if (processId) *processId = 0;
        return 0;
    }
    if (processId) *processId = w->pid;
    return w->tid;
}

DWORD GetCurrentProcessId() { return sys::Machine::currentProcessId(); }
DWORD GetCurrentThreadId() { return threadOf(sys::Machine::currentProcessId()); }

// ---- Properties -------------------------------------------------------------------------

BOOL SetProp(HWND hwnd, const std::string& name, HANDLE data) {
    Wnd* w = findWnd(hwnd);
    if (!w || name.empty()) return FALSE;
    w->props[sys::upperAscii(name)] = data;
    return TRUE;
}

HANDLE GetProp(HWND hwnd, const std::string& name) {
    Wnd* w = findWnd(hwnd);
    if (!w) return 0;
    auto it = w->props.find(sys::upperAscii(name));
    return it == w->props.end() ? 0 : it->second;
}

HANDLE RemoveProp(HWND hwnd, const std::string& name) {
    Wnd* w = findWnd(hwnd);
    if (!w) return 0;
    auto it = w->props.find(sys::upperAscii(name));
    if (it == w->props.end()) return 0;
    const HANDLE v = it->second;
    w->props.erase(it);
    return v;
}

// ---- Show state and position ------------------------------------------------------------

namespace {
constexpr int kMinimizedPos = -32000;

void leaveMinMax(Wnd& w) {
    w.rect = w.normalRect;
    w.style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
}
void saveNormal(Wnd& w) {
    if (!(w.style & (WS_MINIMIZE | WS_MAXIMIZE))) w.normalRect = w.rect;
}
} // namespace

BOOL ShowWindow(HWND hwnd, int cmd) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return FALSE;
    const BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    const bool topLevel = !w->parent;
    bool activateIt = false, deactivate = false;
    WPARAM sizeKind = 0;
    bool sized = false;
    switch (cmd) {
    case SW_HIDE:
        if (wasVisible) hide(s, hwnd);
        return wasVisible;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
    case SW_SHOWNOACTIVATE:
        if (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) {
            leaveMinMax(*w);
            sized = true, sizeKind = SIZE_RESTORED;
        }
        activateIt = cmd != SW_SHOWNOACTIVATE;
        break;
    case SW_SHOW:
        activateIt = true;
        break;
    case SW_SHOWNA:
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
        if (!(w->style & WS_MINIMIZE)) {
            saveNormal(*w);
            w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
            w->rect = {kMinimizedPos, kMinimizedPos, kMinimizedPos + 160, kMinimizedPos + 24};
            sized = true, sizeKind = SIZE_MINIMIZED;
        }
        activateIt = cmd == SW_SHOWMINIMIZED;
        deactivate = cmd == SW_MINIMIZE;
        break;
    case SW_MAXIMIZE:
        if (!(w->style & WS_MAXIMIZE)) {
            saveNormal(*w);
            w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
            if (topLevel) {
                const sys::Rect wa = s.machine->workArea();
                w->rect = {wa.left, wa.top, wa.right, wa.bottom};
            } else {
                RECT pc;
                GetClientRect(w->parent, &pc);
                w->rect = pc;
            }
            sized = true, sizeKind = SIZE_MAXIMIZED;
        }
        activateIt = true;
        break;
    default:
        return wasVisible;
    }
    show(s, hwnd);
    if (!s.find(hwnd)) return wasVisible;
    if (sized) {
        sendMove(hwnd);
        sendSize(s, hwnd, sizeKind);
    }
    if (!(w = s.find(hwnd))) return wasVisible;
    if (topLevel) {
        if (activateIt && !(w->exStyle & WS_EX_NOACTIVATE)) activate(hwnd, WA_ACTIVE);
        else if (deactivate && s.active == hwnd) activate(nextActivatable(s, hwnd), WA_ACTIVE);
        else if (!wasVisible || cmd == SW_SHOWNA || cmd == SW_SHOWNOACTIVATE) placeTop(s, *w);
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd) {
    auto& s = state();
    if (hwnd && hwnd == s.desktop) return TRUE;
    for (int depth = 0; hwnd && depth < 64; ++depth) {
        Wnd* w = s.find(hwnd);
        if (!w || !(w->style & WS_VISIBLE)) return FALSE;
        hwnd = w->parent;
    }
    return TRUE;
}

BOOL IsIconic(HWND hwnd) {
    Wnd* w = findWnd(hwnd);
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
    Wnd* w = findWnd(hwnd);
    return w && (w->style & WS_MAXIMIZE) ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return FALSE;
    RECT r = w->rect;
    if (!(flags & SWP_NOMOVE)) {
        const int dx = x - r.left, dy = y - r.top;
        r.left += dx, r.right += dx, r.top += dy, r.bottom += dy;
    }
    if (!(flags & SWP_NOSIZE)) {
        r.right = r.left + std::max(cx, 0);
        r.bottom = r.top + std::max(cy, 0);
    }
    const bool moved = r.left != w->rect.left || r.top != w->rect.top;
    const bool sized = (r.right - r.left) != (w->rect.right - w->rect.left) ||
                       (r.bottom - r.top) != (w->rect.bottom - w->rect.top);
    w->rect = r;
    if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normalRect = r;
    if (flags & SWP_HIDEWINDOW) {
        if (w->style & WS_VISIBLE) hide(s, hwnd);
    } else if (flags & SWP_SHOWWINDOW) {
        show(s, hwnd);
    }
    if (moved) sendMove(hwnd);
    if (sized && s.find(hwnd)) sendSize(s, hwnd, SIZE_RESTORED);
    if (!(w = s.find(hwnd))) return TRUE;
    if (!(flags & SWP_NOACTIVATE) && !(flags & SWP_HIDEWINDOW) && !w->parent && (w->style & WS_VISIBLE) &&
        !(w->exStyle & WS_EX_NOACTIVATE))
        activate(hwnd, WA_ACTIVE);
    if (!(w = s.find(hwnd))) return TRUE;
    if (!(flags & SWP_NOZORDER)) {
        switch (insertAfter) {
        case HWND_TOP: placeTop(s, *w); break;
        case HWND_BOTTOM: placeBottom(s, *w); break;
        case HWND_TOPMOST:
            if (!w->parent) setTopmost(s, *w, true);
            placeTop(s, *w);
            break;
        case HWND_NOTOPMOST:
            if (isTopmost(*w)) {
                setTopmost(s, *w, false);
                placeTop(s, *w);
            }
            break;
        default: placeAfter(s, *w, insertAfter); break;
        }
    }
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(hwnd, 0, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL BringWindowToTop(HWND hwnd) { return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

RECT frameOf(DWORD style, DWORD exStyle) {
    int b = 0;
    if (style & WS_THICKFRAME) b = GetSystemMetrics(SM_CXFRAME);
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) b = GetSystemMetrics(SM_CXDLGFRAME);
    else if (style & WS_BORDER) b = GetSystemMetrics(SM_CXBORDER);
    if (exStyle & WS_EX_CLIENTEDGE) b += GetSystemMetrics(SM_CXEDGE);
    int caption = 0;
    if ((style & WS_CAPTION) == WS_CAPTION)
        caption = GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
    return {b, b + caption, b, b};
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (!rect) return FALSE;
    auto& s = state();
    if (hwnd == s.desktop) {
        *rect = {0, 0, s.machine->screenWidth(), s.machine->screenHeight()};
        return TRUE;
    }
    Wnd* w = s.find(hwnd);
    if (!w) return FALSE;
    *rect = screenRect(s, *w);
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!rect) return FALSE;
    auto& s = state();
    if (hwnd == s.desktop) return GetWindowRect(hwnd, rect);
    Wnd* w = s.find(hwnd);
    if (!w) return FALSE;
    if (w->style & WS_MINIMIZE) {
        *rect = {};
        return TRUE;
    }
    const RECT f = frameOf(w->style, w->exStyle);
    *rect = {0, 0, std::max(0, (w->rect.right - w->rect.left) - f.left - f.right),
             std::max(0, (w->rect.bottom - w->rect.top) - f.top - f.bottom)};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    if (!point || !IsWindow(hwnd)) return FALSE;
    if (hwnd == state().desktop) return TRUE;
    const POINT o = clientOrigin(hwnd);
    point->x += o.x, point->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    if (!point || !IsWindow(hwnd)) return FALSE;
    if (hwnd == state().desktop) return TRUE;
    const POINT o = clientOrigin(hwnd);
    point->x -= o.x, point->y -= o.y;
    return TRUE;
}

// ---- Activation, focus, enabling --------------------------------------------------------

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    auto& s = state();
    Wnd* w = s.find(hwnd);
    if (!w) return FALSE;
    const BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable && wasDisabled) {
        w->style &= ~WS_DISABLED;
        dispatch(hwnd, WM_ENABLE, TRUE, 0);
    } else if (!enable && !wasDisabled) {
        w->style |= WS_DISABLED;
        if (s.focus && inSubtree(s, s.focus, hwnd)) setFocusTo(s, 0);
        dispatch(hwnd, WM_ENABLE, FALSE, 0);
    }
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Wnd* w = findWnd(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND SetFocus(HWND hwnd) {
    auto& s = state();
    const HWND old = s.focus;
    if (!hwnd) {
        setFocusTo(s, 0);
        return old;
    }
    Wnd* w = s.find(hwnd);
    if (!w || (w->style & WS_DISABLED)) return 0;
    const HWND root = rootOf(s, hwnd);
    if (root != s.active) activate(root, WA_ACTIVE);
    setFocusTo(s, hwnd);
    return old;
}

HWND GetFocus() { return state().focus; }

BOOL SetForegroundWindow(HWND hwnd) {
    if (!findWnd(hwnd)) return FALSE;
    activate(hwnd, WA_ACTIVE);
    return TRUE;
}

HWND GetForegroundWindow() { return state().active; }

HWND SetActiveWindow(HWND hwnd) {
    auto& s = state();
    const HWND old = s.active;
    if (!s.find(hwnd)) return 0;
    activate(hwnd, WA_ACTIVE);
    return old;
}

HWND GetActiveWindow() { return state().active; }

} // namespace win
