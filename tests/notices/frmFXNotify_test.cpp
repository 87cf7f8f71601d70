// The notice window polling the fixture news sites on the virtual clock.
#include "FixtureSites.h"
#include "NoticeWindowFixture.h"
#include "notices/frmFXNotify.h"
#include "pages/Pages.h"
#include "platform/forms/Form.h"
#include "core/Program.h"
#include "support/PageEvents.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

using notice_testing::count;

struct Row {
    std::string cls, display, time, text, html;
};

// The program's notice window on a fresh machine whose site hosts lead to the fixture sites.
struct NoticeProgram : notice_testing::NoticeSitesFixture {
    explicit NoticeProgram(int day = 9) : NoticeSitesFixture(day) {}
    // Loaded with the source settings applied (FXEvent), not shown.
    void open() {
        load();
        w->FXEvent();
    }
    // FX168 alone among the news sites, for tests that count its rows; before load.
    void fx168Only() {
        testing_support::setSettingsAttrib("Settings/FXNews/Source/DailyFX_1", "Checked", "0");
        testing_support::setSettingsAttrib("Settings/FXNews/Source/CaiXun_1", "Checked", "0");
    }

    std::vector<Row> rows() {
        const auto text = w->PageDocument().execScript(
            "JSON.stringify(Array.prototype.map.call(document.getElementById('iTable').tBodies[0].rows,"
            " function (r) { return [r.className, r.style.display, r.cells[0].innerText, r.cells[1].innerText,"
            " r.cells[1].innerHTML]; }))");
        std::vector<Row> out;
        for (const auto& r : nlohmann::json::parse(text.get<std::string>()))
            out.push_back({r[0], r[1], r[2], r[3], r[4]});
        return out;
    }
};

const std::vector<std::string> kPage1 = {
    "美元指数早盘窄幅震荡 市场静待非农数据...", "欧元兑美元守稳1.17关口", "日本央行官员暗示年内或再次加息...",
    "英镑受英国GDP数据支撑小幅走高", "澳洲联储会议纪要：通胀仍高于目标区间...", "现货黄金亚市初段小幅回落",
    "原油库存意外增加 油价承压...", "纽元跟随澳元走软"};
const std::vector<std::string> kEdition2 = {"瑞士央行维持利率不变 瑞郎短线走强...", "加元随油价反弹"};

TEST(NoticeWindow, SourceTableAndFirstRequestsFollowTheWeek) {
    const struct {
        int day;
        const char* name;
        std::vector<std::string> dates;
    } weeks[] = {
        {9, "Wednesday", {"2026-12-07", "2026-12-08", "2026-12-09", "2026-12-10", "2026-12-11"}},
        {13, "Sunday", {"2026-12-07", "2026-12-08", "2026-12-09", "2026-12-10", "2026-12-11"}},
    };
    for (const auto& week : weeks) {
        SCOPED_TRACE(week.name);
        NoticeProgram p(week.day);
        // The account is sent URL-encoded.
        testing_support::setSettingsAttrib("Settings/Brisk", "UserID", "张 三&x");
        testing_support::setSettingsAttrib("Settings/Brisk", "Password", "p@ss=1");
        p.load();
        const std::string id = "%E5%BC%A0%20%E4%B8%89%26x", pw = "p%40ss%3D1";
        const std::string member = "http://member.kestrel.example";
        struct Want {
            int slot;
            std::string key, url;
            int32_t interval;
            bool isNews, enabled;
        };
        std::vector<Want> want = {
            {1, "FX168", "http://www.fx168.example/fxnews/news_now_html.htm?0", 10, true, false},
            {2, "Dailyfx", "http://www.dailyfx-hk.example/news/", 10, true, false},
            {3, "CaiXun", "http://forex.caixun.example/fx_information/", 10, true, false},
            {9, "Dailyfx_Techs", "http://www.dailyfx-hk.example/techs/", 60, false, true},
            {10, "Strategy", member + "/strategy.php?ID=" + id + "&passwd=" + pw, 30, false, true},
            {11, "Vip", member + "/vip.php?ID=" + id + "&passwd=" + pw, 30, false, true},
            {12, "Notice", member + "/notice.php?ID=" + id + "&passwd=" + pw, 900, false, true},
            {13, "", "", 0, false, false},
            {14, "FX168_2", "http://www.fx168.example/fxnews/News_Now_Html.aspx?page=2", 0, false, false},
            {15, "FX168_3", "http://www.fx168.example/fxnews/News_Now_Html.aspx?page=3", 0, false, false},
            {16, "GetTech", member + "/man.php?id=" + id + "&passwd=" + pw + "&passwd=" + pw, 0, false, true},
        };
        for (int d = 1; d <= 5; ++d)
            want.push_back({d + 3, "Calendar" + std::to_string(d),
                            "http://calendar-a.example/calendar/calendar_f_cnforex.php?date=" + week.dates[d - 1] +
                                "&currency=",
                            60, false, true});
        for (const auto& s : want) {
            SCOPED_TRACE(s.slot);
            const FeedSource& f = p.w->Source(s.slot);
            EXPECT_EQ(f.Key, s.key);
            EXPECT_EQ(f.URL, s.url);
            EXPECT_EQ(f.Interval, s.interval);
            EXPECT_EQ(f.Counter, s.interval) << "due at the first tick after enabling";
            EXPECT_EQ(f.IsNews, s.isNews);
            EXPECT_EQ(f.Enabled, s.enabled);
            EXPECT_FALSE(f.InProgress);
        }
        EXPECT_EQ(p.w->CurrentPane(), "iAllFX");
        EXPECT_EQ(p.w->TodayIndex(), week.day == 13 ? 0 : 3);
        EXPECT_EQ(p.js("document.getElementById('week3').getElementsByTagName('SPAN')[0].className"),
                  week.day == 9 ? "weekToday" : "");
        EXPECT_EQ(p.sites.requests().size(), 0u) << "nothing is fetched before the settings are applied";

        // FXEvent turns the news sources on and the first tick asks for every enabled row.
        p.w->FXEvent();
        for (int slot : {1, 2, 3, 14, 15}) EXPECT_TRUE(p.w->Source(slot).Enabled) << slot;
        EXPECT_TRUE(p.w->Working());
        // The page asks for its rows' pictures itself; the window's own requests are counted.
        auto windowRequests = [&] {
            std::multiset<std::string> out;
            for (const auto& r : p.sites.requests())
                if (!r.ends_with(".gif")) out.insert(r);
            return out;
        };
        ASSERT_TRUE(p.run([&] { return windowRequests().size() >= 15; }, testing_support::kOutsideWaitMs));
        const std::multiset<std::string> got = windowRequests();
        std::multiset<std::string> expected = {
            "/fx168/fxnews/news_now_html.htm?0", "/fx168/fxnews/News_Now_Html.aspx?page=2",
            "/fx168/fxnews/News_Now_Html.aspx?page=3", "/dailyfx/news/", "/dailyfx/techs/",
            "/caixun/fx_information/", "/member/strategy.php?ID=" + id + "&passwd=" + pw,
            "/member/vip.php?ID=" + id + "&passwd=" + pw, "/member/notice.php?ID=" + id + "&passwd=" + pw,
            "/member/man.php?id=" + id + "&passwd=" + pw + "&passwd=" + pw};
        for (const auto& date : week.dates)
            expected.insert("/calendar-a/calendar/calendar_f_cnforex.php?date=" + date + "&currency=");
        EXPECT_EQ(got, expected);
    }
}

TEST(NoticeWindow, StartsAtItsSavedPlaceOrASaneOne) {
    const struct {
        const char* name;
        const char* node;  // the window's node in the settings file
        long left, top, width, height;  // twips, 15 a pixel
    } cases[] = {
        {"saved", "<FXNews Status=\"1\" Left=\"100\" Top=\"50\" Width=\"700\" Height=\"500\"/>", 1500, 750, 10500, 7500},
        {"not saved", "<FXNews Status=\"1\"/>", 280 * 15, 160 * 15, 720 * 15, 480 * 15},
        {"beyond any number", "<FXNews Status=\"1\" Left=\"1e400\" Top=\"50\" Width=\"700\" Height=\"500\"/>",
         280 * 15, 160 * 15, 720 * 15, 480 * 15},
        {"absurd size", "<FXNews Status=\"1\" Left=\"100\" Top=\"50\" Width=\"9e15\" Height=\"-500\"/>",
         280 * 15, 160 * 15, 720 * 15, 480 * 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NoticeProgram p;
        std::string xml = testing_support::shippedSettings();
        const std::string shipped = "<FXNews Status=\"1\" Left=\"880\" Top=\"420\" Width=\"380\" Height=\"320\"/>";
        ASSERT_NE(xml.find(shipped), std::string::npos);
        xml.replace(xml.find(shipped), shipped.size(), c.node);
        p.m->writeFileAtomic(testing_support::kProgramSettings, xml);
        p.load();  // an error box would fail the test: none is scripted
        EXPECT_EQ(p.w->Left(), c.left);
        EXPECT_EQ(p.w->Top(), c.top);
        EXPECT_EQ(p.w->Width(), c.width);
        EXPECT_EQ(p.w->Height(), c.height);
    }
}

TEST(NoticeWindow, FXEventAppliesTheSourceSettingsToRowsAndTabs) {
    NoticeProgram p;
    p.load();
    auto set = [&](const char* source, const char* value) {
        ASSERT_TRUE(Config().SetNodeAttrib(std::string("Settings/FXNews/Source/") + source, "Checked", value));
    };
    auto tabShown = [&](const char* id) { return p.js(std::string("document.getElementById('") + id +
                                                      "').parentNode.style.display") != "none"; };
    // All three news sources off: their tabs go, the channels and calendar days still make more
    // than one row, so the all-news tab stays; the technical comment follows DailyFX.
    set("FX168_1", "0");
    set("DailyFX_1", "0");
    set("CaiXun_1", "0");
    p.w->FXEvent();
    for (int slot : {1, 2, 3, 9, 14, 15}) EXPECT_FALSE(p.w->Source(slot).Enabled) << slot;
    for (const char* tab : {"iFX168", "iDailyfx", "iCaiXun"}) EXPECT_FALSE(tabShown(tab)) << tab;
    EXPECT_TRUE(tabShown("iAllFX"));
    EXPECT_EQ(p.w->CurrentPane(), "iAllFX");

    // DailyFX back on: the comment stays off until the window loads again.
    set("DailyFX_1", "1");
    set("FX168_1", "2");
    p.w->FXEvent();
    EXPECT_TRUE(p.w->Source(2).Enabled);
    EXPECT_FALSE(p.w->Source(9).Enabled);
    for (int slot : {1, 14, 15}) EXPECT_TRUE(p.w->Source(slot).Enabled) << slot;
    EXPECT_TRUE(tabShown("iDailyfx"));
    EXPECT_TRUE(tabShown("iFX168"));
    EXPECT_FALSE(tabShown("iCaiXun"));

    // Hiding the tab that is showing leaves the calendar showing before the all-news tab returns.
    p.w->ClickFn_FX168();
    set("FX168_1", "0");
    p.w->FXEvent();
    EXPECT_FALSE(tabShown("iFX168"));
    EXPECT_EQ(p.w->CurrentPane(), "iAllFX");
}

TEST(NoticeWindow, FirstBatchFillsTheTableAndLaterCyclesAddEachItemOnce) {
    NoticeProgram p;
    p.fx168Only();
    testing_support::setSettingsAttrib("Window/FXNews", "Left", "460");
    testing_support::setSettingsAttrib("Window/FXNews", "Top", "200");
    testing_support::setSettingsAttrib("Window/FXNews", "Width", "760");
    testing_support::setSettingsAttrib("Window/FXNews", "Height", "520");
    p.open();
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    EXPECT_FALSE(p.w->Working());
    EXPECT_EQ(p.js("document.getElementById('iFront').style.display"), "none");
    auto rows = p.rows();
    ASSERT_EQ(rows.size(), 13u) << "three FX168 pages: 8 + 3 + 2 items";
    for (const auto& r : rows) {
        EXPECT_EQ(r.cls, "AllFX FX168");
        EXPECT_EQ(r.display, "");
    }
    EXPECT_EQ(rows.front().time, "12/10 09:12") << "sorted newest first";
    EXPECT_EQ(rows.back().time, "12/09 15:40");
    // A headline with "..." links to its item; one without is plain text with the label.
    EXPECT_EQ(rows.front().html,
              "<a href=\"http://www.fx168.example/fxnews/2026/1210/0912.htm\" target=\"_blank\" "
              "style=\"text-decoration:underline\">美元指数早盘窄幅震荡 市场静待非农数据...&nbsp;</a>"
              "<font size=\"-5\" color=\"#429DEE\">- FX168</font>");
    EXPECT_EQ(rows[1].html, "欧元兑美元守稳1.17关口&nbsp;<font size=\"-5\" color=\"#429DEE\">- FX168</font>");
    // The later pages run once per FXEvent.
    for (int slot : {14, 15}) EXPECT_FALSE(p.w->Source(slot).Enabled) << slot;

    EXPECT_EQ(p.w->ToastHtml(), "") << "the first cycle raises no toast";

    // The site brings two new items; the next cycles add them once, above the rest.
    p.sites.setEdition(2);
    ASSERT_TRUE(p.run([&] { return p.rows().size() >= 15; }, testing_support::kOutsideWaitMs));
    const int polls = p.sites.hits("/fx168/fxnews/news_now_html.htm");
    ASSERT_TRUE(p.run([&] { return p.sites.hits("/fx168/fxnews/news_now_html.htm") >= polls + 2; }, testing_support::kOutsideWaitMs));
    ASSERT_TRUE(p.run([&] { return p.idle(); }, testing_support::kOutsideWaitMs));
    rows = p.rows();
    ASSERT_EQ(rows.size(), 15u);
    EXPECT_EQ(rows[0].time, "12/10 09:31");
    EXPECT_EQ(rows[1].time, "12/10 09:24");
    std::string all;
    for (const auto& r : rows) all += r.text + "\n";
    for (const auto& h : kPage1) EXPECT_EQ(count(all, h), 1u) << h;
    for (const auto& h : kEdition2) EXPECT_EQ(count(all, h), 1u) << h;
    EXPECT_EQ(p.sites.hits("/fx168/fxnews/News_Now_Html.aspx"), 2);
    // Both new items go to the toast, one dashed rule between them.
    const std::string toast = p.w->ToastHtml();
    EXPECT_EQ(count(toast, "<HR style='border:1 dashed #987cb9' SIZE=1 >"), 1u);
    EXPECT_EQ(toast.rfind("<img src='FX168.gif'", 0), 0u);
    EXPECT_NE(toast.find("12/10 09:31&nbsp;" + kEdition2[0]), std::string::npos);
    EXPECT_NE(toast.find("12/10 09:24&nbsp;" + kEdition2[1]), std::string::npos);

    // A tab shows its own rows; the snapshot shows the FX168 tab filled from the site. The page's
    // own click reaches the window through its binding.
    p.w->Show(forms::vbModeless);
    p.js("document.getElementById('iFX168').click()");
    ASSERT_TRUE(p.pageWait([&] { return p.w->CurrentPane() == "iFX168"; }));
    EXPECT_EQ(p.js("document.getElementById('iFX168').parentNode.id"), "current");
    p.w->ClickFn_Notice();
    for (const auto& r : p.rows()) EXPECT_EQ(r.display, "none");
    p.w->ClickFn_FX168();
    for (const auto& r : p.rows()) EXPECT_EQ(r.display, "");
    ASSERT_TRUE(p.pageWait([&] { return p.js(testing_support::kImagesDone) == "true"; }));
    EXPECT_FALSE(testing_support::writeSnapshot("notices_fx168_tab").empty());
}

TEST(NoticeWindow, FailedSourcesAreLabelledNewestFirstOnceEach) {
    // The console hears each failure and each recovery once, and every batch's end.
    std::vector<std::string> told;
    const auto toldCount = [&](const std::string& start) {
        return std::count_if(told.begin(), told.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    };
    NoticeProgram p;
    m_Main::Tell = [&](const std::string& line) { told.push_back(line); };
    p.sites.setStatus("/dailyfx/news/", 404);
    p.sites.setStatus("/caixun/fx_information/", 404);
    p.sites.setSilent("/caixun/fx_information/", true);  // so DailyFX fails first
    p.open();
    ASSERT_TRUE(p.run([&] { return p.w->FailedSources() == "DailyFX财经市况;"; }, testing_support::kOutsideWaitMs));
    p.sites.setSilent("/caixun/fx_information/", false);
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    const std::string both = "CaiXun汇市动态;DailyFX财经市况;";
    EXPECT_EQ(p.w->FailedSources(), both);
    EXPECT_EQ(p.js("document.getElementById('TimeOutBar').style.display"), "");
    EXPECT_EQ(p.js("document.getElementById('TimeOut').innerText"), both + " 采集超时!");

    // Failing again on their own cycles adds nothing.
    const int polls = p.sites.hits("/dailyfx/news/");
    ASSERT_TRUE(p.run([&] { return p.sites.hits("/dailyfx/news/") >= polls + 2; }, testing_support::kOutsideWaitMs));
    ASSERT_TRUE(p.run([&] { return p.idle(); }, testing_support::kOutsideWaitMs));
    EXPECT_EQ(p.w->FailedSources(), both);

    // A source that answers again loses its label; the bar goes when none is left.
    p.sites.setStatus("/dailyfx/news/", 0);
    ASSERT_TRUE(p.run([&] { return p.w->FailedSources() == "CaiXun汇市动态;"; }, testing_support::kOutsideWaitMs));
    p.sites.clearSwitches();
    ASSERT_TRUE(p.run([&] { return p.w->FailedSources().empty(); }, testing_support::kOutsideWaitMs));
    EXPECT_EQ(p.js("document.getElementById('TimeOutBar').style.display"), "none");
    for (const char* source : {"DailyFX财经市况", "CaiXun汇市动态"}) {
        EXPECT_EQ(toldCount(std::string("source failed: ") + source), 1) << source;
        EXPECT_EQ(toldCount(std::string("source recovered: ") + source), 1) << source;
    }
    EXPECT_GE(toldCount("downloads done: "), 1);
}

TEST(NoticeWindow, ASiteTheMachineDoesNotLeadToIsNeverAsked) {
    NoticeProgram p;
    p.fx168Only();
    p.m->setSetting("net.host.member.kestrel.example", "");
    p.open();
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    EXPECT_EQ(p.w->FailedSources(), "Kestrel公告;Vip服务;策略服务;") << "newest first";
    for (const auto& r : p.sites.requests()) EXPECT_EQ(r.rfind("/member/", 0), std::string::npos) << r;
    EXPECT_EQ(p.rows().size(), 13u);
}

TEST(NoticeWindow, ASourceThatNeverAnswersEndsItsBatchAtTheTimeLimit) {
    NoticeProgram p;
    p.fx168Only();
    // Long enough for the other sites to answer on a loaded machine.
    p.m->setSetting("net.timeoutMs", "15000");
    p.sites.setSilent("/member/strategy.php", true);
    p.open();
    // Everything else has answered; the batch waits for the silent channel.
    ASSERT_TRUE(p.run([&] { return p.sites.hits("/fx168/fxnews/News_Now_Html.aspx") == 2 && p.w->Source(1).Received; },
                      testing_support::kOutsideWaitMs));
    EXPECT_FALSE(p.w->NewsShown());
    EXPECT_TRUE(p.w->Working());
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    EXPECT_EQ(p.w->FailedSources(), "策略服务;");
    EXPECT_FALSE(p.w->Working());
    EXPECT_EQ(p.rows().size(), 13u);
}

TEST(NoticeWindow, ABatchOfChannelsDueTogetherEndsWithItsLastAnswer) {
    NoticeProgram p;
    p.fx168Only();
    p.open();
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    ASSERT_FALSE(p.w->Working());
    // Started together in the first batch, the two channels fall due together again after
    // idling; the strategy channel answers (with a failure, to be seen), the VIP one is held.
    p.sites.setStatus("/member/strategy.php", 404);
    p.sites.setSilent("/member/vip.php", true);
    ASSERT_TRUE(p.run([&] { return p.w->FailedSources().find("策略服务;") != std::string::npos; }, testing_support::kOutsideWaitMs));
    EXPECT_TRUE(p.w->Working()) << "the VIP download is still out";
    EXPECT_TRUE(p.w->Source(11).InProgress);
    EXPECT_FALSE(p.w->Source(11).Received);
    EXPECT_TRUE(p.w->Source(10).InProgress) << "kept until the batch ends";

    p.sites.setSilent("/member/vip.php", false);
    ASSERT_TRUE(p.run([&] { return !p.w->Working(); }, testing_support::kOutsideWaitMs));
    for (int slot : {10, 11}) EXPECT_FALSE(p.w->Source(slot).InProgress) << slot;
    EXPECT_EQ(p.w->FailedSources(), "策略服务;");
}

TEST(NoticeWindow, AFetchedPageChangesNothingButText) {
    NoticeProgram p;
    p.fx168Only();
    const std::string beacon = p.sites.base("fx168") + "/beacon.gif";
    p.sites.setPage("/fx168/fxnews/news_now_html.htm",
                    "<html><body><script>window.parent.__pwned = 9</script><table id=\"DataList1\">"
                    "<tr><td>12/10 10:00</td><td><a href=\"javascript:window.__pwned=1\">脚本链接测试...</a></td></tr>"
                    "<tr><td>12/10 10:01<img src=\"" + beacon + "\" onerror=\"window.__pwned=2\"></td>"
                    "<td><a href=\"/fxnews/ok.htm\" onclick=\"window.__pwned=6\">图片事件测试...<script>window.__pwned=3</script></a></td></tr>"
                    "<tr><td>12/10 10:02</td><td><a href=\"/fxnews/t.htm\">&lt;img src=" + beacon +
                    " onerror=window.__pwned=4&gt;文字标题</a></td></tr>"
                    "<tr><td>12/10 10:03</td><td><a href=\"http://x.example/a' onmouseover='window.__pwned=5\">引号链接...</a></td></tr>"
                    "</table></body></html>");
    p.open();
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    ASSERT_TRUE(p.pageWait([&] { return p.js(testing_support::kImagesDone) == "true"; }));

    EXPECT_EQ(p.js("typeof window.__pwned"), "undefined");
    EXPECT_EQ(p.js("document.title"), "财经资讯");
    EXPECT_EQ(p.js("String(document.getElementById('iTable').tBodies[0].querySelectorAll('img,script,iframe,object,[onerror],"
                   "[onclick],[onmouseover]').length)"),
              "0");
    // Only the checked http link of the hostile page survives, beside the later pages' links.
    const auto hrefs = nlohmann::json::parse(
        p.js("JSON.stringify(Array.prototype.map.call(document.getElementById('iTable').getElementsByTagName('A'),"
             " function (a) { return a.getAttribute('href'); }))"));
    ASSERT_EQ(hrefs.size(), 4u);
    EXPECT_EQ(hrefs[0], "http://www.fx168.example/fxnews/ok.htm");
    for (const auto& h : hrefs) EXPECT_EQ(h.get<std::string>().rfind("http://www.fx168.example/fxnews/", 0), 0u) << h;
    EXPECT_EQ(p.sites.hits("/fx168/beacon.gif"), 0);
    std::string all;
    for (const auto& r : p.rows()) all += r.time + " " + r.text + "\n";
    EXPECT_NE(all.find("脚本链接测试..."), std::string::npos);
    EXPECT_NE(all.find("<img src=" + beacon + " onerror=window.__pwned=4>文字标题"), std::string::npos);
    EXPECT_NE(all.find("12/10 10:01"), std::string::npos);
    EXPECT_NE(all.find("引号链接..."), std::string::npos);
    EXPECT_EQ(p.rows().size(), 4u + 5u) << "the hostile first page and the two later pages";
}

TEST(NoticeWindow, TheTableKeepsItsNewestRowsAndTheMemoryWhatTheSiteStillLists) {
    NoticeProgram p;
    p.fx168Only();
    p.open();
    ASSERT_TRUE(p.run([&] { return p.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    const std::string path = "/fx168/fxnews/news_now_html.htm";
    // Each poll's page: the items given, the first on top.
    auto poll = [&](const std::vector<std::string>& items) {
        std::string page = "<html><body><table id=\"DataList1\">\n";
        for (const auto& h : items)
            page += "<tr><td class=\"time\">12/10 10:00</td><td class=\"title\"><a href=\"/x.htm\">" + h + "</a></td></tr>\n";
        p.sites.setPage(path, page + "</table></body></html>");
        const int hits = p.sites.hits(path);
        ASSERT_TRUE(p.run([&] { return p.sites.hits(path) > hits + 1 && p.idle(); }, testing_support::kOutsideWaitMs));
    };
    auto rowsWith = [&](const std::string& text) {
        size_t n = 0;
        for (const auto& r : p.rows()) n += r.text.find(text) != std::string::npos;
        return n;
    };
    // "长挂" stays listed throughout; "暂隐" leaves the list for a few reads and comes back;
    // "下架" leaves it for good. Batches of new items push all three out of the table.
    const size_t batch = frmFXNotify::kItemsPerSource - 3;
    int next = 0;
    auto fresh = [&] {
        std::vector<std::string> items;
        for (size_t i = 0; i < batch; ++i) items.push_back("新条目" + std::to_string(next++) + "号");
        return items;
    };
    auto with = [](std::vector<std::string> items, std::initializer_list<const char*> kept) {
        items.insert(items.end(), kept.begin(), kept.end());
        return items;
    };
    poll(with(fresh(), {"长挂", "暂隐", "下架"}));
    for (int i = 0; i < 2; ++i) poll(with(fresh(), {"长挂"}));
    poll(with(fresh(), {"长挂", "暂隐"}));
    EXPECT_EQ(rowsWith("暂隐"), 1u) << "back after a few reads, not new";
    while (static_cast<size_t>(next) < frmFXNotify::kTableRows + batch) poll(with(fresh(), {"长挂", "暂隐"}));

    // The table holds its newest rows only; what left it is not given again while listed.
    const auto rows = p.rows();
    EXPECT_EQ(rows.size(), frmFXNotify::kTableRows);
    EXPECT_EQ(rowsWith("新条目0号"), 0u);
    EXPECT_EQ(rowsWith("新条目" + std::to_string(next - 1) + "号"), 1u);
    for (const char* h : {"长挂", "暂隐", "下架"}) EXPECT_EQ(rowsWith(h), 0u) << h;
    // The memory holds what the site lists; an item it stopped listing long ago is let go.
    for (uint32_t i = 0; i < frmFXNotify::kSeenReads; ++i) poll({"长挂", "暂隐"});
    const std::string& seen = p.w->SeenText();
    EXPECT_NE(seen.find("长挂"), std::string::npos);
    EXPECT_NE(seen.find("暂隐"), std::string::npos);
    EXPECT_EQ(seen.find("下架"), std::string::npos);
    EXPECT_EQ(seen.find("新条目"), std::string::npos);
    EXPECT_EQ(rowsWith("长挂") + rowsWith("暂隐"), 0u);
}

} // namespace
