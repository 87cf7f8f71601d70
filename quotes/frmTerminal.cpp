#include "frmTerminal.h"

#include "core/cls_MT4.h"
#include "toolkit/cls_Config.h"

#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kNode = "Window/Terminal";
constexpr const char* kLayoutClass = "ThunderPictureBoxDC";
// The panel's own border, kept outside the holder.
constexpr int kPanelBand = 6;
// The holder's margin inside the window.
constexpr int kMargin = 5;
constexpr int32_t kCheckMs = 1000;

BerthRules terminalRules() {
    BerthRules r;
    // While resizing the left edge wins over all others.
    r.sizeOrder = {0, 1, 2, 3};
    r.minWidth = 580;
    r.minHeight = 150;
    r.initialSide = 0;
    return r;
}

void registerLayoutClass() {
    win::WNDCLASS wc;
    wc.lpszClassName = kLayoutClass;
    win::RegisterClass(wc);  // 0 once it is registered: nothing to do then
}

win::RECT windowRect(win::HWND h) {
    win::RECT r{};
    win::GetWindowRect(h, &r);
    return r;
}

// Makes the terminal lay its main window out again: a maximised one is restored and maximised,
// another one is sized by widthChange pixels at its place. Nothing for a terminal that is gone.
void relayoutTerminal(win::HWND main, const win::RECT& at, int widthChange) {
    if (!main) return;
    if (win::IsZoomed(main)) {
        if (!win::IsWindowVisible(main)) return;
        win::ShowWindow(main, win::SW_RESTORE);
        win::ShowWindow(main, win::SW_MAXIMIZE);
        return;
    }
    win::MoveWindow(main, at.left, at.top, at.right - at.left + widthChange, at.bottom - at.top);
}

} // namespace

frmTerminal::frmTerminal() : TerminalPanelWindow("frmTerminal") {
    design.caption = "MT4终端";
    design.borderStyle = forms::vbSizableToolWindow;
    design.showInTaskbar = false;
    design.width = 640 * 15;
    design.height = 240 * 15;
}

frmTerminal::~frmTerminal() {
    // A window that goes without its unload still owes the terminal its panel.
    if (held_ && sys::Machine::currentOrNull()) giveBack();
    stopCheck();
}

// ---- Public members -------------------------------------------------------------------------

void frmTerminal::BerthLeave() {
    if (berth_) berth_->BerthLeave();
}

void frmTerminal::ReVisible() {
    if (berth_) berth_->BringIn();
}

bool frmTerminal::BerthOn() { return berth_ && berth_->BerthOn(); }

// ---- Load: taking the panel in -----------------------------------------------------------------

void frmTerminal::Form_Load() {
    const win::HWND me = hWnd();
    registerLayoutClass();
    Layout_ = win::CreateWindowEx(0, kLayoutClass, "", win::WS_CHILD | win::WS_VISIBLE | win::WS_CLIPCHILDREN, kMargin,
                                  kMargin, 100, 100, me);
    held_ = false;
    PanelWasHidden_ = false;

    cls_MT4& t = MT4();
    PanelHwnd_ = t.TerminalHwnd();
    PanelParent_ = win::GetParent(PanelHwnd_);

    stopCheck();
    m_Check = CTimer::create();
    m_Check->ThatTime = [this] { m_Check_ThatTime(); };
    berth_ = std::make_unique<ScreenBerth>(*this, terminalRules());
    berth_->MoveReady = false;

    const win::HWND main = t.Mt4Hwnd();
    const win::RECT mainRect = windowRect(main);

    // The saved place, pixels. Sizes below the least one a resize allows are taken as that.
    cls_Config& c = Config();
    auto number = [&](const char* name, double low, double high) {
        return settingNumber(c.GetNodeAttrib(kNode, name), low, high);
    };
    const double limit = 1e6;
    const double left = number("Left", -limit, limit), top = number("Top", -limit, limit);
    const double width = number("Width", berth_->Rules().minWidth, limit);
    const double height = number("Height", berth_->Rules().minHeight, limit);
    const long tppX = forms::Screen.TwipsPerPixelX(), tppY = forms::Screen.TwipsPerPixelY();
    Move(std::lround(left * tppX), std::lround(top * tppY), std::lround(width * tppX), std::lround(height * tppY));
    Form_Resize();  // the holder follows even when the place keeps the window's size

    if (PanelHwnd_ && win::IsWindow(PanelHwnd_)) {
        // Whether the user had the panel closed is its own state, not its terminal's: a hidden
        // terminal window would otherwise make a shown panel come back hidden.
        if (!(static_cast<win::DWORD>(win::GetWindowLong(PanelHwnd_, win::GWL_STYLE)) & win::WS_VISIBLE)) {
            win::ShowWindow(PanelHwnd_, win::SW_SHOW);
            PanelWasHidden_ = true;
        }
        win::ShowWindow(PanelParent_, win::SW_HIDE);
        held_ = win::SetParent(PanelHwnd_, Layout_) != 0;
        if (held_) {
            placePanel();
            relayoutTerminal(main, mainRect, 1);
        } else {
            win::ShowWindow(PanelParent_, win::SW_SHOW);
        }
    }

    berth_->Attach();
    berth_->MoveReady = true;
    m_Main::TerminalWindowOpen = true;
}

void frmTerminal::placePanel() {
    if (!held_) return;
    win::RECT inner{};
    win::GetClientRect(Layout_, &inner);
    win::MoveWindow(PanelHwnd_, -kPanelBand, -kPanelBand, inner.right + 2 * kPanelBand, inner.bottom + 2 * kPanelBand);
}

// ---- Window events ------------------------------------------------------------------------------

void frmTerminal::Form_Activate() {
    if (berth_ && berth_->Activated()) m_Check->Interval(kCheckMs);
}

void frmTerminal::Form_Resize() {
    if (!Layout_) return;
    win::RECT c{};
    win::GetClientRect(hWnd(), &c);
    // Pixels: the holder keeps a margin of its own around the panel.
    win::MoveWindow(Layout_, kMargin, kMargin, std::max(0, c.right - 2 * kMargin), std::max(0, c.bottom - 2 * kMargin));
    placePanel();
}

void frmTerminal::m_Check_ThatTime() {
    // The terminal closed, restarted or was switched: the panel is not the one to hold any more.
    if (win::IsWindowVisible(PanelHwnd_) && PanelHwnd_ == MT4().TerminalHwnd()) return;
    m_Check->Interval(0);
    Unload();
}

void frmTerminal::Form_QueryUnload(int& Cancel, int UnloadMode) {
    (void)Cancel;
    cls_Config& c = Config();
    c.SetNodeAttrib(kNode, "Status", std::to_string(UnloadMode));
    const long tppX = forms::Screen.TwipsPerPixelX(), tppY = forms::Screen.TwipsPerPixelY();
    if (berth_ && berth_->BerthOn()) {
        const win::POINT p = berth_->ShownPosition();
        c.SetNodeAttrib(kNode, "Left", std::to_string(p.x));
        c.SetNodeAttrib(kNode, "Top", std::to_string(p.y));
    } else {
        c.SetNodeAttrib(kNode, "Left", forms::CStr(static_cast<double>(Left()) / tppX));
        c.SetNodeAttrib(kNode, "Top", forms::CStr(static_cast<double>(Top()) / tppY));
    }
    c.SetNodeAttrib(kNode, "Width", forms::CStr(static_cast<double>(Width()) / tppX));
    c.SetNodeAttrib(kNode, "Height", forms::CStr(static_cast<double>(Height()) / tppY));
    if (berth_) berth_->Detach();
}

// ---- Unload: giving the panel back ------------------------------------------------------------

void frmTerminal::Form_Unload(int& Cancel) {
    (void)Cancel;
    giveBack();
    stopCheck();
    berth_.reset();
    Layout_ = 0;
    m_Main::TerminalWindowOpen = false;
}

void frmTerminal::giveBack() {
    if (!held_) return;
    held_ = false;
    const win::HWND main = MT4().Mt4Hwnd();
    // Back as it was taken: a panel the user had closed is closed again (unless its terminal is
    // hidden, where nobody could open it), and one that was shown is shown, even if something
    // hid it while it was here.
    if (PanelWasHidden_) {
        if (win::IsWindowVisible(main)) win::ShowWindow(PanelHwnd_, win::SW_HIDE);
        PanelWasHidden_ = false;
    } else {
        win::ShowWindow(PanelHwnd_, win::SW_SHOW);
    }
    win::RECT inner{};
    win::GetClientRect(PanelParent_, &inner);
    win::SetParent(PanelHwnd_, PanelParent_);
    win::MoveWindow(PanelHwnd_, 0, 0, inner.right, inner.bottom);
    win::ShowWindow(PanelParent_, win::SW_SHOW);
    relayoutTerminal(main, windowRect(main), -1);
}

void frmTerminal::stopCheck() {
    if (!m_Check) return;
    m_Check->ThatTime = nullptr;
    try {
        m_Check->Interval(0);
    } catch (...) {
    }
    m_Check.reset();
}
