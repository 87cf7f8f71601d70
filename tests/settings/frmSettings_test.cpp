// The settings window in the running program: opened from the tray menu and its hot key, every
// setting shown as stored, the start-with-the-system entry, and each tab to look at.
#include "SettingsProgram.h"

namespace {

using namespace settings_test;

// ---- Hot-key text ---------------------------------------------------------------------------

TEST(SettingsHotKeyText, ModifierBitsBothWays) {
    struct Case {
        int32_t stored, box;
        const char* prefix;
        int32_t savedBack;
    };
    for (const Case& c : std::vector<Case>{{3, 6, "Ctrl+Alt+", 3},
                                           {5, 5, "Shift+Alt+", 5},
                                           {7, 7, "Ctrl+Shift+Alt+", 7},
                                           {1, 4, "Alt+", 1},
                                           {0, 0, "", 0},
                                           {8, 8, "", 0}}) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(frmSettings::ModToHotKeyFlags(c.stored), c.box);
        std::string prefix = "x";
        int32_t mod = -1;
        frmSettings::HotKeyFlagsToText(c.box, prefix, mod);
        EXPECT_EQ(prefix, c.prefix);
        EXPECT_EQ(mod, c.savedBack);
    }
}

TEST(SettingsHotKeyText, TextsAndTheirRoundTrip) {
    struct Case {
        int32_t mod, key;
        const char* text;
    };
    for (const Case& c : std::vector<Case>{{6, 65, "Mod(6)Key(65)HotKey(Ctrl+Shift+A)"},
                                           {7, 49, "Mod(7)Key(49)HotKey(Ctrl+Shift+Alt+1)"},
                                           {1, 90, "Mod(1)Key(90)HotKey(Alt+Z)"},
                                           {0, 81, "Mod(0)Key(81)HotKey(Q)"},
                                           {3, 112, "Mod(3)Key(112)HotKey(Ctrl+Alt+F1)"},
                                           {2, 192, "Mod(2)Key(192)HotKey(Ctrl+`)"},
                                           {3, 96, "Mod(3)Key(96)HotKey(Ctrl+Alt+Num 0)"},
                                           {1, 46, "Mod(1)Key(46)HotKey(Alt+Del)"},
                                           {10, 81, "Mod(10)Key(81)HotKey(Ctrl+Win+Q)"},
                                           {3, 0, ""}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(frmSettings::HotKeyText(c.mod, c.key), c.text);
        if (!*c.text) continue;
        const auto back = frmSettings::ParseHotKeyText(c.text);
        EXPECT_EQ(back.mod, c.mod);
        EXPECT_EQ(back.key, c.key);
    }
    // Part names in any letter case; a part missing, unclosed or out of range reads 0.
    struct Read {
        const char* text;
        int32_t mod, key;
    };
    for (const Read& r : std::vector<Read>{{"mod(3)key(77)hotkey(x)", 3, 77},
                                           {"Key(77)HotKey(M)", 0, 77},
                                           {"Mod(3)Key(77", 3, 0},
                                           {"Mod(99)Key(300)HotKey(X)", 0, 0},
                                           {"", 0, 0}}) {
        SCOPED_TRACE(r.text);
        const auto v = frmSettings::ParseHotKeyText(r.text);
        EXPECT_EQ(v.mod, r.mod);
        EXPECT_EQ(v.key, r.key);
    }
}

// ---- Loading ---------------------------------------------------------------------------------

// A stored value and the list position it shows as.
struct Shown {
    const char* path;
    const char* name;
    const char* value;
    const char* element;
    int index;
};

TEST(SettingsWindow, ListsShowTheStoredChoiceAndOutOfRangeFallsBack) {
    // Each round opens the window once; a round sets each attribute once.
    const std::vector<std::vector<Shown>> rounds = {
        {{"Settings/FXNews/Popup/Duration", "SelValue", "35", "DurationIndex", 2},
         {"FXCalendar", "NotifyTime", "1", "iFXCalNotifyTime", 0},
         {"Settings/Timeout", "Interval", "15", "TimeOut", 2},
         {"Window", "DoubleClick", "7", "DoubleClickEvent", 0},
         {"Settings/SysTaskIcon/LeftClickEvent", "Selected", "3", "LeftClickEvent", 3}},
        {{"Settings/FXNews/Popup/Duration", "SelValue", "45", "DurationIndex", 4},
         {"FXCalendar", "NotifyTime", "10", "iFXCalNotifyTime", 3},
         {"Settings/Timeout", "Interval", "20", "TimeOut", 8},
         {"Window", "DoubleClick", "3", "DoubleClickEvent", 3},
         {"Settings/SysTaskIcon/LeftClickEvent", "Selected", "-2", "LeftClickEvent", 0}},
        {{"Settings/FXNews/Popup/Duration", "SelValue", "0", "DurationIndex", 1},
         {"FXCalendar", "NotifyTime", "7", "iFXCalNotifyTime", 0},
         {"Settings/Timeout", "Interval", "50", "TimeOut", 11},
         {"Window", "DoubleClick", "5.5", "DoubleClickEvent", 6},
         {"Settings/SysTaskIcon/LeftClickEvent", "Selected", "x", "LeftClickEvent", 0}},
        {{"Settings/FXNews/Popup/Duration", "SelValue", "70", "DurationIndex", 1},
         {"FXCalendar", "NotifyTime", "5", "iFXCalNotifyTime", 2},
         {"Settings/Timeout", "Interval", "3", "TimeOut", 0},
         {"Window", "DoubleClick", "1e999", "DoubleClickEvent", 0}},
    };
    Program p;
    for (const auto& round : rounds) {
        for (const Shown& s : round) Config().SetNodeAttrib(s.path, s.name, s.value);
        frmSettings* w = p.open();
        ASSERT_NE(w, nullptr);
        for (const Shown& s : round)
            EXPECT_EQ(Program::el(*w, s.element).number("selectedIndex"), s.index) << s.name << "=" << s.value;
        w->ClickCancel();
        p.runFor(10);
    }
}

TEST(SettingsWindow, LoadsEverySettingAsStoredOnce) {
    Program p;
    cls_Config& c = Config();
    c.SetNodeAttrib("Settings/Startup/RunMT4", "Checked", "0");
    c.SetNodeAttrib("Settings/Startup/HideMT4", "Checked", "-1");
    c.SetNodeAttrib("Settings/FXNews", "Include", "欧元;美元");
    c.SetNodeAttrib("Settings/FXNews/Popup", "Checked", "abc");
    c.SetNodeAttrib("Settings/FXNews/Source/DailyFX_1", "Checked", "0.5");
    c.SetNodeAttrib("Settings/Timeout", "SoundFile", "BELL.WAV");
    c.SetNodeAttrib("Settings/Timeout", "Sound", "0");
    c.SetNodeAttrib("Settings/Brisk", "SoundFile", "gone.wav");
    c.SetNodeAttrib("Settings/VoiceClock", "Checked", "1");
    c.SetNodeText("Settings/HotKey/Exit", "Mod(10)Key(81)HotKey(Ctrl+Win+Q)");
    // The running switches show, not the store.
    TimeoutSound = true;
    TimeoutVoice = false;
    frmSettings* w = p.open();
    ASSERT_NE(w, nullptr);
    auto on = [&](const char* id) { return Program::el(*w, id).checked(); };
    EXPECT_FALSE(on("RunMT4"));
    EXPECT_TRUE(on("HideMT4"));
    EXPECT_TRUE(Program::el(*w, "HideMT4").disabled());  // follows RunMT4
    EXPECT_EQ(Program::el(*w, "iInclude").value(), "欧元;美元");
    EXPECT_FALSE(on("Popup"));
    EXPECT_TRUE(Program::el(*w, "DurationIndex").disabled());
    EXPECT_TRUE(on("TT1"));
    EXPECT_TRUE(on("TT2"));
    EXPECT_TRUE(on("TimeOutSound"));
    EXPECT_FALSE(on("TimeOutVoice"));
    EXPECT_TRUE(on("VoiceClock"));
    EXPECT_FALSE(on("iSystemRun"));
    EXPECT_EQ(Program::el(*w, "iSystemRunImg").getAttribute("src"), "r2.gif");

    // Sound lists: an empty entry, then the folder's files in both.
    for (const char* list : {"TimeOutSoundList", "BriskSoundList"}) {
        const auto options = Program::el(*w, list).elements("options");
        ASSERT_EQ(options.size(), 3u) << list;
        EXPECT_EQ(options[0].text("text"), "");
        EXPECT_EQ(options[1].text("text"), "Alarm.wav");
        EXPECT_EQ(options[2].text("text"), "Bell.wav");
    }
    EXPECT_EQ(Program::el(*w, "TimeOutSoundList").number("selectedIndex"), 2);
    EXPECT_EQ(Program::el(*w, "BriskSoundList").number("selectedIndex"), -1);

    // The terminal's default path is the field's hint.
    const std::string hint = "默认: C:\\Program Files\\MetaTrader 4\\terminal.exe";
    EXPECT_EQ(Program::el(*w, "defMT4File").innerText(), hint);
    EXPECT_EQ(Program::el(*w, "MT4File").value(), hint);
    EXPECT_EQ(Program::el(*w, "MT4File").title(), hint);

    // Hot keys: the shipped Ctrl+Alt+M, and Win kept aside for the box that cannot show it.
    EXPECT_EQ(w->HotKeyBox(0)->HotKey(), 'M');
    EXPECT_EQ(w->HotKeyBox(0)->HotKeyModifier(), win::HOTKEYF_CONTROL | win::HOTKEYF_ALT);
    EXPECT_EQ(w->HotKeyBox(6)->HotKey(), 'Q');
    EXPECT_EQ(w->HotKeyBox(6)->HotKeyModifier(), win::HOTKEYF_CONTROL | win::HOTKEYF_EXT);

    // The window is as big as the page's layout down to its buttons.
    const web::HTMLElement bar = Program::el(*w, "ButtonLayout");
    EXPECT_EQ(w->ScaleWidth() / 15, bar.offsetWidth());
    EXPECT_EQ(w->ScaleHeight() / 15, bar.offsetTop() + bar.offsetHeight());

    // Another document-complete neither loads again nor undoes what the user changed.
    Program::el(*w, "iInclude").value("黄金");
    w->Browser()->DocumentComplete(PageBase + "Settings.htm");
    EXPECT_EQ(w->LoadPasses(), 1);
    EXPECT_EQ(Program::el(*w, "iInclude").value(), "黄金");
}

TEST(SettingsWindow, TerminalLabelWithAStoredPathOrNoTerminalKey) {
    Program p;
    Config().SetNodeAttrib("Settings/Startup/RunMT4", "MT4File", "D:\\MT4\\terminal.exe");
    frmSettings* w = p.open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Program::el(*w, "defMT4File").innerText(), "...");
    EXPECT_EQ(Program::el(*w, "MT4File").value(), "D:\\MT4\\terminal.exe");
    // Emptied by the user, it stays empty: the hint the page first had is gone.
    Program::el(*w, "MT4File").value("");
    Program::el(*w, "MT4File").FireEvent("onblur");
    EXPECT_EQ(Program::el(*w, "MT4File").value(), "");
    w->ClickCancel();
    p.runFor(10);

    Config().SetNodeAttrib("Settings/Startup/RunMT4", "MT4File", "");
    reg::deleteTree(win::HKEY_CURRENT_USER, "Software\\MetaQuotes Software\\MetaTrader 4");
    w = p.open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Program::el(*w, "defMT4File").innerText(), "无");
    EXPECT_EQ(Program::el(*w, "MT4File").value(), "无");
    // OK keeps no hint as a path.
    w->ClickOK();
    EXPECT_EQ(p.saved("Settings/Startup/RunMT4", "MT4File"), "");
}

// ---- Start with the system ---------------------------------------------------------------------

TEST(SettingsWindow, StartWithTheSystemEntry) {
    struct Case {
        std::optional<std::string> before;  // the entry at opening
        bool shownTicked;
        bool tick;                          // the box when saved
        std::optional<std::string> after;
    };
    const std::string otherCopy = "D:\\Old\\Pennant.exe";
    const std::vector<Case> cases = {
        {std::nullopt, false, false, std::nullopt},
        {"c:\\program files\\pennant\\PENNANT.EXE", true, true, kExe},
        {otherCopy, false, true, kExe},
        {otherCopy, false, false, std::nullopt},
        {std::nullopt, false, true, kExe},
    };
    Program p;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.value_or("<none>") + (c.tick ? " ticked" : " unticked"));
        reg::deleteValue(win::HKEY_LOCAL_MACHINE, kRunKey, "Pennant");
        if (c.before) reg::setString(win::HKEY_LOCAL_MACHINE, kRunKey, "Pennant", *c.before);
        frmSettings* w = p.open();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(Program::el(*w, "iSystemRun").checked(), c.shownTicked);
        Program::el(*w, "iSystemRun").checked(c.tick);
        EXPECT_TRUE(w->SetAutoRun());
        EXPECT_EQ(runEntry(), c.after);
        w->ClickCancel();
        p.runFor(10);
    }

    // A registry that cannot be written keeps the entry it had, and OK says so; the rest is saved.
    reg::setString(win::HKEY_LOCAL_MACHINE, kRunKey, "Pennant", otherCopy);
    frmSettings* w = p.open();
    ASSERT_NE(w, nullptr);
    const std::filesystem::path blocker =
        p.m->root() / ("registry.dat.tmp-" + std::to_string(getpid())) / "blocker";
    std::filesystem::create_directories(blocker);
    Program::el(*w, "iSystemRun").checked(true);
    Program::el(*w, "chkLU").checked(true);
    win::queueMessageBoxAnswer(win::IDOK);
    w->ClickOK();
    std::filesystem::remove_all(blocker.parent_path());
    EXPECT_EQ(runEntry(), otherCopy);
    ASSERT_FALSE(win::messageBoxes().empty());
    EXPECT_NE(win::messageBoxes().back().text.find("iSystemRun"), std::string::npos);
    EXPECT_EQ(p.saved("Settings/LiveUpdate", "Checked"), "1");
}

// ---- Opening and looking at it ------------------------------------------------------------------

TEST(SettingsWindow, OpensFromItsHotKeyAndShowsEachTab) {
    Program p;
    p.m->beginOutsideWork();
    win::pressKey('S', win::MOD_CONTROL | win::MOD_ALT);
    p.m->endOutsideWork();
    auto* w = dynamic_cast<frmSettings*>(SettingsForm());
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(p.runUntil([&] { return w->Visible(); }));
    EXPECT_EQ(win::windowText(w->hWnd()), "配置选项");
    for (const char* tab : {"iGeneral", "iNews", "iKey", "iUpdate", "iAdvanced", "iBrisk"}) {
        w->PageDocument().callFunction("ClickMenu", {tab});
        p.runFor(100);
        testing_support::writeSnapshot(std::string("settings_") + tab);
    }
    // Cancel keeps the file as it was and lets the next opening make a fresh window.
    const std::string before = p.file();
    Program::el(*w, "chkLU").checked(true);
    w->ClickCancel();
    p.runFor(10);
    EXPECT_EQ(p.file(), before);
    // Again from the tray icon's menu.
    const auto icons = win::trayIcons();
    ASSERT_FALSE(icons.empty());
    win::queueMenuChoice(std::string("配置选项(&S)..."));
    p.m->beginOutsideWork();
    win::trayMouse(icons[0].hwnd, icons[0].id, win::WM_RBUTTONDOWN);
    win::trayMouse(icons[0].hwnd, icons[0].id, win::WM_RBUTTONUP);
    p.m->endOutsideWork();
    auto* again = dynamic_cast<frmSettings*>(SettingsForm());
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(p.runUntil([&] { return again->Visible(); }));
    EXPECT_EQ(again->LoadPasses(), 1);
    EXPECT_FALSE(Program::el(*again, "chkLU").checked());
}

} // namespace
