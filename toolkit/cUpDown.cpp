#include "cUpDown.h"

#include "MSubclass.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Screen.h"

#include <algorithm>

namespace {

int32_t limitRange(int32_t v) { return std::clamp(v, -cUpDown::kRangeLimit, cUpDown::kRangeLimit); }

const win::UINT kHooked[] = {win::WM_NOTIFY, win::WM_VSCROLL, win::WM_HSCROLL};

} // namespace

cUpDown::cUpDown(win::HWND container) : forms::UserControl(container) {}

cUpDown::~cUpDown() { destroyWindow(); }

void cUpDown::createWindow() {
    if (hwnd_) {
        position_ = Position();
        destroyWindow();
    }
    win::INITCOMMONCONTROLSEX icc;
    icc.dwICC = win::ICC_UPDOWN_CLASS;
    win::InitCommonControlsEx(&icc);

    win::DWORD style = win::WS_CHILD | win::WS_VISIBLE | static_cast<win::DWORD>(orientation_) |
                       static_cast<win::DWORD>(alignment_);
    if (!showThousands_) style |= win::UDS_NOTHOUSANDS;
    if (autoBuddyText_) style |= win::UDS_SETBUDDYINT;
    if (arrowKeys_) style |= win::UDS_ARROWKEYS;
    if (wrap_) style |= win::UDS_WRAP;
    hwnd_ = win::CreateUpDownControl(style, 0, 0, static_cast<int>(Width() / win::TwipsPerPixelX),
                                     static_cast<int>(Height() / win::TwipsPerPixelY), hWnd(), hWnd(), 0, buddy_,
                                     upper_, lower_, position_);
    if (!hwnd_) return;
    if (numberStyle_ != 10) win::SendMessage(hwnd_, win::UDM_SETBASE, static_cast<win::WPARAM>(numberStyle_), 0);
    if (ambient.UserMode) {
        attached_ = true;  // so a failed attach is undone by the destroy
        for (win::UINT m : kHooked) MSubclass::HookMessage(this, hWnd(), m);
        response_ = 2;
    }
    applyAcceleration();
    // A stored Enabled of false holds for the new window too.
    if (!enabled_) Enabled(false);
}

void cUpDown::destroyWindow() {
    if (attached_) {
        for (win::UINT m : kHooked) MSubclass::UnhookMessage(this, hWnd(), m);
        attached_ = false;
    }
    if (!hwnd_) return;
    win::ShowWindow(hwnd_, win::SW_HIDE);
    win::SetParent(hwnd_, 0);
    win::DestroyWindow(hwnd_);
    hwnd_ = 0;
}

void cUpDown::recreateIfShown() {
    if (hwnd_) createWindow();
}

void cUpDown::applyAcceleration() {
    if (!hwnd_) return;
    win::UDACCEL32 table[2] = {{0, static_cast<win::UINT>(smallChange_)}, {1, static_cast<win::UINT>(largeChange_)}};
    win::PinnedMemory pin(table, sizeof table);
    win::SendMessage(hwnd_, win::UDM_SETACCEL, 2, pin.address());
}

void cUpDown::Wrap(bool value) {
    if (value == wrap_) return;
    wrap_ = value;
    recreateIfShown();
    PropertyChanged("Wrap");
}

void cUpDown::ShowThousandsSeparator(bool value) {
    if (value == showThousands_) return;
    showThousands_ = value;
    recreateIfShown();
    PropertyChanged("ShowThousandsSeparator");
}

void cUpDown::AutoChangeBuddyText(bool value) {
    if (value == autoBuddyText_) return;
    autoBuddyText_ = value;
    recreateIfShown();
    PropertyChanged("AutoChangeBuddyText");
}

void cUpDown::ArrowKeysChange(bool value) {
    if (value == arrowKeys_) return;
    arrowKeys_ = value;
    recreateIfShown();
    PropertyChanged("ArrowKeysChange");
}

void cUpDown::Alignment(int32_t value) {
    if (value == alignment_) return;
    alignment_ = value;
    recreateIfShown();
    PropertyChanged("Alignment");
}

void cUpDown::Orientation(int32_t value) {
    if (value == orientation_) return;
    orientation_ = value;
    recreateIfShown();
    PropertyChanged("Orientation");
}

void cUpDown::SmallChange(int32_t value) {
    if (value == smallChange_ && !customAcceleration_) return;
    const bool changed = value != smallChange_;
    smallChange_ = value;
    customAcceleration_ = false;
    applyAcceleration();
    if (changed) PropertyChanged("SmallChange");
}

void cUpDown::LargeChange(int32_t value) {
    if (value == largeChange_ && !customAcceleration_) return;
    const bool changed = value != largeChange_;
    largeChange_ = value;
    customAcceleration_ = false;
    applyAcceleration();
    if (changed) PropertyChanged("LargeChange");
}

void cUpDown::NumberStyle(int32_t value) {
    if (value == numberStyle_) return;
    numberStyle_ = value;
    if (hwnd_) win::SendMessage(hwnd_, win::UDM_SETBASE, static_cast<win::WPARAM>(value), 0);
}

void cUpDown::Upper(int32_t value) {
    value = limitRange(value);
    if (value == upper_) return;
    upper_ = value;
    if (hwnd_) win::SendMessage(hwnd_, win::UDM_SETRANGE, 0, win::MAKELPARAM(upper_, lower_));
    PropertyChanged("Upper");
}

void cUpDown::Lower(int32_t value) {
    value = limitRange(value);
    if (value == lower_) return;
    lower_ = value;
    if (hwnd_) win::SendMessage(hwnd_, win::UDM_SETRANGE, 0, win::MAKELPARAM(upper_, lower_));
    PropertyChanged("Lower");
}

int32_t cUpDown::Position() {
    if (!hwnd_) return position_;
    return win::LOWORD(static_cast<win::DWORD>(win::SendMessage(hwnd_, win::UDM_GETPOS, 0, 0)));
}

void cUpDown::Position(int32_t value) {
    int32_t v = static_cast<int32_t>(static_cast<uint32_t>(value) & 0xFFFF);
    if (upper_ > lower_) {
        v = std::clamp(v, lower_, upper_);
    } else {
        if (v < upper_) v = upper_;
        if (v > lower_) v = lower_;
    }
    position_ = v;
    if (hwnd_) win::SendMessage(hwnd_, win::UDM_SETPOS, 0, v);
    PropertyChanged("Position");
}

win::HWND cUpDown::BuddyhWnd() { return hwnd_ ? win::SendMessage(hwnd_, win::UDM_GETBUDDY, 0, 0) : 0; }

void cUpDown::BuddyhWnd(win::HWND buddy) {
    if (hwnd_) win::SendMessage(hwnd_, win::UDM_SETBUDDY, static_cast<win::WPARAM>(buddy), 0);
    buddy_ = buddy;
}

void cUpDown::Enabled(bool value) {
    enabled_ = value;
    if (hwnd_) win::EnableWindow(hwnd_, value);
    if (buddy_) win::EnableWindow(buddy_, value);
}

void cUpDown::SetCustomAcceleration(std::vector<int32_t>& increments, std::vector<int32_t>& seconds) {
    if (increments.size() != seconds.size()) return;
    std::vector<win::UDACCEL32> table;
    for (size_t i = 0; i < increments.size(); ++i)
        table.push_back({static_cast<win::UINT>(seconds[i]), static_cast<win::UINT>(increments[i])});
    if (!table.empty()) {
        win::PinnedMemory pin(table.data(), table.size() * sizeof(win::UDACCEL32));
        win::SendMessage(hwnd_, win::UDM_SETACCEL, static_cast<win::WPARAM>(table.size()), pin.address());
    } else {
        win::SendMessage(hwnd_, win::UDM_SETACCEL, 0, 0);
    }
    customAcceleration_ = true;
}

win::LRESULT cUpDown::WindowProc(win::HWND, win::UINT msg, win::WPARAM, win::LPARAM lParam) {
    if (msg == win::WM_NOTIFY) {
        const win::NMHDR32* hdr = win::pinnedAs<win::NMHDR32>(lParam);
        if (!hdr || !hwnd_ || hdr->idFrom != static_cast<win::UINT>(hWnd()) || hdr->hwndFrom != hwnd_ ||
            hdr->code != win::UDN_DELTAPOS)
            return 0;
        const win::NMUPDOWN32* nm = win::pinnedAs<win::NMUPDOWN32>(lParam);
        if (!nm) return 0;
        const int32_t position = nm->iPos;
        int32_t delta = nm->iDelta;
        if (buddy_ && win::IsWindow(buddy_) && win::IsWindowVisible(buddy_) && win::IsWindowEnabled(buddy_) &&
            win::GetFocus() != buddy_)
            win::SetFocus(buddy_);
        if (BeforeChange) BeforeChange(position, delta);
        return delta == 0 ? 1 : 0;
    }
    if ((msg == win::WM_VSCROLL || msg == win::WM_HSCROLL) && hwnd_ && lParam == hwnd_) {
        if (Change) Change();
    }
    return 0;
}

void cUpDown::UserControl_InitProperties() { createWindow(); }

void cUpDown::UserControl_ReadProperties(forms::PropertyBag& bag) {
    Lower(bag.ReadProperty("Lower", 0).toLong());
    Upper(bag.ReadProperty("Upper", 1000).toLong());
    Position(bag.ReadProperty("Position", 0).toLong());
    Orientation(bag.ReadProperty("Orientation", 0).toLong());
    Alignment(bag.ReadProperty("Alignment", static_cast<int32_t>(win::UDS_ALIGNRIGHT)).toLong());
    ShowThousandsSeparator(bag.ReadProperty("ShowThousandsSeparator", true).toBool());
    NumberStyle(bag.ReadProperty("NumberStyle", 10).toLong());
    ArrowKeysChange(bag.ReadProperty("ArrowKeysChange", true).toBool());
    AutoChangeBuddyText(bag.ReadProperty("AutoChangeBuddyText", false).toBool());
    SmallChange(bag.ReadProperty("SmallChange", 1).toLong());
    LargeChange(bag.ReadProperty("LargeChange", 5).toLong());
    Enabled(bag.ReadProperty("Enabled", true).toBool());
    createWindow();
}

void cUpDown::UserControl_WriteProperties(forms::PropertyBag& bag) {
    bag.WriteProperty("Lower", Lower(), 0);
    bag.WriteProperty("Upper", Upper(), 1000);
    bag.WriteProperty("Position", Position(), 0);
    bag.WriteProperty("Orientation", Orientation(), 0);
    bag.WriteProperty("Alignment", Alignment(), static_cast<int32_t>(win::UDS_ALIGNRIGHT));
    bag.WriteProperty("ShowThousandsSeparator", ShowThousandsSeparator(), true);
    bag.WriteProperty("NumberStyle", NumberStyle(), 10);
    bag.WriteProperty("ArrowKeysChange", ArrowKeysChange(), true);
    bag.WriteProperty("AutoChangeBuddyText", AutoChangeBuddyText(), false);
    bag.WriteProperty("SmallChange", SmallChange(), 1);
    bag.WriteProperty("LargeChange", LargeChange(), 5);
    bag.WriteProperty("Enabled", Enabled(), true);
    destroyWindow();
}

void cUpDown::UserControl_Resize() {
    if (!hwnd_) return;
    win::MoveWindow(hwnd_, 0, 0, static_cast<int>(Width() / win::TwipsPerPixelX),
                    static_cast<int>(Height() / win::TwipsPerPixelY), win::TRUE);
}
