#pragma once
// An invisible control that makes its host form behave as a drop-down: it reports when the host
// loses activation (the host then closes itself) and the mouse over and leaving the host's frame,
// and can close the host or arm the deactivation watch again. Place it from the host's Form_Load,
// once the host's window exists.
#include "ISubclass.h"

#include <cstdint>
#include <functional>
#include <string>

namespace forms {
class Form;
}

class cDropDown : public ISubclass {
public:
    // userMode is the container's user mode: False while the host is being designed, when the
    // control shows its label and watches nothing.
    explicit cDropDown(forms::Form& host, bool userMode = true);
    ~cDropDown() override;

    // True when the cursor lies inside the host window's screen rectangle.
    bool AreaIn() const;
    // Posts WM_CLOSE to the host.
    void WMClose();
    // Watches the host's activation once more (nothing when it is watched already).
    void ReActive();
    void XClose() { WMClose(); }

    // Raised synchronously from inside the host's message handling.
    std::function<void()> DeactivateForm;
    std::function<void()> MouseOverForm;
    std::function<void()> MouseLeaveForm;

    // The extender's Visible: the control hides itself at run time.
    bool Visible() const { return visible_; }
    // The label shown at design time.
    static const char* const kLabelCaption;

    // The host's own procedure runs after this control for WM_ACTIVATE, before it otherwise.
    int32_t MsgResponse() override;
    void MsgResponse(int32_t) override {}
    win::LRESULT WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) override;

private:
    void AttachHost();
    void DetachHost();

    forms::Form& parent_;
    win::HWND host_ = 0;
    bool userMode_ = false;
    bool attached_ = false;
    bool visible_ = true;
};
