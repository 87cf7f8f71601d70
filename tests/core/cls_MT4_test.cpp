// The terminal bridge against the simulated terminal: locating it, reading its Market Watch into
// Quotes, the order dialog, running terminals and closing.
#include "QuoteWindowDoubles.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"

#include "platform/desktop/Win.h"
#include "platform/system/Process.h"

#include <gtest/gtest.h>

using termsim::CloseBehaviour;
using termsim::Terminal;
using termsim::TerminalOptions;
using Rows = std::vector<std::vector<std::string>>;

namespace {

struct BridgeTest : ::testing::Test {
    testing_support::TestMachine m;
    cls_MT4 bridge;
    std::string exe;
    uint32_t pid = 0;
    std::shared_ptr<QuoteBoardDouble> board;
    int boardShows = 0;

    void SetUp() override {
        m_Main::Quotes.Clear();
        m_Main::SymbolList.clear();
        m_Main::HasHighLow = false;
        m_Main::QuoteBoardOpen = false;
        m_Main::ReleaseQuoteBoard();
        board = std::make_shared<QuoteBoardDouble>();
        m_Main::NewQuoteBoard = [this] { return board; };
        m_Main::ShowQuoteFrm = [this] {
            if (m_Main::QuoteBoardOpen) return;
            ++boardShows;
            m_Main::QuoteBoardForm()->Show();
        };
    }
    void TearDown() override {
        if (m_Main::QuoteBoardOpen) board->Unload();
        m_Main::ReleaseQuoteBoard();
        m_Main::NewQuoteBoard = nullptr;
        m_Main::ShowQuoteFrm = nullptr;
        m_Main::Quotes.Clear();
        m_Main::SymbolList.clear();
    }

    void start(TerminalOptions options = {}, const std::string& folder = "C:\\Program Files\\MetaTrader 4",
               int show = win::SW_SHOWMAXIMIZED) {
        exe = Terminal::install(*m, folder, std::move(options));
        pid = sys::ProcessTable::of(*m).start(exe, "", show).pid;
        ASSERT_NE(pid, 0u);
        m->runFor(50);
        ASSERT_NE(terminal(), nullptr);
    }
    Terminal* terminal() { return Terminal::find(*m, pid); }
    void openBoard() {
        m_Main::ShowQuoteFrm();
        ASSERT_TRUE(m_Main::QuoteBoardOpen);
    }
    // Fixed rows for one read.
    bool read(const Rows& rows, int columns) {
        terminal()->setRows(rows, columns);
        return bridge.GetQuote();
    }
    std::vector<std::string> quoteOrder() {
        std::vector<std::string> out;
        for (auto& q : m_Main::Quotes) out.push_back(q->SymBol());
        return out;
    }
};

} // namespace

TEST_F(BridgeTest, LocatesTheTerminalWithItsPanelsDockedFloatingOrClosed) {
    struct Case { bool floating, watchShown, terminalShown; int show = win::SW_SHOWMAXIMIZED; };
    const Case cases[] = {{false, true, true}, {false, false, false}, {true, true, true}, {true, false, true},
                          {true, false, true, win::SW_SHOWMINNOACTIVE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "floating " << c.floating << " watch " << c.watchShown
                                          << " terminal " << c.terminalShown);
        TerminalOptions o;
        o.marketWatchFloating = c.floating;
        o.marketWatchVisible = c.watchShown;
        o.terminalPanelVisible = c.terminalShown;
        start(o, "C:\\Program Files\\MetaTrader 4", c.show);
        cls_MT4 b;
        ASSERT_TRUE(b.CheckkMT4(0));
        // A minimised terminal is restored to take the shortcut.
        EXPECT_EQ(win::IsIconic(terminal()->mainWindow()) != 0, c.show == win::SW_SHOWMINNOACTIVE && c.watchShown);
        EXPECT_EQ(b.Mt4Hwnd(), terminal()->mainWindow());
        EXPECT_EQ(b.marketWatchList(), terminal()->marketWatchList());
        EXPECT_EQ(b.TerminalHwnd(), terminal()->terminalPanel());
        EXPECT_TRUE(b.MT4Enable());
        // A panel opened for finding it is closed again.
        EXPECT_EQ(win::IsWindowVisible(terminal()->marketWatch()) != 0, c.watchShown);
        EXPECT_TRUE(b.GetQuote());
        EXPECT_EQ(win::SendMessage(terminal()->mainWindow(), win::WM_CLOSE, 0, 0), 0);
        m->runFor(10);
    }
}

// The shortcut that shows a hidden panel is typed only into the terminal: a window that keeps
// the foreground gets no keys, and the panel is then not found.
TEST_F(BridgeTest, ShortcutsOnlyReachTheTerminalInFront) {
    TerminalOptions o;
    o.marketWatchFloating = true;  // a hidden floating panel is found only through its shortcut
    o.marketWatchVisible = false;
    start(o);
    int keysToThief = 0;
    win::HWND thief = 0;
    {
        sys::ProcessScope scope(pid);
        win::WNDCLASS wc;
        wc.lpszClassName = "Thief";
        wc.lpfnWndProc = win::registerWndProc([&](win::HWND h, win::UINT msg, win::WPARAM w, win::LPARAM l) {
            if (msg == win::WM_ACTIVATE && (w & 0xFFFF) == win::WA_INACTIVE) win::SetForegroundWindow(h);
            if (msg == win::WM_KEYDOWN || msg == win::WM_SYSKEYDOWN) ++keysToThief;
            return win::DefWindowProc(h, msg, w, l);
        });
        win::RegisterClass(wc);
        thief = win::CreateWindowEx(0, "Thief", "thief", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE, 0, 0, 100, 100, 0);
    }
    win::SetForegroundWindow(thief);
    EXPECT_FALSE(bridge.CheckkMT4(0));
    EXPECT_EQ(keysToThief, 0);
    EXPECT_FALSE(win::IsWindowVisible(terminal()->marketWatch()));

    {
        sys::ProcessScope scope(pid);
        win::DestroyWindow(thief);
    }
    EXPECT_TRUE(bridge.CheckkMT4(0));
}

TEST_F(BridgeTest, NoTerminalNoList) {
    EXPECT_FALSE(bridge.CheckkMT4(0));
    EXPECT_FALSE(bridge.MT4Enable());
    EXPECT_EQ(bridge.Mt4Hwnd(), 0);
    EXPECT_FALSE(bridge.GetQuote());
    EXPECT_EQ(bridge.MT4Time(), "");
    EXPECT_TRUE(m_Main::Quotes.Count() == 0);
}

TEST_F(BridgeTest, ColumnLayouts) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    struct Case { int columns; const char *high, *low, *time; bool hasHighLow; };
    // Cells beyond symbol, bid and ask are labelled by their position so the test sees which was taken.
    const Case cases[] = {
        {3, "", "", "", false}, {4, "", "", "c3", false}, {5, "c3", "c4", "", true},
        {6, "c3", "c4", "c5", true}, {7, "", "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.columns);
        ASSERT_TRUE(read({{"EURUSD", "1.2345", "1.2347", "c3", "c4", "c5", "c6"}}, c.columns));
        auto& q = *m_Main::Quotes("EURUSD");
        EXPECT_EQ(q.BID(), "1.2345");
        EXPECT_EQ(q.ASK(), "1.2347");
        EXPECT_EQ(q.Max(), c.high);
        EXPECT_EQ(q.Min(), c.low);
        EXPECT_EQ(q.Time(), c.time);
        EXPECT_EQ(m_Main::HasHighLow, c.hasHighLow);
        EXPECT_TRUE(q.xFlag());
    }
}

TEST_F(BridgeTest, LayoutChangeSwitchesTheBoardsHighLowColumns) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    const Rows rows = {{"EURUSD", "1.2345", "1.2347", "1.2400", "1.2300", "12:00:00"}};
    ASSERT_TRUE(read(rows, 4));
    openBoard();
    ASSERT_TRUE(read(rows, 5));
    EXPECT_EQ(board->showMaxMin, 1);
    ASSERT_TRUE(read(rows, 5));
    EXPECT_EQ(board->showMaxMin, 1);
    ASSERT_TRUE(read(rows, 4));
    EXPECT_EQ(board->hideMaxMin, 1);
}

TEST_F(BridgeTest, ReplacedSymbolIsAddedOldOneRemovedOrderKeptBoardRebuilt) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    ASSERT_TRUE(read({{"EURUSD", "1.1"}, {"GBPUSD", "1.2"}, {"USDJPY", "110.1"}}, 3));
    openBoard();
    const int shows = boardShows;
    ASSERT_TRUE(read({{"EURUSD", "1.1"}, {"AUDUSD", "0.7"}, {"USDJPY", "110.1"}}, 3));
    EXPECT_EQ(quoteOrder(), (std::vector<std::string>{"EURUSD", "AUDUSD", "USDJPY"}));
    EXPECT_EQ(m_Main::SymbolList, (std::vector<std::string>{"EURUSD", "AUDUSD", "USDJPY"}));
    EXPECT_EQ(board->unloads, 1);
    EXPECT_EQ(boardShows, shows + 1);
    EXPECT_TRUE(m_Main::QuoteBoardOpen);

    // Reordered rows: Quotes follows the Market Watch.
    ASSERT_TRUE(read({{"USDJPY", "110.1"}, {"EURUSD", "1.1"}, {"AUDUSD", "0.7"}}, 3));
    EXPECT_EQ(quoteOrder(), (std::vector<std::string>{"USDJPY", "EURUSD", "AUDUSD"}));
}

TEST_F(BridgeTest, StaleRecordsGoByWholeSymbol) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    ASSERT_TRUE(read({{"EUR", "1.1"}, {"GBPUSD", "1.2"}}, 3));
    ASSERT_TRUE(read({{"EURUSDm", "1.1"}, {"GBPUSD", "1.2"}}, 3));
    EXPECT_EQ(quoteOrder(), (std::vector<std::string>{"EURUSDm", "GBPUSD"}));
    EXPECT_EQ(m_Main::Quotes.Find("EUR"), nullptr);
}

TEST_F(BridgeTest, RowsAddedAndRemovedRebuild) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    ASSERT_TRUE(read({{"EURUSD", "1.1"}, {"GBPUSD", "1.2"}}, 3));
    auto eur = *m_Main::Quotes.Find("EURUSD");
    openBoard();

    ASSERT_TRUE(read({{"EURUSD", "1.1"}, {"GBPUSD", "1.2"}, {"USDCHF", "0.9"}}, 3));
    EXPECT_EQ(m_Main::SymbolList.size(), 3u);
    EXPECT_EQ(quoteOrder(), (std::vector<std::string>{"EURUSD", "GBPUSD", "USDCHF"}));
    EXPECT_EQ(board->unloads, 1);
    // Records of symbols still listed are kept, with their voice settings.
    EXPECT_EQ(m_Main::Quotes.Find("EURUSD")->get(), eur.get());

    ASSERT_TRUE(read({{"USDCHF", "0.9"}, {"EURUSD", "1.1"}}, 3));
    EXPECT_EQ(m_Main::SymbolList, (std::vector<std::string>{"USDCHF", "EURUSD"}));
    EXPECT_EQ(m_Main::Quotes.Find("GBPUSD"), nullptr);
    EXPECT_EQ(m_Main::Quotes.Count(), 2);
    EXPECT_EQ(board->unloads, 2);
    EXPECT_TRUE(m_Main::QuoteBoardOpen);
}

TEST_F(BridgeTest, SymbolListedTwiceUpdatesOneRecordAndLeavesTheBoardAlone) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    const Rows rows = {{"EURUSD", "1.1000"}, {"GBPUSD", "1.2"}, {"EURUSD", "1.1005"}};
    ASSERT_TRUE(read(rows, 3));
    openBoard();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(read(rows, 3));
    EXPECT_EQ(m_Main::Quotes.Count(), 2);
    EXPECT_EQ(m_Main::SymbolList, (std::vector<std::string>{"EURUSD", "GBPUSD", "EURUSD"}));
    EXPECT_EQ(m_Main::Quotes("EURUSD")->BID(), "1.1005");
    EXPECT_EQ(board->unloads, 0);

    // order takes the last row of the symbol.
    bridge.order("EURUSD");
    m->runFor(50);
    EXPECT_NE(terminal()->orderDialog(), 0);
    EXPECT_EQ(terminal()->rowState(2) & 3u, 3u);
    EXPECT_EQ(terminal()->rowState(0) & 2u, 0u);
}

TEST_F(BridgeTest, DirectionAcrossReadsComparesPricesAsNumbers) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    ASSERT_TRUE(read({{"XAUUSD", "9.99"}}, 3));
    ASSERT_TRUE(read({{"XAUUSD", "10.01"}}, 3));
    EXPECT_EQ(m_Main::Quotes("XAUUSD")->Direction(), 1);
    ASSERT_TRUE(read({{"XAUUSD", "10.01"}}, 3));
    EXPECT_EQ(m_Main::Quotes("XAUUSD")->Direction(), 0);
}

// An empty list is read as no quotes; an empty symbol fails the read.
TEST_F(BridgeTest, EmptyListReadsAsNoQuotesAndAnEmptySymbolFails) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    ASSERT_TRUE(read({{"EURUSD", "1.1"}, {"GBPUSD", "1.2"}}, 3));
    EXPECT_TRUE(read({}, 3));
    EXPECT_EQ(m_Main::Quotes.Count(), 0);
    EXPECT_TRUE(m_Main::SymbolList.empty());
    ASSERT_TRUE(read({{"EURUSD", "1.1"}, {"GBPUSD", "1.2"}}, 3));
    EXPECT_FALSE(read({{"EURUSD", "1.3"}, {"", "1.2"}}, 3));
    EXPECT_EQ(m_Main::Quotes("EURUSD")->BID(), "1.3");
}

TEST_F(BridgeTest, ServerTimeFromTheMarketWatchCaption) {
    TerminalOptions o;
    o.connectDelayMs = 5000;
    start(o);
    ASSERT_TRUE(bridge.CheckkMT4(0));
    EXPECT_EQ(bridge.MT4Time(), "");
    m->runFor(6000);
    const std::string shown = terminal()->serverTimeText();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(bridge.MT4Time(), terminal()->serverTimeText());
}

TEST_F(BridgeTest, OrderForAnUnlistedSymbolDoesNothing) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    ASSERT_TRUE(read({{"EURUSD", "1.1"}}, 3));
    bridge.order("eurusd");
    bridge.order("GBPUSD");
    m->runFor(50);
    EXPECT_EQ(terminal()->orderDialog(), 0);
    EXPECT_EQ(terminal()->rowState(0), 0u);
}

TEST_F(BridgeTest, TerminalThatClosesMidRead) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    ASSERT_TRUE(read({{"EURUSD", "1.1"}, {"GBPUSD", "1.2"}, {"USDJPY", "110.1"}}, 3));
    terminal()->setRows({{"EURUSD", "1.3"}, {"GBPUSD", "1.4"}, {"USDJPY", "110.2"}}, 3);

    // The terminal's list ends its process on the fifth cell asked for (the second row's bid).
    const win::HWND list = bridge.marketWatchList();
    int cells = 0;
    win::WNDPROC previous = 0;
    {
        sys::ProcessScope asTerminal(pid);
        const win::WNDPROC mine = win::registerWndProc([&](win::HWND h, win::UINT msg, win::WPARAM w, win::LPARAM l) {
            if (msg == 0x102D && ++cells == 5) {
                sys::ProcessTable::of(*m).terminate(pid, 1);
                return win::LRESULT{0};
            }
            return win::CallWindowProc(previous, h, msg, w, l);
        });
        previous = win::SetWindowLong(list, win::GWL_WNDPROC, mine);
        ASSERT_NE(previous, 0);
    }
    EXPECT_FALSE(bridge.GetQuote());
    // What was read before stays; nothing of the dead process is held.
    EXPECT_EQ(m_Main::Quotes("EURUSD")->BID(), "1.3");
    EXPECT_EQ(m_Main::Quotes("GBPUSD")->BID(), "1.2");
    EXPECT_EQ(sys::ProcessTable::of(*m).find(pid), nullptr);
    m->runFor(10);
    EXPECT_FALSE(bridge.MT4Enable());
    EXPECT_FALSE(bridge.GetQuote());
}

TEST_F(BridgeTest, ProgramFileOfAWindowsProcess) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    EXPECT_EQ(bridge.GetEXE(terminal()->mainWindow()), exe);
    int32_t id = 0;
    EXPECT_EQ(bridge.GetRuntimeMT4Path(id), exe);
    EXPECT_EQ(id, static_cast<int32_t>(pid));
    EXPECT_EQ(bridge.GetEXE(0), "unknown");
    int32_t none = 999999;
    EXPECT_EQ(bridge.GetRuntimeMT4Path(none), "unknown");
}

TEST_F(BridgeTest, RunningTerminalsAreListed) {
    start();
    EXPECT_FALSE(bridge.isMt4Multi());
    ASSERT_EQ(bridge.Mt4Multi().size(), 1u);
    const uint32_t first = pid;
    TerminalOptions other;
    other.account = "9000001";
    start(other, "C:\\Other\\MT4");
    EXPECT_TRUE(bridge.isMt4Multi());
    const auto list = bridge.Mt4Multi();
    ASSERT_EQ(list.size(), 2u);
    for (uint32_t p : {first, pid}) {
        const win::HWND h = Terminal::find(*m, p)->mainWindow();
        const std::string entry = win::windowText(h) + "|" + std::to_string(h);
        EXPECT_NE(std::find(list.begin(), list.end(), entry), list.end()) << entry;
    }
}

TEST_F(BridgeTest, CloseEndsTheTerminalWhateverItDoes) {
    struct Case { CloseBehaviour behaviour; const char* name; };
    const Case cases[] = {{CloseBehaviour::Close, "close"}, {CloseBehaviour::CloseLate, "late"},
                          {CloseBehaviour::Ignore, "ignore"}, {CloseBehaviour::Hang, "hang"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TerminalOptions o;
        o.onClose = c.behaviour;
        start(o);
        cls_MT4 b;
        ASSERT_TRUE(b.CheckkMT4(0));
        EXPECT_TRUE(b.CloseMT4());
        m->runFor(10);
        EXPECT_EQ(sys::ProcessTable::of(*m).find(pid), nullptr);
        EXPECT_EQ(b.Mt4Hwnd(), 0);
        EXPECT_FALSE(b.MT4Enable());
    }
}

TEST_F(BridgeTest, LiveTerminalReadEveryTickThenOrderAndClose) {
    start();
    ASSERT_TRUE(bridge.CheckkMT4(0));
    auto& book = terminal()->quotes();
    for (int tick = 0; tick < 5; ++tick) {
        ASSERT_TRUE(bridge.GetQuote());
        ASSERT_EQ(m_Main::SymbolList.size(), static_cast<size_t>(book.rowCount()));
        long i = 1;
        for (int r = 0; r < book.rowCount(); ++r) {
            EXPECT_EQ(m_Main::SymbolList[r], book.symbolAt(r));
            auto& q = m_Main::Quotes(i++);
            EXPECT_EQ(q->SymBol(), book.symbolAt(r));
            EXPECT_EQ(q->BID(), book.bidText(r));
            EXPECT_EQ(q->ASK(), book.askText(r));
        }
        m->runFor(1000);
    }
    const std::string symbol = book.symbolAt(1);
    bridge.order(symbol);
    m->runFor(50);
    ASSERT_NE(terminal()->orderDialog(), 0);
    bool forSymbol = false;
    win::EnumChildWindows(terminal()->orderDialog(), [&](win::HWND h, win::LPARAM) {
        forSymbol = forSymbol || (win::className(h) == "ComboBox" && win::windowText(h) == symbol);
        return win::TRUE;
    }, 0);
    EXPECT_TRUE(forSymbol) << symbol;
    EXPECT_TRUE(bridge.CloseMT4());
    m->runFor(10);
    EXPECT_FALSE(bridge.MT4Enable());
    EXPECT_FALSE(bridge.CheckkMT4(0));
}

TEST_F(BridgeTest, PanelDoubleLeavesFloatFormsWhenItUnloads) {
    auto panel = std::make_shared<FloatPanelDouble>();
    panel->ID("EURUSD");
    panel->Load();
    m_Main::FloatForms.Add(panel, "EURUSD");
    panel->iSUB(true);
    panel->UpdatePrice();
    EXPECT_TRUE(panel->subShown);
    EXPECT_FALSE(panel->subForced);
    EXPECT_EQ(panel->repaints, 1);
    panel->Unload();
    EXPECT_EQ(m_Main::FloatForms.Count(), 0);
}
