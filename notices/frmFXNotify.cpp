#include "frmFXNotify.h"
#include "frmFXNotify_Scrapers.h"

#include "ArticleExtract.h"
#include "InertHtml.h"
#include "frmToast.h"
#include "core/frmMain.h"
#include "platform/browser/Page.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Format.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/net/Http.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "toolkit/CTimer.h"
#include "toolkit/clsSizeMove.h"
#include "toolkit/cls_Config.h"
#include "toolkit/ctlDownload.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

std::function<void(const std::string&)> frmFXNotify::OpenItem = frmFXNotify::OpenInViewer;

namespace {

constexpr double kTwipsX = win::TwipsPerPixelX;
constexpr double kTwipsY = win::TwipsPerPixelY;

// Labels of the sources whose failure the bar shows.
constexpr const char* kLabelFX168 = "FX168汇市信息;";
constexpr const char* kLabelDailyfx = "DailyFX财经市况;";
constexpr const char* kLabelCaiXun = "CaiXun汇市动态;";
constexpr const char* kLabelStrategy = "策略服务;";
constexpr const char* kLabelVip = "Vip服务;";
constexpr const char* kLabelNotice = "Kestrel公告;";

// The query value as a URL carries it: everything but unreserved characters percent-encoded.
std::string urlEncode(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '_' || c == '.' || c == '~';
        if (unreserved) out += static_cast<char>(c);
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

frmFXNotify::frmFXNotify() : NoticeWindow("frmFXNotify") {
    design.caption = "财经资讯";
    design.borderStyle = forms::vbSizable;
    design.width = 720 * 15;
    design.height = 480 * 15;
}

frmFXNotify::~frmFXNotify() {
    for (auto* t : {&NewsX_, &chkTimer, &TipTimer})
        if (*t) (*t)->Interval(0);
}

std::string frmFXNotify::siteBase(const Site& site) {
    std::string base = sys::Machine::current().setting(site.setting, site.fallback);
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

bool frmFXNotify::onThisMachine(const std::string& url) {
    const std::string host = sys::lowerAscii(article::hostOf(net::Http::of(sys::Machine::current()).mapUrl(url)));
    return host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}

// ---- Start-up --------------------------------------------------------------------------------

void frmFXNotify::Form_Load() {
    loadPage(hWnd(), m_Main::PageBase + "iPopup.htm");

    ctlDown = std::make_unique<ctlDownload>();
    ctlDown->DownloadComplete = [this](std::string data, bool ok, const std::string& key) {
        ctlDown_DownloadComplete(std::move(data), ok, key);
    };
    ctlDown->DownloadProgress = [](int32_t, int32_t) {};

    // The news sites and the technical page. The calendar days are filled in once the page has
    // its week and the service channels by Brisk; slot 13 stays empty.
    const std::string fx168 = siteBase(kFX168Site), dailyfx = siteBase(kDailyFXSite);
    FeedSources = {};
    auto fill = [&](int slot, const char* key, const std::string& url, int32_t interval, bool isNews) {
        FeedSource& s = FeedSources[slot];
        s.Key = key;
        s.URL = url;
        s.Interval = s.Counter = interval;
        s.IsNews = isNews;
    };
    fill(1, "FX168", fx168 + "/fxnews/news_now_html.htm?0", 10, true);
    fill(14, "FX168_2", fx168 + "/fxnews/News_Now_Html.aspx?page=2", 0, false);
    fill(15, "FX168_3", fx168 + "/fxnews/News_Now_Html.aspx?page=3", 0, false);
    fill(2, "Dailyfx", dailyfx + "/news/", 10, true);
    fill(3, "CaiXun", siteBase(kCaiXunSite) + "/fx_information/", 10, true);
    fill(9, "Dailyfx_Techs", dailyfx + "/techs/", 60, false);
    FeedSources[9].Enabled = true;

    // The virtual screen: all monitors together.
    ScreenWidth = win::GetSystemMetrics(78);
    ScreenHeight = win::GetSystemMetrics(79);

    // The shipped settings hold the place; a file without it gets a sane rectangle rather
    // than an error box and a window of no size.
    cls_Config& c = Config();
    long left, top, width, height;
    // A place no screen could show (beyond any number, a negative or absurd size) counts as
    // not stored.
    double place[4] = {};
    bool stored = true;
    int i = 0;
    for (const char* a : {"Left", "Top", "Width", "Height"}) {
        stored = stored && c.isExistAttrib("Window/FXNews", a);
        if (!stored) break;
        const double v = settingNumber(c.GetNodeAttrib("Window/FXNews", a));
        const bool size = i >= 2;
        stored = std::abs(v) <= 1e6 && (!size || v >= 0);
        place[i++] = v;
    }
    if (stored) {
        left = std::lrint(place[0] * kTwipsX);
        top = std::lrint(place[1] * kTwipsY);
        width = std::lrint(place[2] * kTwipsX);
        height = std::lrint(place[3] * kTwipsY);
    } else {
        const int w = std::min(720, ScreenWidth), h = std::min(480, ScreenHeight);
        left = std::lrint((ScreenWidth - w) / 2 * kTwipsX);
        top = std::lrint((ScreenHeight - h) / 2 * kTwipsY);
        width = std::lrint(w * kTwipsX);
        height = std::lrint(h * kTwipsY);
    }
    Move(left, top, width, height);

    InTaskbar = true;

    // Docking: the edge rule with its watcher and timers; it reads the screen's size for
    // the edge tests itself.
    berthLoad();

    // The news schedule runs once FXEvent has applied the source settings.
    auto timer = [this](void (frmFXNotify::*handler)()) {
        auto t = CTimer::create();
        std::weak_ptr<frmFXNotify> weak = weak_from_this();
        t->ThatTime = [weak, handler] {
            if (auto self = weak.lock()) ((*self).*handler)();
        };
        return t;
    };
    chkTimer = timer(&frmFXNotify::chkTimer_ThatTime);
    TipTimer = timer(&frmFXNotify::tipTimer_ThatTime);
    NewsX_ = timer(&frmFXNotify::NewsX_Timer);

    // 0 is Sunday, 1 to 5 the weekdays whose calendar tabs the page shows.
    TodayIndex_ = static_cast<int16_t>(forms::Weekday(forms::Date()) - 1);
    // The calendar's day change and reminders.
    chkTimer->Interval(50000);
}

void frmFXNotify::Form_Unload(int&) {
    for (auto* t : {&NewsX_, &chkTimer, &TipTimer})
        if (*t) (*t)->Interval(0);
    ctlDown.reset();
    if (popupWin_ && popupWin_->IsLoaded()) popupWin_->Unload();
    berth_.reset();
    WebDoc = web::HTMLDocument();
    if (auto* machine = sys::Machine::currentOrNull(); machine && WebBrowser1) {
        // The page's forwarders hold this window; let them go once the unload is over.
        std::shared_ptr<frmFXNotify> self = shared_from_this();
        machine->post([self] {});
    }
    unloadPage();
}

bool frmFXNotify::Busy() { return PageWindow::Busy(); }

web::HTMLElement frmFXNotify::el(const std::string& id) {
    web::HTMLElement e = Document.all(id);
    if (e.isNull()) forms::raise(forms::err::ObjectRequired, "frmFXNotify");
    return e;
}

// ---- Page complete ---------------------------------------------------------------------------

void frmFXNotify::pageComplete() {
    WebDoc = Document;
    connectWebDoc();
    // The page's events, in their order.
    static const struct {
        const char *id, *event, *member;
    } kBindings[] = {
        {"iMore", "onclick", "ClickMore"},         {"iLink", "onclick", "ClickLink"},
        {"iAllFX", "onclick", "ClickFn_All"},      {"iFX168", "onclick", "ClickFn_FX168"},
        {"iDailyfx", "onclick", "ClickFn_Dailyfx"}, {"iCaiXun", "onclick", "ClickFn_CaiXun"},
        {"iFXCalendar", "onclick", "Calendar"},    {"iStrategy", "onclick", "ClickFn_Strategy"},
        {"iVip", "onclick", "ClickFn_Vip"},        {"iNotice", "onclick", "ClickFn_Notice"},
        {"moreBut", "onclick", "Click_MoreBut"},   {"week1", "onclick", "onweek1"},
        {"week2", "onclick", "onweek2"},           {"week3", "onclick", "onweek3"},
        {"week4", "onclick", "onweek4"},           {"week5", "onclick", "onweek5"},
        {"iTBody", "onclick", "TBodyClick"},       {"v1", "onclick", "gWeb"},
        {"v2", "onclick", "gWeb"},                 {"v3", "onclick", "gWeb"},
        {"v4", "onclick", "gWeb"},                 {"v6", "onclick", "gWeb"},
        {"SizeGrip", "onmousedown", "SizeGrip"},   {"iBody", "onmouseover", "MoveIn"},
        {"iFilterBut", "onclick", "Filter"},       {"iSelect", "onclick", "Filter"},
        {"iSelect", "onfocusin", "ClosePopup"},    {"iBriskOpt", "onfocusin", "ClosePopup"},
        {"iBriskSymbol", "onfocusin", "ClosePopup"}, {"iBriskTech", "onfocusin", "ClosePopup"},
        {"iBriskOpt", "onclick", "Filter"},        {"iBriskSymbol", "onclick", "Filter"},
        {"iBriskTech", "onclick", "Filter"},
    };
    for (const auto& b : kBindings) bindEvent(b.id, b.event, b.member);
    bindToast();

    // The menu cell takes the height of the menu it holds.
    forms::ResumeNext([&] { el("MenuTD").setAttribute("height", std::to_string(el("MenuLayout").offsetHeight()) + "px"); });
    Brisk(false);

    // Monday of this week; Sunday belongs to the week that ends on it.
    const forms::DateTime today = forms::Date();
    if (TodayIndex_ >= 2) WeekFrom_ = today + (1 - TodayIndex_);
    else if (TodayIndex_ == 1) WeekFrom_ = today;
    else WeekFrom_ = today - 6;

    // The stored calendar serves when it holds every weekday of this very week.
    cls_Config& c = Config();
    WeekComplete_ = false;
    if (c.isExistAttrib("FXCalendar", "DateFrom")) {
        const std::string from = c.GetNodeAttrib("FXCalendar", "DateFrom");
        if (!from.empty() && forms::IsDate(from) && forms::DateValue(from) == WeekFrom_) {
            WeekComplete_ = true;
            for (int d = 1; d <= 5; ++d)
                WeekComplete_ = WeekComplete_ && c.isExist("FXCalendar/Week" + std::to_string(d), "Item");
        }
    }
    // Otherwise it is dropped and the week is fetched afresh.
    if (WeekComplete_) {
        chkTimer_ThatTime();
    } else {
        c.RemoveAllFXCalendar();
        c.SetNodeAttrib("FXCalendar", "DateFrom", forms::FormatDateTime(WeekFrom_, forms::vbShortDate));
        calendarBalloon("正在获取本周的财经事件!", "从" + forms::CStr(WeekFrom_) + " 到 " + forms::CStr(WeekFrom_ + 4));
    }
    // One calendar source per weekday; a complete week needs no download.
    const std::string calendar = siteBase(kCalendarSiteA);
    for (int slot = 4; slot <= 8; ++slot) {
        const forms::DateTime d = WeekFrom_ + (slot - 4);
        FeedSource& s = FeedSources[slot];
        s.Key = "Calendar" + std::to_string(slot - 3);
        s.URL = calendar + "/calendar/calendar_f_cnforex.php?date=" + std::to_string(forms::Year(d)) + "-" +
                forms::Format(forms::Month(d), "00") + "-" + forms::Format(forms::Day(d), "00") + "&currency=";
        forms::ResumeNext([&] { el("week" + std::to_string(slot - 3)).title(forms::FormatDateTime(d, forms::vbLongDate)); });
        s.Interval = 60;
        s.Counter = 60;
        s.Enabled = !WeekComplete_;
    }
    // On a weekday its tab is marked and shown.
    if (TodayIndex_ >= 1 && TodayIndex_ <= 5) {
        forms::ResumeNext([&] {
            auto spans = el("week" + std::to_string(TodayIndex_)).getElementsByTagName("SPAN");
            if (!spans.empty()) spans[0].className("weekToday");
        });
        SelectWeekTab(TodayIndex_);
    }
    // The page opens on the calendar pane; the news pane takes its place.
    CurrentPane_ = "iFXCalendar";
    ShowPane("iAllFX");
    // The window took its saved size while the page was still loading, with nothing to lay out.
    layoutPage();
    // PageComplete is set by the page window once this returns.
}

// ---- Tabs ------------------------------------------------------------------------------------

void frmFXNotify::ShowPane(const std::string& id) {
    if (id == CurrentPane_) return;
    forms::ResumeNext([&] {
        web::PageBatch batch(Document);
        if (!CurrentPane_.empty()) el(CurrentPane_).parentElement().set("id", "");
        web::HTMLElement item = el(id).parentElement();
        item.set("id", "current");
        item.style().visibility("visible");
        if (CurrentPane_ == "iFXCalendar") {
            el("iCalendar").style().display("none");
            el("iCalHead").style().display("none");
        } else {
            el("iDivNews").style().display("none");
        }
    });
    CurrentPane_ = id;
    if (id == "iFXCalendar") {
        forms::ResumeNext([&] {
            el("iCalendar").style().display("");
            web::HTMLElement head = el("iCalHead");
            head.style().set("top", std::to_string(el("iCalendar").offsetTop() + 5) + "px");
            head.style().display("");
            el("th1").style().set("height", std::to_string(head.clientHeight()) + "px");
            int32_t l = 0, t = 0, w = 0, h = 0;
            GetElementPos("iCalendar", l, t, w, h);
            head.style().set("left", std::to_string(l) + "px");
            head.style().set("top", std::to_string(t) + "px");
            head.style().set("width", std::to_string(w) + "px");
            head.style().set("width", std::to_string(calendarWidth()) + "px");
        });
    } else {
        forms::ResumeNext([&] { el("iDivNews").style().display(""); });
    }
}

void frmFXNotify::GetElementPos(const std::string& id, int32_t& left, int32_t& top, int32_t& width, int32_t& height) {
    const ElementBox box = elementBox(id, "frmFXNotify");
    left = box.left;
    top = box.top;
    width = box.width;
    height = box.height;
}

// -1 leaves a bar as it is, 0 hides it, 1 shows it.
void frmFXNotify::setFilterBars(int filterBar, int briskBar, int techCaption) {
    forms::ResumeNext([&] {
        web::PageBatch batch(Document);
        auto set = [&](const char* id, int v) {
            if (v >= 0) el(id).style().display(v ? "" : "none");
        };
        set("FilterBar", filterBar);
        set("BriskBar", briskBar);
        set("iBriskTechCap", techCaption);
        set("iBriskTechSel", techCaption);
    });
}

void frmFXNotify::ClickFn_All() { setFilterBars(1, 0, -1), ShowPane("iAllFX"), Filter(); }
void frmFXNotify::ClickFn_FX168() { setFilterBars(1, 0, -1), ShowPane("iFX168"), Filter(); }
void frmFXNotify::ClickFn_Dailyfx() { setFilterBars(1, 0, -1), ShowPane("iDailyfx"), Filter(); }
void frmFXNotify::ClickFn_CaiXun() { setFilterBars(1, 0, -1), ShowPane("iCaiXun"), Filter(); }
void frmFXNotify::ClickFn_Strategy() { setFilterBars(0, 1, 0), ShowPane("iStrategy"), Filter(); }
void frmFXNotify::ClickFn_Vip() { setFilterBars(0, 1, 1), ShowPane("iVip"), Filter(); }
void frmFXNotify::ClickFn_Notice() {
    setFilterBars(0, 0, -1);
    ShowPane("iNotice");
    forms::ResumeNext([&] {
        Document.execScript(
            "(function () { var rows = document.getElementById('iTable').rows;"
            " for (var i = 0; i < rows.length; i++)"
            "  rows[i].style.display = rows[i].className.indexOf('Notice') >= 0 ? '' : 'none'; })()");
    });
}

void frmFXNotify::Calendar() {
    setFilterBars(0, 0, -1);
    ShowPane("iFXCalendar");
}

void frmFXNotify::gWeb() {
    std::string id;
    forms::ResumeNext([&] { id = Document.activeElement().id(); });
    std::string target;
    if (id == "v1") target = siteBase(kFX168Site) + "/";
    else if (id == "v2") target = siteBase(kDailyFXSite) + "/";
    else if (id == "v3") target = siteBase(kCaiXunSite) + "/";
    else if (id == "v4") target = siteBase(kMakerSite) + "/";
    else if (id == "v6") target = siteBase(kServiceSite) + "/";
    if (!target.empty()) m_Main::OpenLink(target);
}

void frmFXNotify::ClickMore() {
    Show(forms::vbModeless);
    if (BerthOn()) xBerth();
}

void frmFXNotify::ClosePopup() {
    forms::ResumeNext([&] { el("Duration").FireEvent("onClick"); });
}

// ---- Filter ----------------------------------------------------------------------------------

frmFXNotify::FilterBar frmFXNotify::filterBar() {
    FilterBar bar;
    bar.key = CurrentPane_.size() > 1 ? CurrentPane_.substr(1) : "";
    // A poll weighs each new row against the bar: it reads the page once, not once a row.
    if (Polling_ && PollFilter_ && PollFilter_->key == bar.key) return *PollFilter_;
    // No subject chosen lets every row through, also one whose text has no "/" (member rows,
    // times written "03-05 14:30"): the empty text is found in every text.
    std::string words;
    forms::ResumeNext([&] {
        auto option = [&](const char* id) -> std::string {
            web::HTMLElement list = el(id);
            const int index = list.number("selectedIndex");
            if (index <= 0) return "";
            return forms::Trim(list.elements("options").at(static_cast<size_t>(index)).innerText());
        };
        const std::string& key = bar.key;
        const char* subjectList = key == "Vip" ? "iBriskTech" : key == "Strategy" ? "iBriskOpt" : "iSelect";
        const std::string s = option(subjectList);
        if (!s.empty()) bar.subject = s;
        if (key == "Vip") {
            const std::string o = option("iBriskOpt"), sym = option("iBriskSymbol");
            if (!o.empty()) words = o + ";";
            if (!sym.empty()) words += sym + ";";
        } else if (key == "Strategy") {
            const std::string sym = option("iBriskSymbol");
            if (!sym.empty()) words = sym + ";";
        } else {
            words = forms::Trim(el("iFilterTxt").value());
        }
    });
    bar.keywords = Keywords(words);
    if (Polling_) PollFilter_ = bar;
    return bar;
}

bool frmFXNotify::Filter(const std::string& Text) {
    if (CurrentPane_ == "iNotice" || CurrentPane_ == "iFXCalendar") return false;
    const FilterBar bar = filterBar();
    if (!Text.empty()) {
        if (Text.find(bar.subject) == std::string::npos) return false;
        if (bar.keywords.empty()) return true;
        for (const auto& k : bar.keywords)
            if (Text.find(k) != std::string::npos) return true;
        return false;
    }
    // Rows carry the text the window gave them, so the filter reads what the newness test reads.
    forms::ResumeNext([&] {
        Document.execScript(
            "(function (key, subject, words) { var rows = document.getElementById('iTable').rows;"
            " for (var i = 0; i < rows.length; i++) { var r = rows[i];"
            "  var t = r.getAttribute('data-text') || r.innerText; var show;"
            "  if (r.className.indexOf(key) < 0 || t.indexOf(subject) < 0) show = false;"
            "  else if (words.length) { show = false;"
            "   for (var k = 0; k < words.length; k++) if (t.indexOf(words[k]) >= 0) { show = true; break; } }"
            "  else show = true;"
            "  r.style.display = show ? '' : 'none'; } })(" +
            nlohmann::json(bar.key).dump() + "," + nlohmann::json(bar.subject).dump() + "," +
            nlohmann::json(bar.keywords).dump() + ")");
    });
    return false;
}

// ---- Sources and schedule --------------------------------------------------------------------

std::string frmFXNotify::memberQuery(const char* idKey, bool passwordTwice) const {
    // The account with the service; optional attributes, so a file without them shows no box.
    cls_Config& c = Config();
    auto read = [&](const char* name) {
        return c.isExistAttrib("Settings/Brisk", name) ? c.GetNodeAttrib("Settings/Brisk", name) : std::string();
    };
    const std::string user = urlEncode(read("UserID")), password = urlEncode(read("Password"));
    std::string q = std::string(idKey) + "=" + user + "&passwd=" + password;
    if (passwordTwice) q += "&passwd=" + password;
    return q;
}

void frmFXNotify::Brisk(bool RunNow) {
    const std::string site = siteBase(kMemberSite);
    struct Channel {
        int slot;
        const char *key, *path, *idKey, *tab, *image, *picture;
        int32_t interval;
        bool twice;
    };
    static const Channel kChannels[] = {
        {10, "Strategy", "/strategy.php?", "ID", "iStrategy", "iStrategyImg", "istrategy.gif", 30, false},
        {11, "Vip", "/vip.php?", "ID", "iVip", "iVipImg", "ivip.gif", 30, false},
        {12, "Notice", "/notice.php?", "ID", "iNotice", "iNoticeImg", "inotice.gif", 900, false},
        {16, "GetTech", "/man.php?", "id", nullptr, nullptr, nullptr, 0, true},
    };
    for (const auto& ch : kChannels) {
        FeedSource& s = FeedSources[ch.slot];
        s.Key = ch.key;
        s.URL = site + ch.path + memberQuery(ch.idKey, ch.twice);
        s.Enabled = true;
        if (ch.interval) s.Interval = s.Counter = ch.interval;
        if (ch.tab) {
            forms::ResumeNext([&] {
                web::HTMLElement tab = el(ch.tab);
                tab.disabled(false);
                tab.removeAttribute("disabled");  // an anchor shows the attribute, not the property
                el(ch.image).set("src", ch.picture);
            });
        }
    }
    if (RunNow) NewsX_Timer();
}

void frmFXNotify::fetch(const FeedSource& s) {
    // A site the host mapping does not lead to this machine is not asked at all; it counts as
    // a download that failed to start.
    if (onThisMachine(s.URL)) ctlDown->BeginDownload(s.URL, s.Key);
    else ctlDown_DownloadComplete("", false, s.Key);
}

void frmFXNotify::startBatchDownload(FeedSource& s) {
    s.InProgress = true;
    // Counted as done while it idled; from now on the batch waits for its answer, which may
    // come before fetch returns.
    s.Received = false;
    IsWorking = true;
    fetch(s);
}

void frmFXNotify::NewsX_Timer() {
    for (int i = 1; i <= 16; ++i) {
        FeedSource& s = FeedSources[i];
        if (!s.Enabled) continue;
        if (s.IsNews && NewsShown_) {
            if (s.InProgress) continue;
            if (++s.Counter < s.Interval) continue;
            s.Counter = 0;
            s.InProgress = true;
            fetch(s);
        } else if (s.Interval != 0) {
            if (s.InProgress) continue;
            if (++s.Counter < s.Interval) {
                s.Received = true;
                continue;
            }
            s.Counter = 0;
            startBatchDownload(s);
        } else {
            if (s.InProgress) continue;
            startBatchDownload(s);
        }
        // A start that fails reports its completion at once, which may end the batch and
        // unload nothing; the table is still ours, so the loop goes on.
    }
}

void frmFXNotify::FXEvent() {
    auto setting = [](const char* name) {
        const std::string path = std::string("Settings/FXNews/Source/") + name;
        return storedFlag(path, "Checked");
    };
    // FX168's further pages follow their site; the technical page goes off with Dailyfx and stays off.
    FeedSources[1].Enabled = setting("FX168_1");
    FeedSources[2].Enabled = setting("DailyFX_1");
    FeedSources[9].Enabled = FeedSources[9].Enabled && FeedSources[2].Enabled;
    FeedSources[14].Enabled = FeedSources[1].Enabled;
    FeedSources[15].Enabled = FeedSources[1].Enabled;
    FeedSources[3].Enabled = setting("CaiXun_1");
    // A switched-off site loses its tab; a pane that goes with it gives way to the calendar.
    const struct {
        const char* tab;
        int slot;
    } kTabs[] = {{"iFX168", 1}, {"iDailyfx", 2}, {"iCaiXun", 3}};
    for (const auto& t : kTabs) {
        forms::ResumeNext([&] {
            web::HTMLElement item = el(t.tab).parentElement();
            const std::string want = FeedSources[t.slot].Enabled ? "" : "none";
            if (item.style().display() != want) {
                if (CurrentPane_ == t.tab) ShowPane("iFXCalendar");
                item.style().display(want);
            }
        });
    }
    int enabled = 0;
    for (int i = 1; i <= 16; ++i) enabled += FeedSources[i].Enabled ? 1 : 0;
    NewsX_Timer();
    // The all-news tab shows from two sources on; with none, the front notice goes too.
    forms::ResumeNext([&] {
        web::HTMLElement all = el("iAllFX").parentElement();
        if (enabled > 0 && enabled >= 2) {
            ShowPane("iAllFX");
            all.style().display("");
        } else {
            if (enabled == 0) {
                el("iFront").style().display("none");
                el("iFront").innerHTML("");
            }
            ShowPane("iFXCalendar");
            all.style().display("none");
        }
    });
    NewsX_->Interval(1000);
}

void frmFXNotify::CancelWork() {
    for (int i = 1; i <= 16; ++i)
        if (FeedSources[i].Enabled) ctlDown->CancelDownload(FeedSources[i].Key);
}

std::string frmFXNotify::Utf8ToUnicode(const std::string& bytes) {
    // Invalid sequences read as U+FFFD, as the platform's conversion does; nothing decoded is
    // an empty text, never a buffer of NULs. A page that is already sound is taken as it is: a
    // big one would hold the window up while it went through the conversion.
    if (bytes.empty()) return "";
    if (sys::isWellFormedUtf8(bytes)) return bytes;
    return sys::fromUtf32(sys::toUtf32(bytes));
}

namespace {
std::string sourceName(const std::string& label) { return label.substr(0, label.rfind(';')); }
} // namespace

void frmFXNotify::addLabel(const std::string& label) {
    if (FailedSources_.find(label) != std::string::npos) return;
    FailedSources_ = label + FailedSources_;
    m_Main::tell("source failed: " + sourceName(label));
}

void frmFXNotify::removeLabel(const std::string& label) {
    bool was = false;
    for (size_t p; (p = FailedSources_.find(label)) != std::string::npos; was = true) FailedSources_.erase(p, label.size());
    if (was) m_Main::tell("source recovered: " + sourceName(label));
}

void frmFXNotify::ctlDown_DownloadComplete(std::string Data, bool Success, const std::string& Key) {
    auto ansi = [&] { return sys::fromAnsi(Data); };
    auto slotOf = [&](const std::string& key) {
        for (int i = 1; i <= 16; ++i)
            if (!FeedSources[i].Key.empty() && FeedSources[i].Key == key) return i;
        return 0;
    };
    const int slot = slotOf(Key);
    if (Key == "FX168" || Key == "CaiXun" || Key == "Dailyfx") {
        FeedSource& s = FeedSources[slot];
        const char* label = Key == "FX168" ? kLabelFX168 : Key == "CaiXun" ? kLabelCaiXun : kLabelDailyfx;
        if (Success) {
            s.Content = Key == "Dailyfx" ? Utf8ToUnicode(Data) : ansi();
            removeLabel(label);
        } else {
            addLabel(label);
        }
        s.Received = true;
        if (NewsShown_) {
            ProcessSource(static_cast<int16_t>(slot));
            s.InProgress = false;
            UpdateFailedBar();
            return;
        }
    } else if (Key == "FX168_2" || Key == "FX168_3" || Key == "GetTech" || Key.rfind("Calendar", 0) == 0) {
        if (slot) {
            if (Success) FeedSources[slot].Content = ansi();
            FeedSources[slot].Received = true;
        }
    } else if (Key == "Strategy" || Key == "Vip" || Key == "Notice") {
        const char* label = Key == "Strategy" ? kLabelStrategy : Key == "Vip" ? kLabelVip : kLabelNotice;
        if (Success) {
            FeedSources[slot].Content = ansi();
            removeLabel(label);
        } else {
            addLabel(label);
        }
        FeedSources[slot].Received = true;
    } else if (Key == "Dailyfx_Techs") {
        if (Success) FeedSources[slot].Content = Utf8ToUnicode(Data);
        FeedSources[slot].Received = true;
    }
    batchTest();
}

void frmFXNotify::batchTest() {
    for (int i = 1; i <= 16; ++i) {
        const FeedSource& s = FeedSources[i];
        if (!s.Enabled || s.Received) continue;
        if (NewsShown_ && s.IsNews) continue;
        return;
    }
    UpdateFailedBar();
    const bool wasShown = NewsShown_;
    const size_t rowsBefore = RowsGiven_;
    ProcessSource(0);
    int sources = 0;
    for (int i = 1; i <= 16; ++i) sources += FeedSources[i].Enabled && FeedSources[i].Received ? 1 : 0;
    m_Main::tell("downloads done: " + std::to_string(sources) + " sources, " + std::to_string(RowsGiven_ - rowsBefore) +
                 " new items" + (FailedSources_.empty() ? "" : ", failed: " + FailedSources_));
    for (int i = 1; i <= 16; ++i) {
        FeedSource& s = FeedSources[i];
        s.Content.clear();
        if (!s.Enabled) continue;
        s.Received = false;
        if (s.Interval == 0) s.Enabled = false;
        if (!(s.IsNews && wasShown)) s.InProgress = false;
    }
    IsWorking = false;
}

void frmFXNotify::UpdateFailedBar() {
    forms::ResumeNext([&] {
        web::HTMLElement bar = el("TimeOutBar");
        bool changed = false;
        if (FailedSources_.empty()) {
            if (bar.style().display().empty()) changed = true;
            bar.style().display("none");
        } else {
            if (bar.style().display() == "none") changed = true;
            el("TimeOut").innerText(FailedSources_ + " 采集超时!");
            bar.style().display("");
        }
        if (changed) {
            ++LayoutChanges_;
            AdjustCalcHead();
        }
    });
}

// ---- Content processing ----------------------------------------------------------------------

void frmFXNotify::ProcessSource(int16_t Group) {
    forms::DoEvents();
    if (!PageComplete || Document.isNull()) return;
    NewFound = false;
    NewItemsHtml.clear();
    OldText.clear();
    TabShows = false;
    // A poll reads the filter bar once and writes its new rows in one go; a call made while the
    // message queue ran above has finished its own by now.
    Polling_ = true;
    PollFilter_.reset();
    PendingRows_.clear();
    PendingBytes_ = 0;
    struct PollEnd {
        frmFXNotify& w;
        ~PollEnd() {
            w.Polling_ = false;
            w.PollFilter_.reset();
            w.PendingRows_.clear();
            w.PendingBytes_ = 0;
        }
    } pollEnd{*this};

    auto fx168 = [&](int slot) {
        ReadingSlot_ = slot;
        if (!FeedSources[slot].Content.empty())
            forms::ResumeNext([&] { processFX168Page(FeedSources[slot].Content, FeedSources[slot].URL); });
    };
    auto scrape = [&](int slot) {
        ReadingSlot_ = slot;
        if (!FeedSources[slot].Content.empty()) forms::ResumeNext([&] { scrapeSource(slot); });
    };
    switch (Group) {
    case 1: fx168(1); break;
    case 2: scrape(2); break;
    case 3: scrape(3); break;
    case 0:
        fx168(1);
        fx168(14);
        fx168(15);
        scrape(3);
        scrape(2);
        scrape(9);
        scrape(16);
        MemberChannels();
        {
            // The bar follows the calendar step, and only when that step ran.
            const bool calendarRuns = !WeekComplete_;
            ProcessCalendar();
            if (calendarRuns) UpdateFailedBar();
        }
        break;
    default: return;
    }
    forms::ResumeNext([&] { flushRows(); });
    ReadingSlot_ = 0;
    forgetUnlisted();

    // Closing steps.
    forms::ResumeNext([&] { el("iContent").innerHTML(""); });
    if (NewFound) {
        forms::ResumeNext([&] { el("tHead").FireEvent("onClick"); });
        Filter();
    }
    if (NewsShown_) {
        ShowToast(NewItemsHtml, NewFound);
        return;
    }
    forms::ResumeNext([&] { el("tHead").FireEvent("onClick"); });
    Filter();
    forms::ResumeNext([&] {
        web::HTMLElement front = el("iFront");
        front.style().display("none");
        front.innerHTML("");
    });
    NewsShown_ = true;
}

void frmFXNotify::processFX168Page(const std::string& content, const std::string& pageUrl) {
    // The list table: from its id attribute to the end of the first table after it.
    const std::string marker = "id=\"DataList1\"";
    const size_t start = content.find(marker);
    if (start == std::string::npos) return;
    const size_t end = content.find("</table", start);
    if (end == std::string::npos) return;
    const std::string table = "<table " + content.substr(start, end - start) + "</table>";
    // Parsed where nothing runs, as far as the rows that are taken.
    const inert::Fragment page =
        inert::Fragment::parse(scrapers::firstItems(table, "<tr", 2 * kItemsPerSource + 2, kListBytes));
    const auto tables = page.byTag("table");
    if (tables.empty()) return;
    // New is measured against earlier polls, and a row is visible where its tab is open.
    beginRead();
    TabShows = CurrentPane_ == "iAllFX" || CurrentPane_ == "iFX168";
    size_t items = 0;
    for (const inert::Element& tr : tables[0].rows()) {
        if (items == kItemsPerSource) break;
        forms::ResumeNext([&] {
            const auto cells = tr.cells();
            if (cells.size() < 2) return;
            const auto anchors = cells[1].descendants("a");
            if (anchors.empty()) return;
            ++items;
            const std::string headline = anchors[0].text();
            const std::string time = cells[0].text();
            if (headline.empty() || alreadySeen(headline) || time.empty()) return;
            const std::string link = inert::checkedLink(anchors[0].attr("href"), pageUrl);
            NewsRow row;
            row.className = "FX168";
            row.tipWord = "fx168";
            row.time = time;
            const bool linked = headline.find("...") != std::string::npos && !link.empty();
            const std::string label = "<Font size='-5' color='#429DEE'>- FX168</font>";
            row.textHtml = linked ? "<a href='" + inert::escapeHtml(link) +
                                        "' target=_blank style='text-decoration:underline'>" +
                                        inert::escapeHtml(headline) + "&nbsp;</a>" + label
                                  : inert::escapeHtml(headline) + "&nbsp;" + label;
            row.text = headline + " - FX168";
            // Before the first batch is shown the table is filtered as a whole; after, row by row.
            row.shown = NewsShown_ ? TabShows && Filter(headline + "/") : TabShows;
            if (!insertRow(row)) return;
            NewFound = true;
            if (PopFilter(headline))
                gatherToast(toastEntry("FX168.gif", time, headline, linked ? link : std::string()));
        });
    }
}

bool frmFXNotify::insertRow(const NewsRow& row) {
    const size_t bytes = row.time.size() + row.text.size() * 2 + row.textHtml.size();
    if (PendingBytes_ + bytes > kPollRowBytes) return false;
    PendingBytes_ += bytes;
    const std::string text = inert::normaliseText(row.time + " " + row.text);
    // The memory of what has been seen grows before the page is touched, so a failed write
    // never lets an item in twice.
    ++RowsGiven_;
    SeenLines_.push_back({SeenText_.size(), ReadingSlot_, Reads_[static_cast<size_t>(ReadingSlot_)]});
    SeenText_ += text + "\n";
    NewsRow queued = row;
    queued.text = text;
    PendingRows_.push_back(std::move(queued));
    return true;
}

void frmFXNotify::beginRead() {
    OldText = SeenText_;
    ++Reads_[static_cast<size_t>(ReadingSlot_)];
}

bool frmFXNotify::alreadySeen(const std::string& key) {
    const size_t at = OldText.find(key);
    if (at == std::string::npos) return false;
    // OldText is the memory as the read began; lines added since lie past it.
    auto line = std::upper_bound(SeenLines_.begin(), SeenLines_.end(), at,
                                 [](size_t pos, const SeenLine& l) { return pos < l.start; });
    if (line != SeenLines_.begin()) {
        --line;
        line->slot = ReadingSlot_;
        line->read = Reads_[static_cast<size_t>(ReadingSlot_)];
    }
    return true;
}

void frmFXNotify::forgetUnlisted() {
    const auto unlisted = [&](const SeenLine& l) { return Reads_[static_cast<size_t>(l.slot)] - l.read >= kSeenReads; };
    if (std::none_of(SeenLines_.begin(), SeenLines_.end(), unlisted)) return;
    std::string kept;
    std::vector<SeenLine> lines;
    for (size_t i = 0; i < SeenLines_.size(); ++i) {
        if (unlisted(SeenLines_[i])) continue;
        const size_t end = i + 1 < SeenLines_.size() ? SeenLines_[i + 1].start : SeenText_.size();
        lines.push_back({kept.size(), SeenLines_[i].slot, SeenLines_[i].read});
        kept.append(SeenText_, SeenLines_[i].start, end - SeenLines_[i].start);
    }
    SeenText_ = std::move(kept);
    SeenLines_ = std::move(lines);
}

void frmFXNotify::flushRows() {
    if (PendingRows_.empty()) return;
    // Rows go into the table's body (the header row sits in a head of its own). Once the first
    // content is shown each new row goes to the top in its turn, so the last one stands highest.
    // Each row carries its place in the order of arrival, whatever the sorting did: past the
    // table's bound the earliest go.
    nlohmann::json rows = nlohmann::json::array();
    for (const NewsRow& r : PendingRows_)
        rows.push_back({"AllFX " + r.className, r.text, r.tipWord, r.time, r.textHtml, r.shown});
    PendingRows_.clear();
    const auto replaceBad = nlohmann::json::error_handler_t::replace;
    Document.execScript(
        "(function (rows, top, max) { var body = document.getElementById('iTable').tBodies[0];"
        " for (var i = 0; i < rows.length; i++) { var r = rows[i], tr = body.insertRow(top ? 0 : -1);"
        "  tr.className = r[0]; tr.setAttribute('data-text', r[1]);"
        "  var time = tr.insertCell(-1); time.setAttribute('vAlign', 'middle'); time.setAttribute('align', 'center');"
        "  time.setAttribute('width', '65px'); time.title = r[2]; time.innerText = r[3];"
        "  var cell = tr.insertCell(-1); cell.setAttribute('vAlign', 'middle'); cell.innerHTML = r[4];"
        "  tr.style.display = r[5] ? '' : 'none'; tr.__arrival = window.__arrivals = (window.__arrivals || 0) + 1; }"
        " var extra = body.rows.length - max; if (extra <= 0) return;"
        " var all = Array.prototype.slice.call(body.rows);"
        " all.sort(function (a, b) { return (a.__arrival || 0) - (b.__arrival || 0); });"
        " for (var k = 0; k < extra; k++) body.removeChild(all[k]); })(" +
        rows.dump(-1, ' ', false, replaceBad) + "," + (NewsShown_ ? "true" : "false") + "," +
        std::to_string(kTableRows) + ")");
}

// ---- Members by name -------------------------------------------------------------------------

const forms::MemberTable& frmFXNotify::memberTable() const {
    static const auto table = [] {
        auto t = forms::Members<frmFXNotify>();
        t.get("Busy", [](frmFXNotify& f) { return forms::Variant(f.Busy()); });
        t.get("Working", [](frmFXNotify& f) { return forms::Variant(f.Working()); });
        t.get("BerthOn", [](frmFXNotify& f) { return forms::Variant(f.BerthOn()); });
        t.method("FXEvent", [](frmFXNotify& f) { f.FXEvent(); });
        t.method("CancelWork", [](frmFXNotify& f) { f.CancelWork(); });
        t.method("xBerth", [](frmFXNotify& f) { f.xBerth(); });
        t.method("Brisk", [](frmFXNotify& f, forms::Args& a) { f.Brisk(forms::arg(a, 0).toBool()); });
        t.method("ProcessSource", [](frmFXNotify& f, forms::Args& a) {
            f.ProcessSource(static_cast<int16_t>(forms::arg(a, 0).toLong()));
        });
        t.method("Filter", [](frmFXNotify& f, forms::Args& a) {
            return forms::Variant(f.Filter(a.empty() ? std::string() : forms::arg(a, 0).toString()));
        });
        t.method("ClickFn_All", [](frmFXNotify& f) { f.ClickFn_All(); });
        t.method("ClickFn_FX168", [](frmFXNotify& f) { f.ClickFn_FX168(); });
        t.method("ClickFn_Dailyfx", [](frmFXNotify& f) { f.ClickFn_Dailyfx(); });
        t.method("ClickFn_CaiXun", [](frmFXNotify& f) { f.ClickFn_CaiXun(); });
        t.method("ClickFn_Strategy", [](frmFXNotify& f) { f.ClickFn_Strategy(); });
        t.method("ClickFn_Vip", [](frmFXNotify& f) { f.ClickFn_Vip(); });
        t.method("ClickFn_Notice", [](frmFXNotify& f) { f.ClickFn_Notice(); });
        t.method("Calendar", [](frmFXNotify& f) { f.Calendar(); });
        t.method("gWeb", [](frmFXNotify& f) { f.gWeb(); });
        t.method("ClickMore", [](frmFXNotify& f) { f.ClickMore(); });
        t.method("ClosePopup", [](frmFXNotify& f) { f.ClosePopup(); });
        t.method("ClickLink", [](frmFXNotify& f) { f.ClickLink(); });
        for (int d = 1; d <= 5; ++d)
            t.method("onweek" + std::to_string(d),
                     [d](frmFXNotify& f) { f.SelectWeekTab(static_cast<int16_t>(d)); });
        t.method("Click_MoreBut", [](frmFXNotify& f) { f.Click_MoreBut(); });
        t.method("WebDoc_onclick", [](frmFXNotify& f) { return forms::Variant(f.WebDoc_onclick()); });
        t.method("WebDoc_oncontextmenu", [](frmFXNotify& f) { return forms::Variant(f.WebDoc_oncontextmenu()); });
        t.method("BerthLeave", [](frmFXNotify& f) { f.BerthLeave(); });
        t.method("TBodyClick", [](frmFXNotify& f) { f.TBodyClick(); });
        t.method("SizeGrip", [](frmFXNotify& f) {
            win::ReleaseCapture();
            win::SendMessage(f.hWnd(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTBOTTOMRIGHT), 0);
        });
        t.method("MoveIn", [](frmFXNotify& f) { f.MoveIn(); });
        return t;
    }();
    return table;
}
