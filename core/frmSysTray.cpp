#include "frmSysTray.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Tray.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "toolkit/MSubclass.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cstring>

namespace {

// The record as the newest shells take it: the ANSI fields plus the item's GUID, so the 504
// bytes the size claims exist.
struct ShellRecord {
    win::NOTIFYICONDATA data;
    uint8_t guidItem[16] = {};
};
static_assert(sizeof(win::NOTIFYICONDATA) == 488);
static_assert(sizeof(ShellRecord) == 504);

// The shell library's major file version, or -1 when it cannot be read. Our machine keeps it as
// the setting "shell32.version" ("6.0.2900.5512"); unset, the shell is a current one.
int shellMajorVersion() {
    const std::string v = sys::Machine::current().setting("shell32.version", "6.0.2900.5512");
    int major = 0;
    size_t i = 0;
    for (; i < v.size() && i < 5 && v[i] >= '0' && v[i] <= '9'; ++i) major = major * 10 + (v[i] - '0');
    if (i == 0 || (i < v.size() && v[i] != '.')) return -1;
    return major;
}

// A fixed text field: the text in the machine's code page, cut to leave room for its NUL
// without splitting a character, zero-filled to the end.
template <size_t N>
void putText(char (&field)[N], const std::string& utf8) {
    const int cp = sys::Machine::current().codePage();
    const std::string ansi = sys::truncateAnsi(sys::toAnsi(utf8, cp), N - 1, cp);
    std::memset(field, 0, N);
    std::memcpy(field, ansi.data(), ansi.size());
}

} // namespace

frmSysTray::frmSysTray() : Form("frmSysTray") {
    design.caption = m_Main::kTitle;
    design.showInTaskbar = false;
    buildMenus();
}

frmSysTray::~frmSysTray() {
    if (!sys::Machine::currentOrNull()) return;
    // The balloon timer's handler points here: it must not outlive the window.
    stopBalloonTimer();
    if (IsLoaded()) {
        ShellTrayIconRemove();
        unhook();
    }
}

void frmSysTray::buildMenus() {
    auto& root = Menus();
    auto key = [this](const std::string& k) { return [this, k](int) { raiseMenuClick(k); }; };
    auto& popup = root.add("mnuPopup", "&Popup");
    popup.add("mSettings", "配置选项(&S)...").Click = key("Settings");
    popup.add("Separator1", "-");
    auto& fl = popup.add("mFloat", "漂浮报价(&D)");
    fl.add("mnuFloat", "", 0).Click = [this](int i) { raiseMenuClick("Symbol_" + menu("mnuFloat", i).Tag); };
    fl.add("Separator6", "-");
    fl.add("mHideFloat", "隐藏所有漂浮窗口(&W)").Click = key("HideFloat");
    popup.add("mFXQuote", "实时报价(&Q)...").Click = key("FXQuote");
    popup.add("Separator2", "-");
    auto& multi = popup.add("mMultiMT4", "切换MT4平台(&V)");
    multi.add("mnuMulti", "", 0).Click = [this](int i) {
        raiseMenuClick("MT4_" + menu("mnuMulti", i).Tag + "|" + std::to_string(i));
    };
    popup.add("mTerminal", "弹出MT4终端(&R)").Click = key("Terminal");
    popup.add("mHideMT4", "隐藏MT4界面(&F)").Click = key("HideMT4");
    auto& script = popup.add("mScript", "执行MT4脚本(&E)");
    auto& s0 = script.add("mnuScript", "-", 0);
    s0.Visible = false;
    s0.Click = [this](int i) { raiseMenuClick("Script_" + std::to_string(i)); };
    script.add("mnuInsScript", "安装MT4脚本(&C)...").Click = key("InsScript");
    popup.add("Separator5", "-");
    popup.add("mHS", "Corvel服务(&T)").Click = key("Brisk");
    popup.add("mFXNews", "即时市况速递(&G)...").Click = key("FXNews");
    popup.add("Separator3", "-");
    popup.add("mAbout", "关于(&A)...").Click = key("About");
    popup.add("Separator4", "-");
    popup.add("mExit", "退出(&X)").Click = key("Exit");
}

void frmSysTray::raiseMenuClick(const std::string& key) {
    if (MenuClick) MenuClick(key);
}

int32_t frmSysTray::recordSize() {
    if (recordSize_ == 0) {
        const int major = shellMajorVersion();
        recordSize_ = major >= 6 ? 504 : major == 5 ? 488 : 88;
    }
    return recordSize_;
}

namespace {

ShellRecord record(int32_t size, win::HWND hwnd, win::UINT flags) {
    ShellRecord r;
    r.data.cbSize = static_cast<win::DWORD>(size);
    r.data.hWnd = hwnd;
    r.data.uID = frmSysTray::kIconId;
    r.data.uFlags = flags;
    return r;
}

} // namespace

void frmSysTray::Form_Load() {
    ShellRecord r = record(recordSize(), hWnd(), win::NIF_MESSAGE | win::NIF_ICON | win::NIF_TIP);
    r.data.uCallbackMessage = kCallbackMessage;
    r.data.hIcon = kProgramIcon;
    putText(r.data.szTip, m_Main::kTitle);
    r.data.uTimeout = win::NOTIFYICON_VERSION;
    if (win::Shell_NotifyIcon(win::NIM_ADD, &r.data) == 1) {
        win::Shell_NotifyIcon(win::NIM_SETVERSION, &r.data);
        MSubclass::HookMessage(&sink_, hWnd(), kCallbackMessage);
        hookedWindow_ = hWnd();
        msgResponse_ = 2;
        hooked_ = true;
    }
    // The plain captions, for rebuilding them with hot keys or counts behind them.
    for (const char* name : {"mHideMT4", "mTerminal", "mHideFloat", "mFloat", "mFXQuote", "mFXNews", "mSettings"}) {
        auto& m = menu(name);
        m.Tag = m.Caption;
    }
}

void frmSysTray::Form_Unload(int& Cancel) {
    (void)Cancel;
    ShellTrayIconRemove();
    unhook();
}

void frmSysTray::unhook() {
    if (!hooked_) return;
    MSubclass::UnhookMessage(&sink_, hookedWindow_, kCallbackMessage);
    hooked_ = false;
    hookedWindow_ = 0;
}

void frmSysTray::stopBalloonTimer() {
    if (!mBalloonTimer) return;
    auto timer = std::move(mBalloonTimer);
    timer->ThatTime = nullptr;
    timer->Interval(0);
}

void frmSysTray::ShowBalloonTip(const std::string& text, const std::string& title, int32_t flags, int32_t timeoutMs) {
    balloonTimeout_ = timeoutMs;
    ShellRecord r = record(recordSize(), hWnd(), win::NIF_INFO);
    putText(r.data.szInfo, text);
    putText(r.data.szInfoTitle, title);
    r.data.uTimeout = static_cast<win::UINT>(timeoutMs);
    r.data.dwInfoFlags = static_cast<win::DWORD>(flags);
    if (win::Shell_NotifyIcon(win::NIM_MODIFY, &r.data) && !text.empty()) m_Main::tell("balloon: " + title + " / " + text);
}

void frmSysTray::ShellTrayIconRemove() {
    // Whether or not it has fired: a running balloon timer would tick on into a gone window.
    stopBalloonTimer();
    ShellRecord r = record(recordSize(), hWnd(), 0);
    win::Shell_NotifyIcon(win::NIM_DELETE, &r.data);
}

void frmSysTray::CloseBalloonTip() {
    ShellRecord r = record(recordSize(), hWnd(), win::NIF_INFO);
    win::Shell_NotifyIcon(win::NIM_MODIFY, &r.data);
}

void frmSysTray::TaskToolTip(const std::string& text) {
    ShellRecord r = record(recordSize(), hWnd(), win::NIF_TIP);
    putText(r.data.szTip, text);
    win::Shell_NotifyIcon(win::NIM_MODIFY, &r.data);
}

void frmSysTray::IconHandle(int32_t icon) {
    ShellRecord r = record(recordSize(), hWnd(), win::NIF_ICON);
    r.data.hIcon = icon;
    win::Shell_NotifyIcon(win::NIM_MODIFY, &r.data);
}

void frmSysTray::appendElement(const std::string& arrayName, const std::string& caption, const std::string& tag,
                               const bool* checked) {
    const std::vector<int> indices = menu(arrayName, 0).arrayIndices();
    const int index = *std::max_element(indices.begin(), indices.end()) + 1;
    auto& m = menu(arrayName, 0).loadElement(index);
    m.Visible = true;
    m.Tag = tag;
    m.Caption = caption;
    if (checked) m.Checked = *checked;
}

void frmSysTray::AddFloat(const std::string& caption, const std::string& tag, bool checked) {
    appendElement("mnuFloat", caption, tag, &checked);
}

void frmSysTray::AddMultiMt4(const std::string& caption, const std::string& tag, bool checked) {
    appendElement("mnuMulti", caption, tag, &checked);
}

void frmSysTray::AddScript(const std::string& caption, const std::string& tag) {
    appendElement("mnuScript", caption, tag, nullptr);
}

void frmSysTray::ShowMenu() {
    win::SetForegroundWindow(hWnd());
    PopupMenu(menu("mnuPopup"), forms::vbPopupMenuLeftAlign);
}

win::LRESULT frmSysTray::ISubclass_WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    if (hwnd != hookedWindow_ || msg != kCallbackMessage) return MSubclass::CallPrevWndProc(hwnd, msg, wParam, lParam);
    auto raise = [](const std::function<void()>& e) { forms::ResumeNext([&] { if (e) e(); }); };
    auto raiseButton = [](const std::function<void(int32_t)>& e, int32_t button) {
        forms::ResumeNext([&] { if (e) e(button); });
    };
    switch (lParam) {
    case win::WM_MOUSEMOVE: raise(SysTrayMouseMove); break;
    case win::WM_LBUTTONUP: raiseButton(SysTrayMouseDown, 1); break;  // the left button acts on release
    case win::WM_LBUTTONDBLCLK: raiseButton(SysTrayDoubleClick, 1); break;
    case win::WM_RBUTTONDOWN: raiseButton(SysTrayMouseDown, 2); break;
    case win::WM_RBUTTONUP: raiseButton(SysTrayMouseUp, 2); break;
    case win::WM_RBUTTONDBLCLK: raiseButton(SysTrayDoubleClick, 2); break;
    case win::NIN_BALLOONSHOW:
        forms::ResumeNext([&] {
            // The previous balloon's timer is stopped, not just let go: the table would keep
            // it ticking.
            stopBalloonTimer();
            mBalloonTimer = CTimer::create();
            mBalloonTimer->ThatTime = [this] { mBalloonTimer_ThatTime(); };
            balloonExpired_ = false;
            mBalloonTimer->Interval(balloonTimeout_);
        });
        raise(BalloonShow);
        break;
    case win::NIN_BALLOONHIDE: raise(BalloonHide); break;
    case win::NIN_BALLOONTIMEOUT: raise(BalloonTimeOut); break;
    case win::NIN_BALLOONUSERCLICK: raise(BalloonClicked); break;
    default: break;
    }
    return 0;
}

void frmSysTray::mBalloonTimer_ThatTime() {
    if (balloonExpired_) return;
    balloonExpired_ = true;
    if (mBalloonTimer) mBalloonTimer->Interval(0);
    CloseBalloonTip();
}
