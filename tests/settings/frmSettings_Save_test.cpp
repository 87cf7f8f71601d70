// The settings window in the running program: OK writing and applying every setting, the faults
// it must not have, the sound preview, the hot-key boxes and the terminal file.
#include "SettingsProgram.h"

namespace {

using namespace settings_test;

// ---- Saving and applying ---------------------------------------------------------------------

TEST(SettingsWindow, OkWritesAppliesAndClosesInOnePass) {
    Program p(true, wideScreen());
    Config().SetNodeAttrib("Window", "Visible", "0");
    frmSettings* w = p.open();
    ASSERT_NE(w, nullptr);
    auto tick = [&](const char* id, bool on) { Program::el(*w, id).checked(on); };
    auto pick = [&](const char* id, int index) { Program::el(*w, id).set("selectedIndex", index); };
    tick("RunMT4", false);
    Program::el(*w, "MT4File").value("  D:\\MT4\\terminal.exe ");
    tick("HideMT4", true);
    Program::el(*w, "iInclude").value(" 欧元;黄金 ");
    Program::el(*w, "iExclude").value("");
    tick("Popup", true);
    tick("Duration", false);
    pick("DurationIndex", 3);
    tick("DetectFSApp", false);
    pick("iFXCalNotifyTime", 3);
    tick("TT1", true);
    tick("TT2", false);
    tick("TT3", true);
    tick("iFloat", true);
    pick("DoubleClickEvent", 5);
    tick("TopWindow", true);
    pick("LeftClickEvent", 6);
    tick("chkTimeOut", false);
    pick("TimeOut", 9);
    pick("TimeOutSoundList", -1);
    tick("TimeOutSound", true);
    tick("TimeOutVoice", true);
    tick("VClock0", false);
    tick("VClock15", true);
    tick("VClock30", false);
    tick("VClock45", true);
    tick("VoiceClock", true);
    tick("chkLU", false);
    tick("brisk", false);
    tick("FX1", false);
    tick("FX2", true);
    tick("FX3", false);
    tick("BriskSound", true);
    pick("BriskSoundList", 1);
    tick("BriskVoice", true);
    tick("NoAlertErr", true);
    // Boxes: one emptied, one changed, the ~ key, the rest as loaded.
    w->HotKeyBox(1)->HotKey(0);
    w->HotKeyBox(2)->HotKey(win::VK_F1);
    w->HotKeyBox(2)->HotKeyModifier(win::HOTKEYF_SHIFT | win::HOTKEYF_ALT);
    w->HotKeyBox(6)->HotKey(win::VK_OEM_3);
    w->HotKeyBox(6)->HotKeyModifier(win::HOTKEYF_CONTROL);
    StopVoiceClock();
    ASSERT_EQ(VoiceClockForm(), nullptr);

    w->ClickOK();
    EXPECT_TRUE(w->LastFailures().empty());
    EXPECT_TRUE(win::messageBoxes().empty());
    EXPECT_FALSE(w->IsLoaded());
    p.runFor(10);

    struct Saved {
        const char* path;
        const char* name;
        const char* value;
    };
    for (const Saved& s : std::vector<Saved>{{"Settings/Startup/RunMT4", "Checked", "0"},
                                             {"Settings/Startup/RunMT4", "MT4File", "D:\\MT4\\terminal.exe"},
                                             {"Settings/Startup/HideMT4", "Checked", "1"},
                                             {"Settings/FXNews", "Include", "欧元;黄金"},
                                             {"Settings/FXNews", "Exclude", ""},
                                             {"Settings/FXNews/Popup", "Checked", "1"},
                                             {"Settings/FXNews/Popup/Duration", "Checked", "0"},
                                             {"Settings/FXNews/Popup/Duration", "SelValue", "40"},
                                             {"Settings/FXNews/Popup/DetectFSApp", "Checked", "0"},
                                             {"FXCalendar", "NotifyTime", "10"},
                                             {"Settings/FXNews/Source/FX168_1", "Checked", "1"},
                                             {"Settings/FXNews/Source/DailyFX_1", "Checked", "0"},
                                             {"Settings/FXNews/Source/CaiXun_1", "Checked", "1"},
                                             {"Window", "Visible", "1"},
                                             {"Window", "DoubleClick", "5"},
                                             {"Window", "TopMost", "1"},
                                             {"Settings/SysTaskIcon/LeftClickEvent", "Selected", "6"},
                                             {"Settings/Timeout", "Checked", "0"},
                                             {"Settings/Timeout", "Interval", "30"},
                                             {"Settings/Timeout", "SoundFile", ""},
                                             {"Settings/Timeout", "Sound", "0"},
                                             {"Settings/Timeout", "Voice", "1"},
                                             {"Settings/VoiceClock", "Clock0", "0"},
                                             {"Settings/VoiceClock", "Clock15", "1"},
                                             {"Settings/VoiceClock", "Clock30", "0"},
                                             {"Settings/VoiceClock", "Clock45", "1"},
                                             {"Settings/VoiceClock", "Checked", "1"},
                                             {"Settings/LiveUpdate", "Checked", "0"},
                                             {"Settings/Brisk", "WarnChecked", "0"},
                                             {"Settings/Brisk", "Strategy", "0"},
                                             {"Settings/Brisk", "Vip", "1"},
                                             {"Settings/Brisk", "Notice", "0"},
                                             {"Settings/Brisk", "Sound", "1"},
                                             {"Settings/Brisk", "SoundFile", "Alarm.wav"},
                                             {"Settings/Brisk", "Voice", "1"},
                                             {"Settings/HotKey", "NoAlertErr", "1"},
                                             {"Settings/HotKey/MT4", "", "Mod(3)Key(77)HotKey(Ctrl+Alt+M)"},
                                             {"Settings/HotKey/Terminal", "", ""},
                                             {"Settings/HotKey/Quote", "", "Mod(5)Key(112)HotKey(Shift+Alt+F1)"},
                                             {"Settings/HotKey/Exit", "", "Mod(2)Key(192)HotKey(Ctrl+`)"}})
        EXPECT_EQ(p.saved(s.path, s.name), s.value) << s.path << " " << s.name;

    // Applied at once.
    EXPECT_EQ(TimeoutSeconds, 0);
    EXPECT_FALSE(TimeoutSound);
    EXPECT_TRUE(TimeoutVoice);
    EXPECT_TRUE(WindowTopMost);
    EXPECT_NE(VoiceClockForm(), nullptr);
    win::RECT r{};
    win::GetWindowRect(MainForm->hWnd(), &r);
    EXPECT_EQ(r, (win::RECT{1848, 36, 1884, 72}));
    EXPECT_FALSE(keyFree(win::MOD_SHIFT | win::MOD_ALT, win::VK_F1));
    EXPECT_FALSE(keyFree(win::MOD_CONTROL, win::VK_OEM_3));
    EXPECT_TRUE(keyFree(win::MOD_CONTROL | win::MOD_ALT, 'T'));
    EXPECT_TRUE(keyFree(0, win::VK_NUMPAD0));
    EXPECT_NE(MainForm->m_FrmSysTray->menu("mFXQuote").Caption.find("\tShift+Alt+F1"), std::string::npos);
}

TEST(SettingsWindow, OkGoesOnPastAMissingElementAndKeepsTheWinKey) {
    Program p;
    Config().SetNodeText("Settings/HotKey/Exit", "Mod(10)Key(81)HotKey(Ctrl+Win+Q)");
    frmSettings* w = p.open();
    ASSERT_NE(w, nullptr);
    // Two actions on one key are refused before anything is written.
    const std::string before = p.file();
    w->HotKeyBox(1)->HotKey('M');
    w->HotKeyBox(1)->HotKeyModifier(win::HOTKEYF_CONTROL | win::HOTKEYF_ALT);
    win::queueMessageBoxAnswer(win::IDOK);
    w->ClickOK();
    ASSERT_EQ(win::messageBoxes().size(), 1u);
    EXPECT_NE(win::messageBoxes()[0].text.find("Ctrl+Alt+M"), std::string::npos);
    EXPECT_EQ(p.file(), before);
    EXPECT_TRUE(w->IsLoaded());
    w->HotKeyBox(1)->HotKey('T');

    // A page without one of its boxes: that step is reported, the others and the file go through.
    w->PageDocument().execScript("document.getElementById('TT2').remove()");
    Program::el(*w, "TT3").checked(false);
    win::queueMessageBoxAnswer(win::IDOK);
    w->ClickOK();
    ASSERT_EQ(w->LastFailures().size(), 1u);
    EXPECT_EQ(w->LastFailures()[0].rfind("TT2", 0), 0u);
    ASSERT_EQ(win::messageBoxes().size(), 2u);
    EXPECT_NE(win::messageBoxes()[1].text.find("TT2"), std::string::npos);
    EXPECT_EQ(p.saved("Settings/FXNews/Source/DailyFX_1", "Checked"), "1");
    EXPECT_EQ(p.saved("Settings/FXNews/Source/CaiXun_1", "Checked"), "0");
    EXPECT_EQ(p.saved("Settings/HotKey/Exit", ""), "Mod(10)Key(81)HotKey(Ctrl+Win+Q)");
    EXPECT_FALSE(keyFree(win::MOD_CONTROL | win::MOD_WIN, 'Q'));
    EXPECT_TRUE(keyFree(0, 'Q'));
}

// ---- Sound preview, hot-key boxes, terminal file ---------------------------------------------

TEST(SettingsWindow, SoundPreviewPlaysOneAtATime) {
    Program p;
    TimeoutSound = true;
    frmSettings* w = p.open();
    ASSERT_NE(w, nullptr);
    auto image = [&](const char* id) { return Program::el(*w, id).getAttribute("src"); };
    // The user clicks the play button on its tab.
    auto press = [&](const char* button) {
        w->PageDocument().callFunction("ClickMenu", {std::string(button) == "BriskSoundTest" ? "iBrisk" : "iAdvanced"});
        int left = 0, top = 0;
        const web::HTMLElement b = Program::el(*w, button);
        for (web::HTMLElement e = b; e && e.tagName() != "BODY"; e = e.offsetParent()) {
            left += e.offsetLeft();
            top += e.offsetTop();
        }
        w->Browser()->clickAt(left + b.offsetWidth() / 2, top + b.offsetHeight() / 2);
        p.runFor(100);
    };
    // The empty entry plays nothing.
    Program::el(*w, "TimeOutSoundList").set("selectedIndex", 0);
    press("TimeOutSoundTest");
    EXPECT_EQ(w->PlayingButton(), "");
    EXPECT_EQ(image("TimeOutSoundTestImg"), "play.gif");

    Program::el(*w, "TimeOutSoundList").set("selectedIndex", 1);
    Program::el(*w, "BriskSoundList").set("selectedIndex", 2);
    press("TimeOutSoundTest");
    EXPECT_EQ(w->PlayingButton(), "TimeOutSoundTest");
    EXPECT_EQ(image("TimeOutSoundTestImg"), "stop.gif");
    // The other button stops it and starts nothing.
    press("BriskSoundTest");
    EXPECT_EQ(w->PlayingButton(), "");
    EXPECT_EQ(image("TimeOutSoundTestImg"), "play.gif");
    EXPECT_EQ(image("BriskSoundTestImg"), "play.gif");
    // A click on either list stops it.
    press("BriskSoundTest");
    EXPECT_EQ(image("BriskSoundTestImg"), "stop.gif");
    Program::el(*w, "TimeOutSoundList").click();
    EXPECT_TRUE(p.runUntil([&] { return image("BriskSoundTestImg") == "play.gif"; }));
    // The end of the file puts the picture back.
    press("BriskSoundTest");
    ASSERT_EQ(w->PlayingButton(), "BriskSoundTest");
    EXPECT_TRUE(p.runUntil([&] { return w->PlayingButton().empty(); }));
    EXPECT_EQ(image("BriskSoundTestImg"), "play.gif");
}

TEST(SettingsWindow, HotKeyBoxesLieOverTheirFieldsOnlyOnTheirTab) {
    Program p;
    frmSettings* w = p.open();
    ASSERT_NE(w, nullptr);
    auto shown = [&] {
        int n = 0;
        for (int i = 0; i < 7; ++i) n += w->HotKeyBox(i)->Visible();
        return n;
    };
    w->PageDocument().callFunction("ClickMenu", {"iNews"});
    p.runFor(50);
    EXPECT_EQ(shown(), 0);
    w->PageDocument().callFunction("ClickMenu", {"iKey"});
    ASSERT_TRUE(p.runUntil([&] { return shown() == 7; }));
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const web::HTMLElement field = Program::el(*w, "iHotkey" + std::to_string(i));
        int left = 0, top = 0;
        for (web::HTMLElement e = field; e && e.tagName() != "BODY"; e = e.offsetParent()) {
            left += e.offsetLeft();
            top += e.offsetTop();
        }
        win::RECT box{};
        win::GetWindowRect(w->HotKeyBox(i)->hWnd(), &box);
        win::POINT origin{0, 0};
        win::ClientToScreen(w->hWnd(), &origin);
        EXPECT_EQ(box.left - origin.x, left + 2);
        EXPECT_EQ(box.top - origin.y, top + 2);
        EXPECT_EQ(box.right - box.left, field.offsetWidth());
        EXPECT_EQ(box.bottom - box.top, field.offsetHeight());
    }
    w->PageDocument().callFunction("ClickMenu", {"iGeneral"});
    EXPECT_TRUE(p.runUntil([&] { return shown() == 0; }));
}

TEST(SettingsWindow, TerminalFileFromTheDialogOrTheRunningTerminal) {
    Program p;
    frmSettings* w = p.open();
    ASSERT_NE(w, nullptr);
    const web::HTMLElement field = Program::el(*w, "MT4File");
    const std::string hint = field.value();
    const std::string longPath = "C:\\" + std::string(250, 'x') + "\\terminal.exe";
    struct Case {
        std::optional<std::string> answer;  // nothing: cancelled
        std::string shown;
    };
    for (const Case& c : std::vector<Case>{{std::nullopt, hint},
                                           {longPath, hint},
                                           {"C:\\MT4\\notepad.exe", hint},
                                           {"C:\\MT4\\TERMINAL.EXE", "C:\\MT4\\TERMINAL.EXE"},
                                           {"C:\\MT5\\terminal.exe", "C:\\MT5\\terminal.exe"}}) {
        SCOPED_TRACE(c.answer.value_or("<cancel>").substr(0, 40));
        if (c.answer) win::queueOpenFileAnswer(*c.answer);
        else win::queueOpenFileCancel();
        w->GetTerminal();
        EXPECT_EQ(field.value(), c.shown);
    }
    const win::OPENFILENAME shown = win::openFileDialogs().back();
    EXPECT_EQ(shown.lpstrTitle, "浏览(Terminal.exe)");
    EXPECT_EQ(shown.lpstrFilter, "MetaTrader4|Terminal.exe");
    EXPECT_EQ(shown.lpstrInitialDir, "C:\\Program Files");
    EXPECT_EQ(shown.hwndOwner, w->hWnd());

    w->SpecifyMT4File();
    EXPECT_EQ(field.value(), TerminalExe);
    field.value("x");
    TerminalReady = false;
    w->SpecifyMT4File();
    EXPECT_EQ(field.value(), "x");
}

} // namespace
