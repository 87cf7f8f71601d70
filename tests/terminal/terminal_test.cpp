// The terminal driven as the program drives it: window messages, keystrokes and the memory of
// its process. Only the set-up and the checks of what it was told use its test side.
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/registry/Registry.h"
#include "platform/system/CodePage.h"
#include "platform/system/Process.h"

#include <gtest/gtest.h>

#include <set>
#include <cstring>
#include <optional>

using testing_support::TestMachine;
using termsim::CloseBehaviour;
using termsim::Terminal;
using termsim::TerminalOptions;
using namespace win;
using forms::SendKeys;

namespace {

constexpr UINT LVM_GETITEMCOUNT_ = 0x1004, LVM_GETITEMA_ = 0x1005, LVM_GETHEADER_ = 0x101F,
               LVM_SETITEMSTATE_ = 0x102B, LVM_GETITEMTEXTA_ = 0x102D, HDM_GETITEMCOUNT_ = 0x1200;

struct LvItem {
    uint32_t mask = 0;
    int32_t iItem = 0, iSubItem = 0;
    uint32_t state = 0, stateMask = 0, pszText = 0;
    int32_t cchTextMax = 0, iImage = 0, lParam = 0, iIndent = 0;
};
static_assert(sizeof(LvItem) == 40);

// The cross-process read of a list view, step for step as the program does it.
struct RemoteList {
    HWND list;
    HANDLE process = 0;
    DWORD text = 0, item = 0;

    explicit RemoteList(HWND l) : list(l) {
        DWORD pid = 0;
        GetWindowThreadProcessId(list, &pid);
        process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
        text = VirtualAllocEx(process, 0, 255, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        item = VirtualAllocEx(process, 0, 40, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteList() {
        VirtualFreeEx(process, text, 0, MEM_RELEASE);
        VirtualFreeEx(process, item, 0, MEM_RELEASE);
        CloseHandle(process);
    }
    int rows() { return SendMessage(list, LVM_GETITEMCOUNT_, 0, 0); }
    int columns() { return SendMessage(SendMessage(list, LVM_GETHEADER_, 0, 0), HDM_GETITEMCOUNT_, 0, 0); }
    // UTF-8 text of a cell; nullopt when a step fails.
    std::optional<std::string> cell(int row, int column, int capacity = 255) {
        LvItem it;
        it.mask = 1;
        it.iSubItem = column;
        it.pszText = text;
        it.cchTextMax = capacity;
        if (!WriteProcessMemory(process, item, &it, sizeof it, nullptr)) return std::nullopt;
        const int len = SendMessage(list, LVM_GETITEMTEXTA_, row, static_cast<LPARAM>(item));
        std::string bytes(len, '\0');
        if (len > 0 && !ReadProcessMemory(process, text, bytes.data(), len, nullptr)) return std::nullopt;
        return sys::fromAnsi(bytes);
    }
    // Selected and focused bits of an item or sub-item; nullopt when the list answers FALSE.
    std::optional<uint32_t> state(int row, int subItem = 0) {
        LvItem it;
        it.mask = 8;
        it.iItem = row;
        it.iSubItem = subItem;
        it.stateMask = 3;
        it.state = 0xCC;
        WriteProcessMemory(process, item, &it, sizeof it, nullptr);
        if (!SendMessage(list, LVM_GETITEMA_, 0, static_cast<LPARAM>(item))) return std::nullopt;
        ReadProcessMemory(process, item, &it, sizeof it, nullptr);
        return it.state;
    }
    void select(int row) {
        LvItem it;
        it.mask = 8;
        it.iItem = row;
        it.stateMask = 3;
        it.state = state(row).value_or(0) | 3;
        WriteProcessMemory(process, item, &it, sizeof it, nullptr);
        SendMessage(list, LVM_SETITEMSTATE_, row, static_cast<LPARAM>(item));
    }
};

HWND listIn(HWND main, const std::string& panelCaption, bool exact) {
    HWND found = 0;
    EnumChildWindows(main, [&](HWND h, LPARAM) {
        if (className(h) != "SysListView32") return TRUE;
        const std::string caption = windowText(GetParent(h));
        if (exact ? caption == panelCaption : caption.find(panelCaption) != std::string::npos) {
            found = h;
            return FALSE;
        }
        return TRUE;
    }, 0);
    return found;
}

// Descendant by class and caption test, as the quick order looks for the dialog's controls.
HWND control(HWND parent, const std::string& cls, const std::string& caption, bool contains = false) {
    HWND found = 0;
    EnumChildWindows(parent, [&](HWND h, LPARAM) {
        if (className(h) != cls) return TRUE;
        const std::string t = windowText(h);
        if (caption == "*" || (contains ? t.find(caption) != std::string::npos : t == caption)) {
            found = h;
            return FALSE;
        }
        return TRUE;
    }, 0);
    return found;
}

void keys(HWND to, std::initializer_list<WPARAM> held, WPARAM vk) {
    for (WPARAM k : held) PostMessage(to, WM_KEYDOWN, k, 1);
    PostMessage(to, WM_KEYDOWN, vk, 1);
    PostMessage(to, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001));
    for (WPARAM k : held) PostMessage(to, WM_KEYUP, k, static_cast<LPARAM>(0xC0000001));
}

struct TerminalTest : ::testing::Test {
    TestMachine m;
    std::string exe;
    uint32_t pid = 0;
    HWND main = 0;

    void start(TerminalOptions options = {}, int show = SW_SHOWMAXIMIZED) {
        exe = Terminal::install(*m, "C:\\Program Files\\MetaTrader 4", std::move(options));
        pid = sys::ProcessTable::of(*m).start(exe, "", show).pid;
        ASSERT_NE(pid, 0u);
        m->runFor(50);
        main = FindWindow(Terminal::kMainClass, nullptr);
        ASSERT_NE(main, 0);
    }
    Terminal& terminal() { return *Terminal::find(*m, pid); }
};

TEST_F(TerminalTest, InstalledStartedFoundAndReadAcrossProcesses) {
    start();
    for (const char* path : {"C:\\Program Files\\MetaTrader 4\\terminal.exe",
                             "C:\\Program Files\\MetaTrader 4\\profiles\\hotkeys.ini"})
        EXPECT_TRUE(m->fileExists(path)) << path;
    EXPECT_TRUE(m->dirExists("C:\\Program Files\\MetaTrader 4\\experts\\scripts"));

    EXPECT_EQ(windowText(main), "8012345: Zidara-Demo - 模拟账户 - [EURUSD,H1]");
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(IsZoomed(main));
    DWORD owner = 0;
    GetWindowThreadProcessId(main, &owner);
    EXPECT_EQ(owner, pid);
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, owner);
    char name[260];
    ASSERT_GT(GetModuleFileNameExA(h, 0, name, sizeof name), 0u);
    EXPECT_EQ(std::string(name), exe);
    CloseHandle(h);

    HWND list = listIn(main, "市场报价", false);
    ASSERT_NE(list, 0);
    EXPECT_NE(listIn(main, "终端", true), 0);
    EXPECT_EQ(windowText(GetParent(list)), "市场报价");  // no server time before the connection

    m->runFor(1500);
    const std::string serverTime = terminal().serverTimeText();
    EXPECT_EQ(serverTime, termsim::QuoteBook::formatTime(m->clock().localMs() - 6 * 3600 * 1000));
    EXPECT_EQ(windowText(GetParent(list)), "市场报价: " + serverTime);

    RemoteList remote(list);
    ASSERT_EQ(remote.rows(), 6);
    ASSERT_EQ(remote.columns(), 6);
    const auto& book = terminal().quotes();
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) EXPECT_EQ(remote.cell(r, c), book.cell(r, c)) << r << "," << c;
    EXPECT_EQ(remote.cell(0, 0), "EURUSD");
    EXPECT_EQ(remote.cell(2, 1)->size(), std::string("151.286").size());  // three digits for the yen

    // The quotes move with the machine clock.
    std::vector<std::string> before;
    for (int r = 0; r < 6; ++r) before.push_back(*remote.cell(r, 1));
    m->runFor(10000);
    std::vector<std::string> after;
    for (int r = 0; r < 6; ++r) after.push_back(*remote.cell(r, 1));
    EXPECT_NE(before, after);
}

// The machine setting lengthens the Market Watch past the default six, up to the sixteen known.
TEST_F(TerminalTest, TheMachineSettingListsMoreSymbols) {
    for (const auto& [setting, rows] : {std::pair("12", 12), std::pair("40", 16), std::pair("none", 6)}) {
        SCOPED_TRACE(setting);
        m->setSetting("terminal.symbols", setting);
        start();
        RemoteList remote(listIn(main, "市场报价", false));
        ASSERT_EQ(remote.rows(), rows);
        std::set<std::string> names;
        for (int r = 0; r < rows; ++r) names.insert(*remote.cell(r, 0));
        EXPECT_EQ(static_cast<int>(names.size()), rows);
        EXPECT_EQ(*remote.cell(0, 0), "EURUSD");
        PostMessage(main, WM_CLOSE, 0, 0);
        ASSERT_TRUE(m->runUntil([&] { return !IsWindow(main); }, 5000));
    }
}

TEST_F(TerminalTest, CellsCutToTheCallersBufferAndCodePage) {
    start();
    const std::string longName(300, 'X');
    terminal().setRows({{"黄金", "2031.45", "2031.80", "2035.00"}, {longName, "1", "2", "3"}}, 4);
    RemoteList remote(listIn(main, "市场报价", false));
    EXPECT_EQ(remote.rows(), 2);
    EXPECT_EQ(remote.columns(), 4);
    EXPECT_EQ(remote.cell(0, 0), "黄金");
    EXPECT_EQ(remote.cell(0, 3), "2035.00");
    EXPECT_EQ(remote.cell(1, 0), std::string(254, 'X'));  // 255 bytes of room, the NUL included
    EXPECT_EQ(remote.cell(0, 0, 4), "黄");                // never half a character
    EXPECT_EQ(remote.cell(0, 0, 0), "");
}

TEST_F(TerminalTest, RequestsOutsideTheContractDoNothing) {
    start();
    HWND list = listIn(main, "市场报价", false);
    RemoteList remote(list);
    const auto& book = terminal().quotes();

    // A record that is not in the terminal's memory, a row that does not exist, a column too far.
    LvItem it;
    it.mask = 1;
    it.pszText = remote.text;
    it.cchTextMax = 255;
    EXPECT_EQ(SendMessage(list, LVM_GETITEMTEXTA_, 0, 0x7000'0000), 0);
    WriteProcessMemory(remote.process, remote.item, &it, sizeof it, nullptr);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMTEXTA_, 6, static_cast<LPARAM>(remote.item)), 0);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMTEXTA_, static_cast<WPARAM>(-1), static_cast<LPARAM>(remote.item)), 0);
    EXPECT_EQ(remote.cell(0, 9), "");
    // A text address outside its memory: nothing written, nothing answered.
    it.pszText = 0x7100'0000;
    WriteProcessMemory(remote.process, remote.item, &it, sizeof it, nullptr);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMTEXTA_, 0, static_cast<LPARAM>(remote.item)), 0);
    // Messages it does not know.
    for (UINT msg : {0x100Cu, 0x1030u, 0x1201u, WM_USER + 77})
        EXPECT_EQ(SendMessage(list, msg, 0, static_cast<LPARAM>(remote.item)), 0) << msg;
    EXPECT_EQ(SendMessage(main, LVM_GETITEMCOUNT_, 0, 0), 0);
    EXPECT_EQ(book.rowCount(), 6);
    for (int r = 0; r < 6; ++r) EXPECT_EQ(terminal().rowState(r), 0u);
    EXPECT_EQ(FindWindow("#32770", "定单"), 0);
    // Enter without a selected row opens nothing.
    PostMessage(list, WM_KEYDOWN, 0x0D, 1);
    m->runFor(50);
    EXPECT_EQ(FindWindow("#32770", "定单"), 0);
}

TEST_F(TerminalTest, SelectedRowAndEnterOpenTheOrderDialog) {
    start();
    HWND list = listIn(main, "市场报价", false);
    {
        RemoteList remote(list);
        remote.select(3);
        remote.select(1);  // one selection at a time
        // Only items carry a state.
        struct Read {
            int row, subItem;
            std::optional<uint32_t> state;
        };
        for (const Read r : {Read{1, 0, 3u}, Read{1, 2, 0u}, Read{3, 0, 0u}, Read{6, 0, std::nullopt}})
            EXPECT_EQ(remote.state(r.row, r.subItem), r.state) << r.row << "," << r.subItem;
    }
    EXPECT_EQ(terminal().rowState(1), 3u);
    EXPECT_EQ(terminal().rowState(3), 0u);
    PostMessage(list, WM_KEYDOWN, 0x0D, 0x001C0001);
    PostMessage(list, WM_KEYUP, 0x0D, static_cast<LPARAM>(0xC01C0001));
    m->runFor(20);

    HWND dialog = FindWindow("#32770", "定单");
    ASSERT_NE(dialog, 0);
    EXPECT_EQ(GetParent(dialog), main);
    EXPECT_EQ(windowText(control(dialog, "ComboBox", "*")), "GBPUSD");

    // The walk of the quick order: labels, the boxes after them, the page and its buttons.
    HWND page = control(dialog, "#32770", "即时成交");
    ASSERT_NE(page, 0);
    HWND slBox = GetWindow(control(dialog, "Static", "止损价:"), GW_HWNDNEXT);
    HWND tpBox = GetWindow(GetWindow(slBox, GW_HWNDNEXT), GW_HWNDNEXT);
    HWND volume = control(GetWindow(control(dialog, "Static", "手数:"), GW_HWNDNEXT), "Edit", "*");
    HWND comment = GetWindow(control(dialog, "Static", "注释:"), GW_HWNDNEXT);
    ASSERT_TRUE(slBox && tpBox && volume && comment);
    EXPECT_EQ(className(slBox), "Edit");
    EXPECT_EQ(className(tpBox), "Edit");
    for (char c : std::string("1.26412")) SendMessage(slBox, WM_CHAR, static_cast<unsigned char>(c), 0);
    for (char c : std::string("1.27")) SendMessage(tpBox, WM_CHAR, static_cast<unsigned char>(c), 0);
    SetFocus(volume);
    SendMessageSetText(volume, WM_SETTEXT, 0, "0.30");
    SendMessageSetText(comment, WM_SETTEXT, 0, sys::toAnsi("Pennant (2026-12-10 9:00:01)"));
    HWND buy = control(page, "Button", "买", true);
    ASSERT_NE(buy, 0);
    EXPECT_EQ(control(page, "Button", "卖", true) != buy, true);
    SetFocus(buy);
    PostMessage(buy, WM_KEYDOWN, 0x20, 0x00390001);
    PostMessage(buy, WM_KEYUP, 0x20, static_cast<LPARAM>(0xC0390001));
    m->runFor(20);

    HWND result = control(dialog, "#32770", "");
    ASSERT_NE(result, 0);
    HWND edit = control(result, "Edit", "*"), ok = control(result, "Button", "确定");
    ASSERT_TRUE(edit && ok);
    EXPECT_FALSE(IsWindowVisible(ok));
    EXPECT_EQ(windowText(edit), "正在发送定单...");
    m->runFor(400);
    EXPECT_TRUE(IsWindowVisible(ok));
    EXPECT_NE(windowText(edit).find("成功"), std::string::npos);

    ASSERT_EQ(terminal().orders().size(), 1u);
    const auto& order = terminal().orders()[0];
    EXPECT_EQ(order.symbol, "GBPUSD");
    EXPECT_EQ(order.side, 1);
    EXPECT_EQ(order.volume, "0.30");
    EXPECT_EQ(order.stopLoss, "1.26412");
    EXPECT_EQ(order.takeProfit, "1.27");
    EXPECT_EQ(order.comment, "Pennant (2026-12-10 9:00:01)");
    // The Terminal panel lists the new order.
    EXPECT_EQ(RemoteList(listIn(main, "终端", true)).cell(0, 4), "GBPUSD");

    SendMessage(dialog, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(TerminalTest, ScriptedOutcomes) {
    struct Case { termsim::OrderOutcome outcome; std::string volume; std::string expect; bool okShown; };
    const Case cases[] = {
        {{"交易被拒绝 (134)", "正在发送定单...", 200, true}, "0.10", "交易被拒绝 (134)", true},
        {{"", "...", 200, false}, "0.10", "...", false},
        {{}, "abc", "无效手数 (abc)", true},
        {{}, std::string(400, '9'), "定单", true},
    };
    start();
    HWND list = listIn(main, "市场报价", false);
    RemoteList remote(list);
    remote.select(0);
    for (const auto& c : cases) {
        terminal().setOutcome(c.outcome);
        PostMessage(list, WM_KEYDOWN, 0x0D, 1);
        m->runFor(10);
        HWND dialog = FindWindow("#32770", "定单");
        ASSERT_NE(dialog, 0);
        HWND volume = control(GetWindow(control(dialog, "Static", "手数:"), GW_HWNDNEXT), "Edit", "*");
        SendMessageSetText(volume, WM_SETTEXT, 0, c.volume);
        HWND sell = control(control(dialog, "#32770", "即时成交"), "Button", "卖", true);
        PostMessage(sell, WM_KEYDOWN, 0x20, 1);
        PostMessage(sell, WM_KEYUP, 0x20, static_cast<LPARAM>(0xC0000001));
        m->runFor(1000);
        HWND result = control(dialog, "#32770", "");
        EXPECT_EQ(windowText(control(result, "Edit", "*")).rfind(c.expect, 0), 0u) << c.expect;
        EXPECT_EQ(IsWindowVisible(control(result, "Button", "确定")) != 0, c.okShown);
        SendMessage(dialog, WM_CLOSE, 0, 0);
    }
    EXPECT_EQ(terminal().orders().back().side, -1);
}

TEST_F(TerminalTest, ShortcutsShowAndHideThePanels) {
    TerminalOptions options;
    options.marketWatchFloating = true;
    options.marketWatchVisible = false;
    start(options);
    Terminal& t = terminal();
    HWND watch = t.marketWatch();
    EXPECT_EQ(GetParent(watch), main);  // floating: owned by the main window
    EXPECT_EQ(GetWindow(watch, GW_OWNER), main);
    EXPECT_EQ(listIn(main, "市场报价", false), 0);  // not among the main window's descendants
    EXPECT_FALSE(IsWindowVisible(watch));
    EXPECT_TRUE(IsWindowVisible(t.terminalPanel()));

    keys(main, {0x11}, 'M');
    m->runFor(10);
    EXPECT_TRUE(IsWindowVisible(watch));
    keys(main, {0x11}, 'T');
    m->runFor(10);
    EXPECT_FALSE(IsWindowVisible(t.terminalPanel()));
    EXPECT_TRUE(IsWindow(t.terminalList()));  // hidden, not gone
    keys(main, {0x11}, 'M');
    keys(main, {0x11}, 'T');
    m->runFor(10);
    EXPECT_FALSE(IsWindowVisible(watch));
    EXPECT_TRUE(IsWindowVisible(t.terminalPanel()));
    // Without Ctrl the letters do nothing.
    keys(main, {}, 'M');
    m->runFor(10);
    EXPECT_FALSE(IsWindowVisible(watch));
}

TEST_F(TerminalTest, TheTerminalPanelCanLiveInAnotherProgramsWindow) {
    start({}, SW_SHOW);
    Terminal& t = terminal();
    const HWND panel = t.terminalPanel(), dock = GetParent(panel), watchDock = GetParent(t.marketWatch());
    RECT client, r;
    GetClientRect(main, &client);
    auto rectIn = [](HWND h) {
        RECT w;
        GetWindowRect(h, &w);
        POINT o{0, 0};
        ClientToScreen(GetAncestor(h, GA_PARENT), &o);
        return RECT{w.left - o.x, w.top - o.y, w.right - o.x, w.bottom - o.y};
    };
    // Docked: the Market Watch down the left above the Terminal panel's band along the bottom.
    EXPECT_EQ(rectIn(dock), (RECT{0, client.bottom - 200, client.right, client.bottom}));
    EXPECT_EQ(rectIn(watchDock).bottom, client.bottom - 200);

    // Another program takes the panel into a holder of its own and hides the container.
    HWND holder = CreateWindowEx(0, "Static", "", WS_POPUP | WS_VISIBLE, 100, 100, 500, 300, 0);
    ShowWindow(dock, SW_HIDE);
    ASSERT_EQ(SetParent(panel, holder), dock);
    MoveWindow(panel, -6, -6, 512, 312);
    // The panel lays itself out in the holder; the terminal lays out again on a size change.
    GetWindowRect(t.terminalList(), &r);
    EXPECT_EQ(r.right - r.left, 512);
    EXPECT_EQ(r.bottom - r.top, 312);
    SetWindowPos(main, 0, 0, 0, 1101, 720, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(main, &client);
    EXPECT_EQ(rectIn(watchDock).bottom, client.bottom);
    // Its shortcut still hides and shows it where it is.
    keys(main, {0x11}, 'T');
    m->runFor(10);
    EXPECT_FALSE(IsWindowVisible(panel));
    keys(main, {0x11}, 'T');
    m->runFor(10);
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_EQ(GetParent(panel), holder);

    // Given back: the container fills with it and the band comes back at the next layout.
    SetParent(panel, dock);
    ShowWindow(dock, SW_SHOW);
    SetWindowPos(main, 0, 0, 0, 1100, 720, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(rectIn(dock), (RECT{0, client.bottom - 200, client.right - 1, client.bottom}));
    EXPECT_EQ(rectIn(panel), (RECT{0, 0, client.right - 1, 200}));
    EXPECT_EQ(rectIn(watchDock).bottom, client.bottom - 200);

    // Held elsewhere when the terminal closes: the panel goes with the terminal.
    SetParent(panel, holder);
    SendMessage(main, WM_CLOSE, 0, 0);
    DoEvents();
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_TRUE(IsWindow(holder));
    DestroyWindow(holder);
}

TEST_F(TerminalTest, ScriptHotKeysRunInstalledScripts) {
    exe = Terminal::install(*m);
    m->writeFileAtomic("C:\\Program Files\\MetaTrader 4\\profiles\\hotkeys.ini",
                       "<scripts>\r\nCloseAll=Ctrl+1\r\nGone=Ctrl+2\r\nBuyNow=alt+4\r\n</scripts>\r\n");
    m->writeFileAtomic("C:\\Program Files\\MetaTrader 4\\experts\\scripts\\CloseAll.ex4", "x");
    m->writeFileAtomic("C:\\Program Files\\MetaTrader 4\\experts\\scripts\\BuyNow.mq4", "x");
    pid = sys::ProcessTable::of(*m).start(exe).pid;
    m->runFor(10);
    main = FindWindow(Terminal::kMainClass, nullptr);
    // The keys as the tray menu sends them, to the terminal in front.
    for (const char* k : {"^{1}", "^{2}", "%{4}", "%{1}"}) {
        SetForegroundWindow(main);
        SendKeys(k, true);
    }
    EXPECT_EQ(terminal().scriptsRun(), (std::vector<std::string>{"CloseAll", "BuyNow"}));
}

TEST_F(TerminalTest, ClosingEachWay) {
    struct Case { CloseBehaviour how; bool goneAtOnce; bool goneLater; };
    const Case cases[] = {
        {CloseBehaviour::Close, true, true},
        {CloseBehaviour::CloseLate, false, true},
        {CloseBehaviour::Ignore, false, false},
        {CloseBehaviour::Hang, false, false},
    };
    for (const auto& c : cases) {
        TestMachine fresh;
        TerminalOptions options;
        options.onClose = c.how;
        options.closeDelayMs = 1500;
        const std::string path = Terminal::install(*fresh, "C:\\MT4", options);
        auto& table = sys::ProcessTable::of(*fresh);
        const uint32_t p = table.start(path).pid;
        fresh->runFor(10);
        HWND w = FindWindow(Terminal::kMainClass, nullptr);
        ASSERT_NE(w, 0);
        HWND list = listIn(w, "市场报价", false);

        SendMessage(w, WM_CLOSE, 0, 0);
        DoEvents();
        EXPECT_EQ(IsWindow(w) == 0, c.goneAtOnce) << int(c.how);
        fresh->runFor(2000);
        EXPECT_EQ(IsWindow(w) == 0, c.goneLater) << int(c.how);
        EXPECT_EQ(table.find(p) == nullptr, c.goneLater) << int(c.how);
        if (c.how == CloseBehaviour::Hang) {
            EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT_, 0, 0), 0);  // no answer any more
            EXPECT_TRUE(IsHungAppWindow(w));
        }
        if (!c.goneLater) {
            // Ended by force, its windows go with it.
            HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, p);
            ASSERT_TRUE(TerminateProcess(h, 0));
            CloseHandle(h);
            EXPECT_FALSE(IsWindow(w));
            EXPECT_FALSE(IsWindow(list));
            EXPECT_FALSE(IsHungAppWindow(w));
        }
        EXPECT_EQ(Terminal::find(*fresh, p), nullptr);
        EXPECT_EQ(FindWindow(Terminal::kMainClass, nullptr), 0);
    }
}

TEST_F(TerminalTest, ASlowStartShowsItsWindowsLate) {
    TerminalOptions options;
    options.startDelayMs = 3000;
    exe = Terminal::install(*m, "C:\\MT4", options);
    pid = sys::ProcessTable::of(*m).start(exe).pid;
    m->runFor(2000);
    EXPECT_EQ(FindWindow(Terminal::kMainClass, nullptr), 0);
    EXPECT_NE(sys::ProcessTable::of(*m).find(pid), nullptr);  // running, not yet showing
    m->runFor(1500);
    EXPECT_NE(FindWindow(Terminal::kMainClass, nullptr), 0);
}

TEST_F(TerminalTest, TwoTerminalsRunSideBySide) {
    start();
    TerminalOptions second;
    second.account = "9000001";
    second.server = "Other-Live";
    const std::string other = Terminal::install(*m, "C:\\MT4 Live", second);
    const uint32_t p2 = sys::ProcessTable::of(*m).start(other).pid;
    m->runFor(10);
    std::vector<std::string> captions;
    EnumWindows([&](HWND h, LPARAM) {
        if (className(h) == Terminal::kMainClass) captions.push_back(windowText(h));
        return TRUE;
    }, 0);
    ASSERT_EQ(captions.size(), 2u);
    HWND main2 = Terminal::find(*m, p2)->mainWindow();
    EXPECT_EQ(windowText(main2), "9000001: Other-Live - 模拟账户 - [EURUSD,H1]");
    EXPECT_EQ(RemoteList(listIn(main2, "市场报价", false)).rows(), 6);
}

} // namespace

namespace {

// The whole road the program takes: a fresh machine, the terminal found in the registry, started
// by its path, found by class and caption, read across processes, its panels toggled with the
// shortcut keys and its order dialog opened.
TEST(TerminalOnAFreshMachine, FoundStartedReadAndOrderedThroughWin32Calls) {
    TestMachine m;
    Terminal::install(*m, "C:\\Program Files\\Zidara MT4", {});
    const auto installPath =
        reg::getString(HKEY_CURRENT_USER, "Software\\MetaQuotes Software\\MetaTrader 4", "InstallPath");
    ASSERT_TRUE(installPath);
    EXPECT_EQ(*installPath, "C:\\Program Files\\Zidara MT4");
    const std::string path = *installPath + "\\terminal.exe";
    ASSERT_TRUE(m->fileExists(path));

    const uint32_t pid = forms::Shell(path, forms::vbNormalNoFocus);
    HWND main = 0;
    EXPECT_TRUE(m->runUntil([&] { return (main = FindWindow("MetaQuotes::MetaTrader::4.00", nullptr)) != 0; }, 10000));
    DWORD owner = 0;
    GetWindowThreadProcessId(main, &owner);
    EXPECT_EQ(owner, pid);
    HANDLE query = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    char name[260] = "unknown";
    GetModuleFileNameExA(query, 0, name, sizeof name);
    CloseHandle(query);
    EXPECT_EQ(std::string(name), path);

    HWND list = listIn(main, "市场报价", false);
    ASSERT_NE(list, 0);
    RemoteList remote(list);
    ASSERT_EQ(remote.rows(), 6);
    for (int r = 0; r < remote.rows(); ++r)
        for (int c = 0; c < remote.columns(); ++c) ASSERT_TRUE(remote.cell(r, c)) << r << "," << c;

    // The shortcut as the program sends it, to the terminal in front.
    HWND watch = GetParent(list);
    SetForegroundWindow(main);
    SendKeys("^m", true);
    EXPECT_FALSE(IsWindowVisible(watch));
    SetForegroundWindow(main);
    SendKeys("^m", true);
    EXPECT_TRUE(IsWindowVisible(watch));

    remote.select(4);
    PostMessage(list, WM_KEYDOWN, VK_RETURN, keyLParam(VK_RETURN, false));
    PostMessage(list, WM_KEYUP, VK_RETURN, keyLParam(VK_RETURN, true));
    HWND dialog = 0;
    EXPECT_TRUE(m->runUntil([&] { return (dialog = FindWindow("#32770", "定单")) != 0; }, 1000));
    EXPECT_EQ(GetParent(dialog), main);
    EXPECT_EQ(windowText(control(dialog, "ComboBox", "*")), *remote.cell(4, 0));
    EXPECT_NE(control(dialog, "#32770", "即时成交"), 0);
}

} // namespace
