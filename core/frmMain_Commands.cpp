// The main window's commands: the dispatcher of command keys, the tray icon's clicks and menu,
// the global hot keys, balloon clicks, the icon window's mouse, and the exit command.
#include "frmMain.h"

#include "core/CommandWindows.h"
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Modal.h"
#include "platform/desktop/Timer.h"
#include "platform/desktop/Window.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "toolkit/cRegHotKey.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"
#include "toolkit/mWindow.h"

#include <algorithm>
#include <cmath>
#include <exception>

using namespace m_Main;

namespace {

constexpr const char* kHotKeyNode = "Settings/HotKey";

// The hot keys in the order they are registered, with the tray item that shows each.
struct HotKeyItem {
    const char* name;
    const char* item;  // nullptr: no caption shows it
};
constexpr HotKeyItem kHotKeys[] = {{"MT4", "mHideMT4"}, {"Terminal", "mTerminal"}, {"Quote", "mFXQuote"},
                                   {"News", "mFXNews"},  {"Float", "mHideFloat"},   {"Settings", nullptr},
                                   {"Exit", nullptr}};
constexpr const char* kHotKeyItems[] = {"mHideMT4", "mFXQuote", "mFXNews", "mHideFloat", "mTerminal"};

std::string accessNumber(int n) { return n < 10 ? "\t&" + std::to_string(n) : ""; }

// A script name is a file name in the scripts folder, nothing that leads out of it.
bool plainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

// Ends a wait on the mouse pointer whatever happens inside it.
struct HourglassScope {
    HourglassScope() { forms::Screen.setMousePointer(forms::vbHourglass); }
    ~HourglassScope() { forms::Screen.setMousePointer(forms::vbDefault); }
};

std::string errorText(const std::exception& e) {
    if (const auto* r = dynamic_cast<const forms::RuntimeError*>(&e)) return r->Description;
    return e.what();
}

} // namespace

// ---- Wiring ---------------------------------------------------------------------------------------

void frmMain::connectCommands() {
    if (!m_FrmSysTray) return;
    m_FrmSysTray->SysTrayMouseDown = [this](int32_t button) { m_frmSysTray_SysTrayMouseDown(button); };
    m_FrmSysTray->BalloonClicked = [this] { m_FrmSysTray_BalloonClicked(); };
    m_FrmSysTray->BalloonTimeOut = [this] { m_frmSysTray_BalloonTimeOut(); };
}

// ---- Hot keys and balloons ------------------------------------------------------------------------

std::string frmMain::ScriptKeys(const std::string& hotKey) {
    const std::string text = forms::UCase(hotKey);
    const size_t plus = text.find('+');
    if (plus == std::string::npos) return "";
    const std::string modifier = forms::Trim(text.substr(0, plus));
    const std::string key = forms::Trim(text.substr(plus + 1));
    std::string prefix;
    if (modifier == "CTRL") prefix = "^";
    else if (modifier == "ALT") prefix = "%";
    else return "";
    // The text becomes keystrokes: only what a terminal hot key can be gets through.
    bool valid = false;
    if (key.size() == 1) {
        valid = (key[0] >= 'A' && key[0] <= 'Z') || (key[0] >= '0' && key[0] <= '9');
    } else if ((key.size() == 2 || key.size() == 3) && key[0] == 'F' && key[1] >= '1' && key[1] <= '9') {
        const int n = std::stoi(key.substr(1));
        valid = std::all_of(key.begin() + 1, key.end(), [](char c) { return c >= '0' && c <= '9'; }) && n >= 1 &&
                n <= 12;
    }
    return valid ? prefix + "{" + key + "}" : "";
}

void frmMain::defHotKey(bool forceAlert) {
    if (!cHotKey) cHotKey = std::make_unique<cRegHotKey>();
    cHotKey->HotKeyPress = [this](const std::string& name, int32_t, int32_t) { cHotKey_HotKeyPress(name); };
    cHotKey->Clear();
    cHotKey->Attach(hWnd());
    if (m_FrmSysTray)
        for (const char* item : kHotKeyItems) {
            forms::Menu& m = m_FrmSysTray->menu(item);
            m.Caption = m.Tag;
        }

    cls_Config& c = Config();
    const bool alert = forceAlert || !c.isExistAttrib(kHotKeyNode, "NoAlertErr") ||
                       !settingFlag(c.GetNodeAttrib(kHotKeyNode, "NoAlertErr"));
    for (const HotKeyItem& hk : kHotKeys) {
        const std::string path = std::string(kHotKeyNode) + "/" + hk.name;
        if (!c.isExist(kHotKeyNode, hk.name)) continue;
        const std::string text = forms::Trim(c.GetNodeText(path));
        if (text.empty()) continue;
        std::string display, keyText, modText;
        try {
            display = GetTagValue(text, "HotKey", "(", ")");
            keyText = GetTagValue(text, "Key", "(", ")");
            modText = GetTagValue(text, "Mod", "(", ")");
        } catch (const forms::RuntimeError&) {
            continue;  // a tag without its closing bracket
        }
        // A key code or modifier set no keyboard has is left out rather than handed on.
        const auto key = wholeNumber(keyText, 1, 254);
        const auto modifiers = wholeNumber(modText, 0, win::MOD_ALT | win::MOD_CONTROL | win::MOD_SHIFT | win::MOD_WIN);
        if (!key || !modifiers) continue;
        if (cHotKey->RegisterKey(hk.name, *key, *modifiers, alert, display) && hk.item && m_FrmSysTray) {
            forms::Menu& m = m_FrmSysTray->menu(hk.item);
            m.Caption = m.Tag + "\t" + display;
        }
    }
}

void frmMain::delHotKey() {
    if (cHotKey) cHotKey->Clear();
}

void frmMain::cHotKey_HotKeyPress(const std::string& name) {
    if (name == "MT4") HideMT4();
    else if (name == "Terminal") m_frmSysTray_MenuClick("Terminal");
    else if (name == "Float") m_frmSysTray_MenuClick("HideFloat");
    else if (name == "Exit") m_frmSysTray_MenuClick("Exit");
    else if (name == "Quote") m_frmSysTray_MenuClick("FXQuote");
    else if (name == "News") m_frmSysTray_MenuClick("FXNews");
    else if (name == "Settings") m_frmSysTray_MenuClick("Settings");
}

void frmMain::ShowBalloonTip(const std::string& text, const std::string& title, int32_t icon, const std::string& key) {
    BalloonKey = key;
    if (m_FrmSysTray) m_FrmSysTray->ShowBalloonTip(text, title, icon, 50000);
}

void frmMain::m_FrmSysTray_BalloonClicked() {
    if (BalloonKey == "About") {
        m_frmSysTray_MenuClick("About");
    } else if (BalloonKey == "Brisk") {
        Show();
        if (NoticeWindow* w = FXNotifyForm()) {
            w->setVisible(true);
            if (w->BerthOn()) w->xBerth();
        }
    }
}

void frmMain::m_frmSysTray_BalloonTimeOut() {}

void frmMain::UnloadFrm() { m_frmSysTray_MenuClick("Exit"); }

// ---- The icon window --------------------------------------------------------------------------------

win::LRESULT frmMain::WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    auto shift = [&] {
        int16_t s = 0;
        if (wParam & win::MK_SHIFT) s |= 1;
        if (wParam & win::MK_CONTROL) s |= 2;
        if (win::GetKeyState(win::VK_MENU) & 0x8000) s |= 4;
        return s;
    };
    const float x = static_cast<float>(static_cast<int16_t>(lParam & 0xFFFF) * sys::Machine::twipsPerPixel);
    const float y = static_cast<float>(static_cast<int16_t>((lParam >> 16) & 0xFFFF) * sys::Machine::twipsPerPixel);
    switch (msg) {
    case win::WM_LBUTTONDOWN: Form_MouseDown(1, shift(), x, y); return 0;
    case win::WM_RBUTTONDOWN: Form_MouseDown(2, shift(), x, y); return 0;
    case win::WM_MBUTTONDOWN: Form_MouseDown(4, shift(), x, y); return 0;
    case win::WM_LBUTTONUP: Form_MouseUp(1, shift(), x, y); return 0;
    case win::WM_RBUTTONUP: Form_MouseUp(2, shift(), x, y); return 0;
    case win::WM_MBUTTONUP: Form_MouseUp(4, shift(), x, y); return 0;
    case win::WM_LBUTTONDBLCLK: Form_DblClick(); return 0;
    default: return forms::Form::WindowProc(hwnd, msg, wParam, lParam);
    }
}

void frmMain::Form_MouseDown(int16_t button, int16_t, float, float) {
    SetTopMost(hWnd());
    if (button == 1) {
        // The system drags the window for as long as the button is held.
        win::ReleaseCapture();
        win::SendMessage(hWnd(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTCAPTION), 0);
    }
}

void frmMain::Form_MouseUp(int16_t button, int16_t, float, float) {
    if (button == 2) m_frmSysTray_SysTrayMouseDown(2);
}

void frmMain::Form_DblClick() {
    const auto action = wholeNumber(Config().GetNodeAttrib("Window", "DoubleClick"), 0, 6);
    switch (action.value_or(0)) {
    case 1: m_frmSysTray_MenuClick("HideFloat"); break;
    case 2: HideMT4(); break;
    case 3: m_frmSysTray_MenuClick("Terminal"); break;
    case 4:
        if (QuoteBoardOpen) {
            if (QuoteBoard* board = QuoteBoardForm()) {
                board->xBerth();
                board->setVisible(true);
            }
        } else {
            ShowQuoteFrm();
        }
        break;
    case 5:
        if (NoticeWindow* w = FXNotifyForm()) {
            if (!w->IsLoaded() || !w->Visible()) {
                w->setVisible(true);
            } else if (w->WindowState() == forms::vbMinimized) {
                w->setWindowState(forms::vbNormal);
            } else {
                w->xBerth();
                w->setVisible(true);
            }
        }
        break;
    case 6: m_frmSysTray_MenuClick("Settings"); break;
    default: break;
    }
}

// ---- Tray icon clicks and the tray menu ------------------------------------------------------------

void frmMain::m_frmSysTray_SysTrayMouseDown(int32_t button) {
    if (button == 1) trayLeftClick();
    else if (button == 2) trayRightClick();
}

void frmMain::trayLeftClick() {
    const std::string action = Config().GetNodeAttrib("Settings/SysTaskIcon/LeftClickEvent", "Selected");
    if (action == "1") {
        m_frmSysTray_MenuClick("HideFloat");
    } else if (action == "2") {
        HideMT4();
    } else if (action == "3") {
        m_frmSysTray_MenuClick("Terminal");
    } else if (action == "4") {
        if (QuoteBoardOpen) {
            if (QuoteBoard* board = QuoteBoardForm()) {
                board->xBerth();
                board->setVisible(true);
            }
        } else {
            ShowQuoteFrm();
        }
    } else if (action == "5") {
        NoticeWindow* w = FXNotifyForm();
        if (!w) return;
        if (!w->IsLoaded() || !w->Visible()) {
            w->setVisible(true);
        } else if (w->WindowState() == forms::vbMinimized) {
            w->setWindowState(forms::vbNormal);
        } else {
            // Showing the icon window first brings the notice window to the front; the icon
            // window then goes back to how it was rather than vanishing from the desktop.
            const bool iconShown = Visible();
            Show();
            w->setVisible(true);
            if (!iconShown) Hide();
        }
    } else if (action == "6") {
        m_frmSysTray_MenuClick("Settings");
    }
}

void frmMain::clearMenuArray(const std::string& name) {
    if (!m_FrmSysTray) return;
    forms::Menu& first = m_FrmSysTray->menu(name, 0);
    std::vector<int> indices = first.arrayIndices();
    std::sort(indices.rbegin(), indices.rend());
    if (name != "mnuScript" && indices.size() > 1) first.Visible = true;
    for (int i : indices) {
        if (i <= 0) continue;
        try {
            m_FrmSysTray->menu(name, i).unload();
        } catch (const forms::RuntimeError&) {
        }
    }
}

std::vector<frmMain::ScriptEntry> frmMain::ScriptSection(const std::string& text) {
    std::vector<ScriptEntry> out;
    bool inside = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = forms::Trim(line);
        start = end + 1;
        if (line.empty()) continue;
        if (line.find("<scripts>") != std::string::npos) {
            inside = true;
        } else if (line.find("</scripts>") != std::string::npos) {
            if (inside) inside = false;
        } else if (inside) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos && eq >= 1) out.push_back({line.substr(0, eq), line.substr(eq + 1)});
        }
    }
    return out;
}

void frmMain::refreshScriptMenu(const std::string& terminalFolder) {
    if (!m_FrmSysTray) return;
    auto& machine = sys::Machine::current();
    const std::string file = terminalFolder + "profiles\\hotkeys.ini";
    auto forget = [&] {
        clearMenuArray("mnuScript");
        // A file that comes back later is read again, whatever its time.
        scriptStamp_.reset();
        scriptFile_.clear();
    };
    if (terminalFolder.empty() || !FileExists(file)) {
        forget();
        return;
    }
    std::error_code ec;
    const auto stamp = std::filesystem::last_write_time(machine.hostPath(file), ec);
    if (ec) {
        forget();
        return;
    }
    if (scriptStamp_ && *scriptStamp_ == stamp && sys::iequals(scriptFile_, file)) return;
    clearMenuArray("mnuScript");
    const auto bytes = machine.readFile(file);
    if (!bytes) {
        forget();
        return;
    }
    const std::string scripts = terminalFolder + "experts\\scripts\\";
    int k = 0;
    for (const ScriptEntry& e : ScriptSection(sys::fromAnsi(*bytes, machine.codePage()))) {
        if (!plainFileName(e.name)) continue;
        if (!FileExists(scripts + e.name + ".ex4") && !FileExists(scripts + e.name + ".mq4")) continue;
        ++k;
        m_FrmSysTray->AddScript(e.name + accessNumber(k), e.hotKey);
    }
    scriptStamp_ = stamp;
    scriptFile_ = file;
    if (k > 0) m_FrmSysTray->AddScript("-", "");
}

void frmMain::trayRightClick() {
    if (!m_FrmSysTray) return;
    frmSysTray& tray = *m_FrmSysTray;
    win::GetCursorPos(&TrayCursorPoint);

    clearMenuArray("mnuFloat");
    cls_MT4& t = MT4();
    const bool enabled = t.MT4Enable();
    for (const char* item : {"mHideMT4", "mFloat", "mFXQuote", "mTerminal", "mScript"}) tray.menu(item).Enabled = enabled;

    int open = 0;
    if (enabled) {
        int n = 1;
        for (const std::string& listed : SymbolList) {
            try {
                const auto* record = Quotes.Find(listed);
                if (!record || !*record) continue;
                const std::string symbol = (*record)->SymBol();
                const bool checked = FloatForms.Exists(symbol);
                if (checked) ++open;
                tray.AddFloat(symbol + accessNumber(n), symbol, checked);
                ++n;
            } catch (const forms::RuntimeError&) {
            }
        }
        if (tray.menu("mnuFloat", 0).arrayIndices().size() > 1) tray.menu("mnuFloat", 0).Visible = false;
        refreshScriptMenu(GetParentDir(TerminalExe));
    }

    forms::Menu& floatMenu = tray.menu("mFloat");
    floatMenu.Caption = floatMenu.Tag + (open > 0 ? " - " + std::to_string(open) : "");

    NoticeWindow* notice = FXNotifyForm();
    tray.menu("mFXQuote").Checked = QuoteBoardOpen;
    tray.menu("mFXNews").Checked = notice && notice->IsLoaded() && notice->Visible();
    tray.menu("mTerminal").Checked = TerminalWindowOpen;
    if (enabled) tray.menu("mHideMT4").Checked = !win::IsWindowVisible(t.Mt4Hwnd());

    const bool multi = t.isMt4Multi();
    tray.menu("mMultiMT4").Visible = multi;
    if (multi) {
        clearMenuArray("mnuMulti");
        const win::HWND current = t.Mt4Hwnd();
        int i = 0;
        for (const std::string& entry : t.Mt4Multi()) {
            ++i;
            // The handle is what the scan put after the last bar; a caption may hold bars itself.
            const size_t bar = entry.rfind('|');
            const std::string caption = bar == std::string::npos ? entry : entry.substr(0, bar);
            const auto handle = bar == std::string::npos ? std::nullopt
                                                         : wholeNumber(entry.substr(bar + 1), 0, INT32_MAX);
            const win::HWND h = handle.value_or(0);
            tray.AddMultiMt4(GetMT4Title(caption) + "\t(&" + std::to_string(i) + ")", std::to_string(h),
                             h != 0 && h == current);
        }
        if (tray.menu("mnuMulti", 0).arrayIndices().size() > 1) tray.menu("mnuMulti", 0).Visible = false;
    }

    tray.ShowMenu();
}

// ---- The dispatcher -------------------------------------------------------------------------------

void frmMain::m_frmSysTray_MenuClick(const std::string& key) {
    // A command that arrives while exit pumps would act on windows half closed.
    if (exiting_) return;
    // Exit and a terminal switch pause the loop first; from inside a tick's wait they would
    // pull the windows and the terminal from under the tick. They run once it is over.
    if (inTick_ && (key == "Exit" || key.find("MT4_") != std::string::npos)) {
        deferCommand(key);
        return;
    }
    if (key == "HideFloat") cmdHideFloat();
    else if (key == "Exit") cmdExit();
    else if (key == "HideMT4") HideMT4();
    else if (key == "Brisk") OpenLink(sys::Machine::current().setting(kServiceSiteSetting, kServiceSiteDefault));
    else if (key == "FXNews") cmdFXNews();
    else if (key == "Terminal") cmdTerminal();
    else if (key == "FXQuote") cmdFXQuote();
    else if (key == "Settings") cmdOpenWindow(SettingsForm(), [] { return SettingsForm()->Busy(); });
    else if (key == "About") cmdOpenWindow(AboutForm(), [] { return AboutForm()->Busy(); });
    else if (key == "InsScript") cmdOpenWindow(InsScriptForm(), [] { return InsScriptForm()->Busy(); });
    else if (key.rfind("Script_", 0) == 0) cmdScript(key);
    else if (key.find("Symbol_") != std::string::npos) cmdSymbol(key);
    else if (key.find("MT4_") != std::string::npos) cmdSwitchTerminal(key);
}

void frmMain::deferCommand(const std::string& key) {
    sys::Machine::current().post([key] {
        if (MainForm) MainForm->m_frmSysTray_MenuClick(key);
    });
}

void frmMain::cmdHideFloat() {
    if (!m_FrmSysTray) return;
    forms::Menu& item = m_FrmSysTray->menu("mHideFloat");
    const bool hidden = !item.Checked;
    std::vector<std::shared_ptr<FloatPanel>> panels(FloatForms.begin(), FloatForms.end());
    for (const auto& panel : panels) {
        if (!panel) continue;
        panel->setVisible(!hidden);
        SetTopMost(panel->hWnd());
    }
    item.Checked = hidden;
}

void frmMain::cmdFXNews() {
    NoticeWindow* w = FXNotifyForm();
    if (!w) return;
    if (!w->IsLoaded() || !w->Visible()) {
        Show();
        w->Show(forms::vbModeless, this);
        if (w->BerthOn()) w->xBerth();
    } else if (w->BerthOn()) {
        Show();
        w->xBerth();
    } else {
        w->Hide();
    }
}

void frmMain::cmdTerminal() {
    if (!TerminalWindowOpen) {
        bool flag = false;
        ShowTerminal(flag);
        return;
    }
    TerminalPanelWindow* w = TerminalForm();
    if (!w) return;
    if (w->BerthOn()) {
        Show();
        w->ReVisible();
    } else {
        w->Unload();
    }
}

void frmMain::cmdFXQuote() {
    if (!QuoteBoardOpen) {
        ShowQuoteFrm();
        return;
    }
    QuoteBoard* board = QuoteBoardForm();
    if (!board) return;
    if (board->BerthOn()) {
        Show();
        board->xBerth();
    } else {
        board->Unload();
    }
}

void frmMain::cmdOpenWindow(forms::Form* window, const std::function<bool()>& busy) {
    if (!window) return;
    {
        HourglassScope hourglass;
        window->Load();
        const uint32_t start = win::GetTickCount();
        while (busy() && win::GetTickCount() - start < kWindowWaitMs) forms::DoEvents();
    }
    window->Show(forms::vbModeless, this);
}

void frmMain::openVoiceSet(const std::string& symbol) {
    std::shared_ptr<cls_Quote> rec;
    if (auto* found = Quotes.Find(symbol)) rec = *found;
    if (!rec || !NewVoiceQuote) return;
    // One dialog at a time, each opening a fresh one: one still open closes (and saves) first.
    if (VoiceQuoteForm && VoiceQuoteForm->IsLoaded()) VoiceQuoteForm->Unload();
    VoiceQuoteDialog* dlg = VoiceQuoteWindow();
    if (!dlg) return;
    {
        HourglassScope hourglass;
        dlg->Load();
        const uint32_t start = win::GetTickCount();
        while (dlg == VoiceQuoteForm && dlg->Busy() && win::GetTickCount() - start < kWindowWaitMs) forms::DoEvents();
    }
    // A page that never came, or a dialog closed while it loaded, is not filled: it has
    // nothing of the record to hand back.
    if (dlg != VoiceQuoteForm || !dlg->IsLoaded()) return;
    try {
        if (dlg->Busy()) forms::raise(forms::err::ObjectRequired, "frmVoiceQuote");
        dlg->setCaption(symbol + " - " + dlg->Caption());
        dlg->VoiceDelta(std::to_string(rec->VoiceDelta()));
        dlg->DeltaFormat(rec->DeltaFormat());
        dlg->VoiceInterval(std::to_string(rec->VoiceInterval()));
        dlg->IntervalFormat(rec->IntervalFormat());
        dlg->ID(symbol);
        dlg->EnableDelta(rec->EnableDelta());
        dlg->EnableInterval(rec->EnableInterval());
        dlg->VoiceEnable(rec->VoiceEnable());
        dlg->Show(forms::vbModeless, this);
    } catch (const std::exception& e) {
        trace("voice settings failed: " + errorText(e));
        dlg->Unload();
    }
}

void frmMain::cmdScript(const std::string& key) {
    if (!m_FrmSysTray) return;
    const auto index = wholeNumber(forms::Mid(key, 8), 1, 100000);
    if (!index) return;
    forms::Menu* element = m_FrmSysTray->Menus().find("mnuScript", *index);
    if (!element) return;
    const std::string keys = ScriptKeys(element->Tag);
    if (keys.empty()) return;
    const win::HWND h = MT4().Mt4Hwnd();
    if (!h) return;
    win::ShowWindow(h, win::IsIconic(h) ? 9 : 5);
    win::SetWindowPos(h, win::HWND_TOPMOST, 0, 0, 0, 0, 0x43);
    win::SetForegroundWindow(h);
    // Keystrokes go to whichever window is in front: only to the terminal.
    if (win::GetForegroundWindow() == h) {
        try {
            forms::SendKeys(keys, true);
        } catch (const forms::RuntimeError&) {
        }
    }
    win::SetWindowPos(h, win::HWND_NOTOPMOST, 0, 0, 0, 0, 3);
}

void frmMain::cmdSymbol(const std::string& key) {
    const std::string symbol = forms::Mid(key, 8);
    if (symbol.empty()) return;
    if (auto* panel = FloatForms.Find(symbol); panel && *panel) {
        (*panel)->setVisible(true);
        return;
    }
    int16_t border = -1, voice = 0, quickOrder = 0, iconEvent = 0;
    LoadSymbolPara(symbol, -1, -1, 1, border, voice, quickOrder, iconEvent);
}

void frmMain::cmdSwitchTerminal(const std::string& key) {
    const long bar = forms::InStr(key, "|");
    if (bar == 0) return;
    const double value = forms::Val(forms::Mid(key, 5));
    if (!(value >= 1 && value <= 2147483647.0)) return;
    const auto h = static_cast<win::HWND>(value);
    cls_MT4& t = MT4();
    const win::HWND current = t.Mt4Hwnd();
    if (h == current) return;
    // A stale menu may carry a handle that now belongs to some other window.
    if (!win::IsWindow(h) || mWindow::GetClassNameString(h) != cls_MT4::kMainClass) return;

    const bool terminalShown = TerminalWindowOpen;
    RequestTimerState(kPause);
    // Whatever way this ends, the price loop runs again.
    struct Resume {
        uint8_t& state;
        ~Resume() { state = kRun; }
    } resume{TimerState};

    if (!t.CheckkMT4(h)) {
        // The refused search has moved the bridge off the terminal it had.
        if (current) t.CheckkMT4(current);
        return;
    }
    if (terminalShown)
        if (TerminalPanelWindow* w = TerminalForm()) w->Unload();

    std::string title;
    const auto index = wholeNumber(forms::Mid(key, bar + 1), 0, 100000);
    forms::Menu* element = index && m_FrmSysTray ? m_FrmSysTray->Menus().find("mnuMulti", *index) : nullptr;
    if (element && !element->Caption.empty()) {
        const size_t tab = element->Caption.find('\t');
        title = element->Caption.substr(0, tab);
    } else {
        title = GetMT4Title(mWindow::GetWindowTextString(h));
    }
    TerminalTitle = title;
    if (m_FrmSysTray) m_FrmSysTray->TaskToolTip(kTitle + "\r\n" + TerminalTitle);
    // Restarts and the script menu go to the terminal now in use.
    int32_t pid = 0;
    const std::string exe = t.GetRuntimeMT4Path(pid);
    if (!exe.empty() && exe != "unknown") TerminalExe = exe;

    const bool boardOpen = QuoteBoardOpen;
    QuoteBoardOpen = false;
    t.GetQuote();
    if (terminalShown)
        if (TerminalPanelWindow* w = TerminalForm()) w->Show(forms::vbModeless, this);
    QuoteBoardOpen = boardOpen;
    if (QuoteBoardOpen) {
        if (QuoteBoard* board = QuoteBoardForm()) board->Unload();
        ShowQuoteFrm();
    }
}

// ---- Exit -------------------------------------------------------------------------------------------

void frmMain::cmdExit() {
    exiting_ = true;
    if (!RequestTimerState(kStop) && m_PriceTimer) {
        // Nothing acknowledged (the loop was not running): stop it here.
        m_PriceTimer->Interval(0);
    }
    try {
        exitSteps();
    } catch (const win::UnansweredModalError&) {
        throw;
    } catch (const std::exception& e) {
        forms::MsgBox("Pennant 在退出时产生一个错误:" + errorText(e), forms::vbCritical, kTitle);
        // The program keeps running: so does its price loop.
        exiting_ = false;
        TimerState = kRun;
        if (m_PriceTimer) m_PriceTimer->Interval(1000);
    }
}

void frmMain::exitSteps() {
    cls_Config& c = Config();
    const long tppX = forms::Screen.TwipsPerPixelX();
    const long tppY = forms::Screen.TwipsPerPixelY();

    // Floating panels: their places (pixels) and settings, then the panels themselves.
    if (PanelsLoaded) {
        // After an exit that failed later on, the list already holds the panels it closed: a
        // new attempt adds the ones opened since instead of starting the list afresh.
        std::vector<std::string> listed;
        if (panelsSaved_) {
            for (pugi::xml_node item : c.FloatList()) listed.push_back(item.attribute("Symbol").value());
        } else {
            c.RemoveFloat();
            for (const auto& record : unopenedPanels_) {
                const auto symbol = std::find_if(record.begin(), record.end(), [](const auto& a) { return a.first == "Symbol"; });
                if (symbol != record.end() && !FloatForms.Exists(symbol->second)) c.AddFloatRecord(record);
            }
        }
        std::vector<std::shared_ptr<FloatPanel>> panels(FloatForms.begin(), FloatForms.end());
        for (const auto& p : panels) {
            if (!p) continue;
            if (std::any_of(listed.begin(), listed.end(), [&](const std::string& s) { return sys::iequals(s, p->ID()); })) {
                p->Unload();
                continue;
            }
            const bool border = p->Border();
            const double left = static_cast<double>(border ? p->Left() : p->NB_Left()) / tppX;
            const double top = static_cast<double>(border ? p->Top() : p->NB_Top()) / tppY;
            c.AddFloat(p->ID(), forms::CLng(left), forms::CLng(top), std::to_string(p->Mode()), border, p->Voice(),
                       p->OrderBAR(), p->IconEvent());
            p->Unload();
        }
        panelsSaved_ = true;
    }

    if (QuoteBoardOpen)
        if (QuoteBoard* board = QuoteBoardForm()) board->Unload();
    if (TerminalWindowOpen)
        if (TerminalPanelWindow* w = TerminalForm()) w->Unload();
    if (OrderConfirmOpen && OrderConfirmForm) OrderConfirmForm->UNForm();
    if (LiveUpdateOpen && liveUpdate_) liveUpdate_->Unload();
    liveUpdate_.reset();

    // The terminal is shown again whenever it is hidden, whatever the menu last showed.
    if (const win::HWND h = MT4().Mt4Hwnd(); h && !win::IsWindowVisible(h)) win::ShowWindow(h, 5);

    StopVoiceClock();
    if (NoticeWindow* w = FXNotifyForm()) {
        if (w->IsLoaded() && w->Working()) w->CancelWork();
        w->Unload();
    }
    if (FXNewsForm) FXNewsForm->Unload();
    ReleaseNeighbourWindows();
    ReleaseQuoteBoard();

    if (m_FrmSysTray) {
        // The tray window may be what called us (its menu): it is let go once the call is over.
        std::shared_ptr<frmSysTray> tray = std::move(m_FrmSysTray);
        tray->Unload();
        sys::Machine::current().post([tray] {});
    }

    if (settingFlag(c.GetNodeAttrib("Window", "Visible"))) {
        c.SetNodeAttrib("Window", "Left", std::to_string(forms::CLng(static_cast<double>(Left()) / tppX)));
        c.SetNodeAttrib("Window", "Top", std::to_string(forms::CLng(static_cast<double>(Top()) / tppY)));
    }

    // Every other window of the program goes too (settings, about, installer, news reader and
    // whatever else is open), so that nothing keeps the process.
    std::vector<win::HWND> windows;
    const uint32_t self = sys::Machine::currentProcessId();
    const win::HWND me = hWnd();
    win::EnumWindows(
        [&](win::HWND h, win::LPARAM) {
            win::DWORD pid = 0;
            win::GetWindowThreadProcessId(h, &pid);
            if (pid == self && h != me) windows.push_back(h);
            return win::TRUE;
        },
        0);
    for (win::HWND h : windows)
        if (win::IsWindow(h))
            if (forms::Form* f = forms::Form::fromHwnd(h)) f->Unload();
    ReleaseCommandWindows();

    delHotKey();
    if (!Unload()) {
        exiting_ = false;
        return;
    }
    // Nobody may reach this window through the hook once it is gone.
    m_Main::ShowQuoteFrm = nullptr;
    // The window object goes once the call that brought us here is over.
    if (MainForm.get() == this) {
        std::shared_ptr<frmMain> self = std::move(MainForm);
        sys::Machine::current().post([self] {});
    }
}
