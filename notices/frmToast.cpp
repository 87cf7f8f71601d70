#include "frmToast.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Win.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "toolkit/CTimer.h"
#include "toolkit/frmBalloon.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cmath>

frmToast::frmToast() : forms::Form("frmToast") {
    design.caption = "即时市况速递";
    design.borderStyle = forms::vbBSNone;
    design.showInTaskbar = false;
    design.controlBox = false;
    design.minButton = design.maxButton = false;
    design.width = 300 * win::TwipsPerPixelX;
    design.height = 200 * win::TwipsPerPixelY;
}

frmToast::~frmToast() {
    for (auto* t : {&m_Grow, &m_Hover, &m_Close})
        if (*t) {
            (*t)->ThatTime = nullptr;
            (*t)->Interval(0);
        }
}

void frmToast::Form_Load() {
    auto timer = [this](void (frmToast::*handler)()) {
        auto t = CTimer::create();
        t->ThatTime = [weak = weak_from_this(), handler] {
            if (auto self = weak.lock()) ((*self).*handler)();
        };
        return t;
    };
    m_Grow = timer(&frmToast::m_Grow_ThatTime);
    m_Hover = timer(&frmToast::m_Hover_ThatTime);
    m_Close = timer(&frmToast::PopupClose);
    loadPage(hWnd(), m_Main::PageBase + "iToast.htm");
}

void frmToast::Form_Unload(int&) {
    for (auto* t : {&m_Grow, &m_Hover, &m_Close})
        if (*t) {
            (*t)->ThatTime = nullptr;
            (*t)->Interval(0);
            t->reset();
        }
    open_ = pending_ = false;
    // The unload may run inside one of the toast's own page events.
    KeepUntilIdle(shared_from_this());
    unloadPage();
}

bool frmToast::Busy() { return PageWindow::Busy(); }

bool frmToast::Rising() const { return m_Grow && m_Grow->Interval() > 0; }

bool frmToast::ClosePending() const { return m_Close && m_Close->Interval() > 0; }

web::HTMLElement frmToast::sourceElement(const char* id) const {
    web::HTMLElement e = Source_.isNull() ? web::HTMLElement() : Source_.all(id);
    if (e.isNull()) forms::raise(forms::err::ObjectRequired, "frmToast");
    return e;
}

// ---- Raising ---------------------------------------------------------------------------------

void frmToast::iPopup() {
    PopupClose();
    std::string html;
    int width = 0, full = 0;
    double duration = 0;
    try {
        web::HTMLElement tpl = sourceElement("popupWin");
        html = tpl.outerHTML();
        width = tpl.offsetWidth();
        full = tpl.offsetHeight();
        duration = forms::Val(sourceElement("Duration").value());
    } catch (const std::exception&) {
        return;
    }
    // A template that lays out to nothing has nothing to show.
    if (width <= 0 || full <= 0 || html.empty()) return;
    html_ = html;
    width_ = width;
    full_ = full;
    durationMs_ = std::isfinite(duration) && duration > 0 && duration <= kLongestDurationMs ? duration : 0;
    // A toast whose page went with its browser (or never came) is made afresh; else it would
    // wait for that page for ever.
    if (IsLoaded() && (!WebBrowser1 || !WebBrowser1->alive())) Unload();
    try {
        Load();
    } catch (const std::exception&) {
        if (IsLoaded()) Unload();
        return;
    }
    if (Busy()) {
        pending_ = true;  // the page's completion shows it
        return;
    }
    show();
}

void frmToast::pageComplete() {
    if (pending_) show();
}

void frmToast::show() {
    pending_ = false;
    bool filled = false;
    forms::ResumeNext([&] {
        web::HTMLElement body = Document.body();
        body.innerHTML(html_);
        web::HTMLElement box = Document.all("popupWin");
        if (box.isNull()) return;
        box.style().display("");
        box.style().visibility("visible");
        bindEvent("popupWin_CloseButton", "onclick", "PopupClose");
        bindEvent("popupWin_LinkMore", "onclick", "ClickMore");
        bindEvent("popupWin_iLink", "onclick", "ClickItem");
        bindEvent(box, "oncontextmenu", "PopupClose");
        filled = true;
    });
    if (!filled) return;
    // The page keeps its full size; the window shows as much of it as it has risen.
    WebBrowser1->Move(0, 0, width_, full_);
    win::RECT work{};
    if (!m_Main::GetWorkArea(work)) work = {0, 0, win::GetSystemMetrics(win::SM_CXSCREEN), win::GetSystemMetrics(win::SM_CYSCREEN)};
    left_ = win::GetSystemMetrics(win::SM_CXSCREEN) - width_ - 1;
    bottom_ = work.bottom;
    height_ = std::min(kStepPixels, full_);
    open_ = true;
    hovered_ = false;
    place();
    if (height_ < full_) m_Grow->Interval(kStepMs);
    if (durationMs_ > 0) startCloseDelay();
    m_Hover->Interval(kHoverWatchMs);
    if (m_Main::Tell) {
        // The first entry stands for the toast: its text up to the first separator line.
        std::string first;
        forms::ResumeNext([&] { first = Document.all("popupWin_BodyText").innerText(); });
        first = first.substr(0, first.find('\n'));
        first = forms::Trim(forms::Replace(first, "\u00a0", " "));
        m_Main::tell("toast: " + first);
    }
}

void frmToast::place() {
    win::SetWindowPos(hWnd(), win::HWND_TOPMOST, left_, bottom_ - height_, width_, height_,
                      win::SWP_NOACTIVATE | win::SWP_SHOWWINDOW);
}

void frmToast::m_Grow_ThatTime() {
    if (!open_) {
        m_Grow->Interval(0);
        return;
    }
    height_ += kStepPixels;
    if (height_ > full_ - kStepPixels) {
        height_ = full_;
        m_Grow->Interval(0);
    }
    place();
}

void frmToast::startCloseDelay() {
    m_Close->Interval(0);
    m_Close->Interval(static_cast<int32_t>(durationMs_));
}

void frmToast::m_Hover_ThatTime() {
    if (!open_) {
        m_Hover->Interval(0);
        return;
    }
    win::POINT p{};
    win::RECT r{};
    const bool inside = win::GetCursorPos(&p) && win::GetWindowRect(hWnd(), &r) && p.x >= r.left && p.x < r.right &&
                        p.y >= r.top && p.y < r.bottom;
    if (inside == hovered_) return;
    hovered_ = inside;
    if (inside) m_Close->Interval(0);
    else if (durationMs_ > 0) startCloseDelay();
}

// ---- Closing and the links -------------------------------------------------------------------

void frmToast::PopupClose() {
    pending_ = false;
    for (auto* t : {&m_Grow, &m_Hover, &m_Close})
        if (*t) (*t)->Interval(0);
    if (!open_) return;
    open_ = false;
    hovered_ = false;
    if (IsLoaded()) win::ShowWindow(hWnd(), win::SW_HIDE);
}

void frmToast::ClickMore() {
    PopupClose();
    forms::ResumeNext([&] { sourceElement("iMore").FireEvent("onclick"); });
}

void frmToast::ClickItem() {
    std::string address;
    forms::ResumeNext([&] {
        web::HTMLElement link = Document.all("popupWin_iLink");
        if (!link.isNull()) address = forms::Trim(link.innerText());
    });
    PopupClose();
    if (address.empty()) return;
    forms::ResumeNext([&] {
        web::HTMLElement link = sourceElement("iLink");
        link.value(address);
        link.FireEvent("onclick");
    });
}

const forms::MemberTable& frmToast::memberTable() const {
    static const auto table = forms::Members<frmToast>()
                                  .method("iPopup", [](frmToast& t) { t.iPopup(); })
                                  .method("PopupClose", [](frmToast& t) { t.PopupClose(); })
                                  .method("ClickMore", [](frmToast& t) { t.ClickMore(); })
                                  .method("ClickItem", [](frmToast& t) { t.ClickItem(); })
                                  .get("Busy", [](frmToast& t) { return forms::Variant(t.Busy()); });
    return table;
}
