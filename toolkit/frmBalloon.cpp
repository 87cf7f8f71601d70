#include "frmBalloon.h"
#include "cDIBSection.h"
#include "m_Main.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/WindowShape.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr const char* kLayoutClass = "ThunderPictureBoxDC";

// The window is this much larger than its content; the content sits kInset inside the body,
// and the body leaves kStrip on the pointer's side.
constexpr int kExtraWidth = 6;
constexpr int kExtraHeight = 25;
constexpr int kInset = 3;
constexpr int kStrip = 19;

void registerLayoutClass() {
    win::WNDCLASS wc;
    wc.lpszClassName = kLayoutClass;
    win::RegisterClass(wc);  // 0 once it is registered: nothing to do then
}

} // namespace

// Drawing into a 24-bit bitmap section (the window's persistent image), with the few operations
// the face needs, giving the pixels the system's pen-and-brush drawing gives.
struct frmBalloon::Canvas {
    int w = 0, h = 0, stride = 0;
    uint8_t* bits = nullptr;

    explicit Canvas(const cDIBSection& dib)
        : w(dib.width()), h(dib.Height()), stride(dib.BytesPerScanLine()), bits(dib.DIBSectionBitsPtr()) {}

    void set(int x, int y, uint32_t c) {
        if (!bits || x < 0 || y < 0 || x >= w || y >= h) return;
        uint8_t* p = bits + static_cast<size_t>(h - 1 - y) * stride + static_cast<size_t>(x) * 3;  // rows bottom-up
        p[0] = c & 0xFF, p[1] = (c >> 8) & 0xFF, p[2] = (c >> 16) & 0xFF;
    }

    void fill(uint32_t c) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) set(x, y, c);
    }

    // Rounded rectangle: outline in the pen colour, inside in the brush colour; right and bottom
    // exclusive, corners cut by an ellipse of ew x eh.
    void roundRect(const win::RECT& r, int ew, int eh, uint32_t pen, uint32_t brush) {
        const double rx = ew / 2.0, ry = eh / 2.0;
        auto inside = [&](int x, int y) {
            if (x < r.left || y < r.top || x >= r.right || y >= r.bottom) return false;
            const double cx = x + 0.5, cy = y + 0.5;
            double ex = 0, ey = 0;
            if (cx < r.left + rx) ex = r.left + rx;
            else if (cx > r.right - rx) ex = r.right - rx;
            if (cy < r.top + ry) ey = r.top + ry;
            else if (cy > r.bottom - ry) ey = r.bottom - ry;
            if (ex == 0 || ey == 0 || rx <= 0 || ry <= 0) return true;
            const double dx = (cx - ex) / rx, dy = (cy - ey) / ry;
            return dx * dx + dy * dy <= 1.0;
        };
        for (int y = std::max(0, static_cast<int>(r.top)); y < std::min(h, static_cast<int>(r.bottom)); ++y)
            for (int x = std::max(0, static_cast<int>(r.left)); x < std::min(w, static_cast<int>(r.right)); ++x) {
                if (!inside(x, y)) continue;
                const bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
                set(x, y, edge ? pen : brush);
            }
    }

    // A filled triangle: the pixels whose centres lie inside or on its sides.
    void fillTriangle(const win::POINT (&p)[3], uint32_t c) {
        auto side = [](double ax, double ay, double bx, double by, double x, double y) {
            return (bx - ax) * (y - ay) - (by - ay) * (x - ax);
        };
        const int top = std::max(0, static_cast<int>(std::min({p[0].y, p[1].y, p[2].y})));
        const int bottom = std::min(h, static_cast<int>(std::max({p[0].y, p[1].y, p[2].y})) + 1);
        const int left = std::max(0, static_cast<int>(std::min({p[0].x, p[1].x, p[2].x})));
        const int right = std::min(w, static_cast<int>(std::max({p[0].x, p[1].x, p[2].x})) + 1);
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const double cx = x + 0.5, cy = y + 0.5;
                const double d0 = side(p[0].x, p[0].y, p[1].x, p[1].y, cx, cy);
                const double d1 = side(p[1].x, p[1].y, p[2].x, p[2].y, cx, cy);
                const double d2 = side(p[2].x, p[2].y, p[0].x, p[0].y, cx, cy);
                const bool neg = d0 < 0 || d1 < 0 || d2 < 0, pos = d0 > 0 || d1 > 0 || d2 > 0;
                if (!(neg && pos)) set(x, y, c);
            }
    }

    // A one-pixel line from a to b, b itself not drawn.
    void line(win::POINT a, win::POINT b, uint32_t c) {
        int x = a.x, y = a.y;
        const int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
        const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
        int err = dx + dy;
        while (x != b.x || y != b.y) {
            set(x, y, c);
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, x += sx;
            if (e2 <= dx) err += dx, y += sy;
        }
    }
};

frmBalloon::frmBalloon() : forms::Form("frmBalloon") {
    design.borderStyle = forms::vbBSNone;
    design.showInTaskbar = false;
    design.controlBox = false;
    design.minButton = design.maxButton = false;
    design.width = 3600;
    design.height = 1500;
}

frmBalloon::~frmBalloon() {
    cDropDown1_.reset();
    dropPictures();
}

void frmBalloon::Form_Load() {
    registerLayoutClass();
    layout_ = win::CreateWindowEx(0, kLayoutClass, "", win::WS_CHILD | win::WS_VISIBLE | win::WS_CLIPCHILDREN, 0, 0,
                                  100, 50, hWnd());
    if (!layout_) throw forms::RuntimeError(7, "Out of memory");
    // Losing activation is the user's click elsewhere.
    cDropDown1_ = std::make_unique<cDropDown>(*this);
    cDropDown1_->DeactivateForm = [this] {
        if (auto handler = BalloonClose) handler();
    };
}

void frmBalloon::Form_Unload(int&) {
    dropPictures();
    layout_ = 0;
}

void frmBalloon::dropPictures() {
    // The windows stop referring to the bitmaps before they go.
    if (IsLoaded()) win::setWindowPicture(hWnd(), 0);
    if (win::IsWindow(layout_)) win::setWindowPicture(layout_, 0);
    for (auto* pic : {&picture_, &layoutPicture_}) {
        if (pic->Handle) win::DeleteObject(pic->Handle);
        *pic = forms::StdPicture{};
    }
}

win::HWND frmBalloon::Layout() {
    Load();
    return layout_;
}

void frmBalloon::SizeLayout(int width, int height) {
    win::RECT r;
    win::GetWindowRect(Layout(), &r);
    win::POINT p{r.left, r.top};
    win::ScreenToClient(hWnd(), &p);
    win::MoveWindow(layout_, p.x, p.y, width, height, win::TRUE);
}

void frmBalloon::GetScreenSize(int32_t& width, int32_t& height) {
    // The whole display, not the work area.
    width = win::GetSystemMetrics(win::SM_CXSCREEN);
    height = win::GetSystemMetrics(win::SM_CYSCREEN);
}

int16_t frmBalloon::GetPointerStyle(int32_t X, int32_t Y) {
    if (X == 0 || Y == 0) {
        win::POINT p;
        win::GetCursorPos(&p);
        X = p.x;
        Y = p.y;
    }
    int32_t sw = 0, sh = 0;
    GetScreenSize(sw, sh);
    const double halfW = sw / 2.0, halfH = sh / 2.0;
    win::RECT r;
    win::GetWindowRect(hWnd(), &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    int16_t style;
    int left, top;
    if (X <= halfW && Y <= halfH) style = 4, left = X, top = Y;
    else if (X > halfW && Y <= halfH) style = 2, left = X - w, top = Y;
    else if (X <= halfW) style = 3, left = X, top = Y - h;
    else style = 1, left = X - w, top = Y - h;
    // Not pulled in at the screen's edges: the tip must touch the point.
    win::SetWindowPos(hWnd(), 0, left, top, 0, 0, win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    return style;
}

void frmBalloon::DrawRoundBox(Canvas& dc, const win::RECT& rect, uint32_t border, uint32_t fill) {
    dc.roundRect(rect, 14, 14, border, fill);
    dc.roundRect(rect, 16, 16, border, fill);
}

namespace {

// The persistent image handed over as a picture: the section leaves its own context, so that it
// can be selected elsewhere (the region's copy reads it so). No bitmap when it cannot be made.
forms::StdPicture takePicture(cDIBSection& image) {
    const win::HBITMAP bitmap = image.ExtractDib();
    return bitmap ? forms::StdPicture{bitmap, forms::vbPicTypeBitmap} : forms::StdPicture{};
}

} // namespace

void frmBalloon::Popup(int32_t X, int32_t Y) {
    const win::HWND layout = Layout();
    dropPictures();
    win::RECT lr;
    win::GetClientRect(layout, &lr);
    const int w = lr.right + kExtraWidth, h = lr.bottom + kExtraHeight;
    win::SetWindowPos(hWnd(), 0, 0, 0, w, h, win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    win::RECT wr;
    win::GetWindowRect(hWnd(), &wr);
    cDIBSection image;
    image.Create(wr.right - wr.left, wr.bottom - wr.top, 24);
    Canvas dc(image);
    dc.fill(kKeyColour);

    win::RECT body{0, 0, w, h};
    const int16_t style = GetPointerStyle(X, Y);
    win::POINT tri[3];
    switch (style) {
    case 1: body.bottom = h - kStrip; tri[0] = {w - 40, h - 20}; tri[1] = {w - 20, h - 20}; tri[2] = {w, h}; break;
    case 2: body.top = kStrip; tri[0] = {w - 40, 20}; tri[1] = {w - 20, 20}; tri[2] = {w, 0}; break;
    case 3: body.bottom = h - kStrip; tri[0] = {20, h - 20}; tri[1] = {40, h - 20}; tri[2] = {0, h}; break;
    default: body.top = kStrip; tri[0] = {20, 20}; tri[1] = {40, 20}; tri[2] = {0, 0}; break;
    }
    DrawRoundBox(dc, body, kBorderColour, kFillColour);
    // The pointer's base is left undrawn, so its inside joins the body's.
    dc.fillTriangle(tri, kFillColour);
    dc.line(tri[2], tri[0], kBorderColour);
    dc.line(tri[2], tri[1], kBorderColour);

    const int lw = w - 2 * kInset, lh = (body.bottom - body.top) - 2 * kInset;
    win::MoveWindow(layout, kInset, body.top + kInset, lw, lh, win::TRUE);
    cDIBSection back;
    if (back.Create(lw, lh, 24)) Canvas(back).fill(kFillColour);
    layoutPicture_ = takePicture(back);
    win::setWindowPicture(layout, layoutPicture_.Handle);

    picture_ = takePicture(image);
    win::setWindowPicture(hWnd(), picture_.Handle);
    MakeWindowRegion(hWnd(), kKeyColour);

    m_Main::SetTopMost(hWnd());
    forms::Form* owner = forms::Form::fromHwnd(win::FindWindow(nullptr, m_Main::kMainCaption.c_str()));
    Show(forms::vbModeless, owner);
}

void frmBalloon::MakeWindowRegion(win::HWND hwnd, uint32_t key) {
    cDIBSection copy;
    copy.CreateFromPicture(forms::StdPicture{win::windowPicture(hwnd), forms::vbPicTypeBitmap}, 24);
    // Without a copy there is nothing to cut by: the window keeps its rectangle rather than
    // vanishing behind an empty region.
    const uint8_t* bits = copy.DIBSectionBitsPtr();
    if (!bits) return;
    const int width = copy.width(), height = copy.Height(), stride = copy.BytesPerScanLine();
    const uint8_t kr = (key >> 16) & 0xFF, kg = (key >> 8) & 0xFF, kb = key & 0xFF;

    const win::HRGN region = win::CreateRectRgn(0, 0, width, height);
    if (!region) return;
    auto matches = [&](int x, int y) {
        const uint8_t* p = bits + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x) * 3;
        return p[0] == kb && p[1] == kg && p[2] == kr;
    };
    // Vertical runs of key pixels, one rectangle taken out per run.
    for (int x = 0; x < width; ++x) {
        int y = 0;
        while (y < height) {
            if (!matches(x, y)) {
                ++y;
                continue;
            }
            const int start = y;
            while (y < height && matches(x, y)) ++y;
            const win::HRGN run = win::CreateRectRgn(x, start, x + 1, y);
            win::CombineRgn(region, region, run, win::RGN_XOR);
            win::DeleteRgn(run);
        }
    }
    win::SetWindowRgn(hwnd, region, win::TRUE);
}

void KeepUntilIdle(std::shared_ptr<void> object) {
    if (auto* machine = sys::Machine::currentOrNull()) machine->post([object] {});
}

void ReturnBalloonLayout(forms::Form& owner, win::HWND layout, std::shared_ptr<frmBalloon>& balloon) {
    if (layout && win::IsWindow(layout) && owner.IsLoaded()) {
        win::RECT r;
        win::GetClientRect(layout, &r);
        win::SetParent(layout, owner.hWnd());
        win::MoveWindow(layout, 0, 0, r.right, r.bottom, win::TRUE);
    }
    if (!balloon) return;
    std::shared_ptr<frmBalloon> gone = std::move(balloon);
    gone->BalloonClose = nullptr;
    gone->Unload();
    KeepUntilIdle(gone);
}
