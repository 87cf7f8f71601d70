// Quick orders from real panels through the simulated terminal's order dialog: what is typed
// into the dialog, what the tool tip shows, every scripted failure of the dialog, the
// confirmation balloon, the defaults balloon and the panel's own context menu.
#include "app/ProgramWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Window.h"
#include "platform/speech/SpVoice.h"
#include "quotes/frmFloat.h"
#include "quotes/frmOrderConfirm.h"
#include "quotes/frmOrderSet.h"
#include "support/PriceTicks.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"
#include "toolkit/cls_Config.h"
#include "toolkit/frmToolTip.h"

#include <gtest/gtest.h>

#include <functional>

using namespace m_Main;

namespace {

struct Program {
    testing_support::TestMachine m;
    testing_support::PriceTicks ticks;

    Program() {
        EndProgram();
        speech::installSpeechService(*m);
        termsim::Terminal::install(*m, "C:\\Program Files\\MetaTrader 4");
        testing_support::installProgram(*m);
        InstallWindows(ticks.trace());
        EXPECT_TRUE(Main());
        EXPECT_TRUE(runUntil([&] { return FloatForms.Count() == 2; }));
        terminal().setRows({{"EURUSD", "1.23436", "1.23456"}, {"GBPUSD", "1.26712", "1.26730"},
                            {"USDJPY", "108.25", "108.27"}},
                           3);
        EXPECT_TRUE(ticks.next(m));
        // Frozen rows keep the server time still, which would read as a terminal still loading.
        MainForm->TerminalLoading = false;
        MainForm->PopMenu("USDJPY", "Float");
        EXPECT_TRUE(runUntil([&] { return panel("USDJPY") && !panel("USDJPY")->Busy(); }));
        EXPECT_TRUE(ticks.next(m));
        auto tip = frmToolTip::Shared();
        EXPECT_TRUE(runUntil([&] { return !tip->Busy(); }));
    }
    ~Program() {
        if (auto* b = frmOrderConfirm::Open()) b->UNForm();
        if (auto tip = frmToolTip::Shared()) tip->UnloadME();
        win::clearMessageBoxes();
        EndProgram();
        // What the windows keep until the pump is idle goes before the machine does.
        m->runFor(50);
    }
    // Runs the program, giving the browser its real time.
    bool runUntil(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    void runFor(uint64_t ms) { m.runForReal(ms); }
    // A step of the program that talks to pages while it waits on the terminal.
    void act(const std::function<void()>& f) {
        m->beginOutsideWork();
        f();
        m->endOutsideWork();
    }
    termsim::Terminal& terminal() { return *termsim::Terminal::ofWindow(MT4().Mt4Hwnd()); }
    frmFloat* panel(const std::string& symbol) {
        auto* p = FloatForms.Find(symbol);
        return p ? dynamic_cast<frmFloat*>(p->get()) : nullptr;
    }
    web::HTMLElement el(frmFloat& p, const std::string& id) { return p.PageDocument().all(id); }
    bool shown(frmFloat& p, const std::string& id) { return el(p, id).style().display().empty(); }
    std::string tipText() { return frmToolTip::Shared()->PageDocument().all("iInfo").innerText(); }
    std::string tipIcon() { return frmToolTip::Shared()->PageDocument().all("iImg").getAttribute("src"); }
    // The panel's buttons are back as they were before the order.
    void expectIdle(frmFloat& p) {
        EXPECT_TRUE(shown(p, "iBuy"));
        EXPECT_TRUE(shown(p, "iSell"));
        EXPECT_FALSE(shown(p, "iBuyAni"));
        EXPECT_FALSE(shown(p, "iSellAni"));
        EXPECT_FALSE(el(p, "iBuy").disabled());
        EXPECT_FALSE(el(p, "iSell").disabled());
        EXPECT_FALSE(OrderRunning);
    }
    void closeDialog() {
        if (const win::HWND d = MT4().OrderDialog()) win::SendMessage(d, win::WM_CLOSE, 0, 0);
    }
};

} // namespace

TEST(OrderFigures, PricesTypedAndShownAgree) {
    // A price without a point has no decimals: 1234 less 30 is 1204, typed and shown.
    EXPECT_EQ(orderLevelText(orderLevel("1234", 1, 30, false, -1)), "1204");
    EXPECT_EQ(orderFigures("1234", "1234", 1, 30, 0, false).sl, "1204 (30点)");
    EXPECT_EQ(orderLevelText(orderLevel("1.23456", 1, 30, true, -1)), "1.23156");
    EXPECT_EQ(orderLevelText(orderLevel("1.23456", 1, 30, false, -1)), "1.23426");
    EXPECT_EQ(orderLevelText(orderLevel("108.25", -1, 50, false, 1)), "107.75");
    EXPECT_EQ(orderFigures("108.25", "108.27", -1, 0, 50, false).tp, "107.75 (50点)");
    // Prices the terminal must not get: none, below zero, or only with an exponent.
    for (double bad : {0.0, -0.5, 0.00001, 1e15}) EXPECT_EQ(orderLevelText(bad), "") << bad;
    EXPECT_EQ(orderLevelText(0.0001), "0.0001");
}

TEST(QuickOrders, BuyAndSellFillTheTerminalsDialogAndShowItsResult) {
    Program p;
    // A dialog of another program titled the same is neither closed nor used.
    const win::HWND stranger =
        win::CreateWindowEx(0, "#32770", "定单", win::WS_POPUP | win::WS_VISIBLE, 0, 0, 80, 60, 0);
    struct Case {
        const char* symbol;
        int side;
        int16_t sl, tp;
        bool fractional;
        const char* stopLoss;
        const char* takeProfit;
    };
    const Case cases[] = {
        {"EURUSD", 1, 30, 0, true, "1.23156", ""},
        {"EURUSD", 1, 30, 0, false, "1.23426", ""},
        {"USDJPY", -1, 0, 50, false, "", "107.75"},
        {"EURUSD", -1, 20, 40, true, "1.23636", "1.23036"},
    };
    // Each result waits until the watch has been seen, however long the program took to start it.
    termsim::OrderOutcome held;
    held.finishes = false;
    p.terminal().setOutcome(held);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.symbol) + " " + std::to_string(c.side) + " " + std::to_string(c.fractional));
        frmFloat& f = *p.panel(c.symbol);
        f.Confirm(false);
        f.SL(c.sl);
        f.TP(c.tp);
        f.Volume("0.3");
        f.iSUB(c.fractional, true);
        const size_t before = p.terminal().orders().size();
        p.act([&] { c.side == 1 ? f.Buy() : f.Sell(); });
        EXPECT_TRUE(f.OrderWatching());
        EXPECT_NE(f.OrderDialog(), 0);
        EXPECT_NE(f.OrderDialog(), stranger);
        p.terminal().finishPendingOrder();
        ASSERT_TRUE(p.runUntil([&] { return !f.OrderWatching(); }));
        ASSERT_EQ(p.terminal().orders().size(), before + 1);
        const termsim::PlacedOrder& o = p.terminal().orders().back();
        EXPECT_EQ(o.symbol, c.symbol);
        EXPECT_EQ(o.side, c.side);
        EXPECT_EQ(o.volume, "0.3");
        EXPECT_EQ(o.stopLoss, c.stopLoss);
        EXPECT_EQ(o.takeProfit, c.takeProfit);
        EXPECT_EQ(o.comment.rfind("Pennant (", 0), 0u) << o.comment;
        EXPECT_EQ(o.comment.back(), ')');
        // The button got a space pressed and let go, with the key's scan code.
        const auto& keys = p.terminal().orderButtonKeys();
        ASSERT_GE(keys.size(), 2u);
        EXPECT_EQ(keys[keys.size() - 2].msg, win::WM_KEYDOWN);
        EXPECT_EQ(keys[keys.size() - 2].key, 0x20u);
        EXPECT_EQ(static_cast<uint32_t>(keys[keys.size() - 2].lParam), 0x00390001u);
        EXPECT_EQ(keys.back().msg, win::WM_KEYUP);
        EXPECT_EQ(static_cast<uint32_t>(keys.back().lParam), 0xC0390001u);
        // The result page's text, on one line, with the OK icon; the dialog is closed.
        EXPECT_NE(p.tipText().find("成功"), std::string::npos) << p.tipText();
        EXPECT_EQ(p.tipText().find('\n'), std::string::npos);
        EXPECT_EQ(p.tipIcon(), "OK.gif");
        EXPECT_EQ(MT4().OrderDialog(), 0);
        p.expectIdle(f);
    }
    EXPECT_TRUE(win::IsWindow(stranger));
    win::DestroyWindow(stranger);
}

TEST(QuickOrders, EveryFailureOfTheDialogEndsInAClearMessageAndNothingTwice) {
    Program p;
    struct Case {
        const char* name;
        std::function<void(termsim::OrderOutcome&)> script;
        std::string text, icon;
        size_t placed;
    };
    const Case cases[] = {
        {"opens late", [](auto& o) { o.openDelayMs = 1500; }, "定单窗口打开失败!", "Error.gif", 0},
        {"never opens", [](auto& o) { o.opens = false; }, "定单窗口打开失败!", "Error.gif", 0},
        {"no instant page", [](auto& o) { o.instantPage = false; }, "定单窗口打开失败!", "Error.gif", 0},
        {"refused", [](auto& o) { o.text = "交易被拒绝 (134)\r\n无足够资金"; }, "交易被拒绝 (134) 无足够资金",
         "alert2.gif", 1},
        {"closed while watched", [](auto& o) { o.finishes = false, o.closeAfterMs = 400; }, "定单窗口关闭!",
         "alert2.gif", 1},
        {"no result page", [](auto& o) { o.resultPage = false; },
         "定单已送出, 结果未知! 请在MT4终端中查看, 勿重复下单.", "alert2.gif", 1},
    };
    frmFloat& f = *p.panel("EURUSD");
    f.Confirm(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        termsim::OrderOutcome outcome;
        c.script(outcome);
        p.terminal().setOutcome(outcome);
        const size_t before = p.terminal().orders().size();
        p.act([&] { f.Buy(); });
        ASSERT_TRUE(p.runUntil([&] { return !f.OrderWatching(); }));
        EXPECT_EQ(p.tipText(), c.text);
        EXPECT_EQ(p.tipIcon(), c.icon);
        EXPECT_EQ(p.terminal().orders().size(), before + c.placed);
        p.expectIdle(f);
        p.runFor(700);  // a late dialog appears meanwhile and is left to the user
        p.closeDialog();
    }
}

TEST(QuickOrders, APriceTheTerminalMustNotGetStopsTheOrderBeforeItStarts) {
    Program p;
    frmFloat& f = *p.panel("EURUSD");
    f.Confirm(false);
    f.SL(20000);  // 1.23456 less 2.0
    p.act([&] { f.Buy(); });
    EXPECT_EQ(p.tipText(), "止损价无效, 定单未送出!");
    EXPECT_EQ(p.tipIcon(), "Error.gif");
    EXPECT_EQ(MT4().OrderDialog(), 0);
    EXPECT_TRUE(p.terminal().orders().empty());
    p.expectIdle(f);
}

TEST(QuickOrders, OneOrderAtATimeInTheWholeProgram) {
    Program p;
    termsim::OrderOutcome outcome;
    outcome.finishes = false;
    p.terminal().setOutcome(outcome);
    frmFloat& eur = *p.panel("EURUSD");
    frmFloat& jpy = *p.panel("USDJPY");
    eur.Confirm(false);
    jpy.Confirm(false);
    p.act([&] { eur.Buy(); });
    ASSERT_TRUE(eur.OrderWatching());
    const win::HWND dialog = MT4().OrderDialog();
    EXPECT_FALSE(p.shown(eur, "iBuy"));
    EXPECT_TRUE(p.el(eur, "iSell").disabled());

    p.act([&] { jpy.Sell(); });
    EXPECT_EQ(p.tipText(), "另一定单正在执行, 请稍候!");
    EXPECT_EQ(MT4().OrderDialog(), dialog);
    EXPECT_EQ(p.terminal().orders().size(), 1u);
    EXPECT_TRUE(eur.OrderWatching());

    // The user closes the terminal's dialog: the watch says so and the next order may go.
    win::SendMessage(dialog, win::WM_CLOSE, 0, 0);
    ASSERT_TRUE(p.runUntil([&] { return !eur.OrderWatching(); }));
    EXPECT_EQ(p.tipText(), "定单窗口关闭!");
    p.expectIdle(eur);
    p.terminal().setOutcome({});
    p.act([&] { jpy.Sell(); });
    ASSERT_TRUE(p.runUntil([&] { return !jpy.OrderWatching(); }));
    EXPECT_EQ(p.terminal().orders().size(), 2u);
}

TEST(QuickOrders, TheConfirmationBalloonShowsTheOrderAndSendsItOnlyOnItsButton) {
    Program p;
    frmFloat& f = *p.panel("EURUSD");
    ASSERT_TRUE(f.Confirm());  // the shipped default
    f.SL(30);
    f.TP(0);
    f.Volume("0.2");
    p.act([&] { f.Buy(); });
    frmOrderConfirm* b = frmOrderConfirm::Open();
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(OrderConfirmOpen);
    EXPECT_EQ(MT4().OrderDialog(), 0);  // the terminal is not touched yet
    const auto& doc = b->PageDocument();
    auto text = [&](const char* id) { return doc.all(id).innerText(); };
    EXPECT_EQ(doc.all("iOpt").innerHTML(), "买进");
    EXPECT_EQ(text("iMT4"), TerminalTitle);
    EXPECT_EQ(text("iSymbol"), "EURUSD");
    EXPECT_EQ(text("iPrice"), "1.23456");
    EXPECT_EQ(text("iVolume"), "0.2");
    EXPECT_EQ(text("iSL"), "1.23156 (300点)");
    EXPECT_EQ(text("iTP"), "无");
    ASSERT_NE(b->BalloonForm(), nullptr);
    EXPECT_TRUE(b->BalloonForm()->Visible());
    EXPECT_FALSE(testing_support::writeSnapshot("orders_confirm_balloon").empty());

    // The stop-loss menu: its title greyed, then 100 to 1000 for the five-digit price.
    win::clearTrackedMenus();
    win::queueMenuChoice(40);
    p.act([&] { b->PICKSL(); });
    const auto menus = win::trackedMenus();
    ASSERT_EQ(menus.size(), 1u);
    const auto& items = menus[0].items;
    ASSERT_EQ(items.size(), 21u);
    EXPECT_EQ(items[0].text, "止损价距开仓价点差");
    EXPECT_TRUE(items[0].flags & win::MF_GRAYED);
    EXPECT_TRUE(items[1].flags & win::MF_SEPARATOR);
    EXPECT_EQ(items[2].text, "100");
    EXPECT_EQ(items[2].id, 10u);
    EXPECT_EQ(items[20].text, "1000");
    EXPECT_EQ(f.SL(), 40);
    EXPECT_EQ(text("iSL"), "1.23056 (400点)");
    EXPECT_EQ(doc.all("iDiv").style().get("overflow"), "auto");
    EXPECT_EQ(doc.all("iSL").className(), "moveout");
    EXPECT_FALSE(b->PickMenuOpen());

    // Closing the balloon drops the order.
    p.act([&] { b->BalloonForm()->BalloonClose(); });
    EXPECT_FALSE(OrderConfirmOpen);
    EXPECT_EQ(frmOrderConfirm::Open(), nullptr);
    EXPECT_EQ(MT4().OrderDialog(), 0);
    EXPECT_TRUE(p.terminal().orders().empty());

    // A sell this time, sent with the balloon's button.
    p.runFor(100);
    p.act([&] { f.Sell(); });
    b = frmOrderConfirm::Open();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->PageDocument().all("iOpt").innerHTML(), "卖出");
    EXPECT_EQ(b->PageDocument().all("iPrice").innerText(), "1.23436");
    p.act([&] { b->PageDocument().all("ConfirmOrder").click(); });
    ASSERT_TRUE(p.runUntil([&] { return !p.terminal().orders().empty() && !f.OrderWatching(); }));
    EXPECT_FALSE(OrderConfirmOpen);
    EXPECT_EQ(p.terminal().orders()[0].side, -1);
    EXPECT_EQ(p.terminal().orders()[0].stopLoss, "1.23836");
    EXPECT_EQ(p.terminal().orders()[0].volume, "0.2");
}

TEST(QuickOrders, TheFilledDialogOfTheTerminal) {
    Program p;
    termsim::OrderOutcome outcome;
    outcome.finishes = false;  // the dialog says it is sending until the test has looked
    p.terminal().setOutcome(outcome);
    frmFloat& f = *p.panel("EURUSD");
    f.Confirm(false);
    f.SL(30);
    f.TP(50);
    p.act([&] { f.Buy(); });
    ASSERT_TRUE(f.OrderWatching());
    EXPECT_TRUE(p.runUntil([&] { return p.tipText() == "正在发送定单..."; })) << p.tipText();
    EXPECT_FALSE(testing_support::writeSnapshot("orders_terminal_dialog").empty());
    p.terminal().finishPendingOrder();
    ASSERT_TRUE(p.runUntil([&] { return !f.OrderWatching(); }));
    EXPECT_EQ(p.terminal().orders()[0].takeProfit, "1.23956");
}

TEST(QuickOrders, TheDefaultsBalloonSpinsInPointsAndStoresOnlyAChange) {
    Program p;
    struct Case {
        const char* symbol;
        int factor;
    };
    for (const Case& c : {Case{"EURUSD", 10}, Case{"USDJPY", 1}}) {
        SCOPED_TRACE(c.symbol);
        frmFloat& f = *p.panel(c.symbol);
        f.SL(30);
        f.TP(50);
        f.Confirm(true);
        // Closing without a change stores nothing.
        p.act([&] { f.OrderSet(); });
        auto w = frmOrderSet::Instance();
        ASSERT_FALSE(w->Busy());
        cUpDown& sl = *w->SLUD();
        EXPECT_EQ(sl.Position(), 30 * c.factor);
        EXPECT_EQ(sl.SmallChange(), c.factor);
        EXPECT_EQ(sl.LargeChange(), 10 * c.factor);
        EXPECT_EQ(sl.Upper(), 1000 * c.factor);
        EXPECT_EQ(w->TPUD()->Position(), 50 * c.factor);
        EXPECT_EQ(sl.BuddyhWnd(), w->SLValue());
        EXPECT_TRUE(w->PageDocument().all("Confirm").checked());
        ASSERT_NE(w->BalloonForm(), nullptr);
        p.act([&] { w->BalloonForm()->BalloonClose(); });
        EXPECT_FALSE(Config().isExist("QuickOrder", c.symbol));

        // A changed distance is applied at once and stored with all four values.
        p.act([&] { f.OrderSet(); });
        w = frmOrderSet::Instance();
        w->SLUD()->Position(45 * c.factor);
        w->PageDocument().all("Confirm").checked(false);
        p.act([&] { w->BalloonForm()->BalloonClose(); });
        EXPECT_EQ(f.SL(), 45);
        EXPECT_EQ(f.TP(), 50);
        EXPECT_FALSE(f.Confirm());
        ASSERT_TRUE(Config().isExist("QuickOrder", c.symbol));
        const std::string node = std::string("QuickOrder/") + c.symbol;
        EXPECT_EQ(Config().GetNodeAttrib(node, "SL"), "45");
        EXPECT_EQ(Config().GetNodeAttrib(node, "TP"), "50");
        EXPECT_EQ(Config().GetNodeAttrib(node, "Confirm"), "0");
        EXPECT_EQ(Config().GetNodeAttrib(node, "Volume"), f.Volume());
    }
}

TEST(QuickOrders, ThePanelsContextMenu) {
    Program p;
    frmFloat& f = *p.panel("GBPUSD");
    auto rightClickOn = [&](const char* id, win::UINT choice) {
        p.act([&] {
            f.PageDocument().execScript(std::string("document.getElementById('") + id +
                                        "').dispatchEvent(new MouseEvent('mousedown', {bubbles: true}))");
        });
        win::clearTrackedMenus();
        if (choice) win::queueMenuChoice(choice);
        else win::queueMenuDismiss();
        bool result = true;
        p.act([&] { result = f.WebDoc_oncontextmenu(); });
        EXPECT_FALSE(result);
        const auto menus = win::trackedMenus();
        return menus.empty() ? win::TrackedMenu{} : menus.back();
    };
    // On a head icon: the four actions of the centre icons, the current one marked.
    f.IconEvent(2);
    win::TrackedMenu head = rightClickOn("iBid", 4);
    ASSERT_EQ(head.items.size(), 5u);
    EXPECT_EQ(head.owner, f.hWnd());
    EXPECT_EQ(head.items[3].text, "启用快捷下单");
    EXPECT_TRUE(head.items[3].flags & win::MF_CHECKED);
    EXPECT_EQ(f.IconEvent(), 3);
    EXPECT_EQ(p.el(f, "iBid").title(), "下MT4新定单");
    // Anywhere else: the main window's whole menu.
    win::TrackedMenu whole = rightClickOn("Price", 0);
    EXPECT_EQ(whole.owner, MainForm->hWnd());
    EXPECT_GE(whole.items.size(), 18u);
    // The terminal-closed overlay up: no menu at all.
    f.MT4Loading(false);
    f.MT4Close(true);
    ASSERT_TRUE(p.shown(f, "iClose"));
    win::clearTrackedMenus();
    p.act([&] { EXPECT_FALSE(f.WebDoc_oncontextmenu()); });
    EXPECT_TRUE(win::trackedMenus().empty());
}
