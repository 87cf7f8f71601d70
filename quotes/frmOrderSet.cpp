#include "frmOrderSet.h"
#include "frmFloat.h"

#include "core/QuoteWindows.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Timer.h"
#include "platform/desktop/Window.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"
#include "toolkit/m_Main.h"

#include <cmath>

namespace {

constexpr const char* kLayoutClass = "ThunderPictureBoxDC";
// Room for the page before it is measured; the balloon then takes the page box's size.
constexpr int kBrowserWidth = 300;
constexpr int kBrowserHeight = 200;
// The spin arrows beside each buddy box, pixels.
constexpr int kArrowWidth = 16;
// The longest wait on the page.
constexpr uint32_t kBusyWaitMs = 30000;

std::shared_ptr<frmOrderSet> g_instance;

} // namespace

frmOrderSet::frmOrderSet() : forms::Form("frmOrderSet") {
    design.borderStyle = forms::vbBSNone;
    design.showInTaskbar = false;
    design.controlBox = false;
    design.minButton = design.maxButton = false;
    design.width = kBrowserWidth * win::TwipsPerPixelX;
    design.height = kBrowserHeight * win::TwipsPerPixelY;
}

frmOrderSet::~frmOrderSet() = default;

std::shared_ptr<frmOrderSet> frmOrderSet::Instance() {
    if (!g_instance || !g_instance->IsLoaded()) {
        g_instance = std::make_shared<frmOrderSet>();
        g_instance->Load();
    }
    return g_instance;
}

void frmOrderSet::OpenFor(frmFloat& panel, int32_t x, int32_t y) {
    auto w = Instance();
    const uint32_t start = win::timeGetTime();
    while (w->Busy() && win::timeGetTime() - start < kBusyWaitMs) forms::DoEvents();
    if (w->Busy() || !w->IsLoaded()) return;
    w->SymBol(panel.ID());
    w->Confirm(panel.Confirm());
    w->iSUB(panel.PriceSUB());
    w->SL(panel.SL());
    w->TP(panel.TP());
    w->Balloon(x, y);
}

// ---- Life ---------------------------------------------------------------------------------

void frmOrderSet::Form_Load() {
    win::WNDCLASS wc;
    wc.lpszClassName = kLayoutClass;
    win::RegisterClass(wc);  // 0 once registered
    layout_ = win::CreateWindowEx(0, kLayoutClass, "", win::WS_CHILD | win::WS_VISIBLE | win::WS_CLIPCHILDREN, 0, 0,
                                  kBrowserWidth, kBrowserHeight, hWnd());
    if (!layout_) throw forms::RuntimeError(7, "Out of memory");
    loadPage(layout_, m_Main::PageBase + "OrderSet.htm");
    WebBrowser1->Move(0, 0, kBrowserWidth, kBrowserHeight);
}

web::HTMLElement frmOrderSet::element(const char* id) {
    if (Document.isNull()) forms::raise(forms::err::ObjectVariableNotSet, "frmOrderSet");
    web::HTMLElement e = Document.all(id);
    if (e.isNull()) forms::raise(forms::err::ObjectRequired, "frmOrderSet");
    return e;
}

void frmOrderSet::placeSpin(const char* inputId, std::unique_ptr<cUpDown>& ud, win::HWND& buddy) {
    // The input's box in page pixels, its offsets summed up to the page body.
    web::HTMLElement e = element(inputId);
    const int width = e.offsetWidth(), height = e.offsetHeight();
    int left = 0, top = 0;
    for (web::HTMLElement p = e; p && p.tagName() != "BODY"; p = p.offsetParent()) {
        left += p.offsetLeft();
        top += p.offsetTop();
    }
    buddy = win::CreateWindowEx(win::WS_EX_CLIENTEDGE, "Edit", "", win::WS_CHILD | win::WS_VISIBLE | win::WS_TABSTOP,
                                left + 2, top, std::max(width - kArrowWidth, 10), height, layout_);
    ud = std::make_unique<cUpDown>(layout_);
    ud->UserControl_InitProperties();
    ud->AutoChangeBuddyText(true);
    ud->ShowThousandsSeparator(false);
    ud->Move((left + 2 + width - kArrowWidth) * win::TwipsPerPixelX, top * win::TwipsPerPixelY,
             kArrowWidth * win::TwipsPerPixelX, height * win::TwipsPerPixelY);
    ud->BuddyhWnd(buddy);
    // Over the page, not under it.
    win::SetWindowPos(buddy, win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE);
    win::SetWindowPos(ud->hWnd(), win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE);
}

void frmOrderSet::pageComplete() {
    placeSpin("SL", SLUD_, SLValue_);
    placeSpin("TP", TPUD_, TPValue_);
    web::HTMLElement box = element("iBox");
    const int width = box.offsetWidth(), height = box.offsetHeight();
    win::MoveWindow(layout_, 0, 0, width, height, win::TRUE);
    WebBrowser1->Move(0, 0, width, height);
    mBalloonFrm = std::make_shared<frmBalloon>();
    mBalloonFrm->BalloonClose = [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->mBalloonFrm_BalloonClose();
    };
    mBalloonFrm->SizeLayout(width, height);
    win::SetParent(layout_, mBalloonFrm->Layout());
    win::MoveWindow(layout_, 0, 0, width, height, win::TRUE);
}

void frmOrderSet::Form_Unload(int&) {
    releaseBalloon();
    SLUD_.reset();
    TPUD_.reset();
    KeepUntilIdle(shared_from_this());
    unloadPage();
    if (g_instance.get() == this) g_instance.reset();
    layout_ = 0;
}

void frmOrderSet::releaseBalloon() { ReturnBalloonLayout(*this, layout_, mBalloonFrm); }

void frmOrderSet::UNForm() {
    releaseBalloon();
    Unload();
}

bool frmOrderSet::Busy() { return PageWindow::Busy(); }

// ---- Values -------------------------------------------------------------------------------

void frmOrderSet::spin(cUpDown& ud, int16_t distance) {
    const int f = iSUB_ ? 10 : 1;
    ud.Upper(1000 * f);
    ud.SmallChange(f);
    ud.LargeChange(10 * f);
    ud.Position(distance * f);
}

void frmOrderSet::SL(int16_t distance) {
    if (SLUD_) spin(*SLUD_, distance);
}

void frmOrderSet::TP(int16_t distance) {
    if (TPUD_) spin(*TPUD_, distance);
}

void frmOrderSet::Confirm(bool on) { element("Confirm").checked(on); }

std::string frmOrderSet::StateString() {
    const bool checked = element("Confirm").checked();
    return std::string(checked ? "True" : "False") + "|" + std::to_string(SLUD_ ? SLUD_->Position() : 0) + "|" +
           std::to_string(TPUD_ ? TPUD_->Position() : 0);
}

void frmOrderSet::Balloon(int32_t x, int32_t y) {
    initialState_ = StateString();
    if (mBalloonFrm) mBalloonFrm->Popup(x, y);
}

void frmOrderSet::mBalloonFrm_BalloonClose() {
    auto self = shared_from_this();
    auto* found = m_Main::FloatForms.Find(SymBol_);
    std::shared_ptr<FloatPanel> keep = found ? *found : nullptr;
    if (auto* panel = dynamic_cast<frmFloat*>(keep.get())) {
        const double f = iSUB_ ? 10.0 : 1.0;
        panel->Confirm(element("Confirm").checked());
        panel->SL(static_cast<int16_t>(std::lrint(SLUD_->Position() / f)));
        panel->TP(static_cast<int16_t>(std::lrint(TPUD_->Position() / f)));
        if (StateString() != initialState_) panel->SaveQuickOrder();
    }
    UNForm();
}

const forms::MemberTable& frmOrderSet::memberTable() const {
    using forms::Variant;
    static const auto table =
        forms::Members<frmOrderSet>()
            .method("Balloon", [](frmOrderSet& f, forms::Args& a) {
                f.Balloon(forms::arg(a, 0).toLong(), forms::arg(a, 1).toLong());
            })
            .method("UNForm", [](frmOrderSet& f) { f.UNForm(); })
            .property("SymBol", [](frmOrderSet& f) { return Variant(f.SymBol()); },
                      [](frmOrderSet& f, const Variant& v) { f.SymBol(v.toString()); })
            .let("SL", [](frmOrderSet& f, const Variant& v) { f.SL(static_cast<int16_t>(v.toLong())); })
            .let("TP", [](frmOrderSet& f, const Variant& v) { f.TP(static_cast<int16_t>(v.toLong())); })
            .let("iSUB", [](frmOrderSet& f, const Variant& v) { f.iSUB(v.toBool()); })
            .let("Confirm", [](frmOrderSet& f, const Variant& v) { f.Confirm(v.toBool()); })
            .get("Busy", [](frmOrderSet& f) { return Variant(f.Busy()); })
            .method("mBalloonFrm_BalloonClose", [](frmOrderSet& f) { f.mBalloonFrm_BalloonClose(); });
    return table;
}
