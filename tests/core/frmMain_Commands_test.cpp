// The main window's commands against the simulated terminal on a virtual clock: every command
// key, the tray menu with panels, scripts and terminals, the global hot keys, balloon clicks,
// the icon window's mouse, and exit with its saved state.
#include "core/CommandWindows.h"
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "QuoteWindowDoubles.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Tray.h"
#include "platform/desktop/Window.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/ShellExecute.h"
#include "platform/forms/RuntimeError.h"
#include "platform/speech/SpVoice.h"
#include "platform/system/CodePage.h"
#include "platform/system/Process.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>
#include <pugixml.hpp>

#include <fstream>
#include <sstream>

using testing_support::TestMachine;
using namespace m_Main;

namespace {

using testing_support::shippedSettings;

const char* const kFolder = testing_support::kProgramFolder;
const char* const kSettings = testing_support::kProgramSettings;
const char* kTerminalFolder = "C:\\Program Files\\MetaTrader 4";

using Panel = FloatPanelDouble;
using Board = QuoteBoardDouble;

struct Notice : NoticeWindow {
    Notice() : NoticeWindow("frmFXNotify") {}
    bool berth = false, working = false;
    int berthCalls = 0, cancels = 0;
    bool Busy() override { return false; }
    void FXEvent() override {}
    bool BerthOn() override { return berth; }
    void xBerth() override { berthCalls++; }
    bool Working() override { return working; }
    void CancelWork() override { cancels++; }
};

struct TerminalWindow : TerminalPanelWindow {
    TerminalWindow() : TerminalPanelWindow("frmTerminal") {}
    bool berth = false;
    int revisible = 0;
    bool BerthOn() override { return berth; }
    void ReVisible() override { revisible++; }

protected:
    void Form_Load() override { TerminalWindowOpen = true; }
    void Form_Unload(int&) override { TerminalWindowOpen = false; }
};

// A window whose page stays busy for a number of questions.
struct Dialog : PageDialog {
    explicit Dialog(const std::string& name) : PageDialog(name) {}
    int busyFor = 3;
    int asked = 0;
    bool Busy() override { return ++asked <= busyFor; }
};

struct Confirm : OrderConfirmBalloon {
    Confirm() : OrderConfirmBalloon("frmOrderConfirm") {}
    bool fails = false;
    void UNForm() override {
        if (fails) throw forms::RuntimeError(91, "对象变量未设置", "frmOrderConfirm");
        Unload();
    }
};



int programWindowCount() {
    int n = 0;
    win::EnumWindows(
        [&](win::HWND h, win::LPARAM) {
            win::DWORD pid = 0;
            win::GetWindowThreadProcessId(h, &pid);
            if (pid == sys::Machine::kProgramProcessId) ++n;
            return win::TRUE;
        },
        0);
    return n;
}

// Whether another program could take the combination now.
bool keyFree(termsim::Terminal& other, win::UINT modifiers, win::UINT vk) {
    sys::ProcessScope scope(other.pid());
    if (!win::RegisterHotKey(other.mainWindow(), 99, modifiers, vk)) return false;
    win::UnregisterHotKey(other.mainWindow(), 99);
    return true;
}

// Searches a shown menu for an item by its caption before the tab.
const win::MenuItemView* findItem(const std::vector<win::MenuItemView>& items, const std::string& caption) {
    for (const auto& i : items) {
        if (i.text.substr(0, i.text.find('\t')) == caption) return &i;
        if (const auto* s = findItem(i.submenu, caption)) return s;
    }
    return nullptr;
}

// The program installed with the terminal on a fresh machine.
struct Program {
    TestMachine m;
    std::string terminalExe;
    std::vector<std::shared_ptr<Panel>> panels;
    std::shared_ptr<Board> board;
    std::shared_ptr<Notice> notice;
    std::shared_ptr<TerminalWindow> terminalWindow;
    std::shared_ptr<Dialog> settings, about, installer;

    explicit Program(termsim::TerminalOptions options = {}) {
        EndProgram();
        speech::installSpeechService(*m);
        terminalExe = termsim::Terminal::install(*m, kTerminalFolder, std::move(options));
        testing_support::installProgram(*m);
        setProgram(kFolder, "Pennant");
        NewFloatPanel = [this] {
            auto p = std::make_shared<Panel>();
            panels.push_back(p);
            return p;
        };
        NewQuoteBoard = [this] { return board = std::make_shared<Board>(); };
        NewFXNotify = [this] { return notice = std::make_shared<Notice>(); };
        NewTerminalWindow = [this] { return terminalWindow = std::make_shared<TerminalWindow>(); };
        NewSettingsWindow = [this] { return settings = std::make_shared<Dialog>("frmSettings"); };
        NewAboutWindow = [this] { return about = std::make_shared<Dialog>("frmAbout"); };
        NewInsScriptWindow = [this] { return installer = std::make_shared<Dialog>("frmInsScript"); };
        LoadMainWindow = [] {
            MainForm = std::make_shared<frmMain>();
            MainForm->Load();
        };
    }
    ~Program() { EndProgram(); }
    void setAttrib(const std::string& path, const std::string& name, const std::string& value) {
        testing_support::setSettingsAttrib(path, name, value);
    }
    void setText(const std::string& path, const std::string& text) {
        cls_Config c;
        c.XmlFile(kSettings);
        ASSERT_TRUE(c.Initialize());
        ASSERT_TRUE(c.SetNodeText(path, text));
        c.XMLSave();
    }
    void start() {
        ASSERT_TRUE(Main());
        ASSERT_TRUE(MainForm);
        m->runFor(2000);
    }
    frmMain& main() { return *MainForm; }
    frmSysTray& tray() { return *MainForm->m_FrmSysTray; }
    forms::Menu& item(const std::string& name) { return tray().menu(name); }
    termsim::Terminal* terminal() { return termsim::Terminal::ofWindow(MT4().Mt4Hwnd()); }
    Panel* panel(const std::string& symbol) {
        auto* p = FloatForms.Find(symbol);
        return p ? static_cast<Panel*>(p->get()) : nullptr;
    }
    // A right click on the tray icon; the menu takes the queued choice (or none).
    win::TrackedMenu rightClick(const std::string& choice = "") {
        if (choice.empty()) win::queueMenuDismiss();
        else win::queueMenuChoice(choice);
        win::clearTrackedMenus();
        const win::HWND h = tray().hWnd();
        win::trayMouse(h, frmSysTray::kIconId, win::WM_RBUTTONDOWN);
        win::trayMouse(h, frmSysTray::kIconId, win::WM_RBUTTONUP);
        auto menus = win::trackedMenus();
        return menus.empty() ? win::TrackedMenu{} : menus.back();
    }
    void writeScripts(const std::string& section, std::initializer_list<const char*> files) {
        m->writeFileAtomic(std::string(kTerminalFolder) + "\\profiles\\hotkeys.ini",
                           sys::toAnsi("<charts>\r\nCtrl+F6=NextChart\r\n</charts>\r\n<scripts>\r\n" + section +
                                       "</scripts>\r\n", m->codePage()));
        for (const char* f : files) m->writeFileAtomic(std::string(kTerminalFolder) + "\\experts\\scripts\\" + f, "x");
    }
    // The saved settings file as it is on disk.
    pugi::xml_node savedRoot(pugi::xml_document& doc) {
        auto text = m->readFile(kSettings);
        EXPECT_TRUE(text && doc.load_string(text->c_str()));
        return doc.child("App");
    }
    int mainX() { return static_cast<int>(main().Left() / 15) + 10; }
    int mainY() { return static_cast<int>(main().Top() / 15) + 10; }
};

} // namespace

// ---- Pure routines ----------------------------------------------------------------------------------

TEST(frmMainCommandsRoutines, ScriptKeysOnlyForHotKeyForms) {
    struct Case {
        const char* text;
        const char* keys;
    } cases[] = {{"Ctrl+1", "^{1}"},   {"alt + 2", "%{2}"},   {"ALT+F5", "%{F5}"},     {"Ctrl+F12", "^{F12}"},
                 {"ctrl+q", "^{Q}"},    {"Ctrl1", ""},         {"Shift+1", ""},         {"+1", ""},
                 {"Ctrl+", ""},         {"Ctrl+12", ""},       {"Ctrl+F13", ""},        {"Ctrl+F0", ""},
                 {"Ctrl+1}{ENTER", ""}, {"Ctrl+~", ""},        {"Ctrl+Alt+1", ""},      {"Ctrl+{TAB}", ""},
                 {"Ctrl+F01", ""},      {"", ""}};
    for (const auto& c : cases) EXPECT_EQ(frmMain::ScriptKeys(c.text), c.keys) << c.text;
}

TEST(frmMainCommandsRoutines, ScriptSectionOfTheHotKeyFile) {
    const auto entries = frmMain::ScriptSection(
        "<charts>\r\nNextChart=Ctrl+F6\r\n</charts>\r\n</scripts>\r\n<scripts>\r\n  MyScript=Ctrl+1  \r\n\r\n"
        "=Ctrl+3\r\nNoKey\r\nGone=Ctrl+2\r\nA=B=C\r\n</scripts>\r\nAfter=Ctrl+4\r\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "MyScript");
    EXPECT_EQ(entries[0].hotKey, "Ctrl+1");
    EXPECT_EQ(entries[1].name, "Gone");
    EXPECT_EQ(entries[2].name, "A");
    EXPECT_EQ(entries[2].hotKey, "B=C");
    EXPECT_TRUE(frmMain::ScriptSection("Ctrl+F6=NextChart\r\n").empty());
}

// ---- Command keys -------------------------------------------------------------------------------------

TEST(frmMainCommands, FloatingPanels) {
    Program p;
    p.start();
    ASSERT_EQ(FloatForms.Count(), 2);
    Panel* eur = p.panel("EURUSD");
    ASSERT_TRUE(eur->Visible());

    p.main().m_frmSysTray_MenuClick("HideFloat");
    EXPECT_FALSE(eur->Visible());
    EXPECT_TRUE(p.item("mHideFloat").Checked);

    // A hidden panel is shown by its symbol's item; a symbol without one gets a new panel.
    p.main().m_frmSysTray_MenuClick("Symbol_EURUSD");
    EXPECT_TRUE(eur->Visible());
    EXPECT_EQ(FloatForms.Count(), 2);
    p.main().m_frmSysTray_MenuClick("Symbol_USDJPY");
    ASSERT_NE(p.panel("USDJPY"), nullptr);
    EXPECT_EQ(p.panel("USDJPY")->mode, 1);
    EXPECT_TRUE(p.panel("USDJPY")->border);

    p.main().m_frmSysTray_MenuClick("HideFloat");
    EXPECT_TRUE(eur->Visible());
    EXPECT_TRUE(p.panel("USDJPY")->Visible());
    EXPECT_FALSE(p.item("mHideFloat").Checked);

    // Unknown keys and keys in the wrong case do nothing.
    for (const char* key : {"hidefloat", "exit", "Nothing", "", "Symbol_"}) p.main().m_frmSysTray_MenuClick(key);
    EXPECT_EQ(FloatForms.Count(), 3);
    EXPECT_TRUE(MainForm && MainForm->IsLoaded());
}

TEST(frmMainCommands, WindowsOpenedBroughtOutAndClosed) {
    Program p;
    p.start();
    frmMain& f = p.main();

    // Quote board: opened, brought out while berthed, closed when not.
    f.m_frmSysTray_MenuClick("FXQuote");
    ASSERT_TRUE(QuoteBoardOpen);
    p.board->berthOn = true;
    f.m_frmSysTray_MenuClick("FXQuote");
    EXPECT_EQ(p.board->berthCalls, 1);
    EXPECT_TRUE(QuoteBoardOpen);
    p.board->berthOn = false;
    f.m_frmSysTray_MenuClick("FXQuote");
    EXPECT_FALSE(QuoteBoardOpen);

    // The Terminal-panel window, the same way.
    f.m_frmSysTray_MenuClick("Terminal");
    ASSERT_TRUE(TerminalWindowOpen);
    p.terminalWindow->berth = true;
    f.m_frmSysTray_MenuClick("Terminal");
    EXPECT_EQ(p.terminalWindow->revisible, 1);
    p.terminalWindow->berth = false;
    f.m_frmSysTray_MenuClick("Terminal");
    EXPECT_FALSE(TerminalWindowOpen);

    // The notice window (shown at start): hidden, shown again and slid out when berthed.
    ASSERT_TRUE(p.notice->Visible());
    f.m_frmSysTray_MenuClick("FXNews");
    EXPECT_FALSE(p.notice->Visible());
    p.notice->berth = true;
    f.m_frmSysTray_MenuClick("FXNews");
    EXPECT_TRUE(p.notice->Visible());
    EXPECT_EQ(p.notice->berthCalls, 1);
    f.m_frmSysTray_MenuClick("FXNews");
    EXPECT_TRUE(p.notice->Visible());
    EXPECT_EQ(p.notice->berthCalls, 2);

    // Settings, about and installer wait for their pages, then show owned by the icon window.
    for (const char* key : {"Settings", "About", "InsScript"}) {
        f.m_frmSysTray_MenuClick(key);
        Dialog* d = std::string(key) == "Settings" ? p.settings.get()
                    : std::string(key) == "About"  ? p.about.get()
                                                   : p.installer.get();
        ASSERT_NE(d, nullptr) << key;
        EXPECT_TRUE(d->Visible()) << key;
        EXPECT_GT(d->asked, d->busyFor) << key;
        EXPECT_EQ(win::GetWindow(d->hWnd(), win::GW_OWNER), f.hWnd()) << key;
        EXPECT_EQ(forms::Screen.MousePointer(), forms::vbDefault) << key;
    }

    // The service page, through the shell.
    f.m_frmSysTray_MenuClick("Brisk");
    ASSERT_FALSE(win::shellOpened().empty());
    EXPECT_EQ(win::shellOpened().back().file, frmMain::kServiceSiteDefault);

    // The terminal hidden and shown.
    const win::HWND h = MT4().Mt4Hwnd();
    f.m_frmSysTray_MenuClick("HideMT4");
    EXPECT_FALSE(win::IsWindowVisible(h));
    f.m_frmSysTray_MenuClick("HideMT4");
    EXPECT_TRUE(win::IsWindowVisible(h));
}

// ---- The tray menu ------------------------------------------------------------------------------------

TEST(frmMainCommands, TrayMenuWithPanelsScriptsAndTwoTerminals) {
    Program p;
    p.writeScripts("MyScript=Ctrl+1\r\nGone=Ctrl+2\r\nBuyNow=alt+4\r\nEvil=Ctrl+1}{ENTER\r\n",
                   {"MyScript.ex4", "BuyNow.mq4", "Evil.ex4"});
    p.start();
    termsim::Terminal* first = p.terminal();
    ASSERT_NE(first, nullptr);
    const size_t symbols = SymbolList.size();
    ASSERT_GE(symbols, 3u);

    // One terminal: the switch submenu stays hidden.
    win::TrackedMenu menu = p.rightClick();
    EXPECT_FALSE(p.item("mMultiMT4").Visible);
    EXPECT_EQ(findItem(menu.items, "切换MT4平台(&V)"), nullptr);

    // Floating quotes: every listed symbol, the open ones checked and counted.
    const auto* floats = findItem(menu.items, "漂浮报价(&D) - 2");
    ASSERT_NE(floats, nullptr);
    EXPECT_EQ(floats->text, "漂浮报价(&D) - 2");
    const auto* eur = findItem(menu.items, "EURUSD");
    ASSERT_NE(eur, nullptr);
    EXPECT_EQ(eur->text, "EURUSD\t&1");
    EXPECT_TRUE(eur->flags & win::MF_CHECKED);
    EXPECT_EQ(p.tray().menu("mnuFloat", 0).arrayIndices().size(), symbols + 1);

    // Scripts: those whose file exists, numbered, then a separator; the placeholder hidden.
    auto scripts = p.tray().menu("mnuScript", 0).arrayIndices();
    ASSERT_EQ(scripts.size(), 5u);  // placeholder, MyScript, BuyNow, Evil, separator
    EXPECT_EQ(p.tray().menu("mnuScript", 1).Caption, "MyScript\t&1");
    EXPECT_EQ(p.tray().menu("mnuScript", 1).Tag, "Ctrl+1");
    EXPECT_EQ(p.tray().menu("mnuScript", 2).Caption, "BuyNow\t&2");
    EXPECT_EQ(p.tray().menu("mnuScript", 4).Caption, "-");
    EXPECT_FALSE(p.tray().menu("mnuScript", 0).Visible);

    // Choosing scripts sends their keys to the terminal; a key text that is no hot key sends nothing.
    p.rightClick("MyScript");
    p.rightClick("BuyNow");
    p.rightClick("Evil");
    EXPECT_EQ(first->scriptsRun(), (std::vector<std::string>{"MyScript", "BuyNow"}));
    EXPECT_EQ(win::GetWindowLong(first->mainWindow(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST, 0);

    // The same file time: the submenu is left as it is; a new file rebuilds it.
    p.rightClick();
    EXPECT_EQ(p.tray().menu("mnuScript", 0).arrayIndices().size(), 5u);
    p.writeScripts("Other=Ctrl+5\r\n", {"Other.ex4"});
    std::filesystem::last_write_time(p.m->hostPath(std::string(kTerminalFolder) + "\\profiles\\hotkeys.ini"),
                                     std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
    p.rightClick();
    EXPECT_EQ(p.tray().menu("mnuScript", 0).arrayIndices().size(), 3u);
    EXPECT_EQ(p.tray().menu("mnuScript", 1).Caption, "Other\t&1");

    // A second terminal: the switch submenu lists both, the current one checked.
    termsim::TerminalOptions second;
    second.account = "9000001";
    second.server = "Other-Live";
    const std::string otherExe = termsim::Terminal::install(*p.m, "C:\\MT4 Live", second);
    const uint32_t otherPid = sys::ProcessTable::of(*p.m).start(otherExe).pid;
    p.m->runFor(100);
    termsim::Terminal* other = termsim::Terminal::find(*p.m, otherPid);
    ASSERT_NE(other, nullptr);
    menu = p.rightClick();
    EXPECT_TRUE(p.item("mMultiMT4").Visible);
    const auto* a = findItem(menu.items, "8012345: Zidara-Demo - 模拟账户");
    const auto* b = findItem(menu.items, "9000001: Other-Live - 模拟账户");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(a->flags & win::MF_CHECKED);
    EXPECT_FALSE(b->flags & win::MF_CHECKED);

    // Switching: the other terminal becomes the current one and the price loop runs on.
    p.main().m_frmSysTray_MenuClick("FXQuote");
    ASSERT_TRUE(QuoteBoardOpen);
    p.rightClick("9000001: Other-Live - 模拟账户");
    EXPECT_EQ(MT4().Mt4Hwnd(), other->mainWindow());
    EXPECT_EQ(TerminalTitle, "9000001: Other-Live - 模拟账户");
    EXPECT_EQ(win::trayIcons().at(0).tip, "Pennant\r\n9000001: Other-Live - 模拟账户");
    EXPECT_TRUE(sys::iequals(TerminalExe, otherExe)) << TerminalExe;
    EXPECT_EQ(p.main().TimerState, frmMain::kRun);
    EXPECT_TRUE(QuoteBoardOpen);
    EXPECT_EQ(p.board->loads, 2);  // unloaded and opened anew, with the new terminal's symbols
    menu = p.rightClick();
    EXPECT_TRUE(findItem(menu.items, "9000001: Other-Live - 模拟账户")->flags & win::MF_CHECKED);
    // The script menu now comes from the other terminal's folder, which has none.
    EXPECT_EQ(p.tray().menu("mnuScript", 0).arrayIndices().size(), 1u);

    // The current terminal's own key does nothing, not even the pause.
    p.main().TimerState = 77;
    p.main().m_frmSysTray_MenuClick("MT4_" + std::to_string(other->mainWindow()) + "|2");
    EXPECT_EQ(p.main().TimerState, 77);
    p.main().TimerState = frmMain::kRun;

    // A handle that is no terminal's is refused and the loop keeps running.
    p.main().m_frmSysTray_MenuClick("MT4_" + std::to_string(p.main().hWnd()) + "|1");
    EXPECT_EQ(MT4().Mt4Hwnd(), other->mainWindow());
    EXPECT_EQ(p.main().TimerState, frmMain::kRun);
}

TEST(frmMainCommands, ScriptKeysOnlyReachTheTerminalInFront) {
    Program p;
    p.writeScripts("MyScript=Ctrl+1\r\n", {"MyScript.ex4"});
    p.start();
    termsim::Terminal* t = p.terminal();
    ASSERT_NE(t, nullptr);

    // A window of another program that takes the foreground back whenever it loses it.
    int keysToThief = 0;
    win::HWND thief = 0;
    {
        sys::ProcessScope scope(t->pid());
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
    p.rightClick("MyScript");
    EXPECT_EQ(keysToThief, 0);
    EXPECT_TRUE(t->scriptsRun().empty());

    win::DestroyWindow(thief);
    p.rightClick("MyScript");
    EXPECT_EQ(t->scriptsRun(), std::vector<std::string>{"MyScript"});
}

TEST(frmMainCommands, TrayMenuWithoutATerminal) {
    Program p;
    p.setAttrib("Settings/Startup/RunMT4", "Checked", "0");
    p.start();
    ASSERT_FALSE(MT4().MT4Enable());
    const win::TrackedMenu menu = p.rightClick();
    for (const char* name : {"mHideMT4", "mFloat", "mFXQuote", "mTerminal", "mScript"})
        EXPECT_FALSE(p.item(name).Enabled) << name;
    EXPECT_EQ(p.item("mFloat").Caption, "漂浮报价(&D)");
    EXPECT_EQ(p.tray().menu("mnuFloat", 0).arrayIndices().size(), 1u);
    EXPECT_TRUE(p.tray().menu("mnuFloat", 0).Visible);
    const auto* news = findItem(menu.items, "即时市况速递(&G)...");
    ASSERT_NE(news, nullptr);
    EXPECT_TRUE(news->flags & win::MF_CHECKED);  // shown at start
}

TEST(frmMainCommands, TrayLeftClickActions) {
    Program p;
    p.start();
    auto leftClick = [&](const std::string& action) {
        cls_Config& c = Config();
        c.SetNodeAttrib("Settings/SysTaskIcon/LeftClickEvent", "Selected", action);
        win::trayMouse(p.tray().hWnd(), frmSysTray::kIconId, win::WM_LBUTTONUP);
    };
    leftClick("1");
    EXPECT_TRUE(p.item("mHideFloat").Checked);
    leftClick("4");
    EXPECT_TRUE(QuoteBoardOpen);
    leftClick("4");
    EXPECT_EQ(p.board->berthCalls, 1);
    leftClick("3");
    EXPECT_TRUE(TerminalWindowOpen);
    p.notice->Hide();
    leftClick("5");
    EXPECT_TRUE(p.notice->Visible());
    p.notice->setWindowState(forms::vbMinimized);
    leftClick("5");
    EXPECT_EQ(p.notice->WindowState(), forms::vbNormal);
    leftClick("5");
    EXPECT_TRUE(p.notice->Visible());
    EXPECT_TRUE(p.main().Visible());  // the icon window stays on the desktop
    leftClick("6");
    ASSERT_NE(p.settings, nullptr);
    EXPECT_TRUE(p.settings->Visible());
    const win::HWND h = MT4().Mt4Hwnd();
    leftClick("2");
    EXPECT_FALSE(win::IsWindowVisible(h));
    // Nothing else shows a menu or changes anything.
    for (const char* a : {"0", "", "7", "x"}) leftClick(a);
    EXPECT_TRUE(win::trackedMenus().empty());
    EXPECT_FALSE(win::IsWindowVisible(h));
}

// ---- Hot keys -----------------------------------------------------------------------------------------

TEST(frmMainCommands, HotKeysRegisteredWithTheirMenuTexts) {
    Program p;
    p.setText("Settings/HotKey/Exit", "Mod(3)Key(88)HotKey(Ctrl+Alt+X)");
    p.start();
    EXPECT_EQ(p.item("mHideMT4").Caption, "隐藏MT4界面(&F)\tCtrl+Alt+M");
    EXPECT_EQ(p.item("mTerminal").Caption, "弹出MT4终端(&R)\tCtrl+Alt+T");
    EXPECT_EQ(p.item("mFXQuote").Caption, "实时报价(&Q)...\tCtrl+Alt+Q");
    EXPECT_EQ(p.item("mHideFloat").Caption, "隐藏所有漂浮窗口(&W)\tCtrl+Alt+F");
    EXPECT_EQ(p.item("mExit").Caption, "退出(&X)");

    // Twice: one text each.
    p.main().defHotKey(false);
    EXPECT_EQ(p.item("mFXNews").Caption, "即时市况速递(&G)...\tCtrl+Alt+N");

    // Pressed: each does its command.
    win::pressKey('F', win::MOD_CONTROL | win::MOD_ALT);
    EXPECT_TRUE(p.item("mHideFloat").Checked);
    win::pressKey('Q', win::MOD_CONTROL | win::MOD_ALT);
    EXPECT_TRUE(QuoteBoardOpen);
    const win::HWND h = MT4().Mt4Hwnd();
    win::pressKey('M', win::MOD_CONTROL | win::MOD_ALT);
    EXPECT_FALSE(win::IsWindowVisible(h));
    p.main().cHotKey_HotKeyPress("mt4");
    EXPECT_FALSE(win::IsWindowVisible(h));

    // Removed: the keys are free again.
    EXPECT_FALSE(keyFree(*p.terminal(), win::MOD_CONTROL | win::MOD_ALT, 'T'));
    p.main().delHotKey();
    EXPECT_TRUE(keyFree(*p.terminal(), win::MOD_CONTROL | win::MOD_ALT, 'T'));
}

TEST(frmMainCommands, HotKeysTakenByAnotherProgram) {
    Program p;
    p.setText("Settings/HotKey/Quote", "Mod(3)Key(81");     // no closing bracket: left out
    p.setText("Settings/HotKey/News", "Mod(99)Key(78)HotKey(X)");  // no such modifiers: left out
    p.start();
    termsim::Terminal* t = p.terminal();
    p.main().delHotKey();
    {
        sys::ProcessScope scope(t->pid());
        ASSERT_TRUE(win::RegisterHotKey(t->mainWindow(), 7, win::MOD_CONTROL | win::MOD_ALT, 'M'));
    }
    win::clearMessageBoxes();

    // Reported once per refused key, unless the settings say not to.
    win::queueMessageBoxAnswer(win::IDOK);
    p.main().defHotKey(false);
    auto boxes = win::messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("Ctrl+Alt+M"), std::string::npos);
    EXPECT_EQ(p.item("mHideMT4").Caption, "隐藏MT4界面(&F)");
    EXPECT_EQ(p.item("mTerminal").Caption, "弹出MT4终端(&R)\tCtrl+Alt+T");
    EXPECT_EQ(p.item("mFXQuote").Caption, "实时报价(&Q)...");
    EXPECT_EQ(p.item("mFXNews").Caption, "即时市况速递(&G)...");

    Config().SetNodeAttrib("Settings/HotKey", "NoAlertErr", "1");
    p.main().defHotKey(false);
    EXPECT_EQ(win::messageBoxes().size(), 1u);
    win::queueMessageBoxAnswer(win::IDOK);
    p.main().defHotKey(true);
    EXPECT_EQ(win::messageBoxes().size(), 2u);
}

// ---- Balloons and the icon window ---------------------------------------------------------------------

TEST(frmMainCommands, BalloonClicks) {
    Program p;
    p.start();
    const win::HWND tray = p.tray().hWnd();
    p.main().ShowBalloonTip("有新版本", "Pennant", 1, "About");
    EXPECT_EQ(win::trayIcons().at(0).balloonTimeout, 50000u);
    win::trayBalloonClick(tray, frmSysTray::kIconId);
    ASSERT_NE(p.about, nullptr);
    EXPECT_TRUE(p.about->Visible());

    p.notice->Hide();
    p.notice->berth = true;
    p.main().ShowBalloonTip("策略", "Pennant", 1, "Brisk");
    win::trayBalloonClick(tray, frmSysTray::kIconId);
    EXPECT_TRUE(p.notice->Visible());
    EXPECT_EQ(p.notice->berthCalls, 1);

    p.notice->Hide();
    p.main().ShowBalloonTip("其他", "Pennant", 2, "Other");
    win::trayBalloonClick(tray, frmSysTray::kIconId);
    p.main().ShowBalloonTip("其他", "Pennant", 2, "Brisk");
    win::trayBalloonTimeout(tray, frmSysTray::kIconId);
    EXPECT_FALSE(p.notice->Visible());
}

TEST(frmMainCommands, IconWindowMouseAndDoubleClick) {
    Program p;
    p.start();
    const long left = p.main().Left(), top = p.main().Top();

    // Right button: the tray menu at the cursor.
    win::queueMenuDismiss();
    win::clearTrackedMenus();
    win::mouseClick(p.mainX(), p.mainY(), win::MouseButton::Right);
    ASSERT_EQ(win::trackedMenus().size(), 1u);
    EXPECT_EQ(TrayCursorPoint.x, p.mainX());

    // Left press and release without moving: the window stays.
    win::mouseClick(p.mainX(), p.mainY());
    EXPECT_EQ(p.main().Left(), left);
    EXPECT_EQ(p.main().Top(), top);

    struct Case {
        const char* value;
        bool hidesPanels, opensBoard;
    } cases[] = {{"0", false, false}, {"7", false, false}, {"abc", false, false}, {"4", false, true},
                 {"1", true, false}};
    for (const auto& c : cases) {
        Config().SetNodeAttrib("Window", "DoubleClick", c.value);
        win::mouseDoubleClick(p.mainX(), p.mainY());
        EXPECT_EQ(p.item("mHideFloat").Checked, c.hidesPanels) << c.value;
        EXPECT_EQ(QuoteBoardOpen, c.opensBoard || std::string(c.value) == "1") << c.value;
    }
    EXPECT_EQ(win::trackedMenus().size(), 1u);
}

// ---- Exit -------------------------------------------------------------------------------------------

TEST(frmMainCommands, StartCommandsExit) {
    Program p;
    p.start();
    const win::HWND terminal = MT4().Mt4Hwnd();
    Panel* eur = p.panel("EURUSD");
    Panel* gbp = p.panel("GBPUSD");
    eur->Move(1500, 3000);
    gbp->border = false;
    gbp->nbLeft = 4500, gbp->nbTop = 750;
    gbp->mode = -1;
    gbp->voice = true;
    gbp->iconEvent = 3;

    // A day's use: a new panel, the board, settings, the terminal hidden from the tray menu.
    p.rightClick("USDJPY");
    ASSERT_NE(p.panel("USDJPY"), nullptr);
    p.rightClick("实时报价(Q)...");
    EXPECT_TRUE(QuoteBoardOpen);
    p.main().m_frmSysTray_MenuClick("Settings");
    p.main().m_frmSysTray_MenuClick("Terminal");
    win::mouseClick(p.mainX(), p.mainY());
    // The icon dragged 100 pixels to the left.
    const int x = p.mainX(), y = p.mainY();
    win::queueMoveSize({{x - 50, y}, {x - 100, y}});
    win::mouseDown(x, y);
    win::mouseUp(x - 100, y);
    const long iconLeft = p.main().Left() / 15, iconTop = p.main().Top() / 15;
    // The menu last saw the terminal shown; then its hot key hid it: the menu mark is stale.
    p.rightClick();
    EXPECT_FALSE(p.item("mHideMT4").Checked);
    win::pressKey('M', win::MOD_CONTROL | win::MOD_ALT);
    ASSERT_FALSE(win::IsWindowVisible(terminal));
    p.m->runFor(1500);
    Config().SetNodeAttrib("Window", "DoubleClick", "2");  // unsaved change, written at exit
    p.notice->working = true;

    win::clearMessageBoxes();
    p.rightClick("退出(&X)");
    EXPECT_TRUE(win::messageBoxes().empty());
    p.m->runFor(2000);

    EXPECT_FALSE(MainForm);
    EXPECT_EQ(forms::loadedFormCount(), 0);
    EXPECT_EQ(programWindowCount(), 0);
    EXPECT_TRUE(win::trayIcons().empty());
    EXPECT_TRUE(win::IsWindowVisible(terminal));
    EXPECT_EQ(p.notice->cancels, 1);
    EXPECT_TRUE(keyFree(*termsim::Terminal::ofWindow(terminal), win::MOD_CONTROL | win::MOD_ALT, 'M'));
    EXPECT_FALSE(QuoteBoardOpen);
    EXPECT_FALSE(TerminalWindowOpen);

    pugi::xml_document doc;
    pugi::xml_node root = p.savedRoot(doc);
    pugi::xml_node window = root.child("Window");
    EXPECT_STREQ(window.attribute("DoubleClick").value(), "2");
    EXPECT_EQ(window.attribute("Left").as_int(), iconLeft);
    EXPECT_EQ(window.attribute("Top").as_int(), iconTop);
    EXPECT_EQ(iconLeft, p.m->screenWidth() - 72 - 100);
    std::vector<std::string> saved;
    for (pugi::xml_node item : window.child("Float").children("Item")) {
        const std::string symbol = item.attribute("Symbol").value();
        saved.push_back(symbol);
        if (symbol == "EURUSD") {
            EXPECT_EQ(item.attribute("Left").as_int(), 100);
            EXPECT_EQ(item.attribute("Top").as_int(), 200);
        }
        if (symbol == "GBPUSD") {
            EXPECT_EQ(item.attribute("Left").as_int(), 300);
            EXPECT_EQ(item.attribute("Top").as_int(), 50);
            EXPECT_STREQ(item.attribute("Style").value(), "-1");
            EXPECT_EQ(item.attribute("Border").as_int(), 0);
            EXPECT_NE(item.attribute("Voice").as_int(), 0);
            EXPECT_EQ(item.attribute("IconEvent").as_int(), 3);
        }
    }
    EXPECT_EQ(saved, (std::vector<std::string>{"EURUSD", "GBPUSD", "USDJPY"}));
}

TEST(frmMainCommands, ExitWithTheIconWindowParkedKeepsItsPlace) {
    Program p;
    p.setAttrib("Window", "Visible", "0");
    p.setAttrib("Window", "Left", "321");
    p.start();
    p.main().UnloadFrm();
    p.m->runFor(100);
    EXPECT_FALSE(MainForm);
    pugi::xml_document doc;
    pugi::xml_node window = p.savedRoot(doc).child("Window");
    EXPECT_STREQ(window.attribute("Left").value(), "321");
    EXPECT_STREQ(window.attribute("Top").value(), "-1");
}

// A settings file that cannot be written at exit: the user is told, the file stays as it was,
// and the program still ends.
TEST(frmMainCommands, ExitTellsOfASaveThatFailed) {
    Program p;
    p.start();
    const std::string before = p.m->readFile(testing_support::kProgramSettings).value();
    auto blocker = p.m->hostPath(testing_support::kProgramSettings);
    blocker += ".tmp-" + std::to_string(::getpid());
    std::filesystem::create_directory(blocker);
    win::clearMessageBoxes();
    win::queueMessageBoxAnswer(win::IDOK);
    p.main().m_frmSysTray_MenuClick("Exit");
    p.m->runFor(100);
    std::filesystem::remove(blocker);
    EXPECT_FALSE(MainForm);
    ASSERT_FALSE(win::messageBoxes().empty());
    EXPECT_EQ(win::messageBoxes().back().text.rfind("设置文件保存失败: ", 0), 0u) << win::messageBoxes().back().text;
    EXPECT_EQ(p.m->readFile(testing_support::kProgramSettings).value(), before);
}

// Saved panels the terminal does not list today stay saved; a file without the panel list
// still lets the program end and gains the list.
TEST(frmMainCommands, ExitKeepsPanelsItCouldNotOpen) {
    struct Case { bool floatNode; std::vector<std::string> saved; };
    for (const Case& c : {Case{true, {"ZZZUSD", "EURUSD", "GBPUSD"}}, Case{false, {}}}) {
        SCOPED_TRACE(c.floatNode);
        Program p;
        {
            cls_Config edit;
            edit.XmlFile(kSettings);
            ASSERT_TRUE(edit.Initialize());
            if (c.floatNode) edit.AddFloatRecord({{"Symbol", "ZZZUSD"}, {"Left", "7"}, {"Odd", "kept"}});
            else edit.document().child("App").child("Window").remove_child("Float");
            edit.XMLSave();
        }
        p.start();
        EXPECT_EQ(p.panel("ZZZUSD"), nullptr);
        win::clearMessageBoxes();
        p.main().m_frmSysTray_MenuClick("Exit");
        p.m->runFor(100);
        EXPECT_FALSE(MainForm);
        EXPECT_TRUE(win::messageBoxes().empty());
        pugi::xml_document doc;
        pugi::xml_node list = p.savedRoot(doc).child("Window").child("Float");
        EXPECT_TRUE(list);
        std::vector<std::string> saved;
        for (pugi::xml_node item : list.children("Item")) saved.push_back(item.attribute("Symbol").value());
        EXPECT_EQ(saved, c.saved);
        if (c.floatNode) {
            pugi::xml_node kept = list.find_child_by_attribute("Item", "Symbol", "ZZZUSD");
            EXPECT_STREQ(kept.attribute("Left").value(), "7");
            EXPECT_STREQ(kept.attribute("Odd").value(), "kept");
        }
    }
}

TEST(frmMainCommands, FailedExitKeepsTheProgramAndItsPriceLoopRunning) {
    Program p;
    p.start();
    Confirm confirm;
    confirm.fails = true;
    OrderConfirmForm = &confirm;
    OrderConfirmOpen = true;

    win::clearMessageBoxes();
    win::queueMessageBoxAnswer(win::IDOK);
    p.main().cHotKey_HotKeyPress("Exit");
    const auto boxes = win::messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Pennant 在退出时产生一个错误:对象变量未设置");
    EXPECT_EQ(boxes[0].caption, "Pennant");
    ASSERT_TRUE(MainForm);
    EXPECT_EQ(p.main().TimerState, frmMain::kRun);
    EXPECT_EQ(p.main().m_PriceTimer->Interval(), 1000);

    // The loop runs: a pause request is answered.
    p.main().TimerState = frmMain::kPause;
    p.m->runFor(1500);
    EXPECT_EQ(p.main().TimerState, frmMain::kAcknowledged);
    p.main().TimerState = frmMain::kRun;

    // A second exit, once the balloon lets go, completes, and the panels the first one closed
    // stay in the saved list.
    confirm.fails = false;
    p.main().m_frmSysTray_MenuClick("Symbol_USDJPY");
    p.main().m_frmSysTray_MenuClick("Exit");
    OrderConfirmForm = nullptr;
    p.m->runFor(100);
    EXPECT_FALSE(MainForm);
    EXPECT_EQ(programWindowCount(), 0);
    pugi::xml_document doc;
    std::vector<std::string> saved;
    for (pugi::xml_node item : p.savedRoot(doc).child("Window").child("Float").children("Item"))
        saved.push_back(item.attribute("Symbol").value());
    EXPECT_EQ(saved, (std::vector<std::string>{"EURUSD", "GBPUSD", "USDJPY"}));
}

// An exit asked for from inside a tick (a hot key pressed while the tick pumps) waits for the
// tick to end rather than closing the windows under it.
TEST(frmMainCommands, ExitFromInsideATickRunsAfterIt) {
    Program p;
    p.start();
    bool asked = false, stillThere = false;
    p.main().Trace = [&](const std::string&) {
        if (asked) return;
        asked = true;
        MainForm->cHotKey_HotKeyPress("Exit");
        stillThere = MainForm && MainForm->IsLoaded() && FloatForms.Count() == 2;
    };
    p.m->runFor(1500);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(stillThere);
    p.m->runFor(100);
    EXPECT_FALSE(MainForm);
    EXPECT_EQ(programWindowCount(), 0);
}

// A window of the terminal's class whose lists cannot be found: the switch is refused, the bridge
// keeps the terminal it had and the price loop runs on.
TEST(frmMainCommands, RefusedSwitchKeepsTheTerminalAndTheLoop) {
    Program p;
    p.start();
    termsim::Terminal* t = p.terminal();
    const win::HWND current = MT4().Mt4Hwnd();
    const std::string title = TerminalTitle;
    win::HWND fake = 0;
    {
        sys::ProcessScope scope(t->pid());
        fake = win::CreateWindowEx(0, termsim::Terminal::kMainClass, "9999: Fake - 模拟账户", win::WS_OVERLAPPEDWINDOW,
                                   0, 0, 100, 100, 0);
    }
    ASSERT_NE(fake, 0);
    p.main().m_frmSysTray_MenuClick("MT4_" + std::to_string(fake) + "|1");
    EXPECT_EQ(MT4().Mt4Hwnd(), current);
    EXPECT_EQ(TerminalTitle, title);
    EXPECT_EQ(p.main().TimerState, frmMain::kRun);
    EXPECT_TRUE(MT4().GetQuote());
}
