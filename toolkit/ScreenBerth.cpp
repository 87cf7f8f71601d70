#include "ScreenBerth.h"

#include "m_Main.h"

#include "platform/desktop/Screen.h"
#include "platform/forms/Form.h"

#include <algorithm>

ScreenBerth::ScreenBerth(forms::Form& window, BerthRules rules) : window_(window), rules_(rules) {
    BerthSide = rules_.initialSide;
    ScreenWidth = win::GetSystemMetrics(win::SM_CXVIRTUALSCREEN);
    ScreenHeight = win::GetSystemMetrics(win::SM_CYVIRTUALSCREEN);
    m_Timer = CTimer::create();
    m_Leave = CTimer::create();
    m_Timer->ThatTime = [this] { m_Timer_ThatTime(); };
    m_Leave->ThatTime = [this] { m_Leave_ThatTime(); };
}

ScreenBerth::~ScreenBerth() {
    // A running timer outlives its owner in the timer table: stop it before its handler dangles.
    for (auto* t : {&m_Timer, &m_Leave}) {
        if (!*t) continue;
        (*t)->ThatTime = nullptr;
        try {
            (*t)->Interval(0);
        } catch (...) {
        }
    }
    Detach();
}

void ScreenBerth::Attach() {
    Detach();
    cSizeMove = std::make_unique<clsSizeMove>();
    cSizeMove->NoFullDrag(false);
    cSizeMove->Moving = [this](int32_t& l, int32_t& t, int32_t& w, int32_t& h) { cSizeMove_Moving(l, t, w, h); };
    cSizeMove->Sizing = [this](int32_t& l, int32_t& t, int32_t& w, int32_t& h) { cSizeMove_Sizing(l, t, w, h); };
    cSizeMove->ExitSizeMove = [this] { cSizeMove_ExitSizeMove(); };
    cSizeMove->MouseOverForm = [this] { cSizeMove_MouseOverForm(); };
    cSizeMove->Deactivate = [this] { cSizeMove_Deactivate(); };
    cSizeMove->Activate = [this](bool byClick) {
        if (OnActivate) OnActivate(byClick);
    };
    cSizeMove->Attach(window_.hWnd());
}

void ScreenBerth::Detach() {
    if (!cSizeMove) return;
    try {
        cSizeMove->Detach();
    } catch (...) {
    }
    cSizeMove.reset();
}

win::HWND ScreenBerth::hwnd() const { return window_.IsLoaded() ? const_cast<forms::Form&>(window_).hWnd() : 0; }

win::RECT ScreenBerth::rect() const {
    win::RECT r;
    win::GetWindowRect(hwnd(), &r);
    return r;
}

bool ScreenBerth::settled() const {
    const win::HWND h = hwnd();
    return !h || win::IsIconic(h) || win::IsZoomed(h);
}

// ---- Edges ------------------------------------------------------------------------------------

void ScreenBerth::detectEdges(const std::array<int32_t, 4>& order, int32_t Left, int32_t Top, int32_t Width,
                              int32_t Height) {
    berthed_ = false;
    for (int32_t side : order) {
        bool hit = false;
        switch (side) {
        case 0: hit = Top < 1; break;
        case 1: hit = Left + Width >= ScreenWidth; break;
        case 2: hit = Top + Height >= ScreenHeight; break;
        case 3: hit = Left < 1; break;
        default: break;
        }
        if (hit) {
            berthed_ = true;
            BerthSide = side;
        }
    }
}

void ScreenBerth::keepOnScreen(int32_t& Left, int32_t& Top, int32_t Width, int32_t Height) {
    if (Left < 1) Left = 0;
    if (Top < 1) Top = 0;
    if (Left + Width >= ScreenWidth) Left = ScreenWidth - Width;
    if (Top + Height >= ScreenHeight) Top = ScreenHeight - Height;
    berthed_ = false;
}

void ScreenBerth::cSizeMove_Moving(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height) {
    if (settled()) {
        berthed_ = false;
        return;
    }
    if (!MoveReady) return;
    if (AutoHide) detectEdges(rules_.moveOrder, Left, Top, Width, Height);
    else keepOnScreen(Left, Top, Width, Height);
}

void ScreenBerth::cSizeMove_Sizing(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height) {
    if (settled()) {
        berthed_ = false;
        return;
    }
    if (!MoveReady) return;
    berthed_ = false;
    Width = std::max(Width, rules_.minWidth);
    Height = std::max(Height, rules_.minHeight);
    if (SizeRule) SizeRule(Left, Top, Width, Height);
    if (AutoHide) detectEdges(rules_.sizeOrder, Left, Top, Width, Height);
    else keepOnScreen(Left, Top, Width, Height);
}

// ---- Snap, slide in, leave ------------------------------------------------------------------

void ScreenBerth::place(int32_t left, int32_t top) {
    win::SetWindowPos(hwnd(), 0, left, top, 0, 0, win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
}

win::POINT ScreenBerth::ShownPosition() const {
    const win::RECT r = rect();
    win::POINT p{r.left, r.top};
    if (!berthed_) return p;
    switch (BerthSide) {
    case 0: p.y = 0; break;
    case 1: p.x = ScreenWidth - (r.right - r.left); break;
    case 2: p.y = ScreenHeight - (r.bottom - r.top); break;
    case 3: p.x = 0; break;
    default: break;
    }
    return p;
}

void ScreenBerth::snap() {
    const win::POINT p = ShownPosition();
    place(p.x, p.y);
}

void ScreenBerth::cSizeMove_ExitSizeMove() {
    if (MoveReady) {
        if (berthed_) {
            MoveReady = false;
            snap();
            MoveReady = true;
            m_Leave->Interval(rules_.leaveAfterShow);
        } else {
            m_Leave->Interval(0);
        }
    }
    if (AfterExitSizeMove) AfterExitSizeMove();
}

void ScreenBerth::cSizeMove_MouseOverForm() {
    if (settled() || m_Timer->Interval() > 0 || !berthed_) return;
    MoveReady = false;
    struct Ready {
        bool& flag;
        ~Ready() { flag = true; }
    } ready{MoveReady};
    if (BeforeSlideIn) BeforeSlideIn();
    snap();
    if (!KeepShown) m_Leave->Interval(rules_.leaveAfterShow);
}

void ScreenBerth::BringIn() {
    {
        KeepShown = true;
        struct Clear {
            bool& flag;
            ~Clear() { flag = false; }
        } clear{KeepShown};
        cSizeMove_MouseOverForm();
    }
    if (const win::HWND h = hwnd()) win::SetFocus(h);
}

void ScreenBerth::cSizeMove_Deactivate() {
    if (berthed_) BerthLeave();
}

bool ScreenBerth::Activated() {
    if (const win::HWND h = hwnd()) m_Main::SetTopMost(h);
    if (activatedOnce_) return false;
    activatedOnce_ = true;
    if (berthed_) m_Leave->Interval(rules_.leaveAfterOpen);
    return true;
}

void ScreenBerth::m_Leave_ThatTime() {
    if (!cSizeMove || cSizeMove->AreaIn() || KeepShown) return;
    m_Leave->Interval(0);
    BerthLeave();
}

void ScreenBerth::BerthLeave() {
    if (OnLeave) OnLeave();
    if (settled()) return;
    m_Timer->Interval(kSlideDelay);
}

// ---- The slide ---------------------------------------------------------------------------------

void ScreenBerth::m_Timer_ThatTime() {
    if (settled() || BerthSide < 0 || BerthSide > 3) {
        m_Timer->Interval(0);
        return;
    }
    const win::RECT r = rect();
    const int32_t width = r.right - r.left, height = r.bottom - r.top;
    if (m_Timer->Interval() == kSlideDelay) {
        const int32_t across = BerthSide == 0 || BerthSide == 2 ? height : width;
        // A window smaller than the step count would otherwise never move and slide forever.
        HideStep = std::max(1, across / kSlideSteps);
        m_Timer->Interval(kSlideTick);
    }
    MoveReady = false;
    int32_t left = r.left, top = r.top;
    bool done = false;
    switch (BerthSide) {
    case 0:
        top -= HideStep;
        if (top + height <= kStrip) top = kStrip - height, done = true;
        break;
    case 1:
        left += HideStep;
        if (left >= ScreenWidth - kStrip) left = ScreenWidth - kStrip, done = true;
        break;
    case 2:
        top += HideStep;
        if (top >= ScreenHeight - kStrip) top = ScreenHeight - kStrip, done = true;
        break;
    case 3:
        left -= HideStep;
        if (left + width <= kStrip) left = kStrip - width, done = true;
        break;
    default: break;
    }
    place(left, top);
    if (done) m_Timer->Interval(0);
    MoveReady = true;
}
