#include "Input.h"
#include "WindowShape.h"

#include "CommonControls.h"
#include "Cursor.h"
#include "DesktopState.h"
#include "platform/system/CodePage.h"
#include "platform/system/LastError.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>

#include "Screen.h"

namespace win {

using namespace detail;

namespace {

struct HotKey {
    HWND hwnd;
    int id;
    UINT mods;
    UINT vk;
};

constexpr DWORD kErrorNotEnoughMemory = 8;

struct AtomEntry {
    std::string name;
    int count = 0;
};

struct InputState {
    explicit InputState(sys::Machine* m) : cursor{m->screenWidth() / 2, m->screenHeight() / 2} {}
    POINT cursor;
    HWND capture = 0;
    BYTE keys[256] = {};  // 0x80 down, 0x01 toggled
    HWND tracked = 0;
    DWORD trackFlags = 0;
    std::vector<HotKey> hotKeys;
    std::map<ATOM, AtomEntry> atoms;
    ATOM nextAtom = 0xC000;
    std::deque<std::vector<POINT>> dragPaths;
};
InputState& in() {
    auto& m = sys::Machine::current();
    return m.service<InputState>(&m);
}

constexpr BYTE kScan[256] = {
    // 0x00
    0, 0, 0, 0x46, 0, 0, 0, 0, 0x0E, 0x0F, 0, 0, 0x4C, 0x1C, 0, 0,
    // 0x10 shift ctrl alt pause caps
    0x2A, 0x1D, 0x38, 0x45, 0x3A, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0,
    // 0x20 space pgup pgdn end home left up right down
    0x39, 0x49, 0x51, 0x4F, 0x47, 0x4B, 0x48, 0x4D, 0x50, 0, 0, 0, 0x54, 0x52, 0x53, 0x63,
    // 0x30 '0'..'9'
    0x0B, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0, 0, 0, 0, 0, 0,
    // 0x40 'A'..'O'
    0, 0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32, 0x31, 0x18,
    // 0x50 'P'..'Z', win keys
    0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C, 0x5B, 0x5C, 0x5D, 0, 0x5F,
    // 0x60 numpad 0-9, * + sep - . /
    0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x37, 0x4E, 0, 0x4A, 0x53, 0x35,
    // 0x70 F1..F16
    0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x57, 0x58, 0x64, 0x65, 0x66, 0x67,
    // 0x80
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0x90 numlock scroll
    0x45, 0x46, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0 lshift rshift lctrl rctrl lalt ralt
    0x2A, 0x36, 0x1D, 0x1D, 0x38, 0x38, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xB0 .. OEM_1 = + , - . /
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x27, 0x0D, 0x33, 0x0C, 0x34, 0x35,
    // 0xC0 `
    0x29, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xD0 [ \ ] '
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1A, 0x2B, 0x1B, 0x28, 0,
    // 0xE0
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xF0
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

bool isExtended(BYTE vk) {
    switch (vk) {
    case VK_PRIOR: case VK_NEXT: case VK_END: case VK_HOME: case VK_LEFT: case VK_UP: case VK_RIGHT:
    case VK_DOWN: case VK_INSERT: case VK_DELETE: case VK_DIVIDE: case VK_RCONTROL: case VK_RMENU:
    case VK_LWIN: case VK_NUMLOCK: case VK_SNAPSHOT:
        return true;
    default:
        return false;
    }
}

struct CharKey {
    BYTE vk = 0;
    bool shift = false;
};
// The US-layout key that types an ASCII character.
std::optional<CharKey> keyForChar(char c) {
    if (c >= 'a' && c <= 'z') return CharKey{static_cast<BYTE>(c - 'a' + 'A'), false};
    if (c >= 'A' && c <= 'Z') return CharKey{static_cast<BYTE>(c), true};
    if (c >= '0' && c <= '9') return CharKey{static_cast<BYTE>(c), false};
    static const char shiftedDigits[] = ")!@#$%^&*(";
    if (const char* p = std::strchr(shiftedDigits, c); p && c) return CharKey{static_cast<BYTE>('0' + (p - shiftedDigits)), true};
    struct Oem { char plain, shifted; BYTE vk; };
    static const Oem oem[] = {{';', ':', VK_OEM_1}, {'=', '+', VK_OEM_PLUS}, {',', '<', VK_OEM_COMMA},
                              {'-', '_', VK_OEM_MINUS}, {'.', '>', VK_OEM_PERIOD}, {'/', '?', VK_OEM_2},
                              {'`', '~', VK_OEM_3}, {'[', '{', VK_OEM_4}, {'\\', '|', VK_OEM_5},
                              {']', '}', VK_OEM_6}, {'\'', '"', VK_OEM_7}};
    for (const auto& o : oem) {
        if (c == o.plain) return CharKey{o.vk, false};
        if (c == o.shifted) return CharKey{o.vk, true};
    }
    if (c == ' ') return CharKey{VK_SPACE, false};
    if (c == '\t') return CharKey{VK_TAB, false};
    if (c == '\r' || c == '\n') return CharKey{VK_RETURN, false};
    return std::nullopt;
}

char plainChar(BYTE vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return static_cast<char>(vk);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return static_cast<char>('0' + vk - VK_NUMPAD0);
    for (int c = 32; c < 127; ++c)
        if (auto k = keyForChar(static_cast<char>(c)); k && !k->shift && k->vk == vk && !(c >= 'a' && c <= 'z'))
            return static_cast<char>(c);
    switch (vk) {
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    case VK_BACK: return 8;
    case VK_TAB: return '\t';
    case VK_RETURN: return '\r';
    case VK_ESCAPE: return 27;
    default: return 0;
    }
}

// The character a key makes with the current modifiers, as TranslateMessage gives it.
int charFor(const InputState& s, BYTE vk) {
    const bool shift = s.keys[VK_SHIFT] & 0x80, ctrl = s.keys[VK_CONTROL] & 0x80, alt = s.keys[VK_MENU] & 0x80;
    if (ctrl && alt) return 0;
    if (ctrl) {
        if (vk >= 'A' && vk <= 'Z') return vk - 'A' + 1;
        if (vk == VK_RETURN) return '\n';
        if (vk == VK_BACK) return 0x7F;
        if (vk == VK_ESCAPE || vk == VK_OEM_4) return 27;
        return 0;
    }
    const char plain = plainChar(vk);
    if (!plain) return 0;
    if (vk >= 'A' && vk <= 'Z') {
        const bool upper = shift != static_cast<bool>(s.keys[VK_CAPITAL] & 0x01);
        return upper ? vk : vk - 'A' + 'a';
    }
    if (!shift || (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE)) return static_cast<unsigned char>(plain);
    for (int c = 32; c < 127; ++c)
        if (auto k = keyForChar(static_cast<char>(c)); k && k->shift && k->vk == vk) return c;
    return static_cast<unsigned char>(plain);
}

UINT currentMods(const InputState& s) {
    UINT m = 0;
    if (s.keys[VK_MENU] & 0x80) m |= MOD_ALT;
    if (s.keys[VK_CONTROL] & 0x80) m |= MOD_CONTROL;
    if (s.keys[VK_SHIFT] & 0x80) m |= MOD_SHIFT;
    if (s.keys[VK_LWIN] & 0x80) m |= MOD_WIN;
    return m;
}

HWND keyTarget() {
    auto& ds = state();
    if (!ds.active) return 0;
    if (ds.focus && GetAncestor(ds.focus, GA_ROOT) == ds.active) return ds.focus;
    return ds.active;
}

void setKey(InputState& s, BYTE vk, bool down) {
    auto set = [&](BYTE k) {
        if (down && !(s.keys[k] & 0x80)) s.keys[k] ^= 0x01;
        s.keys[k] = static_cast<BYTE>((s.keys[k] & 0x01) | (down ? 0x80 : 0));
    };
    set(vk);
    if (vk == VK_LSHIFT || vk == VK_RSHIFT) set(VK_SHIFT);
    if (vk == VK_LCONTROL || vk == VK_RCONTROL) set(VK_CONTROL);
    if (vk == VK_LMENU || vk == VK_RMENU) set(VK_MENU);
}

bool containsPt(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

HWND deepest(HWND h, POINT p, int depth) {
    if (depth > 32) return h;
    Wnd* w = findWnd(h);
    if (!w) return h;
    for (HWND c : w->children) {
        Wnd* cw = findWnd(c);
        if (!cw || !(cw->style & WS_VISIBLE)) continue;
        RECT r;
        GetWindowRect(c, &r);
        if (!containsPt(r, p)) continue;
        if (cw->style & WS_DISABLED) return h;
        return deepest(c, p, depth + 1);
    }
    return h;
}

WPARAM mouseKeys(const InputState& s) {
    WPARAM k = 0;
    if (s.keys[VK_LBUTTON] & 0x80) k |= MK_LBUTTON;
    if (s.keys[VK_RBUTTON] & 0x80) k |= MK_RBUTTON;
    if (s.keys[VK_SHIFT] & 0x80) k |= MK_SHIFT;
    if (s.keys[VK_CONTROL] & 0x80) k |= MK_CONTROL;
    return k;
}

enum class MouseAct { Move, Down, Up, DblClk };

void mouseEvent(int x, int y, MouseAct act, MouseButton b) {
    auto& s = in();
    s.cursor = {x, y};
    const POINT p{x, y};
    const HWND target = s.capture && IsWindow(s.capture) ? s.capture : WindowFromPoint(p);
    LRESULT hit = HTNOWHERE;
    if (target) hit = s.capture == target ? HTCLIENT : SendMessage(target, WM_NCHITTEST, 0, MAKELPARAM(x, y));
    const bool client = hit == HTCLIENT;
    // A window that asked to hear of the mouse leaving it hears it once.
    if (s.tracked) {
        const bool ncTrack = s.trackFlags & TME_NONCLIENT;
        if (target != s.tracked || client == ncTrack) {
            const HWND t = s.tracked;
            s.tracked = 0;
            SendMessage(t, ncTrack ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0);
        }
    }
    if (!target) return;
    if (act == MouseAct::Down || act == MouseAct::DblClk) {
        const HWND root = GetAncestor(target, GA_ROOT);
        if (root && root != GetForegroundWindow() && IsWindowEnabled(root)) detail::activate(root, WA_CLICKACTIVE);
    }
    if (act == MouseAct::Down) setKey(s, b == MouseButton::Left ? VK_LBUTTON : VK_RBUTTON, true);
    if (act == MouseAct::Up) setKey(s, b == MouseButton::Left ? VK_LBUTTON : VK_RBUTTON, false);
    if (!IsWindow(target)) return;
    POINT cp = p;
    ScreenToClient(target, &cp);
    const bool left = b == MouseButton::Left;
    UINT msg = 0;
    switch (act) {
    case MouseAct::Move: msg = WM_MOUSEMOVE; break;
    case MouseAct::Down: msg = left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN; break;
    case MouseAct::Up: msg = left ? WM_LBUTTONUP : WM_RBUTTONUP; break;
    case MouseAct::DblClk: msg = left ? WM_LBUTTONDBLCLK : WM_RBUTTONDBLCLK; break;
    }
    if (s.capture != target) sendSetCursor(target, hit, msg);
    if (client) SendMessage(target, msg, mouseKeys(s), MAKELPARAM(cp.x, cp.y));
    else SendMessage(target, msg - WM_MOUSEMOVE + WM_NCMOUSEMOVE, static_cast<WPARAM>(hit), MAKELPARAM(x, y));
}

} // namespace

// ---- Cursor and mouse -------------------------------------------------------------------

BOOL GetCursorPos(POINT* point) {
    if (!point) return FALSE;
    *point = in().cursor;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    auto& m = sys::Machine::current();
    in().cursor = {std::clamp(x, 0, m.screenWidth() - 1), std::clamp(y, 0, m.screenHeight() - 1)};
    return TRUE;
}

HWND WindowFromPoint(POINT point) {
    auto& s = state();
    for (HWND h : s.topLevel) {
        Wnd* w = s.find(h);
        if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) continue;
        RECT r;
        GetWindowRect(h, &r);
        if (containsPt(r, point) && inWindowRegion(h, point.x - r.left, point.y - r.top)) return deepest(h, point, 0);
    }
    return 0;
}

HWND ChildWindowFromPoint(HWND parent, POINT clientPoint) {
    Wnd* p = findWnd(parent);
    if (!p) return 0;
    POINT sp = clientPoint;
    ClientToScreen(parent, &sp);
    for (HWND c : p->children) {
        RECT r;
        GetWindowRect(c, &r);
        if (containsPt(r, sp)) return c;
    }
    RECT cr;
    GetClientRect(parent, &cr);
    return containsPt(cr, clientPoint) ? parent : 0;
}

HWND SetCapture(HWND hwnd) {
    auto& s = in();
    const HWND old = s.capture;
    s.capture = IsWindow(hwnd) ? hwnd : 0;
    return old;
}
BOOL ReleaseCapture() {
    in().capture = 0;
    return TRUE;
}
HWND GetCapture() { return in().capture; }

BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme) {
    if (!tme) return FALSE;
    auto& s = in();
    if (tme->dwFlags & TME_CANCEL) {
        if (s.tracked == tme->hwndTrack) s.tracked = 0;
        return TRUE;
    }
    if (!IsWindow(tme->hwndTrack)) return FALSE;
    if (tme->dwFlags & TME_LEAVE) {
        s.tracked = tme->hwndTrack;
        s.trackFlags = tme->dwFlags;
    }
    return TRUE;
}

// ---- Keyboard ---------------------------------------------------------------------------

SHORT GetAsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    return (in().keys[vk] & 0x80) ? static_cast<SHORT>(0x8000) : 0;
}

SHORT GetKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    const BYTE k = in().keys[vk];
    return static_cast<SHORT>(((k & 0x80) ? 0xFF80 : 0) | (k & 0x01));
}

UINT MapVirtualKey(UINT code, UINT mapType) {
    switch (mapType) {
    case MAPVK_VK_TO_VSC: return code < 256 ? kScan[code] : 0;
    case MAPVK_VSC_TO_VK:
        for (UINT vk = 1; vk < 0xA0; ++vk)  // the generic keys, not the left/right ones
            if (kScan[vk] == code && code) return vk;
        return 0;
    case MAPVK_VK_TO_CHAR: return code < 256 ? static_cast<unsigned char>(plainChar(static_cast<BYTE>(code))) : 0;
    default: return 0;
    }
}

LPARAM keyLParam(BYTE vk, bool up) {
    uint32_t l = 1u | (static_cast<uint32_t>(MapVirtualKey(vk, MAPVK_VK_TO_VSC)) << 16);
    if (up) l |= 0xC0000000u;
    return static_cast<LPARAM>(l);
}

void keybd_event(BYTE vk, BYTE scan, DWORD flags, DWORD) {
    auto& s = in();
    const bool up = flags & KEYEVENTF_KEYUP;
    if (!scan) scan = static_cast<BYTE>(MapVirtualKey(vk, MAPVK_VK_TO_VSC));
    const bool altWasDown = s.keys[VK_MENU] & 0x80;
    setKey(s, vk, !up);
    if (!up) {
        const UINT mods = currentMods(s);
        for (const auto& hk : s.hotKeys)
            if (hk.vk == vk && hk.mods == mods && IsWindow(hk.hwnd)) {
                PostMessage(hk.hwnd, WM_HOTKEY, static_cast<WPARAM>(hk.id), MAKELPARAM(mods, vk));
                return;
            }
        // A window's own hot key (WM_SETHOTKEY) activates it.
        const BYTE hkMods = static_cast<BYTE>(((mods & MOD_SHIFT) ? HOTKEYF_SHIFT : 0) |
                                              ((mods & MOD_CONTROL) ? HOTKEYF_CONTROL : 0) |
                                              ((mods & MOD_ALT) ? HOTKEYF_ALT : 0));
        if (const HWND w = detail::windowForHotKey(vk, hkMods)) {
            PostMessage(w, WM_SYSCOMMAND, SC_HOTKEY, w);
            return;
        }
    }
    const HWND target = keyTarget();
    if (!target) return;
    const bool alt = (s.keys[VK_MENU] & 0x80) || (up && altWasDown && vk != VK_MENU);
    const bool ctrl = s.keys[VK_CONTROL] & 0x80;
    const bool sys = (alt && !ctrl) || vk == VK_F10 || ((vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU) && !ctrl);
    uint32_t l = 1u | (static_cast<uint32_t>(scan) << 16);
    if (isExtended(vk) || (flags & KEYEVENTF_EXTENDEDKEY)) l |= 1u << 24;
    if (alt && !ctrl) l |= 1u << 29;
    if (up) l |= 0xC0000000u;
    const UINT msg = up ? (sys ? WM_SYSKEYUP : WM_KEYUP) : (sys ? WM_SYSKEYDOWN : WM_KEYDOWN);
    PostMessage(target, msg, vk, static_cast<LPARAM>(l));
    if (!up)
        if (const int ch = charFor(s, vk))
            PostMessage(target, (alt && !ctrl) ? WM_SYSCHAR : WM_CHAR, static_cast<WPARAM>(ch), static_cast<LPARAM>(l));
}

SHORT VkKeyScanA(char ch) {
    const auto k = keyForChar(ch);
    if (!k) return -1;
    return static_cast<SHORT>(k->vk | (k->shift ? 0x100 : 0));
}

// ---- Hot keys and atoms -----------------------------------------------------------------

BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk) {
    auto& s = in();
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::erase_if(s.hotKeys, [](const HotKey& k) { return !IsWindow(k.hwnd); });
    modifiers &= MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
    for (const auto& k : s.hotKeys)
        if ((k.mods == modifiers && k.vk == vk) || (k.hwnd == hwnd && k.id == id)) {
            SetLastError(ERROR_HOTKEY_ALREADY_REGISTERED);
            return FALSE;
        }
    s.hotKeys.push_back({hwnd, id, modifiers, vk});
    return TRUE;
}

BOOL UnregisterHotKey(HWND hwnd, int id) {
    auto& s = in();
    const auto n = std::erase_if(s.hotKeys, [&](const HotKey& k) { return k.hwnd == hwnd && k.id == id; });
    if (!n) SetLastError(ERROR_HOTKEY_NOT_REGISTERED);
    return n ? TRUE : FALSE;
}

ATOM GlobalFindAtom(const std::string& name) {
    for (const auto& [a, e] : in().atoms)
        if (sys::iequals(e.name, name)) return a;
    return 0;
}

ATOM GlobalAddAtom(const std::string& name) {
    // Atom names hold up to 255 characters (UTF-16 units), whatever their byte length.
    if (name.empty() || sys::toUtf16(name).size() > 255) {
        SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return 0;
    }
    auto& s = in();
    if (ATOM a = GlobalFindAtom(name)) {
        s.atoms[a].count++;
        return a;
    }
    if (s.nextAtom == 0xFFFF) {
        SetLastError(kErrorNotEnoughMemory);
        return 0;
    }
    const ATOM a = s.nextAtom++;
    s.atoms[a] = {name, 1};
    return a;
}

ATOM GlobalDeleteAtom(ATOM atom) {
    auto& s = in();
    auto it = s.atoms.find(atom);
    if (it == s.atoms.end()) {
        SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
        return atom;
    }
    if (--it->second.count <= 0) s.atoms.erase(it);
    return 0;
}

// ---- Move and size loop ----------------------------------------------------------------

void detail::moveSizeLoop(HWND hwnd, LRESULT hit) {
    auto& s = in();
    std::vector<POINT> path;
    if (!s.dragPaths.empty()) {
        path = std::move(s.dragPaths.front());
        s.dragPaths.pop_front();
    }
    if (!IsWindow(hwnd) || IsIconic(hwnd) || IsZoomed(hwnd)) return;
    const bool moving = hit == HTCAPTION;
    WPARAM edge = 0;
    switch (hit) {
    case HTLEFT: edge = WMSZ_LEFT; break;
    case HTRIGHT: edge = WMSZ_RIGHT; break;
    case HTTOP: edge = WMSZ_TOP; break;
    case HTTOPLEFT: edge = WMSZ_TOPLEFT; break;
    case HTTOPRIGHT: edge = WMSZ_TOPRIGHT; break;
    case HTBOTTOM: edge = WMSZ_BOTTOM; break;
    case HTBOTTOMLEFT: edge = WMSZ_BOTTOMLEFT; break;
    default: edge = WMSZ_BOTTOMRIGHT; break;
    }
    BOOL full = TRUE;
    SystemParametersInfo(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
    SendMessage(hwnd, WM_ENTERSIZEMOVE, 0, 0);
    const POINT start = s.cursor;
    RECT startRect;
    GetWindowRect(hwnd, &startRect);
    RECT cur = startRect;
    const HWND parent = GetAncestor(hwnd, GA_PARENT);
    auto place = [&](const RECT& r) {
        POINT tl{r.left, r.top};
        if (parent != GetDesktopWindow()) ScreenToClient(parent, &tl);
        SetWindowPos(hwnd, 0, tl.x, tl.y, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (const POINT& p : path) {
        if (!IsWindow(hwnd)) return;
        SetCursorPos(p.x, p.y);
        const LONG dx = s.cursor.x - start.x, dy = s.cursor.y - start.y;
        RECT r = startRect;
        if (moving) {
            r.left += dx, r.right += dx, r.top += dy, r.bottom += dy;
        } else {
            if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT) r.left = std::min(r.left + dx, r.right);
            if (edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT) r.right = std::max(r.right + dx, r.left);
            if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT) r.top = std::min(r.top + dy, r.bottom);
            if (edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT) r.bottom = std::max(r.bottom + dy, r.top);
        }
        {
            PinnedMemory mem(&r, sizeof r);
            SendMessage(hwnd, moving ? WM_MOVING : WM_SIZING, moving ? 0 : edge, mem.address());
        }
        cur = r;
        if (full) place(cur);
    }
    if (!IsWindow(hwnd)) return;
    if (!full && !(cur == startRect)) place(cur);
    s.keys[VK_LBUTTON] &= 0x01;  // the loop ends when the button goes up
    SendMessage(hwnd, WM_EXITSIZEMOVE, 0, 0);
}

// ---- Test side --------------------------------------------------------------------------

void mouseMove(int x, int y) { mouseEvent(x, y, MouseAct::Move, MouseButton::Left); }
void mouseDown(int x, int y, MouseButton b) { mouseEvent(x, y, MouseAct::Down, b); }
void mouseUp(int x, int y, MouseButton b) { mouseEvent(x, y, MouseAct::Up, b); }
void mouseClick(int x, int y, MouseButton b) {
    mouseDown(x, y, b);
    mouseUp(x, y, b);
}
void mouseDoubleClick(int x, int y) {
    mouseClick(x, y);
    mouseEvent(x, y, MouseAct::DblClk, MouseButton::Left);
    mouseUp(x, y);
}

void queueMoveSize(std::vector<POINT> path) { in().dragPaths.push_back(std::move(path)); }

void pressKey(BYTE vk, UINT modifiers) {
    if (modifiers & MOD_SHIFT) keybd_event(VK_SHIFT, 0, 0, 0);
    if (modifiers & MOD_CONTROL) keybd_event(VK_CONTROL, 0, 0, 0);
    if (modifiers & MOD_ALT) keybd_event(VK_MENU, 0, 0, 0);
    if (modifiers & MOD_WIN) keybd_event(VK_LWIN, 0, 0, 0);
    keybd_event(vk, 0, 0, 0);
    keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
    if (modifiers & MOD_WIN) keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
    if (modifiers & MOD_ALT) keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
    if (modifiers & MOD_CONTROL) keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);
    if (modifiers & MOD_SHIFT) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    auto& m = sys::Machine::current();
    for (int round = 0; round < 64 && pendingPostedMessages() > 0; ++round) m.pumpOnce();
}

} // namespace win
