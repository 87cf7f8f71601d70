#include "frmQuote.h"

#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/cls_PopupMenu.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kPlain = 0, kChecked = 8, kSeparator = 2048, kSeparatorId = 88;

long tppX() { return forms::Screen.TwipsPerPixelX(); }
long tppY() { return forms::Screen.TwipsPerPixelY(); }

BerthRules boardRules() {
    BerthRules r;
    r.initialSide = -1;
    return r;
}

// A stored place or size, pixels, held to what a screen could show.
double storedPixels(const char* name) { return settingNumber(Config().GetNodeAttrib(frmQuote::kNode, name), -1e6, 1e6); }

} // namespace

frmQuote::frmQuote() : QuoteBoard("frmQuote") {
    design.caption = kCaption;
    design.borderStyle = forms::vbSizableToolWindow;
    design.showInTaskbar = false;
    design.minButton = design.maxButton = false;
    design.width = 240 * 15;
    design.height = 300 * 15;
}

frmQuote::~frmQuote() = default;

// ---- Load, activation, close ------------------------------------------------------------------

void frmQuote::Form_Load() {
    loadPage(hWnd(), m_Main::PageBase + "Quote.htm");
    berth_ = std::make_unique<ScreenBerth>(*this, boardRules());
    berth_->MoveReady = false;
    berth_->SizeRule = [this](int32_t& l, int32_t& t, int32_t& w, int32_t& h) { sizeRule(l, t, w, h); };
    berth_->BeforeSlideIn = [this] {
        if (TableFresh_) return;
        UpdateQuote(true);
        TableFresh_ = true;
    };
    berth_->OnLeave = [this] { TableFresh_ = false; };
    berth_->AfterExitSizeMove = [this] { afterExitSizeMove(); };

    overlays_ = {};
    shownLayers_ = {};
    timeText_.clear();
    highlighted_.clear();
    TableFresh_ = true;
    fittedWidth_ = fittedHeight_ = 0;

    cls_Config& c = Config();
    const std::string style = forms::Left(c.GetNodeAttrib(kNode, "Style"), 1);
    Style_ = style.empty() ? ' ' : style[0];
    berth_->AutoHide = settingFlag(c.GetNodeAttrib(kNode, "AutoHide"));

    const long left = std::lround(storedPixels("Left") * tppX()), top = std::lround(storedPixels("Top") * tppY());
    // The other dimension is set by ResizeWindow once the table is built; until then it keeps
    // the design size, so the frame is measured on a window larger than its frame.
    if (Horizontal()) Move(left, top, std::lround(static_cast<double>(savedWidth()) * tppX()), Height());
    else Move(left, top, Width(), std::lround(static_cast<double>(savedHeight()) * tppY()));

    berth_->MoveReady = true;
    berth_->BerthSide = -1;
}

void frmQuote::Form_Activate() {
    if (berth_ && berth_->Activated()) m_Main::QuoteBoardOpen = true;
}

void frmQuote::Form_Resize() {
    if (!WebBrowser1) return;
    win::RECT c{};
    win::GetClientRect(hWnd(), &c);
    WebBrowser1->Move(0, 0, c.right, c.bottom);
}

void frmQuote::Form_QueryUnload(int& Cancel, int UnloadMode) {
    (void)Cancel;
    m_Main::QuoteBoardOpen = false;
    cls_Config& c = Config();
    c.SetNodeAttrib(kNode, "Status", std::to_string(UnloadMode));
    c.SetNodeAttrib(kNode, "Style", std::string(1, Style_));
    if (berth_ && berth_->BerthOn()) {
        // Where it is when fully shown at its edge, not where it lies hidden.
        const win::POINT p = berth_->ShownPosition();
        c.SetNodeAttrib(kNode, "Left", std::to_string(p.x));
        c.SetNodeAttrib(kNode, "Top", std::to_string(p.y));
    } else {
        c.SetNodeAttrib(kNode, "Left", forms::CStr(static_cast<double>(Left()) / tppX()));
        c.SetNodeAttrib(kNode, "Top", forms::CStr(static_cast<double>(Top()) / tppY()));
    }
    if (Horizontal()) c.SetNodeAttrib(kNode, "Width", forms::CStr(static_cast<double>(Width()) / tppX()));
    else c.SetNodeAttrib(kNode, "Height", forms::CStr(static_cast<double>(Height()) / tppY()));
    if (berth_) berth_->Detach();
}

void frmQuote::Form_Unload(int& Cancel) {
    (void)Cancel;
    WebDoc = web::HTMLDocument();
    if (auto* machine = sys::Machine::currentOrNull(); machine && WebBrowser1) {
        // The page's forwarders hold this window; let them go once the unload is over.
        std::shared_ptr<frmQuote> self = shared_from_this();
        machine->post([self] {});
    }
    unloadPage();
    berth_.reset();
}

// ---- The page ------------------------------------------------------------------------------------

bool frmQuote::Busy() { return PageWindow::Busy(); }

void frmQuote::pageComplete() {
    WebDoc = Document;
    for (const char* id : {"VLayout", "HLayout", "iTimeOut", "iClose"}) bindEvent(id, "onmouseover", "MoveIn");
    berth_->Attach();
    if (m_Main::OldBrowser) {
        const std::string folder = "file://" + m_Main::TempDir;
        web::PageBatch batch(Document);
        Document.all("OverlayPng").outerHTML("<img id='OverlayPng' src='" + folder +
                                             "Overlay.MPI' onload='fixPNG(this)'  style='width:100%;  height:100% ;'/>");
        Document.all("TimeoutPng").outerHTML("<img id='TimeoutPng' src='" + folder +
                                             "TIMEOUTX.MPI' onload='fixPNG(this)'  style='width:78px;  height:19px ;'/>");
        Document.all("MtclosePng").outerHTML("<img id='MtclosePng' src='" + folder +
                                             "MTCLOSE.MPI' onload='fixPNG(this)' style='width:50px;  height:42px ;'/>");
    }
    {
        web::PageBatch batch(Document);
        for (const char* id : {"iOverlay", "iTimeOut", "iClose", "iLoad"}) setDisplay(id, false);
    }
    shownLayers_ = {};
    bindEvent(Document.node(), "oncontextmenu", "WebDoc_oncontextmenu");
    MakeTable();
}

void frmQuote::setDisplay(const char* id, bool shown) {
    const web::HTMLElement e = Document.all(id);
    if (!e) forms::raise(forms::err::ObjectRequired, "frmQuote");
    e.style().display(shown ? "" : "none");
}

void frmQuote::MakeTable() {
    web::json rows = web::json::array();
    for (const std::string& symbol : m_Main::SymbolList) {
        // A listed symbol whose record is not there (yet) gets no row rather than breaking the board.
        auto* found = m_Main::Quotes.Find(symbol);
        if (!found || !*found) continue;
        const cls_Quote& q = **found;
        rows.push_back({q.SymBol(), q.BID(), q.ASK(), q.Max(), q.Min()});
    }
    Document.callFunction("boardMakeTable", {rows, m_Main::HasHighLow, Horizontal()});
    highlighted_.clear();
    bindEvent("TableQuote", "ondblclick", "dbClick");
    bindEvent("HQuote", "ondblclick", "dbClick");
    ResizeWindow();
}

// ---- Geometry ------------------------------------------------------------------------------------

int32_t frmQuote::frameWidth() { return static_cast<int32_t>(std::lround(static_cast<double>(Width() - ScaleWidth()) / tppX())); }
int32_t frmQuote::frameHeight() {
    return static_cast<int32_t>(std::lround(static_cast<double>(Height() - ScaleHeight()) / tppY()));
}

int32_t frmQuote::savedWidth() {
    return std::max(static_cast<int32_t>(std::lround(storedPixels("Width"))), frameWidth() + kColumn);
}

int32_t frmQuote::savedHeight() {
    return std::max(static_cast<int32_t>(std::lround(storedPixels("Height"))), frameHeight() + kHead + kRow);
}

void frmQuote::ResizeWindow() {
    if (Horizontal()) {
        fittedHeight_ = frameHeight() + Document.all("HLayout").offsetHeight();
        Move(Left(), Top(), std::lround(static_cast<double>(savedWidth()) * tppX()),
             std::lround(static_cast<double>(fittedHeight_) * tppY()));
        if (berth_) berth_->cSizeMove_ExitSizeMove();
    } else {
        fittedWidth_ = frameWidth() + Document.all("VQuote").offsetWidth();
        Move(Left(), Top(), std::lround(static_cast<double>(fittedWidth_) * tppX()),
             std::lround(static_cast<double>(savedHeight()) * tppY()));
    }
}

void frmQuote::sizeRule(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height) {
    (void)Left, (void)Top;
    if (Horizontal()) {
        if (fittedHeight_ > 0) Height = fittedHeight_;
        Width = std::min(Width, berth_->ScreenWidth);
        return;
    }
    if (PageComplete) {
        const web::HTMLElement q = Document.all("VQuote");
        const int client = q.clientWidth(), offset = q.offsetWidth();
        fittedWidth_ = client + frameWidth();
        Width = fittedWidth_ + (offset - client);
    }
    Height = std::min(Height, berth_->ScreenHeight);
}

void frmQuote::afterExitSizeMove() {
    cls_Config& c = Config();
    c.SetNodeAttrib(kNode, "Left", forms::CStr(static_cast<double>(Left()) / tppX()));
    c.SetNodeAttrib(kNode, "Top", forms::CStr(static_cast<double>(Top()) / tppY()));

    win::RECT client{};
    win::GetClientRect(hWnd(), &client);
    const int32_t count = static_cast<int32_t>(m_Main::Quotes.Count());
    long width = Width(), height = Height();
    if (Horizontal()) {
        const int32_t w = client.right;
        int32_t columns = w / kColumn, rest = w % kColumn;
        if (columns > count) columns = count, rest = 0;
        if (columns <= 0) columns = 1, rest = 0;
        if (rest >= kColumn / 2) ++columns;
        // Rounding up must not take the board past one column per symbol either.
        if (count > 0) columns = std::min(columns, count);
        width = tppX() * kColumn * columns + (Width() - ScaleWidth());
    } else {
        int32_t rows = std::max(0, static_cast<int32_t>(client.bottom) - (kHead - 1)) / kRow;
        rows = std::min(rows, count);
        if (rows <= 0) rows = 1;
        height = tppY() * (kRow * rows + kHead) + (Height() - ScaleHeight());
    }
    if (width != Width() || height != Height()) {
        // The fit is the board's own move: it must not end a berth it just snapped to, and a
        // berthed board stays flush with its edge.
        berth_->MoveReady = false;
        Move(Left(), Top(), width, height);
        if (berth_->BerthOn()) {
            const win::POINT p = berth_->ShownPosition();
            Move(p.x * tppX(), p.y * tppY());
        }
        berth_->MoveReady = true;
    }
    if (Horizontal()) c.SetNodeAttrib(kNode, "Width", forms::CStr(static_cast<double>(Width()) / tppX()));
    else c.SetNodeAttrib(kNode, "Height", forms::CStr(static_cast<double>(Height()) / tppY()));
}

// ---- Berthing --------------------------------------------------------------------------------------

void frmQuote::BerthLeave() {
    TableFresh_ = false;
    if (berth_) berth_->BerthLeave();
}

void frmQuote::xBerth() {
    if (berth_) berth_->BringIn();
}

void frmQuote::MoveIn() {
    if (berth_) berth_->cSizeMove_MouseOverForm();
}

bool frmQuote::BerthOn() { return berth_ && berth_->BerthOn(); }

// ---- High and low columns --------------------------------------------------------------------------

void frmQuote::Hide_MaxMin() {
    Document.all("ibtn_Hide_MaxMin").FireEvent("onClick");
    Document.all("vQuote").style().set("width", "210px");
    ResizeWindow();
}

void frmQuote::Show_MaxMin() {
    Document.all("ibtn_Show_MaxMin").FireEvent("onClick");
    Document.all("vQuote").style().set("width", "350px");
    UpdateQuote(true);
    ResizeWindow();
}

// ---- Quotes --------------------------------------------------------------------------------------

void frmQuote::UpdateQuote(bool Force) {
    if (!PageComplete || !berth_) return;
    if (berth_->BerthOn() && !Force) {
        win::RECT r{};
        win::GetWindowRect(hWnd(), &r);
        bool outside = false;
        switch (berth_->BerthSide) {
        case 0: outside = r.top < 0; break;
        case 1: outside = r.right > berth_->ScreenWidth; break;
        case 2: outside = r.bottom > berth_->ScreenHeight; break;
        case 3: outside = r.left < 0; break;
        default: break;
        }
        if (outside) return;
    }
    // Only symbols that moved, or whose highlight a still tick clears, go to the page.
    web::json recs = web::json::array();
    bool anything = Force;
    for (const auto& q : m_Main::Quotes) {
        if (!q) continue;
        const int16_t direction = q->Direction();
        if (direction != 0 || highlighted_.count(q->SymBol())) anything = true;
        recs.push_back({q->SymBol(), direction, q->Price(), q->BID(), q->ASK(), q->Max(), q->Min()});
    }
    if (!anything) return;
    win::RECT client{};
    win::GetClientRect(hWnd(), &client);
    try {
        const web::json out = Document.callFunction("boardUpdate", {recs, Force, Horizontal(), client.right, client.bottom});
        const web::json result = out.is_string() ? web::json::parse(out.get<std::string>(), nullptr, false) : web::json();
        if (!result.is_array() || result.size() != 2 || !result[0].is_number() || !result[1].is_array()) return;
        const size_t reached = std::min(result[0].get<size_t>(), recs.size());
        for (size_t i = 0; i < reached; ++i) highlighted_.erase(recs[i][0].get<std::string>());
        for (const auto& s : result[1])
            if (s.is_string()) highlighted_.insert(s.get<std::string>());
    } catch (const std::exception&) {
        // A tick that cannot reach the page writes nothing; the next one tries again.
    }
}

void frmQuote::dbClick() {
    const web::json symbol = Document.callFunction("boardSymbolAt", {Horizontal()});
    // Nothing pressed yet, or the heading: no order for "商品".
    if (!symbol.is_string() || symbol.get<std::string>().empty()) return;
    const bool berthed = berth_ && berth_->BerthOn();
    if (berth_) berth_->BerthOn(false);
    struct Restore {
        frmQuote& f;
        bool on;
        ~Restore() {
            if (f.berth_) f.berth_->BerthOn(on);
        }
    } restore{*this, berthed};
    if (m_Main::PopMenu) m_Main::PopMenu(symbol.get<std::string>(), "Order");
}

// ---- Overlays ------------------------------------------------------------------------------------

void frmQuote::TimeOut(bool on) {
    overlays_.TimeOut(on);
    // A time-out report drops the terminal-closed state.
    overlays_.MT4Close(false);
    showOverlays();
}

void frmQuote::MT4Close(bool on) {
    overlays_.MT4Close(on);
    showOverlays();
}

void frmQuote::MT4Loading(bool on) {
    if (on == overlays_.loading) return;
    overlays_.MT4Loading(on);
    web::PageBatch batch(Document);
    // An empty source stops the animation.
    Document.all("mtload").set("src", on ? "loadx.gif" : "");
    showOverlays();
}

// Writes only the layers whose visibility changed, so a steady state costs no page writes.
void frmQuote::showOverlays() {
    if (overlays_.layers() == shownLayers_) return;
    web::PageBatch batch(Document);
    overlays_.apply(shownLayers_, [&](const char* id, bool on) { setDisplay(id, on); });
}

void frmQuote::Time(const std::string& text) {
    if (text == timeText_) return;
    Document.all("iTime").innerText(text);
    timeText_ = text;
}

// ---- Context menu --------------------------------------------------------------------------------

bool frmQuote::WebDoc_oncontextmenu() {
    // The element pressed, or the nearest of its parents that is a veil or a symbol's cell: the
    // veils' pictures and the time text lie on top of their layers.
    const web::json found = Document.execScript(
        "(function (e) { for (; e && e.id !== undefined; e = e.parentElement) {"
        " var id = e.id || ''; if (id === 'iTimeOut' || id === 'iClose' || id === 'iOverlay' ||"
        " id.substring(0, 3).toUpperCase() === 'FX_') return id; } return ''; })(document.activeElement)");
    const std::string id = found.is_string() ? found.get<std::string>() : "";
    const bool veil = id == "iTimeOut" || id == "iClose" || id == "iOverlay";
    const bool symbolCell = !veil && id.size() > 7 && forms::UCase(id.substr(0, 3)) == "FX_";
    if (!veil && !symbolCell) return false;
    const std::string symbol = symbolCell ? id.substr(7) : "";
    win::POINT cursor{};
    win::GetCursorPos(&cursor);

    cls_PopupMenu menu;
    int32_t first = 0;
    if (symbolCell) {
        menu.AddMenuItem("漂浮报价(&D)...", kPlain, 3);
        menu.AddMenuItem("", kSeparator, kSeparatorId);
        menu.AddMenuItem("下MT4新定单(&E)...", kPlain, 1);
        menu.AddMenuItem("弹出MT4终端(&R)...", m_Main::TerminalWindowOpen ? kChecked : kPlain, 2);
        menu.AddMenuItem("隐藏MT4界面(&F)...", win::IsWindowVisible(MT4().Mt4Hwnd()) ? kPlain : kChecked, 4);
        menu.AddMenuItem("", kSeparator, kSeparatorId);
        first = 6;
    }
    menu.AddMenuItem("横向排列显示(&H)", kPlain, 100);
    menu.AddMenuItem("纵向排列显示(&V) ", kPlain, 200);
    menu.CheckRadioItem(first, first + 1, Horizontal() ? first : first + 1, false);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.AddMenuItem("停靠在桌面边缘时自动隐藏(&S) ", AutoHide() ? kChecked : kPlain, 300);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.AddMenuItem("关闭(&X) ", kPlain, 500);

    int32_t chosen = 0;
    {
        // While the menu is open the board must not slide away from under it.
        if (berth_) berth_->KeepShown = true;
        struct Clear {
            frmQuote& f;
            ~Clear() {
                if (f.berth_) f.berth_->KeepShown = false;
            }
        } clear{*this};
        chosen = menu.TrackMenu(hWnd(), cursor.x, cursor.y);
    }
    menuCommand(chosen, symbol);
    return false;
}

void frmQuote::menuCommand(int32_t id, const std::string& symbol) {
    switch (id) {
    case 1:
        if (m_Main::PopMenu) m_Main::PopMenu(symbol, "QuoteOrder");
        break;
    case 2:
        if (m_Main::MainForm) {
            bool flag = true;
            m_Main::MainForm->ShowTerminal(flag);
        }
        break;
    case 3:
        if (m_Main::PopMenu) m_Main::PopMenu(symbol, "Float");
        break;
    case 4:
        if (m_Main::MainForm) m_Main::MainForm->HideMT4();
        break;
    case 100:
    case 200: {
        const bool toHorizontal = id == 100;
        if (toHorizontal == Horizontal()) break;
        // Each layout keeps its own free size: the one it leaves is stored before it goes.
        if (toHorizontal) Config().SetNodeAttrib(kNode, "Height", forms::CStr(static_cast<double>(Height()) / tppY()));
        else Config().SetNodeAttrib(kNode, "Width", forms::CStr(static_cast<double>(Width()) / tppX()));
        Style_ = toHorizontal ? '-' : '|';
        {
            web::PageBatch batch(Document);
            setDisplay(toHorizontal ? "VLayout" : "HLayout", false);
            setDisplay(toHorizontal ? "HLayout" : "VLayout", true);
        }
        ResizeWindow();
        UpdateQuote(true);
        break;
    }
    case 300:
        if (!berth_) break;
        berth_->AutoHide = !berth_->AutoHide;
        Config().SetNodeAttrib(kNode, "AutoHide", berth_->AutoHide ? "1" : "0");
        if (!berth_->AutoHide && berth_->BerthOn()) {
            berth_->BerthOn(false);
            berth_->m_Leave->Interval(0);
        }
        win::PostMessage(hWnd(), win::WM_SIZE, 0, 0);
        break;
    case 500: Unload(); break;
    default: break;
    }
}

// ---- Members by name ----------------------------------------------------------------------------

const forms::MemberTable& frmQuote::memberTable() const {
    using forms::Args;
    using forms::Variant;
    using forms::arg;
    static const auto table =
        forms::Members<frmQuote>()
            .method("BerthLeave", [](frmQuote& f) { f.BerthLeave(); })
            .method("Hide_MaxMin", [](frmQuote& f) { f.Hide_MaxMin(); })
            .method("Show_MaxMin", [](frmQuote& f) { f.Show_MaxMin(); })
            .method("xBerth", [](frmQuote& f) { f.xBerth(); })
            .method("TimeOut", [](frmQuote& f, Args& a) { f.TimeOut(arg(a, 0).toBool()); })
            .method("MT4Loading", [](frmQuote& f, Args& a) { f.MT4Loading(arg(a, 0).toBool()); })
            .method("MT4Close", [](frmQuote& f, Args& a) { f.MT4Close(arg(a, 0).toBool()); })
            .method("Time", [](frmQuote& f, Args& a) { f.Time(arg(a, 0).toString()); })
            .get("BerthOn", [](frmQuote& f) { return f.BerthOn(); })
            .get("Busy", [](frmQuote& f) { return f.Busy(); })
            .method("dbClick", [](frmQuote& f) { f.dbClick(); })
            .method("MoveIn", [](frmQuote& f) { f.MoveIn(); })
            .method("MakeTable", [](frmQuote& f) { f.MakeTable(); })
            .method("UpdateQuote", [](frmQuote& f, Args& a) { f.UpdateQuote(!a.empty() && !a[0].isEmpty() && a[0].toBool()); })
            .method("ResizeWindow", [](frmQuote& f) { f.ResizeWindow(); })
            .method("WebDoc_oncontextmenu", [](frmQuote& f) { return f.WebDoc_oncontextmenu(); });
    return table;
}
