// The notice page's links and menus: a clicked link opens in the news viewer, the page opens no
// browser windows of its own, the "more" button's menu of tabs and options, and the context
// menu that copies rows, reminds of a day's events, switches the taskbar button and closes.
#include "frmFXNotify.h"

#include "InertHtml.h"
#include "core/Program.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "toolkit/cls_Config.h"
#include "toolkit/cls_PopupMenu.h"

#include <nlohmann/json.hpp>

namespace {

constexpr int32_t kSeparator = 2048;
constexpr int32_t kSeparatorId = 5;
constexpr int32_t kChecked = 8;

constexpr int32_t kCopyRow = 1;
constexpr int32_t kCopyAll = 2;
constexpr int32_t kRemindAll = 3;
constexpr int32_t kClose = 100;
constexpr int32_t kCalendarTab = 600;
constexpr int32_t kTaskbar = 800;

struct Tab {
    const char* id;
    int32_t command;
    const char* caption;
};
constexpr Tab kNewsTabs[] = {
    {"iAllFX", 500, "全部资讯"},
    {"iFX168", 501, "FX168汇市信息"},
    {"iDailyfx", 502, "DailyFX财经市况"},
    {"iCaiXun", 503, "CaiXun汇市动态"},
};
constexpr Tab kChannelTabs[] = {
    {"iStrategy", 504, "策略服务"},
    {"iVip", 505, "Vip服务"},
    {"iNotice", 506, "Kestrel公告"},
};

// Notes, as each happens, what a click and a right click of the page were made on: the window's
// handlers run later, from the pump, when focus or the row under the mouse may have moved on,
// and several clicks may have come meanwhile; each handler takes the oldest note of its kind.
// The kind is the news or calendar table the element lies in; the row is its index in that
// table (0 for the header or no row).
constexpr const char* kClickRecorder = R"JS(
(function () {
    if (window.__pnClicks) return;
    var rec = window.__pnClicks = { click: [], menu: [] };
    function note(name) {
        return function (ev) {
            var t = ev.target;
            if (t && !(t instanceof Element)) t = t.parentElement;
            var link = null, kind = '', table = null;
            for (var x = t; x && x.tagName != 'BODY'; x = x.parentElement) {
                if (!link && x.tagName == 'A') link = x;
                if (x.id === 'iTable' || x.id === 'iCalTable') {
                    kind = x.id === 'iTable' ? 'news' : 'calendar';
                    table = x;
                    break;
                }
            }
            var row = 0;
            for (var y = t; table && y && y !== table; y = y.parentElement) {
                if (y.tagName == 'TR' && y.parentElement &&
                    (y.parentElement === table || y.parentElement.parentElement === table)) {
                    row = y.parentElement.tagName == 'THEAD' ? 0 : y.rowIndex;
                    break;
                }
            }
            var list = rec[name];
            if (list.length >= 16) list.shift();
            list.push({ tag: link ? 'A' : (t ? t.tagName : ''),
                        href: link ? (link.getAttribute('href') || '') : '', kind: kind, row: row });
        };
    }
    document.addEventListener('click', note('click'), true);
    document.addEventListener('contextmenu', note('menu'), true);
})();
)JS";

// The day shown in the calendar can still be reminded of: a weekday not before today (Sunday
// counts after Saturday, so never at the weekend).
bool dayStillComing(int16_t day, int16_t todayIndex) {
    const int today = todayIndex == 0 ? 7 : todayIndex;
    return day >= 1 && day <= 5 && day >= today;
}

void toClipboard(const std::string& text) {
    try {
        forms::Clipboard.Clear();
        forms::Clipboard.SetText(text);
    } catch (...) {
        // A clipboard another program holds stays as it was.
    }
}

} // namespace

// ---- The document's events ---------------------------------------------------------------------

void frmFXNotify::connectWebDoc() {
    if (WebDoc.isNull()) return;
    try {
        WebDoc.execScript(kClickRecorder);
    } catch (...) {
    }
    bindEvent(WebDoc.node(), "onclick", "WebDoc_onclick");
    bindEvent(WebDoc.node(), "oncontextmenu", "WebDoc_oncontextmenu");
    if (WebBrowser1)
        WebBrowser1->NewWindow2 = [this](const std::string& url, bool& cancel) { WebBrowser_NewWindow2(url, cancel); };
}

frmFXNotify::PageClick frmFXNotify::lastClick(const char* which) {
    PageClick c;
    try {
        // Each note is read once: a handler without one has nothing to act on.
        const auto v = WebDoc.execScript(std::string("(function (n) { var l = window.__pnClicks && window.__pnClicks[n];"
                                                     " var r = l && l.shift(); return r ? JSON.stringify(r) : null; })('") +
                                         which + "')");
        if (!v.is_string()) return c;
        const auto r = nlohmann::json::parse(v.get<std::string>(), nullptr, false);
        if (!r.is_object()) return c;
        c.tag = r.value("tag", "");
        c.href = r.value("href", "");
        c.kind = r.value("kind", "");
        c.row = r.value("row", 0);
    } catch (...) {
    }
    return c;
}

void frmFXNotify::WebBrowser_NewWindow2(const std::string&, bool& Cancel) {
    // Only a frame may open a window; a page link opens in the news viewer or nowhere.
    std::string tag;
    try {
        tag = forms::UCase(Document.activeElement().tagName());
    } catch (...) {
    }
    if (tag != "IFRAME") Cancel = true;
}

bool frmFXNotify::WebDoc_onclick() {
    const PageClick c = lastClick("click");
    if (c.tag.empty()) return false;
    // Only an address of the plain web scheme, written in lower case, opens, and only one the
    // toast's link would open too: a script, data or file address merely carrying "http://"
    // must never become an article.
    if (c.tag == "A" && c.href.rfind("http://", 0) == 0 && OpenItem) {
        const std::string checked = inert::checkedLink(c.href, c.href);
        if (!checked.empty()) OpenItem(checked);
    }
    return true;
}

void frmFXNotify::OpenInViewer(const std::string& url) {
    using namespace m_Main;
    if (url.empty() || (!FXNewsForm && !NewFXNews)) return;
    std::shared_ptr<NewsViewerWindow> viewer;
    {
        forms::Screen.setMousePointer(forms::vbHourglass);
        struct Pointer {
            ~Pointer() { forms::Screen.setMousePointer(forms::vbDefault); }
        } pointer;
        if (!FXNewsForm) FXNewsForm = NewFXNews();
        viewer = FXNewsForm;
        if (!viewer) return;
        viewer->Load();
        const uint32_t start = win::GetTickCount();
        while (viewer == FXNewsForm && viewer->IsLoaded() && viewer->Busy() && win::GetTickCount() - start < kViewerWaitMs)
            forms::DoEvents();
    }
    // Closed while its page loaded: nothing to fill.
    if (viewer != FXNewsForm || !viewer->IsLoaded()) return;
    if (viewer->Busy()) {
        viewer->Unload();
        FXNewsForm.reset();
        forms::MsgBox(kViewerNotReady, forms::vbExclamation);
        return;
    }
    viewer->URL(url);
    viewer->XStyle();
    viewer->GETData();
}

// ---- Menus -------------------------------------------------------------------------------------

bool frmFXNotify::remindOffered() const { return dayStillComing(ShownWeekday, TodayIndex_); }

int32_t frmFXNotify::trackMenu(cls_PopupMenu& menu) {
    win::POINT p{};
    win::GetCursorPos(&p);
    // The window does not slide away while its menu is open.
    struct Shown {
        ScreenBerth* berth;
        Shown(ScreenBerth* b) : berth(b) {
            if (berth) berth->KeepShown = true;
        }
        ~Shown() {
            if (berth) berth->KeepShown = false;
        }
    } shown(berth_.get());
    return menu.TrackMenu(hWnd(), p.x, p.y);
}

void frmFXNotify::Click_MoreBut() {
    forms::ResumeNext([&] { el("chkRow").value("1"); });
    // Which news tabs the settings show, in one round trip.
    nlohmann::json shown = nlohmann::json::array();
    forms::ResumeNext([&] {
        const auto v = Document.execScript(
            "JSON.stringify(['iAllFX', 'iFX168', 'iDailyfx', 'iCaiXun'].map(function (id) {"
            " var a = document.getElementById(id); return !!a && a.parentElement.style.display != 'none'; }))");
        if (v.is_string()) shown = nlohmann::json::parse(v.get<std::string>(), nullptr, false);
    });
    auto checked = [&](const char* tab) { return CurrentPane_ == tab ? kChecked : 0; };

    cls_PopupMenu menu;
    for (size_t i = 0; i < std::size(kNewsTabs); ++i) {
        const bool on = shown.is_array() && i < shown.size() && shown[i].is_boolean() && shown[i].get<bool>();
        if (on) menu.AddMenuItem(kNewsTabs[i].caption, checked(kNewsTabs[i].id), kNewsTabs[i].command);
    }
    for (const Tab& t : kChannelTabs) menu.AddMenuItem(t.caption, checked(t.id), t.command);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.AddMenuItem("财经日历", checked("iFXCalendar"), kCalendarTab);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    if (CurrentPane_ == "iFXCalendar" && remindOffered()) {
        menu.AddMenuItem("选择提醒今日所有财经事件(&S)", 0, kRemindAll);
        menu.AddMenuItem("", kSeparator, kSeparatorId);
    }
    menu.AddMenuItem("显示窗口标题在任务栏(&T)", InTaskbar ? kChecked : 0, kTaskbar);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.AddMenuItem("关闭窗口(&X)", 0, kClose);

    const int32_t chosen = trackMenu(menu);
    forms::ResumeNext([&] { el("chkRow").value("0"); });
    menuCommand(chosen, "", 0);
}

bool frmFXNotify::WebDoc_oncontextmenu() {
    const PageClick c = lastClick("menu");
    forms::ResumeNext([&] { el("chkRow").value("1"); });

    cls_PopupMenu menu;
    if (!c.kind.empty() && c.row > 0) {
        menu.AddMenuItem("单条复制(&C)", 0, kCopyRow);
        menu.AddMenuItem("全部复制(&A)", 0, kCopyAll);
        menu.AddMenuItem("", kSeparator, kSeparatorId);
    }
    if (c.kind == "calendar" && remindOffered()) {
        menu.AddMenuItem("选择提醒今日所有财经事件(&S)", 0, kRemindAll);
        menu.AddMenuItem("", kSeparator, kSeparatorId);
    }
    menu.AddMenuItem("显示窗口标题在任务栏(&T)", InTaskbar ? kChecked : 0, kTaskbar);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.AddMenuItem("关闭窗口(&X)", 0, kClose);

    const int32_t chosen = trackMenu(menu);
    forms::ResumeNext([&] { el("chkRow").value("0"); });
    menuCommand(chosen, c.kind, c.row);
    return false;
}

void frmFXNotify::menuCommand(int32_t id, const std::string& kind, int row) {
    switch (id) {
    case 500: ClickFn_All(); break;
    case 501: ClickFn_FX168(); break;
    case 502: ClickFn_Dailyfx(); break;
    case 503: ClickFn_CaiXun(); break;
    case 504: ClickFn_Strategy(); break;
    case 505: ClickFn_Vip(); break;
    case 506: ClickFn_Notice(); break;
    case kCalendarTab: Calendar(); break;
    case kCopyRow: copyRows(kind, row); break;
    case kCopyAll: copyRows(kind, 0); break;
    case kRemindAll: remindAll(); break;
    case kTaskbar: toggleTaskbar(); break;
    case kClose: Hide(); break;
    default: break;
    }
}

// ---- Actions -------------------------------------------------------------------------------------

// With a row, that row of the kind's table; with 0, every row after the header (of the news
// table only those the filter shows), each ended by a line break.
void frmFXNotify::copyRows(const std::string& kind, int row) {
    if (kind != "news" && kind != "calendar") return;
    std::string text;
    bool found = false;
    forms::ResumeNext([&] {
        const auto v = Document.execScript(
            "(function (id, row, shownOnly) { var t = document.getElementById(id); if (!t) return null;"
            " var rows = t.rows;"
            " if (row > 0) return row < rows.length ? rows[row].innerText : null;"
            " var out = '';"
            " for (var i = 1; i < rows.length; i++)"
            "  if (!shownOnly || rows[i].style.display == '') out += rows[i].innerText + '\\r\\n';"
            " return out; })(" +
            nlohmann::json(kind == "news" ? "iTable" : "iCalTable").dump() + "," + std::to_string(row) + "," +
            (kind == "news" ? "true" : "false") + ")");
        if (v.is_string()) {
            text = v.get<std::string>();
            found = true;
        }
    });
    // A row that went away since the click (the table was redrawn) copies nothing.
    if (found) toClipboard(text);
}

void frmFXNotify::remindAll() {
    const int16_t day = ShownWeekday;
    if (day < 1 || day > 5) return;
    int count = 0;
    for (pugi::xml_node item : Config().WeekList(day)) {
        ++count;
        pugi::xml_attribute notify = item.attribute("Notify");
        if (!notify) notify = item.append_attribute("Notify");
        notify.set_value("1");
    }
    // The tick boxes of the rows the table has; greyed radio buttons stay as they are.
    forms::ResumeNext([&] {
        Document.execScript(
            "(function (day, count) { var t = document.getElementById('iCalTable'); if (!t) return;"
            " for (var i = 1; i <= count && i < t.rows.length; i++) { var cells = t.rows[i].cells;"
            "  if (cells.length < 4) continue; var box = cells[3].getElementsByTagName('INPUT')[0];"
            "  if (box && String(box.type).toLowerCase() == 'checkbox')"
            "   cells[3].innerHTML = \"<INPUT type=checkbox id='w_\" + day + \"_chk\" + i + \"' \" + \" checked >\"; } })(" +
            std::to_string(day) + "," + std::to_string(count) + ")");
    });
}

void frmFXNotify::toggleTaskbar() {
    Hide();
    const win::HWND h = hWnd();
    win::LONG ex = win::GetWindowLong(h, win::GWL_EXSTYLE);
    InTaskbar = !InTaskbar;
    if (InTaskbar) ex |= static_cast<win::LONG>(win::WS_EX_APPWINDOW);
    else ex &= ~static_cast<win::LONG>(win::WS_EX_APPWINDOW);
    win::SetWindowLong(h, win::GWL_EXSTYLE, ex);
    Show(forms::vbModeless);
}
