// The quote board on its page, on a virtual clock: building and writing the tables, the reach
// stop, fitting to whole rows and columns, berthing and clamping, the saved place, the veils,
// the double click and the context menu.
#include "quotes/frmQuote.h"

#include "core/cls_Quote.h"
#include "pages/Pages.h"
#include "platform/browser/Page.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Strings.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace m_Main;

namespace {

const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
constexpr const char* kNode = "Window/FXQuote";

win::RECT rectOf(win::HWND h) {
    win::RECT r{};
    win::GetWindowRect(h, &r);
    return r;
}

class QuoteBoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        pages::registerResources();
        testing_support::installProgram(*machine);
        Config().XmlFile(testing_support::kProgramSettings);
        ASSERT_TRUE(Config().Initialize());
        PageBase = kBase;
        Quotes.Clear();
        SymbolList.clear();
        HasHighLow = false;
        PopMenu = [this](const std::string& symbol, const std::string& key) { actions.push_back(symbol + "/" + key); };
        win::clearTrackedMenus();
    }
    void TearDown() override {
        if (board && board->IsLoaded()) board->Unload();
        board.reset();
        machine->runFor(10);
        PopMenu = nullptr;
        Quotes.Clear();
        SymbolList.clear();
        win::clearMessageBoxes();
    }

    bool waitFor(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) {
        machine->beginOutsideWork();
        const bool ok = machine->runUntil(pred, ms);
        machine->endOutsideWork();
        return ok;
    }

    std::shared_ptr<cls_Quote> quote(const std::string& symbol, const std::string& bid, const std::string& ask = "",
                                     const std::string& high = "", const std::string& low = "") {
        auto* found = Quotes.Find(symbol);
        std::shared_ptr<cls_Quote> q = found ? *found : std::make_shared<cls_Quote>();
        if (!found) {
            q->SymBol(symbol);
            Quotes.Add(q, symbol);
            SymbolList.push_back(symbol);
        }
        q->BID(bid);
        q->ASK(ask.empty() ? bid : ask);
        q->Max(high);
        q->Min(low);
        return q;
    }
    // n symbols S1..Sn at a still price.
    void symbols(int n) {
        for (int i = 1; i <= n; ++i) {
            quote("S" + std::to_string(i), "1.0000" + std::to_string(i % 10));
            quote("S" + std::to_string(i), "1.0000" + std::to_string(i % 10));
        }
    }

    void settings(const std::string& style, const std::string& autoHide, int width = 300, int height = 200,
                  int left = 300, int top = 200) {
        cls_Config& c = Config();
        c.SetNodeAttrib(kNode, "Style", style);
        c.SetNodeAttrib(kNode, "AutoHide", autoHide);
        c.SetNodeAttrib(kNode, "Width", std::to_string(width));
        c.SetNodeAttrib(kNode, "Height", std::to_string(height));
        c.SetNodeAttrib(kNode, "Left", std::to_string(left));
        c.SetNodeAttrib(kNode, "Top", std::to_string(top));
    }

    frmQuote& open() {
        board = std::make_shared<frmQuote>();
        board->Load();
        EXPECT_TRUE(waitFor([&] { return !board->Busy(); }));
        board->Show();
        machine->runFor(10);
        return *board;
    }

    web::HTMLElement el(const std::string& id) { return board->PageDocument().all(id); }
    std::string text(const std::string& id) { return el(id).innerText(); }
    bool displayed(const std::string& id) {
        return board->PageDocument().execScript("getComputedStyle(document.getElementById(" +
                                                web::json(id).dump() + ")).display") != "none";
    }
    win::HWND h() { return board->hWnd(); }
    win::RECT client() {
        win::RECT c{};
        win::GetClientRect(h(), &c);
        return c;
    }
    std::string saved(const char* name) { return Config().GetNodeAttrib(kNode, name); }

    // The centre of an element in the viewport.
    win::POINT centre(const std::string& id) {
        const web::json r = board->PageDocument().execScript(
            "(function(){var b=document.getElementById(" + web::json(id).dump() +
            ").getBoundingClientRect();return JSON.stringify([Math.round(b.left+b.width/2),Math.round(b.top+b.height/2)]);})()");
        const web::json p = web::json::parse(r.get<std::string>());
        return {p[0].get<int>(), p[1].get<int>()};
    }
    // A round trip to the page, then the pump: the page's events so far have been handled.
    void settle() {
        if (!board->IsLoaded()) return;
        board->PageDocument().execScript("0");
        machine->runFor(20);
    }
    void rightClick(win::POINT p) {
        auto target = pageOf();
        for (const char* type : {"mouseMoved", "mousePressed", "mouseReleased"})
            target->call("Input.dispatchMouseEvent",
                         {{"type", type}, {"x", p.x}, {"y", p.y}, {"button", "right"}, {"clickCount", 1}});
    }
    std::shared_ptr<web::Page> pageOf() { return board->Browser()->page(); }

    // The user drags the caption so that the window's top-left corner ends at (x, y).
    void dragTo(int x, int y) {
        const win::RECT s = rectOf(h());
        win::SetCursorPos(s.left + 30, s.top + 5);
        win::queueMoveSize({{x + 30, y + 5}});
        win::SendMessage(h(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTCAPTION), 0);
    }
    // The user drags the bottom-right corner so the client area becomes (w, h) pixels.
    void resizeClientTo(int w, int hgt) {
        const win::RECT s = rectOf(h());
        const win::RECT c = client();
        const win::POINT from{s.right - 1, s.bottom - 1};
        win::SetCursorPos(from.x, from.y);
        win::queueMoveSize({{from.x + (w - c.right), from.y + (hgt - c.bottom)}});
        win::SendMessage(h(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTBOTTOMRIGHT), 0);
    }

    testing_support::TestMachine machine;
    std::shared_ptr<frmQuote> board;
    std::vector<std::string> actions;
};

TEST_F(QuoteBoardTest, BuildsBothTablesAndFitsTheVerticalWidth) {
    struct Case {
        bool highLow;
        int width;
    } cases[] = {{false, 210}, {true, 350}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.highLow);
        HasHighLow = c.highLow;
        quote("EURUSD", "1.23456", "1.23476", "1.24000", "1.22000");
        quote("USDJPY", "110.256", "110.276", "111.000", "109.000");
        settings("|", "0");
        open();
        EXPECT_EQ(el("VQuote").offsetWidth(), c.width);
        EXPECT_EQ(displayed("fx_max_EURUSD"), c.highLow);
        EXPECT_EQ(text("fx_sym_USDJPY"), "USDJPY");
        EXPECT_EQ(text("fx_bid_EURUSD"), "1.23456");
        EXPECT_EQ(text("fx_min_USDJPY"), "109.000");
        // The heading row stays as row 0 of the vertical table; the horizontal one has a column each.
        EXPECT_EQ(board->PageDocument().execScript("TableQuote.rows.length"), 3);
        EXPECT_EQ(text("fx_hhh_EURUSD"), " EURUSD");
        EXPECT_EQ(text("fx_pri_USDJPY"), "110.256");
        EXPECT_TRUE(displayed("VLayout"));
        EXPECT_FALSE(displayed("HLayout"));
        // The window's width is the table's plus the frame; the saved height holds.
        const win::RECT r = rectOf(h());
        EXPECT_EQ(client().right, c.width);
        EXPECT_EQ(r.bottom - r.top, 200);
        EXPECT_EQ(r.left, 300);

        // The terminal's columns change: the buttons show or hide the cells, the board refits.
        if (c.highLow) board->Hide_MaxMin();
        else board->Show_MaxMin();
        EXPECT_EQ(displayed("fx_max_EURUSD"), !c.highLow);
        EXPECT_EQ(client().right, c.highLow ? 210 : 350);
        board->Unload();
        Quotes.Clear();
        SymbolList.clear();
    }
}

TEST_F(QuoteBoardTest, TicksColourMovesAndClearTheHighlightOnTheNextStillTick) {
    quote("EURUSD", "1.23456");
    quote("GBPUSD", "1.56780");
    quote("EURUSD", "1.23456");
    quote("GBPUSD", "1.56780");
    settings("|", "0");
    open();
    struct Tick {
        const char* bid;
        const char* colour;  // of the bid cell
        bool lit;            // symbol cell highlighted, heading "tCage"
    } ticks[] = {
        {"1.23470", "rgb(255, 0, 0)", true},
        {"1.23460", "rgb(0, 127, 0)", true},
        {"1.23460", "", false},  // still: the highlight goes, the text is written plain
    };
    for (const Tick& t : ticks) {
        SCOPED_TRACE(t.bid);
        quote("EURUSD", t.bid);
        quote("GBPUSD", "1.56780");
        board->UpdateQuote(false);
        EXPECT_EQ(text("fx_bid_EURUSD"), t.bid);
        EXPECT_EQ(el("fx_bid_EURUSD").style().color(), t.colour);
        EXPECT_EQ(el("fx_ask_EURUSD").style().color(), t.colour);
        EXPECT_EQ(!el("fx_sym_EURUSD").style().backgroundColor().empty(), t.lit);
        EXPECT_EQ(el("fx_hhh_EURUSD").className(), t.lit ? "tCage" : "tHead");
        EXPECT_TRUE(el("fx_sym_GBPUSD").style().backgroundColor().empty());
    }
    // Still ticks leave the page alone; a forced update writes every visible symbol, plain.
    el("fx_bid_GBPUSD").innerText("xx");
    board->UpdateQuote(false);
    EXPECT_EQ(text("fx_bid_GBPUSD"), "xx");
    board->UpdateQuote(true);
    EXPECT_EQ(text("fx_bid_GBPUSD"), "1.56780");
    EXPECT_EQ(el("fx_bid_GBPUSD").style().color(), "");
    EXPECT_TRUE(el("fx_sym_GBPUSD").style().backgroundColor().empty());
}

TEST_F(QuoteBoardTest, UpdateStopsAtTheFirstSymbolOutOfReach) {
    symbols(12);
    settings("|", "0", 300, 120);  // a few rows show
    open();
    const int visibleRows = (client().bottom - 24) / 22;
    ASSERT_LT(visibleRows, 10);
    for (int i = 1; i <= 12; ++i) quote("S" + std::to_string(i), "2.00000");
    // Scrolled to the end, the lower rows show, but the reach test goes by their place in the table.
    el("VQuote").scrollTop(10000);
    board->UpdateQuote(true);
    int written = 0;
    for (int i = 1; i <= 12; ++i) written += text("fx_bid_S" + std::to_string(i)) == "2.00000";
    EXPECT_GE(written, visibleRows);
    EXPECT_LT(written, 12);
    EXPECT_EQ(text("fx_bid_S12"), "1.00002");

    // Horizontal: the columns past the client width are not written.
    board->Unload();
    Quotes.Clear();
    SymbolList.clear();
    symbols(12);
    settings("-", "0", 200);
    open();
    for (int i = 1; i <= 12; ++i) quote("S" + std::to_string(i), "3.00000");
    board->UpdateQuote(false);
    EXPECT_EQ(text("fx_pri_S1"), "3.00000");
    EXPECT_EQ(text("fx_pri_S12"), "1.00002");
}

TEST_F(QuoteBoardTest, HorizontalColumnsKeepTheirWidthAndTheTickStopsAtTheClientEdge) {
    symbols(4);
    struct Case {
        int clientWidth;
        int written;  // columns whose cell starts inside the client area
    } cases[] = {{120, 2}, {150, 3}, {180, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clientWidth);
        settings("-", "0", 400);
        open();
        const win::RECT r = rectOf(h());
        const int frame = (r.right - r.left) - client().right;
        win::MoveWindow(h(), r.left, r.top, c.clientWidth + frame, r.bottom - r.top, win::TRUE);
        ASSERT_EQ(client().right, c.clientWidth);
        for (int i = 1; i <= 4; ++i) {
            EXPECT_EQ(el("fx_pri_S" + std::to_string(i)).offsetLeft(), 60 * (i - 1));
            EXPECT_EQ(el("fx_hhh_S" + std::to_string(i)).offsetWidth(), 60);
        }
        for (int i = 1; i <= 4; ++i) quote("S" + std::to_string(i), "2.00000");
        board->UpdateQuote(false);
        for (int i = 1; i <= 4; ++i)
            EXPECT_EQ(text("fx_pri_S" + std::to_string(i)) == "2.00000", i <= c.written) << i;
        board->Unload();
        symbols(4);  // still again for the next case
    }
}

TEST_F(QuoteBoardTest, FitsToWholeRowsAndColumnsAtTheEndOfAResize) {
    symbols(5);
    struct Case {
        const char* style;
        int clientW, clientH;  // what the user drags the client area to
        int fitW, fitH;        // what it ends at; 0 for the dimension the layout holds
    } cases[] = {
        {"|", 0, 24 + 22 * 5 + 11, 0, 25 + 22 * 5},  // five rows and a half: five
        {"|", 0, 24 + 22 * 2 + 21, 0, 25 + 22 * 2},
        {"|", 0, 600, 0, 25 + 22 * 5},           // more rows than symbols
        {"|", 0, 10, 0, 25 + 22},                // never less than one row
        {"-", 120 + 30, 0, 180, 0},              // two columns and 30 pixels: three
        {"-", 120 + 29, 0, 120, 0},              // and 29: two
        {"-", 60 * 4 + 40, 0, 60 * 5, 0},        // rounding up stops at one column per symbol
        {"-", 60 * 7, 0, 60 * 5, 0},
        {"-", 20, 0, 60, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.style) + " " + std::to_string(c.clientW) + "x" + std::to_string(c.clientH));
        settings(c.style, "0", 400, 200, 200, 150);
        open();
        const win::RECT before = client();
        resizeClientTo(c.clientW ? c.clientW : before.right, c.clientH ? c.clientH : before.bottom);
        const win::RECT after = client();
        const win::RECT r = rectOf(h());
        if (c.fitH) {
            EXPECT_EQ(after.bottom, c.fitH);
            EXPECT_EQ(after.right, before.right);  // the width stays the table's
            EXPECT_EQ(saved("Height"), std::to_string(r.bottom - r.top));
        } else {
            EXPECT_EQ(after.right, c.fitW);
            EXPECT_EQ(after.bottom, before.bottom);  // the height stays the table's
            EXPECT_EQ(saved("Width"), std::to_string(r.right - r.left));
        }
        EXPECT_EQ(saved("Left"), "200");
        board->Unload();
    }
}

TEST_F(QuoteBoardTest, AutoHideOffKeepsTheBoardOnTheScreen) {
    symbols(3);
    settings("|", "0");
    open();
    const win::RECT s = rectOf(h());
    dragTo(1280 - 40, -30);
    const win::RECT r = rectOf(h());
    EXPECT_EQ(r.right, 1280);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right - r.left, s.right - s.left);
    EXPECT_FALSE(board->BerthOn());
    win::SetCursorPos(5, 5);
    machine->runFor(2000);
    EXPECT_EQ(rectOf(h()).right, 1280);  // and it never hides
}

TEST_F(QuoteBoardTest, BerthedBoardHidesUnwrittenAndSavesItsShownPlaceWhenClosed) {
    symbols(3);
    settings("-", "1", 180, 200, 300, 300);
    open();
    const win::RECT s = rectOf(h());
    const int height = s.bottom - s.top;
    dragTo(400, 800 - height + 30);
    ASSERT_TRUE(board->BerthOn());
    EXPECT_EQ(rectOf(h()).bottom, 800);
    win::SetCursorPos(5, 5);
    machine->runFor(2000);
    ASSERT_EQ(rectOf(h()).top, 800 - 3);
    EXPECT_FALSE(board->TableFresh());

    // Slid out, the price tick writes nothing; coming back, everything is written.
    quote("S1", "9.99999");
    board->UpdateQuote(false);
    EXPECT_EQ(text("fx_pri_S1"), "1.00001");
    board->MoveIn();
    EXPECT_EQ(text("fx_pri_S1"), "9.99999");
    EXPECT_EQ(rectOf(h()).bottom, 800);
    EXPECT_TRUE(board->TableFresh());

    win::SetCursorPos(5, 5);
    machine->runFor(2000);
    ASSERT_EQ(rectOf(h()).top, 800 - 3);
    board->Unload(forms::vbFormControlMenu);
    EXPECT_EQ(saved("Top"), std::to_string(800 - height));
    EXPECT_EQ(saved("Left"), "400");
    EXPECT_EQ(saved("Status"), "0");
    EXPECT_EQ(saved("Style"), "-");
}

TEST_F(QuoteBoardTest, MissingSizesGetOneRowOrColumn) {
    symbols(3);
    for (const char* style : {"-", "|"}) {
        SCOPED_TRACE(style);
        settings(style, "0");
        Config().SetNodeAttrib(kNode, "Width", "");
        Config().SetNodeAttrib(kNode, "Height", "abc");
        open();
        if (std::string(style) == "-") EXPECT_GE(client().right, 60);
        else EXPECT_GE(client().bottom, 25 + 22);
        board->Unload();
    }
}

TEST_F(QuoteBoardTest, OverlaysFollowTheReportedStates) {
    symbols(2);
    settings("|", "0");
    open();
    using L = QuoteOverlays::Layers;
    struct Step {
        const char* what;
        std::function<void(frmQuote&)> report;
        L layers;  // veil, time-out, closed, loading
    } steps[] = {
        {"loading", [](frmQuote& b) { b.MT4Loading(true); }, {true, false, false, true}},
        {"time-out while loading waits", [](frmQuote& b) { b.TimeOut(true); }, {true, false, false, true}},
        {"loaded", [](frmQuote& b) { b.MT4Loading(false); }, {false, false, false, false}},
        {"time-out", [](frmQuote& b) { b.TimeOut(true); }, {true, true, false, false}},
        {"closed covers it", [](frmQuote& b) { b.MT4Close(true); }, {true, false, true, false}},
        {"back, still stale", [](frmQuote& b) { b.MT4Close(false); }, {true, true, false, false}},
        {"fresh", [](frmQuote& b) { b.TimeOut(false); }, {false, false, false, false}},
        {"closed", [](frmQuote& b) { b.MT4Close(true); }, {true, false, true, false}},
        {"a time-out report reopens", [](frmQuote& b) { b.TimeOut(false); }, {false, false, false, false}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.report(*board);
        EXPECT_EQ(board->ShownLayers(), s.layers);
        EXPECT_EQ(displayed("iOverlay"), s.layers.veil);
        EXPECT_EQ(displayed("iTimeOut"), s.layers.timeOut);
        EXPECT_EQ(displayed("iClose"), s.layers.closedPicture);
        EXPECT_EQ(displayed("iLoad"), s.layers.loadingPicture);
    }
    board->MT4Loading(true);
    EXPECT_EQ(el("mtload").getAttribute("src"), "loadx.gif");
    board->MT4Loading(false);
    EXPECT_EQ(el("mtload").getAttribute("src"), "");  // the animation stops
    board->Time("-1分30秒-");
    EXPECT_EQ(text("iTime"), "-1分30秒-");
}

TEST_F(QuoteBoardTest, DoubleClickOrdersThePressedSymbol) {
    quote("EURUSD", "1.23456");
    quote("USDJPY", "110.256");
    for (const char* style : {"|", "-"}) {
        SCOPED_TRACE(style);
        settings(style, "1");
        open();
        actions.clear();
        auto* browser = pageOf().get();
        ASSERT_NE(browser, nullptr);
        // Nothing pressed yet: a double click on the board orders nothing.
        board->dbClick();
        EXPECT_TRUE(actions.empty());
        const bool horizontal = std::string(style) == "-";
        // Pressing the heading row of the vertical table orders nothing either.
        if (!horizontal) {
            el("sel").value("0");
            board->dbClick();
            EXPECT_TRUE(actions.empty());
        }
        const win::POINT p = centre(horizontal ? "fx_hhh_USDJPY" : "fx_bid_USDJPY");
        for (const char* type : {"mouseMoved", "mousePressed", "mouseReleased"})
            browser->call("Input.dispatchMouseEvent", {{"type", type}, {"x", p.x}, {"y", p.y}, {"button", "left"}, {"clickCount", 1}});
        for (const char* type : {"mousePressed", "mouseReleased"})
            browser->call("Input.dispatchMouseEvent", {{"type", type}, {"x", p.x}, {"y", p.y}, {"button", "left"}, {"clickCount", 2}});
        ASSERT_TRUE(waitFor([&] { return !actions.empty(); }));
        EXPECT_EQ(actions, std::vector<std::string>{"USDJPY/Order"});
        EXPECT_EQ(el("sel").value(), horizontal ? "1" : "2");
        board->Unload();
    }
}

TEST_F(QuoteBoardTest, ContextMenuBySymbolCellVeilOrElsewhere) {
    quote("EURUSD", "1.23456");
    quote("USDJPY", "110.256");
    settings("|", "1");
    open();
    struct Case {
        const char* what;
        std::function<void()> prepare;
        const char* at;  // element right-clicked; "" for a point outside the tables
        std::vector<win::UINT> ids;
        win::UINT choice;  // 0: dismissed
    } cases[] = {
        {"bid cell", [] {}, "fx_bid_USDJPY", {3, 88, 1, 2, 4, 88, 100, 200, 88, 300, 88, 500}, 3},
        {"veil", [this] { board->MT4Close(true); }, "iClose", {100, 200, 88, 300, 88, 500}, 0},
        // The loading sign lies over the veil; the click reaches the veil, not the sign.
        {"bid cell under the loading sign", [this] { board->MT4Close(false), board->MT4Loading(true); },
         "fx_bid_USDJPY", {100, 200, 88, 300, 88, 500}, 0},
        {"elsewhere", [this] { board->MT4Loading(false); }, "", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        win::clearTrackedMenus();
        if (c.choice) win::queueMenuChoice(c.choice);
        else win::queueMenuDismiss();
        // Elsewhere: the heading over the vertical table.
        const win::POINT p = *c.at ? centre(c.at) : win::POINT{10, 10};
        rightClick(p);
        settle();
        if (!c.ids.empty()) waitFor([&] { return !win::trackedMenus().empty(); });
        const auto menus = win::trackedMenus();
        if (c.ids.empty()) {
            EXPECT_TRUE(menus.empty());
            continue;
        }
        ASSERT_EQ(menus.size(), 1u);
        std::vector<win::UINT> ids;
        for (const auto& item : menus[0].items) ids.push_back(item.id);
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(menus[0].owner, h());
        const auto& items = menus[0].items;
        // The layout in force carries the radio mark.
        const size_t first = c.ids.size() - 6;
        EXPECT_FALSE(items[first].flags & win::MF_CHECKED);
        EXPECT_TRUE(items[first + 1].flags & win::MF_CHECKED);
        EXPECT_TRUE(items[first + 3].flags & win::MF_CHECKED);  // auto-hide on
        EXPECT_EQ(items.back().text, "关闭(&X) ");
    }
    EXPECT_EQ(actions, std::vector<std::string>{"USDJPY/Float"});
    EXPECT_FALSE(board->BerthOn());
    EXPECT_FALSE(board->Berth()->KeepShown);
}

TEST_F(QuoteBoardTest, MenuSwitchesLayoutAndAutoHide) {
    symbols(4);
    settings("|", "1", 150, 160);
    open();
    auto choose = [&](win::UINT id) {
        win::clearTrackedMenus();
        win::queueMenuChoice(id);
        rightClick(centre(board->Horizontal() ? "fx_pri_S2" : "fx_sym_S2"));
        ASSERT_TRUE(waitFor([&] { return !win::trackedMenus().empty(); }));
        settle();
    };
    const int verticalHeight = rectOf(h()).bottom - rectOf(h()).top;
    choose(100);
    EXPECT_TRUE(board->Horizontal());
    EXPECT_TRUE(displayed("HLayout"));
    EXPECT_FALSE(displayed("VLayout"));
    EXPECT_EQ(saved("Height"), std::to_string(verticalHeight));
    // The stored width, fitted to whole columns.
    const int horizontalWidth = rectOf(h()).right - rectOf(h()).left;
    EXPECT_EQ(client().right, 120);
    EXPECT_EQ(text("fx_pri_S2"), "1.00002");
    choose(100);  // the layout in force: nothing changes
    EXPECT_TRUE(board->Horizontal());
    choose(200);
    EXPECT_FALSE(board->Horizontal());
    EXPECT_EQ(saved("Width"), std::to_string(horizontalWidth));
    EXPECT_EQ(rectOf(h()).bottom - rectOf(h()).top, verticalHeight);

    // Berthed at the left edge, switching auto-hide off ends the berth and its leave watch.
    dragTo(-20, 200);
    ASSERT_TRUE(board->BerthOn());
    choose(300);
    EXPECT_FALSE(board->AutoHide());
    EXPECT_FALSE(board->BerthOn());
    EXPECT_EQ(board->Berth()->m_Leave->Interval(), 0);
    EXPECT_EQ(saved("AutoHide"), "0");
    choose(300);
    EXPECT_TRUE(board->AutoHide());
    EXPECT_EQ(saved("AutoHide"), "1");
    choose(500);
    EXPECT_FALSE(board->IsLoaded());
    EXPECT_EQ(saved("Style"), "|");
}

TEST_F(QuoteBoardTest, HostileSymbolsAreTextAndKeepTheirWholeName) {
    const std::string hostile = "A \"B\" <i>x</i> & 'C'";
    const std::string longer = "EURUSD.pro";
    quote(hostile, "1.00000");
    quote(longer, "1.10000");
    quote("EURUSD", "1.20000");
    settings("-", "0", 240);
    open();
    EXPECT_EQ(el("fx_sym_" + hostile).innerText(), hostile);
    EXPECT_EQ(el("fx_hhh_" + hostile).text("textContent"), " " + hostile);
    EXPECT_EQ(board->PageDocument().execScript("document.getElementsByTagName('i').length"), 0);
    quote(hostile, "1.00010");
    board->UpdateQuote(false);
    EXPECT_EQ(el("fx_pri_" + hostile).innerText(), "1.00010");
    EXPECT_EQ(el("fx_pri_" + hostile).style().color(), "rgb(255, 0, 0)");

    // Hovering a heading marks its own column only, not another symbol sharing its first letters.
    const win::POINT p = centre("fx_hhh_" + longer);
    pageOf()->call("Input.dispatchMouseEvent", {{"type", "mouseMoved"}, {"x", p.x}, {"y", p.y}});
    EXPECT_TRUE(waitFor([&] { return el("fx_pri_" + longer).className().find("imousemove") != std::string::npos; }));
    EXPECT_EQ(el("fx_pri_EURUSD").className().find("imousemove"), std::string::npos);

    // The whole symbol reaches the order road.
    el("sel").value("0");
    board->dbClick();
    EXPECT_EQ(actions, std::vector<std::string>{hostile + "/Order"});
}

} // namespace
