// The notice window at the screen's edges: berthing through the shared edge rule with the
// window's own minimum size and order of edges while resizing, the slide out and in, the page's
// layout when the window changes size, and what a close request saves.
#include "frmFXNotify.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Strings.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <nlohmann/json.hpp>

namespace {

constexpr const char* kNode = "Window/FXNews";
constexpr int32_t kLeastSize = 650;

BerthRules noticeRules() {
    BerthRules r;
    // Dragged into a corner the later test wins, as for the quote board; while resizing the
    // left edge wins over all others.
    r.moveOrder = {3, 0, 1, 2};
    r.sizeOrder = {0, 1, 2, 3};
    r.minWidth = kLeastSize;
    r.minHeight = kLeastSize;
    r.leaveAfterShow = 800;
    r.leaveAfterOpen = 1500;
    r.initialSide = 0;
    return r;
}


} // namespace

void frmFXNotify::berthLoad() {
    berth_ = std::make_unique<ScreenBerth>(*this, noticeRules());
    berth_->MoveReady = false;
    berth_->OnActivate = [this](bool byClick) { cSizeMove_Activate(byClick); };
    berth_->Attach();
    berth_->MoveReady = true;
}

bool frmFXNotify::BerthOn() { return berth_ && berth_->BerthOn(); }

void frmFXNotify::BerthLeave() {
    if (berth_) berth_->BerthLeave();
}

void frmFXNotify::MoveIn() {
    if (berth_) berth_->cSizeMove_MouseOverForm();
}

void frmFXNotify::xBerth() {
    if (berth_) berth_->BringIn();
    else if (IsLoaded()) win::SetFocus(hWnd());
}

void frmFXNotify::cSizeMove_Activate(bool ByClick) {
    if (ByClick || !BerthOn()) return;
    // Activated from the taskbar or a hot key while slid out: bring it in.
    win::RECT work{};
    if (!m_Main::GetWorkArea(work)) return;
    win::POINT p{};
    win::GetCursorPos(&p);
    const bool outside = p.x < work.left || p.x >= work.right || p.y < work.top || p.y >= work.bottom;
    if (outside) xBerth();
}

void frmFXNotify::Form_Activate() {
    if (berth_) berth_->Activated();
}

void frmFXNotify::Form_Resize() {
    if (!IsLoaded() || WindowState() == forms::vbMinimized) return;
    const long scaleWidth = ScaleWidth() / forms::Screen.TwipsPerPixelX();
    const long scaleHeight = ScaleHeight() / forms::Screen.TwipsPerPixelY();
    // The page first, so that what is read of it below has the new size.
    if (WebBrowser1) WebBrowser1->Move(0, 0, scaleWidth, scaleHeight);
    if (PageComplete) layoutPage();
}

void frmFXNotify::layoutPage() {
    if (Document.isNull() || WindowState() == forms::vbMinimized) return;
    const long scaleWidth = ScaleWidth() / forms::Screen.TwipsPerPixelX();
    const bool maximised = WindowState() == forms::vbMaximized;
    // One round trip: the tab strip keeps 1000 pixels at least and its "more" button at its
    // right end, the failed-sources text and the calendar's floating header follow their boxes.
    try {
        Document.execScript(
            "(function (w, max) { function g(id) { return document.getElementById(id); }"
            " var td = g('MenuTD'), layout = g('MenuLayout'), menu = g('Menu'), more = g('moreBut');"
            " if (td && layout) td.setAttribute('height', layout.offsetHeight + 'px');"
            " if (menu) menu.style.width = (w > 1000 ? w : 1000) + 'px';"
            " if (more && layout) more.style.left = (layout.offsetWidth + 8 - more.offsetWidth) + 'px';"
            " var bar = g('TimeOutDiv'), news = g('iDivNews');"
            " if (bar && news) bar.style.width = (news.offsetWidth - 80) + 'px';"
            " var head = g('iCalHead'), cal = g('iDivCal');"
            " if (head && cal) head.style.width = (cal.offsetWidth > cal.clientWidth ? cal.clientWidth : cal.offsetWidth) + 'px';"
            " var grip = g('SizeGrip'); if (grip) grip.style.display = max ? 'none' : '';"
            " })(" + std::to_string(scaleWidth) + "," + (maximised ? "true" : "false") + ")");
    } catch (...) {
        // A page that is gone is laid out again when it comes back.
    }
}

void frmFXNotify::Form_QueryUnload(int& Cancel, int UnloadMode) {
    if (WindowState() == forms::vbMinimized) setWindowState(forms::vbNormal);
    // Set or added: a settings file edited by hand may lack these, and a close must not answer
    // that with an error box each time.
    cls_Config& c = Config();
    if (Visible()) c.CreateAttrib(kNode, "Status", std::to_string(UnloadMode));
    const double tppX = forms::Screen.TwipsPerPixelX(), tppY = forms::Screen.TwipsPerPixelY();
    // A berthed window, slid out or not, keeps the place it has when fully shown at its edge.
    if (BerthOn()) {
        const win::POINT p = berth_->ShownPosition();
        c.CreateAttrib(kNode, "Left", std::to_string(p.x));
        c.CreateAttrib(kNode, "Top", std::to_string(p.y));
    } else {
        c.CreateAttrib(kNode, "Left", forms::CStr(Left() / tppX));
        c.CreateAttrib(kNode, "Top", forms::CStr(Top() / tppY));
    }
    c.CreateAttrib(kNode, "Width", forms::CStr(Width() / tppX));
    c.CreateAttrib(kNode, "Height", forms::CStr(Height() / tppY));
    if (UnloadMode == forms::vbFormControlMenu) {
        // The user's close only hides the window; it keeps polling.
        Cancel = 1;
        Hide();
        return;
    }
    if (berth_) berth_->Detach();
}
