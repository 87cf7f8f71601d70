// Single-line and multi-line edits keep a selection in characters; typed characters replace it.
// Buttons click on a space key going up or a left button released over them, and tell their
// parent with WM_COMMAND, as the system's controls do.
#include "Controls.h"

#include "DesktopState.h"
#include "Input.h"
#include "platform/system/CodePage.h"

#include <algorithm>
#include <cstring>

namespace win {
namespace detail {

namespace {

struct ControlState {
    size_t selStart = 0, selEnd = 0;  // characters
    size_t limit = 0;                 // 0: none
    int leadByte = 0;                 // first byte of a double-byte WM_CHAR pair
    WPARAM check = BST_UNCHECKED;
    bool pushed = false;
};
struct Controls {
    std::map<HWND, ControlState> state;
};
ControlState& ctl(HWND h) { return sys::Machine::current().service<Controls>().state[h]; }
void forgetCtl(HWND h) { sys::Machine::current().service<Controls>().state.erase(h); }

void notifyParent(HWND h, UINT code) {
    Wnd* w = findWnd(h);
    if (!w || !w->parent) return;
    SendMessage(w->parent, WM_COMMAND, static_cast<WPARAM>((w->id & 0xFFFF) | (code << 16)), h);
}

// Offsets of characters in UTF-8 text.
size_t byteOf(const std::string& s, size_t ch) {
    size_t i = 0;
    for (size_t n = 0; i < s.size() && n < ch; ++n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        i += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    }
    return std::min(i, s.size());
}
size_t charCount(const std::string& s) { return sys::toUtf32(s).size(); }

void replaceSel(HWND h, const std::string& with) {
    Wnd* w = findWnd(h);
    if (!w || (w->style & ES_READONLY)) return;
    ControlState& c = ctl(h);
    const size_t n = charCount(w->text);
    const size_t a = std::min({c.selStart, c.selEnd, n}), b = std::min(std::max(c.selStart, c.selEnd), n);
    std::string ins = with;
    if (c.limit) {
        const size_t room = c.limit > n - (b - a) ? c.limit - (n - (b - a)) : 0;
        const auto u = sys::toUtf32(ins);
        if (u.size() > room) ins = sys::fromUtf32(u.substr(0, room));
    }
    if (ins.empty() && a == b) return;
    w->text = w->text.substr(0, byteOf(w->text, a)) + ins + w->text.substr(byteOf(w->text, b));
    c.selStart = c.selEnd = a + charCount(ins);
    notifyParent(h, EN_CHANGE);
}

void click(HWND h) {
    Wnd* w = findWnd(h);
    if (!w || (w->style & WS_DISABLED)) return;
    const DWORD type = w->style & 0xF;
    if (type == BS_AUTOCHECKBOX) ctl(h).check = ctl(h).check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    if (type == BS_AUTORADIOBUTTON) {
        if (Wnd* p = findWnd(w->parent))
            for (HWND s : p->children)
                if (Wnd* sw = findWnd(s); sw && s != h && (sw->style & 0xF) == BS_AUTORADIOBUTTON) ctl(s).check = BST_UNCHECKED;
        ctl(h).check = BST_CHECKED;
    }
    notifyParent(h, BN_CLICKED);
}

} // namespace

LRESULT editProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    Wnd* w = findWnd(h);
    if (!w) return 0;
    switch (msg) {
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProc(h, msg, wParam, lParam);
        ControlState& c = ctl(h);
        c.selStart = c.selEnd = 0;
        notifyParent(h, EN_CHANGE);
        return r;
    }
    case WM_CHAR: {
        ControlState& c = ctl(h);
        const int cp = sys::Machine::current().codePage();
        int ch = static_cast<int>(wParam & 0xFFFF);
        if (c.leadByte) {
            const char pair[2] = {static_cast<char>(c.leadByte), static_cast<char>(ch)};
            c.leadByte = 0;
            replaceSel(h, sys::fromAnsi(std::string_view(pair, 2), cp));
            return 0;
        }
        if (ch >= 0x81 && ch <= 0xFE) {
            c.leadByte = ch;
            return 0;
        }
        if (ch == VK_BACK) {
            if (c.selStart == c.selEnd && c.selStart > 0) c.selStart--;
            replaceSel(h, "");
            return 0;
        }
        if (ch == '\r') {
            if (w->style & ES_MULTILINE) replaceSel(h, "\r\n");
            return 0;
        }
        if (ch < 32) return 0;
        if ((w->style & ES_NUMBER) && (ch < '0' || ch > '9')) return 0;
        replaceSel(h, std::string(1, static_cast<char>(ch)));
        return 0;
    }
    case WM_KEYDOWN: {
        ControlState& c = ctl(h);
        const size_t n = charCount(w->text);
        switch (wParam) {
        case VK_DELETE:
            if (c.selStart == c.selEnd && c.selEnd < n) c.selEnd++;
            replaceSel(h, "");
            break;
        case VK_HOME: c.selStart = c.selEnd = 0; break;
        case VK_END: c.selStart = c.selEnd = n; break;
        case VK_LEFT: c.selStart = c.selEnd = c.selEnd > 0 ? c.selEnd - 1 : 0; break;
        case VK_RIGHT: c.selStart = c.selEnd = std::min(c.selEnd + 1, n); break;
        default: break;
        }
        return 0;
    }
    case EM_SETSEL: {
        ControlState& c = ctl(h);
        const size_t n = charCount(w->text);
        const int a = static_cast<int>(wParam), b = static_cast<int>(lParam);
        if (a == -1) {
            c.selStart = c.selEnd;
        } else {
            c.selStart = std::min(static_cast<size_t>(a), n);
            c.selEnd = b < 0 ? n : std::min(static_cast<size_t>(b), n);
        }
        return 0;
    }
    case EM_GETSEL: {
        const ControlState& c = ctl(h);
        return MAKELPARAM(static_cast<int>(std::min(c.selStart, c.selEnd)), static_cast<int>(std::max(c.selStart, c.selEnd)));
    }
    case EM_REPLACESEL: {
        size_t n = 0;
        const char* p = pinnedAt(lParam, &n);
        if (p) replaceSel(h, sys::fromAnsi(std::string_view(p, strnlen(p, n)), sys::Machine::current().codePage()));
        return 0;
    }
    case EM_LIMITTEXT:
        ctl(h).limit = wParam;
        return 0;
    case WM_NCDESTROY:
        forgetCtl(h);
        return 0;
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

LRESULT buttonProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) ctl(h).pushed = true;
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && ctl(h).pushed) {
            ctl(h).pushed = false;
            click(h);
        }
        return 0;
    case WM_LBUTTONDOWN:
        ctl(h).pushed = true;
        return 0;
    case WM_LBUTTONUP: {
        const bool was = ctl(h).pushed;
        ctl(h).pushed = false;
        RECT c;
        GetClientRect(h, &c);
        const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        if (was && x >= 0 && y >= 0 && x < c.right && y < c.bottom) click(h);
        return 0;
    }
    case BM_CLICK:
        click(h);
        return 0;
    case BM_GETCHECK:
        return static_cast<LRESULT>(ctl(h).check);
    case BM_SETCHECK:
        ctl(h).check = wParam;
        return 0;
    case BM_GETSTATE:
        return static_cast<LRESULT>(ctl(h).check) | (ctl(h).pushed ? BST_PUSHED : 0);
    case WM_NCDESTROY:
        forgetCtl(h);
        return 0;
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

} // namespace detail
} // namespace win
