// The floating panels' context menu against the simulated terminal on a virtual clock: what the
// menu shows, and what each entry and each action key does.
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "QuoteWindowDoubles.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"

#include "platform/desktop/Menu.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Window.h"
#include "platform/forms/CallByName.h"
#include "platform/speech/SpVoice.h"

#include <gtest/gtest.h>

#include <functional>

using namespace m_Main;

namespace {

const char* kTerminalFolder = "C:\\Program Files\\MetaTrader 4";

// A panel double that also answers the members the menu calls by name.
struct Panel : FloatPanelDouble, forms::Dispatch {
    int orderSets = 0, orderErrors = 0;
    long left = 0, top = 0;
    const forms::MemberTable& memberTable() const override {
        static const auto table = forms::Members<Panel>()
                                      .method("OrderSet", [](Panel& p) { p.orderSets++; })
                                      .method("OrderError", [](Panel& p) { p.orderErrors++; });
        return table;
    }
};

struct TerminalWindow : TerminalPanelWindow {
    TerminalWindow() : TerminalPanelWindow("frmTerminal") {}
    bool BerthOn() override { return false; }
    void ReVisible() override {}

protected:
    void Form_Load() override { TerminalWindowOpen = true; }
    void Form_Unload(int&) override { TerminalWindowOpen = false; }
};

struct Program {
    testing_support::TestMachine m;
    std::vector<std::shared_ptr<Panel>> panels;

    explicit Program(termsim::TerminalOptions options = {}) {
        EndProgram();
        speech::installSpeechService(*m);
        termsim::Terminal::install(*m, kTerminalFolder, std::move(options));
        testing_support::installProgram(*m);
        NewFloatPanel = [this] {
            auto p = std::make_shared<Panel>();
            panels.push_back(p);
            return p;
        };
        NewTerminalWindow = [] { return std::make_shared<TerminalWindow>(); };
        LoadMainWindow = [] {
            MainForm = std::make_shared<frmMain>();
            MainForm->Load();
        };
        EXPECT_TRUE(Main());
        m->runFor(2000);
    }
    ~Program() {
        win::clearMessageBoxes();
        EndProgram();
    }
    termsim::Terminal& terminal() { return *termsim::Terminal::ofWindow(MT4().Mt4Hwnd()); }
    Panel* panel(const std::string& symbol) {
        auto* p = FloatForms.Find(symbol);
        return p ? static_cast<Panel*>(p->get()) : nullptr;
    }
    // The whole menu of a panel; the user picks the entry of that id (0: dismisses it).
    win::TrackedMenu menu(const std::string& symbol, win::UINT choice = 0) {
        if (choice) win::queueMenuChoice(choice);
        else win::queueMenuDismiss();
        win::clearTrackedMenus();
        MainForm->PopMenu(symbol, "");
        auto menus = win::trackedMenus();
        return menus.empty() ? win::TrackedMenu{} : menus.back();
    }
};

std::vector<termsim::SymbolSpec> manySymbols(int count) {
    std::vector<termsim::SymbolSpec> s = {{"EURUSD", 5, 1.08453, 12}, {"GBPUSD", 5, 1.26712, 18}};
    for (int i = 0; i < count; ++i) s.push_back({"SYM" + std::to_string(i + 1), 4, 1.5 + i, 10});
    return s;
}

} // namespace

TEST(PanelMenu, ShowsEveryEntryWithItsMarksAndTheFreeSymbols) {
    termsim::TerminalOptions options;
    options.symbols = manySymbols(12);
    Program p(options);
    ASSERT_NE(p.panel("EURUSD"), nullptr);
    SpeechFailed = true;
    Panel& eur = *p.panel("EURUSD");
    eur.iconEvent = 3;
    eur.border = false;
    (*Quotes.Find("EURUSD"))->VoiceEnable(true);

    const win::TrackedMenu shown = p.menu("EURUSD");
    EXPECT_EQ(shown.owner, MainForm->hWnd());
    struct Entry {
        const char* text;
        win::UINT id, flags;
    };
    const win::UINT sep = win::MF_SEPARATOR, on = win::MF_CHECKED, grey = win::MF_GRAYED;
    const Entry expected[] = {
        {"出价BID(&1)", 1, 0}, {"要价ASK(&2)", 2, 0}, {"出价/要价 - 点差PIP(&3)", 3, on}, {"", 100, sep},
        {"启用语音报价(&V)", 23, on | grey}, {"语音报价设置(&S)...", 25, grey}, {"", 100, sep},
        {"启用快捷下单(&T)", 90, on}, {"快捷下单设置(&G)...", 91, 0}, {"", 100, sep},
        {"下MT4新定单(&E)...", 41, 0}, {"弹出MT4终端(&R)", 42, 0}, {"隐藏MT4界面(&F)", 43, 0}, {"", 100, sep},
        {"点击中间图标(&N)", 0, 0}, {"隐藏窗口边框(&B)", 33, on}, {"", 100, sep},
        {"复制漂浮窗(&D)", 0, 0}, {"转换货币对(&C)", 0, 0}, {"", 100, sep}, {"关闭(&X)", 99, 0},
    };
    ASSERT_EQ(shown.items.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const auto& item = shown.items[i];
        EXPECT_EQ(item.text, expected[i].text);
        if (item.submenu.empty()) {
            EXPECT_EQ(item.id, expected[i].id);
        }
        EXPECT_EQ(item.flags & (sep | on | grey), expected[i].flags);
    }
    // The centre-icon submenu marks action 3 at its position 4.
    const auto& icons = shown.items[14].submenu;
    ASSERT_EQ(icons.size(), 5u);
    for (size_t i = 0; i < icons.size(); ++i) EXPECT_EQ((icons[i].flags & on) != 0, i == 4) << i;
    EXPECT_EQ(icons[0].text, "弹出功能菜单");
    EXPECT_EQ(icons[4].id, 83u);

    // Twelve free symbols: nine with accelerators, the rest bare; copies 101.., switches 1001..
    for (size_t s : {size_t(17), size_t(18)}) {
        const auto& list = shown.items[s].submenu;
        ASSERT_EQ(list.size(), 12u);
        const win::UINT base = s == 17 ? 100 : 1000;
        for (size_t n = 1; n <= 12; ++n) {
            const std::string symbol = "SYM" + std::to_string(n);
            EXPECT_EQ(list[n - 1].text, n <= 9 ? symbol + "\t&" + std::to_string(n) : symbol);
            EXPECT_EQ(list[n - 1].id, base + n);
        }
    }

    // Mode -1 marks the ask; the terminal window open and the terminal hidden are checked.
    eur.mode = -1;
    TerminalWindowOpen = true;
    win::ShowWindow(MT4().Mt4Hwnd(), win::SW_HIDE);
    const win::TrackedMenu again = p.menu("EURUSD");
    EXPECT_TRUE(again.items[1].flags & on);
    EXPECT_FALSE(again.items[0].flags & on);
    EXPECT_TRUE(again.items[11].flags & on);
    EXPECT_TRUE(again.items[12].flags & on);
}

TEST(PanelMenu, WithoutFreeSymbolsTheSymbolSubmenusAndTheirSeparatorAreLeftOut) {
    termsim::TerminalOptions options;
    options.symbols = manySymbols(0);
    Program p(options);
    ASSERT_EQ(FloatForms.Count(), 2);
    const win::TrackedMenu shown = p.menu("GBPUSD");
    ASSERT_EQ(shown.items.size(), 18u);
    EXPECT_EQ(shown.items[15].id, 33u);
    EXPECT_TRUE(shown.items[16].flags & win::MF_SEPARATOR);
    EXPECT_EQ(shown.items[17].id, 99u);
    // A symbol without a panel, or one that left the list, gets no menu.
    win::clearTrackedMenus();
    MainForm->PopMenu("USDJPY", "");
    MainForm->PopMenu("", "");
    EXPECT_TRUE(win::trackedMenus().empty());
}

TEST(PanelMenu, EveryEntryAndActionKeyDoesItsOwnThing) {
    struct Case {
        const char* name;
        win::UINT id;          // a menu choice, or 0 for the action key
        const char* action;
        std::function<void(Program&)> check;
    };
    const auto eur = [](Program& p) -> Panel& { return *p.panel("EURUSD"); };
    const Case cases[] = {
        {"bid", 1, "", [&](Program& p) {
             EXPECT_EQ(eur(p).mode, 1);
             EXPECT_EQ((*Quotes.Find("EURUSD"))->Price(), "1.23456");
             EXPECT_EQ(eur(p).texts["Price"], "1.2345");
             EXPECT_TRUE(eur(p).subShown && eur(p).subForced);
             EXPECT_EQ(eur(p).texts["iSUBValue"], "6|8");
         }},
        {"ask", 2, "", [&](Program& p) {
             EXPECT_EQ(eur(p).mode, -1);
             EXPECT_EQ((*Quotes.Find("EURUSD"))->Price(), "1.23478");
             EXPECT_EQ(eur(p).texts["Price"], "1.2347");
         }},
        {"both keeps the price mode", 3, "", [&](Program& p) {
             EXPECT_EQ(eur(p).mode, 0);
             EXPECT_EQ((*Quotes.Find("EURUSD"))->Price(), "1.23456");  // as the record had it
             EXPECT_EQ(eur(p).texts["HeadBid"], "1.23");
             EXPECT_EQ(eur(p).texts["BID"], "45");
             EXPECT_EQ(eur(p).texts["ASK"], "47");
             EXPECT_GT(eur(p).forcedRepaints, 0);
         }},
        {"voice", 23, "", [&](Program& p) {
             EXPECT_TRUE((*Quotes.Find("EURUSD"))->VoiceEnable());
             EXPECT_TRUE(eur(p).voice);
         }},
        {"voice key, speech failed", 0, "Voice", [&](Program& p) { EXPECT_TRUE(eur(p).voice); }},
        {"icon action", 82, "", [&](Program& p) { EXPECT_EQ(eur(p).iconEvent, 2); }},
        {"border", 33, "", [&](Program& p) { EXPECT_FALSE(eur(p).border); }},
        {"order bar", 90, "", [&](Program& p) { EXPECT_FALSE(eur(p).orderBar); }},
        {"order settings", 91, "", [&](Program& p) { EXPECT_EQ(eur(p).orderSets, 1); }},
        {"order settings key", 0, "OrderSet", [&](Program& p) { EXPECT_EQ(eur(p).orderSets, 1); }},
        {"hide terminal", 43, "", [&](Program&) { EXPECT_FALSE(win::IsWindowVisible(MT4().Mt4Hwnd())); }},
        {"hide terminal key", 0, "HideMT4", [&](Program&) { EXPECT_FALSE(win::IsWindowVisible(MT4().Mt4Hwnd())); }},
        {"terminal window", 42, "", [&](Program&) { EXPECT_TRUE(TerminalWindowOpen); }},
        {"terminal window key", 0, "Terminal", [&](Program&) { EXPECT_TRUE(TerminalWindowOpen); }},
        {"close", 99, "", [&](Program& p) {
             EXPECT_EQ(p.panel("EURUSD"), nullptr);
             EXPECT_NE(p.panel("GBPUSD"), nullptr);
         }},
        {"copy", 101, "", [&](Program& p) {
             ASSERT_NE(p.panel("USDJPY"), nullptr);
             EXPECT_NE(p.panel("EURUSD"), nullptr);
             EXPECT_EQ(p.panel("USDJPY")->mode, 0);
             EXPECT_EQ(p.panel("USDJPY")->iconEvent, 3);
         }},
        {"switch", 1002, "", [&](Program& p) {
             EXPECT_EQ(p.panel("EURUSD"), nullptr);
             ASSERT_NE(p.panel("AUDUSD"), nullptr);
             // Where the old panel stood (760, 120 pixels), with its settings.
             EXPECT_EQ(p.panel("AUDUSD")->Left(), 760 * 15);
             EXPECT_EQ(p.panel("AUDUSD")->Top(), 120 * 15);
             EXPECT_EQ(p.panel("AUDUSD")->iconEvent, 3);
         }},
        {"order dialog", 41, "", [&](Program& p) {
             const win::HWND d = MT4().OrderDialog();
             ASSERT_NE(d, 0);
             EXPECT_TRUE(win::GetWindowLong(d, win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
             EXPECT_EQ(eur(p).orderErrors, 0);
         }},
        {"order dialog key", 0, "Order", [&](Program&) { EXPECT_NE(MT4().OrderDialog(), 0); }},
        {"float shows a panel", 0, "Float", [&](Program& p) {
             EXPECT_TRUE(eur(p).Visible());
             EXPECT_TRUE(win::GetWindowLong(eur(p).hWnd(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
         }},
        {"unknown key", 0, "order", [&](Program& p) {
             EXPECT_EQ(eur(p).mode, 0);
             EXPECT_EQ(MT4().OrderDialog(), 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        termsim::TerminalOptions options;
        Program p(options);
        p.terminal().setRows({{"EURUSD", "1.23456", "1.23478"}, {"GBPUSD", "1.26712", "1.26730"},
                              {"USDJPY", "108.250", "108.270"}, {"AUDUSD", "0.65841", "0.65855"}},
                             3);
        p.m->runFor(1100);
        ASSERT_NE(p.panel("EURUSD"), nullptr);
        SpeechFailed = std::string(c.action) == "Voice";
        p.panel("EURUSD")->iconEvent = 3;
        if (c.id) p.menu("EURUSD", c.id);
        else MainForm->PopMenu("EURUSD", c.action);
        c.check(p);
    }
}

TEST(PanelMenu, FloatOpensAPanelInBidModeForASymbolWithoutOne) {
    Program p;
    ASSERT_EQ(p.panel("USDJPY"), nullptr);
    MainForm->PopMenu("USDJPY", "Float");
    Panel* jpy = p.panel("USDJPY");
    ASSERT_NE(jpy, nullptr);
    EXPECT_EQ(jpy->mode, 1);
    EXPECT_TRUE(jpy->border);
    EXPECT_FALSE(jpy->voice);
    EXPECT_FALSE(jpy->orderBar);
    EXPECT_EQ(jpy->iconEvent, 0);
}

TEST(PanelMenu, AcrossAPowerOfTenTheAskIsSplitByItsOwnLength) {
    Program p;
    p.terminal().setRows({{"EURUSD", "99.998", "100.002"}, {"GBPUSD", "1.26712", "1.26730"}}, 3);
    p.m->runFor(1100);
    Panel& eur = *p.panel("EURUSD");
    EXPECT_EQ(eur.texts["HeadBid"], "99");  // the price loop
    EXPECT_EQ(eur.texts["BID"], "99");
    EXPECT_EQ(eur.texts["HeadASK"], "100");
    EXPECT_EQ(eur.texts["ASK"], "00");
    p.menu("EURUSD", 2);
    EXPECT_EQ(eur.texts["Price"], "100.00");
    p.m->runFor(1000);
    EXPECT_EQ(eur.texts["Price"], "100.00");  // the next tick shows it the same way
    p.menu("EURUSD", 3);
    EXPECT_EQ(eur.texts["HeadASK"], "100");
    EXPECT_EQ(eur.texts["ASK"], "00");
}

TEST(PanelMenu, AnOrderDialogThatNeverOpensIsReportedOnlyForTheMenuEntry) {
    termsim::TerminalOptions options;
    options.outcome.opens = false;
    Program p(options);
    Panel& eur = *p.panel("EURUSD");
    // A dialog of another program titled the same is neither closed nor taken.
    const win::HWND stranger = win::CreateWindowEx(0, "#32770", "定单", win::WS_POPUP | win::WS_VISIBLE, 0, 0, 100,
                                                   100, 0);
    MainForm->PopMenu("EURUSD", "QuoteOrder");
    EXPECT_EQ(eur.orderErrors, 0);
    MainForm->PopMenu("EURUSD", "Order");
    EXPECT_EQ(eur.orderErrors, 1);
    EXPECT_TRUE(win::IsWindow(stranger));
    EXPECT_FALSE(win::GetWindowLong(stranger, win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
    // No panel for the symbol: nothing to report on.
    MainForm->PopMenu("USDJPY", "Order");
    win::DestroyWindow(stranger);
}

TEST(PanelMenu, ALeftOverDialogOfTheTerminalIsClosedBeforeTheNewOne) {
    Program p;
    MainForm->PopMenu("EURUSD", "Order");
    const win::HWND first = MT4().OrderDialog();
    ASSERT_NE(first, 0);
    MainForm->PopMenu("GBPUSD", "Order");
    EXPECT_FALSE(win::IsWindow(first));
    ASSERT_NE(MT4().OrderDialog(), 0);
    // While a quick order drives the dialog, the menu leaves it alone.
    const win::HWND current = MT4().OrderDialog();
    OrderRunning = true;
    MainForm->PopMenu("EURUSD", "Order");
    EXPECT_EQ(MT4().OrderDialog(), current);
}
