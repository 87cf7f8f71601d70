#include "Paint.h"

#include "DesktopState.h"
#include "Dialog.h"
#include "Message.h"

#include <map>
#include <mutex>
#include <set>

namespace win {

namespace {

struct PaintDc {
    HWND hwnd = 0;
    COLORREF text = 0;
    COLORREF background = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    HFONT font = 0;
    bool record = true;
};

struct PaintState {
    std::map<HDC, PaintDc> dcs;
    HDC next = 0x00D00010;
    std::map<HWND, std::vector<PaintedItem>> items;
    std::set<HWND> dirty;
};
PaintState& paint() { return sys::Machine::current().service<PaintState>(); }

PaintDc* dcOf(HDC h) {
    auto& dcs = paint().dcs;
    auto it = dcs.find(h);
    return it == dcs.end() ? nullptr : &it->second;
}

// Brushes carry their colour in the handle.
constexpr HBRUSH kBrushTag = 0x01000000;

void describeFont(const PaintDc& dc, PaintedItem& item) {
    item.font = "MS Sans Serif";
    item.fontHeight = 12;
    if (const LOGFONTA* lf = dc.font ? fontDescription(dc.font) : nullptr) {
        item.font = lf->lfFaceName;
        item.fontHeight = lf->lfHeight < 0 ? -lf->lfHeight : lf->lfHeight ? lf->lfHeight : 12;
        item.fontWeight = lf->lfWeight ? lf->lfWeight : FW_NORMAL;
    }
}

void addText(PaintDc& dc, const std::string& text, const RECT& r, UINT format) {
    if (!dc.record) return;
    PaintedItem item;
    item.kind = PaintedItem::Text;
    item.rect = r;
    item.color = dc.text;
    item.text = text;
    item.format = format;
    item.opaque = dc.bkMode == OPAQUE;
    item.background = dc.background;
    describeFont(dc, item);
    paint().items[dc.hwnd].push_back(std::move(item));
}

} // namespace

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
    if (!IsWindow(hwnd)) return FALSE;
    if (!paint().dirty.insert(hwnd).second) return TRUE;
    // Painted from the pump, whether or not the window handles WM_PAINT.
    auto& m = sys::Machine::current();
    m.post([&m, hwnd] {
        sys::MachineScope scope(m);
        if (!paint().dirty.erase(hwnd)) return;
        if (IsWindow(hwnd)) SendMessage(hwnd, WM_PAINT, 0, 0);
    });
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
    if (!IsWindow(hwnd)) return FALSE;
    if (paint().dirty.erase(hwnd)) SendMessage(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    if (!IsWindow(hwnd)) return 0;
    auto& p = paint();
    p.dirty.erase(hwnd);
    p.items[hwnd].clear();
    const HDC h = p.next++;
    PaintDc dc;
    dc.hwnd = hwnd;
    p.dcs[h] = dc;
    if (ps) {
        ps->hdc = h;
        ps->fErase = TRUE;
        GetClientRect(hwnd, &ps->rcPaint);
    }
    return h;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* ps) {
    if (!ps) return FALSE;
    return paint().dcs.erase(ps->hdc) ? TRUE : FALSE;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
    PaintDc* dc = dcOf(hdc);
    if (!dc) return 0xFFFFFFFF;
    const COLORREF old = dc->text;
    dc->text = color;
    return old;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
    PaintDc* dc = dcOf(hdc);
    if (!dc) return 0xFFFFFFFF;
    const COLORREF old = dc->background;
    dc->background = color;
    return old;
}

int SetBkMode(HDC hdc, int mode) {
    PaintDc* dc = dcOf(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    const int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

HFONT SelectFont(HDC hdc, HFONT font) {
    PaintDc* dc = dcOf(hdc);
    if (!dc) return 0;
    const HFONT old = dc->font;
    dc->font = font;
    return old;
}

HBRUSH CreateSolidBrush(COLORREF color) { return kBrushTag | static_cast<HBRUSH>(color & 0xFFFFFF); }

COLORREF GetSysColor(int index) {
    switch (index) {
    case COLOR_BTNFACE: return RGB(0xEC, 0xE9, 0xD8);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    default: return RGB(0, 0, 0);
    }
}

HBRUSH GetSysColorBrush(int index) { return CreateSolidBrush(GetSysColor(index)); }

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    PaintDc* dc = dcOf(hdc);
    if (!dc || !rect || (brush & 0xFF000000) != kBrushTag) return 0;
    if (dc->record) {
        PaintedItem item;
        item.kind = PaintedItem::Fill;
        item.rect = *rect;
        item.color = static_cast<COLORREF>(brush & 0xFFFFFF);
        paint().items[dc->hwnd].push_back(item);
    }
    return 1;
}

BOOL TextOut(HDC hdc, int x, int y, const std::string& text) {
    PaintDc* dc = dcOf(hdc);
    if (!dc) return FALSE;
    addText(*dc, text, RECT{x, y, x, y}, DT_LEFT | DT_SINGLELINE);
    return TRUE;
}

int DrawText(HDC hdc, const std::string& text, RECT* rect, UINT format) {
    PaintDc* dc = dcOf(hdc);
    if (!dc || !rect) return 0;
    addText(*dc, text, *rect, format);
    PaintedItem probe;
    describeFont(*dc, probe);
    return probe.fontHeight;
}

std::vector<PaintedItem> paintedItems(HWND hwnd) {
    auto& items = paint().items;
    auto it = items.find(hwnd);
    return it == items.end() ? std::vector<PaintedItem>{} : it->second;
}

StaticColors staticColors(HWND control) {
    StaticColors c;
    c.background = GetSysColor(COLOR_BTNFACE);
    const HWND parent = GetParent(control);
    if (!parent) return c;
    auto& p = paint();
    const HDC h = p.next++;
    PaintDc probe;
    probe.hwnd = control;
    probe.record = false;
    probe.background = c.background;
    p.dcs[h] = probe;
    const LRESULT brush = SendMessage(parent, WM_CTLCOLORSTATIC, static_cast<WPARAM>(h), control);
    if (PaintDc* dc = dcOf(h)) {
        c.text = dc->text;
        c.transparent = dc->bkMode == TRANSPARENT;
        c.background = (brush & 0xFF000000) == kBrushTag ? static_cast<COLORREF>(brush & 0xFFFFFF) : dc->background;
    }
    paint().dcs.erase(h);
    return c;
}

} // namespace win
