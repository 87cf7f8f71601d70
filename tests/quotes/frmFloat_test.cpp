#include "core/SymbolElementName.h"
#include "core/cls_Quote.h"
#include "pages/Pages.h"
#include "platform/browser/BrowserHost.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Format.h"
#include "platform/forms/Strings.h"
#include "quotes/frmFloat.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <optional>

namespace {

const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
const char* kSettings = "C:\\Program Files\\Pennant\\Pennant.xml";

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// How the core splits a price for the big digits: head length, position of the two big
// digits (from 1) and whether the last digit is a fractional pip.
void splitPrice(const std::string& price, int& head, int& big, bool& fractional) {
    if (price.empty()) return;
    const auto dot = price.find('.');
    const int p = dot == std::string::npos ? 0 : static_cast<int>(dot) + 1;
    if (p == 2) {
        head = 4, big = 5, fractional = price.size() == 7;
    } else {
        head = p - 1, big = p + 1, fractional = p > 0 && price.size() - p == 3;
    }
}

class FloatPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        pages::registerResources();
        m_Main::PageBase = kBase;
        m_Main::Quotes.Clear();
        m_Main::FloatForms.Clear();
    }
    void TearDown() override {
        for (auto& p : panels_)
            if (p->IsLoaded()) p->Unload();
        panels_.clear();
        m_Main::FloatForms.Clear();
        m_Main::Quotes.Clear();
    }

    bool waitFor(const std::function<bool()>& pred) {
        machine->beginOutsideWork();
        const bool ok = machine->runUntil(pred, testing_support::kOutsideWaitMs);
        machine->endOutsideWork();
        return ok;
    }

    std::shared_ptr<cls_Quote> quote(const std::string& symbol, const std::string& bid, const std::string& ask) {
        auto* found = m_Main::Quotes.Find(symbol);
        std::shared_ptr<cls_Quote> q = found ? *found : std::make_shared<cls_Quote>();
        if (!found) {
            q->SymBol(symbol);
            m_Main::Quotes.Add(q, symbol);
        }
        q->BID(bid);
        q->ASK(ask);
        return q;
    }

    // What the core hands a panel of the symbol's quote, on opening and on every tick.
    void feed(frmFloat& p, bool opening = false) {
        auto q = m_Main::Quotes.Item(p.ID());
        int head = 0, big = 0;
        bool fractional = false;
        splitPrice(q->BID(), head, big, fractional);
        p.HeadBid(forms::Left(q->BID(), head));
        p.HeadASK(forms::Left(q->ASK(), head));
        p.BID(forms::Mid(q->BID(), big, 2));
        p.ASK(forms::Mid(q->ASK(), big, 2));
        p.Price(fractional ? forms::Left(q->Price(), big + 1) : q->Price());
        p.iSUB(fractional, opening);
        p.iSUBValue(forms::Right(q->BID(), 1), forms::Right(q->ASK(), 1));
        p.UpdatePrice(opening);
    }

    // Opens a panel the way the core's panel creation does.
    template <class Panel = frmFloat>
    std::shared_ptr<Panel> open(const std::string& symbol, int mode, bool border = true, bool orderBar = true) {
        auto p = std::make_shared<Panel>();
        panels_.push_back(p);
        p->Load();
        EXPECT_TRUE(p->Busy());
        EXPECT_TRUE(waitFor([&] { return !p->Busy(); }));
        m_Main::Quotes.Item(symbol)->PriceMode(static_cast<int16_t>(mode));
        p->ID(symbol);
        p->SymBol(symbol);
        p->Voice(false);
        feed(*p, true);
        p->Mode(mode);
        p->MT4Loading(false);
        p->TimeOut(false);
        p->IconEvent(0);
        p->OrderBAR(orderBar);
        p->Border(border);
        p->Show();
        m_Main::SetTopMost(p->hWnd());
        m_Main::FloatForms.Add(p, symbol);
        return p;
    }

    web::HTMLElement el(frmFloat& p, const std::string& id) { return doc(p).all(id); }
    web::HTMLDocument doc(frmFloat& p) { return p.PageDocument(); }
    bool shown(frmFloat& p, const std::string& id) { return el(p, id).style().display().empty(); }
    std::string colour(frmFloat& p, const std::string& id) { return el(p, id).style().color(); }

    // The page's box in the window's client area matches the content box.
    void expectFitted(frmFloat& p) {
        win::RECT client;
        win::GetClientRect(p.hWnd(), &client);
        int32_t l, t, w, h;
        p.GetElementRect("PriceBox", l, t, w, h);
        EXPECT_EQ(client.right, w);
        EXPECT_EQ(client.bottom, t + h);
        EXPECT_EQ(doc(p).execScript("innerWidth + 'x' + innerHeight"),
                  std::to_string(client.right) + "x" + std::to_string(client.bottom));
    }

    testing_support::TestMachine machine;
    std::vector<std::shared_ptr<frmFloat>> panels_;
};

TEST_F(FloatPanelTest, OpensFittedAndPaintsTicksByDirection) {
    quote("EURUSD", "1.23456", "1.23476");
    quote("EURUSD", "1.23456", "1.23476");  // no move yet: plain colours
    auto p = open("EURUSD", 0);
    EXPECT_EQ(win::windowText(p->hWnd()), "报价 ");
    EXPECT_EQ(p->BaseCaption(), "报价 ");
    // Five-digit pricing: head, two big digits and a small fractional pip.
    EXPECT_EQ(el(*p, "Symbol").innerText(), "EURUSD");
    EXPECT_EQ(el(*p, "HeadBid").innerText(), "1.23");
    EXPECT_EQ(el(*p, "BID").innerText(), "45");
    EXPECT_EQ(el(*p, "ASK").innerText(), "47");
    EXPECT_EQ(el(*p, "iBidSub").innerText(), "6");
    EXPECT_EQ(el(*p, "iAskSub").innerText(), "6");
    EXPECT_TRUE(p->PriceSUB());
    EXPECT_TRUE(shown(*p, "iBidSub"));
    EXPECT_EQ(el(*p, "tdBid").style().get("paddingLeft"), "5px");
    EXPECT_EQ(colour(*p, "Bid"), "");
    EXPECT_EQ(lower(el(*p, "TDX").text("bgColor")), "#ffffff");
    expectFitted(*p);

    struct Tick {
        const char* bid;
        const char* ask;
        const char* colour;  // of the big digits
        const char* tdx;
    } ticks[] = {
        {"1.23470", "1.23490", "rgb(255, 0, 0)", "#ff0000"},
        {"1.23461", "1.23481", "rgb(0, 127, 0)", "#007f00"},
        {"1.23461", "1.23481", "", "#ffffff"},  // unchanged: the direction turns 0
    };
    for (const auto& t : ticks) {
        quote("EURUSD", t.bid, t.ask);
        feed(*p);
        EXPECT_EQ(el(*p, "Bid").innerText(), std::string(t.bid).substr(4, 2)) << t.bid;
        EXPECT_EQ(el(*p, "iBidSub").innerText(), std::string(1, t.bid[6]));
        EXPECT_EQ(colour(*p, "Bid"), t.colour) << t.bid;
        EXPECT_EQ(colour(*p, "Ask"), t.colour);
        EXPECT_EQ(colour(*p, "iAskSub"), t.colour);
        EXPECT_EQ(lower(el(*p, "TDX").text("bgColor")), t.tdx);
    }

    // Same bid and direction again: the page is not touched; forced, it is painted again.
    el(*p, "Bid").innerText("xx");
    feed(*p);
    EXPECT_EQ(el(*p, "Bid").innerText(), "xx");
    p->UpdatePrice(true);
    EXPECT_EQ(el(*p, "Bid").innerText(), "46");

    // An empty big-digit text shows "-".
    p->BID("");
    p->UpdatePrice(true);
    EXPECT_EQ(el(*p, "Bid").innerText(), "-");

    // Four-digit pricing switches the small cells off; their texts stay as they were.
    quote("EURUSD", "1.2345", "1.2347");
    feed(*p);
    EXPECT_FALSE(p->PriceSUB());
    EXPECT_FALSE(shown(*p, "iBidSub"));
    EXPECT_EQ(el(*p, "tdBid").style().get("paddingLeft"), "2px");
    EXPECT_EQ(el(*p, "iBidSub").innerText(), "1");
    expectFitted(*p);
}

TEST_F(FloatPanelTest, SymbolAndTextsAreWrittenAsText) {
    quote("<b id=x>EU</b>", "1.2345", "1.2347");
    auto p = open("<b id=x>EU</b>", 1);
    EXPECT_EQ(el(*p, "Symbol").innerText(), "<b id=x>EU</b>");
    EXPECT_TRUE(el(*p, "x").isNull());
    p->Time("-<i>1秒</i>-");
    EXPECT_EQ(el(*p, "iTime").innerText(), "-<i>1秒</i>-");
    EXPECT_EQ(el(*p, "iTime").number("childElementCount"), 0);
}

TEST_F(FloatPanelTest, ModesChooseRowsIconsAndHeadPlacement) {
    quote("USDJPY", "110.256", "110.276");
    auto p = open("USDJPY", 0);
    struct Case {
        int mode;
        bool single, mt4, bid, ask;
    } cases[] = {
        {1, true, false, true, false},  {-1, true, false, false, true}, {0, false, true, false, false},
        {7, true, false, true, false},  {-3, true, false, false, true},
    };
    for (const auto& c : cases) {
        p->Mode(c.mode);
        EXPECT_EQ(p->Mode(), c.mode);
        EXPECT_EQ(shown(*p, "trPrice"), c.single) << c.mode;
        EXPECT_EQ(shown(*p, "TrBidAsk"), !c.single) << c.mode;
        EXPECT_EQ(shown(*p, "iMT4"), c.mt4) << c.mode;
        EXPECT_EQ(shown(*p, "iBid"), c.bid) << c.mode;
        EXPECT_EQ(shown(*p, "iAsk"), c.ask) << c.mode;
        EXPECT_EQ(el(*p, "TrHead").style().get("height"), c.single ? "20px" : "18px");
        expectFitted(*p);
        if (!c.single) {
            int32_t bl, bt, bw, bh, hl, ht, hw, hh;
            p->GetElementRect("Bid", bl, bt, bw, bh);
            p->GetElementRect("HeadBid", hl, ht, hw, hh);
            EXPECT_EQ(hl, bl);
            EXPECT_EQ(hw, bw);
            EXPECT_EQ(ht + hh, bt + 4);
            // The rule runs through the middle of the head row.
            int32_t tl, tt, tw, th;
            p->GetElementRect("TrHead", tl, tt, tw, th);
            EXPECT_EQ(el(*p, "HR").style().get("top"), forms::Format(tt + th / 2.0 - 3) + "px");
        }
    }
    // The single row's fractional pip is the bid's in bid mode, else the ask's.
    quote("USDJPY", "110.251", "110.279");
    p->Mode(1);
    feed(*p);
    EXPECT_EQ(el(*p, "iSub").innerText(), "1");
    EXPECT_EQ(el(*p, "Price").innerText(), "110.25");
    p->Mode(-1);
    quote("USDJPY", "110.252", "110.278");
    m_Main::Quotes.Item("USDJPY")->PriceMode(-1);
    feed(*p);
    EXPECT_EQ(el(*p, "iSub").innerText(), "8");
    EXPECT_EQ(el(*p, "Price").innerText(), "110.27");

    // Relaying the same mode lays the page out again: a window changed behind its back is refitted.
    win::RECT before;
    win::GetWindowRect(p->hWnd(), &before);
    p->Move(p->Left(), p->Top(), p->Width() + 300, p->Height() + 300);
    p->Mode(-1);
    win::RECT after;
    win::GetWindowRect(p->hWnd(), &after);
    EXPECT_EQ(after, before);
}

TEST_F(FloatPanelTest, OverlaysFollowTerminalStateAndTimeOut) {
    quote("GBPUSD", "1.56780", "1.56800");
    auto p = open("GBPUSD", 0);
    auto layers = [&] {
        std::string s;
        for (const char* id : {"iOverlay", "iTimeOut", "iClose", "iLoad"}) s += shown(*p, id) ? "1" : "0";
        return s;
    };
    EXPECT_EQ(layers(), "0000");

    p->TimeOut(true);
    EXPECT_EQ(layers(), "1100");
    p->Time("-1分30秒-");
    EXPECT_EQ(el(*p, "iTime").innerText(), "-1分30秒-");
    // Every time-out report drops the closed state.
    p->MT4Close(true);
    EXPECT_EQ(layers(), "1010");
    p->MT4Close(true);
    EXPECT_EQ(layers(), "1010");
    p->TimeOut(true);  // its own value unchanged, yet the closed layer goes
    EXPECT_EQ(layers(), "1100");
    p->TimeOut(false);
    EXPECT_EQ(layers(), "0000");

    // While the terminal loads, only the loading layer shows and the time-out waits.
    p->MT4Loading(true);
    EXPECT_EQ(layers(), "1001");
    EXPECT_EQ(el(*p, "mtload").getAttribute("src"), "loadx.gif");
    p->TimeOut(true);
    p->MT4Close(true);
    EXPECT_EQ(layers(), "1001");
    p->MT4Loading(false);
    EXPECT_EQ(layers(), "0000");
    EXPECT_EQ(el(*p, "mtload").getAttribute("src"), "");
    p->TimeOut(true);
    EXPECT_EQ(layers(), "1100");
    // Timed out, then loading, then loaded: the stale quotes are veiled again, never bare
    // under the time-out picture.
    p->MT4Loading(true);
    p->TimeOut(true);
    EXPECT_EQ(layers(), "1001");
    p->MT4Loading(false);
    EXPECT_EQ(layers(), "1100");
    p->TimeOut(false);
    EXPECT_EQ(layers(), "0000");

    // The high/low tooltip of both price rows: two lines, written only on change.
    p->Max_Min("1.57000", "1.56000");
    EXPECT_EQ(el(*p, "trPrice").title(), "最高价: 1.57000\r\n最低价: 1.56000");
    EXPECT_EQ(el(*p, "TrBidAsk").title(), "最高价: 1.57000\r\n最低价: 1.56000");
    el(*p, "trPrice").title("kept");
    p->Max_Min("1.57000", "1.56000");
    EXPECT_EQ(el(*p, "trPrice").title(), "kept");
    p->Max_Min("", "1.56000");
    EXPECT_EQ(el(*p, "trPrice").title(), "");
    EXPECT_EQ(el(*p, "TrBidAsk").title(), "");

    // The voice icon starts hidden.
    EXPECT_FALSE(p->Voice());
    p->Voice(true);
    EXPECT_TRUE(p->Voice());
    EXPECT_TRUE(shown(*p, "iVoiceSet"));
    p->Voice(false);
    EXPECT_FALSE(p->Voice());
}

TEST_F(FloatPanelTest, FramelessPanelKeepsThePageInPlaceAndDragsBySymbol) {
    quote("AUDUSD", "0.81234", "0.81254");
    auto p = open("AUDUSD", 1);
    p->Move(3000, 4500);
    win::RECT framed;
    win::GetWindowRect(p->hWnd(), &framed);
    const win::HWND server = [&] {
        win::HWND s = 0;
        win::EnumChildWindows(p->hWnd(), [&](win::HWND h, win::LPARAM) {
            if (win::className(h) == "Internet Explorer_Server") s = h;
            return s ? win::FALSE : win::TRUE;
        }, 0);
        return s;
    }();
    ASSERT_NE(server, 0);
    win::POINT page{0, 0};
    win::ClientToScreen(server, &page);
    win::RECT client;
    win::GetClientRect(p->hWnd(), &client);

    p->Border(false);
    EXPECT_FALSE(p->Border());
    EXPECT_FALSE(win::GetWindowLong(p->hWnd(), win::GWL_STYLE) & win::WS_BORDER);
    win::POINT pageNow{0, 0};
    win::ClientToScreen(server, &pageNow);
    EXPECT_EQ(pageNow, page);
    win::RECT bare;
    win::GetWindowRect(p->hWnd(), &bare);
    EXPECT_EQ(bare.right - bare.left, client.right);
    EXPECT_EQ(bare.bottom - bare.top, client.bottom);
    EXPECT_EQ(p->NB_Left(), 3000);
    EXPECT_EQ(p->NB_Top(), 4500);
    EXPECT_EQ(el(*p, "Symbol").style().get("cursor"), "move");
    expectFitted(*p);

    // A mode switch while frameless keeps it fitted and its framed size up to date.
    p->Mode(0);
    expectFitted(*p);
    p->Mode(1);

    // Dragged by the symbol cell, frameless.
    win::SetCursorPos(pageNow.x + 20, pageNow.y + 10);
    win::queueMoveSize({{pageNow.x + 60, pageNow.y + 30}});
    el(*p, "Symbol").FireEvent("onmousedown");
    ASSERT_TRUE(waitFor([&] {
        win::RECT r;
        win::GetWindowRect(p->hWnd(), &r);
        return r.left != bare.left;
    }));
    win::RECT moved;
    win::GetWindowRect(p->hWnd(), &moved);
    EXPECT_EQ(moved.left - bare.left, 40);
    EXPECT_EQ(moved.top - bare.top, 20);
    EXPECT_EQ(p->NB_Left(), 3000 + 40 * 15);

    // The frame comes back around the page, at the framed size.
    p->Border(true);
    EXPECT_TRUE(p->Border());
    win::RECT back;
    win::GetWindowRect(p->hWnd(), &back);
    EXPECT_EQ(back.left, framed.left + 40);
    EXPECT_EQ(back.top, framed.top + 20);
    EXPECT_EQ(back.right - back.left, framed.right - framed.left);
    EXPECT_EQ(back.bottom - back.top, framed.bottom - framed.top);
    EXPECT_TRUE(win::IsWindowVisible(p->hWnd()));
    EXPECT_EQ(el(*p, "Symbol").style().get("cursor"), "default");
    expectFitted(*p);
    // Asking for the frame it has changes nothing.
    p->Border(true);
    win::RECT same;
    win::GetWindowRect(p->hWnd(), &same);
    EXPECT_EQ(same, back);

    // Framed, the symbol drags the window as well.
    win::SetCursorPos(back.left + 30, back.top + 40);
    win::queueMoveSize({{back.left + 10, back.top + 45}});
    el(*p, "Symbol").FireEvent("onmousedown");
    ASSERT_TRUE(waitFor([&] {
        win::RECT r;
        win::GetWindowRect(p->hWnd(), &r);
        return r.left != back.left;
    }));
    win::GetWindowRect(p->hWnd(), &moved);
    EXPECT_EQ(moved.left - back.left, -20);
    EXPECT_EQ(moved.top - back.top, 5);
}

TEST_F(FloatPanelTest, OrderBarIconsAndButtonTitles) {
    quote("USDCHF", "0.91234", "0.91254");
    auto p = open("USDCHF", -1);
    const long withBar = p->Height();
    p->OrderBAR(false);
    EXPECT_FALSE(p->OrderBAR());
    EXPECT_EQ(withBar - p->Height(), (32 - 3) * 15);
    EXPECT_FALSE(shown(*p, "iOrderSet"));
    expectFitted(*p);

    // Icon action 2: a click on a centre icon toggles the bar.
    std::vector<std::string> menus;
    m_Main::PopMenu = [&](const std::string& symbol, const std::string& key) { menus.push_back(symbol + "/" + key); };
    p->IconEvent(2);
    EXPECT_EQ(el(*p, "iMT4").title(), "启用快捷下单");
    el(*p, "iAsk").FireEvent("onclick");
    ASSERT_TRUE(waitFor([&] { return p->Height() == withBar; }));
    EXPECT_TRUE(p->OrderBAR());
    p->IconEvent(5);
    EXPECT_EQ(el(*p, "iBid").title(), "");
    p->iIconEvent();
    EXPECT_TRUE(p->OrderBAR());
    p->IconEvent(1);
    p->iIconEvent();
    el(*p, "iVoiceSet").FireEvent("onclick");
    ASSERT_TRUE(waitFor([&] { return menus.size() == 2; }));
    EXPECT_EQ(menus, (std::vector<std::string>{"USDCHF/Voice", "USDCHF/VoiceSet"}));
    m_Main::PopMenu = nullptr;

    // Confirmation off shows the fast-order mark with the bar; the buttons carry SL and TP.
    p->Confirm(false);
    EXPECT_TRUE(shown(*p, "iNoConfirm"));
    p->OrderBAR(false);
    EXPECT_FALSE(shown(*p, "iNoConfirm"));
    p->SL(0);
    p->TP(120);
    EXPECT_EQ(el(*p, "iBuy").title(), "止损: 0点\r\n获利: 120点");
    EXPECT_EQ(el(*p, "iSell").title(), "止损: 0点\r\n获利: 120点");

    // Late-bound, as the core and the page reach the panel.
    forms::CallByName(*p, "volume", forms::VbLet, {forms::Variant("0.5")});
    EXPECT_EQ(forms::CallByName(*p, "VOLUME", forms::VbGet).toString(), "0.5");
    EXPECT_EQ(forms::CallByName(*p, "IconEvent", forms::VbGet).toLong(), 1);
    forms::CallByName(*p, "UpdatePrice", forms::VbMethod, {forms::Variant(true)});
}

TEST_F(FloatPanelTest, VolumeChangeSavesTheSymbolsQuickOrderSettings) {
    ASSERT_TRUE(machine->writeFileAtomic(kSettings, R"(<?xml version="1.0" encoding="UTF-8"?>
<App><QuickOrder defConfirm="1" defSL="50" defTP="50" defVolume="0.1"><EURJPY Confirm="1" SL="1" TP="2" Volume="9"/></QuickOrder></App>)"));
    Config().XmlFile(kSettings);
    ASSERT_TRUE(Config().Initialize());
    win::clearMessageBoxes();

    for (const char* symbol : {"GBPJPY", "EURJPY", "#US30"}) {
        quote(symbol, "150.123", "150.143");
        auto p = open(symbol, 0);
        p->Confirm(false);
        p->SL(30);
        p->TP(60);
        // The user types a new volume into the page and leaves the field.
        auto volume = el(*p, "Volume");
        volume.value("0.3");
        volume.FireEvent("onchange");
        const std::string element = m_Main::SymbolElementName(symbol);
        const std::string node = "QuickOrder/" + element;
        ASSERT_TRUE(waitFor([&] { return Config().isExist("QuickOrder", element) &&
                                          Config().GetNodeAttrib(node, "Volume") == "0.3"; }))
            << symbol;
        EXPECT_EQ(Config().GetNodeAttrib(node, "Confirm"), "0");
        EXPECT_EQ(Config().GetNodeAttrib(node, "SL"), "30");
        EXPECT_EQ(Config().GetNodeAttrib(node, "TP"), "60");
    }
    EXPECT_TRUE(win::messageBoxes().empty());
}

TEST_F(FloatPanelTest, UnloadLeavesTheCollectionOnlyForItself) {
    quote("EURUSD", "1.23456", "1.23476");
    auto first = open("EURUSD", 0);
    // A second panel of the symbol, shown but not in the collection.
    auto second = std::make_shared<frmFloat>();
    second->Load();
    ASSERT_TRUE(waitFor([&] { return !second->Busy(); }));
    second->ID("EURUSD");
    second->Unload();
    ASSERT_TRUE(m_Main::FloatForms.Exists("EURUSD"));
    EXPECT_EQ(m_Main::FloatForms.Item("EURUSD").get(), first.get());

    std::weak_ptr<frmFloat> weak = first;
    panels_.clear();
    first.reset();
    m_Main::FloatForms.Item("EURUSD")->Unload();
    EXPECT_FALSE(m_Main::FloatForms.Exists("EURUSD"));
    machine->runFor(10);
    EXPECT_TRUE(weak.expired());
}

TEST_F(FloatPanelTest, ThreePanelsInThreeModesOnScreen) {
    quote("EURUSD", "1.23456", "1.23476");
    quote("USDJPY", "110.256", "110.276");
    quote("GBPUSD", "1.5678", "1.5680");
    auto a = open("EURUSD", 0);
    auto b = open("USDJPY", 1, false, false);
    auto c = open("GBPUSD", -1);
    a->Move(200 * 15, 150 * 15);
    b->Move(380 * 15, 150 * 15);
    c->Move(520 * 15, 150 * 15);
    quote("EURUSD", "1.23470", "1.23490");
    feed(*a);
    quote("USDJPY", "110.241", "110.261");
    feed(*b);
    c->Voice(true);
    c->Confirm(false);
    c->OrderBAR(true);
    c->TimeOut(true);
    c->Time("-1分30秒-");
    machine->pumpOnce();  // the panels' writes of this round go out
    const auto shot = testing_support::takeSnapshot("quotes_three_panels");
    ASSERT_TRUE(shot);
    // Each panel shows its page where it was moved (not the bare window colour), and the
    // timed-out one is washed out: paler on average than the live one beside it.
    auto meanLevel = [&](forms::Form& p) {
        win::RECT r{};
        win::GetWindowRect(p.hWnd(), &r);
        long sum = 0, n = 0, page = 0;
        for (int y = r.top + 25; y < r.bottom - 4; y += 2)
            for (int x = r.left + 4; x < r.right - 4; x += 2) {
                const uint32_t px = shot->at(x, y);
                sum += ((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF);
                page += px != 0xECE9D8u;
                ++n;
            }
        EXPECT_GT(page, n / 2);
        return sum / std::max(1L, n);
    };
    meanLevel(*a);
    EXPECT_GT(meanLevel(*c), meanLevel(*b));
}

// A panel whose page's events a test can step into.
struct ReloadingPanel : frmFloat {
    web::WebBrowser& control() { return *WebBrowser1; }
};

// The browser dies and the panel's page reloads in a new one. A tick during the reload writes
// through the elements of the old document, and may open the panel's batch of page writes; the
// new document's set-up must neither send those writes nor fail on them, at whatever moment of
// the reload the tick comes. So must a batch held open across the browser's death.
TEST_F(FloatPanelTest, ATickDuringABrowserRestartLeavesTheNewPageWhole) {
    enum Moment { HeldAcrossTheDeath, NewDocumentArriving, NewDocumentArrived, NewDocumentCompleting };
    const std::pair<Moment, const char*> moments[] = {
        {HeldAcrossTheDeath, "a batch held open across the death"},
        {NewDocumentArriving, "the new document arriving"},
        {NewDocumentArrived, "the new document arrived, not loaded"},
        {NewDocumentCompleting, "the new document complete, before the panel's set-up"},
    };
    quote("EURUSD", "1.23456", "1.23476");
    auto p = open<ReloadingPanel>("EURUSD", 0);
    auto& host = web::BrowserHost::of(*machine);
    ASSERT_LE(std::size(moments), static_cast<size_t>(web::BrowserHost::kMaxRestarts));

    std::optional<Moment> tickAt;
    int price = 0;
    // What the core's price loop does each second: each write on its own, failures skipped.
    const auto tick = [&](Moment now) {
        if (tickAt != now) return;
        tickAt.reset();
        quote("EURUSD", "1.2" + std::to_string(3500 + ++price), "1.2" + std::to_string(3520 + price));
        forms::ResumeNext([&] { p->SymBol("EURUSD"); });
        forms::ResumeNext([&] { feed(*p); });
    };
    web::WebBrowser& control = p->control();
    const auto arrived = control.NavigateComplete2;
    const auto completed = control.DocumentComplete;
    control.NavigateComplete2 = [&](const std::string& url) {
        tick(NewDocumentArriving);
        arrived(url);
        tick(NewDocumentArrived);
    };
    control.DocumentComplete = [&](const std::string& url) {
        tick(NewDocumentCompleting);
        completed(url);
    };

    for (const auto& [moment, name] : moments) {
        SCOPED_TRACE(name);
        const int restarts = host.restarts();
        std::optional<web::PageBatch> held;
        if (moment == HeldAcrossTheDeath) {
            held.emplace(p->PageDocument());
            el(*p, "Bid").innerText("stale");
        } else {
            tickAt = moment;
        }
        ::kill(host.browserIfRunning()->pid(), SIGKILL);
        ASSERT_TRUE(waitFor([&] { return host.restarts() > restarts && !p->Busy(); }));
        held.reset();
        EXPECT_FALSE(tickAt) << "no tick came at that moment";
        // The new page shows the panel and the last quote.
        ASSERT_TRUE(waitFor([&] { return el(*p, "Symbol").innerText() == "EURUSD"; }));
        feed(*p);
        machine->pumpOnce();
        const std::string bid = m_Main::Quotes.Item("EURUSD")->BID();
        EXPECT_EQ(el(*p, "Bid").innerText(), bid.substr(4, 2));
        EXPECT_EQ(el(*p, "iBidSub").innerText(), bid.substr(6, 1));
    }
}

// Every order of reports ends in the layers its flags call for.
TEST(QuoteOverlays, SequencesOfReports) {
    struct Case {
        const char* reports;  // T/t time-out on/off, C/c closed on/off, L/l loading on/off
        const char* layers;   // veil, time-out, closed, loading
    };
    const Case cases[] = {
        {"", "0000"},       {"T", "1100"},       {"TC", "1010"},      {"TCc", "1100"},  {"TCT", "1100"},
        {"TLl", "1100"},    {"TLTl", "1100"},    {"Ltl", "0000"},     {"LTl", "0000"},  {"CL", "1001"},
        {"CLl", "1010"},    {"CLcl", "1010"},    {"TLtl", "1100"},    {"TLlt", "0000"}, {"LCTl", "0000"},
    };
    for (const auto& c : cases) {
        QuoteOverlays o;
        for (const char* r = c.reports; *r; ++r) {
            switch (*r) {
            case 'T': o.TimeOut(true), o.MT4Close(false); break;
            case 't': o.TimeOut(false), o.MT4Close(false); break;
            case 'C': o.MT4Close(true); break;
            case 'c': o.MT4Close(false); break;
            case 'L': o.MT4Loading(true); break;
            case 'l': o.MT4Loading(false); break;
            }
        }
        const auto l = o.layers();
        std::string got;
        for (bool b : {l.veil, l.timeOut, l.closedPicture, l.loadingPicture}) got += b ? '1' : '0';
        EXPECT_EQ(got, c.layers) << c.reports;
    }
}

TEST(OrderFigures, StopLossAndTakeProfitAroundTheOrderPrice) {
    struct Case {
        const char *bid, *ask;
        int16_t side, sl, tp;
        bool fractional;
        const char *price, *slText, *tpText;
    } cases[] = {
        {"1.23436", "1.23456", 1, 50, 100, true, "1.23456", "1.22956 (500点)", "1.24456 (1000点)"},
        {"1.23436", "1.23456", 1, 0, 100, true, "1.23456", "无", "1.24456 (1000点)"},
        {"112.35", "112.38", -1, 20, 0, false, "112.35", "112.55 (20点)", "无"},
        {"0.9000", "0.9002", -1, 15, 15, false, "0.9000", "0.9015 (15点)", "0.8985 (15点)"},
        // Negative distances set no level; a level below zero is refused, not shown as a price.
        {"1.23436", "1.23456", 1, -20, -5, false, "1.23456", "无", "无"},
        {"0.0003", "0.0006", 1, 10, 0, false, "0.0006", "无效", "无"},
    };
    for (const auto& c : cases) {
        const OrderFigures f = orderFigures(c.bid, c.ask, c.side, c.sl, c.tp, c.fractional);
        EXPECT_EQ(f.price, c.price);
        EXPECT_EQ(f.sl, c.slText) << c.bid << " " << c.side;
        EXPECT_EQ(f.tp, c.tpText) << c.bid << " " << c.side;
    }
}

} // namespace
