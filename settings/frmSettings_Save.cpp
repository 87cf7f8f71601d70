// OK of the settings window: every setting written back in one fixed order and applied to the
// running program, the file saved once at the end, and the window closed.
#include "frmSettings.h"

#include "core/NeighbourWindows.h"
#include "core/Program.h"
#include "core/frmMain.h"
#include "platform/desktop/Modal.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"
#include "toolkit/ucHotKey.h"

#include <cmath>

namespace {

// A stored place of the icon window in pixels; -1 (or no usable number) is the default place.
long storedPixels(const std::string& text) {
    const double v = forms::Fix(settingNumber(text));
    return std::fabs(v) <= 100000 ? static_cast<long>(v) : -1;
}

} // namespace

bool frmSettings::checkHotKeys() {
    for (size_t i = 0; i < ucKey.size(); ++i) {
        if (!ucKey[i] || ucKey[i]->HotKey() <= 0) continue;
        for (size_t j = 0; j < i; ++j) {
            if (!ucKey[j] || ucKey[j]->HotKey() != ucKey[i]->HotKey()) continue;
            std::string a, b;
            int32_t ma = 0, mb = 0;
            HotKeyFlagsToText(ucKey[i]->HotKeyModifier(), a, ma);
            HotKeyFlagsToText(ucKey[j]->HotKeyModifier(), b, mb);
            if (ma != mb) continue;
            forms::MsgBox("热键 " + a + KeyName(ucKey[i]->HotKey()) + " 被设置了两次, 每个热键只能用于一项功能!",
                          forms::vbExclamation, m_Main::kTitle);
            return false;
        }
    }
    return true;
}

void frmSettings::ClickOK() {
    failures_.clear();
    // A key given to two actions could only be registered for one of them.
    if (!checkHotKeys()) return;
    // The window may go while this runs (its last step); it stays until the call is over.
    std::shared_ptr<frmSettings> self = shared_from_this();
    cls_Config& c = Config();

    // Each step on its own: one that fails is reported at the end, the others still run.
    auto step = [&](const std::string& what, auto&& fn) {
        try {
            fn();
        } catch (const win::UnansweredModalError&) {
            throw;
        } catch (const std::exception& e) {
            failures_.push_back(what + ": " + e.what());
        }
    };
    auto flagOf = [&](const char* id) { return std::string(el(id).checked() ? "1" : "0"); };
    auto writeFlag = [&](const char* path, const char* name, const char* id) {
        step(id, [&] { c.SetNodeAttrib(path, name, flagOf(id)); });
    };
    auto optionText = [&](const web::HTMLElement& list, int index) {
        return list.elements("options").at(static_cast<size_t>(index)).text("text");
    };

    step("iSystemRun", [&] {
        if (!SetAutoRun()) failures_.push_back("iSystemRun: 开机自动启动的注册表项无法写入");
    });
    // Starting the terminal; the default path shown as a hint is no choice.
    writeFlag("Settings/Startup/RunMT4", "Checked", "RunMT4");
    step("MT4File", [&] {
        const std::string value = el("MT4File").value();
        const std::string hint = el("defMT4File").innerText();
        c.SetNodeAttrib("Settings/Startup/RunMT4", "MT4File", value == hint ? "" : forms::Trim(value));
    });
    writeFlag("Settings/Startup/HideMT4", "Checked", "HideMT4");
    // The news toast, its filters, the calendar reminder and the sources.
    step("iInclude", [&] { c.SetNodeAttrib("Settings/FXNews", "Include", forms::Trim(el("iInclude").value())); });
    step("iExclude", [&] { c.SetNodeAttrib("Settings/FXNews", "Exclude", forms::Trim(el("iExclude").value())); });
    writeFlag("Settings/FXNews/Popup", "Checked", "Popup");
    writeFlag("Settings/FXNews/Popup/Duration", "Checked", "Duration");
    step("DurationIndex",
         [&] { c.SetNodeAttrib("Settings/FXNews/Popup/Duration", "SelValue", el("DurationIndex").value()); });
    writeFlag("Settings/FXNews/Popup/DetectFSApp", "Checked", "DetectFSApp");
    step("iFXCalNotifyTime", [&] { c.SetNodeAttrib("FXCalendar", "NotifyTime", el("iFXCalNotifyTime").value()); });
    writeFlag("Settings/FXNews/Source/FX168_1", "Checked", "TT1");
    writeFlag("Settings/FXNews/Source/DailyFX_1", "Checked", "TT2");
    writeFlag("Settings/FXNews/Source/CaiXun_1", "Checked", "TT3");
    // The notice window switches its sources at once.
    step("FXEvent", [&] {
        NoticeWindow* notice = m_Main::FXNotifyForm();
        if (notice && notice->IsLoaded()) notice->FXEvent();
    });
    // The icon window moves only when it is shown or hidden by this change.
    bool iconChanged = false;
    step("iFloat", [&] {
        const std::string shown = flagOf("iFloat");
        const double stored = settingNumber(c.GetNodeAttrib("Window", "Visible"));
        iconChanged = stored != (shown == "1" ? 1 : 0);
        c.SetNodeAttrib("Window", "Visible", shown);
    });
    step("DoubleClickEvent", [&] {
        c.SetNodeAttrib("Window", "DoubleClick", std::to_string(el("DoubleClickEvent").number("selectedIndex")));
    });
    step("TopWindow", [&] {
        const std::string on = flagOf("TopWindow");
        c.SetNodeAttrib("Window", "TopMost", on);
        m_Main::WindowTopMost = on == "1";
    });
    if (iconChanged) step("frmMain", [&] { placeIconWindow(); });
    step("LeftClickEvent", [&] {
        c.SetNodeAttrib("Settings/SysTaskIcon/LeftClickEvent", "Selected",
                        std::to_string(el("LeftClickEvent").number("selectedIndex")));
    });
    // The quote-timeout alarm takes effect at once; a sound switched on with none chosen goes off.
    writeFlag("Settings/Timeout", "Checked", "chkTimeOut");
    step("TimeOut", [&] {
        const std::string seconds = el("TimeOut").value();
        c.SetNodeAttrib("Settings/Timeout", "Interval", seconds);
        const double v = settingNumber(seconds);
        const bool on = el("chkTimeOut").checked();
        m_Main::TimeoutSeconds = on && v >= 0 && v <= 32767 ? static_cast<int16_t>(v) : 0;
    });
    step("TimeOutSoundList", [&] {
        const web::HTMLElement list = el("TimeOutSoundList");
        const int index = list.number("selectedIndex");
        if (index >= 0) c.SetNodeAttrib("Settings/Timeout", "SoundFile", optionText(list, index));
        else el("TimeOutSound").checked(false);
    });
    step("TimeOutSound", [&] {
        const std::string on = flagOf("TimeOutSound");
        c.SetNodeAttrib("Settings/Timeout", "Sound", on);
        m_Main::TimeoutSound = on == "1";
    });
    step("TimeOutVoice", [&] {
        const std::string on = flagOf("TimeOutVoice");
        c.SetNodeAttrib("Settings/Timeout", "Voice", on);
        m_Main::TimeoutVoice = on == "1";
    });
    // The talking clock's quarters are stored before the clock starts from them.
    writeFlag("Settings/VoiceClock", "Clock0", "VClock0");
    writeFlag("Settings/VoiceClock", "Clock15", "VClock15");
    writeFlag("Settings/VoiceClock", "Clock30", "VClock30");
    writeFlag("Settings/VoiceClock", "Clock45", "VClock45");
    step("VoiceClock", [&] {
        const std::string on = flagOf("VoiceClock");
        c.SetNodeAttrib("Settings/VoiceClock", "Checked", on);
        applyVoiceClock(on == "1");
    });
    writeFlag("Settings/LiveUpdate", "Checked", "chkLU");
    // Service-channel alerts.
    writeFlag("Settings/Brisk", "WarnChecked", "brisk");
    writeFlag("Settings/Brisk", "Strategy", "FX1");
    writeFlag("Settings/Brisk", "Vip", "FX2");
    writeFlag("Settings/Brisk", "Notice", "FX3");
    writeFlag("Settings/Brisk", "Sound", "BriskSound");
    step("BriskSoundList", [&] {
        const web::HTMLElement list = el("BriskSoundList");
        const int index = list.number("selectedIndex");
        if (index >= 0) c.SetNodeAttrib("Settings/Brisk", "SoundFile", optionText(list, index));
        else c.SetNodeAttrib("Settings/Brisk", "Sound", "0");
    });
    writeFlag("Settings/Brisk", "Voice", "BriskVoice");
    writeFlag("Settings/HotKey", "NoAlertErr", "NoAlertErr");
    for (size_t i = 0; i < ucKey.size(); ++i) {
        step(kHotKeyNames[i], [&] {
            if (!ucKey[i]) return;
            const int32_t key = ucKey[i]->HotKey();
            const int32_t flags = ucKey[i]->HotKeyModifier();
            std::string prefix;
            int32_t mod = 0;
            HotKeyFlagsToText(flags, prefix, mod);
            // The box cannot show the Win key: one left as loaded keeps it.
            if (key == loadedKeys_[i].key && flags == loadedKeys_[i].mod) mod |= loadedMods_[i] & win::MOD_WIN;
            c.SetNodeText(std::string("Settings/HotKey/") + kHotKeyNames[i], HotKeyText(mod, key));
        });
    }
    // The stored keys are registered afresh, and a key that cannot be is told.
    step("defHotKey", [&] {
        if (m_Main::MainForm) m_Main::MainForm->defHotKey(true);
    });
    bool saved = false;
    step("Pennant.xml", [&] {
        c.XMLSave();
        saved = true;
    });
    if (!failures_.empty()) {
        std::string text = saved ? "配置已保存, 但以下设置未能保存或应用:" : "以下设置未能保存或应用:";
        for (const std::string& f : failures_) text += "\r\n" + f;
        forms::MsgBox(text, saved ? forms::vbExclamation : forms::vbCritical, m_Main::kTitle);
    }
    // A file that could not be written keeps the window, and what the user chose, open.
    if (saved) Unload();
}

void frmSettings::placeIconWindow() {
    frmMain* icon = m_Main::MainForm.get();
    if (!icon) return;
    cls_Config& c = Config();
    const long tppX = win::TwipsPerPixelX, tppY = win::TwipsPerPixelY;
    long left = storedPixels(c.GetNodeAttrib("Window", "Left"));
    long top = storedPixels(c.GetNodeAttrib("Window", "Top"));
    if (left == -1) left = win::GetSystemMetrics(win::SM_CXSCREEN) - 72;
    if (top == -1) top = 36;
    m_Main::SetTopMost(icon->hWnd());
    if (el("iFloat").checked()) icon->Move(left * tppX, top * tppY, 36 * tppX, 36 * tppY);
    else icon->Move(-1 * tppX, -1 * tppY, 1 * tppX, 1 * tppY);
}

void frmSettings::applyVoiceClock(bool on) {
    if (on) m_Main::StartVoiceClock();
    else m_Main::StopVoiceClock();
}
