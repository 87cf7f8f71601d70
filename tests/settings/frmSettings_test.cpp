// The settings window in the running program: opened from the tray menu and its hot key, every
// setting shown as stored, and OK writing and applying them all.
#include "settings/frmSettings.h"

#include "core/NeighbourWindows.h"
#include "core/Program.h"
#include "core/cls_MT4.h"
#include "core/frmMain.h"
#include "platform/desktop/Dialogs.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Win.h"
#include "platform/registry/Registry.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/StubVoice.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"
#include "toolkit/ucHotKey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

using namespace m_Main;

const char* const kRunKey = frmSettings::kRunKey;
const std::string kExe = "C:\\Program Files\\Pennant\\Pennant.exe";

// A short mono wave file: 8000 samples a second, ms long.
std::string wave(int ms) {
    auto le = [](std::string& s, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const uint32_t samples = 8 * static_cast<uint32_t>(ms);
    std::string w = "RIFF";
    le(w, 36 + samples * 2, 4);
    w += "WAVEfmt ";
    le(w, 16, 4), le(w, 1, 2), le(w, 1, 2), le(w, 8000, 4), le(w, 16000, 4), le(w, 2, 2), le(w, 16, 2);
    w += "data";
    le(w, samples * 2, 4);
    for (uint32_t i = 0; i < samples; ++i) le(w, (i / 10) % 2 ? 8000 : static_cast<uint32_t>(-8000), 2);
    return w;
}

sys::MachineOptions wideScreen() {
    sys::MachineOptions o;
    o.screenWidth = 1920;
    o.screenHeight = 1080;
    return o;
}

struct Program {
    testing_support::TestMachine m;

    explicit Program(bool sounds = true, sys::MachineOptions options = {}) : m(std::move(options)) {
        EndProgram();
        testing_support::installStubVoice(*m);
        termsim::Terminal::install(*m, "C:\\Program Files\\MetaTrader 4");
        testing_support::installProgram(*m);
        testing_support::setSettingsAttrib("Settings/LiveUpdate", "Checked", "0");
        reg::setString(win::HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version", "9.0.8112.16421");
        if (sounds) {
            m->makeDirs(std::string(testing_support::kProgramFolder) + "\\Sound");
            m->writeFileAtomic(std::string(testing_support::kProgramFolder) + "\\Sound\\Bell.wav", wave(500));
            m->writeFileAtomic(std::string(testing_support::kProgramFolder) + "\\Sound\\Alarm.wav", wave(500));
        }
        InstallWindows();
        EXPECT_TRUE(Main());
        EXPECT_TRUE(runUntil([] { return MainForm && TerminalReady; }));
    }
    ~Program() {
        win::clearMessageBoxes();
        EndProgram();
        m->pumpOnce();
    }
    bool runUntil(const std::function<bool()>& pred, uint64_t ms = 30000) {
        m->beginOutsideWork();
        const bool ok = m->runUntil(pred, ms);
        m->endOutsideWork();
        return ok;
    }
    void runFor(uint64_t ms) {
        m->beginOutsideWork();
        m->runFor(ms);
        m->endOutsideWork();
    }
    // Opened as the tray menu opens it.
    frmSettings* open() {
        m->beginOutsideWork();
        MainForm->m_frmSysTray_MenuClick("Settings");
        m->endOutsideWork();
        auto* w = dynamic_cast<frmSettings*>(SettingsForm());
        EXPECT_TRUE(w && w->IsLoaded() && !w->Busy());
        return w;
    }
    static web::HTMLElement el(frmSettings& w, const std::string& id) { return w.PageDocument().all(id); }
    std::string file() { return m->readFile(testing_support::kProgramSettings).value_or(""); }
    // The attribute as the saved file holds it.
    std::string saved(const std::string& path, const std::string& name) {
        cls_Config c;
        c.XmlFile(testing_support::kProgramSettings);
        if (!c.Initialize()) return "<unreadable>";
        return name.empty() ? c.GetNodeText(path) : c.GetNodeAttrib(path, name);
    }
};

// Whether a program other than ours could take the combination now.
bool keyFree(win::UINT modifiers, win::UINT vk) {
    const win::HWND other = MT4().Mt4Hwnd();
    win::DWORD pid = 0;
    win::GetWindowThreadProcessId(other, &pid);
    sys::ProcessScope scope(pid);
    if (!win::RegisterHotKey(other, 99, modifiers, vk)) return false;
    win::UnregisterHotKey(other, 99);
    return true;
}

std::optional<std::string> runEntry() { return reg::getString(win::HKEY_LOCAL_MACHINE, kRunKey, "Pennant"); }

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
    p.runFor(100);
    EXPECT_EQ(image("BriskSoundTestImg"), "play.gif");
    // The end of the file puts the picture back.
    press("BriskSoundTest");
    ASSERT_EQ(w->PlayingButton(), "BriskSoundTest");
    EXPECT_TRUE(p.runUntil([&] { return w->PlayingButton().empty(); }, 3000));
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
    ASSERT_TRUE(p.runUntil([&] { return shown() == 7; }, 5000));
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
    EXPECT_TRUE(p.runUntil([&] { return shown() == 0; }, 5000));
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

// ---- Opening and looking at it ------------------------------------------------------------------

TEST(SettingsWindow, OpensFromItsHotKeyAndShowsEachTab) {
    Program p;
    p.m->beginOutsideWork();
    win::pressKey('S', win::MOD_CONTROL | win::MOD_ALT);
    p.m->endOutsideWork();
    auto* w = dynamic_cast<frmSettings*>(SettingsForm());
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(p.runUntil([&] { return w->Visible(); }, 30000));
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
    frmSettings* again = p.open();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->LoadPasses(), 1);
}

} // namespace
