// The settings window's loading pass: bindings, every setting into the page, sound lists, hot
// keys, the terminal's default path, and the window sized to the page.
#include "frmSettings.h"

#include "core/Program.h"
#include "platform/desktop/Modal.h"
#include "platform/desktop/Win.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/forms/UserControl.h"
#include "platform/system/Machine.h"
#include "toolkit/cRegistry.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"
#include "toolkit/ucHotKey.h"

#include <cmath>

namespace {

double rounded(double v) { return forms::Round(v); }

} // namespace

void frmSettings::pageComplete() {
    // A second document-complete (frames, a reload) must not bind again nor overwrite what the
    // user has changed since.
    if (loadPasses_ > 0) return;
    ++loadPasses_;
    loadPass();
}

void frmSettings::loadPass() {
    cls_Config& c = Config();
    auto attr = [&](const char* path, const char* name) { return c.GetNodeAttrib(path, name); };
    auto check = [&](const char* id, bool on) { el(id).checked(on); };
    auto checkFlag = [&](const char* id, const char* path, const char* name) { check(id, settingFlag(attr(path, name))); };
    auto click = [&](const char* id) { el(id).FireEvent("onClick"); };
    auto select = [&](const char* id, int index) { el(id).set("selectedIndex", index); };

    for (const auto& [id, member] : std::initializer_list<std::pair<const char*, const char*>>{
             {"iOk", "ClickOK"},
             {"BriskSoundTest", "TestSound"},
             {"BriskSoundList", "StopSound"},
             {"TimeOutSoundTest", "TestSound"},
             {"TimeOutSoundList", "StopSound"},
             {"iCancel", "ClickCancel"},
             {"iBrowse", "GetTerminal"},
             {"yHK", "yHK"},
             {"nHK", "nHK"},
             {"iSpecify", "SpecifyMT4File"}})
        bindEvent(id, "onclick", member);

    // A box is clicked once it is set, so that the page enables what depends on it. The running
    // terminal can be named only when there is one.
    forms::ResumeNext([&] {
        if (!m_Main::TerminalReady) el("iSpecify").disabled(true);
    });
    forms::ResumeNext([&] {
        check("iSystemRun", IsAutoRun());
        click("iSystemRun");
    });

    // Starting the terminal.
    forms::ResumeNext([&] { checkFlag("RunMT4", "Settings/Startup/RunMT4", "Checked"); });
    forms::ResumeNext([&] {
        const std::string file = attr("Settings/Startup/RunMT4", "MT4File");
        if (!file.empty()) el("MT4File").value(file);
    });
    forms::ResumeNext([&] { checkFlag("HideMT4", "Settings/Startup/HideMT4", "Checked"); });
    forms::ResumeNext([&] { click("RunMT4"); });

    // The news toast and its keyword filters.
    forms::ResumeNext([&] { el("iInclude").value(attr("Settings/FXNews", "Include")); });
    forms::ResumeNext([&] { el("iExclude").value(attr("Settings/FXNews", "Exclude")); });
    forms::ResumeNext([&] { checkFlag("Duration", "Settings/FXNews/Popup/Duration", "Checked"); });
    forms::ResumeNext([&] {
        const double index = rounded(settingNumber(attr("Settings/FXNews/Popup/Duration", "SelValue")) / 10 - 1);
        select("DurationIndex", index >= 0 && index <= 4 ? static_cast<int>(index) : 1);
    });
    forms::ResumeNext([&] { checkFlag("DetectFSApp", "Settings/FXNews/Popup/DetectFSApp", "Checked"); });
    forms::ResumeNext([&] { checkFlag("Popup", "Settings/FXNews/Popup", "Checked"); });
    forms::ResumeNext([&] { click("Popup"); });

    // News sources, the calendar reminder and what the icons do when clicked.
    forms::ResumeNext([&] { checkFlag("TT1", "Settings/FXNews/Source/FX168_1", "Checked"); });
    forms::ResumeNext([&] { checkFlag("TT2", "Settings/FXNews/Source/DailyFX_1", "Checked"); });
    forms::ResumeNext([&] { checkFlag("TT3", "Settings/FXNews/Source/CaiXun_1", "Checked"); });
    forms::ResumeNext([&] {
        const double minutes = settingNumber(attr("FXCalendar", "NotifyTime"));
        select("iFXCalNotifyTime", minutes == 3 ? 1 : minutes == 5 ? 2 : minutes == 10 ? 3 : 0);
    });
    // A choice of an action list: the stored number, rounded, when the list has it, else "无".
    auto action = [&](const char* id, const char* path, const char* name) {
        const web::HTMLElement list = el(id);
        const double index = rounded(settingNumber(attr(path, name)));
        const int count = list.number("length");
        list.set("selectedIndex", index >= 0 && index < count ? static_cast<int>(index) : 0);
    };
    forms::ResumeNext([&] { checkFlag("iFloat", "Window", "Visible"); });
    forms::ResumeNext([&] { action("DoubleClickEvent", "Window", "DoubleClick"); });
    forms::ResumeNext([&] { click("iFloat"); });
    forms::ResumeNext([&] { checkFlag("TopWindow", "Window", "TopMost"); });
    forms::ResumeNext([&] { action("LeftClickEvent", "Settings/SysTaskIcon/LeftClickEvent", "Selected"); });

    // The sound lists are filled before the alarms pick their sounds from them.
    forms::ResumeNext([&] { loadSoundLists(); });

    // The quote-timeout alarm. A stored sound file: the first option of that name, letter case
    // aside; none when absent.
    auto soundChoice = [&](const char* id, const char* path) {
        const web::HTMLElement list = el(id);
        const std::vector<web::HTMLElement> options = list.elements("options");
        if (options.size() <= 1) return;
        const std::string stored = attr(path, "SoundFile");
        int found = -1;
        for (size_t i = 0; i < options.size() && found < 0; ++i)
            if (forms::UCase(options[i].text("text")) == forms::UCase(stored)) found = static_cast<int>(i);
        list.set("selectedIndex", found);
    };
    forms::ResumeNext([&] { checkFlag("chkTimeOut", "Settings/Timeout", "Checked"); });
    forms::ResumeNext([&] {
        const double n = rounded(settingNumber(attr("Settings/Timeout", "Interval")));
        int index = 2;
        if (n >= 3 && n <= 10) index = static_cast<int>(n) - 3;
        else if (n == 20) index = 8;
        else if (n == 30) index = 9;
        else if (n == 40) index = 10;
        else if (n == 50) index = 11;
        select("TimeOut", index);
    });
    forms::ResumeNext([&] { click("chkTimeOut"); });
    forms::ResumeNext([&] { check("TimeOutSound", m_Main::TimeoutSound); });
    forms::ResumeNext([&] { soundChoice("TimeOutSoundList", "Settings/Timeout"); });
    forms::ResumeNext([&] { click("TimeOutSound"); });
    forms::ResumeNext([&] { check("TimeOutVoice", m_Main::TimeoutVoice); });

    // Talking clock, update check and the hot-key warning.
    forms::ResumeNext([&] { checkFlag("VoiceClock", "Settings/VoiceClock", "Checked"); });
    forms::ResumeNext([&] { checkFlag("VClock0", "Settings/VoiceClock", "Clock0"); });
    forms::ResumeNext([&] { checkFlag("VClock15", "Settings/VoiceClock", "Clock15"); });
    forms::ResumeNext([&] { checkFlag("VClock30", "Settings/VoiceClock", "Clock30"); });
    forms::ResumeNext([&] { checkFlag("VClock45", "Settings/VoiceClock", "Clock45"); });
    forms::ResumeNext([&] { checkFlag("chkLU", "Settings/LiveUpdate", "Checked"); });
    forms::ResumeNext([&] { checkFlag("NoAlertErr", "Settings/HotKey", "NoAlertErr"); });

    forms::ResumeNext([&] { loadHotKeys(); });

    // Service-channel alerts.
    forms::ResumeNext([&] { checkFlag("brisk", "Settings/Brisk", "WarnChecked"); });
    forms::ResumeNext([&] { checkFlag("FX1", "Settings/Brisk", "Strategy"); });
    forms::ResumeNext([&] { checkFlag("FX2", "Settings/Brisk", "Vip"); });
    forms::ResumeNext([&] { checkFlag("FX3", "Settings/Brisk", "Notice"); });
    forms::ResumeNext([&] { checkFlag("BriskSound", "Settings/Brisk", "Sound"); });
    forms::ResumeNext([&] { checkFlag("BriskVoice", "Settings/Brisk", "Voice"); });
    forms::ResumeNext([&] { soundChoice("BriskSoundList", "Settings/Brisk"); });
    forms::ResumeNext([&] { click("BriskSound"); });

    forms::ResumeNext([&] { loadTerminalLabel(); });
    // The label's final text is the field's hint.
    forms::ResumeNext([&] { Document.callFunction("label2value"); });

    forms::ResumeNext([&] { fitToPage(); });
    forms::ResumeNext([&] { el("iMT4").disabled(false); });
}

void frmSettings::loadSoundLists() {
    auto& machine = sys::Machine::current();
    const std::string folder = m_Main::AppDir + "Sound";
    if (!m_Main::DirExists(folder)) return;
    const std::vector<std::string> files = machine.listDir(folder, "*.wav", true);
    const web::HTMLElement timeOut = el("TimeOutSoundList");
    const web::HTMLElement brisk = el("BriskSoundList");
    if (files.empty()) return;
    // After the lists' own first entry, in one length change and one read of each list.
    for (const web::HTMLElement& list : {timeOut, brisk}) {
        list.set("length", static_cast<int>(files.size()) + 1);
        const auto options = list.elements("options");
        for (size_t i = 0; i < files.size(); ++i) options.at(i + 1).set("text", files[i]);
    }
}

void frmSettings::loadHotKeys() {
    cls_Config& c = Config();
    for (size_t i = 0; i < ucKey.size(); ++i) {
        if (!ucKey[i]) continue;
        const std::string text = forms::Trim(c.GetNodeText(std::string("Settings/HotKey/") + kHotKeyNames[i]));
        if (text.empty()) continue;
        const HotKeyValue stored = ParseHotKeyText(text);
        ucKey[i]->HotKeyModifier(static_cast<uint8_t>(ModToHotKeyFlags(stored.mod)));
        ucKey[i]->HotKey(stored.key);
        loadedKeys_[i] = {ucKey[i]->HotKeyModifier(), ucKey[i]->HotKey()};
        loadedMods_[i] = stored.mod;
    }
}

void frmSettings::loadTerminalLabel() {
    const web::HTMLElement label = el("defMT4File");
    // The page may have put the label's first text into the field as its hint already.
    const std::string value = el("MT4File").value();
    if (!value.empty() && value != label.innerText()) {
        label.innerText("...");
        return;
    }
    const char* const key = "Software\\MetaQuotes Software\\MetaTrader 4";
    cRegistry r;
    r.ClassKey(win::HKEY_CURRENT_USER);
    r.SectionKey(key);
    if (!r.KeyExists()) {
        label.innerText("无");
        return;
    }
    r.ValueKey("InstallPath");
    r.ValueType(win::REG_SZ);
    const cRegistry::Variant v = r.Value();
    const auto* path = std::get_if<std::string>(&v);
    if (!path) {
        label.innerText("无");
        return;
    }
    label.innerText(label.innerText() + *path + "\\terminal.exe");
    el("MT4File").title(label.innerText());
}

void frmSettings::fitToPage() {
    const ElementBox bar = elementBox("ButtonLayout", "frmSettings");
    const long tppX = win::TwipsPerPixelX, tppY = win::TwipsPerPixelY;
    setHeight((bar.top + bar.height) * tppY + (Height() - ScaleHeight()));
    setWidth(bar.width * tppX + (Width() - ScaleWidth()));
    // Until the opener shows it the window stands in the middle of the work area.
    win::RECT area{};
    if (m_Main::GetWorkArea(area))
        Move(std::max(0L, ((area.left + area.right) * tppX - Width()) / 2),
             std::max(0L, ((area.top + area.bottom) * tppY - Height()) / 2));
    WebBrowser1->Move(0, 0, static_cast<int>(ScaleWidth() / tppX), static_cast<int>(ScaleHeight() / tppY));
}
