#pragma once
// A spin box: the system's up-down control covering the user control, kept in step with its
// properties and recreated when a property that is a window style changes. Steps arrive as
// notifications at the user control's own window and become BeforeChange and Change.
#include "ISubclass.h"
#include "platform/desktop/CommonControls.h"
#include "platform/forms/UserControl.h"

#include <cstdint>
#include <functional>
#include <vector>

class cUpDown : public forms::UserControl, public ISubclass {
public:
    explicit cUpDown(win::HWND container);
    ~cUpDown() override;

    bool Wrap() const { return wrap_; }
    void Wrap(bool value);
    bool ShowThousandsSeparator() const { return showThousands_; }
    void ShowThousandsSeparator(bool value);
    bool AutoChangeBuddyText() const { return autoBuddyText_; }
    void AutoChangeBuddyText(bool value);
    bool AutoPositionToBuddyText() const { return autoPosition_; }
    void AutoPositionToBuddyText(bool value) { autoPosition_ = value; }
    bool ArrowKeysChange() const { return arrowKeys_; }
    void ArrowKeysChange(bool value);
    int32_t Alignment() const { return alignment_; }
    void Alignment(int32_t value);
    int32_t Orientation() const { return orientation_; }
    void Orientation(int32_t value);
    int32_t SmallChange() const { return smallChange_; }
    void SmallChange(int32_t value);
    int32_t LargeChange() const { return largeChange_; }
    void LargeChange(int32_t value);
    int32_t NumberStyle() const { return numberStyle_; }
    void NumberStyle(int32_t value);
    int32_t Upper() const { return upper_; }
    void Upper(int32_t value);
    int32_t Lower() const { return lower_; }
    void Lower(int32_t value);
    int32_t Position();
    void Position(int32_t value);
    win::HWND BuddyhWnd();
    void BuddyhWnd(win::HWND buddy);
    win::HWND hwnd() const { return hwnd_; }
    bool Enabled() const { return enabled_; }
    void Enabled(bool value);

    // One acceleration entry per index (seconds held, then the step); arrays of different
    // lengths change nothing. Lost when the window is recreated.
    void SetCustomAcceleration(std::vector<int32_t>& increments, std::vector<int32_t>& seconds);

    // Events. BeforeChange: a handler that sets delta to 0 refuses the step.
    std::function<void(int32_t position, int32_t& delta)> BeforeChange;
    std::function<void()> Change;

    // Control events, called by the container.
    void UserControl_InitProperties();
    void UserControl_ReadProperties(forms::PropertyBag& bag);
    void UserControl_WriteProperties(forms::PropertyBag& bag);
    void UserControl_Resize() override;

    // ISubclass
    int32_t MsgResponse() override { return response_; }
    void MsgResponse(int32_t) override {}
    win::LRESULT WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) override;

    static constexpr int32_t kRangeLimit = 32725;

private:
    void createWindow();
    void destroyWindow();
    void recreateIfShown();
    void applyAcceleration();

    int32_t response_ = 0;
    bool attached_ = false;
    win::HWND hwnd_ = 0;
    bool showThousands_ = true;
    bool autoBuddyText_ = false;
    bool autoPosition_ = false;
    bool arrowKeys_ = true;
    bool wrap_ = false;
    int32_t alignment_ = win::UDS_ALIGNRIGHT;
    int32_t orientation_ = 0;
    int32_t upper_ = 1000;
    int32_t lower_ = 0;
    int32_t numberStyle_ = 10;
    win::HWND buddy_ = 0;
    int32_t position_ = 0;
    int32_t smallChange_ = 1;
    int32_t largeChange_ = 5;
    bool customAcceleration_ = false;
    bool enabled_ = true;
};
