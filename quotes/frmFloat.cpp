#include "frmFloat.h"
#include "frmOrderConfirm.h"
#include "frmOrderSet.h"

#include "core/NeighbourWindows.h"
#include "core/SymbolElementName.h"
#include "core/cls_Quote.h"
#include "platform/browser/Page.h"
#include "platform/desktop/Win.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Format.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <utility>

namespace {

constexpr double kTwipsX = win::TwipsPerPixelX;
constexpr double kTwipsY = win::TwipsPerPixelY;
constexpr win::DWORD kFrameBits = win::WS_CAPTION | win::WS_SYSMENU;

// The integer of a value: the nearest one, a half going to the even neighbour.
long toInt(double v) { return std::lrint(v); }

std::string pixels(double v) {
    std::ostringstream s;
    s << v << "px";
    return s.str();
}

// The ids the panel writes to; looked up once, so a tick's writes need no lookups.
constexpr const char* kElementIds[] = {
    "HR", "iVoiceSet", "iOrderSet", "iNoConfirm", "PriceBox", "Symbol", "TrHead", "iMT4", "iBid", "iAsk",
    "trPrice", "tdPrice", "Price", "iSub", "TrBidAsk", "tdBid", "tdAsk", "HeadBid", "HeadAsk", "Bid", "Ask",
    "iBidSub", "iAskSub", "TDX", "OrderBAR", "Volume", "iSell", "iBuy", "iBuyAni", "iSellAni", "iOverlay",
    "iTimeOut", "iTime", "iClose", "iLoad", "mtload",
};

} // namespace

frmFloat::frmFloat() : FloatPanel("frmFloat") {
    design.caption = "报价 ";
    design.borderStyle = forms::vbFixedToolWindow;
    design.showInTaskbar = false;
    design.minButton = design.maxButton = false;
    design.width = 1800;
    design.height = 2400;
}

frmFloat::~frmFloat() = default;

// ---- Life ---------------------------------------------------------------------------------

void frmFloat::Form_Load() {
    loadPage(hWnd(), m_Main::PageBase + "TS.htm");
    Border_ = true;
    Confirm_ = true;
    TP_ = 100;
    SL_ = 50;
    BaseCaption_ = "报价 ";
}

void frmFloat::pageComplete() {
    WebDoc = Document;
    elements_.clear();
    // Every element in one round trip, and the set-up writes in one more: a page costs the
    // start-up a few round trips, not one per element.
    const std::vector<std::string> ids(std::begin(kElementIds), std::end(kElementIds));
    const std::vector<web::HTMLElement> found = Document.all(ids);
    for (size_t i = 0; i < ids.size(); ++i) elements_[kElementIds[i]] = found[i];
    {
        web::PageBatch batch(Document);
        setDisplay("iOverlay", false);
        setDisplay("iTimeOut", false);
        setDisplay("iClose", false);
        if (overlays_.loading) el("mtload").set("src", "loadx.gif");
        // A reloaded page starts bare: show the state the panel is in.
        shownLayers_ = {};
        showOverlays();
        const auto bind = [&](const char* id, const char* event, const char* member) {
            bindEvent(elements_[id], event, member);
        };
        bind("iMT4", "onclick", "iIconEvent");
        bind("iBid", "onclick", "iIconEvent");
        bind("iAsk", "onclick", "iIconEvent");
        bind("iVoiceSet", "onclick", "iVoiceSet");
        bind("Symbol", "onmousedown", "WindowMove");
        bind("Volume", "onchange", "VolumeChange");
        bind("iBuy", "onclick", "Buy");
        bind("iSell", "onclick", "Sell");
        bind("iOrderSet", "onclick", "OrderSet");
        bindEvent(Document.node(), "oncontextmenu", "WebDoc_oncontextmenu");
    }
    ResizeWindow();
    if (pageShownOnce_) restorePage();
    pageShownOnce_ = true;
}

void frmFloat::restorePage() {
    painted_.clear();
    lastBid_.clear();
    const std::string time = std::exchange(timeText_, "");
    const std::string high = std::exchange(lastHigh_, "\x01"), low = lastLow_;
    using forms::ResumeNext;
    if (!symbolText_.empty()) ResumeNext([&] { SymBol(symbolText_); });
    ResumeNext([&] { Voice(VoiceShown_); });
    ResumeNext([&] { Confirm(Confirm_); });
    ResumeNext([&] { OrderBAR(OrderBarShown_); });
    if (!volume_.empty()) ResumeNext([&] { Volume(volume_); });
    if (!Border_) ResumeNext([&] { el("Symbol").style().set("cursor", "move"); });
    ResumeNext([&] { retitleOrderButtons(); });
    ResumeNext([&] { iSUB(PriceSUB_, true); });  // lays the mode out too
    ResumeNext([&] { Time(time); });
    ResumeNext([&] { Max_Min(high, low); });
    ResumeNext([&] { UpdatePrice(true); });
}

void frmFloat::Form_Activate() { m_Main::SetTopMost(hWnd()); }

void frmFloat::Form_Unload(int&) {
    // An order this panel runs ends with it, so that the next one may start.
    if (m_Timer) {
        m_Timer->ThatTime = nullptr;
        m_Timer->Interval(0);
    }
    endOrder();
    // Only this panel leaves the collection: a second panel of a symbol, which the core shows
    // without adding, must not take the first one's entry with it.
    auto& panels = m_Main::FloatForms;
    if (auto* entry = panels.Find(ID_); entry && entry->get() == this) {
        // The collection may hold the last reference; the runtime still finishes the unload.
        std::shared_ptr<FloatPanel> keep = *entry;
        panels.Remove(ID_);
        if (auto* machine = sys::Machine::currentOrNull()) machine->post([keep] {});
    }
    sendWrites();
    elements_.clear();
    WebDoc = web::HTMLDocument();
    if (auto* machine = sys::Machine::currentOrNull(); machine && WebBrowser1) {
        // The page's forwarders hold this window; let them go once the unload is over.
        std::shared_ptr<frmFloat> self = shared_from_this();
        machine->post([self] {});
    }
    unloadPage();
}

// ---- Page access --------------------------------------------------------------------------

void frmFloat::collectWrites() {
    // Only into a complete page: elements of a page that reloads belong to its old document.
    if (collecting_ || PageWindow::Busy()) return;
    auto* machine = sys::Machine::currentOrNull();
    if (!machine) return;
    collecting_ = WebBrowser1->page();
    collecting_->beginBatch();
    machine->post([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->sendWrites();
    });
}

void frmFloat::sendWrites() {
    if (auto page = std::move(collecting_)) page->endBatchNoWait();
}

web::HTMLElement& frmFloat::el(const char* id) {
    collectWrites();
    auto it = elements_.find(id);
    if (it == elements_.end()) {
        // Not one of the cached ids, or the page is not complete yet: ask the page.
        it = elements_.emplace(id, Document.all(id)).first;
        if (it->second.isNull()) {
            elements_.erase(it);
            forms::raise(forms::err::ObjectRequired, "frmFloat");
        }
    }
    if (it->second.isNull()) forms::raise(forms::err::ObjectRequired, "frmFloat");
    return it->second;
}

void frmFloat::setDisplay(const char* id, bool shown) { el(id).style().display(shown ? "" : "none"); }

bool frmFloat::Busy() { return PageWindow::Busy(); }

void frmFloat::GetElementRect(const std::string& id, int32_t& left, int32_t& top, int32_t& width, int32_t& height) {
    const ElementBox box = elementBox(id, "frmFloat");
    left = box.left;
    top = box.top;
    width = box.width;
    height = box.height;
}

// ---- Layout and border --------------------------------------------------------------------

void frmFloat::ResizeWindow() {
    const auto r = elementBoxes({"PriceBox", "TrHead"}, "frmFloat");
    const double boxTop = r[0].top, boxWidth = r[0].width, boxHeight = r[0].height;
    const double headTop = r[1].top, headHeight = r[1].height;

    const long height = toInt((Height() - ScaleHeight()) + (boxTop + boxHeight) * kTwipsY);
    el("HR").style().set("top", pixels(headTop + headHeight / 2 - 3));
    const long width = toInt((Width() - ScaleWidth()) + boxWidth * kTwipsX);
    Move(Left(), Top(), width, height);
    WebBrowser1->Move(0, 0, static_cast<int>(ScaleWidth() / kTwipsX), static_cast<int>(ScaleHeight() / kTwipsY));

    if (win::GetWindowLong(hWnd(), win::GWL_STYLE) & win::WS_BORDER) {
        frameWidth_ = toInt(Width() - ScaleWidth());
        frameHeight_ = toInt(Height() - ScaleHeight());
        framedWidth_ = Width();
        framedHeight_ = Height();
    } else {
        framedWidth_ = Width() + frameWidth_;
        framedHeight_ = Height() + frameHeight_;
    }
}

void frmFloat::Border(bool framed) {
    const win::HWND h = hWnd();
    const win::LONG style = win::GetWindowLong(h, win::GWL_STYLE);
    if (framed == ((style & win::WS_BORDER) != 0)) return;
    if (!framed) {
        const win::HWND server = WebBrowser1 ? WebBrowser1->serverHwnd() : 0;
        if (!server) forms::raise(forms::err::ObjectRequired, "frmFloat");
        win::POINT p{0, 0};
        win::ClientToScreen(server, &p);
        frameOffsetX_ = toInt(p.x * kTwipsX - Left());
        frameOffsetY_ = toInt(p.y * kTwipsY - Top());
        Move(toInt(p.x * kTwipsX), toInt(p.y * kTwipsY), ScaleWidth(), ScaleHeight());
        win::SetWindowLong(h, win::GWL_STYLE, style & ~static_cast<win::LONG>(kFrameBits));
        win::SetWindowPos(h, 0, 0, 0, 0, 0,
                          win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE | win::SWP_FRAMECHANGED);
        el("Symbol").style().set("cursor", "move");
        Border_ = false;
    } else {
        win::SetWindowLong(h, win::GWL_STYLE, style | static_cast<win::LONG>(kFrameBits));
        Move(Left() - frameOffsetX_, Top() - frameOffsetY_, framedWidth_, framedHeight_);
        setVisible(false);
        setVisible(true);
        el("Symbol").style().set("cursor", "default");
        Border_ = true;
    }
}

long frmFloat::NB_Left() { return Left() - frameOffsetX_; }
long frmFloat::NB_Top() { return Top() - frameOffsetY_; }

void frmFloat::WindowMove() {
    win::ReleaseCapture();
    win::SendMessage(hWnd(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTCAPTION), 0);
}

void frmFloat::OrderBAR(bool shown) {
    OrderBarShown_ = shown;
    {
        web::PageBatch batch(Document);
        setDisplay("OrderBAR", shown);
        setDisplay("iOrderSet", shown);
        el("PriceBox").style().set("paddingBottom", shown ? "0px" : "3px");
        setDisplay("iNoConfirm", shown && !Confirm_);
    }
    ResizeWindow();
}

bool frmFloat::OrderBAR() { return shownOr("OrderBAR", OrderBarShown_); }

bool frmFloat::shownOr(const char* id, bool& known) {
    if (WebBrowser1 && WebBrowser1->alive()) {
        try {
            known = el(id).style().display().empty();
        } catch (const forms::RuntimeError&) {
        }
    }
    return known;
}

void frmFloat::iSUB(bool on, bool force) {
    if (!force && on == PriceSUB_) return;
    PriceSUB_ = on;
    {
        web::PageBatch batch(Document);
        setDisplay("iBidSub", on);
        setDisplay("iAskSub", on);
        el("tdBid").style().set("paddingLeft", on ? "5px" : "2px");
        el("tdAsk").style().set("paddingRight", on ? "5px" : "2px");
        setDisplay("iSub", on);
        el("tdPrice").style().set("paddingLeft", on ? "5px" : "0px");
    }
    Mode(Mode_);
}

// ---- Display modes and overlays -----------------------------------------------------------

void frmFloat::Mode(int32_t mode) {
    Mode_ = static_cast<int16_t>(std::clamp<int32_t>(mode, std::numeric_limits<int16_t>::min(),
                                                     std::numeric_limits<int16_t>::max()));
    const int m = Mode_ > 0 ? 1 : Mode_ < 0 ? -1 : 0;
    {
        web::PageBatch batch(Document);
        setDisplay("trPrice", m != 0);
        setDisplay("TrBidAsk", m == 0);
        auto head = el("TrHead").style();
        head.set("height", m == 0 ? "18px" : "20px");
        head.set("paddingTop", m == 0 ? "0px" : "3px");
        setDisplay("iMT4", m == 0);
        setDisplay("iBid", m > 0);
        setDisplay("iAsk", m < 0);
    }
    if (m == 0) {
        // The small head labels sit over the big digits and reach 4 pixels into them.
        const auto r = elementBoxes({"Bid", "Ask", "HeadBid"}, "frmFloat");
        const int headHeight = r[2].height;
        web::PageBatch batch(Document);
        const std::pair<const char*, const ElementBox*> heads[] = {{"HeadBid", &r[0]}, {"HeadAsk", &r[1]}};
        for (const auto& [id, box] : heads) {
            auto style = el(id).style();
            style.set("top", pixels(box->top - headHeight + 4));
            style.set("left", pixels(box->left));
            style.set("width", pixels(box->width));
        }
    }
    ResizeWindow();
}

void frmFloat::TimeOut(bool on) {
    overlays_.TimeOut(on);
    // A time-out report drops the terminal-closed state.
    overlays_.MT4Close(false);
    showOverlays();
}

void frmFloat::MT4Close(bool on) {
    overlays_.MT4Close(on);
    showOverlays();
}

void frmFloat::MT4Loading(bool on) {
    if (on == overlays_.loading) return;
    overlays_.MT4Loading(on);
    web::PageBatch batch(Document);
    el("mtload").set("src", on ? "loadx.gif" : "");
    showOverlays();
}

// Writes only the layers whose visibility changed, so a steady state costs no page writes.
void frmFloat::showOverlays() {
    if (overlays_.layers() == shownLayers_) return;
    web::PageBatch batch(Document);
    overlays_.apply(shownLayers_, [&](const char* id, bool on) { setDisplay(id, on); });
}

void frmFloat::Max_Min(const std::string& high, const std::string& low) {
    if (high == lastHigh_ && low == lastLow_) return;
    const std::string tip = high.empty() ? "" : "最高价: " + high + "\r\n最低价: " + low;
    {
        web::PageBatch batch(Document);
        el("trPrice").title(tip);
        el("TrBidAsk").title(tip);
    }
    lastHigh_ = high;
    lastLow_ = low;
}

void frmFloat::Time(const std::string& text) {
    // The page never changes the text itself, so what was written last is what it shows.
    if (text == timeText_) return;
    el("iTime").innerText(text);
    timeText_ = text;
}

void frmFloat::Voice(bool on) {
    VoiceShown_ = on;
    setDisplay("iVoiceSet", on);
}
bool frmFloat::Voice() { return shownOr("iVoiceSet", VoiceShown_); }

// ---- Price display ------------------------------------------------------------------------

void frmFloat::SymBol(const std::string& text) {
    symbolText_ = text;
    el("Symbol").innerText(text);
}

void frmFloat::iSUBValue(const std::string& bidDigit, const std::string& askDigit) {
    if (!PriceSUB_) return;
    subBid_ = bidDigit;
    subAsk_ = askDigit;
    subPrice_ = Mode_ == 1 ? bidDigit : askDigit;
}

void frmFloat::UpdatePrice(bool force) {
    auto quote = m_Main::Quotes.Item(ID_);
    const int16_t direction = quote->Direction();
    if (!force && quote->BID() == lastBid_ && direction == lastDirection_) return;
    const std::string colour = direction == 1 ? "#FF0000" : direction == -1 ? "#007F00" : "";
    {
        web::PageBatch batch(Document);
        // Only what differs from the last paint goes to the page; a forced repaint writes all.
        auto paint = [&](const char* id, const char* prop, const std::string& value) {
            const std::string key = std::string(id) + '.' + prop;
            auto it = painted_.find(key);
            if (!force && it != painted_.end() && it->second == value) return;
            if (prop[0] == 'c') el(id).style().color(value);
            else if (prop[0] == 'b') el(id).set("bgColor", value);
            else el(id).innerText(value);
            painted_[key] = value;
        };
        paint("Bid", "text", BID_);
        paint("Ask", "text", ASK_);
        paint("HeadBid", "text", HeadBid_);
        paint("HeadAsk", "text", HeadASK_);
        paint("Price", "text", Price_);
        for (const char* id : {"Price", "Bid", "Ask"}) paint(id, "color", colour);
        if (PriceSUB_) {
            paint("iBidSub", "text", subBid_);
            paint("iAskSub", "text", subAsk_);
            paint("iSub", "text", subPrice_);
            for (const char* id : {"iBidSub", "iAskSub", "iSub"}) paint(id, "color", colour);
        }
        paint("TDX", "bgColor", colour.empty() ? "#FFFFFF" : colour);
    }
    refreshConfirmBalloon();
    lastDirection_ = direction;
    lastBid_ = quote->BID();
}

void frmFloat::refreshConfirmBalloon() {
    frmOrderConfirm* balloon = frmOrderConfirm::Open();
    if (!balloon || balloon->SymBol() != ID_) return;
    auto quote = m_Main::Quotes.Item(ID_);
    const OrderFigures f = orderFigures(quote->BID(), quote->ASK(), OrderSide_, SL_, TP_, PriceSUB_);
    balloon->Price(f.price);
    balloon->SL(f.sl);
    balloon->TP(f.tp);
}

namespace {
// Digits after the price's point; none without a point.
int decimalsOf(const std::string& price) {
    const auto point = price.find('.');
    return point == std::string::npos ? 0 : static_cast<int>(price.size() - point - 1);
}
} // namespace

double orderLevel(const std::string& price, int16_t side, int16_t distance, bool fractional, int sign) {
    const double unit = std::pow(10.0, decimalsOf(price));
    const double value = forms::IsNumeric(price) ? forms::CDbl(price) : 0.0;
    const int factor = fractional ? 10 : 1;
    return (value * unit + sign * side * factor * static_cast<double>(distance)) / unit;
}

std::string orderLevelText(double level) {
    if (!(level > 0) || !std::isfinite(level)) return "";
    const std::string text = forms::CStr(level);
    if (text.find_first_not_of("0123456789.") != std::string::npos) return "";
    return text;
}

OrderFigures orderFigures(const std::string& bid, const std::string& ask, int16_t side, int16_t sl, int16_t tp,
                          bool fractional) {
    OrderFigures out;
    out.price = side == 1 ? ask : bid;
    // The price's own mask: every digit a zero, the point kept.
    std::string pattern(out.price.size(), '0');
    if (const auto point = out.price.find('.'); point != std::string::npos) pattern[point] = '.';
    const int factor = fractional ? 10 : 1;
    // As the order itself takes them: no distance (or a negative one) sets no level, and a level
    // the terminal must not get is shown as refused rather than as a negative price.
    auto figure = [&](int16_t distance, int sign) -> std::string {
        if (distance <= 0) return "无";
        const double value = orderLevel(out.price, side, distance, fractional, sign);
        if (orderLevelText(value).empty()) return "无效";
        return forms::Format(value, pattern) + " (" + std::to_string(factor * distance) + "点)";
    };
    out.sl = figure(sl, -1);
    out.tp = figure(tp, 1);
    return out;
}

// ---- Icons, titles and quick-order settings -----------------------------------------------

void frmFloat::IconEvent(int16_t what) {
    IconEvent_ = what;
    static const char* const kTitles[] = {"弹出功能菜单", "启用语音报价", "启用快捷下单", "下MT4新定单"};
    const std::string title = what >= 0 && what <= 3 ? kTitles[what] : "";
    web::PageBatch batch(Document);
    for (const char* id : {"iMT4", "iBid", "iAsk"}) el(id).title(title);
}

void frmFloat::popMenu(const std::string& action) {
    if (m_Main::PopMenu) m_Main::PopMenu(ID_, action);
}

void frmFloat::iIconEvent() {
    switch (IconEvent_) {
    case 0: popMenu(""); break;
    case 1: popMenu("Voice"); break;
    case 2: OrderBAR(!OrderBAR()); break;
    case 3: popMenu("Order"); break;
    default: break;
    }
}

void frmFloat::iVoiceSet() { popMenu("VoiceSet"); }

void frmFloat::iOrder() { popMenu("Order"); }

win::POINT frmFloat::elementCentre(const std::string& id) {
    int32_t left = 0, top = 0, width = 0, height = 0;
    GetElementRect(id, left, top, width, height);
    win::POINT p{static_cast<win::LONG>(toInt(left + width / 2.0)), static_cast<win::LONG>(toInt(top + height / 2.0))};
    win::ClientToScreen(hWnd(), &p);
    return p;
}

void frmFloat::retitleOrderButtons() {
    const std::string title =
        "止损: " + std::to_string(SL_) + "点\r\n获利: " + std::to_string(TP_) + "点";
    web::PageBatch batch(Document);
    el("iBuy").title(title);
    el("iSell").title(title);
}

void frmFloat::SL(int16_t points) {
    SL_ = points;
    retitleOrderButtons();
}

void frmFloat::TP(int16_t points) {
    TP_ = points;
    retitleOrderButtons();
}

void frmFloat::Volume(const std::string& lots) {
    volume_ = lots;
    el("Volume").value(lots);
}
// The user types into the page: read it while it can be read, else what it last held.
std::string frmFloat::Volume() {
    if (WebBrowser1 && WebBrowser1->alive()) volume_ = el("Volume").value();
    return volume_;
}

void frmFloat::Confirm(bool on) {
    Confirm_ = on;
    setDisplay("iNoConfirm", !on);
}

void frmFloat::OrderSet() {
    const win::POINT p = elementCentre("Symbol");
    frmOrderSet::OpenFor(*this, p.x, p.y);
}

void frmFloat::VolumeChange() { SaveQuickOrder(); }

void frmFloat::SaveQuickOrder() {
    cls_Config& config = Config();
    // The element the core reads the symbol's settings from: a symbol that is no valid XML name
    // ("#US30") is escaped rather than written as a broken element.
    const std::string element = m_Main::SymbolElementName(ID_);
    const std::string path = "QuickOrder/" + element;
    const std::pair<std::string, std::string> values[] = {
        {"Confirm", Confirm_ ? "1" : "0"},
        {"SL", std::to_string(SL_)},
        {"TP", std::to_string(TP_)},
        {"Volume", Volume()},
    };
    if (config.isExist("QuickOrder", element)) {
        for (const auto& [name, value] : values) config.SetNodeAttrib(path, name, value);
    } else {
        config.CreateNode("QuickOrder", element);
        for (const auto& [name, value] : values) config.CreateAttrib(path, name, value);
    }
}

// ---- Members by name ----------------------------------------------------------------------

const forms::MemberTable& frmFloat::memberTable() const {
    using forms::Args;
    using forms::Variant;
    using forms::arg;
    static const auto table =
        forms::Members<frmFloat>()
            .get("Busy", [](frmFloat& f) { return f.Busy(); })
            .method("OrderSet", [](frmFloat& f) { f.OrderSet(); })
            .property("OrderBAR", [](frmFloat& f) { return f.OrderBAR(); },
                      [](frmFloat& f, const Variant& v) { f.OrderBAR(v.toBool()); })
            .property("ID", [](frmFloat& f) { return f.ID(); }, [](frmFloat& f, const Variant& v) { f.ID(v.toString()); })
            .property("Border", [](frmFloat& f) { return f.Border(); },
                      [](frmFloat& f, const Variant& v) { f.Border(v.toBool()); })
            .get("NB_Left", [](frmFloat& f) { return static_cast<int32_t>(f.NB_Left()); })
            .get("NB_Top", [](frmFloat& f) { return static_cast<int32_t>(f.NB_Top()); })
            .method("WindowMove", [](frmFloat& f) { f.WindowMove(); })
            .method("BallonInfo", [](frmFloat& f, Args& a) { f.BallonInfo(arg(a, 0)); })
            .method("VolumeChange", [](frmFloat& f) { f.VolumeChange(); })
            .method("iVoiceSet", [](frmFloat& f) { f.iVoiceSet(); })
            .method("iOrderSet", [](frmFloat& f) { f.iOrderSet(); })
            .method("iIconEvent", [](frmFloat& f) { f.iIconEvent(); })
            .method("Sell", [](frmFloat& f) { f.Sell(); })
            .method("Buy", [](frmFloat& f) { f.Buy(); })
            .method("OrderError", [](frmFloat& f) { f.OrderError(); })
            .method("OrderOpt", [](frmFloat& f, Args& a) { f.OrderOpt(!a.empty() && !a[0].isEmpty() && a[0].toBool()); })
            .method("iOrder", [](frmFloat& f) { f.iOrder(); })
            .method("ResizeWindow", [](frmFloat& f) { f.ResizeWindow(); })
            .property("SL", [](frmFloat& f) { return f.SL(); }, [](frmFloat& f, const Variant& v) { f.SL(forms::CInt(v.toDouble())); })
            .property("TP", [](frmFloat& f) { return f.TP(); }, [](frmFloat& f, const Variant& v) { f.TP(forms::CInt(v.toDouble())); })
            .property("Volume", [](frmFloat& f) { return f.Volume(); },
                      [](frmFloat& f, const Variant& v) { f.Volume(v.toString()); })
            .property("IconEvent", [](frmFloat& f) { return f.IconEvent(); },
                      [](frmFloat& f, const Variant& v) { f.IconEvent(forms::CInt(v.toDouble())); })
            .property("Confirm", [](frmFloat& f) { return f.Confirm(); },
                      [](frmFloat& f, const Variant& v) { f.Confirm(v.toBool()); })
            .let("SymBol", [](frmFloat& f, const Variant& v) { f.SymBol(v.toString()); })
            .method("UpdatePrice", [](frmFloat& f, Args& a) { f.UpdatePrice(!a.empty() && !a[0].isEmpty() && a[0].toBool()); })
            .method("OrderConfirmX", [](frmFloat& f) { f.OrderConfirmX(); })
            .method("OrderConfirmOK", [](frmFloat& f) { f.OrderConfirmOK(); })
            .let("Price", [](frmFloat& f, const Variant& v) { f.Price(v.toString()); })
            .let("BID", [](frmFloat& f, const Variant& v) { f.BID(v.toString()); })
            .let("ASK", [](frmFloat& f, const Variant& v) { f.ASK(v.toString()); })
            .get("PriceSUB", [](frmFloat& f) { return f.PriceSUB(); })
            .method("iSUB", [](frmFloat& f, Args& a) {
                f.iSUB(arg(a, 0).toBool(), a.size() > 1 && !a[1].isEmpty() && a[1].toBool());
            })
            .method("iSUBValue", [](frmFloat& f, Args& a) { f.iSUBValue(arg(a, 0).toString(), arg(a, 1).toString()); })
            .let("HeadBid", [](frmFloat& f, const Variant& v) { f.HeadBid(v.toString()); })
            .let("HeadASK", [](frmFloat& f, const Variant& v) { f.HeadASK(v.toString()); })
            .property("Mode", [](frmFloat& f) { return f.Mode(); },
                      [](frmFloat& f, const Variant& v) { f.Mode(forms::CInt(v.toDouble())); })
            .let("TimeOut", [](frmFloat& f, const Variant& v) { f.TimeOut(v.toBool()); })
            .let("MT4Loading", [](frmFloat& f, const Variant& v) { f.MT4Loading(v.toBool()); })
            .let("MT4Close", [](frmFloat& f, const Variant& v) { f.MT4Close(v.toBool()); })
            .method("Max_Min", [](frmFloat& f, Args& a) {
                f.Max_Min(arg(a, 0).toString(), arg(a, 1).toString());
                return Variant();
            })
            .let("Time", [](frmFloat& f, const Variant& v) { f.Time(v.toString()); })
            .property("Voice", [](frmFloat& f) { return f.Voice(); }, [](frmFloat& f, const Variant& v) { f.Voice(v.toBool()); })
            .method("m_Timer_ThatTime", [](frmFloat& f) { f.m_Timer_ThatTime(); })
            .method("WebDoc_oncontextmenu", [](frmFloat& f) { return Variant(f.WebDoc_oncontextmenu()); });
    return table;
}
