#include "Cursor.h"

#include "DesktopState.h"
#include "Message.h"
#include "platform/system/CodePage.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <string_view>

namespace win {

namespace {

// Fixed, as the system's own cursors are the same for every program.
constexpr HCURSOR kArrow = 0x00010003, kWait = 0x00010007, kHand = 0x0001001F;

struct ShapeState {
    HCURSOR shown = kArrow;
    std::map<HICON, IconImage> icons;
    HICON nextIcon = 0x00030002;
};
ShapeState& shapes() { return sys::Machine::current().service<ShapeState>(); }

uint32_t bigEndian(const BYTE* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

} // namespace

HCURSOR LoadCursor(HANDLE instance, int cursorId) {
    if (instance) return 0;
    switch (cursorId) {
    case IDC_ARROW: return kArrow;
    case IDC_WAIT: return kWait;
    case IDC_HAND: return kHand;
    default: return 0;
    }
}

HCURSOR SetCursor(HCURSOR cursor) {
    auto& s = shapes();
    const HCURSOR old = s.shown;
    s.shown = cursor;
    return old;
}

HCURSOR GetCursor() { return shapes().shown; }

HICON CreateIconFromResourceEx(const BYTE* bits, DWORD size, BOOL, DWORD, int cx, int cy, UINT) {
    static constexpr BYTE kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    // The signature, then the header chunk whose first fields are the width and the height.
    if (!bits || size < 24 || !std::equal(std::begin(kSignature), std::end(kSignature), bits) ||
        std::string_view(reinterpret_cast<const char*>(bits + 12), 4) != "IHDR")
        return 0;
    IconImage image;
    image.png.assign(reinterpret_cast<const char*>(bits), size);
    image.width = cx > 0 ? cx : static_cast<int>(bigEndian(bits + 16));
    image.height = cy > 0 ? cy : static_cast<int>(bigEndian(bits + 20));
    if (image.width <= 0 || image.height <= 0) return 0;
    auto& s = shapes();
    const HICON h = s.nextIcon;
    s.nextIcon += 2;
    s.icons[h] = std::move(image);
    return h;
}

BOOL DestroyIcon(HICON icon) { return shapes().icons.erase(icon) ? TRUE : FALSE; }

std::optional<IconImage> iconImage(HICON icon) {
    auto& s = shapes();
    auto it = s.icons.find(icon);
    if (it == s.icons.end()) return std::nullopt;
    return it->second;
}

DWORD GetClassLong(HWND hwnd, int index) {
    auto& s = detail::state();
    const detail::Wnd* w = s.find(hwnd);
    if (!w) return 0;
    auto it = s.classes.find(sys::upperAscii(w->cls));
    if (it == s.classes.end()) return 0;
    switch (index) {
    case GCL_HCURSOR: return static_cast<DWORD>(it->second.hCursor);
    case GCL_HICON: return static_cast<DWORD>(it->second.hIcon);
    case GCL_HICONSM: return static_cast<DWORD>(it->second.hIconSm);
    default: return 0;
    }
}

namespace detail {

LRESULT defSetCursor(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const Wnd* w = findWnd(hwnd);
    if (!w) return FALSE;
    if ((w->style & WS_CHILD) && w->parent && SendMessage(w->parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
    // Over a client area the class cursor of the window under the pointer, whoever decides.
    if (static_cast<int16_t>(LOWORD(static_cast<DWORD>(lParam))) == HTCLIENT) {
        const HCURSOR own = static_cast<HCURSOR>(GetClassLong(static_cast<HWND>(wParam), GCL_HCURSOR));
        if (!own) return FALSE;
        SetCursor(own);
        return TRUE;
    }
    SetCursor(kArrow);
    return TRUE;
}

void sendSetCursor(HWND target, LRESULT hit, UINT msg) {
    SendMessage(target, WM_SETCURSOR, static_cast<WPARAM>(target), MAKELPARAM(static_cast<int>(hit), static_cast<int>(msg)));
}

} // namespace detail

} // namespace win
