// The week's economic calendar: the day pages cut into the settings store, the weekday view,
// the day and week changes and the reminders.
#include "frmFXNotify.h"
#include "frmFXNotify_Scrapers.h"

#include "InertHtml.h"
#include "core/frmMain.h"
#include "platform/browser/Page.h"
#include "platform/forms/Format.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "toolkit/CTimer.h"
#include "toolkit/cls_Config.h"
#include "toolkit/ctlDownload.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kNumerals[] = {"", "一", "二", "三", "四", "五"};

std::string dayLabel(int day) { return std::string("财经日历(星期") + kNumerals[day] + ");"; }

// What a day stores at most, in characters: well beyond any real calendar, so that a broken
// page cannot swell the settings file. A time or an importance longer than its cap is no time
// or importance, and its row is skipped; titles and comments are cut.
constexpr long kTimeChars = 16, kImportanceChars = 8, kTitleChars = 400, kCommentChars = 1000;
constexpr size_t kEventsPerDay = 200;
constexpr size_t kDayBytes = frmFXNotify::kCalendarBytes / 5;

bool digit(char c) { return c >= '0' && c <= '9'; }

// "HH:MM" on a 24-hour clock: the only times the view compares and the reminders schedule.
bool isClock(const std::string& t) {
    if (t.size() != 5 || !digit(t[0]) || !digit(t[1]) || t[2] != ':' || !digit(t[3]) || !digit(t[4])) return false;
    return (t[0] - '0') * 10 + (t[1] - '0') < 24 && t[3] < '6';
}

int minutesOf(const std::string& clock) {
    return ((clock[0] - '0') * 10 + (clock[1] - '0')) * 60 + (clock[3] - '0') * 10 + (clock[4] - '0');
}

// The time of an event row: the clock at the end of the cell ("12-09 14:30" gives "14:30"); a cell
// that ends in no clock ("全天", "12-09 待定") keeps its last word as text.
std::string eventTime(const std::string& cell) {
    const std::string tail = forms::Right(cell, 5);
    if (isClock(tail)) return tail;
    const size_t blank = cell.rfind(' ');
    return blank == std::string::npos ? cell : cell.substr(blank + 1);
}

// Stored titles are text with our own "<nobr>" marks; the page gets the text escaped and only
// those bare marks back as tags.
std::string titleHtml(const std::string& title) {
    std::string html = inert::escapeHtml(title);
    html = forms::Replace(html, "&lt;nobr&gt;", "<nobr>");
    return forms::Replace(html, "&lt;/nobr&gt;", "</nobr>");
}

std::string importanceHtml(const std::string& importance) {
    const char* colour = importance == "低" ? "#66cc00" : importance == "中" ? "#ff9900" : importance == "高" ? "#ff0000" : "";
    const std::string text = inert::escapeHtml(importance);
    if (!*colour) return "<font>" + text + "</font>";
    return std::string("<font style='color:") + colour + "; background-color:#EfEfEf; padding:2px 5px 2px 5px'>" + text +
           "</font>";
}

std::string attr(const pugi::xml_node& n, const char* name) { return n.attribute(name).as_string(); }

std::string clockText(forms::DateTime t) {
    return forms::Format(forms::Hour(t), "00") + ":" + forms::Format(forms::Minute(t), "00");
}

} // namespace

// ---- The calendar step of the content processor -----------------------------------------------

void frmFXNotify::ProcessCalendar() {
    if (WeekComplete_) return;
    cls_Config& c = Config();
    bool dayFailed = false;
    bool stored = false;
    for (int slot = 4; slot <= 8; ++slot) {
        FeedSource& s = FeedSources[slot];
        const int day = slot - 3;
        // A day stored earlier this week has its source switched off; a retry never adds it twice.
        if (!s.Enabled) continue;
        const std::string label = dayLabel(day);
        auto failed = [&] {
            dayFailed = true;
            if (FailedSources_.find(label) == std::string::npos) FailedSources_ += label;
        };
        if (s.Content.empty()) {
            // A source not due in this batch is still waiting for its next try, not failed.
            if (s.InProgress) failed();
            else dayFailed = true;
            continue;
        }
        const size_t start = s.Content.find("<div id=\"div_calendar\"");
        const size_t end = start == std::string::npos ? start : s.Content.find("</div>", start);
        if (end == std::string::npos) {
            failed();
            continue;
        }
        // Parsed where nothing runs, as far as the rows a day stores (each may have a comment's
        // row); the user's clipboard is never used as scratch.
        const std::string fragment = scrapers::firstItems(s.Content.substr(start, end - start), "<tr",
                                                          2 * kEventsPerDay + 2, kListBytes);
        const inert::Fragment page = inert::Fragment::parse(fragment + "</div>");
        const auto divs = page.byTag("div");
        const auto tables = divs.empty() ? std::vector<inert::Element>() : divs[0].descendants("table");
        if (tables.empty()) {
            failed();
            continue;
        }
        const auto rows = tables[0].rows();
        size_t events = 0, bytes = 0;
        for (pugi::xml_node item : c.WeekList(static_cast<int16_t>(day))) bytes += c.FileBytes(item);
        bool full = false;
        for (size_t r = 1; r < rows.size() && events < kEventsPerDay && !full; ++r) {
            forms::ResumeNext([&] {
                const auto cells = rows[r].cells();
                std::string comment;
                if (r + 1 < rows.size()) {
                    const auto next = rows[r + 1].cells();
                    if (!next.empty() && settingNumber(next[0].attr("colspan")) == 6) comment = next[0].text();
                }
                if (cells.size() < 5) return;
                const std::string timeText = cells[0].text();
                if (timeText.empty()) return;
                const std::string time = eventTime(timeText), importance = forms::Trim(cells[2].text());
                if (forms::Len(time) > kTimeChars || forms::Len(importance) > kImportanceChars) return;
                // The values follow the title only while the whole fits, so that no mark is cut.
                std::string text = forms::Left(cells[1].text(), kTitleChars);
                auto append = [&](const std::string& part) {
                    if (forms::Len(text) + forms::Len(part) <= kTitleChars) text += part;
                };
                const std::string previous = cells[3].text(), forecast = cells[4].text();
                if (!previous.empty()) append(" <nobr>前值: " + previous + "</nobr>");
                if (!forms::Trim(forecast).empty()) append(" <nobr>市场预测: " + forecast + "</nobr>");
                pugi::xml_node item =
                    c.AddFXCalendar(static_cast<int16_t>(day), time, text, importance, forms::Left(comment, kCommentChars));
                // Text the file escapes takes several bytes a character: the day ends at the
                // first event past its share, whole, and keeps the ones before it.
                bytes += c.FileBytes(item);
                if (bytes > kDayBytes) {
                    item.parent().remove_child(item);
                    full = true;
                    return;
                }
                ++events;
            });
        }
        // The day is in: its source goes off for the rest of the week, and so does its label.
        s.Enabled = false;
        s.InProgress = false;
        s.Received = false;
        removeLabel(label);
        stored = true;
    }
    if (!dayFailed) {
        for (int day = 1; day <= 5; ++day) removeLabel(dayLabel(day));
        WeekComplete_ = true;
    }
    if (stored && ShownWeekday >= 1 && ShownWeekday <= 5) {
        SelWeek(ShownWeekday);
        AdjustCalcHead();
    }
    if (WeekComplete_) {
        m_Main::PlaySysSound("SystemAsterisk");
        calendarBalloon("本周的财经日历更新成功! ", "财经日历");
    }
}

// ---- The week view ---------------------------------------------------------------------------

void frmFXNotify::SelectWeekTab(int16_t day) {
    if (day < 1 || day > 5 || day == ShownWeekday) return;
    forms::ResumeNext([&] {
        web::PageBatch batch(Document);
        if (ShownWeekday > 0) el("week" + std::to_string(ShownWeekday)).parentElement().set("id", "");
        el("week" + std::to_string(day)).parentElement().set("id", "select");
    });
    ShownWeekday = day;
    SelWeek(day);
    forms::ResumeNext([&] { el("iCalHead").style().set("width", std::to_string(calendarWidth()) + "px"); });
}

void frmFXNotify::SelWeek(int16_t day) {
    if (day < 1 || day > 5) return;
    std::vector<pugi::xml_node> items;
    forms::ResumeNext([&] { items = Config().WeekList(day); });
    const std::string now = clockText(forms::Now());
    const int w = forms::Weekday(forms::Date()) - 1;
    const int offset = w >= 1 && w <= 5 ? w - day : 1;
    std::string html;
    for (size_t i = 0; i < items.size(); ++i) {
        const pugi::xml_node& item = items[i];
        const std::string time = attr(item, "Time"), comment = attr(item, "Comment"), notify = attr(item, "Notify");
        const std::string id = "w_" + std::to_string(day) + "_chk" + std::to_string(i + 1);
        const std::string past = "<INPUT type=radio id='" + id + "'  Disabled >";
        auto box = [&](const std::string& state) { return "<INPUT type=checkbox id='" + id + "' " + state + " >"; };
        std::string reminder;
        // A time that is no clock can never be reminded of.
        if (!isClock(time) || offset > 0) reminder = past;
        else if (offset < 0) reminder = box(notify == "1" ? "CHECKED" : "");
        else if (now < time) reminder = box(notify == "0" ? "" : notify == "1" ? "Checked" : "Checked Disabled");
        else reminder = past;
        std::string title = titleHtml(item.text().as_string());
        if (!comment.empty())
            title += "<hr style='border:dotted; color:#666666'/><font style ='color: #235ca9; padding-top:20px'>" +
                     inert::escapeHtml(comment) + "</font>";
        html += "<tr><td valign=\"middle\" align=\"center\" width=\"38px\">" + inert::escapeHtml(time) + "</td>" +
                "<td valign=\"middle\">" + title + "</td>" +
                "<td valign=\"middle\" align=\"center\" width=\"30px\">" + importanceHtml(attr(item, "Importance")) +
                "</td>" + "<td valign=\"middle\" align=\"center\" width=\"50px\">" + reminder + "</td></tr>";
    }
    // The header row stays; the day's rows replace the body in one write.
    forms::ResumeNext([&] { el("iTBody").innerHTML(html); });
}

void frmFXNotify::TBodyClick() {
    std::string id;
    bool checked = false;
    forms::ResumeNext([&] {
        web::HTMLElement a = Document.activeElement();
        id = a.id();
        checked = a.checked();
    });
    // "w_" + weekday + "_chk" + event number; the box must be one of the shown day's.
    if (id.size() < 8 || id.size() > 12 || id.compare(0, 2, "w_") != 0 || id.compare(3, 4, "_chk") != 0) return;
    if (id[2] - '0' != ShownWeekday) return;
    if (!std::all_of(id.begin() + 7, id.end(), digit)) return;
    const long n = std::stol(id.substr(7));
    std::vector<pugi::xml_node> items;
    forms::ResumeNext([&] { items = Config().WeekList(ShownWeekday); });
    if (n < 1 || n > static_cast<long>(items.size())) return;
    pugi::xml_node item = items[static_cast<size_t>(n - 1)];
    if (!item.attribute("Notify")) item.append_attribute("Notify");
    item.attribute("Notify") = checked ? "1" : "0";
}

void frmFXNotify::AdjustCalcHead() {
    if (CurrentPane_ != "iFXCalendar") return;
    forms::ResumeNext([&] {
        int32_t left = 0, top = 0, width = 0, height = 0;
        GetElementPos("iCalendar", left, top, width, height);
        web::PageBatch batch(Document);
        web::HTMLElement head = el("iCalHead");
        head.style().set("left", std::to_string(left) + "px");
        head.style().set("top", std::to_string(top) + "px");
        head.style().set("width", std::to_string(calendarWidth()) + "px");
    });
}

int frmFXNotify::calendarWidth() {
    // Without the list's scroll bar when it shows one.
    web::HTMLElement box = el("iDivCal");
    return box.offsetWidth() > box.clientWidth() ? box.clientWidth() : box.offsetWidth();
}

void frmFXNotify::markToday(int16_t day, bool today) {
    forms::ResumeNext([&] {
        auto spans = el("week" + std::to_string(day)).getElementsByTagName("SPAN");
        if (!spans.empty()) spans[0].className(today ? "weekToday" : "");
    });
}

// ---- Day and week changes, reminders ---------------------------------------------------------

void frmFXNotify::chkTimer_ThatTime() {
    // Nothing before the page has set up its week. An incomplete week still changes its day,
    // reminds of the days it holds and gives way to the next week on its Monday.
    if (WeekFrom_.value == 0 || Document.isNull()) return;
    const forms::DateTime today = forms::Date();
    const int16_t d = static_cast<int16_t>(forms::Weekday(today) - 1);
    if (d == 0 || d == 6) {
        if (TodayIndex_ != d) {
            if (TodayIndex_ >= 1 && TodayIndex_ <= 5) {
                markToday(TodayIndex_, false);
                SelWeek(ShownWeekday);
            }
            TodayIndex_ = d;
        }
        return;
    }
    if (TodayIndex_ != d) {
        if (TodayIndex_ >= 1 && TodayIndex_ <= 5) markToday(TodayIndex_, false);
        markToday(d, true);
        TodayIndex_ = d;
        SelWeek(ShownWeekday);
        ReminderStart = 0;
    }
    const forms::DateTime monday = today - (d - 1);
    if (monday != WeekFrom_) {
        newWeek(monday);
        return;
    }
    remindToday(d);
}

void frmFXNotify::newWeek(forms::DateTime monday) {
    WeekFrom_ = monday;
    cls_Config& c = Config();
    forms::ResumeNext([&] { c.RemoveAllFXCalendar(); });
    forms::ResumeNext([&] { c.SetNodeAttrib("FXCalendar", "DateFrom", forms::FormatDateTime(WeekFrom_, forms::vbShortDate)); });
    WeekComplete_ = false;
    const std::string site = siteBase(kCalendarSiteB);
    for (int slot = 4; slot <= 8; ++slot) {
        const forms::DateTime day = monday + (slot - 4);
        FeedSource& s = FeedSources[slot];
        s.URL = site + "/market/FinanceCalendar.asp?date=" + std::to_string(forms::Year(day)) + "/" +
                std::to_string(forms::Month(day)) + "/" + std::to_string(forms::Day(day));
        forms::ResumeNext([&] { el("week" + std::to_string(slot - 3)).title(forms::FormatDateTime(day, forms::vbLongDate)); });
        s.Enabled = true;
        // A page of last week still under way or not yet processed would be filed as this
        // week's day: it is dropped and the new day asked for at the next tick.
        if (s.InProgress) {
            if (ctlDown) ctlDown->CancelDownload(s.Key);
            s.Content.clear();
            s.InProgress = false;
            s.Received = false;
            s.Counter = s.Interval;
        }
    }
    SelWeek(ShownWeekday);
    calendarBalloon("正在获取本周的财经日历!\r\n从" + forms::CStr(monday) + " 到 " + forms::CStr(monday + 4), "财经日历");
    NewsX_Timer();
}

void frmFXNotify::remindToday(int16_t d) {
    std::vector<pugi::xml_node> items;
    forms::ResumeNext([&] { items = Config().WeekList(d); });
    if (items.empty()) return;
    const forms::DateTime clock = forms::Now();
    const std::string now = clockText(clock);
    cls_Config& c = Config();
    long lead = 0;
    forms::ResumeNext([&] {
        if (c.isExistAttrib("FXCalendar", "NotifyTime")) {
            lead = std::lround(settingNumber(c.GetNodeAttrib("FXCalendar", "NotifyTime"), 0, 1440));
        }
    });
    if (ReminderStart < 0 || static_cast<size_t>(ReminderStart) >= items.size()) ReminderStart = 0;
    std::string first, text;
    std::vector<std::string> given;  // ids of the boxes whose reminder is now given
    std::vector<int> started;        // rows of events that have begun
    for (size_t i = static_cast<size_t>(ReminderStart); i < items.size(); ++i) {
        pugi::xml_node item = items[i];
        const std::string t = attr(item, "Time");
        if (!isClock(t)) continue;
        if (now < t) {
            if (first.empty()) {
                first = t;
                ReminderStart = static_cast<int16_t>(i);
            }
            if (t != first) break;
            if (minutesOf(t) - minutesOf(now) <= lead + 1 && settingNumber(attr(item, "Notify")) == 1) {
                if (!text.empty()) text += "\r\n";
                std::string title = forms::Replace(item.text().as_string(), "<nobr>", " (");
                text += t + "  " + forms::Replace(title, "</nobr>", ")");
                item.attribute("Notify") = "2";
                if (ShownWeekday == d) given.push_back("w_" + std::to_string(d) + "_chk" + std::to_string(i + 1));
            }
        } else if (ShownWeekday == d) {
            started.push_back(static_cast<int>(i + 1));
        }
    }
    if (!given.empty() || !started.empty()) {
        forms::ResumeNext([&] {
            Document.execScript(
                "(function (day, given, started) { var t = document.getElementById('iCalTable');"
                " given.forEach(function (id) { var b = document.getElementById(id); if (b) b.disabled = true; });"
                " started.forEach(function (k) { var r = t.rows[k]; if (!r || r.cells.length < 4) return;"
                "  r.cells[3].innerHTML = \"<INPUT type=radio id='w_\" + day + \"_chk\" + k + \"'  Disabled >\"; }); })(" +
                std::to_string(d) + "," + nlohmann::json(given).dump() + "," + nlohmann::json(started).dump() + ")");
        });
    }
    if (text.empty()) return;
    const long nowSeconds = forms::Hour(clock) * 3600L + forms::Minute(clock) * 60L + forms::Second(clock);
    const long s = minutesOf(first) * 60L - nowSeconds - lead * 60;
    if (s < 1) {
        calendarBalloon(text, "财经事件提醒!");
        return;
    }
    PendingReminder = text;
    ReminderCountdown = static_cast<int16_t>(std::min(s, 32767L));
    TipTimer->Interval(1000);
}

void frmFXNotify::tipTimer_ThatTime() {
    if (ReminderCountdown < 2) {
        TipTimer->Interval(0);
        calendarBalloon(PendingReminder, "财经事件提醒!");
    } else {
        --ReminderCountdown;
    }
}

void frmFXNotify::calendarBalloon(const std::string& text, const std::string& title) {
    CalendarBalloons_.push_back({text, title});
    if (m_Main::MainForm) m_Main::MainForm->ShowBalloonTip(text, title, 1, "");
}
