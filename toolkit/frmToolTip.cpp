#include "frmToolTip.h"
#include "m_Main.h"

#include "platform/desktop/Screen.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"

#include <array>

namespace {

constexpr const char* kLayoutClass = "ThunderPictureBoxDC";
// The browser control: 5355 x 3675 twips; a larger page box is cut at its edge.
constexpr int kBrowserWidth = 357;
constexpr int kBrowserHeight = 245;

constexpr std::array<const char*, 5> kIconImages = {"iINFO.gif", "alert2.gif", "Error.gif", "OK.gif", "orderx.gif"};

std::shared_ptr<frmToolTip> g_shared;

} // namespace

frmToolTip::frmToolTip() : forms::Form("frmToolTip") {
    design.borderStyle = forms::vbBSNone;
    design.showInTaskbar = false;
    design.controlBox = false;
    design.minButton = design.maxButton = false;
    design.width = kBrowserWidth * win::TwipsPerPixelX;
    design.height = kBrowserHeight * win::TwipsPerPixelY;
}

frmToolTip::~frmToolTip() = default;

std::shared_ptr<frmToolTip> frmToolTip::Shared() {
    if (!g_shared || !g_shared->IsLoaded()) {
        g_shared = std::make_shared<frmToolTip>();
        g_shared->Load();
    }
    return g_shared;
}

void frmToolTip::ReleaseShared() { g_shared.reset(); }

// ---- Life ---------------------------------------------------------------------------------

void frmToolTip::Form_Load() {
    win::WNDCLASS wc;
    wc.lpszClassName = kLayoutClass;
    win::RegisterClass(wc);  // 0 once registered
    layout_ = win::CreateWindowEx(0, kLayoutClass, "", win::WS_CHILD | win::WS_VISIBLE | win::WS_CLIPCHILDREN, 0, 0,
                                  kBrowserWidth, kBrowserHeight, hWnd());
    if (!layout_) throw forms::RuntimeError(7, "Out of memory");
    loadPage(layout_, m_Main::PageBase + "ToolTip.htm");
    WebBrowser1->Move(0, 0, kBrowserWidth, kBrowserHeight);
    CloseX_ = true;
}

void frmToolTip::pageComplete() { bindEvent("iOK", "onclick", "iClickOK"); }

void frmToolTip::Form_Unload(int&) {
    if (mDelay) {
        mDelay->ThatTime = nullptr;
        mDelay->Interval(0);
        mDelay.reset();
    }
    // Unloaded by its owner rather than by UnloadME: the balloon goes all the same.
    releaseBalloon();
    // The unload may run inside a page event or a balloon message of this tip: the tip and its
    // control outlive them.
    KeepUntilIdle(shared_from_this());
    unloadPage();
    // Only this tip leaves the shared place; a private tip's unload leaves the shared one reachable.
    if (g_shared.get() == this) g_shared.reset();
    layout_ = 0;
}

void frmToolTip::releaseBalloon() { ReturnBalloonLayout(*this, layout_, mBalloonFrm); }

void frmToolTip::UnloadME() {
    releaseBalloon();
    Unload();
}

// ---- Page members ------------------------------------------------------------------------

web::HTMLElement frmToolTip::element(const char* id) {
    if (Document.isNull()) forms::raise(forms::err::ObjectVariableNotSet, "frmToolTip");
    web::HTMLElement e = Document.all(id);
    if (e.isNull()) forms::raise(forms::err::ObjectRequired, "frmToolTip");
    return e;
}

void frmToolTip::ClickOK(int16_t code) {
    ClickOK_ = code;
    element("ButtonArea").style().display("");
}

void frmToolTip::BalloonWidth(int32_t pixels) { element("iBox").style().set("width", std::to_string(pixels) + "px"); }

void frmToolTip::BalloonHeight(int32_t pixels) { element("iBox").style().set("height", std::to_string(pixels) + "px"); }

void frmToolTip::IconVAlign(const std::string& align) { element("iIcon").setAttribute("vAlign", align); }

void frmToolTip::InfoVAlign(const std::string& align) { element("iInfo").setAttribute("vAlign", align); }

void frmToolTip::TIPIcon(int32_t code) {
    if (code < 0 || code >= static_cast<int32_t>(kIconImages.size())) return;
    element("iImg").setAttribute("src", kIconImages[static_cast<size_t>(code)]);
}

void frmToolTip::Info(const std::string& text) {
    if (Shown_ && mBalloonFrm && !mBalloonFrm->Visible()) mBalloonFrm->setVisible(true);
    element("iInfo").innerText(text);
}

void frmToolTip::Balloon(int32_t X, int32_t Y) {
    web::HTMLElement box = element("iBox");
    const int height = box.offsetHeight(), width = box.offsetWidth();
    const win::HWND layout = Layout();
    win::MoveWindow(layout, 0, 0, width, height, win::TRUE);

    // A tip already up moves to the new balloon rather than leaving the old one open and empty.
    if (mBalloonFrm) releaseBalloon();
    auto balloon = std::make_shared<frmBalloon>();
    mBalloonFrm = balloon;
    balloon->BalloonClose = [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->mBalloonFrm_BalloonClose();
    };
    balloon->SizeLayout(width, height);
    balloon->Popup(X, Y);
    win::SetParent(layout, balloon->Layout());
    win::MoveWindow(layout, 0, 0, width, height, win::TRUE);
    Shown_ = true;
}

void frmToolTip::CloseX(bool close) { CloseX_ = close; }

void frmToolTip::DelayX(double milliseconds) {
    const int32_t ms = forms::CLng(milliseconds);
    // The earlier delay ends here; a running timer would otherwise keep ticking on its own.
    if (mDelay) {
        mDelay->ThatTime = nullptr;
        mDelay->Interval(0);
    }
    mDelay = CTimer::create();
    mDelay->ThatTime = [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->mDelay_ThatTime();
    };
    mDelay->Interval(ms);
}

void frmToolTip::mDelay_ThatTime() {
    if (mDelay) mDelay->Interval(0);
    UnloadME();
}

void frmToolTip::mBalloonFrm_BalloonClose() {
    if (CloseX_) UnloadME();
    else if (mBalloonFrm) mBalloonFrm->Hide();
}

void frmToolTip::iClickOK() {
    if (ClickOK_ != 1) return;
    auto self = shared_from_this();
    TIPIcon(kIconWorking);
    element("iOK").disabled(true);
    Info("正在安装...");
    try {
        if (auto install = m_Main::BalloonReturn) install();
    } catch (const std::exception& e) {
        // Left as it was, the tip would say it is still installing with its button dead.
        const auto* runtime = dynamic_cast<const forms::RuntimeError*>(&e);
        TIPIcon(kIconError);
        Info(std::string("安装失败: ") + (runtime ? runtime->Description : e.what()));
        element("iOK").disabled(false);
        return;
    }
    UnloadME();
}

bool frmToolTip::Busy() { return PageWindow::Busy(); }

win::HWND frmToolTip::Layout() {
    Load();
    return layout_;
}

const forms::MemberTable& frmToolTip::memberTable() const {
    static const auto table =
        forms::Members<frmToolTip>()
            .let("ClickOK", [](frmToolTip& t, const forms::Variant& v) { t.ClickOK(static_cast<int16_t>(v.toLong())); })
            .let("BalloonWidth", [](frmToolTip& t, const forms::Variant& v) { t.BalloonWidth(v.toLong()); })
            .let("BalloonHeight", [](frmToolTip& t, const forms::Variant& v) { t.BalloonHeight(v.toLong()); })
            .let("IconVAlign", [](frmToolTip& t, const forms::Variant& v) { t.IconVAlign(v.toString()); })
            .let("InfoVAlign", [](frmToolTip& t, const forms::Variant& v) { t.InfoVAlign(v.toString()); })
            .method("Balloon",
                    [](frmToolTip& t, forms::Args& a) { t.Balloon(forms::arg(a, 0).toLong(), forms::arg(a, 1).toLong()); })
            .let("Info", [](frmToolTip& t, const forms::Variant& v) { t.Info(v.toString()); })
            .let("CloseX", [](frmToolTip& t, const forms::Variant& v) { t.CloseX(v.toBool()); })
            .let("DelayX", [](frmToolTip& t, const forms::Variant& v) { t.DelayX(v.toDouble()); })
            .method("UnloadME", [](frmToolTip& t) { t.UnloadME(); })
            .let("TIPIcon", [](frmToolTip& t, const forms::Variant& v) { t.TIPIcon(v.toLong()); })
            .method("iClickOK", [](frmToolTip& t) { t.iClickOK(); })
            .get("Busy", [](frmToolTip& t) { return forms::Variant(t.Busy()); });
    return table;
}
