// The week's economic calendar of the notice window: day pages into the store, the weekday view,
// reminders and the week's changes, on the virtual clock against the fixture calendar sites.
#include "FixtureSites.h"
#include "notices/frmFXNotify.h"
#include "pages/Pages.h"
#include "platform/desktop/Clipboard.h"
#include "platform/forms/DateTime.h"
#include "platform/forms/Strings.h"
#include "support/PageEvents.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

namespace fs = std::filesystem;

const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
const std::string kDayPage = "calendar-a/calendar/calendar_f_cnforex.php";

// A copy of the fixture sites whose pages a test may change.
struct SiteTree {
    fs::path root;
    SiteTree() {
        root = fs::temp_directory_path() / ("pennant-calendar-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(reinterpret_cast<uintptr_t>(this)));
        const fs::path from = fixtures::defaultPagesDir();
        fs::create_directories(root);
        fs::copy(from, root / "pages", fs::copy_options::recursive);
        fs::copy_file(from.parent_path() / "hosts", root / "hosts");
    }
    ~SiteTree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path page(const std::string& rel) const { return root / "pages" / rel; }
    fs::path day(const std::string& date) const { return page(kDayPage + "@date=" + date + "&currency="); }
    void write(const fs::path& p, const std::string& text) const { std::ofstream(p, std::ios::binary) << text; }
};

std::string dayPage(const std::string& rows) {
    return "<html><body><div id=\"div_calendar\">\n<table>\n"
           "<tr><th>时间</th><th>事件</th><th>重要性</th><th>前值</th><th>预测值</th><th>公布值</th></tr>\n" +
           rows + "</table>\n</div></body></html>";
}

struct Item {
    std::string time, title, importance, notify, comment;
};

struct CalendarProgram {
    testing_support::TestMachine m;
    fixtures::FixtureSites sites;
    frmFXNotify* w = nullptr;

    CalendarProgram(int day, int hour, int minute, int second, const fs::path& pages = fixtures::defaultPagesDir())
        : m(options(day, hour, minute, second)), sites(pages) {
        m_Main::EndProgram();
        testing_support::installProgram(*m);
        pages::registerResources();
        m_Main::PageBase = kBase;
        for (const auto& [key, value] : sites.hostSettings()) m->setSetting(key, value);
        m_Main::NewFXNotify = [] { return std::make_shared<frmFXNotify>(); };
        Config().XmlFile(testing_support::kProgramSettings);
        EXPECT_TRUE(Config().Initialize());
    }
    ~CalendarProgram() {
        if (w && w->IsLoaded()) w->Unload();
        m_Main::EndProgram();
    }
    static sys::MachineOptions options(int day, int hour, int minute, int second) {
        sys::MachineOptions o;
        o.startLocalMs = sys::localMsFrom(2026, 12, day, hour, minute, second);
        return o;
    }
    // The week that starts on the Monday given, stored as the program left it.
    void storeWeek(const std::string& monday, const std::map<int, std::vector<Item>>& days, const char* lead = "10") {
        cls_Config& c = Config();
        c.SetNodeAttrib("FXCalendar", "DateFrom", monday);
        c.SetNodeAttrib("FXCalendar", "NotifyTime", lead);
        for (const auto& [day, items] : days)
            for (const auto& i : items) {
                c.AddFXCalendar(static_cast<int16_t>(day), i.time, i.title, i.importance, i.comment);
                c.WeekList(static_cast<int16_t>(day)).back().attribute("Notify") = i.notify.c_str();
            }
    }
    void load() {
        w = dynamic_cast<frmFXNotify*>(m_Main::FXNotifyForm());
        ASSERT_NE(w, nullptr);
        w->Load();
        ASSERT_TRUE(pageWait([&] { return !w->Busy(); }));
    }
    bool pageWait(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    bool run(const std::function<bool()>& pred, uint64_t ms) { return m->runUntil(pred, ms); }
    // The user's click: the press makes the element the page's active one, then the click.
    void press(const std::string& id) {
        js("(function (b) { b.dispatchEvent(new MouseEvent('mousedown', {bubbles: true})); b.click(); })"
           "(document.getElementById('" + id + "'))");
    }
    std::string js(const std::string& code) {
        const auto v = w->PageDocument().execScript(code);
        return v.is_string() ? v.get<std::string>() : v.dump();
    }
    // Time, title, notify, importance, comment of each stored item of the day.
    std::vector<std::vector<std::string>> stored(int day) {
        std::vector<std::vector<std::string>> out;
        for (const auto& n : Config().WeekList(static_cast<int16_t>(day))) {
            std::vector<std::string> names;
            for (const auto& a : n.attributes()) names.push_back(a.name());
            EXPECT_EQ(names, (std::vector<std::string>{"Time", "Notify", "Importance", "Comment"}));
            out.push_back({n.attribute("Time").as_string(), n.text().as_string(), n.attribute("Notify").as_string(),
                           n.attribute("Importance").as_string(), n.attribute("Comment").as_string()});
        }
        return out;
    }
    std::string notify(int day, size_t i) { return Config().WeekList(static_cast<int16_t>(day)).at(i).attribute("Notify").as_string(); }
    size_t balloons(const std::string& title) {
        size_t n = 0;
        for (const auto& b : w->CalendarBalloons()) n += b.title == title;
        return n;
    }
    int requests(const std::string& part) {
        int n = 0;
        for (const auto& r : sites.requests()) n += r.find(part) != std::string::npos;
        return n;
    }
    // The shown day's rows: time, text, importance colour, importance style, box type, id,
    // checked, disabled.
    nlohmann::json rows() {
        return nlohmann::json::parse(js(
            "JSON.stringify(Array.prototype.map.call(document.getElementById('iTBody').rows, function (r) {"
            " var f = r.cells[2].getElementsByTagName('FONT')[0], b = r.cells[3].getElementsByTagName('INPUT')[0];"
            " return [r.cells[0].innerText, r.cells[1].innerText, getComputedStyle(f).color, f.getAttribute('style') || '',"
            "  b.type, b.id, b.checked, b.disabled]; }))"));
    }
};

std::string clipboard() { return win::GetClipboardText(); }

TEST(CalendarStep, StoresTheFiveDaysOnceAndLeavesTheClipboardAlone) {
    CalendarProgram p(9, 9, 0, 0);
    ASSERT_TRUE(win::OpenClipboard(0));
    win::EmptyClipboard();
    win::SetClipboardText("用户复制的文字");
    win::CloseClipboard();
    p.load();
    EXPECT_FALSE(p.w->WeekComplete());
    ASSERT_EQ(p.balloons("从2026-12-7 到 2026-12-11"), 1u) << "the week is being fetched";
    p.w->FXEvent();
    ASSERT_TRUE(p.run([&] { return p.w->WeekComplete(); }, testing_support::kOutsideWaitMs));

    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(p.stored(1), (Rows{{"07:50", "日本第三季度GDP修正值(季率) <nobr>前值: 0.5%</nobr> <nobr>市场预测: 0.4%</nobr>", "0",
                                  "中", "修正值低于初值将打压日元"},
                                 {"17:30", "欧元区12月Sentix投资者信心指数 <nobr>前值: -9.2</nobr> <nobr>市场预测: -8.0</nobr>",
                                  "0", "低", ""}}));
    EXPECT_EQ(p.stored(2).at(0)[1], "澳大利亚11月NAB商业信心指数 <nobr>前值: 5</nobr>") << "no forecast, no mark";
    for (int d = 1; d <= 5; ++d) EXPECT_EQ(p.stored(d).size(), 2u) << d;
    for (int slot = 4; slot <= 8; ++slot) EXPECT_FALSE(p.w->Source(slot).Enabled) << slot;
    EXPECT_EQ(p.w->FailedSources().find("财经日历"), std::string::npos);
    EXPECT_EQ(p.balloons("财经日历"), 1u);
    EXPECT_EQ(p.w->CalendarBalloons().back().text, "本周的财经日历更新成功! ");
    EXPECT_EQ(clipboard(), "用户复制的文字");
    // Today's day shows what was stored.
    EXPECT_EQ(p.w->ShownDay(), 3);
    EXPECT_EQ(p.rows().size(), 2u);

    // Later cycles and a second call store nothing more and fetch no day again.
    p.w->ProcessSource(0);
    p.m->runFor(70000);
    for (int d = 1; d <= 5; ++d) EXPECT_EQ(p.stored(d).size(), 2u) << d;
    EXPECT_EQ(p.requests("/calendar-a/"), 5);
    EXPECT_EQ(p.balloons("财经日历"), 1u);
}

TEST(CalendarStep, AFailedDayIsLabelledRetriedAndNeverStoresADayTwice) {
    SiteTree tree;
    // Tuesday never arrives, Thursday comes without its marker, Friday carries the odd rows.
    fs::remove(tree.day("2026-12-08"));
    fs::remove(tree.page(kDayPage));
    const std::string thursday = tree.day("2026-12-10").string();
    fs::rename(thursday, thursday + ".keep");
    tree.write(thursday, "<html><body><div id=\"other\"><table><tr><td>维护中</td></tr></table></div></body></html>");
    tree.write(tree.day("2026-12-11"),
               dayPage("<tr><td>12-11 14:30</td><td>&lt;img src=x onerror=window.__pwned=1&gt;非农就业</td>"
                       "<td> 高 </td><td></td><td>   </td><td></td></tr>\n"
                       "<tr><td colspan=\"6\">X</td></tr>\n"
                       "<tr><td>全天</td><td>美国假日休市</td><td>低</td><td></td><td></td><td></td></tr>\n"
                       "<tr><td>只有一格</td></tr>\n"
                       "<tr><td>12-11 待定</td><td>欧盟峰会</td><td>其他</td><td>-</td><td>无</td><td></td></tr>\n"
                       "<tr><td colspan=\"6\"></td></tr>\n"
                       "<tr><td></td><td>无时间</td><td>低</td><td></td><td></td><td></td></tr>\n"
                       "<tr><td>23:00</td><td>最后一行</td><td>中</td><td></td><td></td><td></td></tr>\n"
                       "<tr><td>23:30</td><td>跨度溢出</td><td>低</td><td></td><td></td><td></td></tr>\n"
                       "<tr><td colspan=\"9e999\">不是点评</td></tr>\n"));
    CalendarProgram p(9, 9, 0, 0, tree.root / "pages");
    p.load();
    Config().SetNodeAttrib("FXCalendar", "NotifyTime", "800");
    p.w->FXEvent();
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));

    EXPECT_FALSE(p.w->WeekComplete());
    EXPECT_EQ(p.w->FailedSources(), "财经日历(星期二);财经日历(星期四);");
    EXPECT_EQ(p.js("document.getElementById('TimeOut').innerText"), "财经日历(星期二);财经日历(星期四); 采集超时!");
    EXPECT_EQ(p.balloons("财经日历"), 0u);
    for (int d : {2, 4}) EXPECT_TRUE(p.stored(d).empty()) << d;
    for (int d : {1, 3}) EXPECT_EQ(p.stored(d).size(), 2u) << d;
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(p.stored(5), (Rows{{"14:30", "<img src=x onerror=window.__pwned=1>非农就业", "0", "高", "X"},
                                 {"全天", "美国假日休市", "0", "低", ""},
                                 {"待定", "欧盟峰会 <nobr>前值: -</nobr> <nobr>市场预测: 无</nobr>", "0", "其他", ""},
                                 {"23:00", "最后一行", "0", "中", ""},
                                 {"23:30", "跨度溢出", "0", "低", ""}}));
    EXPECT_FALSE(p.js("document.getElementById('iTBody').innerHTML").empty());

    // The stored days still remind: Wednesday's first event, ticked, with a long lead.
    Config().WeekList(3).at(0).attribute("Notify") = "1";
    p.w->chkTimer_ThatTime();
    ASSERT_EQ(p.balloons("财经事件提醒!"), 1u);
    EXPECT_EQ(p.w->CalendarBalloons().back().text, "21:30  美国11月CPI(月率)  (前值: 0.3%)  (市场预测: 0.2%)");

    // Failing again keeps one label each; when the pages come, the days are added once.
    const int polls = p.requests("date=2026-12-08");
    ASSERT_TRUE(p.run([&] { return p.requests("date=2026-12-08") > polls; }, testing_support::kOutsideWaitMs));
    p.m->runFor(2000);
    EXPECT_EQ(p.w->FailedSources(), "财经日历(星期二);财经日历(星期四);");
    fs::copy_file(thursday + ".keep", tree.day("2026-12-08"));
    fs::rename(thursday + ".keep", thursday);
    ASSERT_TRUE(p.run([&] { return p.w->WeekComplete(); }, testing_support::kOutsideWaitMs));
    for (int d : {1, 2, 3, 4}) EXPECT_EQ(p.stored(d).size(), 2u) << d;
    EXPECT_EQ(p.stored(5).size(), 5u);
    EXPECT_EQ(p.w->FailedSources(), "");
    EXPECT_EQ(p.balloons("财经日历"), 1u);
    for (const char* date : {"2026-12-07", "2026-12-09", "2026-12-11"}) EXPECT_EQ(p.requests(date), 1) << date;
}

TEST(CalendarStep, AHostileWeekStoresBoundedFieldsAndKeepsTheSettingsFileSmall) {
    SiteTree tree;
    const std::string huge(50000, 'x');
    auto row = [](const std::string& time, const std::string& title, const std::string& importance,
                  const std::string& previous, const std::string& forecast) {
        return "<tr><td>" + time + "</td><td>" + title + "</td><td>" + importance + "</td><td>" + previous + "</td><td>" +
               forecast + "</td><td></td></tr>\n";
    };
    const std::string comment = "<tr><td colspan=\"6\">" + huge + "</td></tr>\n";
    // Monday to Wednesday: cells of 50,000 characters; Thursday and Friday: a thousand events.
    std::string big = row(huge, "时间太长", "高", "", "") + row("11:00", "重要性太长", huge, "", "") +
                      row("12:00", "短标题", "中", "1.0", "1.1") + comment;
    for (int i = 0; i < 3; ++i)
        big += row("12-0" + std::to_string(i) + " " + huge + " 10:0" + std::to_string(i), "标题" + huge, "高", huge, huge) +
               comment;
    std::string many;
    for (int i = 0; i < 1000; ++i) many += row("13:00", "事件" + std::to_string(i), "低", "", "");
    for (const char* day : {"2026-12-07", "2026-12-08", "2026-12-09"}) tree.write(tree.day(day), dayPage(big));
    for (const char* day : {"2026-12-10", "2026-12-11"}) tree.write(tree.day(day), dayPage(many));
    CalendarProgram p(9, 9, 0, 0, tree.root / "pages");
    p.load();
    p.w->FXEvent();
    ASSERT_TRUE(p.run([&] { return p.w->WeekComplete(); }, testing_support::kOutsideWaitMs));
    // The caps leave such a week a few tens of kilobytes in the file.
    Config().XMLSave();
    const size_t size = p.m->readFile(testing_support::kProgramSettings).value_or("").size();
    std::cout << "settings file after a hostile week: " << size << " bytes\n";
    EXPECT_LT(size, 200u * 1024);

    for (int d = 1; d <= 5; ++d) {
        SCOPED_TRACE(d);
        const auto items = p.stored(d);
        EXPECT_LE(items.size(), 200u);
        for (const auto& i : items) {
            EXPECT_LE(forms::Len(i[0]), 16);
            EXPECT_LE(forms::Len(i[1]), 400);
            EXPECT_LE(forms::Len(i[3]), 8);
            EXPECT_LE(forms::Len(i[4]), 1000);
        }
    }
    // Over-long titles and comments are cut, and values that no longer fit are left out; a time
    // or an importance too long to be one skips its row.
    const auto monday = p.stored(1);
    ASSERT_EQ(monday.size(), 4u);
    EXPECT_EQ(monday[0][1], "短标题 <nobr>前值: 1.0</nobr> <nobr>市场预测: 1.1</nobr>");
    EXPECT_EQ(monday[0][4], huge.substr(0, 1000));
    EXPECT_EQ(monday[1][0], "10:00");
    EXPECT_EQ(monday[1][1], "标题" + huge.substr(0, 398));
    EXPECT_EQ(monday[1][4], huge.substr(0, 1000));
    EXPECT_EQ(p.stored(4).size(), 200u);
    EXPECT_EQ(p.stored(5).back()[1], "事件199");
}

TEST(CalendarStep, AWeekOfFieldsAtTheirCapsKeepsTheFirstEventsWithinTheFileBudget) {
    // Characters that the file writer escapes into five or six bytes each, and three-byte ones.
    const struct {
        const char* name;
        std::string titleChar, titleHtml, commentChar;
    } weeks[] = {{"escaped", "&", "&amp;", "\""}, {"CJK", "中", "中", "文"}};
    for (const auto& week : weeks) {
        SCOPED_TRACE(week.name);
        std::string title, titleHtml, comment;
        for (int i = 0; i < 400; ++i) title += week.titleChar, titleHtml += week.titleHtml;
        for (int i = 0; i < 1000; ++i) comment += week.commentChar;
        std::string rows;
        std::vector<std::string> times;
        char time[8];
        for (int i = 0; i < 200; ++i) {
            std::snprintf(time, sizeof time, "%02d:%02d", i / 60, i % 60);
            times.push_back(time);
            rows += std::string("<tr><td>") + time + "</td><td>" + titleHtml + "</td><td>高</td><td></td><td></td><td></td></tr>\n" +
                    "<tr><td colspan=\"6\">" + comment + "</td></tr>\n";
        }
        SiteTree tree;
        for (const char* day : {"2026-12-07", "2026-12-08", "2026-12-09", "2026-12-10", "2026-12-11"})
            tree.write(tree.day(day), dayPage(rows));
        CalendarProgram p(9, 9, 0, 0, tree.root / "pages");
        p.load();
        Config().XMLSave();
        const size_t before = p.m->readFile(testing_support::kProgramSettings).value_or("").size();
        p.w->FXEvent();
        ASSERT_TRUE(p.run([&] { return p.w->WeekComplete(); }, testing_support::kOutsideWaitMs));
        Config().XMLSave();
        const size_t size = p.m->readFile(testing_support::kProgramSettings).value_or("").size();
        std::cout << "settings file after a week of " << week.name << " fields at their caps: " << size << " bytes\n";
        // The week's budget, and the few bytes of the days' own tags.
        EXPECT_LE(size, before + frmFXNotify::kCalendarBytes + 512);

        // Each day keeps its first events whole, and the shown day shows them.
        for (int d = 1; d <= 5; ++d) {
            SCOPED_TRACE(d);
            const auto items = p.stored(d);
            ASSERT_FALSE(items.empty());
            EXPECT_LT(items.size(), 200u);
            for (size_t i = 0; i < items.size(); ++i) {
                EXPECT_EQ(items[i][0], times[i]);
                EXPECT_EQ(items[i][1], title);
                EXPECT_EQ(items[i][4], comment);
            }
        }
        EXPECT_EQ(p.rows().size(), p.stored(3).size());
    }
}

TEST(Reminders, ComeAtTheLeadTimeTogetherPerTimeAndNeverForATimeThatIsNoClock) {
    CalendarProgram p(9, 14, 17, 0);
    p.storeWeek("2026-12-7", {{1, {{"10:00", "周一事件", "低", "0", ""}}},
                               {2, {{"10:00", "周二事件", "低", "0", ""}}},
                               {3,
                                {{"09:00", "早间事件", "低", "1", ""},
                                 {"14:30", "事件甲 <nobr>前值: 1</nobr>", "高", "1", ""},
                                 {"14:30", "事件乙", "中", "1", ""},
                                 {"14:30", "事件丙", "低", "0", ""},
                                 {"14:45", "事件丁", "中", "1", ""},
                                 {"全天", "事件戊", "低", "1", ""}}},
                               {4, {{"10:00", "周四事件", "低", "1", ""}}},
                               {5, {{"10:00", "周五事件", "低", "0", ""}}}});
    p.load();
    ASSERT_TRUE(p.w->WeekComplete());
    EXPECT_EQ(p.w->Source(6).Enabled, false);
    EXPECT_TRUE(p.w->CalendarBalloons().empty());
    p.w->Calendar();

    // 10 minutes' lead: the first tick from 14:19 takes both 14:30 events; the balloon comes at 14:20.
    ASSERT_TRUE(p.run([&] { return p.balloons("财经事件提醒!") == 1; }, 5 * 60000));
    const forms::DateTime at = forms::Now();
    EXPECT_GE(at, forms::DateSerial(2026, 12, 9) + forms::TimeSerial(14, 19, 58));
    EXPECT_LE(at, forms::DateSerial(2026, 12, 9) + forms::TimeSerial(14, 20, 1));
    EXPECT_EQ(p.w->CalendarBalloons().back().text, "14:30  事件甲  (前值: 1)\r\n14:30  事件乙");
    EXPECT_EQ(p.notify(3, 1), "2");
    EXPECT_EQ(p.notify(3, 2), "2");
    EXPECT_EQ(p.notify(3, 3), "0");
    EXPECT_EQ(p.notify(3, 4), "1") << "a later time waits for the earlier one to pass";
    EXPECT_EQ(p.js("String(document.getElementById('w_3_chk2').disabled && document.getElementById('w_3_chk3').disabled)"),
              "true");
    EXPECT_EQ(p.js("String(document.getElementById('w_3_chk5').disabled)"), "false");

    // Once 14:30 has begun its events are greyed; 14:45 is reminded at 14:35.
    ASSERT_TRUE(p.run([&] { return p.balloons("财经事件提醒!") == 2; }, 20 * 60000));
    EXPECT_EQ(p.w->CalendarBalloons().back().text, "14:45  事件丁");
    const auto rows = p.rows();
    for (int r : {0, 1, 2, 3}) EXPECT_EQ(rows[r][4], "radio") << r;
    for (int r : {0, 1, 2, 3}) EXPECT_EQ(rows[r][7], true) << r;
    p.run([] { return false; }, 9 * 3600000);
    EXPECT_EQ(p.balloons("财经事件提醒!"), 2u);
    EXPECT_EQ(p.notify(3, 5), "1") << "a day-long event is never scheduled";
    EXPECT_EQ(p.notify(4, 0), "1") << "another day's event waits for its day";
}

TEST(WeekView, RowsAndBoxesOnAWednesdayAfternoon) {
    CalendarProgram p(9, 14, 30, 0);
    const std::string hostile = "<img src=x onerror=window.__pwned=1>美联储 <nobr>前值: 1</nobr>";
    p.storeWeek("2026-12-7", {{1, {{"10:00", "周一事件", "高", "1", ""}}},
                               {2,
                                {{"08:30", "周二一", "低", "0", ""},
                                 {"09:30", "周二二", "中", "0", ""},
                                 {"19:00", "周二三", "高", "1", ""}}},
                               {3,
                                {{"14:30", hostile, "高", "1", "<b onclick=\"window.__pwned=2\">点评</b>"},
                                 {"14:31", "欧元区", "中", "0", ""},
                                 {"16:00", "英国", "低", "2", ""},
                                 {"16:30", "加拿大", "其他", "1", ""},
                                 {"全天", "假日", "低", "1", ""}}},
                               {4, {{"10:00", "周四一", "中", "1", ""}, {"11:00", "周四二", "中", "0", ""}}},
                               {5, {{"10:00", "周五一", "低", "0", ""}}}});
    for (const auto& [name, value] : {std::pair<const char*, const char*>{"Left", "300"}, {"Top", "100"}, {"Width", "640"},
                                      {"Height", "460"}})
        Config().SetNodeAttrib("Window/FXNews", name, value);
    p.load();
    p.w->Show(forms::vbModeless);
    p.w->Calendar();
    p.js("document.getElementById('iFront').style.display = 'none'");  // the news' first content takes it off
    EXPECT_EQ(p.w->ShownDay(), 3);
    EXPECT_EQ(p.js("document.getElementById('week3').parentNode.id"), "select");
    EXPECT_EQ(p.js("document.getElementById('week3').getElementsByTagName('SPAN')[0].className"), "weekToday");

    auto rows = p.rows();
    ASSERT_EQ(rows.size(), 5u);
    const struct {
        const char *time, *type, *id;
        bool checked, disabled;
        const char* colour;
    } today[] = {
        {"14:30", "radio", "w_3_chk1", false, true, "rgb(255, 0, 0)"},  // now: begun
        {"14:31", "checkbox", "w_3_chk2", false, false, "rgb(255, 153, 0)"},
        {"16:00", "checkbox", "w_3_chk3", true, true, "rgb(102, 204, 0)"},  // reminder given
        {"16:30", "checkbox", "w_3_chk4", true, false, ""},
        {"全天", "radio", "w_3_chk5", false, true, "rgb(102, 204, 0)"},  // no clock: never reminded
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i][0], today[i].time);
        EXPECT_EQ(rows[i][4], today[i].type);
        EXPECT_EQ(rows[i][5], today[i].id);
        EXPECT_EQ(rows[i][6], today[i].checked);
        EXPECT_EQ(rows[i][7], today[i].disabled);
        if (*today[i].colour) EXPECT_EQ(rows[i][2], today[i].colour);
        else EXPECT_EQ(rows[i][3], "") << "an unknown importance has no colour";
    }
    // Page text is shown as text; only the event's own marks are tags.
    EXPECT_EQ(rows[0][1], "<img src=x onerror=window.__pwned=1>美联储 前值: 1\n<b onclick=\"window.__pwned=2\">点评</b>");
    EXPECT_EQ(p.js("String(document.getElementById('iTBody').querySelectorAll('img,b,[onclick],[onerror]').length)"), "0");
    EXPECT_EQ(p.js("String(document.getElementById('iTBody').getElementsByTagName('NOBR').length)"), "1");

    // Past days grey every box, later days tick what was asked for.
    p.w->SelectWeekTab(1);
    EXPECT_EQ(p.js("document.getElementById('week3').parentNode.id"), "");
    EXPECT_EQ(p.rows()[0][4], "radio");
    p.w->SelectWeekTab(2);
    EXPECT_EQ(p.rows()[2][5], "w_2_chk3");
    p.w->SelectWeekTab(5);
    EXPECT_EQ(p.rows()[0][5], "w_5_chk1");
    p.w->SelectWeekTab(4);
    rows = p.rows();
    EXPECT_EQ(rows[0][4], "checkbox");
    EXPECT_EQ(rows[0][6], true);
    EXPECT_EQ(rows[1][6], false);
    EXPECT_EQ(rows[1][7], false);

    // The same tab again draws nothing; the marks a redraw would lose stay.
    p.js("document.getElementById('iTBody').rows[0].setAttribute('data-mark', 'x')");
    p.w->SelectWeekTab(4);
    p.js("document.getElementById('week4').click()");
    ASSERT_TRUE(testing_support::settlePage(p.m, p.w->PageDocument()));
    EXPECT_EQ(p.js("document.getElementById('iTBody').rows[0].getAttribute('data-mark')"), "x");

    // A click on a box stores it; ids of no shown item change nothing.
    p.press("w_4_chk2");
    ASSERT_TRUE(p.pageWait([&] { return p.notify(4, 1) == "1"; }));
    for (const char* id : {"w_4_chk99", "w_4_chk0", "w_3_chk2", "w_4_chk1x", "w_9_chk1"}) {
        p.js(std::string("(function () { var b = document.createElement('input'); b.type = 'checkbox'; b.id = '") + id +
             "'; document.getElementById('iTBody').rows[0].cells[3].appendChild(b); })()");
        p.press(id);
        ASSERT_TRUE(testing_support::settlePage(p.m, p.w->PageDocument()));
        p.js(std::string("document.getElementById('") + id + "').remove()");
    }
    EXPECT_EQ(p.notify(4, 0), "1");
    EXPECT_EQ(p.notify(3, 1), "0") << "a box of another day than the shown one";
    p.press("w_4_chk2");
    ASSERT_TRUE(p.pageWait([&] { return p.notify(4, 1) == "0"; }));

    p.js("document.getElementById('week3').click()");
    ASSERT_TRUE(p.pageWait([&] { return p.w->ShownDay() == 3; }));
    EXPECT_EQ(p.js("typeof window.__pwned"), "undefined");
    ASSERT_TRUE(p.pageWait([&] { return p.js(testing_support::kImagesDone) == "true"; }));
    EXPECT_FALSE(testing_support::writeSnapshot("notices_calendar_week").empty());
}

TEST(WeekRollover, WeekendClearsTodayAndMondayFetchesTheNewWeekEvenAfterAnIncompleteOne) {
    {
        SCOPED_TRACE("Friday night");
        CalendarProgram p(11, 23, 59, 0);
        p.storeWeek("2026-12-7", {{1, {{"10:00", "一", "低", "0", ""}}},
                                   {2, {{"10:00", "二", "低", "0", ""}}},
                                   {3, {{"10:00", "三", "低", "0", ""}}},
                                   {4, {{"10:00", "四", "低", "0", ""}}},
                                   {5, {{"23:59", "五", "低", "1", ""}}}});
        p.load();
        ASSERT_TRUE(p.w->WeekComplete());
        EXPECT_EQ(p.js("document.getElementById('week5').getElementsByTagName('SPAN')[0].className"), "weekToday");
        p.run([] { return false; }, 3 * 60000);
        EXPECT_EQ(p.w->TodayIndex(), 6);
        EXPECT_EQ(p.js("document.getElementById('week5').getElementsByTagName('SPAN')[0].className"), "");
        EXPECT_EQ(p.rows()[0][4], "radio") << "the whole week lies behind";
        EXPECT_TRUE(p.w->WeekComplete());
        EXPECT_TRUE(p.w->CalendarBalloons().empty());
        EXPECT_EQ(p.stored(5).size(), 1u);
    }
    SCOPED_TRACE("Sunday night");
    SiteTree tree;
    fs::remove(tree.day("2026-12-09"));
    fs::remove(tree.page(kDayPage));
    CalendarProgram p(13, 23, 58, 30, tree.root / "pages");
    p.load();
    EXPECT_EQ(p.w->TodayIndex(), 0);
    p.w->FXEvent();
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    EXPECT_FALSE(p.w->WeekComplete());
    EXPECT_EQ(p.stored(1).size(), 2u);
    EXPECT_EQ(p.w->FailedSources().find("财经日历(星期三);"), 0u);

    ASSERT_TRUE(p.run([&] { return p.balloons("财经日历") == 1; }, 4 * 60000));
    EXPECT_EQ(p.w->CalendarBalloons().back().text, "正在获取本周的财经日历!\r\n从2026-12-14 到 2026-12-18");
    EXPECT_EQ(p.w->WeekFrom(), forms::DateSerial(2026, 12, 14));
    EXPECT_EQ(Config().GetNodeAttrib("FXCalendar", "DateFrom"), "2026-12-14");
    EXPECT_EQ(p.w->TodayIndex(), 1);
    EXPECT_EQ(p.js("document.getElementById('week1').getElementsByTagName('SPAN')[0].className"), "weekToday");
    EXPECT_EQ(p.js("document.getElementById('week5').title"), "2026年12月18日");
    EXPECT_EQ(p.w->Source(8).URL, "http://calendar-b.example/market/FinanceCalendar.asp?date=2026/12/18");

    ASSERT_TRUE(p.run([&] { return p.w->WeekComplete(); }, 3 * 60000));
    for (int d = 1; d <= 5; ++d) {
        SCOPED_TRACE(d);
        const auto items = p.stored(d);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0][0], "09:30");
        EXPECT_EQ(items[0][4], "食品价格回升带动通胀");
    }
    for (int d = 14; d <= 18; ++d)
        EXPECT_EQ(p.requests("/calendar-b/market/FinanceCalendar.asp?date=2026/12/" + std::to_string(d)), 1) << d;
    EXPECT_EQ(p.w->FailedSources().find("财经日历"), std::string::npos);
    EXPECT_EQ(p.balloons("财经日历"), 2u);
}

} // namespace
