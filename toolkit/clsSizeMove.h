#pragma once
// Watches one top-level window's move and size loop, its activation and the mouse over its
// frame, and raises them as events (windows use it to dock at screen edges). With NoFullDrag the
// system's show-contents-while-dragging setting is off exactly while the window is active, so
// the window drags as an outline; the user's setting comes back on deactivation, on the window's
// destruction, on NoFullDrag = False and when the watcher goes.
#include "ISubclass.h"

#include <cstdint>
#include <functional>
#include <memory>

class clsSizeMove : public ISubclass {
public:
    clsSizeMove();
    // Restores the drag setting if owed and detaches.
    ~clsSizeMove() override;

    bool NoFullDrag() const { return noFullDrag_; }
    void NoFullDrag(bool value);
    bool Active() const { return active_; }
    // Detaches, then watches this window. A window the subclassing refuses raises its error.
    void Attach(win::HWND hwnd);
    // Stops watching; nothing before the first Attach.
    void Detach();
    // True when the cursor lies inside the window's screen rectangle.
    bool AreaIn() const;

    // Raised synchronously from inside the window's message handling. Moving and Sizing pass the
    // rectangle in screen pixels; inside a move or size loop the handler's values become the
    // drag rectangle (right = Left + Width, bottom = Top + Height). Sizing is also raised for a
    // size change outside the loop, with the window's rectangle, and then changes are ignored.
    std::function<void()> MouseOverForm;
    std::function<void()> MouseLeaveForm;
    std::function<void()> EnterSizeMove;
    std::function<void()> ExitSizeMove;
    std::function<void(bool byClick)> Activate;
    std::function<void()> Deactivate;
    std::function<void(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height)> Moving;
    std::function<void(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height)> Sizing;

    // The window's previous procedure runs after this watcher.
    int32_t MsgResponse() override { return 1; }
    void MsgResponse(int32_t) override {}
    win::LRESULT WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) override;

private:
    void FullDragOff();
    void RestoreFullDrag();
    void RaiseRect(const std::function<void(int32_t&, int32_t&, int32_t&, int32_t&)>& event, win::LPARAM rect);

    win::HWND hwnd_ = 0;
    bool dragOwed_ = false;
    bool noFullDrag_ = false;
    bool active_ = false;
    bool inLoop_ = false;
    // Goes false when the object is destroyed, so a handler may let go of the watcher.
    std::shared_ptr<bool> alive_;
};
