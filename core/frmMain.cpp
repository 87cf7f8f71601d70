#include "frmMain.h"

#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/SymbolElementName.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Timer.h"
#include "platform/desktop/Window.h"
#include "platform/forms/DateTime.h"
#include "platform/forms/Format.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/registry/Registry.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "platform/system/Resources.h"
#include "toolkit/cRegHotKey.h"
#include "toolkit/cRegistry.h"
#include "toolkit/cls_Config.h"
#include "toolkit/frmSplash.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <vector>

using namespace m_Main;

namespace {

const std::string kBalloonRestart = "在获取MT4软件报价时出现异常错误!现正尝试重新运行MT4!";
const std::string kRestartFailed = "获取MT4软件报价时出现异常错误!";
const std::string kTerminalKey = "Software\\MetaQuotes Software\\MetaTrader 4";
constexpr uint32_t kStartWaitMs = 10000;
constexpr uint32_t kRestartWaitMs = 8000;
constexpr uint32_t kPageWaitMs = 30000;

cls_MT4& mt4() { return MT4(); }

// A whole number from a page; one that no Long holds keeps the value held before.
int32_t wholeOr(const std::string& text, int32_t previous) {
    double v = NAN;
    forms::ResumeNext([&] { v = forms::Val(text); });
    return std::isfinite(v) && v > -2147483648.5 && v < 2147483647.5 ? forms::CLng(v) : previous;
}

// Pumps while busy() holds, at most ms of the machine's clock.
template <class F>
void pumpWhile(F&& busy, uint32_t ms) {
    const uint32_t start = win::GetTickCount();
    while (busy() && win::GetTickCount() - start < ms) forms::DoEvents();
}

// A settings attribute that is created with its default when missing.
void ensureAttrib(const std::string& path, const std::string& attribute, const std::string& value) {
    cls_Config& c = Config();
    if (!c.isExistAttrib(path, attribute)) c.CreateAttrib(path, attribute, value);
}

// A time text of the terminal read as a date-time; nothing when it is not one. A tick reads the
// same few times over and over (the server's, the last one, the quotes'); a reading depends on
// the text alone, so the last few are remembered.
std::optional<forms::DateTime> timeOf(const std::string& text) {
    struct Known {
        std::string text;
        std::optional<forms::DateTime> value;
    };
    thread_local std::array<Known, 4> known;
    thread_local size_t next = 0;
    for (const Known& k : known)
        if (!k.text.empty() && k.text == text) return k.value;
    if (text.empty() || !forms::IsDate(text)) return std::nullopt;
    std::optional<forms::DateTime> value;
    try {
        value = forms::CDate(text);
    } catch (const std::exception&) {
    }
    known[next] = {text, value};
    next = (next + 1) % known.size();
    return value;
}

std::string twoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

} // namespace

// ================================================================================================

frmMain::frmMain() : forms::Form("frmMain") {
    design.caption = kMainCaption;
    design.borderStyle = forms::vbBSNone;
    design.controlBox = false;
    design.minButton = false;
    design.maxButton = false;
    design.showInTaskbar = false;
    design.width = 36 * sys::Machine::twipsPerPixel;
    design.height = 36 * sys::Machine::twipsPerPixel;
}

frmMain::~frmMain() {
    if (m_PriceTimer) {
        m_PriceTimer->ThatTime = nullptr;
        m_PriceTimer->Interval(0);
    }
}

void frmMain::trace(const std::string& event) {
    if (Trace) Trace(event);
}

// ---- Start-up ------------------------------------------------------------------------------------

void frmMain::createSpeech() {
    m_Speech.reset();
    win::CLSID clsid{};
    if (win::FAILED(win::CLSIDFromProgID(u"Sapi.SpVoice", &clsid)) ||
        win::FAILED(win::CoCreateInstance(clsid, nullptr, win::CLSCTX_ALL, win::IID_ISpeechVoice, m_Speech.putVoid())))
        m_Speech.reset();
}

void frmMain::loadTimeoutSettings() {
    cls_Config& c = Config();
    const std::string node = "Settings/Timeout";
    ensureAttrib(node, "Checked", "1");
    TimeoutSeconds = 0;
    if (settingFlag(c.GetNodeAttrib(node, "Checked"))) {
        // An interval outside 0..32767 seconds cannot be meant; it switches the alarm off.
        const double v = forms::Round(settingNumber(c.GetNodeAttrib(node, "Interval")));
        TimeoutSeconds = (v >= 0 && v <= 32767) ? static_cast<int16_t>(v) : 0;
    }
    if (!c.isExistAttrib(node, "Sound")) {
        c.CreateAttrib(node, "Sound", "0");
        c.CreateAttrib(node, "SoundFile", "");
    }
    TimeoutSound = settingFlag(c.GetNodeAttrib(node, "Sound"));
    ensureAttrib(node, "Voice", "0");
    TimeoutVoice = settingFlag(c.GetNodeAttrib(node, "Voice"));
}

frmMain::StartOutcome frmMain::findOrStartTerminal() {
    cls_MT4& t = mt4();
    t.CheckkMT4(0);
    if (t.MT4Enable()) {
        int32_t pid = 0;
        TerminalExe = t.GetRuntimeMT4Path(pid);
        const bool read = t.GetQuote();
        LastServerTime = t.MT4Time();
        return read ? StartOutcome::Ready : StartOutcome::NotRunning;
    }

    cls_Config& c = Config();
    std::string path = c.isExistAttrib("Settings/Startup/RunMT4", "MT4File")
                           ? c.GetNodeAttrib("Settings/Startup/RunMT4", "MT4File")
                           : std::string();
    cRegistry r;
    r.ClassKey(win::HKEY_CURRENT_USER);
    r.SectionKey(kTerminalKey);
    const bool keyExists = r.KeyExists();
    // A registry that cannot be read says nothing about whether the terminal is installed.
    const auto notFound = [] {
        win::HKEY h = 0;
        const win::LONG r = win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "", 0, win::KEY_READ, &h);
        if (r == win::ERROR_SUCCESS) win::RegCloseKey(h);
        return r == win::ERROR_BADDB ? StartOutcome::RegistryDamaged : StartOutcome::NotInstalled;
    };
    if (path.empty() && !keyExists) return notFound();
    if (path.empty()) {
        const auto install = reg::getString(win::HKEY_CURRENT_USER, kTerminalKey, "InstallPath");
        if (!install) return notFound();
        path = *install + "\\terminal.exe";
    }
    if (!FileExists(path)) return StartOutcome::NotInstalled;
    const bool run = storedFlag("Settings/Startup/RunMT4", "Checked");
    if (!run) return StartOutcome::NotRunning;
    const bool hide = storedFlag("Settings/Startup/HideMT4", "Checked");
    try {
        TerminalPid = forms::Shell(path, hide ? forms::vbHide : forms::vbMaximizedFocus);
    } catch (const forms::RuntimeError& e) {
        forms::MsgBox("运行MT4外汇软件(" + path + ")错误!\r\n\r\n#" + std::to_string(e.Number) + " - " + e.Description,
                      forms::vbSystemModal + forms::vbCritical, kTitle);
        return StartOutcome::NotRunning;
    }
    int32_t pid = static_cast<int32_t>(TerminalPid);
    TerminalExe = t.GetRuntimeMT4Path(pid);
    const uint32_t start = win::GetTickCount();
    bool found = false;
    while (win::GetTickCount() - start < kStartWaitMs) {
        forms::DoEvents();
        if (t.CheckkMT4(0)) {
            found = true;
            break;
        }
    }
    if (!found) return StartOutcome::NotRunning;
    t.GetQuote();
    LastServerTime = t.MT4Time();
    return StartOutcome::Ready;
}

void frmMain::placeWindow() {
    cls_Config& c = Config();
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"Left", "-1"}, {"Top", "-1"}, {"Visible", "1"}, {"DoubleClick", "1"}, {"TopMost", "0"}})
        ensureAttrib("Window", name, value);
    const long tpp = sys::Machine::twipsPerPixel;
    const long screenW = win::GetSystemMetrics(win::SM_CXSCREEN), screenH = win::GetSystemMetrics(win::SM_CYSCREEN);
    // A place off the screen (or a number beyond any) would leave the icon where no one can reach it.
    auto onScreen = [](double v, long fallback, long limit) {
        v = forms::Fix(v);
        if (v == -1 || !std::isfinite(v)) return fallback;
        return static_cast<long>(std::clamp(v, 0.0, static_cast<double>(std::max(limit - 36, 0L))));
    };
    const long left = onScreen(settingNumber(c.GetNodeAttrib("Window", "Left")), screenW - 72, screenW);
    const long top = onScreen(settingNumber(c.GetNodeAttrib("Window", "Top")), 36, screenH);
    SetTopMost(hWnd());
    showFace();
    WindowTopMost = settingFlag(c.GetNodeAttrib("Window", "TopMost"));
    if (settingFlag(c.GetNodeAttrib("Window", "Visible"))) Move(left * tpp, top * tpp, 36 * tpp, 36 * tpp);
    else Move(-1 * tpp, -1 * tpp, 1 * tpp, 1 * tpp);
}

void frmMain::Form_Load() {
    cls_Config& c = Config();
    // The title of boxes and balloons that name none.
    forms::setAppTitle(kTitle);

    createSpeech();
    if (!m_Speech) {
        forms::MsgBox("启动系统语音引擎出错!", forms::vbSystemModal + forms::vbCritical, kTitle);
        SpeechFailed = true;
    }

    // The window's own objects. The hot keys are registered later, by defHotKey.
    m_PriceTimer = CTimer::create();
    cHotKey = std::make_unique<cRegHotKey>();
    m_PriceTimer->ThatTime = [this] { m_PriceTimer_ThatTime(); };
    m_FrmSysTray = std::make_shared<frmSysTray>();
    m_FrmSysTray->MenuClick = [this](const std::string& key) { m_frmSysTray_MenuClick(key); };
    m_FrmSysTray->Load();
    connectCommands();
    m_Main::ShowQuoteFrm = [this] { ShowQuoteFrm(); };

    // Old browsers get the overlay images as files.
    const auto version = reg::getString(win::HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\", "Version");
    if (!version || version->empty() || forms::Val(version->substr(0, 1)) < 7) {
        OldBrowser = true;
        for (const char* name : {"OVERLAY", "ITimeout", "TIMEOUTX", "MTCLOSE", "SAPI"})
            SaveResToFile(ExePath, std::string(name) + ".PNG", "2110", TempDir + name + ".MPI");
    }

    // Until the terminal's time first moves, a still clock is its loading, not a stalled feed.
    loadTimeoutSettings();
    TerminalLoading = true;

    const StartOutcome outcome = findOrStartTerminal();

    // Quick-order defaults.
    if (!c.isExist("", "QuickOrder")) {
        if (c.CreateNode("", "QuickOrder")) {
            c.CreateAttrib("QuickOrder", "defConfirm", "1");
            c.CreateAttrib("QuickOrder", "defSL", "50");
            c.CreateAttrib("QuickOrder", "defTP", "50");
            c.CreateAttrib("QuickOrder", "defVolume", "0.1");
        }
    }
    ensureAttrib("QuickOrder", "defVolume", "0.1");

    // A terminal that answers names the tray icon's tip and opens the quote panels.
    if (outcome == StartOutcome::Ready) {
        const win::HWND h = mt4().Mt4Hwnd();
        TerminalTitle = GetMT4Title(win::windowText(h));
        LastMt4Hwnd = h;
        m_FrmSysTray->TaskToolTip(kTitle + "\r\n" + TerminalTitle);
        LoadPara();
    }
    TerminalReady = outcome == StartOutcome::Ready;

    // Welcome.
    std::string status;
    if (outcome == StartOutcome::Ready) {
        status = "MT4平台已启用: " + TerminalTitle;
    } else {
        const std::string msg = outcome == StartOutcome::NotInstalled
                                    ? "未发现系统安装有MT4外汇平台软件, MT4相关的功能将取消!"
                                : outcome == StartOutcome::RegistryDamaged
                                    ? "系统注册表已损坏, 无法查找MT4外汇平台软件, MT4相关的功能将取消!"
                                    : "检测到MT4没有运行! MT4相关的功能将取消.";
        status = forms::String(forms::Len(msg), "-") + "\r\n" + msg;
    }
    m_FrmSysTray->ShowBalloonTip("欢迎使用Corvel - Pennant \r\n" + status, kTitle,
                                 outcome == StartOutcome::Ready ? 1 : 2, 15000);
    trace(outcome == StartOutcome::Ready ? "terminal found: " + TerminalTitle
          : outcome == StartOutcome::NotInstalled ? "terminal not installed"
          : outcome == StartOutcome::RegistryDamaged ? "registry damaged: " + reg::databaseError()
                                                  : "terminal not running");

    // The first tick runs now, not a second from now.
    m_PriceTimer->Interval(1000);
    m_PriceTimer->PulseTimer();

    defHotKey(false);
    if (const auto& splash = frmSplash::Instance()) splash->CloseSplash();

    // A calendar marked for update is fetched afresh.
    ensureAttrib("FXCalendar", "Update", "1");
    if (settingFlag(c.GetNodeAttrib("FXCalendar", "Update"))) {
        c.RemoveAllFXCalendar();
        c.SetNodeAttrib("FXCalendar", "Update", "0");
    }

    bool newsVisible = storedFlag("Window/FXNews", "Status");
    StartFXNotify(newsVisible);

    // Defaults of the news filters, the live update and the service-channel alerts.
    ensureAttrib("Settings/FXNews", "Include", "");
    ensureAttrib("Settings/FXNews", "Exclude", "");
    if (!c.isExistAttrib("Settings/LiveUpdate", "Checked")) {
        if (!c.isExist("Settings", "LiveUpdate")) c.CreateNode("Settings", "LiveUpdate");
        c.CreateAttrib("Settings/LiveUpdate", "Checked", "1");
    }
    if (!c.isExistAttrib("Settings/Brisk", "WarnChecked")) {
        if (!c.isExist("Settings", "Brisk")) c.CreateNode("Settings", "Brisk");
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"WarnChecked", "1"}, {"Strategy", "1"}, {"Vip", "1"}, {"Notice", "1"}, {"Sound", "1"},
                 {"SoundFile", ""}, {"Voice", "0"}})
            c.CreateAttrib("Settings/Brisk", name, value);
    }

    if (settingFlag(c.GetNodeAttrib("Settings/LiveUpdate", "Checked"))) ChkLiveUpdate(false);

    if (storedFlag("Settings/VoiceClock", "Checked"))
        StartVoiceClock();

    placeWindow();
    Show();
}

void frmMain::LoadPara() {
    PanelsLoaded = true;
    cls_Config& c = Config();
    std::vector<pugi::xml_node> items;
    forms::ResumeNext([&] { items = c.FloatList(); });
    auto setUp = [&](pugi::xml_node item) {
        forms::ResumeNext([&] {
            auto attr = [&](const char* name) -> std::optional<std::string> {
                pugi::xml_attribute a = item.attribute(name);
                if (!a) return std::nullopt;
                return std::string(a.value());
            };
            int16_t border = attr("Border") ? (settingFlag(*attr("Border")) ? -1 : 0) : -1;
            int16_t voice = attr("Voice") && settingFlag(*attr("Voice")) ? -1 : 0;
            int16_t quickOrder = attr("QuickOrder") && settingFlag(*attr("QuickOrder")) ? -1 : 0;
            int16_t iconEvent = 0;
            if (auto v = attr("IconEvent")) iconEvent = settingInteger<int16_t>(*v);
            const std::string symbol = attr("Symbol").value_or("");
            int32_t left = 0, top = 0, style = 0;
            if (auto v = attr("Left")) left = settingInteger<int32_t>(*v);
            if (auto v = attr("Top")) top = settingInteger<int32_t>(*v);
            if (auto v = attr("Style")) style = settingInteger<int32_t>(*v);
            LoadSymbolPara(symbol, left, top, style, border, voice, quickOrder, iconEvent);
            if (!symbol.empty() && !FloatForms.Exists(symbol)) {
                std::vector<std::pair<std::string, std::string>> record;
                for (pugi::xml_attribute a : item.attributes()) record.emplace_back(a.name(), a.value());
                unopenedPanels_.push_back(std::move(record));
            }
        });
    };
    // Every panel's page starts loading at once. The panels are set up in the order of the
    // settings, each as soon as its page is ready, even while later pages are still being made:
    // the first quote shows without waiting for the last page.
    size_t passed = 0, done = 0;
    auto setUpReady = [&] {
        while (done < passed) {
            const auto made = preloaded_.find(items[done].attribute("Symbol").value());
            if (made != preloaded_.end() && made->second->Busy()) return;
            setUp(items[done++]);
        }
    };
    for (pugi::xml_node item : items) {
        const std::string symbol = item.attribute("Symbol").value();
        ++passed;
        if (symbol.empty() || !NewFloatPanel || !Quotes.Find(symbol) || FloatForms.Exists(symbol) ||
            preloaded_.count(symbol))
            continue;
        forms::ResumeNext([&] {
            std::shared_ptr<FloatPanel> p = NewFloatPanel();
            if (!p) return;
            preloaded_[symbol] = p;
            p->Load();
        });
        forms::DoEvents();
        setUpReady();
    }
    while (done < items.size()) setUp(items[done++]);
    // A page made for a panel that was not shown after all goes.
    for (auto& entry : std::exchange(preloaded_, {})) forms::ResumeNext([&] { entry.second->Unload(); });
    if (storedFlag("Window/FXQuote", "Status"))
        ShowQuoteFrm();
    if (storedFlag("Window/Terminal", "Status")) {
        bool flag = false;
        ShowTerminal(flag);
    }
    trace("panels opened: " + std::to_string(FloatForms.Count()));
}

void frmMain::Form_Unload(int& Cancel) {
    (void)Cancel;
    if (m_PriceTimer) {
        m_PriceTimer->Interval(0);
        m_PriceTimer->ThatTime = nullptr;
    }
    m_Main::ShowQuoteFrm = nullptr;
    // The last steps of the run: each is tried, and a failure is told rather than ending the
    // program with the settings unsaved.
    try {
        if (VoiceSwitched) RestoreVoice();
    } catch (const forms::RuntimeError&) {
    }
    try {
        Config().XMLSave();
    } catch (const forms::RuntimeError& e) {
        forms::MsgBox("设置文件保存失败: " + e.Description, forms::vbCritical, kTitle);
    }
    if (face_) {
        win::setWindowPicture(hWnd(), 0);
        win::DeleteObject(face_);
        face_ = 0;
    }
}

// The icon window's face: a picture of its own that fills the borderless window.
void frmMain::showFace() {
    const auto bytes = sys::findResource(sys::kPageResourceType, "Pennant.png");
    const auto image = bytes ? gdi::decodeImage(*bytes) : std::nullopt;
    if (!image) return;
    win::HDC dc = win::CreateCompatibleDC(0);
    win::BITMAPINFO bi{};
    bi.bmiHeader = {40, image->width, -image->height, 1, 32, 0, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    face_ = win::CreateDIBSection(dc, &bi, win::DIB_RGB_COLORS, &bits, 0, 0);
    const win::HGDIOBJ old = win::SelectObject(dc, face_);
    gdi::drawImage(dc, *image, image->width, image->height);
    win::SelectObject(dc, old);
    win::DeleteDC(dc);
    win::setWindowPicture(hWnd(), face_);
}

// ---- Terminal control -------------------------------------------------------------------------

bool frmMain::RequestTimerState(uint8_t request) {
    TimerState = request;
    // Called from a handler that runs inside a tick's own wait, the tick cannot answer before we
    // return; it acknowledges when it ends. Without a running timer nobody would answer at all.
    if (inTick_) return false;
    if (!m_PriceTimer || m_PriceTimer->Interval() < 1) {
        TimerState = kAcknowledged;
        return true;
    }
    const uint32_t start = win::GetTickCount();
    while (TimerState != kAcknowledged && win::GetTickCount() - start < kHandshakeWaitMs) forms::DoEvents();
    return TimerState == kAcknowledged;
}

void frmMain::CloseMT4() {
    // Past the bound the tick is stuck below us (we run inside its wait); go on regardless.
    RequestTimerState(kPause);
    mt4().CloseMT4();
}

bool frmMain::RERunMT4() {
    bool ok = false;
    try {
        TerminalPid = forms::Shell(TerminalExe, forms::vbNormalNoFocus);
        ok = waitForQuotes(kRestartWaitMs);
    } catch (const forms::RuntimeError&) {
        ok = false;
    }
    TimerState = kRun;
    return ok;
}

bool frmMain::waitForQuotes(uint32_t ms) {
    cls_MT4& t = mt4();
    const uint32_t start = win::GetTickCount();
    while (win::GetTickCount() - start < ms) {
        forms::DoEvents();
        // The old terminal's handles are dead: look for the new one's windows each pass.
        if ((t.MT4Enable() || t.CheckkMT4(0)) && t.GetQuote()) return true;
    }
    return false;
}

std::string frmMain::GetMT4Title(const std::string& caption) {
    if (forms::InStr(caption, ",") == 0) return caption;
    const long dash = forms::InStrRev(caption, "-");
    if (dash == 0) return caption;
    return forms::Trim(forms::Left(caption, dash - 1));
}

void frmMain::ShowQuoteFrm() {
    if (!mt4().MT4Enable() || QuoteBoardOpen) return;
    QuoteBoard* board = QuoteBoardForm();
    if (!board) return;
    forms::Screen.setMousePointer(forms::vbHourglass);
    board->Load();
    pumpWhile([&] { return board->Busy(); }, kPageWaitMs);
    forms::Screen.setMousePointer(forms::vbDefault);
    board->MT4Loading(TerminalLoading);
    board->Show(forms::vbModeless, this);
}

void frmMain::StartFXNotify(bool& visible) {
    NoticeWindow* w = FXNotifyForm();
    if (!w) return;
    forms::Screen.setMousePointer(forms::vbHourglass);
    w->Load();
    pumpWhile([&] { return w->Busy(); }, kPageWaitMs);
    forms::Screen.setMousePointer(forms::vbDefault);
    w->FXEvent();
    if (visible) w->Show(forms::vbModeless, this);
}

void frmMain::ShowTerminal(bool& flag) {
    if (flag) {
        m_frmSysTray_MenuClick("Terminal");
        return;
    }
    TerminalPanelWindow* w = TerminalForm();
    if (!w) return;
    if (TerminalWindowOpen) w->ReVisible();
    else w->Show(forms::vbModeless, this);
}

void frmMain::HideMT4() {
    cls_MT4& t = mt4();
    if (!t.MT4Enable()) return;
    const win::HWND h = t.Mt4Hwnd();
    if (win::IsWindowVisible(h)) {
        if (win::IsIconic(h)) win::ShowWindow(h, 9);
        win::ShowWindow(h, 0);
    } else {
        win::ShowWindow(h, 5);
        win::ShowWindow(h, 3);
        win::SetForegroundWindow(h);
    }
}

// ---- Hot keys, balloons, panels ---------------------------------------------------------------

void frmMain::ChkLiveUpdate(bool tip) {
    if (!NewLiveUpdate) return;
    if (!liveUpdate_) liveUpdate_ = NewLiveUpdate();
    if (!liveUpdate_) return;
    liveUpdate_->Load();
    liveUpdate_->Tip(tip);
}

void frmMain::ClosePopupForm(const std::string& key) {
    if (FloatForms.Exists(key)) FloatForms.Remove(key);
}

// ---- Price loop -------------------------------------------------------------------------------

void frmMain::PriceDigits(const std::string& price, int32_t& headLength, int32_t& bigDigitPos, bool& fractionalPip) {
    if (price.empty()) return;
    const long p = forms::InStr(price, ".");
    const long len = forms::Len(price);
    if (p == 2) {
        headLength = 4;
        bigDigitPos = 5;
        fractionalPip = len == 7;
    } else {
        headLength = static_cast<int32_t>(p - 1);
        bigDigitPos = static_cast<int32_t>(p + 1);
        fractionalPip = p == 0 ? len == 3 : len - p == 3;
    }
}

std::string frmMain::StaleText(int32_t s) {
    if (s <= 0) return "";
    const int32_t hours = s / 3600;
    const int32_t minutes = (s - 3600 * hours) / 60;
    const int32_t seconds = s - 3600 * hours - 60 * minutes;
    std::string t;
    if (hours > 0) t += std::to_string(hours) + "时";
    if (minutes > 0) t += std::to_string(minutes) + "分";
    if (seconds > 0) t += std::to_string(seconds) + "秒";
    return t;
}

bool frmMain::restartTerminal() {
    const bool terminalShown = TerminalWindowOpen;
    if (terminalShown)
        if (TerminalPanelWindow* w = TerminalForm()) w->Unload();
    m_FrmSysTray->ShowBalloonTip(kBalloonRestart, kTitle, 3, 8000);
    trace("terminal restart: " + TerminalExe);
    TerminalLoading = true;
    bool ok = false;
    try {
        TerminalPid = forms::Shell(TerminalExe, forms::vbNormalNoFocus);
        ok = waitForQuotes(kRestartWaitMs);
    } catch (const forms::RuntimeError&) {
        ok = false;  // the program file is gone or cannot be started
    }
    if (ok) {
        LastServerTime = mt4().MT4Time();
        m_FrmSysTray->CloseBalloonTip();
        if (terminalShown)
            if (TerminalPanelWindow* w = TerminalForm()) w->Show(forms::vbModeless, this);
        trace("terminal restarted");
        return true;
    }
    trace("terminal restart failed");
    forms::MsgBox(kRestartFailed, 4112, kTitle);
    return false;
}

void frmMain::m_PriceTimer_ThatTime() {
    // The tick pumps (restart wait, page loads); a timer message handled in there must not start
    // a second tick on top of the first. The outer tick acknowledges requests at its end.
    if (inTick_) return;
    inTick_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inTick_};

    if (TimerState == kRun) {
        cls_MT4& t = mt4();
        bool closed = false, changed = false, read = false, restarted = false;
        for (int pass = 0;; pass++) {
            if (t.MT4Enable()) {
                if (t.Mt4Hwnd() != LastMt4Hwnd) {
                    int32_t pid = 0;
                    TerminalExe = t.GetRuntimeMT4Path(pid);
                    LastMt4Hwnd = t.Mt4Hwnd();
                    LastServerTime = t.MT4Time();
                    TerminalLoading = true;
                    changed = true;
                }
                if (t.GetQuote()) {
                    read = true;
                    break;
                }
                if (t.MT4Enable()) {
                    m_FrmSysTray->TaskToolTip(kTitle);
                    if (t.CloseMT4()) {
                        restarted = true;
                        if (!restartTerminal()) closed = true;
                        break;
                    }
                }
            }
            if (pass + 1 >= kWatchdogPasses || !t.CheckkMT4(0)) {
                staleSeconds_ = -1;
                closed = true;
                TerminalLoading = false;
                if (TerminalReady) {
                    m_FrmSysTray->ShowBalloonTip(TerminalTitle, "MT4平台已关闭!", 2, 15000);
                    m_FrmSysTray->TaskToolTip(kTitle);
                    TerminalReady = false;
                    trace("terminal closed");
                }
                break;
            }
        }

        std::string serverTime;
        if (read && (!TerminalReady || changed)) {
            TerminalTitle = GetMT4Title(win::windowText(t.Mt4Hwnd()));
            if (!PanelsLoaded) LoadPara();
            m_FrmSysTray->ShowBalloonTip(TerminalTitle, "MT4平台已启用", 1, 15000);
            TerminalReady = true;
            m_FrmSysTray->TaskToolTip(kTitle + "\r\n" + TerminalTitle);
            trace("terminal found: " + TerminalTitle);
        }
        // The time-out is skipped on a restart that succeeded and while the terminal is closed.
        const bool timeoutLogic = read || (restarted && closed);
        if (timeoutLogic) {
            serverTime = t.MT4Time();
            timeoutStep(serverTime);
        }

        const std::string stale = StaleText(staleSeconds_);
        std::string displayTime;
        if (const auto st = timeOf(serverTime)) {
            const forms::DateTime shown = *st + 5.0 / 24.0;
            displayTime = twoDigits(forms::Hour(shown)) + ":" + twoDigits(forms::Minute(shown)) + ":" +
                          twoDigits(forms::Second(shown));
        }
        if (TerminalLoading) timeoutAlarm_ = false;
        if (timeoutAlarm_ && TimeoutVoice && TimeoutSeconds > 0 &&
            (staleSeconds_ % (TimeoutSeconds + 10) == 0 || staleSeconds_ == TimeoutSeconds)) {
            const std::string text = "报价超时" + stale;
            forms::ResumeNext([&] { speakAsync(text); });
        }
        if (read && Trace) {
            std::string line = "quotes read: " + std::to_string(Quotes.Count()) + " symbols, server time " +
                               (serverTime.empty() ? "-" : serverTime);
            int shown = 0;
            for (const auto& q : Quotes) {
                if (shown++ == 3) break;
                line += "  " + q->SymBol() + " " + q->BID() + "/" + q->ASK();
            }
            trace(line);
        }

        updatePanels(closed, stale, displayTime);
    }

    if (TimerState != kRun) {
        if (TimerState == kStop && m_PriceTimer) m_PriceTimer->Interval(0);
        TimerState = kAcknowledged;
    }
}

// The time-out alarm on this tick's server time (cleared when it is not a time): a time that
// moved resets the count; one that stands still counts up to the alarm and repeats its sound.
void frmMain::timeoutStep(std::string& serverTime) {
    const auto now = timeOf(serverTime);
    auto last = timeOf(LastServerTime);
    if (!last) {
        LastServerTime = serverTime;
        last = now;
    }
    long difference = 0;
    if (now) {
        if (last) difference = forms::DateDiff("s", *last, *now);
    } else {
        serverTime.clear();  // not a time: as if unknown
    }
    if (TimeoutSeconds < 1) {
        if (difference > 0) {
            TerminalLoading = false;
            LastServerTime = serverTime;
            timeoutAlarm_ = false;
            staleSeconds_ = 0;
            if (TimeoutSound) timeoutPlayer_.reset();
        }
    } else {
        if (difference == 0) {
            staleSeconds_++;
        } else {
            staleSeconds_ = 0;
            timeoutAlarm_ = false;
            TerminalLoading = false;
            // Counting from this change, not from the next tick's time.
            LastServerTime = serverTime;
        }
        if (staleSeconds_ >= TimeoutSeconds && !TerminalLoading) {
            const bool due = staleSeconds_ % (TimeoutSeconds + 10) == 0 || staleSeconds_ == TimeoutSeconds;
            if (TimeoutSound) {
                if (!timeoutPlayer_) {
                    timeoutPlayer_ = std::make_unique<PlayMediaCls>();
                    std::string file;
                    forms::ResumeNext([&] { file = Config().GetNodeAttrib("Settings/Timeout", "SoundFile"); });
                    timeoutPlayer_->OpenMedia(AppDir + "Sound\\" + file);
                }
                if (due) timeoutPlayer_->Play();
            }
            if (!timeoutAlarm_) trace("quotes timed out");
            timeoutAlarm_ = true;
        }
    }
}

bool frmMain::writePrice(FloatPanel& p, cls_Quote& rec, bool opening) {
    const std::string bid = rec.BID(), ask = rec.ASK();
    int32_t h = 0, b = 0, askH = 0, askB = 0;
    bool f = false, askF = false;
    PriceDigits(bid, h, b, f);
    // The ask is split by its own length: across a power of ten it has one digit more.
    PriceDigits(ask, askH, askB, askF);
    forms::ResumeNext([&] { p.HeadBid(forms::Left(bid, h)); });
    forms::ResumeNext([&] { p.HeadASK(forms::Left(ask, askH)); });
    forms::ResumeNext([&] { p.BID(forms::Mid(bid, b, 2)); });
    forms::ResumeNext([&] { p.ASK(forms::Mid(ask, askB, 2)); });
    forms::ResumeNext([&] { p.Price(PriceCell(rec.Price())); });
    forms::ResumeNext([&] { p.iSUB(f, opening); });
    forms::ResumeNext([&] { p.iSUBValue(forms::Right(bid, 1), forms::Right(ask, 1)); });
    forms::ResumeNext([&] { p.UpdatePrice(opening); });
    return f;
}

void frmMain::updatePanels(bool closed, const std::string& stale, const std::string& displayTime) {
    if (QuoteBoardOpen) {
        if (QuoteBoard* board = QuoteBoardForm()) {
            forms::ResumeNext([&] { board->setCaption(board->BaseCaption() + " " + displayTime); });
            forms::ResumeNext([&] { board->MT4Loading(TerminalLoading); });
            forms::ResumeNext([&] {
                board->MT4Close(closed);
                if (!closed) {
                    board->TimeOut(timeoutAlarm_);
                    board->Time("-" + stale + "-");
                    board->UpdateQuote(0);
                }
            });
        }
    }
    if (FloatForms.Count() == 0) return;
    if (WindowTopMost) {
        forms::ResumeNext([&] {
            const std::string fg = mt4().GetEXE(win::GetForegroundWindow());
            if (!sys::iequals(fg, ExePath)) SetTopMost(hWnd());
        });
    }

    // A panel that unloads leaves FloatForms while we walk it.
    std::vector<std::shared_ptr<FloatPanel>> panels;
    for (const auto& p : FloatForms) panels.push_back(p);
    for (const auto& p : panels) {
        forms::ResumeNext([&] { p->MT4Loading(TerminalLoading); });
        if (closed) {
            forms::ResumeNext([&] { p->setCaption(p->BaseCaption()); });
            forms::ResumeNext([&] { p->MT4Close(true); });
            continue;
        }
        forms::ResumeNext([&] { p->MT4Close(false); });
        std::shared_ptr<cls_Quote> rec;
        forms::ResumeNext([&] {
            if (auto* found = Quotes.Find(p->ID())) rec = *found;
        });
        if (!rec) {
            // Its symbol left the terminal's list.
            std::string id;
            forms::ResumeNext([&] { id = p->ID(); });
            trace("panel closed: " + id);
            forms::ResumeNext([&] { p->Unload(); });
            forms::ResumeNext([&] {
                if (auto* still = FloatForms.Find(id); still && *still == p) FloatForms.Remove(id);
            });
            continue;
        }
        const bool f = writePrice(*p, *rec, false);
        forms::ResumeNext([&] {
            if (!p->Border()) return;
            std::string shown = displayTime;
            if (!rec->Time().empty()) {
                const auto t = timeOf(rec->Time());
                if (!t) return;
                shown = twoDigits(forms::Hour(*t)) + ":" + twoDigits(forms::Minute(*t));
            }
            p->setCaption(p->BaseCaption() + shown);
        });
        forms::ResumeNext([&] { p->TimeOut(timeoutAlarm_); });
        forms::ResumeNext([&] { p->Time("-" + stale + "-"); });
        forms::ResumeNext([&] { p->Max_Min(rec->Max(), rec->Min()); });
        forms::ResumeNext([&] {
            if (!rec->VoiceEnable() || TerminalLoading) return;
            int32_t movement = 0, kind = 0;
            if (!rec->VoiceStatus(movement, kind, f)) return;
            const std::string text = QuoteVoiceText(*rec, movement, kind, f);
            speakAsync(text);
        });
    }
}

// Told as "speak:" only when the speech object took the text: a run without a voice says nothing.
void frmMain::speakAsync(const std::string& text) {
    if (!m_Speech) return;
    if (m_Speech->Speak(sys::toUtf16(text).c_str(), win::SVSFlagsAsync, nullptr) >= 0) trace("speak: " + text);
}

// ---- Per-symbol settings ----------------------------------------------------------------------

void frmMain::LoadSymbolPara(const std::string& symbol, int32_t left, int32_t top, int32_t style, int16_t& border,
                             int16_t& voice, int16_t& quickOrder, int16_t& iconEvent) {
    auto* found = Quotes.Find(symbol);
    if (!found || !*found) return;
    std::shared_ptr<cls_Quote> rec = *found;
    // One panel per symbol: a second would never be served by the price loop.
    if (auto* open = FloatForms.Find(symbol)) {
        forms::ResumeNext([&] { (*open)->setVisible(true); });
        return;
    }
    if (!NewFloatPanel) return;
    std::shared_ptr<FloatPanel> p;
    forms::Screen.setMousePointer(forms::vbHourglass);
    forms::ResumeNext([&] {
        if (auto made = preloaded_.find(symbol); made != preloaded_.end()) {
            p = std::move(made->second);
            preloaded_.erase(made);
        } else {
            p = NewFloatPanel();
            if (!p) return;
            p->Load();
        }
        pumpWhile([&] { return p->Busy(); }, kPageWaitMs);
    });
    forms::Screen.setMousePointer(forms::vbDefault);
    if (!p) return;

    cls_Config& c = Config();
    const std::string element = SymbolElementName(symbol);
    forms::ResumeNext([&] { rec->UseAlias(true); });
    forms::ResumeNext([&] {
        if (c.isExist("VoiceQuote", element)) {
            const std::string node = "VoiceQuote/" + element;
            forms::ResumeNext([&] { rec->VoiceDelta(forms::CLng(c.GetNodeAttrib(node, "PIPValue"))); });
            forms::ResumeNext([&] { rec->DeltaFormat(c.GetNodeAttrib(node, "PIPFormat")); });
            forms::ResumeNext([&] { rec->EnableDelta(settingFlag(c.GetNodeAttrib(node, "PIP"))); });
            forms::ResumeNext([&] { rec->VoiceInterval(forms::CLng(c.GetNodeAttrib(node, "IntervalValue"))); });
            forms::ResumeNext([&] { rec->IntervalFormat(c.GetNodeAttrib(node, "IntervalFormat")); });
            forms::ResumeNext([&] { rec->EnableInterval(settingFlag(c.GetNodeAttrib(node, "Interval"))); });
        } else {
            forms::ResumeNext([&] { rec->VoiceDelta(settingInteger<int32_t>(c.GetNodeAttrib("VoiceQuote", "defPIPValue"))); });
            forms::ResumeNext([&] { rec->DeltaFormat(c.GetNodeAttrib("VoiceQuote", "defPIPFormat")); });
            forms::ResumeNext([&] { rec->EnableDelta(settingFlag(c.GetNodeAttrib("VoiceQuote", "defPIP"))); });
            forms::ResumeNext([&] { rec->VoiceInterval(settingInteger<int32_t>(c.GetNodeAttrib("VoiceQuote", "defIntervalValue"))); });
            forms::ResumeNext([&] { rec->IntervalFormat(c.GetNodeAttrib("VoiceQuote", "defIntervalFormat")); });
            forms::ResumeNext([&] { rec->EnableInterval(settingFlag(c.GetNodeAttrib("VoiceQuote", "defInterval"))); });
        }
    });
    forms::ResumeNext([&] {
        const bool own = c.isExist("QuickOrder", element);
        const std::string node = own ? "QuickOrder/" + element : "QuickOrder";
        const std::string pre = own ? "" : "def";
        forms::ResumeNext([&] { p->Confirm(settingFlag(c.GetNodeAttrib(node, pre + "Confirm"))); });
        forms::ResumeNext([&] { p->SL(settingInteger<int16_t>(c.GetNodeAttrib(node, pre + "SL"))); });
        forms::ResumeNext([&] { p->TP(settingInteger<int16_t>(c.GetNodeAttrib(node, pre + "TP"))); });
        forms::ResumeNext([&] { p->Volume(c.GetNodeAttrib(node, pre + "Volume")); });
    });
    static const std::vector<std::pair<std::string, std::string>> kAliases = {
        {"GBPUSD", "英磅"}, {"EURUSD", "欧元"}, {"AUDUSD", "澳元"}, {"USDJPY", "日元"},
        {"GBPJPY", "磅日"}, {"USDCHF", "美瑞"}, {"EURJPY", "欧日"}};
    for (const auto& [sym, alias] : kAliases)
        if (sym == symbol) rec->Alias(alias);
    forms::ResumeNext([&] { rec->VoiceEnable(voice != 0); });
    forms::ResumeNext([&] { rec->PriceMode(static_cast<int16_t>(style)); });
    forms::ResumeNext([&] { p->ID(symbol); });
    forms::ResumeNext([&] { p->SymBol(symbol); });
    forms::ResumeNext([&] { p->Voice(voice != 0); });

    writePrice(*p, *rec, true);
    forms::ResumeNext([&] { p->Mode(style); });
    forms::ResumeNext([&] { p->MT4Loading(TerminalLoading); });
    forms::ResumeNext([&] { p->TimeOut(timeoutAlarm_); });

    const long tpp = sys::Machine::twipsPerPixel;
    if (left != -1) {
        forms::ResumeNext([&] {
            long x = static_cast<long>(left) * tpp;
            if (x < 0) x = 0;
            const long screen = static_cast<long>(win::GetSystemMetrics(78)) * tpp;
            if (x + p->Width() > screen) x = screen - p->Width();
            p->setLeft(x);
        });
    }
    if (top != -1) {
        forms::ResumeNext([&] {
            long y = static_cast<long>(top) * tpp;
            if (y < 0) y = 0;
            const long screen = static_cast<long>(win::GetSystemMetrics(79)) * tpp;
            if (y + p->Height() > screen) y = screen - p->Height();
            p->setTop(y);
        });
    }
    forms::ResumeNext([&] { p->IconEvent(iconEvent); });
    forms::ResumeNext([&] { p->OrderBAR(quickOrder != 0); });
    forms::ResumeNext([&] { p->Border(border != 0); });
    forms::ResumeNext([&] {
        p->Show(forms::vbModeless, this);
        SetTopMost(p->hWnd());
    });
    forms::ResumeNext([&] { FloatForms.Add(p, symbol); });
    trace("panel opened: " + symbol);
}

void frmMain::SaveVoice(const std::string& symbol) {
    try {
        std::shared_ptr<cls_Quote> rec = Quotes.Item(symbol);
        VoiceQuoteDialog* dlg = VoiceQuoteForm;
        if (!rec || !dlg) return;
        rec->VoiceDelta(wholeOr(dlg->VoiceDelta(), rec->VoiceDelta()));
        rec->VoiceInterval(wholeOr(dlg->VoiceInterval(), rec->VoiceInterval()));
        rec->DeltaFormat(dlg->DeltaFormat());
        rec->IntervalFormat(dlg->IntervalFormat());
        rec->EnableDelta(dlg->EnableDelta());
        rec->EnableInterval(dlg->EnableInterval());
        rec->VoiceEnable(dlg->VoiceEnable());
        if (dlg->SETChanged()) {
            cls_Config& c = Config();
            const std::string element = SymbolElementName(symbol);
            if (!c.isExist("VoiceQuote", element)) {
                c.AddVoice(element, rec->EnableDelta(), rec->VoiceDelta(), rec->DeltaFormat(), rec->EnableInterval(),
                           rec->VoiceInterval(), rec->IntervalFormat());
            } else {
                const std::string node = "VoiceQuote/" + element;
                c.SetNodeAttrib(node, "PIP", rec->EnableDelta() ? "1" : "0");
                c.SetNodeAttrib(node, "PIPValue", std::to_string(rec->VoiceDelta()));
                c.SetNodeAttrib(node, "PIPFormat", rec->DeltaFormat());
                c.SetNodeAttrib(node, "Interval", rec->EnableInterval() ? "1" : "0");
                c.SetNodeAttrib(node, "IntervalValue", std::to_string(rec->VoiceInterval()));
                c.SetNodeAttrib(node, "IntervalFormat", rec->IntervalFormat());
            }
        }
        if (auto* p = FloatForms.Find(symbol)) (*p)->Voice(rec->VoiceEnable());
        createSpeech();
    } catch (const std::exception&) {
        // Whatever was done stays; the rest is skipped.
    }
}
