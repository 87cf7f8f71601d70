#include "core/frmSysTray.h"

#include "platform/desktop/Menu.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Tray.h"
#include "platform/system/CodePage.h"
#include "support/TestMachine.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using testing_support::TestMachine;

namespace {

// A loaded tray window whose events are written to a log.
struct Tray {
    TestMachine m;
    std::unique_ptr<frmSysTray> tray;
    std::vector<std::string> log;

    explicit Tray(const std::string& shellVersion = "") {
        if (!shellVersion.empty()) m->setSetting("shell32.version", shellVersion);
        tray = std::make_unique<frmSysTray>();
        auto button = [this](const char* what) {
            return [this, what](int32_t b) { log.push_back(what + std::to_string(b)); };
        };
        auto plain = [this](const char* what) { return [this, what] { log.push_back(what); }; };
        tray->SysTrayMouseDown = button("down");
        tray->SysTrayMouseUp = button("up");
        tray->SysTrayDoubleClick = button("dbl");
        tray->SysTrayMouseMove = plain("move");
        tray->BalloonShow = plain("show");
        tray->BalloonHide = plain("hide");
        tray->BalloonTimeOut = plain("timeout");
        tray->BalloonClicked = plain("clicked");
        tray->MenuClick = [this](const std::string& k) { log.push_back("menu:" + k); };
        tray->Load();
    }
    win::HWND hwnd() { return tray->hWnd(); }
    std::vector<win::TrayIconRecord> icons() { return win::trayIcons(); }
    bool balloonUp() {
        auto i = icons();
        return !i.empty() && i[0].balloonShown;
    }
};

} // namespace

// Load adds the icon with the program's tip and hooks its callback; unload takes both away.
TEST(frmSysTray, LoadAddsTheIconAndUnloadRemovesIt) {
    Tray t;
    auto icons = t.icons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].hwnd, t.hwnd());
    EXPECT_EQ(icons[0].id, 999u);
    EXPECT_EQ(icons[0].callbackMessage, 0x8015u);
    EXPECT_EQ(icons[0].icon, frmSysTray::kProgramIcon);
    EXPECT_EQ(icons[0].tip, "Pennant");
    EXPECT_EQ(icons[0].version, 3u);
    // Subclassed for the callback message alone.
    EXPECT_EQ(win::GetProp(t.hwnd(), std::to_string(t.hwnd()) + "C"), 1);
    EXPECT_EQ(win::GetProp(t.hwnd(), std::to_string(t.hwnd()) + "#32789C"), 1);
    EXPECT_EQ(t.tray->menu("mFloat").Tag, "漂浮报价(&D)");
    EXPECT_EQ(t.tray->menu("mSettings").Tag, "配置选项(&S)...");
    EXPECT_FALSE(t.tray->Visible());

    t.tray->TaskToolTip("EURUSD 1.1012");
    EXPECT_EQ(t.icons()[0].tip, "EURUSD 1.1012");
    t.tray->IconHandle(77);
    EXPECT_EQ(t.icons()[0].icon, 77);

    const win::HWND h = t.hwnd();
    EXPECT_TRUE(t.tray->Unload());
    EXPECT_TRUE(t.icons().empty());
    EXPECT_FALSE(win::IsWindow(h));
}

// The icon's mouse messages become events: the left button on release, the right on both.
TEST(frmSysTray, MouseMessagesBecomeEvents) {
    struct Case {
        const char* name;
        std::vector<win::UINT> messages;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"left click", {win::WM_LBUTTONDOWN, win::WM_LBUTTONUP}, {"down1"}},
        {"left double click",
         {win::WM_LBUTTONDOWN, win::WM_LBUTTONUP, win::WM_LBUTTONDBLCLK, win::WM_LBUTTONUP},
         {"down1", "dbl1", "down1"}},
        {"right click", {win::WM_RBUTTONDOWN, win::WM_RBUTTONUP}, {"down2", "up2"}},
        {"right double click", {win::WM_RBUTTONDBLCLK}, {"dbl2"}},
        {"move", {win::WM_MOUSEMOVE}, {"move"}},
        {"middle button", {win::WM_MBUTTONDOWN, win::WM_MBUTTONUP}, {}},
    };
    Tray t;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        t.log.clear();
        for (win::UINT m : c.messages) EXPECT_TRUE(win::trayMouse(t.hwnd(), 999, m));
        EXPECT_EQ(t.log, c.events);
    }
    // A handler that fails does not break the window.
    t.tray->SysTrayMouseMove = [] { throw std::runtime_error("handler failed"); };
    EXPECT_TRUE(win::trayMouse(t.hwnd(), 999, win::WM_MOUSEMOVE));
    t.log.clear();
    win::trayMouse(t.hwnd(), 999, win::WM_RBUTTONDOWN);
    EXPECT_EQ(t.log, (std::vector<std::string>{"down2"}));
}

// The window withdraws a balloon after the time its caller asked for, before the shell would.
TEST(frmSysTray, BalloonClosesAfterItsTime) {
    Tray t;
    std::vector<std::string> told;
    m_Main::Tell = [&](const std::string& line) { told.push_back(line); };
    t.tray->ShowBalloonTip("报价异常", "Pennant", 3, 5000);
    m_Main::Tell = nullptr;
    EXPECT_EQ(told, (std::vector<std::string>{"balloon: Pennant / 报价异常"}));
    ASSERT_TRUE(t.balloonUp());
    EXPECT_EQ(t.icons()[0].balloonText, "报价异常");
    EXPECT_EQ(t.icons()[0].balloonFlags, 3u);
    EXPECT_TRUE(t.m->runUntil([&] { return !t.balloonUp(); }, 9000));  // the shell keeps it 10 s at least
    t.m->runFor(100);
    EXPECT_EQ(t.log, (std::vector<std::string>{"show", "hide"}));
    EXPECT_EQ(t.tray->balloonTimer()->Interval(), 0);
    EXPECT_EQ(mTimer::runningCount(), 0);
}

// A click on the balloon raises BalloonClicked; the window's timer still fires once, quietly.
TEST(frmSysTray, BalloonClick) {
    Tray t;
    t.tray->ShowBalloonTip("text", "title", 1, 3000);
    t.m->runFor(10);
    ASSERT_TRUE(win::trayBalloonClick(t.hwnd(), 999));
    EXPECT_EQ(t.log, (std::vector<std::string>{"show", "clicked"}));
    EXPECT_EQ(mTimer::runningCount(), 1);
    t.m->runFor(5000);
    EXPECT_EQ(mTimer::runningCount(), 0);
    EXPECT_EQ(t.log, (std::vector<std::string>{"show", "clicked"}));
}

// Balloon after balloon replaces the timer without leaving the old one running, and unloading
// or destroying the window stops the running one.
TEST(frmSysTray, BalloonTimersNeverPileUp) {
    Tray t;
    for (int i = 0; i < 120; ++i) {
        t.tray->ShowBalloonTip("tip " + std::to_string(i), "", 1, 60000);
        t.m->runFor(10);
        EXPECT_LE(mTimer::runningCount(), 1);
    }
    EXPECT_EQ(mTimer::runningCount(), 1);
    EXPECT_TRUE(t.tray->Unload());
    EXPECT_EQ(mTimer::runningCount(), 0);
    t.m->runFor(70000);

    Tray u;
    u.tray->ShowBalloonTip("x", "", 1, 60000);
    u.m->runFor(10);
    EXPECT_EQ(mTimer::runningCount(), 1);
    u.tray.reset();
    EXPECT_EQ(mTimer::runningCount(), 0);
    EXPECT_TRUE(win::trayIcons().empty());
    u.m->runFor(70000);
}

// The record size follows the shell's version; the oldest record carries a 64-byte tip and no
// balloons. Long tips are cut to their field without splitting a character.
TEST(frmSysTray, RecordSizeFollowsTheShellVersion) {
    struct Case {
        const char* version;
        int32_t size;
        size_t tipBytes;
        bool balloons;
    };
    const Case cases[] = {
        {"6.0.2900.5512", 504, 127, true},
        {"5.0.3900", 488, 127, true},
        {"4.72.3110", 88, 63, false},
        {"not a version", 88, 63, false},
    };
    std::string longTip;
    for (int i = 0; i < 100; ++i) longTip += "汇";  // two bytes each in the code page
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        Tray t(c.version);
        EXPECT_EQ(t.tray->recordSize(), c.size);
        t.tray->TaskToolTip(longTip);
        const std::string tip = t.icons()[0].tip;
        EXPECT_EQ(sys::ansiLength(tip), c.tipBytes - 1);  // whole characters only
        EXPECT_EQ(longTip.compare(0, tip.size(), tip), 0);
        t.tray->ShowBalloonTip("b", "t", 1, 1000);
        EXPECT_EQ(t.balloonUp(), c.balloons);
    }
}

// Without a shell the add fails: no hook, and later icon calls fail quietly.
TEST(frmSysTray, RefusedAddLeavesTheWindowUnhooked) {
    TestMachine m;
    win::setTrayAvailable(false);
    frmSysTray tray;
    tray.Load();
    const win::WNDPROC before = win::GetWindowLong(tray.hWnd(), win::GWL_WNDPROC);
    EXPECT_TRUE(win::trayIcons().empty());
    tray.ShowBalloonTip("x", "y", 1, 1000);
    tray.TaskToolTip("tip");
    m->runFor(2000);
    EXPECT_EQ(win::GetWindowLong(tray.hWnd(), win::GWL_WNDPROC), before);
    EXPECT_TRUE(tray.Unload());
}

// Items added at run time sit after their array's last element, and every chosen item raises
// its key.
TEST(frmSysTray, MenuItemsRaiseTheirKeys) {
    Tray t;
    t.tray->AddFloat("EURUSD", "EURUSD", true);
    t.tray->AddFloat("GBPUSD", "GBPUSD", false);
    t.tray->AddMultiMt4("Demo", "1234", false);
    t.tray->AddMultiMt4("Live", "5678", true);
    t.tray->AddScript("close_all", "");
    t.tray->AddScript("-", "");

    const auto& fl = t.tray->menu("mFloat").Items();
    std::vector<std::string> floatNames;
    for (auto& i : fl) floatNames.push_back(i->Name + std::to_string(i->Index));
    EXPECT_EQ(floatNames, (std::vector<std::string>{"mnuFloat0", "mnuFloat1", "mnuFloat2", "Separator6-1", "mHideFloat-1"}));
    EXPECT_TRUE(t.tray->menu("mnuFloat", 1).Checked);
    const auto& sc = t.tray->menu("mScript").Items();
    EXPECT_EQ(sc.back()->Name, "mnuInsScript");
    EXPECT_EQ(t.tray->menu("mnuScript", 2).Caption, "-");

    struct Case {
        const char* caption;
        const char* key;
    };
    const Case cases[] = {
        {"GBPUSD", "Symbol_GBPUSD"}, {"Live", "MT4_5678|2"},   {"close_all", "Script_1"},
        {"退出(&X)", "Exit"},         {"配置选项(&S)...", "Settings"}, {"Corvel服务(&T)", "Brisk"},
        {"安装MT4脚本(&C)...", "InsScript"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        t.log.clear();
        win::queueMenuChoice(std::string(c.caption));
        t.tray->ShowMenu();
        EXPECT_EQ(t.log, (std::vector<std::string>{std::string("menu:") + c.key}));
    }
    EXPECT_EQ(win::GetForegroundWindow(), t.hwnd());
    t.log.clear();
    win::queueMenuDismiss();
    t.tray->ShowMenu();
    EXPECT_TRUE(t.log.empty());
}
