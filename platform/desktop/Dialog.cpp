// Dialog boxes from templates and the scripted modal loop.
#include "Dialog.h"

#include "DesktopState.h"
#include "Input.h"
#include "MessageBox.h"
#include "Message.h"
#include "Screen.h"

#include <deque>
#include <map>

namespace win {

namespace {

struct DialogEntry {
    DLGPROC proc;
    bool modal = false;
    bool ended = false;
    int result = 0;
};

struct DialogState {
    std::map<HWND, DialogEntry> dialogs;
    std::deque<std::function<void(HWND)>> scripts;
    std::vector<ModalRecord> records;
};
DialogState& dlgState() { return sys::Machine::current().service<DialogState>(); }

DialogEntry* entryOf(HWND h) {
    auto& d = dlgState().dialogs;
    auto it = d.find(h);
    return it == d.end() ? nullptr : &it->second;
}

LRESULT dialogProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCDESTROY) {
        dlgState().dialogs.erase(h);
        return DefWindowProc(h, msg, wParam, lParam);
    }
    DialogEntry* e = entryOf(h);
    if (e && e->proc) {
        // The procedure may end or destroy the dialog; copy it so it outlives its entry.
        const DLGPROC proc = e->proc;
        // A handled message answers 0, except those whose answer is the procedure's own (a
        // cursor the procedure chose must stop the control's own choice).
        if (const BOOL r = proc(h, msg, wParam, lParam))
            return msg == WM_CTLCOLORSTATIC || msg == WM_INITDIALOG || msg == WM_SETCURSOR ? r : 0;
    }
    switch (msg) {
    case WM_CLOSE:
        SendMessage(h, WM_COMMAND, static_cast<WPARAM>(IDCANCEL), 0);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) SendMessage(h, WM_COMMAND, static_cast<WPARAM>(IDCANCEL), 0);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL && (e = entryOf(h)) && e->modal) EndDialog(h, IDCANCEL);
        return 0;
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

HWND createDialog(const DLGTEMPLATE& t, HWND parent, DLGPROC proc, LPARAM param, bool modal) {
    const bool child = (t.style & WS_CHILD) != 0;
    DWORD style = t.style & ~WS_VISIBLE;
    if (!child) style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD ex = t.exStyle | (child ? WS_EX_CONTROLPARENT : WS_EX_DLGMODALFRAME);
    const RECT f = frameOf(style, ex);
    const int w = t.cx + f.left + f.right, h = t.cy + f.top + f.bottom;
    int x = t.x, y = t.y;
    if (!child && (t.style & DS_CENTER)) {
        const sys::Rect wa = sys::Machine::current().workArea();
        x = wa.left + (wa.width() - w) / 2;
        y = wa.top + (wa.height() - h) / 2;
    }
    const HWND dlg = CreateWindowEx(ex, "#32770", t.caption, style, x, y, w, h, parent);
    if (!dlg) return 0;
    DialogEntry e;
    e.proc = std::move(proc);
    e.modal = modal;
    dlgState().dialogs[dlg] = std::move(e);
    SetWindowLong(dlg, GWL_WNDPROC, wndProcOf(&dialogProc));
    for (const auto& item : t.items) {
        CreateWindowEx(item.exStyle, item.cls, item.text, item.style | WS_CHILD, item.x, item.y, item.cx,
                       item.cy, dlg, static_cast<HMENU>(item.id));
    }
    SendMessage(dlg, WM_INITDIALOG, 0, param);
    return IsWindow(dlg) ? dlg : 0;
}

// The loop of every modal window: the user's scripted actions, then the posted work they left;
// a window still open after that falls to the policy.
void modalLoop(HWND h, const std::function<bool()>& ended, const std::function<void()>& takeDefault) {
    auto& d = dlgState();
    d.records.push_back({h, className(h), windowText(h), GetWindow(h, GW_OWNER)});
    if (!d.scripts.empty()) {
        auto script = std::move(d.scripts.front());
        d.scripts.pop_front();
        script(h);
    }
    for (int round = 0; round < 16 && !ended(); ++round) DoEvents();
    if (ended()) return;
    if (unansweredModal() == UnansweredModal::Fail)
        throw UnansweredModalError("unanswered modal window \"" + windowText(h) + "\" (" + className(h) + ")");
    takeDefault();
    for (int round = 0; round < 16 && !ended(); ++round) DoEvents();
    if (!ended()) DestroyWindow(h);
}

} // namespace

HWND CreateDialogIndirectParam(const DLGTEMPLATE& tmpl, HWND parent, DLGPROC proc, LPARAM param) {
    const HWND dlg = createDialog(tmpl, parent, std::move(proc), param, false);
    if (dlg && (tmpl.style & WS_VISIBLE)) ShowWindow(dlg, SW_SHOWNA);
    return dlg;
}

int DialogBoxIndirectParam(const DLGTEMPLATE& tmpl, HWND owner, DLGPROC proc, LPARAM param) {
    DLGTEMPLATE t = tmpl;
    t.style &= ~WS_CHILD;
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    struct Restore {
        HWND owner;
        bool enable;
        HWND dlg = 0;
        ~Restore() {
            if (dlg && IsWindow(dlg)) DestroyWindow(dlg);
            if (enable && IsWindow(owner)) EnableWindow(owner, TRUE);
        }
    } restore{owner, ownerWasEnabled};
    const HWND dlg = createDialog(t, owner, std::move(proc), param, true);
    if (!dlg) return -1;
    restore.dlg = dlg;
    // A procedure may end the dialog while it initialises.
    if (DialogEntry* e = entryOf(dlg); e && e->ended) return e->result;
    ShowWindow(dlg, SW_SHOW);
    int result = IDCANCEL;
    auto ended = [&] {
        DialogEntry* e = entryOf(dlg);
        if (e && e->ended) result = e->result;
        return !e || e->ended;
    };
    modalLoop(dlg, ended, [&] { SendMessage(dlg, WM_COMMAND, static_cast<WPARAM>(IDCANCEL), 0); });
    ended();
    return result;
}

BOOL EndDialog(HWND dialog, int result) {
    DialogEntry* e = entryOf(dialog);
    if (!e) return FALSE;
    e->ended = true;
    e->result = result;
    // Hidden at once, destroyed when its loop ends; a modeless one goes now.
    if (e->modal) ShowWindow(dialog, SW_HIDE);
    else DestroyWindow(dialog);
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    for (HWND k = GetWindow(dialog, GW_CHILD); k; k = GetWindow(k, GW_HWNDNEXT))
        if (GetWindowLong(k, GWL_ID) == id) return k;
    return 0;
}

int GetDlgCtrlID(HWND control) { return GetWindowLong(control, GWL_ID); }

BOOL SetDlgItemText(HWND dialog, int id, const std::string& text) {
    const HWND h = GetDlgItem(dialog, id);
    return h ? SetWindowText(h, text) : FALSE;
}

std::string dlgItemText(HWND dialog, int id) {
    const HWND h = GetDlgItem(dialog, id);
    return h ? windowText(h) : std::string();
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    const HWND h = GetDlgItem(dialog, id);
    if (!h) return FALSE;
    SendMessage(h, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    const HWND h = GetDlgItem(dialog, id);
    return h ? static_cast<UINT>(SendMessage(h, BM_GETCHECK, 0, 0)) : 0;
}

void runModalWindow(HWND window) {
    if (!IsWindow(window)) return;
    modalLoop(window, [window] { return !IsWindow(window); }, [window] { SendMessage(window, WM_CLOSE, 0, 0); });
}

void queueModalScript(std::function<void(HWND)> script) { dlgState().scripts.push_back(std::move(script)); }
size_t queuedModalScripts() { return dlgState().scripts.size(); }
std::vector<ModalRecord> modalWindows() { return dlgState().records; }

} // namespace win
