// The hot-key control keeps one 16-bit value (key in the low byte, HOTKEYF_ bits in the high
// byte) and applies its rules only to what the user types. The up-down control keeps a range,
// a position and an acceleration table; a held arrow asks its parent with UDN_DELTAPOS before
// each step and reports the new position with a scroll message, as the system's control does.
#include "CommonControls.h"

#include "Controls.h"
#include "DesktopState.h"
#include "Input.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace win {
namespace detail {

namespace {

struct HotKeyCtl {
    WORD value = 0;
    BYTE invalid = 0;
    BYTE defaultMods = 0;
    HFONT font = 0;
    BYTE held = 0;  // modifiers down, as the control's own key messages tell (queue order)
};

struct UpDownCtl {
    int upper = 0, lower = 100;  // the system's control starts with its range reversed
    int pos = 0;
    int base = 10;
    HWND buddy = 0;
    HFONT font = 0;
    std::vector<UDACCEL32> accel{{0, 1}};
    bool pressed = false;
    bool pressedUp = false;
    DWORD pressedAt = 0;
};

struct CommonCtlState {
    std::map<HWND, HotKeyCtl> hotkeys;
    std::map<HWND, UpDownCtl> updowns;
    std::map<HWND, WORD> windowHotKeys;  // WM_SETHOTKEY
    std::map<HFONT, LOGFONTA> fonts;
    HFONT nextFont = 0x0A0A0010;
};
CommonCtlState& cc() { return sys::Machine::current().service<CommonCtlState>(); }

constexpr UINT kRepeatTimer = 1;
constexpr UINT kRepeatMs = 100;

bool isModifierKey(WPARAM vk) {
    switch (vk) {
    case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_LSHIFT: case VK_RSHIFT:
    case VK_LCONTROL: case VK_RCONTROL: case VK_LMENU: case VK_RMENU: case VK_LWIN:
        return true;
    default:
        return false;
    }
}

BYTE modifierBit(WPARAM vk) {
    switch (vk) {
    case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: return HOTKEYF_SHIFT;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return HOTKEYF_CONTROL;
    case VK_MENU: case VK_LMENU: case VK_RMENU: return HOTKEYF_ALT;
    default: return 0;
    }
}

// HKCOMB_ flag of a Shift/Ctrl/Alt combination, indexed by its HOTKEYF_ bits.
constexpr WPARAM kCombOf[8] = {HKCOMB_NONE, HKCOMB_S, HKCOMB_C, HKCOMB_SC, HKCOMB_A, HKCOMB_SA, HKCOMB_CA, HKCOMB_SCA};

std::string buddyText(int value, int base, bool thousands) {
    if (base == 16) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(value) & 0xFFFFu);
        return buf;
    }
    const std::string digits = std::to_string(value < 0 ? -static_cast<long>(value) : static_cast<long>(value));
    std::string out = value < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (thousands && i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// The buddy's text as a number of the control's base; false when it is none.
bool parseBuddy(const std::string& text, int base, int& out) {
    std::string t;
    for (char c : text)
        if (c != ',' && c != ' ') t += c;
    if (base == 16 && t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 12) return false;
    char* end = nullptr;
    const long v = std::strtol(t.c_str(), &end, base);
    if (*end != '\0') return false;
    out = static_cast<int>(v);
    return true;
}

void showInBuddy(HWND h, const UpDownCtl& u) {
    Wnd* w = findWnd(h);
    if (!w || !(w->style & UDS_SETBUDDYINT) || !IsWindow(u.buddy)) return;
    SetWindowText(u.buddy, buddyText(u.pos, u.base, !(w->style & UDS_NOTHOUSANDS)));
}

int clampToRange(const UpDownCtl& u, int v) {
    return std::clamp(v, std::min(u.lower, u.upper), std::max(u.lower, u.upper));
}

// One step of an arrow held for some time: ask the parent, then move and report.
void step(HWND h, bool up) {
    Wnd* w = findWnd(h);
    if (!w || (w->style & WS_DISABLED)) return;
    const HWND parent = w->parent;
    const UINT id = static_cast<UINT>(w->id);
    const bool horz = w->style & UDS_HORZ, wrap = w->style & UDS_WRAP;
    UINT inc = 1;
    {
        UpDownCtl& u = cc().updowns[h];
        const DWORD heldSec = u.pressed ? (GetTickCount() - u.pressedAt) / 1000 : 0;
        for (const UDACCEL32& a : u.accel)
            if (a.nSec <= heldSec) inc = a.nInc;
    }
    const UpDownCtl before = cc().updowns[h];
    // The up (right) arrow moves towards the range's maximum, whichever end that is.
    int delta = static_cast<int>(inc);
    if (!up) delta = -delta;
    if (before.upper < before.lower) delta = -delta;
    NMUPDOWN32 nm;
    nm.hdr = {h, id, UDN_DELTAPOS};
    nm.iPos = before.pos;
    nm.iDelta = delta;
    {
        PinnedMemory pin(&nm, sizeof nm);
        if (SendMessage(parent, WM_NOTIFY, id, pin.address()) != 0) return;
    }
    auto it = cc().updowns.find(h);
    if (it == cc().updowns.end()) return;  // destroyed by the parent
    UpDownCtl& u = it->second;
    const int lo = std::min(u.lower, u.upper), hi = std::max(u.lower, u.upper);
    int next = u.pos + nm.iDelta;
    if (next > hi) next = wrap ? lo : hi;
    if (next < lo) next = wrap ? hi : lo;
    if (next == u.pos) return;
    u.pos = next;
    showInBuddy(h, u);
    SendMessage(parent, horz ? WM_HSCROLL : WM_VSCROLL, static_cast<WPARAM>(MAKELPARAM(SB_THUMBPOSITION, next)), h);
}

void release(HWND h) {
    auto it = cc().updowns.find(h);
    if (it == cc().updowns.end() || !it->second.pressed) return;
    it->second.pressed = false;
    KillTimer(h, kRepeatTimer);
    if (GetCapture() == h) ReleaseCapture();
}

} // namespace

LRESULT hotkeyProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case HKM_SETHOTKEY:
        cc().hotkeys[h].value = static_cast<WORD>(wParam & 0xFFFF);
        return 0;
    case HKM_GETHOTKEY:
        return cc().hotkeys[h].value;
    case HKM_SETRULES: {
        HotKeyCtl& k = cc().hotkeys[h];
        k.invalid = static_cast<BYTE>(wParam & 0xFF);
        k.defaultMods = static_cast<BYTE>(lParam & 0xFF);
        return 0;
    }
    case WM_SETFONT:
        cc().hotkeys[h].font = static_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return cc().hotkeys[h].font;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        HotKeyCtl& k = cc().hotkeys[h];
        if (const BYTE bit = modifierBit(wParam)) {
            k.held |= bit;
            return 0;
        }
        if (isModifierKey(wParam)) return 0;
        BYTE mods = k.held;
        if (mods == 0 && (wParam == VK_BACK || wParam == VK_DELETE)) {
            k.value = 0;
        } else {
            if (k.invalid & kCombOf[mods & 7]) mods = k.defaultMods & (HOTKEYF_SHIFT | HOTKEYF_CONTROL | HOTKEYF_ALT);
            if (static_cast<uint32_t>(lParam) & (1u << 24)) mods |= HOTKEYF_EXT;
            k.value = static_cast<WORD>((wParam & 0xFF) | (static_cast<WORD>(mods) << 8));
        }
        if (Wnd* w = findWnd(h); w && w->parent)
            SendMessage(w->parent, WM_COMMAND, static_cast<WPARAM>((w->id & 0xFFFF) | (EN_CHANGE << 16)), h);
        return 0;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        cc().hotkeys[h].held &= static_cast<BYTE>(~modifierBit(wParam));
        return 0;
    case WM_KILLFOCUS:
        cc().hotkeys[h].held = 0;
        return DefWindowProc(h, msg, wParam, lParam);
    case WM_CHAR:
    case WM_SYSCHAR:
        return 0;
    case WM_NCDESTROY:
        cc().hotkeys.erase(h);
        return 0;
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

LRESULT updownProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case UDM_SETRANGE: {
        UpDownCtl& u = cc().updowns[h];
        u.upper = std::clamp<int>(static_cast<int16_t>(LOWORD(static_cast<DWORD>(lParam))), UD_MINVAL, UD_MAXVAL);
        u.lower = std::clamp<int>(static_cast<int16_t>(HIWORD(static_cast<DWORD>(lParam))), UD_MINVAL, UD_MAXVAL);
        return 0;
    }
    case UDM_GETRANGE: {
        const UpDownCtl& u = cc().updowns[h];
        return MAKELPARAM(u.upper, u.lower);
    }
    case UDM_SETPOS: {
        UpDownCtl& u = cc().updowns[h];
        const int old = u.pos;
        u.pos = clampToRange(u, static_cast<int16_t>(LOWORD(static_cast<DWORD>(lParam))));
        showInBuddy(h, u);
        return old;
    }
    case UDM_GETPOS: {
        UpDownCtl& u = cc().updowns[h];
        Wnd* w = findWnd(h);
        if (w && (w->style & UDS_SETBUDDYINT) && IsWindow(u.buddy)) {
            int v = 0;
            if (!parseBuddy(windowText(u.buddy), u.base, v) || v != clampToRange(u, v))
                return MAKELPARAM(u.pos, 1);  // the high word tells the text is no position
            u.pos = v;
        }
        return MAKELPARAM(u.pos, 0);
    }
    case UDM_SETBUDDY: {
        UpDownCtl& u = cc().updowns[h];
        const HWND old = u.buddy;
        u.buddy = static_cast<HWND>(wParam);
        showInBuddy(h, u);
        return old;
    }
    case UDM_GETBUDDY:
        return cc().updowns[h].buddy;
    case UDM_SETACCEL: {
        const UDACCEL32* table = pinnedAs<UDACCEL32>(lParam);
        size_t bytes = 0;
        pinnedAt(lParam, &bytes);
        const size_t n = std::min<size_t>(wParam, table ? bytes / sizeof(UDACCEL32) : 0);
        if (n == 0) return FALSE;
        std::vector<UDACCEL32> accel(table, table + n);
        std::stable_sort(accel.begin(), accel.end(), [](const UDACCEL32& a, const UDACCEL32& b) { return a.nSec < b.nSec; });
        cc().updowns[h].accel = std::move(accel);
        return TRUE;
    }
    case UDM_GETACCEL: {
        const auto& accel = cc().updowns[h].accel;
        size_t bytes = 0;
        char* p = pinnedAt(lParam, &bytes);
        const size_t n = std::min({static_cast<size_t>(wParam), accel.size(), p ? bytes / sizeof(UDACCEL32) : 0});
        if (n) std::memcpy(p, accel.data(), n * sizeof(UDACCEL32));
        return static_cast<LRESULT>(accel.size());
    }
    case UDM_SETBASE: {
        if (wParam != 10 && wParam != 16) return 0;
        UpDownCtl& u = cc().updowns[h];
        const int old = u.base;
        u.base = static_cast<int>(wParam);
        showInBuddy(h, u);
        return old;
    }
    case UDM_GETBASE:
        return cc().updowns[h].base;
    case WM_SETFONT:
        cc().updowns[h].font = static_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return cc().updowns[h].font;
    case WM_LBUTTONDOWN: {
        Wnd* w = findWnd(h);
        if (!w || (w->style & WS_DISABLED)) return 0;
        RECT c;
        GetClientRect(h, &c);
        const bool up = (w->style & UDS_HORZ) ? GET_X_LPARAM(lParam) >= c.right / 2 : GET_Y_LPARAM(lParam) < c.bottom / 2;
        {
            UpDownCtl& u = cc().updowns[h];
            u.pressed = true;
            u.pressedUp = up;
            u.pressedAt = GetTickCount();
        }
        SetCapture(h);
        SetTimer(h, kRepeatTimer, kRepeatMs);
        step(h, up);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kRepeatTimer) {
            auto it = cc().updowns.find(h);
            if (it != cc().updowns.end() && it->second.pressed) step(h, it->second.pressedUp);
            else KillTimer(h, kRepeatTimer);
        }
        return 0;
    case WM_LBUTTONUP:
        release(h);
        return 0;
    case WM_KEYDOWN: {
        Wnd* w = findWnd(h);
        if (!w || !(w->style & UDS_ARROWKEYS)) return 0;
        const bool horz = w->style & UDS_HORZ;
        if (wParam == (horz ? VK_RIGHT : VK_UP)) step(h, true);
        else if (wParam == (horz ? VK_LEFT : VK_DOWN)) step(h, false);
        return 0;
    }
    case WM_NCDESTROY:
        release(h);
        cc().updowns.erase(h);
        return 0;
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

LRESULT setWindowHotKey(HWND h, WPARAM value) {
    Wnd* w = findWnd(h);
    if (!w || (w->style & WS_CHILD)) return 0;
    const BYTE vk = static_cast<BYTE>(value & 0xFF);
    if (vk == VK_ESCAPE || vk == VK_SPACE || vk == VK_TAB) return -1;
    auto& keys = cc().windowHotKeys;
    std::erase_if(keys, [](const auto& e) { return !IsWindow(e.first); });
    if (vk == 0) {
        keys.erase(h);
        return 1;
    }
    const WORD v = static_cast<WORD>(value & 0xFFFF);
    const bool taken = std::any_of(keys.begin(), keys.end(), [&](const auto& e) { return e.first != h && e.second == v; });
    keys[h] = v;
    return taken ? 2 : 1;
}

LRESULT windowHotKey(HWND h) {
    auto& keys = cc().windowHotKeys;
    auto it = keys.find(h);
    return it == keys.end() || !IsWindow(h) ? 0 : it->second;
}

HWND windowForHotKey(BYTE vk, BYTE hotkeyMods) {
    for (const auto& [hwnd, v] : cc().windowHotKeys)
        if ((v & 0xFF) == vk && ((v >> 8) & 7) == (hotkeyMods & 7) && IsWindow(hwnd)) return hwnd;
    return 0;
}

} // namespace detail

void InitCommonControls() {}
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* icc) {
    return icc && icc->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}

HFONT CreateFontIndirect(const LOGFONTA* lf) {
    if (!lf) return 0;
    auto& s = detail::cc();
    const HFONT h = s.nextFont++;
    s.fonts[h] = *lf;
    s.fonts[h].lfFaceName[LF_FACESIZE - 1] = '\0';
    return h;
}

BOOL DeleteFont(HFONT font) { return detail::cc().fonts.erase(font) ? TRUE : FALSE; }

const LOGFONTA* fontDescription(HFONT font) {
    auto& f = detail::cc().fonts;
    auto it = f.find(font);
    return it == f.end() ? nullptr : &it->second;
}

size_t liveFontCount() { return detail::cc().fonts.size(); }

HWND CreateUpDownControl(DWORD style, int x, int y, int cx, int cy, HWND parent, int id, HANDLE,
                         HWND buddy, int upper, int lower, int pos) {
    const HWND h = CreateWindowEx(0, "msctls_updown32", "", style, x, y, cx, cy, parent, id);
    if (!h) return 0;
    SendMessage(h, UDM_SETBUDDY, static_cast<WPARAM>(buddy), 0);
    SendMessage(h, UDM_SETRANGE, 0, MAKELPARAM(upper, lower));
    SendMessage(h, UDM_SETPOS, 0, MAKELPARAM(pos, 0));
    return h;
}

} // namespace win
