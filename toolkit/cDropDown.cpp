#include "cDropDown.h"

#include "MSubclass.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Form.h"
#include "platform/forms/RuntimeError.h"

namespace {

constexpr win::UINT kMessages[] = {win::WM_ACTIVATE, win::WM_DESTROY, win::WM_NCHITTEST, win::WM_NCMOUSELEAVE,
                                   win::WM_NCMOUSEMOVE};

} // namespace

const char* const cDropDown::kLabelCaption = "'DropDown Control'";

cDropDown::cDropDown(forms::Form& host, bool userMode) : parent_(host), userMode_(userMode) { AttachHost(); }

cDropDown::~cDropDown() {
    DetachHost();
    // ReActive may have hooked activation again after the host's destruction detached us.
    if (host_ != 0) MSubclass::UnhookMessage(this, host_, win::WM_ACTIVATE);
}

void cDropDown::AttachHost() {
    DetachHost();
    host_ = parent_.hWnd();
    if (!userMode_) return;
    visible_ = false;
    size_t hooked = 0;
    try {
        for (win::UINT msg : kMessages) {
            MSubclass::HookMessage(this, host_, msg);
            ++hooked;
        }
    } catch (...) {
        for (size_t i = 0; i < hooked; ++i) MSubclass::UnhookMessage(this, host_, kMessages[i]);
        throw;
    }
    attached_ = true;
}

void cDropDown::DetachHost() {
    if (!attached_) return;
    for (win::UINT msg : kMessages) MSubclass::UnhookMessage(this, host_, msg);
    attached_ = false;
}

bool cDropDown::AreaIn() const {
    win::RECT r{};
    win::POINT p{};
    if (!win::GetWindowRect(host_, &r) || !win::GetCursorPos(&p)) return false;
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

void cDropDown::WMClose() { win::PostMessage(host_, win::WM_CLOSE, 0, 0); }

void cDropDown::ReActive() {
    if (!userMode_) return;
    try {
        MSubclass::HookMessage(this, host_, win::WM_ACTIVATE);
    } catch (const forms::RuntimeError& e) {
        // Armed already: that is what was asked for.
        if (e.Number != MSubclass::kErrAlreadyHandled) throw;
    }
}

int32_t cDropDown::MsgResponse() { return MSubclass::CurrentMessage() == static_cast<int32_t>(win::WM_ACTIVATE) ? 1 : 2; }

win::LRESULT cDropDown::WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    switch (msg) {
    case win::WM_ACTIVATE:
        if (win::LOWORD(wParam) == win::WA_INACTIVE && DeactivateForm) DeactivateForm();
        return 1;
    case win::WM_NCHITTEST:
        return MSubclass::CallPrevWndProc(hwnd, msg, wParam, lParam);
    case win::WM_NCMOUSEMOVE:
        if (MouseOverForm) MouseOverForm();
        break;
    case win::WM_NCMOUSELEAVE:
        if (MouseLeaveForm) MouseLeaveForm();
        break;
    case win::WM_DESTROY:
        DetachHost();
        break;
    default:
        break;
    }
    return 0;
}
