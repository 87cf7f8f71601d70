#include "frmFXNews.h"

#include "ArticleExtract.h"
#include "InertHtml.h"
#include "frmFXNotify.h"
#include "platform/browser/BrowserHost.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/net/Http.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "toolkit/clsSizeMove.h"
#include "toolkit/frmBalloon.h"
#include "toolkit/cls_Config.h"
#include "toolkit/cls_PopupMenu.h"
#include "toolkit/ctlDownload.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

constexpr double kTwipsX = win::TwipsPerPixelX;
constexpr double kTwipsY = win::TwipsPerPixelY;
const char* const kNode = "Window/FXNews_Content";

// A stored number of pixels; missing, not a number or beyond any screen reads as 0.
double storedNumber(cls_Config& c, const char* attribute) {
    if (!c.isExistAttrib(kNode, attribute)) return 0;
    const double v = settingNumber(c.GetNodeAttrib(kNode, attribute));
    return std::abs(v) <= 1e6 ? v : 0;
}

// The kind of a picture by its first bytes; "" for anything that is no picture.
std::string pictureType(const std::string& bytes) {
    if (bytes.rfind("GIF87a", 0) == 0 || bytes.rfind("GIF89a", 0) == 0) return "image/gif";
    if (bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0) return "image/png";
    if (bytes.rfind("\xFF\xD8\xFF", 0) == 0) return "image/jpeg";
    return "";
}
constexpr size_t kMaxPictureBytes = 2 * 1024 * 1024;
constexpr size_t kMaxPictures = 32;

article::Hosts ruleHosts() {
    return {article::hostOf(frmFXNotify::siteBase(frmFXNotify::kFX168Site)),
            article::hostOf(frmFXNotify::siteBase(frmFXNotify::kCaiXunSite)),
            article::hostOf(frmFXNotify::siteBase(frmFXNotify::kServiceSite))};
}

} // namespace

frmFXNews::frmFXNews() : NewsViewerWindow("frmFXNews") {
    design.caption = "新闻";
    design.borderStyle = forms::vbSizable;
    design.minButton = design.maxButton = false;
    design.width = 640 * 15;
    design.height = 480 * 15;
}

frmFXNews::~frmFXNews() = default;

// ---- Life ------------------------------------------------------------------------------------

void frmFXNews::Form_Load() {
    ctlDown = std::make_unique<ctlDownload>();
    ctlDown->DownloadComplete = [this](std::string data, bool ok, const std::string& key) {
        if (key == "FXNews") ctlDown_DownloadComplete(data, ok, key);
        else if (key == "Ad") advertisementArrived(data, ok);
        else if (key.rfind("Pic" + std::to_string(PictureRound_) + "_", 0) == 0)
            pictureArrived(data, ok, std::stoul(key.substr(key.find('_') + 1)));
    };
    ctlDown->DownloadProgress = [](int32_t, int32_t) {};
    loadPage(hWnd(), m_Main::PageBase + "FXNews.htm");
    WebBrowser1->NewWindow2 = [this](const std::string& url, bool& cancel) { WebBrowser_NewWindow2(url, cancel); };
}

void frmFXNews::pageComplete() {
    PageReady_ = false;
    WebDoc = Document;
    try {
        // A page without its controls is not ready.
        for (const auto& [id, event, member] : {std::tuple{"SizeGrip", "onmousedown", "SizeGrip"},
                                                std::tuple{"iMove", "onmousedown", "WindowMove"},
                                                std::tuple{"Style", "onclick", "StyleON"},
                                                std::tuple{"Close", "onclick", "wClose"}})
            if (!bindEvent(id, event, member)) forms::raise(forms::err::ObjectRequired, "frmFXNews");
        bindEvent(WebDoc.node(), "oncontextmenu", "WebDoc_oncontextmenu");
        // Sizing keeps the window at its smallest size or more, and a popup closes when it loses focus.
        cSizeMove = std::make_unique<clsSizeMove>();
        cSizeMove->NoFullDrag(false);
        cSizeMove->Attach(hWnd());
        cSizeMove->Deactivate = [this] { cSizeMove_Deactivate(); };
        cSizeMove->Sizing = [this](int32_t& l, int32_t& t, int32_t& w, int32_t& h) { cSizeMove_Sizing(l, t, w, h); };
        // On the screen, at least the smallest size and at most the screen's size, so
        // that its buttons are never off the screen.
        cls_Config& c = Config();
        long left = std::lrint(storedNumber(c, "Left") * kTwipsX);
        long top = std::lrint(storedNumber(c, "Top") * kTwipsY);
        long width = std::lrint(storedNumber(c, "Width") * kTwipsX);
        long height = std::lrint(storedNumber(c, "Height") * kTwipsY);
        const long screenWidth = std::lrint(win::GetSystemMetrics(78) * kTwipsX);
        const long screenHeight = std::lrint(win::GetSystemMetrics(79) * kTwipsY);
        width = std::min(std::max(width, std::lrint(kMinWidth * kTwipsX)), screenWidth);
        height = std::min(std::max(height, std::lrint(kMinHeight * kTwipsY)), screenHeight);
        if (left < 0) left = 0;
        if (left + width > screenWidth) left = screenWidth - width;
        if (top < 0) top = 0;
        if (top + height > screenHeight) top = screenHeight - height;
        Move(left, top, width, height);
        PopupStyle_ = storedNumber(c, "PopupStyle") != 0;
        forms::ResumeNext([&] { showAdvertisement(); });
    } catch (const std::exception&) {
        // The page stays not ready; openers stop waiting at their bound.
        return;
    }
    PageReady_ = true;
}

// The service's own advertisement is fetched by the window like an article and shown rebuilt by
// the same sanitiser, without pictures, in a frame that is sandboxed besides: it runs no script,
// submits nothing and opens or navigates no window.
void frmFXNews::showAdvertisement() {
    const std::string address = frmFXNotify::siteBase(frmFXNotify::kServiceSite) + "/ad.php";
    if (frmFXNotify::onThisMachine(address)) ctlDown->BeginDownload(address, "Ad");
}

void frmFXNews::advertisementArrived(const std::string& Data, bool Success) {
    if (!Success) return;
    const std::string address = frmFXNotify::siteBase(frmFXNotify::kServiceSite) + "/ad.php";
    const std::string html =
        inert::rebuild(sys::fromAnsi(Data), address, [](const std::string&) { return std::string(); });
    forms::ResumeNext([&] {
        el("iAd").set("srcdoc", "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>body { margin: 0;"
                                " font: 13px \"微软雅黑\", Tahoma; background: #fff8e8; } img { display: none; }"
                                "</style></head><body>" + html + "</body></html>");
    });
}

bool frmFXNews::Busy() { return PageWindow::Busy() || !PageReady_; }

void frmFXNews::Form_Activate() { m_Main::SetTopMost(hWnd()); }

void frmFXNews::Form_QueryUnload(int&, int) {
    // A window whose page never came was never placed: it has no place of the user's to keep.
    if (!PageReady_) return;
    cls_Config& c = Config();
    auto put = [&](const char* attribute, long value) { c.CreateAttrib(kNode, attribute, std::to_string(value)); };
    if (c.isExist("Window", "FXNews_Content")) {
        put("Left", std::lrint(Left() / kTwipsX));
        put("Top", std::lrint(Top() / kTwipsY));
        put("Width", std::lrint(Width() / kTwipsX));
        put("Height", std::lrint(Height() / kTwipsY));
        c.CreateAttrib(kNode, "PopupStyle", PopupStyle_ ? "1" : "0");
    }
}

void frmFXNews::Form_Unload(int&) {
    // The viewer variable and the page's forwarders may hold the last references; the runtime
    // still finishes the unload.
    KeepUntilIdle(shared_from_this());
    if (m_Main::FXNewsForm.get() == this) m_Main::FXNewsForm.reset();
    ctlDown.reset();
    if (cSizeMove) cSizeMove->Detach();
    cSizeMove.reset();
    WebDoc = web::HTMLDocument();
    unloadPage();
    PageReady_ = false;
}

web::HTMLElement frmFXNews::el(const std::string& id) const {
    web::HTMLElement e = Document.all(id);
    if (!e) forms::raise(forms::err::ObjectRequired, "frmFXNews");
    return e;
}

// ---- Moving, sizing and the two styles ---------------------------------------------------------

void frmFXNews::WindowMove() {
    win::ReleaseCapture();
    win::SendMessage(hWnd(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTCAPTION), 0);
}

void frmFXNews::SizeGrip() {
    win::ReleaseCapture();
    win::SendMessage(hWnd(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTBOTTOMRIGHT), 0);
}

void frmFXNews::wClose() {
    [[maybe_unused]] auto self = shared_from_this();
    Unload();
}

void frmFXNews::XStyle() {
    if (PopupStyle_) {
        PopupStyle_ = false;
        StyleON();
    } else {
        forms::ResumeNext([&] { el("Style").title("切换到弹出式窗口"); });
        Show(forms::vbModeless);
    }
}

void frmFXNews::StyleON() {
    const bool toDialog = PopupStyle_;
    forms::ResumeNext([&] {
        web::PageBatch batch(Document);
        el("StyleImg").set("src", toDialog ? "popup.gif" : "window.gif");
        el("Style").title(toDialog ? "切换到弹出式窗口" : "切换到对话式窗口");
    });
    PopupStyle_ = !PopupStyle_;
    ShowPending_ = true;
    win::SetWindowLong(hWnd(), win::GWL_STYLE, static_cast<win::LONG>(toDialog ? kDialogStyle : kPopupStyle));
    win::SetWindowPos(hWnd(), 0, 0, 0, 0, 0,
                      win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE | win::SWP_FRAMECHANGED);
    win::PostMessage(hWnd(), win::WM_SIZE, 0, 0);
}

void frmFXNews::cSizeMove_Sizing(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height) {
    (void)Left, (void)Top;
    if (Width < kMinWidth) Width = kMinWidth;
    if (Height < kMinHeight) Height = kMinHeight;
    if (WebBrowser1) {
        if (PopupStyle_) WebBrowser1->Move(0, 0, Width, Height);
        else
            WebBrowser1->Move(0, 0, static_cast<int>(ScaleWidth() / kTwipsX), static_cast<int>(ScaleHeight() / kTwipsY));
    }
    if (ShowPending_) {
        Show(forms::vbModeless);
        ShowPending_ = false;
    }
}

void frmFXNews::cSizeMove_Deactivate() {
    // Hiding for a change of style is no loss of the user's attention.
    if (!PopupStyle_ || ShowPending_ || !IsLoaded()) return;
    [[maybe_unused]] auto self = shared_from_this();
    Unload();
}

// ---- The article -------------------------------------------------------------------------------

void frmFXNews::GETData() {
    forms::ResumeNext([&] { el("FxNews").style().display("none"); });
    forms::ResumeNext([&] { el("iLoad").style().display(""); });
    ++PictureRound_;
    forms::ResumeNext([&] {
        // A newer link replaces the article still on its way.
        ctlDown->CancelDownload("FXNews");
        ctlDown->BeginDownload(URL_, "FXNews");
    });
}

void frmFXNews::ctlDown_DownloadComplete(const std::string& Data, bool Success, const std::string&) {
    std::optional<std::string> cut;
    if (Success) cut = article::Extract(sys::fromAnsi(Data), URL_, ruleHosts());
    std::vector<std::string> pictures;
    auto picture = [&](const std::string& address) {
        pictures.push_back(address);
        return std::string();
    };
    const std::string html = cut ? inert::rebuild(*cut, URL_, picture) : article::FallbackLink(URL_);
    forms::ResumeNext([&] {
        web::PageBatch batch(Document);
        el("FxNews").innerHTML(html);
        el("FxNews").style().display("");
        el("iLoad").style().display("none");
    });
    fetchPictures(std::move(pictures));
}

void frmFXNews::fetchPictures(std::vector<std::string> addresses) {
    const std::string round = "Pic" + std::to_string(++PictureRound_) + "_";
    for (size_t i = 0; i < addresses.size() && i < kMaxPictures; ++i) {
        // Only a site the machine leads to is asked, as for every page the program fetches.
        if (!frmFXNotify::onThisMachine(addresses[i])) continue;
        forms::ResumeNext([&] { ctlDown->BeginDownload(addresses[i], round + std::to_string(i)); });
    }
}

void frmFXNews::pictureArrived(const std::string& Data, bool Success, size_t index) {
    const std::string type = Success && Data.size() <= kMaxPictureBytes ? pictureType(Data) : "";
    if (type.empty()) return;
    forms::ResumeNext([&] {
        const auto pictures = el("FxNews").getElementsByTagName("IMG");
        if (index < pictures.size()) pictures[index].set("src", "data:" + type + ";base64," + web::base64(Data));
    });
}

void frmFXNews::WebBrowser_NewWindow2(const std::string& url, bool& cancel) {
    // An article's link opens in the user's own browser, if it is a web address at all.
    cancel = true;
    const std::string link = inert::checkedLink(url, url);
    if (!link.empty()) m_Main::OpenLink(link);
}


bool frmFXNews::WebDoc_oncontextmenu() {
    bool inside = false;
    forms::ResumeNext([&] {
        web::HTMLElement e = Document.activeElement();
        for (int hops = 0; e && hops < 1000; ++hops, e = e.offsetParent()) {
            if (forms::UCase(e.tagName()) == "BODY") break;
            if (forms::UCase(e.id()) == "FXNEWS") {
                inside = true;
                break;
            }
        }
    });
    if (!inside) return false;
    win::POINT cursor{};
    win::GetCursorPos(&cursor);
    cls_PopupMenu menu;
    menu.AddMenuItem("复制新闻内容(&C)", 0, 1);
    if (menu.TrackMenu(hWnd(), cursor.x, cursor.y) != 1) return false;
    forms::ResumeNext([&] {
        const std::string text = el("FxNews").innerText();
        forms::Clipboard.Clear();
        forms::Clipboard.SetText(text);
    });
    return false;
}

// ---- Members by name -------------------------------------------------------------------------

const forms::MemberTable& frmFXNews::memberTable() const {
    using forms::Variant;
    using F = frmFXNews;
    static const auto table =
        forms::Members<F>()
            .method("WindowMove", [](F& f) { f.WindowMove(); })
            .method("SizeGrip", [](F& f) { f.SizeGrip(); })
            .method("wClose", [](F& f) { f.wClose(); })
            .method("XStyle", [](F& f) { f.XStyle(); })
            .method("StyleON", [](F& f) { f.StyleON(); })
            .get("Busy", [](F& f) { return Variant(f.Busy()); })
            .property("URL", [](F& f) { return Variant(f.URL()); }, [](F& f, const Variant& v) { f.URL(v.toString()); })
            .method("GETData", [](F& f) { f.GETData(); })
            .method("WebDoc_oncontextmenu", [](F& f) { return Variant(f.WebDoc_oncontextmenu()); });
    return table;
}
