#include "frmOrderConfirm.h"
#include "frmFloat.h"

#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_MT4.h"
#include "core/frmMain.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Window.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"
#include "toolkit/cls_PopupMenu.h"
#include "toolkit/m_Main.h"
#include "toolkit/mWindow.h"

namespace {

constexpr const char* kLayoutClass = "ThunderPictureBoxDC";
// Room for the page before it is measured; the balloon then takes the page box's size.
constexpr int kBrowserWidth = 360;
constexpr int kBrowserHeight = 300;

std::shared_ptr<frmOrderConfirm> g_instance;

} // namespace

frmOrderConfirm::frmOrderConfirm() : OrderConfirmBalloon("frmOrderConfirm") {
    design.borderStyle = forms::vbBSNone;
    design.showInTaskbar = false;
    design.controlBox = false;
    design.minButton = design.maxButton = false;
    design.width = kBrowserWidth * win::TwipsPerPixelX;
    design.height = kBrowserHeight * win::TwipsPerPixelY;
}

frmOrderConfirm::~frmOrderConfirm() = default;

std::shared_ptr<frmOrderConfirm> frmOrderConfirm::Instance() {
    if (!g_instance || !g_instance->IsLoaded()) {
        g_instance = std::make_shared<frmOrderConfirm>();
        g_instance->Load();
    }
    return g_instance;
}

frmOrderConfirm* frmOrderConfirm::Open() {
    return m_Main::OrderConfirmOpen && g_instance && g_instance->IsLoaded() ? g_instance.get() : nullptr;
}

// ---- Life ---------------------------------------------------------------------------------

void frmOrderConfirm::Form_Load() {
    win::WNDCLASS wc;
    wc.lpszClassName = kLayoutClass;
    win::RegisterClass(wc);  // 0 once registered
    layout_ = win::CreateWindowEx(0, kLayoutClass, "", win::WS_CHILD | win::WS_VISIBLE | win::WS_CLIPCHILDREN, 0, 0,
                                  kBrowserWidth, kBrowserHeight, hWnd());
    if (!layout_) throw forms::RuntimeError(7, "Out of memory");
    loadPage(layout_, m_Main::PageBase + "OrderConfirm.htm");
    WebBrowser1->Move(0, 0, kBrowserWidth, kBrowserHeight);
}

void frmOrderConfirm::pageComplete() {
    bindEvent("ConfirmOrder", "onclick", "ConfirmOrder");
    bindEvent("iSL", "onclick", "PickSL");
    bindEvent("iSL", "onmouseout", "SLMouseOut");
    bindEvent("iTP", "onclick", "PickTP");
    bindEvent("iTP", "onmouseout", "tpMouseOut");
    m_Main::OrderConfirmForm = this;
    m_Main::OrderConfirmOpen = true;
}

void frmOrderConfirm::Form_Unload(int&) {
    releaseBalloon();
    m_Main::OrderConfirmOpen = false;
    if (m_Main::OrderConfirmForm == this) m_Main::OrderConfirmForm = nullptr;
    // The unload may run inside a page event of this window: it outlives the event.
    KeepUntilIdle(shared_from_this());
    unloadPage();
    if (g_instance.get() == this) g_instance.reset();
    layout_ = 0;
}

void frmOrderConfirm::releaseBalloon() { ReturnBalloonLayout(*this, layout_, mBalloonFrm); }

void frmOrderConfirm::UNForm() {
    releaseBalloon();
    Unload();
}

bool frmOrderConfirm::Busy() { return PageWindow::Busy(); }

// ---- Texts --------------------------------------------------------------------------------

web::HTMLElement frmOrderConfirm::element(const char* id) {
    if (Document.isNull()) forms::raise(forms::err::ObjectVariableNotSet, "frmOrderConfirm");
    web::HTMLElement e = Document.all(id);
    if (e.isNull()) forms::raise(forms::err::ObjectRequired, "frmOrderConfirm");
    return e;
}

void frmOrderConfirm::Price(const std::string& text) { element("iPrice").innerText(text); }
void frmOrderConfirm::SL(const std::string& text) { element("isl").innerText(text); }
void frmOrderConfirm::TP(const std::string& text) { element("itp").innerText(text); }
void frmOrderConfirm::Volume(const std::string& text) { element("iVolume").innerText(text); }

void frmOrderConfirm::SymBol(const std::string& symbol) {
    SymBol_ = symbol;
    element("iSymBol").innerText(symbol);
}

void frmOrderConfirm::OPT(int16_t side) {
    element("iOpt").innerHTML(side == 1 ? "买进" : "卖出");
    element("iMT4").innerText(frmMain::GetMT4Title(mWindow::GetWindowTextString(MT4().Mt4Hwnd())));
}

// ---- The balloon ------------------------------------------------------------------------------

void frmOrderConfirm::Balloon(int32_t x, int32_t y) {
    web::HTMLElement box = element("iBox");
    const int width = box.offsetWidth(), height = box.offsetHeight();
    win::MoveWindow(layout_, 0, 0, width, height, win::TRUE);
    WebBrowser1->Move(0, 0, width, height);
    web::HTMLElement text = element("iDiv");
    // Later texts must not resize the balloon.
    text.style().set("height", std::to_string(text.offsetHeight()) + "px");

    if (mBalloonFrm) releaseBalloon();
    auto balloon = std::make_shared<frmBalloon>();
    mBalloonFrm = balloon;
    balloon->BalloonClose = [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->mBalloonFrm_BalloonClose();
    };
    balloon->SizeLayout(width, height);
    balloon->Popup(x, y);
    win::SetParent(layout_, balloon->Layout());
    win::MoveWindow(layout_, 0, 0, width, height, win::TRUE);
}

void frmOrderConfirm::callPanel(const std::string& symbol, const char* member) {
    auto* panel = m_Main::FloatForms.Find(symbol);
    if (!panel || !*panel) return;
    std::shared_ptr<FloatPanel> keep = *panel;
    if (auto* d = dynamic_cast<forms::Dispatch*>(keep.get())) forms::CallByName(*d, member, forms::VbMethod);
}

void frmOrderConfirm::ConfirmOrder() {
    auto self = shared_from_this();
    element("ConfirmOrder").disabled(true);
    const std::string symbol = SymBol_;
    UNForm();
    callPanel(symbol, "OrderConfirmOK");
}

void frmOrderConfirm::mBalloonFrm_BalloonClose() {
    // The pick menu takes the focus from the balloon for a moment; that is no close.
    if (PickMenuOpen_) return;
    auto self = shared_from_this();
    callPanel(SymBol_, "OrderConfirmX");
    UNForm();
}

void frmOrderConfirm::pick(bool stopLoss) {
    win::POINT cursor{};
    win::GetCursorPos(&cursor);
    PickMenuOpen_ = true;
    auto* found = m_Main::FloatForms.Find(SymBol_);
    std::shared_ptr<FloatPanel> keep = found ? *found : nullptr;
    auto* panel = dynamic_cast<frmFloat*>(keep.get());
    if (panel) {
        const int factor = panel->PriceSUB() ? 10 : 1;
        cls_PopupMenu menu;
        menu.AddMenuItem(stopLoss ? "止损价距开仓价点差" : "获利价距开仓价点差", 1, 0);
        menu.AddMenuItem("", 0x800, 0);
        for (int d = 10; d <= 100; d += 5) menu.AddMenuItem(std::to_string(factor * d), 0, d);
        const win::HWND owner = mBalloonFrm ? mBalloonFrm->hWnd() : hWnd();
        const int32_t chosen = menu.TrackMenu(owner, cursor.x, cursor.y);
        if (chosen > 0) {
            if (stopLoss) panel->SL(static_cast<int16_t>(chosen));
            else panel->TP(static_cast<int16_t>(chosen));
            element("iDiv").style().set("overflow", "auto");
            panel->UpdatePrice(true);
        }
    }
    PickMenuOpen_ = false;
    if (stopLoss) SLMouseOut();
    else TPMouseOut();
}

void frmOrderConfirm::PICKSL() { pick(true); }
void frmOrderConfirm::PICKTP() { pick(false); }

void frmOrderConfirm::SLMouseOut() {
    if (!PickMenuOpen_) element("iSL").className("moveout");
}

void frmOrderConfirm::TPMouseOut() {
    if (!PickMenuOpen_) element("iTP").className("moveout");
}

const forms::MemberTable& frmOrderConfirm::memberTable() const {
    using forms::Variant;
    static const auto table =
        forms::Members<frmOrderConfirm>()
            .method("Balloon", [](frmOrderConfirm& f, forms::Args& a) {
                f.Balloon(forms::arg(a, 0).toLong(), forms::arg(a, 1).toLong());
            })
            .method("UNForm", [](frmOrderConfirm& f) { f.UNForm(); })
            .method("ConfirmOrder", [](frmOrderConfirm& f) { f.ConfirmOrder(); })
            .let("Price", [](frmOrderConfirm& f, const Variant& v) { f.Price(v.toString()); })
            .let("SL", [](frmOrderConfirm& f, const Variant& v) { f.SL(v.toString()); })
            .let("TP", [](frmOrderConfirm& f, const Variant& v) { f.TP(v.toString()); })
            .let("Volume", [](frmOrderConfirm& f, const Variant& v) { f.Volume(v.toString()); })
            .property("SymBol", [](frmOrderConfirm& f) { return Variant(f.SymBol()); },
                      [](frmOrderConfirm& f, const Variant& v) { f.SymBol(v.toString()); })
            .let("OPT", [](frmOrderConfirm& f, const Variant& v) { f.OPT(static_cast<int16_t>(v.toLong())); })
            .method("SLMouseOut", [](frmOrderConfirm& f) { f.SLMouseOut(); })
            .method("TPMouseOut", [](frmOrderConfirm& f) { f.TPMouseOut(); })
            .method("PICKSL", [](frmOrderConfirm& f) { f.PICKSL(); })
            .method("PICKTP", [](frmOrderConfirm& f) { f.PICKTP(); })
            .get("Busy", [](frmOrderConfirm& f) { return Variant(f.Busy()); });
    return table;
}
