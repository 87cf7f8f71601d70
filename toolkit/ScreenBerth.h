#pragma once
// Parking a window at an edge of the screen. Dragged against an edge, the window snaps flush to
// it when the drag ends; once the cursor has left it or it loses activation it slides out until
// a strip of 3 pixels is left, and the mouse over that strip brings it back at once. Dragging it
// away from the edge ends the berth.
//
// One object per docking window, made by the window's load and dropped by its unload. What
// differs between the windows is in BerthRules and in the hooks; a window that needs more of a
// watcher event rebinds it on cSizeMove after Attach and calls the handler here itself.
// All of it runs on the user-interface thread. Positions are screen pixels; the virtual screen
// is taken to begin at (0, 0).
#include "CTimer.h"
#include "clsSizeMove.h"

#include "platform/desktop/Window.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace forms {
class Form;
}

struct BerthRules {
    // The sides (0 top, 1 right, 2 bottom, 3 left) in the order the edges are tested while the
    // user drags and while the window is resized; a later hit overrides an earlier one.
    std::array<int32_t, 4> moveOrder{3, 0, 1, 2};
    std::array<int32_t, 4> sizeOrder{3, 0, 1, 2};
    // The least size a resize leaves, pixels; 0 for none.
    int32_t minWidth = 0;
    int32_t minHeight = 0;
    // Leave-watch intervals, ms: after a snap or a slide-in, and after the window's first activation.
    int32_t leaveAfterShow = 800;
    int32_t leaveAfterOpen = 1500;
    // BerthSide before the first berth (-1: none).
    int32_t initialSide = 0;
};

class ScreenBerth {
public:
    // The slide: the first step this long after BerthLeave, then one step a tick, about
    // kSlideSteps steps for the whole size, until kStrip pixels are left on the screen.
    static constexpr int32_t kSlideDelay = 200;
    static constexpr int32_t kSlideTick = 10;
    static constexpr int32_t kSlideSteps = 15;
    static constexpr int32_t kStrip = 3;

    // Reads the virtual screen's size and makes the two timers (stopped).
    explicit ScreenBerth(forms::Form& window, BerthRules rules = {});
    // Stops the timers and lets go of the watcher.
    ~ScreenBerth();
    ScreenBerth(const ScreenBerth&) = delete;
    ScreenBerth& operator=(const ScreenBerth&) = delete;

    // Makes the watcher (the user's drag setting left alone), binds its events to the handlers
    // below and attaches it to the window. A window the subclassing refuses raises its error.
    void Attach();
    // Detaches and releases the watcher; errors are ignored.
    void Detach();

    const BerthRules& Rules() const { return rules_; }
    // The window is berthed at BerthSide.
    bool BerthOn() const { return berthed_; }
    // Ends or restores the berth without moving the window.
    void BerthOn(bool on) { berthed_ = on; }
    int32_t BerthSide = 0;
    // Pixels a slide step moves, fixed at the first tick of each slide.
    int32_t HideStep = 0;
    // False while the window moves itself: the size and move handlers then do nothing.
    bool MoveReady = true;
    // True while the window is brought in on request, so that the slide-in arms no leave watch.
    bool KeepShown = false;
    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;
    // Off: the window is kept inside the screen instead and never berths.
    bool AutoHide = true;

    std::shared_ptr<CTimer> m_Timer;  // the slide
    std::shared_ptr<CTimer> m_Leave;  // the leave watch
    std::unique_ptr<clsSizeMove> cSizeMove;

    // ---- What a window adds ---------------------------------------------------------------
    // While the window is resized, after the least size and before the edge tests.
    std::function<void(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height)> SizeRule;
    // At a slide-in, once the window moves itself and before it jumps in.
    std::function<void()> BeforeSlideIn;
    // When BerthLeave is asked to hide the window.
    std::function<void()> OnLeave;
    // At the end of the user's drag or resize, after the snap.
    std::function<void()> AfterExitSizeMove;
    // At every activation the watcher reports.
    std::function<void(bool byClick)> OnActivate;

    // ---- The watcher's events and the timers ------------------------------------------------
    void cSizeMove_Moving(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height);
    void cSizeMove_Sizing(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height);
    void cSizeMove_ExitSizeMove();
    // The slide-in.
    void cSizeMove_MouseOverForm();
    void cSizeMove_Deactivate();
    void m_Leave_ThatTime();
    void m_Timer_ThatTime();

    // ---- What the window's own members call -------------------------------------------------
    // Starts hiding: the first slide step comes kSlideDelay ms later.
    void BerthLeave();
    // The bring-in member (xBerth, ReVisible): slides the berthed window in without a leave
    // watch, then gives it the keyboard focus.
    void BringIn();
    // The window's activation: top-most again each time; at the first activation of this
    // opening a berthed window gets its leave watch. True for the first activation.
    bool Activated();
    // Where the window is when fully shown at its edge (its own place when not berthed): the
    // place a window saves.
    win::POINT ShownPosition() const;

private:
    win::HWND hwnd() const;
    win::RECT rect() const;
    // A minimised or maximised window neither berths nor slides.
    bool settled() const;
    void detectEdges(const std::array<int32_t, 4>& order, int32_t Left, int32_t Top, int32_t Width, int32_t Height);
    void keepOnScreen(int32_t& Left, int32_t& Top, int32_t Width, int32_t Height);
    void snap();
    void place(int32_t left, int32_t top);

    forms::Form& window_;
    BerthRules rules_;
    bool berthed_ = false;
    bool activatedOnce_ = false;
};
