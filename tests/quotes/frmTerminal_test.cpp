// The window that holds the terminal's Terminal panel, in the running program against the
// simulated terminal on a virtual clock: taking the panel in and giving it back, the terminal's
// layout, closing with the terminal, berthing, and the saved place.
#include "quotes/frmTerminal.h"

#include "app/ProgramWindows.h"
#include "core/NeighbourWindows.h"
#include "core/cls_MT4.h"
#include "core/frmMain.h"
#include "platform/desktop/Win.h"
#include "platform/speech/SpVoice.h"
#include "platform/system/Process.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"
#include "toolkit/cls_Config.h"

#include <gtest/gtest.h>

using namespace m_Main;

namespace {

const char* const kTerminalFolder = "C:\\Program Files\\MetaTrader 4";
constexpr int kScreenW = 1280, kScreenH = 800;

win::RECT rectOf(win::HWND h) {
    win::RECT r{};
    win::GetWindowRect(h, &r);
    return r;
}

// A window's rectangle in its parent's client area.
win::RECT rectIn(win::HWND h) {
    win::RECT r = rectOf(h);
    win::POINT o{0, 0};
    win::ClientToScreen(win::GetAncestor(h, win::GA_PARENT), &o);
    return {r.left - o.x, r.top - o.y, r.right - o.x, r.bottom - o.y};
}

bool ownVisible(win::HWND h) { return win::GetWindowLong(h, win::GWL_STYLE) & win::WS_VISIBLE; }

// The program with the window installed, the terminal already running as the test started it.
struct Program {
    testing_support::TestMachine m;
    uint32_t pid = 0;

    explicit Program(int show = win::SW_SHOWNORMAL, termsim::TerminalOptions options = {}) {
        EndProgram();
        speech::installSpeechService(*m);
        const std::string exe = termsim::Terminal::install(*m, kTerminalFolder, std::move(options));
        testing_support::installProgram(*m);
        InstallWindows();
        NewFloatPanel = nullptr;  // the saved panels stay closed: no pages here
        pid = sys::ProcessTable::of(*m).start(exe, "", show).pid;
        m->runFor(50);
    }
    ~Program() { EndProgram(); }
    void start() {
        ASSERT_TRUE(Main());
        m->runFor(2000);
        ASSERT_TRUE(MT4().MT4Enable());
    }
    termsim::Terminal& terminal() { return *termsim::Terminal::find(*m, pid); }
    win::HWND panel() { return terminal().terminalPanel(); }
    win::HWND mainWindow() { return terminal().mainWindow(); }
    frmTerminal& window() { return *dynamic_cast<frmTerminal*>(TerminalForm()); }
    // The tray menu's command: opens the window, brings it in or closes it.
    void command() { MainForm->m_frmSysTray_MenuClick("Terminal"); }
    std::string saved(const char* name) { return Config().GetNodeAttrib("Window/Terminal", name); }
    // The user drags the window's caption so that its top-left corner ends at (x, y).
    void dragTo(int x, int y) {
        const win::RECT s = rectOf(window().hWnd());
        win::SetCursorPos(s.left + 50, s.top + 8);
        win::queueMoveSize({{x + 50, y + 8}});
        win::SendMessage(window().hWnd(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTCAPTION), 0);
    }
};

TEST(TerminalPanelWindow, TakesThePanelInAndGivesItBackAsItWas) {
    struct Case {
        const char* name;
        bool panelShown;       // the user had the panel open in the terminal
        bool terminalHidden;   // the terminal's main window is hidden when the window closes
        bool shownAfter;
    } cases[] = {
        {"shown panel", true, false, true},
        {"closed panel", false, false, false},
        {"closed panel, terminal hidden", false, true, true},
        {"shown panel, terminal hidden", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        termsim::TerminalOptions options;
        options.terminalPanelVisible = c.panelShown;
        Program p(win::SW_SHOWNORMAL, options);
        p.start();
        const win::HWND panel = p.panel(), dock = win::GetParent(panel), main = p.mainWindow();
        const win::HWND watchDock = win::GetParent(p.terminal().marketWatch());
        const win::RECT mainBefore = rectOf(main), dockBefore = rectIn(dock);
        ASSERT_EQ(MT4().TerminalHwnd(), panel);

        p.command();
        ASSERT_TRUE(TerminalWindowOpen);
        frmTerminal& w = p.window();
        ASSERT_TRUE(w.Visible());
        // The panel is the holder's child, shown, with a band of 6 pixels outside the holder.
        EXPECT_EQ(win::GetParent(panel), w.Layout());
        EXPECT_TRUE(win::IsWindowVisible(panel));
        win::RECT client, holder;
        win::GetClientRect(w.hWnd(), &client);
        win::GetClientRect(w.Layout(), &holder);
        EXPECT_EQ(rectIn(w.Layout()), (win::RECT{5, 5, client.right - 5, client.bottom - 5}));
        EXPECT_EQ(rectIn(panel), (win::RECT{-6, -6, holder.right + 6, holder.bottom + 6}));
        // Its list lays itself out in the panel.
        EXPECT_EQ(rectIn(p.terminal().terminalList()), (win::RECT{0, 0, holder.right + 12, holder.bottom + 12}));
        // The terminal's container is hidden and the terminal laid out again without it.
        EXPECT_FALSE(ownVisible(dock));
        EXPECT_EQ(rectOf(main).right, mainBefore.right + 1);
        win::RECT mainClient;
        win::GetClientRect(main, &mainClient);
        EXPECT_EQ(rectIn(watchDock).bottom, mainClient.bottom);
        EXPECT_TRUE(win::GetWindowLong(w.hWnd(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);

        if (c.terminalHidden) win::ShowWindow(main, win::SW_HIDE);
        p.command();  // not berthed: the command closes it
        EXPECT_FALSE(TerminalWindowOpen);
        EXPECT_FALSE(w.IsLoaded());
        EXPECT_EQ(win::GetParent(panel), dock);
        EXPECT_TRUE(ownVisible(dock));
        EXPECT_EQ(ownVisible(panel), c.shownAfter);
        EXPECT_EQ(rectIn(dock), dockBefore);
        EXPECT_EQ(rectIn(panel), (win::RECT{0, 0, dockBefore.right - dockBefore.left, dockBefore.bottom - dockBefore.top}));
        EXPECT_EQ(rectOf(main), mainBefore);
        EXPECT_EQ(p.saved("Status"), "1");
    }
}

TEST(TerminalPanelWindow, AMaximisedTerminalStaysMaximised) {
    Program p(win::SW_SHOWMAXIMIZED);
    p.start();
    const win::HWND main = p.mainWindow(), dock = win::GetParent(p.panel());
    const win::HWND watchDock = win::GetParent(p.terminal().marketWatch());
    win::RECT client;
    win::GetClientRect(main, &client);
    ASSERT_TRUE(win::IsZoomed(main));
    ASSERT_EQ(rectIn(watchDock).bottom, client.bottom - 200);

    p.command();
    EXPECT_TRUE(win::IsZoomed(main));
    EXPECT_EQ(rectIn(watchDock).bottom, client.bottom);
    p.command();
    EXPECT_TRUE(win::IsZoomed(main));
    EXPECT_EQ(rectIn(watchDock).bottom, client.bottom - 200);
    EXPECT_EQ(rectIn(dock), (win::RECT{0, client.bottom - 200, client.right, client.bottom}));
}

TEST(TerminalPanelWindow, ClosesWithinASecondWhenTheTerminalGoes) {
    struct Case {
        const char* name;
        bool force;
    } cases[] = {{"closed", false}, {"ended by force", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Program p;
        p.start();
        const win::HWND panel = p.panel();
        p.command();
        frmTerminal& w = p.window();
        p.m->runFor(1500);  // the panel check runs from the first activation on
        ASSERT_TRUE(w.IsLoaded());
        if (c.force) {
            win::HANDLE h = win::OpenProcess(win::PROCESS_ALL_ACCESS, win::FALSE, p.pid);
            ASSERT_TRUE(win::TerminateProcess(h, 0));
            win::CloseHandle(h);
        } else {
            win::SendMessage(p.mainWindow(), win::WM_CLOSE, 0, 0);
        }
        EXPECT_FALSE(win::IsWindow(panel));
        p.m->runFor(1000);
        EXPECT_FALSE(w.IsLoaded());
        EXPECT_FALSE(TerminalWindowOpen);
    }
}

TEST(TerminalPanelWindow, APanelTheBridgeNoLongerFollowsIsGivenBackShown) {
    Program p;
    p.start();
    const win::HWND panel = p.panel(), dock = win::GetParent(panel);
    p.command();
    frmTerminal& w = p.window();
    p.m->runFor(1500);
    // The bridge looks for the terminal again: the panel is not in the terminal, so the
    // bridge's shortcut hides it where it is and the bridge finds no panel.
    ASSERT_TRUE(MT4().CheckkMT4(0));
    p.m->runFor(1000);
    EXPECT_FALSE(w.IsLoaded());
    EXPECT_EQ(win::GetParent(panel), dock);
    EXPECT_TRUE(win::IsWindowVisible(panel));
}

TEST(TerminalPanelWindow, ASwitchOfTerminalsTakesInTheOtherTerminalsPanel) {
    Program p;
    const std::string second = termsim::Terminal::install(*p.m, "C:\\MT4 Second");
    const uint32_t secondPid = sys::ProcessTable::of(*p.m).start(second, "", win::SW_SHOWNORMAL).pid;
    p.m->runFor(50);
    p.start();
    termsim::Terminal* other = termsim::Terminal::find(*p.m, secondPid);
    if (MT4().Mt4Hwnd() == other->mainWindow()) other = &p.terminal();
    termsim::Terminal* first = termsim::Terminal::ofWindow(MT4().Mt4Hwnd());
    p.command();
    ASSERT_EQ(win::GetParent(first->terminalPanel()), p.window().Layout());

    MainForm->m_frmSysTray_MenuClick("MT4_" + std::to_string(other->mainWindow()) + "|0");
    ASSERT_EQ(MT4().Mt4Hwnd(), other->mainWindow());
    EXPECT_TRUE(TerminalWindowOpen);
    EXPECT_EQ(win::GetParent(other->terminalPanel()), p.window().Layout());
    const win::HWND firstPanel = first->terminalPanel();
    EXPECT_TRUE(win::IsChild(first->mainWindow(), firstPanel));
    EXPECT_TRUE(win::IsWindowVisible(firstPanel));
}

TEST(TerminalPanelWindow, BerthsAtTheBottomSlidesOutAndComesBackOnRequest) {
    Program p;
    p.start();
    p.command();
    frmTerminal& w = p.window();
    const win::HWND h = w.hWnd();
    const win::RECT start = rectOf(h);
    const int height = start.bottom - start.top;
    p.dragTo(200, kScreenH - height + 40);
    ASSERT_TRUE(w.BerthOn());
    EXPECT_EQ(w.Berth()->BerthSide, 2);
    EXPECT_EQ(rectOf(h).top, kScreenH - height);
    win::SetCursorPos(600, 100);
    p.m->runFor(2000);
    EXPECT_EQ(rectOf(h).top, kScreenH - 3);
    // The user turns to the terminal, then asks for the window from the tray: it comes in,
    // focused, and stays until it loses activation.
    win::SetForegroundWindow(p.mainWindow());
    p.m->runFor(500);
    ASSERT_EQ(rectOf(h).top, kScreenH - 3);
    p.command();
    EXPECT_TRUE(TerminalWindowOpen);
    EXPECT_EQ(rectOf(h).top, kScreenH - height);
    EXPECT_EQ(win::GetFocus(), h);
    p.m->runFor(3000);
    EXPECT_EQ(rectOf(h).top, kScreenH - height);
    win::SetForegroundWindow(p.mainWindow());
    p.m->runFor(1000);
    EXPECT_EQ(rectOf(h).top, kScreenH - 3);
    // The mouse over the strip brings it in.
    win::mouseMove(400, kScreenH - 2);
    EXPECT_EQ(rectOf(h).top, kScreenH - height);
}

TEST(TerminalPanelWindow, ResizingKeepsTheLeastSizeAndTheLeftEdgeWins) {
    Program p;
    p.start();
    p.command();
    frmTerminal& w = p.window();
    const win::HWND h = w.hWnd();
    win::RECT r = rectOf(h);
    win::SetCursorPos(r.right - 1, r.bottom - 1);
    win::queueMoveSize({{r.left + 10, r.top + 10}});
    win::SendMessage(h, win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTBOTTOMRIGHT), 0);
    r = rectOf(h);
    EXPECT_EQ(r.right - r.left, 580);
    EXPECT_EQ(r.bottom - r.top, 150);
    // A resize into the top-left corner berths at the left, not at the top.
    win::SetCursorPos(r.left, r.top);
    win::queueMoveSize({{0, 0}});
    win::SendMessage(h, win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTTOPLEFT), 0);
    EXPECT_TRUE(w.BerthOn());
    EXPECT_EQ(w.Berth()->BerthSide, 3);
}

TEST(TerminalPanelWindow, SavesItsPlaceAndOpensThereAgain) {
    Program p;
    testing_support::setSettingsAttrib("Window/Terminal", "Left", "120");
    testing_support::setSettingsAttrib("Window/Terminal", "Top", "90.4");
    testing_support::setSettingsAttrib("Window/Terminal", "Width", "700");
    testing_support::setSettingsAttrib("Window/Terminal", "Height", "260");
    p.start();
    p.command();
    const win::HWND h = p.window().hWnd();
    EXPECT_EQ(rectOf(h), (win::RECT{120, 90, 820, 350}));

    // Berthed at the right and slid out, then closed by the user: the place it has when shown.
    p.dragTo(kScreenW - 650, 200);
    ASSERT_TRUE(p.window().BerthOn());
    win::SetCursorPos(10, 10);
    p.m->runFor(2000);
    ASSERT_EQ(rectOf(h).left, kScreenW - 3);
    win::SendMessage(h, win::WM_CLOSE, 0, 0);
    EXPECT_FALSE(TerminalWindowOpen);
    EXPECT_EQ(p.saved("Status"), "0");
    EXPECT_EQ(p.saved("Left"), std::to_string(kScreenW - 700));
    EXPECT_EQ(p.saved("Top"), "200");
    EXPECT_EQ(p.saved("Width"), "700");
    EXPECT_EQ(p.saved("Height"), "260");

    // Opened again, it is there (and free until the user drags it to an edge).
    p.command();
    EXPECT_EQ(rectOf(p.window().hWnd()), (win::RECT{kScreenW - 700, 200, kScreenW, 460}));
    EXPECT_FALSE(p.window().BerthOn());
    // A place that is no size at all opens at the least size.
    p.command();
    Config().SetNodeAttrib("Window/Terminal", "Width", "0");
    Config().SetNodeAttrib("Window/Terminal", "Height", "x");
    p.command();
    const win::RECT r = rectOf(p.window().hWnd());
    EXPECT_EQ(r.right - r.left, 580);
    EXPECT_EQ(r.bottom - r.top, 150);
}

} // namespace
