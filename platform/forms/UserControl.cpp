#include "UserControl.h"

#include "platform/desktop/Message.h"
#include "platform/desktop/Screen.h"
#include "platform/system/Machine.h"


namespace forms {

namespace {

const char* const kClass = "UserControl";

struct Controls {
    std::map<win::HWND, UserControl*> byHwnd;
};
Controls& controls() { return sys::Machine::current().service<Controls>(); }

win::LRESULT controlProc(win::HWND h, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    if (msg == win::WM_SETFOCUS) {
        auto& m = controls().byHwnd;
        if (auto it = m.find(h); it != m.end()) it->second->UserControl_GotFocus();
        return 0;
    }
    return win::DefWindowProc(h, msg, wParam, lParam);
}

int toPixels(long twips, int perPixel) { return static_cast<int>(twips / perPixel); }

} // namespace

std::shared_ptr<StdFont> newFont(const std::string& name, double size) {
    auto f = std::make_shared<StdFont>();
    f->Name = name;
    f->Size = size;
    return f;
}

Variant PropertyBag::ReadProperty(const std::string& name, const Variant& defaultValue) const {
    auto it = values_.find(sys::upperAscii(name));
    if (it == values_.end()) return defaultValue;
    if (const Variant* v = std::get_if<Variant>(&it->second)) return *v;
    return defaultValue;
}

void PropertyBag::WriteProperty(const std::string& name, const Variant& value, const Variant&) {
    values_[sys::upperAscii(name)] = value;
}

std::shared_ptr<StdFont> PropertyBag::ReadFont(const std::string& name, const std::shared_ptr<StdFont>& defaultValue) const {
    auto it = values_.find(sys::upperAscii(name));
    if (it != values_.end())
        if (const StdFont* f = std::get_if<StdFont>(&it->second)) return std::make_shared<StdFont>(*f);
    return defaultValue ? std::make_shared<StdFont>(*defaultValue) : nullptr;
}

void PropertyBag::WriteFont(const std::string& name, const std::shared_ptr<StdFont>& value,
                            const std::shared_ptr<StdFont>& defaultValue) {
    const auto& f = value ? value : defaultValue;
    if (f) values_[sys::upperAscii(name)] = *f;
    else values_.erase(sys::upperAscii(name));
}

bool PropertyBag::contains(const std::string& name) const { return values_.count(sys::upperAscii(name)) != 0; }

UserControl::UserControl(win::HWND container) : container_(container) {
    win::WNDCLASS wc;
    wc.lpszClassName = kClass;
    wc.lpfnWndProc = win::wndProcOf(&controlProc);
    win::RegisterClass(wc);  // 0 once registered: the class stays for the machine
    hwnd_ = win::CreateWindowEx(0, kClass, "", win::WS_CHILD | win::WS_VISIBLE, 0, 0, 0, 0, container);
    if (hwnd_) controls().byHwnd[hwnd_] = this;
}

UserControl::~UserControl() {
    if (!hwnd_) return;
    controls().byHwnd.erase(hwnd_);
    win::DestroyWindow(hwnd_);
}

void UserControl::Move(long left, long top, long width, long height) {
    width_ = std::max(0L, width);
    height_ = std::max(0L, height);
    if (hwnd_)
        win::MoveWindow(hwnd_, toPixels(left, win::TwipsPerPixelX), toPixels(top, win::TwipsPerPixelY),
                        toPixels(width_, win::TwipsPerPixelX), toPixels(height_, win::TwipsPerPixelY), win::TRUE);
    UserControl_Resize();
}

bool UserControl::Visible() const { return hwnd_ && (win::GetWindowLong(hwnd_, win::GWL_STYLE) & win::WS_VISIBLE); }

void UserControl::setVisible(bool visible) {
    if (hwnd_) win::ShowWindow(hwnd_, visible ? win::SW_SHOWNA : win::SW_HIDE);
}

} // namespace forms
