#pragma once
// The speech-bubble pop-up: a pale-yellow rounded box with a pointer whose tip touches a screen
// point. It holds no content of its own; a host lends it a content window through Layout, pops
// it up, and hears BalloonClose when the user clicks elsewhere. The window is cut to its drawn
// shape by a window region.
#include "cDropDown.h"
#include "platform/forms/Form.h"
#include "platform/gdi/Picture.h"

#include <cstdint>
#include <functional>
#include <memory>

class frmBalloon : public forms::Form {
public:
    frmBalloon();
    ~frmBalloon() override;

    // Colours, 0xRRGGBB.
    static constexpr uint32_t kFillColour = 0xFFFFCC;
    static constexpr uint32_t kBorderColour = 0x000000;
    static constexpr uint32_t kKeyColour = 0xFF00FF;

    // The content container (touching it loads the balloon). Before Popup the host sizes it to
    // its content, in pixels; a content window moved into it keeps its own position there.
    win::HWND Layout();
    void SizeLayout(int width, int height);

    // Shows the balloon with the pointer's tip at the screen point (pixels); 0 in either
    // coordinate means the cursor position. Topmost, owned by the main window, active.
    void Popup(int32_t X, int32_t Y);
    // The pointer style (1 lower right, 2 upper right, 3 lower left, 4 upper left: the quadrant
    // of the point, and so the window corner of the tip) for the window's present size; moves the
    // window so that the tip lands on the point.
    int16_t GetPointerStyle(int32_t X, int32_t Y);

    // Raised when the balloon loses activation. The balloon neither hides nor unloads itself.
    std::function<void()> BalloonClose;

    // The face drawn by the last Popup, the window's background picture (no bitmap before).
    forms::StdPicture Face() const { return picture_; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private:
    struct Canvas;
    void GetScreenSize(int32_t& width, int32_t& height);
    void DrawRoundBox(Canvas& dc, const win::RECT& rect, uint32_t border, uint32_t fill);
    void MakeWindowRegion(win::HWND hwnd, uint32_t key);

    void dropPictures();

    win::HWND layout_ = 0;
    std::unique_ptr<cDropDown> cDropDown1_;
    // The bitmaps behind the window's and Layout's background pictures; the balloon owns them.
    forms::StdPicture picture_;
    forms::StdPicture layoutPicture_;
};

// For the windows that lend their page area to a balloon (the tool tip, the order balloons).
// Keeps an object alive until the current pump round is over: an unload may run inside one of
// the object's own events.
void KeepUntilIdle(std::shared_ptr<void> object);
// Gives the page area back to its window at its size and lets the balloon go.
void ReturnBalloonLayout(forms::Form& owner, win::HWND layout, std::shared_ptr<frmBalloon>& balloon);
