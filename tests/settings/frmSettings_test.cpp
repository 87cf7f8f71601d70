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

} // namespace
