#include "EngineUI.h"

#include "EngineIcons.h"
#include "WindowSystem.h"

#include "platform/speech/SpeechThread.h"
#include "platform/system/Machine.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace voxling {

namespace {

const UiStrings kSimplified{
    "IDD_ENGINEUI_CN",
    {"IDD_ENGINEUI_INFO_CN", "IDD_ENGINEUI_BASICSET_CN", "IDD_ENGINEUI_WORDSET_CN", "IDD_ENGINEUI_NAMESET_CN",
     "IDD_ENGINEUI_NUMBERSET_CN"},
    {"基本信息", "基本设置", "词组设置", "姓氏设置", "数字设置"},
    "提示",
    "警告: 数值大于万亿,不能进行朗读!",
    "还没有收录此词组",
    "你目前使用的中文女声语音库[Yeva]已经损坏,请重新安装后再使用,谢谢.",
    "重新安装",
    "确定",
    "MS Sans Serif",
    "中文女声语音库 Yeva",
};

const UiStrings kEnglish{
    "IDD_ENGINEUI_ENG",
    {"IDD_ENGINEUI_INFO_ENG", "IDD_ENGINEUI_BASICSET_ENG", "IDD_ENGINEUI_WORDSET_ENG", "IDD_ENGINEUI_NAMESET_ENG",
     "IDD_ENGINEUI_NUMBERSET_ENG"},
    {"Information", "Basic Setting", "Word Setting", "LastName Setting", "Number Setting"},
    "Tip",
    "Warning: number is too large to read!",
    "Not find the word",
    "Mandarin Female TTS[Yeva] is destroyed, install again, thanks.",
    "Install again",
    "OK",
    "MS Sans Serif",
    "Mandarin Female TTS Yeva",
};

const UiStrings kTraditional{
    "IDD_ENGINEUI_TW",
    {"IDD_ENGINEUI_INFO_TW", "IDD_ENGINEUI_BASICSET_TW", "IDD_ENGINEUI_WORDSET_TW", "IDD_ENGINEUI_NAMESET_TW",
     "IDD_ENGINEUI_NUMBERSET_TW"},
    {"基本資訊", "基本設置", "片語設置", "姓氏設置", "數字設置"},
    "提示",
    "警告: 數值大於萬億,不能進行朗讀!",
    "還沒有收錄此片語",
    "你目前使用的中文女聲語音庫[Yeva]已經損壞,請重新安裝後再使用,謝謝.",
    "重新安裝",
    "確定",
    "MS Sans Serif",
    "中文女聲語音庫 Yeva",
};

constexpr uint32_t kMbOk = 0;

// First glyph code of each tone-carrying letter; tones 1..4 follow in order.
int toneGlyphBase(char letter) {
    switch (letter) {
    case 'a': return 129;
    case 'e': return 133;
    case 'i': return 137;
    case 'o': return 141;
    case 'u': return 145;
    case 'v': return 149;
    case 'm': return 153;
    case 'n': return 157;
    default: return 0;
    }
}

} // namespace

const UiStrings& UiStringsForLocale(uint32_t lcid) {
    switch (lcid) {
    case 1028:
    case 3076:
    case 4100: return kTraditional;
    case 2052: return kSimplified;
    default: return kEnglish;
    }
}

uint32_t UserDefaultLocale(sys::Machine& machine) {
    const std::string text = machine.setting("user.locale", "2052");
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || v > 0xFFFF) return 2052;
        v = v * 10 + uint32_t(c - '0');
    }
    return text.empty() ? 2052 : v;
}

std::u16string PinyinPreviewText(const PhraseRecord& phrase) {
    std::u16string out;
    const size_t syllables = std::min(phrase.text.size(), phrase.pinyin.size());
    for (size_t k = 0; k < syllables; ++k) {
        const std::string& s = phrase.pinyin[k];
        for (size_t i = 0; i < s.size(); ++i) {
            const int base = toneGlyphBase(s[i]);
            if (base && i + 1 < s.size() && s[i + 1] >= '1' && s[i + 1] <= '4') {
                out.push_back(char16_t(base + (s[i + 1] - '1')));
                ++i;
            } else {
                out.push_back(char16_t(static_cast<unsigned char>(s[i])));
            }
        }
        out.push_back(u' ');
    }
    return out;
}

void CenterWindow(sys::Machine& machine, win::HWND window) {
    const win::WindowSystemCalls* ws = windowSystem(&machine);
    win::RECT r;
    if (!ws || !ws->GetWindowRect(window, &r)) return;
    const int w = r.right - r.left, h = r.bottom - r.top;
    ws->MoveWindow(window, (machine.screenWidth() - w) / 2, (machine.screenHeight() - h) / 2, w, h, win::TRUE);
}

namespace {

using namespace win;

constexpr int kNoticeButton = 1;

struct Notice {
    sys::Machine* machine;
    const WindowSystemCalls* ws;
    const UiStrings* strings;
    HWND owner = 0;
    bool ownerDisabled = false;
    HFONT font = 0;
};

void layoutNotice(const WindowSystemCalls& ws, HWND h) {
    ws.MoveWindow(ws.GetDlgItem(h, 0xFFFF), 16, 8, 448, 12, TRUE);
    ws.MoveWindow(ws.GetDlgItem(h, kNoticeButton), 224, 32, 64, 22, TRUE);
}

LRESULT noticeProc(const std::shared_ptr<Notice>& n, HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    const WindowSystemCalls& ws = *n->ws;
    switch (msg) {
    case WM_CREATE: {
        LOGFONTA lf;
        lf.lfHeight = 12;
        lf.lfWeight = FW_NORMAL;
        std::strncpy(lf.lfFaceName, n->strings->dialogFont, LF_FACESIZE - 1);
        n->font = ws.CreateFontIndirect(&lf);
        const HWND text = ws.CreateWindowEx(0, "Static", n->strings->damagedNotice, WS_CHILD | WS_VISIBLE, 16, 8, 448, 12,
                                            h, 0xFFFF, 0);
        const HWND button = ws.CreateWindowEx(0, "Button", n->strings->buttonText,
                                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 224, 32, 64, 22, h,
                                              kNoticeButton, 0);
        for (HWND c : {text, button}) ws.SendMessage(c, WM_SETFONT, static_cast<WPARAM>(n->font), 0);
        CenterWindow(*n->machine, h);
        return 0;
    }
    case WM_SIZE:
        layoutNotice(ws, h);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kNoticeButton) ws.DestroyWindow(h);
        return 0;
    case WM_DESTROY:
        if (n->ownerDisabled && ws.IsWindow(n->owner)) ws.EnableWindow(n->owner, TRUE);
        n->ownerDisabled = false;
        return 0;
    case WM_NCDESTROY:
        if (n->font) ws.DeleteFont(n->font);
        n->font = 0;
        return ws.DefWindowProc(h, msg, wParam, lParam);
    default:
        return ws.DefWindowProc(h, msg, wParam, lParam);
    }
}

// The notices alive, by window; the one being made is known to its thread until its first message.
std::mutex g_noticesMutex;
std::map<HWND, std::shared_ptr<Notice>> g_notices;
thread_local std::shared_ptr<Notice> t_creating;

LRESULT noticeClassProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Notice> n;
    {
        std::lock_guard lock(g_noticesMutex);
        auto it = g_notices.find(h);
        if (it != g_notices.end()) n = it->second;
        else if (t_creating) n = g_notices[h] = t_creating;
    }
    if (!n) return 0;
    const LRESULT r = noticeProc(n, h, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        std::lock_guard lock(g_noticesMutex);
        g_notices.erase(h);
    }
    return r;
}

HICON loadIcon(const WindowSystemCalls& ws, std::string_view name) {
    const std::string_view png = EngineIconBytes(name);
    return png.empty() ? 0
                       : ws.CreateIconFromResourceEx(reinterpret_cast<const BYTE*>(png.data()),
                                                     static_cast<DWORD>(png.size()), TRUE, 0x00030000, 0, 0, 0);
}

// Makes the notice window over the owner and disables the owner; 0 when it cannot be made.
HWND raiseNotice(sys::Machine& machine, const WindowSystemCalls& ws, const UiStrings& strings, HWND owner) {
    auto n = std::make_shared<Notice>();
    n->machine = &machine;
    n->ws = &ws;
    n->strings = &strings;
    n->owner = owner;
    WNDCLASS wc;
    wc.lpszClassName = kNoticeClass;
    wc.lpfnWndProc = ws.registerWndProc(&noticeClassProc);
    wc.hIcon = loadIcon(ws, "IDI_READ");
    wc.hIconSm = loadIcon(ws, "IDI_AREAD");
    wc.hCursor = ws.LoadCursor(0, IDC_ARROW);
    // Registered once per machine; a later registration is refused and what it made dropped.
    if (!ws.RegisterClass(wc)) {
        ws.releaseWndProc(wc.lpfnWndProc);
        for (HICON icon : {wc.hIcon, wc.hIconSm})
            if (icon) ws.DestroyIcon(icon);
    }
    t_creating = n;
    const HWND h = ws.CreateWindowEx(0, kNoticeClass, strings.noticeTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                     CW_USEDEFAULT, CW_USEDEFAULT, 480, 96, owner, 0, 0);
    t_creating.reset();
    if (!h) return 0;
    layoutNotice(ws, h);
    if (owner && ws.IsWindowEnabled(owner)) {
        ws.EnableWindow(owner, FALSE);
        n->ownerDisabled = true;
    }
    ws.ShowWindow(h, SW_SHOW);
    return h;
}

} // namespace

void ShowDamagedNotice(sys::Machine& machine, const UiStrings& strings) {
    const WindowSystemCalls* ws = windowSystem(&machine);
    if (!ws) {
        speech::speechThreadMessageBox(machine, strings.damagedNotice, strings.noticeTitle, kMbOk);
        return;
    }
    // A speech worker never waits for the user: the window comes up from the program's pump.
    if (speech::onSpeechThread(machine)) {
        sys::Machine* m = &machine;
        const UiStrings* s = &strings;
        machine.post([m, ws, s] { raiseNotice(*m, *ws, *s, ws->GetForegroundWindow()); });
        return;
    }
    const HWND h = raiseNotice(machine, *ws, strings, ws->GetForegroundWindow());
    if (h) ws->runModalWindow(h);
}

} // namespace voxling
