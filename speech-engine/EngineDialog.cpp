#include "EngineDialog.h"

#include "EngineRegistry.h"
#include "PinyinStrip.h"
#include "WindowSystem.h"

#include <array>
#include <cstring>
#include <limits>

namespace voxling {

using namespace win;

namespace {

constexpr DWORD kVisible = WS_VISIBLE;
constexpr int kOtherId = 0xFFFF;  // labels and groups nobody asks for
constexpr int kPageX = 160, kPageWidth = 332, kPageHeight = 150;
// The pages in the order of the string set: info, basic, word, surname, number.
enum Page { Info, Basic, Word, Surname, Number, PageCount };

DLGITEMTEMPLATE item(const char* cls, const std::string& text, int id, DWORD style, int x, int y, int cx, int cy,
                     DWORD ex = 0) {
    DLGITEMTEMPLATE t;
    t.cls = cls;
    t.text = text;
    t.id = id;
    t.style = style | kVisible;
    t.x = x, t.y = y, t.cx = cx, t.cy = cy;
    t.exStyle = ex;
    return t;
}

DLGTEMPLATE pageTemplate(const UiStrings& ui, Page page) {
    DLGTEMPLATE t;
    t.caption = ui.pages[page];
    t.style = WS_CHILD;
    t.x = kPageX, t.y = 0, t.cx = kPageWidth, t.cy = kPageHeight;
    t.font = ui.dialogFont;
    t.fontSize = 9;
    const DWORD combo = CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP;
    switch (page) {
    case Info:
        t.items = {item("Static", ui.voiceTitle, kOtherId, 0, 12, 12, 300, 16),
                   item("Static", "普通话女声语音合成引擎", kOtherId, 0, 12, 36, 300, 16)};
        break;
    case Basic:
        t.items = {item("Button", "标点停顿时间(ms)", dlg::PauseGroup, BS_GROUPBOX, 8, 4, 316, 66),
                   item("Static", "暂停标点:", dlg::ShortLabel, 0, 20, 24, 72, 16),
                   item("ComboBox", "", dlg::ShortCombo, combo, 96, 20, 100, 22),
                   item("Static", "停止标点:", dlg::LongLabel, 0, 20, 46, 72, 16),
                   item("ComboBox", "", dlg::LongCombo, combo, 96, 42, 100, 22),
                   item("Button", "朗读变声效果", kOtherId, BS_GROUPBOX, 8, 74, 316, 42),
                   item("Static", "变声选择:", kOtherId, 0, 20, 92, 72, 16),
                   item("ComboBox", "", dlg::StyleCombo, combo, 96, 88, 100, 22),
                   item("Button", "朗读标点符号", dlg::ReadPunctuation, BS_AUTOCHECKBOX | WS_TABSTOP, 12, 124, 150, 18),
                   item("Button", "按句子朗读", dlg::ReadSentence, BS_AUTOCHECKBOX | WS_TABSTOP, 170, 124, 150, 18)};
        break;
    case Number:
        t.items = {item("Button", "数字读法", dlg::NumberGroup, BS_GROUPBOX, 8, 4, 316, 100),
                   item("Button", "数码读法", dlg::Digits, BS_AUTORADIOBUTTON | WS_TABSTOP, 24, 26, 200, 18),
                   item("Button", "数值读法", dlg::Value, BS_AUTORADIOBUTTON, 24, 50, 200, 18),
                   item("Button", "货币读法", dlg::Money, BS_AUTORADIOBUTTON, 24, 74, 200, 18)};
        break;
    case Surname:
        t.items = {item("Button", "朗读到姓氏时按姓氏读", dlg::Surname, BS_AUTOCHECKBOX | WS_TABSTOP, 16, 16, 300, 18)};
        break;
    case Word: {
        DLGITEMTEMPLATE settings = item("Button", "参数设定", dlg::WordSettings, WS_TABSTOP, 250, 120, 74, 22);
        settings.style &= ~kVisible;
        t.items = {item("Edit", "", dlg::WordEdit, WS_BORDER | WS_TABSTOP, 16, 12, 150, 22, WS_EX_CLIENTEDGE),
                   item("Button", "词组检索", dlg::Search, WS_TABSTOP, 176, 11, 80, 24),
                   item("Static", "", dlg::FoundText, 0, 16, 40, 300, 16),
                   item("Static", "", dlg::Reading, 0, 16, 82, 300, 16),
                   settings};
        break;
    }
    default: break;
    }
    return t;
}

DLGTEMPLATE mainTemplate(const UiStrings& ui) {
    DLGTEMPLATE t;
    t.caption = "语音参数设置";
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.cx = 500, t.cy = 246;
    t.font = ui.dialogFont;
    t.fontSize = 9;
    t.items = {item("Static", "", dlg::VoiceTitle, 0, 166, 156, 326, 16),
               item("Static", "在左侧选择项目,设置朗读参数。", dlg::HelpText, 0, 166, 178, 326, 16),
               item("Static", "访问网站", dlg::WebLink, SS_NOTIFY, 18, 198, 140, 16),
               item("Static", "技术支持", dlg::SupportLink, SS_NOTIFY, 18, 218, 140, 16),
               item("Button", "确定", dlg::OK, BS_DEFPUSHBUTTON | WS_TABSTOP, 330, 212, 75, 24),
               item("Button", "取消", dlg::Cancel, WS_TABSTOP, 415, 212, 75, 24)};
    return t;
}

struct DialogRun {
    sys::Machine& machine;
    const WindowSystemCalls& ws;
    const UiStrings& ui;
    EngineSettings values;
    const PhraseDictionary* phrases;
    HWND dialog = 0, tree = 0;
    std::array<HWND, PageCount> pages{};
    HTREEITEM root = 0;
    std::u16string preview;
    HFONT pinyinFont = 0;

    HWND control(Page page, int id) const { return ws.GetDlgItem(pages[page], id); }
    std::string text(Page page, int id) const { return ws.windowText(control(page, id)); }
    void setText(Page page, int id, const std::string& t) const { ws.SetWindowText(control(page, id), t); }
    bool checked(Page page, int id) const { return ws.SendMessage(control(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void check(Page page, int id, bool on) const {
        ws.SendMessage(control(page, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    HTREEITEM insert(HTREEITEM parent, const char* text, Page page) {
        std::string ansi = sys::toAnsi(text, machine.codePage());
        ansi.push_back('\0');
        Pinned pinnedText(ws, ansi.data(), ansi.size());
        TVINSERTSTRUCT32 ins;
        ins.hParent = parent;
        ins.hInsertAfter = TVI_LAST;
        ins.item.mask = TVIF_TEXT | TVIF_PARAM;
        ins.item.pszText = static_cast<uint32_t>(pinnedText.address());
        ins.item.lParam = page;
        Pinned pinned(ws, &ins, sizeof ins);
        return ws.SendMessage(tree, TVM_INSERTITEMA, 0, pinned.address());
    }

    void showPage(int page) {
        for (int p = 0; p < PageCount; ++p) ws.ShowWindow(pages[p], p == page ? SW_SHOW : SW_HIDE);
    }

    void initDialog() {
        CenterWindow(machine, dialog);
        ws.SetWindowText(ws.GetDlgItem(dialog, dlg::VoiceTitle), ui.voiceTitle);
        LoadEngineSettings(values);
        for (Page p : {Info, Basic, Number, Word, Surname}) {
            pages[p] = ws.CreateDialogIndirectParam(
                pageTemplate(ui, p), dialog,
                [this, p](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) { return pageProc(p, h, msg, wParam, lParam); },
                0);
        }
        tree = ws.CreateWindowEx(WS_EX_CLIENTEDGE, "SysTreeView32", "",
                                 WS_CHILD | WS_VISIBLE | TVS_HASLINES | TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP, 18, 10,
                                 140, 180, dialog, dlg::Tree, 0);
        root = insert(TVI_ROOT, ui.treeItems[Info], Info);
        HTREEITEM basic = 0;
        for (Page p : {Basic, Number, Surname, Word}) {
            const HTREEITEM i = insert(root, ui.treeItems[p], p);
            if (p == Basic) basic = i;
        }
        ws.SendMessage(tree, TVM_EXPAND, TVE_EXPAND, root);
        ws.SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, basic);
        showPage(Basic);
    }

    void notify(LPARAM lParam) {
        size_t n = 0;
        const char* p = ws.pinnedAt(lParam, &n);
        if (!p || n < sizeof(NMTREEVIEW32)) return;
        NMTREEVIEW32 nm;
        std::memcpy(&nm, p, sizeof nm);
        if (nm.hdr.hwndFrom != tree) return;
        if (nm.hdr.code == TVN_SELCHANGEDA && nm.itemNew.lParam >= 0 && nm.itemNew.lParam < PageCount)
            showPage(nm.itemNew.lParam);
        // The root stays open.
        if (nm.hdr.code == TVN_ITEMEXPANDEDA && nm.action == TVE_COLLAPSE && nm.itemNew.hItem == root)
            ws.SendMessage(tree, TVM_EXPAND, TVE_EXPAND, root);
    }

    LRESULT staticColour(HDC dc, HWND control) {
        const LONG id = ws.GetWindowLong(control, GWL_ID);
        if (id != dlg::VoiceTitle && id != dlg::HelpText && id != dlg::WebLink && id != dlg::SupportLink) return 0;
        ws.SetBkMode(dc, TRANSPARENT);
        if (id == dlg::WebLink || id == dlg::SupportLink) ws.SetTextColor(dc, RGB(0, 0, 255));
        return ws.GetSysColorBrush(COLOR_BTNFACE);
    }

    // Where the links lead is the machine's to say; the engine ships no address of its own.
    std::string webPage() const { return machine.setting("voxling.web", "http://localhost/voxling/"); }
    std::string supportAddress() const { return machine.setting("voxling.support", "http://localhost/voxling/support/"); }

    void ok() {
        EngineSettings v = values;
        v.PunctuationShort = TypedNumber(text(Basic, dlg::ShortCombo));
        v.PunctuationLong = TypedNumber(text(Basic, dlg::LongCombo));
        v.VoiceStyle = TypedNumber(text(Basic, dlg::StyleCombo));
        v.ReadPunctuation = checked(Basic, dlg::ReadPunctuation) ? 1 : 0;
        v.ReadSentence = checked(Basic, dlg::ReadSentence) ? 1 : 0;
        if (checked(Number, dlg::Digits)) v.ReadNumber = 0;
        else if (checked(Number, dlg::Value)) v.ReadNumber = 1;
        else if (checked(Number, dlg::Money)) v.ReadNumber = 2;
        v.FirstName = checked(Surname, dlg::Surname) ? 1 : 0;
        v.clamp();
        values = v;
        SaveEngineSettings(values);
    }

    BOOL mainProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
        switch (msg) {
        case WM_INITDIALOG:
            dialog = h;
            initDialog();
            return TRUE;
        case WM_NOTIFY:
            notify(lParam);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return staticColour(static_cast<HDC>(wParam), static_cast<HWND>(lParam));
        case WM_SETCURSOR: {
            const HWND under = static_cast<HWND>(wParam);
            if (under != ws.GetDlgItem(h, dlg::WebLink) && under != ws.GetDlgItem(h, dlg::SupportLink)) return FALSE;
            ws.SetCursor(ws.LoadCursor(0, IDC_HAND));
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
            case dlg::OK:
                ok();
                ws.EndDialog(h, IDOK);
                return TRUE;
            case dlg::Cancel:
            case IDCANCEL:
                ws.EndDialog(h, IDCANCEL);
                return TRUE;
            case dlg::WebLink:
            case dlg::SupportLink:
                if (HIWORD(wParam) != STN_CLICKED) return FALSE;
                ws.ShellExecute(h, "open", LOWORD(wParam) == dlg::WebLink ? webPage() : supportAddress(), "", "",
                                SW_SHOWNORMAL);
                return TRUE;
            default: return FALSE;
            }
        default: return FALSE;
        }
    }

    void initPage(Page page) {
        auto fill = [&](int id, std::initializer_list<const char*> list, int32_t value) {
            const HWND combo = control(page, id);
            for (const char* s : list) sendText(ws, machine, combo, CB_ADDSTRING, 0, s);
            ws.SetWindowText(combo, std::to_string(value));
        };
        switch (page) {
        case Basic:
            fill(dlg::ShortCombo, {"1000", "2000", "5000", "10000", "15000", "20000", "25000", "30000"},
                 values.PunctuationShort);
            fill(dlg::LongCombo, {"5000", "10000", "20000", "35000", "40000", "45000", "50000", "55000"},
                 values.PunctuationLong);
            fill(dlg::StyleCombo, {"-3", "-2", "-1", "0", "1"}, values.VoiceStyle);
            if (values.ReadPunctuation == 0 || values.ReadPunctuation == 1) check(Basic, dlg::ReadPunctuation, values.ReadPunctuation);
            if (values.ReadSentence == 0 || values.ReadSentence == 1) check(Basic, dlg::ReadSentence, values.ReadSentence);
            break;
        case Number:
            if (values.ReadNumber >= 0 && values.ReadNumber <= 2) {
                const int ids[] = {dlg::Digits, dlg::Value, dlg::Money};
                check(Number, ids[values.ReadNumber], true);
            }
            break;
        case Surname:
            check(Surname, dlg::Surname, values.FirstName == 1);
            break;
        case Word:
            ws.SendMessage(control(Word, dlg::WordEdit), EM_LIMITTEXT, 8, 0);
            break;
        default: break;
        }
    }

    void search() {
        std::u16string typed = sys::toUtf16(text(Word, dlg::WordEdit));
        if (typed.size() > 8) typed.resize(8);
        PhraseDictionary dictionary = phrases ? *phrases : PhraseDictionary{};
        dictionary.clearCurrentPhrase();
        const int covered = phrases && !typed.empty() ? dictionary.LookupPhrase(typed) : 1;
        setText(Word, dlg::WordEdit, "");
        if (covered >= 2) {
            const PhraseRecord& rec = dictionary.currentPhrase();
            setText(Word, dlg::FoundText, sys::fromUtf16(rec.text));
            preview = PinyinPreviewText(rec);
            setText(Word, dlg::Reading, sys::fromUtf16(rec.reading));
        } else {
            preview.clear();
            setText(Word, dlg::FoundText, ui.phraseNotFound);
            setText(Word, dlg::Reading, "");
        }
        ws.InvalidateRect(pages[Word], nullptr, TRUE);
    }

    void paintPreview(HWND h) {
        PAINTSTRUCT ps;
        const HDC dc = ws.BeginPaint(h, &ps);
        if (!dc) return;
        RECT band{30, 60, kPageWidth, 75};
        ws.FillRect(dc, &band, ws.GetSysColorBrush(COLOR_BTNFACE));
        if (!preview.empty()) {
            if (!pinyinFont) {
                LOGFONTA lf;
                lf.lfHeight = 14;
                lf.lfWeight = FW_NORMAL;
                std::strncpy(lf.lfFaceName, "Kingsoft Phonetic Plain", LF_FACESIZE - 1);
                pinyinFont = ws.CreateFontIndirect(&lf);
            }
            ws.SetBkMode(dc, TRANSPARENT);
            ws.SelectFont(dc, pinyinFont);
            ws.SetTextColor(dc, RGB(128, 0, 128));
            ws.DrawText(dc, PinyinDisplayText(preview), &band, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        }
        ws.EndPaint(h, &ps);
    }

    BOOL pageProc(Page page, HWND h, UINT msg, WPARAM wParam, LPARAM) {
        switch (msg) {
        case WM_INITDIALOG:
            pages[page] = h;
            initPage(page);
            return TRUE;
        case WM_COMMAND:
            if (page == Word && LOWORD(wParam) == dlg::Search && HIWORD(wParam) == BN_CLICKED) {
                search();
                return TRUE;
            }
            return FALSE;
        case WM_PAINT:
            if (page != Word) return FALSE;
            paintPreview(h);
            return TRUE;
        default: return FALSE;
        }
    }
};

} // namespace

int32_t TypedNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = std::min<int64_t>(v * 10 + (text[i] - '0'), int64_t(std::numeric_limits<int32_t>::max()) + 1);
    v = negative ? -v : v;
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

bool RunSettingsDialog(sys::Machine& machine, const UiStrings& ui, HWND parent, EngineSettings& held,
                       const PhraseDictionary* phrases) {
    const WindowSystemCalls* ws = windowSystem(&machine);
    if (!ws) return false;
    DialogRun run{machine, *ws, ui, held, phrases, 0, 0, {}, 0, {}, 0};
    const int result = ws->DialogBoxIndirectParam(
        mainTemplate(ui), parent,
        [&run](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) { return run.mainProc(h, msg, wParam, lParam); }, 0);
    if (run.pinyinFont) ws->DeleteFont(run.pinyinFont);
    if (result != IDOK) return false;
    held = run.values;
    return true;
}

} // namespace voxling
