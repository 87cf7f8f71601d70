#include "Tray.h"

#include "DesktopState.h"
#include "Input.h"
#include "platform/system/CodePage.h"

#include <algorithm>
#include <cstring>

namespace win {

using namespace detail;

namespace {

struct Icon {
    TrayIconRecord rec;
    uint64_t balloonEnds = 0;
};

struct TrayState {
    explicit TrayState(sys::Machine* m) : machine(m) {
        sys::Machine::Pump p;
        p.step = [this] { expire(); };
        p.nextDue = [this]() -> std::optional<uint64_t> {
            std::optional<uint64_t> best;
            for (auto& i : icons)
                if (i.rec.balloonShown && (!best || i.balloonEnds < *best)) best = i.balloonEnds;
            return best;
        };
        m->addPump(std::move(p));
    }
    void expire() {
        const uint64_t now = machine->clock().tickMs();
        for (auto& i : icons)
            if (i.rec.balloonShown && i.balloonEnds <= now) {
                i.rec.balloonShown = false;
                PostMessage(i.rec.hwnd, i.rec.callbackMessage, i.rec.id, NIN_BALLOONTIMEOUT);
            }
    }
    sys::Machine* machine;
    bool available = true;
    std::vector<Icon> icons;
    std::vector<BalloonRecord> history;
};
TrayState& tray() {
    auto& m = sys::Machine::current();
    return m.service<TrayState>(&m);
}

Icon* findIcon(HWND h, UINT id) {
    for (auto& i : tray().icons)
        if (i.rec.hwnd == h && i.rec.id == id) return &i;
    return nullptr;
}

// A text field of the record: NUL-terminated within its size, or cut to it.
std::string field(const char* p, size_t size) {
    const int cp = sys::Machine::current().codePage();
    const size_t n = strnlen(p, size);
    std::string a(p, n);
    if (n == size) a = sys::truncateAnsi(a, size - 1, cp);
    return sys::fromAnsi(a, cp);
}

void place(TrayState& t) {
    auto& m = *t.machine;
    const sys::Rect wa = m.workArea();
    const int y = (wa.bottom + m.screenHeight()) / 2;
    int x = m.screenWidth() - 60;
    for (auto& i : t.icons) {
        i.rec.position = {x, y};
        x -= 20;
    }
}

void apply(Icon& icon, const NOTIFYICONDATA& d, bool adding) {
    auto& t = tray();
    const bool full = d.cbSize >= NOTIFYICONDATA_V2_SIZE;
    if (d.uFlags & NIF_MESSAGE) icon.rec.callbackMessage = d.uCallbackMessage;
    if (d.uFlags & NIF_ICON) icon.rec.icon = d.hIcon;
    if (d.uFlags & NIF_TIP) icon.rec.tip = field(d.szTip, full ? 128 : 64);
    if ((d.uFlags & NIF_INFO) && full) {
        const std::string text = field(d.szInfo, 256);
        if (text.empty()) {
            if (icon.rec.balloonShown) {
                icon.rec.balloonShown = false;
                PostMessage(icon.rec.hwnd, icon.rec.callbackMessage, icon.rec.id, NIN_BALLOONHIDE);
            }
        } else {
            icon.rec.balloonShown = true;
            icon.rec.balloonText = text;
            icon.rec.balloonTitle = field(d.szInfoTitle, 64);
            icon.rec.balloonTimeout = d.uTimeout;
            icon.rec.balloonFlags = d.dwInfoFlags;
            // The shell keeps a balloon up between 10 and 30 seconds whatever is asked.
            icon.balloonEnds = t.machine->clock().tickMs() + std::clamp<UINT>(d.uTimeout, 10000, 30000);
            t.history.push_back({icon.rec.hwnd, icon.rec.id, text, icon.rec.balloonTitle, d.dwInfoFlags});
            if (!adding) PostMessage(icon.rec.hwnd, icon.rec.callbackMessage, icon.rec.id, NIN_BALLOONSHOW);
        }
    }
}

} // namespace

BOOL Shell_NotifyIcon(DWORD message, const NOTIFYICONDATA* d) {
    if (!d) return FALSE;
    auto& t = tray();
    Icon* icon = findIcon(d->hWnd, d->uID);
    switch (message) {
    case NIM_ADD: {
        if (!t.available || icon || !IsWindow(d->hWnd)) return FALSE;
        Icon n;
        n.rec.hwnd = d->hWnd;
        n.rec.id = d->uID;
        t.icons.push_back(n);
        apply(t.icons.back(), *d, true);
        place(t);
        return TRUE;
    }
    case NIM_MODIFY:
        if (!icon) return FALSE;
        apply(*icon, *d, false);
        return TRUE;
    case NIM_DELETE: {
        if (!icon) return FALSE;
        const TrayIconRecord r = icon->rec;
        std::erase_if(t.icons, [&](const Icon& i) { return i.rec.hwnd == r.hwnd && i.rec.id == r.id; });
        if (r.balloonShown) PostMessage(r.hwnd, r.callbackMessage, r.id, NIN_BALLOONHIDE);
        place(t);
        return TRUE;
    }
    case NIM_SETVERSION:
        if (!icon) return FALSE;
        icon->rec.version = d->uTimeout;
        return TRUE;
    case NIM_SETFOCUS:
        return icon ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

std::vector<TrayIconRecord> trayIcons() {
    std::vector<TrayIconRecord> out;
    for (auto& i : tray().icons) out.push_back(i.rec);
    return out;
}

std::vector<BalloonRecord> balloonHistory() { return tray().history; }
void setTrayAvailable(bool available) { tray().available = available; }

BOOL trayMouse(HWND hwnd, UINT id, UINT mouseMessage) {
    Icon* icon = findIcon(hwnd, id);
    if (!icon) return FALSE;
    const TrayIconRecord r = icon->rec;
    SetCursorPos(r.position.x, r.position.y);
    if (r.callbackMessage) SendMessage(r.hwnd, r.callbackMessage, r.id, static_cast<LPARAM>(mouseMessage));
    return TRUE;
}

namespace {
BOOL endBalloon(HWND hwnd, UINT id, LPARAM how) {
    Icon* icon = findIcon(hwnd, id);
    if (!icon || !icon->rec.balloonShown) return FALSE;
    icon->rec.balloonShown = false;
    const TrayIconRecord r = icon->rec;
    if (r.callbackMessage) SendMessage(r.hwnd, r.callbackMessage, r.id, how);
    return TRUE;
}
} // namespace

BOOL trayBalloonClick(HWND hwnd, UINT id) { return endBalloon(hwnd, id, NIN_BALLOONUSERCLICK); }
BOOL trayBalloonTimeout(HWND hwnd, UINT id) { return endBalloon(hwnd, id, NIN_BALLOONTIMEOUT); }

} // namespace win
