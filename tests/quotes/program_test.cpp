// The program with its real panels: the core opens the saved panels on the first quotes and
// feeds them from the simulated terminal.
#include "app/ProgramWindows.h"
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "core/frmSysTray.h"
#include "platform/browser/BrowserHost.h"
#include "platform/browser/Page.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Tray.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Strings.h"
#include "platform/speech/SpVoice.h"
#include "platform/system/Process.h"
#include "quotes/frmFloat.h"
#include "quotes/frmQuote.h"
#include "toolkit/cls_Config.h"
#include "quotes/frmTerminal.h"
#include "support/PriceTicks.h"
#include "support/Snapshot.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"
#include "tools/demomachine/DemoSettings.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>


namespace {


using namespace m_Main;

struct Program {
    testing_support::TestMachine m;
    testing_support::PriceTicks ticks;

    Program() {
        EndProgram();
        speech::installSpeechService(*m);
        termsim::Terminal::install(*m, "C:\\Program Files\\MetaTrader 4");
        testing_support::installProgram(*m);
        InstallWindows(ticks.trace());
    }
    ~Program() { EndProgram(); }
    // Runs the program, giving the browser its real time.
    bool runUntil(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    void runFor(uint64_t ms) { m.runForReal(ms); }
    bool nextTick() { return ticks.next(m); }
    frmFloat* panel(const std::string& symbol) {
        auto* p = FloatForms.Find(symbol);
        return p ? dynamic_cast<frmFloat*>(p->get()) : nullptr;
    }
    std::string text(frmFloat& p, const std::string& id) { return p.PageDocument().all(id).innerText(); }
    bool shown(frmFloat& p, const std::string& id) { return p.PageDocument().all(id).style().display().empty(); }
};

TEST(PanelsInTheProgram, SavedPanelsOpenAndFollowTheTerminal) {
    Program p;
    ASSERT_TRUE(Main());
    ASSERT_TRUE(p.runUntil([&] { return FloatForms.Count() == 2; }));
    frmFloat* eur = p.panel("EURUSD");
    frmFloat* gbp = p.panel("GBPUSD");
    ASSERT_NE(eur, nullptr);
    ASSERT_NE(gbp, nullptr);
    EXPECT_FALSE(eur->Busy());
    EXPECT_EQ(eur->Mode(), 0);
    EXPECT_EQ(gbp->Mode(), 1);
    EXPECT_TRUE(p.shown(*gbp, "trPrice"));
    EXPECT_FALSE(p.shown(*gbp, "TrBidAsk"));
    EXPECT_EQ(p.text(*eur, "Symbol"), "EURUSD");
    EXPECT_EQ(eur->Left(), 760 * 15);
    EXPECT_TRUE(win::GetWindowLong(eur->hWnd(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);

    // Every tick the page shows the record's digits; the five-digit quotes keep their small pip.
    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_TRUE(p.nextTick());
        auto rec = *Quotes.Find("EURUSD");
        ASSERT_EQ(rec->BID().size(), 7u) << rec->BID();
        EXPECT_EQ(p.text(*eur, "Bid"), forms::Mid(rec->BID(), 5, 2));
        EXPECT_EQ(p.text(*eur, "Ask"), forms::Mid(rec->ASK(), 5, 2));
        EXPECT_EQ(p.text(*eur, "iBidSub"), forms::Right(rec->BID(), 1));
        EXPECT_EQ(p.text(*eur, "HeadBid"), forms::Left(rec->BID(), 4));
        EXPECT_TRUE(eur->PriceSUB());
        EXPECT_EQ(win::windowText(eur->hWnd()).rfind("报价 ", 0), 0u);
    }
    EXPECT_NE(win::windowText(eur->hWnd()), "报价 ");
    // On screen: the icon window with its face (the red pennant, not a plain square) and the
    // panels' pages showing their prices (not the window colour).
    const auto shot = testing_support::takeSnapshot("quotes_program_panels");
    ASSERT_TRUE(shot);
    win::RECT icon{}, panel{};
    win::GetWindowRect(MainForm->hWnd(), &icon);
    win::GetWindowRect(eur->hWnd(), &panel);
    EXPECT_EQ(icon.right - icon.left, 36);
    const uint32_t flag = shot->at(icon.left + 18, icon.top + 10);
    EXPECT_GT((flag >> 16) & 0xFF, 0xA0u) << std::hex << flag;
    EXPECT_LT((flag >> 8) & 0xFF, 0x80u) << std::hex << flag;
    int differs = 0;
    for (int y = panel.top + 30; y < panel.bottom - 5; y += 3)
        for (int x = panel.left + 5; x < panel.right - 5; x += 3) differs += shot->at(x, y) != 0xECE9D8u;
    EXPECT_GT(differs, 100);

    // The terminal ends: the panels show it closed.
    const win::HANDLE h = win::OpenProcess(win::PROCESS_TERMINATE, 0, TerminalPid);
    win::TerminateProcess(h, 1);
    win::CloseHandle(h);
    ASSERT_TRUE(p.runUntil([&] { return !TerminalReady; }));
    EXPECT_TRUE(p.runUntil([&] { return p.shown(*eur, "iClose") && p.shown(*eur, "iOverlay") && p.shown(*gbp, "iClose"); }));
    win::clearMessageBoxes();
}

TEST(PanelsInTheProgram, TheTerminalPanelWindowBerthedAtTheBottom) {
    Program p;
    ASSERT_TRUE(Main());
    ASSERT_TRUE(p.runUntil([&] { return FloatForms.Count() == 2; }));
    ASSERT_TRUE(p.nextTick());  // the panels show live quotes
    MainForm->m_frmSysTray_MenuClick("Terminal");
    ASSERT_TRUE(TerminalWindowOpen);
    auto* w = dynamic_cast<frmTerminal*>(TerminalForm());
    ASSERT_NE(w, nullptr);
    const win::HWND h = w->hWnd();
    win::RECT r{};
    win::GetWindowRect(h, &r);
    const int height = r.bottom - r.top, screenH = p.m->screenHeight();
    // Dragged down against the bottom edge, it snaps flush there.
    win::SetCursorPos(r.left + 50, r.top + 8);
    win::queueMoveSize({{r.left + 250, screenH - height + 48}});
    win::SendMessage(h, win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTCAPTION), 0);
    ASSERT_TRUE(w->BerthOn());
    win::GetWindowRect(h, &r);
    EXPECT_EQ(r.bottom, screenH);
    EXPECT_FALSE(testing_support::writeSnapshot("terminal_window_bottom_in").empty());
    // The cursor leaves it: it slides out and leaves a strip of 3 pixels.
    win::SetCursorPos(700, 100);
    EXPECT_TRUE(p.runUntil([&] {
        win::GetWindowRect(h, &r);
        return r.top == screenH - 3;
    }));
    EXPECT_FALSE(testing_support::writeSnapshot("terminal_window_bottom_out").empty());
}

TEST(PanelsInTheProgram, TheQuoteBoardFromTheTrayFollowsTheTerminal) {
    Program p;
    ASSERT_TRUE(Main());
    ASSERT_TRUE(p.runUntil([&] { return FloatForms.Count() == 2; }));
    MainForm->m_frmSysTray_MenuClick("FXQuote");
    ASSERT_TRUE(QuoteBoardOpen);
    auto* board = dynamic_cast<frmQuote*>(QuoteBoardForm());
    ASSERT_NE(board, nullptr);
    ASSERT_TRUE(board->Visible());
    const web::HTMLDocument doc = board->PageDocument();
    auto cell = [&](const std::string& id) { return doc.all(id).innerText(); };
    ASSERT_GE(SymbolList.size(), 3u);

    // Every tick the price loop writes what moved; between ticks the visible rows show the records.
    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_TRUE(p.nextTick());
        int checked = 0;
        for (const std::string& symbol : SymbolList) {
            auto rec = *Quotes.Find(symbol);
            if (doc.all("fx_bid_" + symbol).offsetTop() > 200) break;
            EXPECT_EQ(cell("fx_bid_" + symbol), rec->BID()) << symbol;
            EXPECT_EQ(cell("fx_ask_" + symbol), rec->ASK()) << symbol;
            ++checked;
        }
        EXPECT_GE(checked, 3);
        EXPECT_EQ(win::windowText(board->hWnd()).rfind("实时报价 ", 0), 0u);
    }
    EXPECT_FALSE(testing_support::writeSnapshot("quote_board_vertical").empty());

    // The board's menu switches it to the horizontal layout.
    win::queueMenuChoice(100);
    const web::json at = doc.execScript(
        "(function(){var b=document.getElementById('fx_sym_' + " + web::json(SymbolList[1]).dump() +
        ").getBoundingClientRect();return JSON.stringify([Math.round(b.left+5),Math.round(b.top+5)]);})()");
    const web::json xy = web::json::parse(at.get<std::string>());
    for (const char* type : {"mouseMoved", "mousePressed", "mouseReleased"})
        board->Browser()->page()->call("Input.dispatchMouseEvent", {{"type", type}, {"x", xy[0]}, {"y", xy[1]},
                                                                    {"button", "right"}, {"clickCount", 1}});
    ASSERT_TRUE(p.runUntil([&] { return board->Horizontal() && !board->Busy(); }));
    ASSERT_TRUE(p.nextTick());
    const std::string first = SymbolList[0];
    EXPECT_EQ(cell("fx_pri_" + first), (*Quotes.Find(first))->Price());
    EXPECT_FALSE(testing_support::writeSnapshot("quote_board_horizontal").empty());

    // The tray command closes a board that is not berthed.
    MainForm->m_frmSysTray_MenuClick("FXQuote");
    EXPECT_FALSE(QuoteBoardOpen);
    EXPECT_FALSE(board->IsLoaded());
    EXPECT_EQ(Config().GetNodeAttrib("Window/FXQuote", "Style"), "-");
}

TEST(PanelsInTheProgram, ARightClickOnTheBoardUnderTheLoadingSignShowsTheVeilMenu) {
    Program p;
    // The terminal has no server time yet, so the program keeps it loading.
    termsim::TerminalOptions slow;
    slow.connectDelayMs = 3600 * 1000;
    termsim::Terminal::configure(*p.m, "C:\\Program Files\\MetaTrader 4\\terminal.exe", slow);
    // Moved clear of the board, as a user would, so the board's cells can be clicked.
    testing_support::setSettingsAttrib("Window/Terminal", "Top", "420");
    ASSERT_TRUE(Main());
    ASSERT_TRUE(p.runUntil([&] { return FloatForms.Count() == 2; }));
    auto fromTray = [&](const char* caption) {
        win::queueMenuChoice(caption);
        const win::HWND tray = MainForm->m_FrmSysTray->hWnd();
        win::trayMouse(tray, frmSysTray::kIconId, win::WM_RBUTTONDOWN);
        win::trayMouse(tray, frmSysTray::kIconId, win::WM_RBUTTONUP);
    };
    fromTray("实时报价(Q)...");
    auto* board = dynamic_cast<frmQuote*>(QuoteBoardForm());
    ASSERT_NE(board, nullptr);
    fromTray("弹出MT4终端(R)");
    ASSERT_TRUE(TerminalWindowOpen);
    ASSERT_TRUE(board->ShownLayers().loadingPicture);

    const web::json at = board->PageDocument().execScript(
        "(function(){var b=document.getElementById(" + web::json("fx_bid_" + SymbolList[0]).dump() +
        ").getBoundingClientRect();return JSON.stringify([Math.round(b.left+b.width/2),Math.round(b.top+b.height/2)]);})()");
    const web::json xy = web::json::parse(at.get<std::string>());
    win::POINT cell{xy[0].get<int>(), xy[1].get<int>()};
    win::ClientToScreen(board->Browser()->serverHwnd(), &cell);
    ASSERT_EQ(win::WindowFromPoint(cell), board->Browser()->serverHwnd());
    win::clearTrackedMenus();
    win::queueMenuDismiss();
    win::mouseClick(cell.x, cell.y, win::MouseButton::Right);
    ASSERT_TRUE(p.runUntil([&] { return !win::trackedMenus().empty(); }));
    std::vector<win::UINT> ids;
    const auto menus = win::trackedMenus();
    for (const auto& item : menus[0].items) ids.push_back(item.id);
    EXPECT_EQ(ids, (std::vector<win::UINT>{100, 200, 88, 300, 88, 500}));
    EXPECT_TRUE(board->ShownLayers().loadingPicture);
}

TEST(PanelsInTheProgram, TheDemoMachinesWindowsLieSideBySide) {
    Program p;
    const auto demo = demoSettings(testing_support::shippedSettings());
    ASSERT_TRUE(demo);
    ASSERT_TRUE(p.m->writeFileAtomic(testing_support::kProgramSettings, *demo));
    ASSERT_TRUE(Main());
    // The board fits itself to its table once its page is complete.
    const auto fitted = [] {
        auto* board = dynamic_cast<frmQuote*>(QuoteBoardForm());
        if (!board || board->Busy()) return false;
        win::RECT client{};
        win::GetClientRect(board->hWnd(), &client);
        return client.bottom - client.top == board->PageDocument().all("HLayout").offsetHeight();
    };
    ASSERT_TRUE(p.runUntil([&] {
        return FloatForms.Count() == 2 && QuoteBoardOpen && TerminalWindowOpen && FXNotifyForm() &&
               FXNotifyForm()->Visible() && fitted();
    }));
    std::vector<std::pair<std::string, win::HWND>> windows = {
        {"icon", MainForm->hWnd()}, {"board", QuoteBoardForm()->hWnd()}, {"terminal", TerminalForm()->hWnd()},
        {"notices", FXNotifyForm()->hWnd()}};
    for (const std::string symbol : {"EURUSD", "GBPUSD"}) windows.emplace_back(symbol, p.panel(symbol)->hWnd());
    const win::RECT screen{0, 0, p.m->screenWidth(), p.m->screenHeight()};
    for (size_t i = 0; i < windows.size(); ++i) {
        win::RECT a{};
        win::GetWindowRect(windows[i].second, &a);
        EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= screen.right && a.bottom <= screen.bottom) << windows[i].first;
        for (size_t j = i + 1; j < windows.size(); ++j) {
            win::RECT b{};
            win::GetWindowRect(windows[j].second, &b);
            const bool apart = a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top;
            EXPECT_TRUE(apart) << windows[i].first << " and " << windows[j].first;
        }
    }
    EXPECT_TRUE(dynamic_cast<frmQuote*>(QuoteBoardForm())->Horizontal());
    EXPECT_FALSE(testing_support::writeSnapshot("demo_machine_windows").empty());
    win::clearMessageBoxes();
}

} // namespace

TEST(PanelsInTheProgram, ABrowserThatDiesKeepsThePanelsSavedAtExit) {
    Program p;
    ASSERT_TRUE(Main());
    ASSERT_TRUE(p.runUntil([&] { return FloatForms.Count() == 2; }));
    frmFloat* eur = p.panel("EURUSD");
    ASSERT_NE(eur, nullptr);
    eur->Voice(true);
    eur->OrderBAR(true);
    const bool gbpVoice = p.panel("GBPUSD")->Voice(), gbpBar = p.panel("GBPUSD")->OrderBAR();

    const auto browser = web::BrowserHost::of(*p.m).browserIfRunning();
    ASSERT_TRUE(browser);
    ::kill(browser->pid(), SIGKILL);
    ASSERT_TRUE(p.runUntil([&] { return !browser->alive(); }));
    p.runFor(500);

    MainForm->m_frmSysTray_MenuClick("Exit");  // an error box would fail the test: none is scripted
    EXPECT_TRUE(p.runUntil([] { return MainForm == nullptr; }));
    ASSERT_TRUE(Config().Initialize());
    std::map<std::string, std::pair<std::string, std::string>> saved;
    for (pugi::xml_node item : Config().FloatList())
        saved[item.attribute("Symbol").value()] = {item.attribute("Voice").value(), item.attribute("QuickOrder").value()};
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved["EURUSD"], std::make_pair(std::string("1"), std::string("1")));
    EXPECT_EQ(saved["GBPUSD"], std::make_pair(std::string(gbpVoice ? "1" : "0"), std::string(gbpBar ? "1" : "0")));
    win::clearMessageBoxes();
}

TEST(PanelsInTheProgram, ABrowserThatDiesIsStartedAgainAndThePanelsShowQuotes) {
    Program p;
    ASSERT_TRUE(Main());
    ASSERT_TRUE(p.runUntil([&] { return FloatForms.Count() == 2; }));
    frmFloat* eur = p.panel("EURUSD");
    frmFloat* gbp = p.panel("GBPUSD");
    ASSERT_NE(eur, nullptr);
    ASSERT_NE(gbp, nullptr);
    ASSERT_TRUE(p.runUntil([&] { return !eur->Busy() && !gbp->Busy(); }));
    eur->Voice(true);
    eur->OrderBAR(true);
    eur->Volume("0.3");
    const int gbpMode = gbp->Mode();

    auto& host = web::BrowserHost::of(*p.m);
    const auto browser = host.browserIfRunning();
    ASSERT_TRUE(browser);
    ::kill(browser->pid(), SIGKILL);
    ASSERT_TRUE(p.runUntil([&] { return host.restarts() >= 1; }));
    auto reloaded = [&](frmFloat& f) {
        try {
            return !f.Busy() && !p.text(f, "Symbol").empty();
        } catch (const std::exception&) {
            return false;
        }
    };
    ASSERT_TRUE(p.runUntil([&] { return reloaded(*eur) && reloaded(*gbp); }));
    ASSERT_TRUE(p.nextTick());

    // The new pages show the panels as they were, with the terminal's current quotes.
    auto rec = *Quotes.Find("EURUSD");
    EXPECT_EQ(p.text(*eur, "Symbol"), "EURUSD");
    EXPECT_EQ(p.text(*eur, "Bid"), forms::Mid(rec->BID(), 5, 2));
    EXPECT_TRUE(p.shown(*eur, "iVoiceSet"));
    EXPECT_TRUE(p.shown(*eur, "OrderBAR"));
    EXPECT_EQ(eur->Volume(), "0.3");
    EXPECT_EQ(gbp->Mode(), gbpMode);
    EXPECT_TRUE(p.shown(*gbp, "trPrice"));
    EXPECT_FALSE(p.shown(*gbp, "TrBidAsk"));
    win::clearMessageBoxes();
}
