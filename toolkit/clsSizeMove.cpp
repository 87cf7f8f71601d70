#include "clsSizeMove.h"

#include "MSubclass.h"
#include "platform/desktop/Win.h"

namespace {

constexpr win::UINT kMessages[] = {win::WM_ENTERSIZEMOVE, win::WM_EXITSIZEMOVE, win::WM_DESTROY, win::WM_MOVING,
                                   win::WM_SIZING,        win::WM_ACTIVATE,     win::WM_SIZE,    win::WM_NCHITTEST,
                                   win::WM_NCMOUSELEAVE,  win::WM_NCMOUSEMOVE};

bool CursorInWindow(win::HWND hwnd) {
    win::RECT r{};
    win::POINT p{};
    if (!win::GetWindowRect(hwnd, &r) || !win::GetCursorPos(&p)) return false;
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

} // namespace

clsSizeMove::clsSizeMove() : alive_(std::make_shared<bool>(true)) {}

clsSizeMove::~clsSizeMove() {
    *alive_ = false;
    // A watcher that goes while its window is active would otherwise leave the user's setting off.
    RestoreFullDrag();
    Detach();
}

void clsSizeMove::NoFullDrag(bool value) {
    noFullDrag_ = value;
    if (!value) RestoreFullDrag();
    else if (active_) FullDragOff();
}

void clsSizeMove::Attach(win::HWND hwnd) {
    Detach();
    hwnd_ = hwnd;
    for (win::UINT msg : kMessages) MSubclass::HookMessage(this, hwnd_, msg);
}

void clsSizeMove::Detach() {
    if (hwnd_ == 0) return;
    for (win::UINT msg : kMessages) MSubclass::UnhookMessage(this, hwnd_, msg);
}

bool clsSizeMove::AreaIn() const { return CursorInWindow(hwnd_); }

void clsSizeMove::FullDragOff() {
    if (!noFullDrag_) return;
    win::BOOL on = win::FALSE;
    if (win::SystemParametersInfo(win::SPI_GETDRAGFULLWINDOWS, 0, &on, 0) && on) {
        dragOwed_ = true;
        win::SystemParametersInfo(win::SPI_SETDRAGFULLWINDOWS, 0, nullptr, win::SPIF_SENDWININICHANGE);
    }
}

void clsSizeMove::RestoreFullDrag() {
    if (!dragOwed_) return;
    win::SystemParametersInfo(win::SPI_SETDRAGFULLWINDOWS, 1, nullptr, win::SPIF_SENDWININICHANGE);
    dragOwed_ = false;
}

void clsSizeMove::RaiseRect(const std::function<void(int32_t&, int32_t&, int32_t&, int32_t&)>& event,
                            win::LPARAM rect) {
    win::RECT* r = win::pinnedAs<win::RECT>(rect);
    if (!r) return;
    int32_t left = r->left, top = r->top, width = r->right - r->left, height = r->bottom - r->top;
    if (event) event(left, top, width, height);
    r->left = left;
    r->top = top;
    r->right = left + width;
    r->bottom = top + height;
}

win::LRESULT clsSizeMove::WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    auto alive = alive_;
    switch (msg) {
    case win::WM_DESTROY:
        RestoreFullDrag();
        Detach();
        break;
    case win::WM_SIZE:
        if (!inLoop_) {
            win::RECT r{};
            if (!win::GetWindowRect(hwnd, &r)) break;
            int32_t left = r.left, top = r.top, width = r.right - r.left, height = r.bottom - r.top;
            if (Sizing) Sizing(left, top, width, height);
        }
        break;
    case win::WM_ACTIVATE:
        if (win::LOWORD(wParam) != win::WA_INACTIVE) {
            FullDragOff();
            active_ = true;
            if (Activate) Activate(win::LOWORD(wParam) == win::WA_CLICKACTIVE);
        } else {
            RestoreFullDrag();
            active_ = false;
            if (Deactivate) Deactivate();
        }
        break;
    case win::WM_NCHITTEST:
        return MSubclass::CallPrevWndProc(hwnd, msg, wParam, lParam);
    case win::WM_NCMOUSEMOVE:
        if (MouseOverForm) MouseOverForm();
        break;
    case win::WM_SIZING:
        RaiseRect(Sizing, lParam);
        break;
    case win::WM_MOVING:
        RaiseRect(Moving, lParam);
        break;
    case win::WM_ENTERSIZEMOVE:
        inLoop_ = true;
        if (EnterSizeMove) EnterSizeMove();
        break;
    case win::WM_EXITSIZEMOVE:
        if (ExitSizeMove) ExitSizeMove();
        if (*alive) inLoop_ = false;
        break;
    case win::WM_NCMOUSELEAVE:
        if (MouseLeaveForm) MouseLeaveForm();
        break;
    default:
        break;
    }
    return 0;
}
