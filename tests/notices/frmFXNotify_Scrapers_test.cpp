// The news-source scrapers: how each page is cut, and each site's fixture read into the notice
// window's table, analyst list and toast on the virtual clock.
#include "FixtureSites.h"
#include "NoticeWindowFixture.h"
#include "notices/frmFXNotify.h"
#include "notices/frmFXNotify_Scrapers.h"
#include "notices/frmToast.h"
#include "pages/Pages.h"
#include "platform/forms/Form.h"
#include "support/PageEvents.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

using notice_testing::count;

// ---- Cutting, no page needed ------------------------------------------------------------------

TEST(NewsCuts, TakeTheListPartOfEachPage) {
    const std::string left = "<div class=\"left\">", right = "<div class=\"right\">";
    const std::string article = "<table class=\"articles_tbl\">";
    const struct {
        const char* name;
        std::string (*cut)(const std::string&);
        std::string page, want;
    } cases[] = {
        {"CaiXun: the character before the right column goes", scrapers::cutCaiXun,
         "<p>" + left + "<div>a</div></div>\n" + right + "b", left + "<div>a</div></div>"},
        {"CaiXun: a character of several bytes goes whole", scrapers::cutCaiXun, left + "a中" + right, left + "a"},
        {"CaiXun: no right column after the left", scrapers::cutCaiXun, right + left + "a", ""},
        {"CaiXun: no left column", scrapers::cutCaiXun, "<div class=\"left \">a" + right, ""},
        {"DailyFX: the second article table, nested tables and words with 'table' inside", scrapers::cutDailyfxNews,
         article + "menu</table>" + "<div><table class=\"articles_tbl\" w=1><tr><td><table><tr><td>n</td></tr>"
                                    "</table>timetable</td></tr></table><table><tr><td>footer</td></tr></table>",
         "<table class=\"articles_tbl\" w=1><tr><td><table><tr><td>n</td></tr></table>timetable</td></tr></table>"},
        {"DailyFX: one article table only", scrapers::cutDailyfxNews, article + "a</table>", ""},
        {"DailyFX: a list that never closes", scrapers::cutDailyfxNews,
         article + "</table>" + article + "<tr><td><table>x</table>", ""},
        {"technical comment: the first article table", scrapers::cutDailyfxTechs,
         "<p>" + article + "<tr><td>a</td></tr></table>" + article + "b</table>",
         article + "<tr><td>a</td></tr></table>"},
        {"technical comment: no article table", scrapers::cutDailyfxTechs, "<table><tr><td>a</td></tr></table>", ""},
        {"analysts: the first table", scrapers::cutAnalysts, "<p><table><tr><td>x</td></tr></table><table>y</table>",
         "<table><tr><td>x</td></tr></table>"},
        {"analysts: a table that never closes", scrapers::cutAnalysts, "<table><tr><td>x", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.cut(c.page), c.want) << c.name;
}

TEST(NewsCuts, DailyfxDatesReadAsMonthAndDay) {
    const std::string digits300(300, '9');
    const struct {
        std::string date, time, want;
    } cases[] = {
        {"12月25日", "08:00", "12/25 08:00 "}, {"1月15日", "21:30", "01/15 21:30 "},
        {"3月5日", "14:30", "03/05 14:30 "},   {"10月1日", "09:00", "10/01 09:00 "},
        {" 03月05日 ", "9:05", "03/05 9:05 "}, {"12月31日", "23:59", "12/31 23:59 "},
        {"", "09:00", ""},
        // Nothing else is a date: such a row is shown without a time.
        {"1e400月25日", "08:00", ""}, {"12月1e400日", "08:00", ""}, {digits300 + "月5日", "08:00", ""},
        {"3月" + digits300 + "日", "08:00", ""}, {digits300, "08:00", ""}, {"13月1日", "08:00", ""},
        {"0月5日", "08:00", ""}, {"12月32日", "08:00", ""}, {"12月0日", "08:00", ""}, {"003月5日", "08:00", ""},
        {"-3月5日", "08:00", ""}, {"3.5月5日", "08:00", ""}, {"3月5", "08:00", ""}, {"月5日", "08:00", ""},
        {"3月日", "08:00", ""}, {"3月5日 周四", "08:00", ""}, {"３月５日", "08:00", ""},
        // A time of day that is no clock is left out, the date kept.
        {"3月5日", digits300, "03/05 "}, {"3月5日", "24:00", "03/05 "}, {"3月5日", "14:60", "03/05 "},
        {"3月5日", "", "03/05 "}, {"3月5日", "14:3", "03/05 "},
    };
    for (const auto& c : cases) {
        std::string got;
        try {
            got = scrapers::dailyfxTime(c.date, c.time);
        } catch (const std::exception& e) {
            got = std::string("threw ") + e.what();
        }
        EXPECT_EQ(got, c.want) << c.date.substr(0, 40) << " " << c.time.substr(0, 20);
    }
}

TEST(NewsCuts, AListIsReadAsFarAsTheItemsTaken) {
    const std::string rows = "<table><TR><th>h</th></TR><tr><td>1</td></tr><track><tr class=x><td>2</td></tr>"
                             "<tr><td>3</td></tr></table>";
    const std::string blocks = "<div class=\"left\"><div class=\"cot_block_line\">a</div><div class=\"cot_block_line2\">"
                               "b</div><div class=\"COT_BLOCK_LINE\">c</div>";
    // Items whose parts carry classes named after the item's own.
    const auto nested = [](char joint) {
        const std::string part = std::string("cot_block_line") + joint;
        return "<div class=\"cot_block_line\"><div class=\"" + part + "title\">a</div><div class=\"" + part +
               "time\">1</div></div><div class=\"cot_block_line\"><div class=\"" + part + "title\">b</div></div>";
    };
    const struct {
        const char* name;
        std::string list, marker;
        size_t items, maxBytes;
        std::string want;
    } cases[] = {
        {"all rows fit", rows, "<tr", 10, 1000, rows},
        {"the rows after the third go", rows, "<tr", 3, 1000, rows.substr(0, rows.find("<tr><td>3"))},
        {"a row reaching past the limit goes with the rest", rows, "<tr", 10, rows.find("<tr><td>3") - 2,
         rows.substr(0, rows.find("<tr class=x"))},
        {"the last row past the limit", rows, "<tr", 10, rows.size() - 1, rows.substr(0, rows.find("<tr><td>3"))},
        {"a first row past the limit leaves the head", rows, "<tr", 10, 8, "<table>"},
        {"items marked by a class, cut at their tag", blocks, "cot_block_line", 1, 1000,
         blocks.substr(0, blocks.find("<div class=\"COT"))},
        {"a class going on with _ belongs to its item", nested('_'), "cot_block_line", 1, 1000,
         nested('_').substr(0, nested('_').rfind("<div class=\"cot_block_line\""))},
        {"a class going on with - belongs to its item", nested('-'), "cot_block_line", 1, 1000,
         nested('-').substr(0, nested('-').rfind("<div class=\"cot_block_line\""))},
    };
    for (const auto& c : cases) EXPECT_EQ(scrapers::firstItems(c.list, c.marker, c.items, c.maxBytes), c.want) << c.name;
}

// ---- The fixture sites read by the notice window -----------------------------------------------

struct Row {
    std::string cls, display, time, html, text;
};

// The notice window on a fresh Wednesday machine whose site hosts lead to the fixture sites.
struct Notices : notice_testing::NoticeSitesFixture {
    Notices() : NoticeSitesFixture(9) {}
    // Loads the window, waits for its page and applies the source settings; true once the first
    // content is shown.
    bool open() {
        Config().XmlFile(testing_support::kProgramSettings);
        if (!Config().Initialize()) return false;
        w = dynamic_cast<frmFXNotify*>(m_Main::FXNotifyForm());
        if (!w) return false;
        w->Load();
        if (!pageWait([&] { return !w->Busy(); })) return false;
        w->FXEvent();
        return run([&] { return w->NewsShown(); }, testing_support::kOutsideWaitMs);
    }
    // The table's rows of one source ("" for all), in table order.
    std::vector<Row> rows(const std::string& source = "") {
        const auto text = js(
            "JSON.stringify(Array.prototype.map.call(document.getElementById('iTable').tBodies[0].rows,"
            " function (r) { return [r.className, r.style.display, r.cells[0].innerText.trim(),"
            " r.cells[1].innerHTML, r.cells[1].innerText]; }))");
        std::vector<Row> out;
        for (const auto& r : nlohmann::json::parse(text)) {
            Row row{r[0], r[1], r[2], r[3], r[4]};
            if (source.empty() || row.cls == "AllFX " + source) out.push_back(row);
        }
        return out;
    }
    std::string allText() {
        std::string all;
        for (const auto& r : rows()) all += r.time + " " + r.text + "\n";
        return all;
    }
};

const std::string kCaiXunLabel = "<font size=\"-5\" color=\"#1CB51B\">- 财讯外汇</font>";
const std::string kDailyfxLabel = "<font size=\"-5\" color=\"#FF813A\">- DailyFX</font>";
std::string blue(const std::string& text) { return "<br><font style=\"color:#0000FF\">" + text + "</font>"; }
std::string linked(const std::string& url, const std::string& headline) {
    return "<a href=\"" + url + "\" target=\"_blank\" style=\"text-decoration:underline\">" + headline + "&nbsp;</a>";
}

TEST(Scrapers, EachSourceFillsItsRowsAndListFromItsFixture) {
    Notices p;
    for (const auto& [name, value] : {std::pair{"Left", "200"}, {"Top", "100"}, {"Width", "760"}, {"Height", "560"}})
        testing_support::setSettingsAttrib("Window/FXNews", name, value);
    ASSERT_TRUE(p.open());
    const std::string caixun = "http://forex.caixun.example/fx_information/20261210/";
    const std::string picture = p.sites.base("dailyfx") + "/tfx_share2/images/menu2/mnu_tn_te_chg_sc.gif";
    const struct {
        const char* source;
        std::string time, html;
    } want[] = {
        {"CaiXun", "12/10 09:18", linked(caixun + "1.html", "美元兑人民币中间价报7.0650") + kCaiXunLabel},
        {"CaiXun", "12/10 08:52", "外汇市场早评：美元震荡&nbsp;" + kCaiXunLabel},  // "###" is no link
        {"CaiXun", "12/10 08:20", linked(caixun + "3.html", "澳元受大宗商品价格支撑") + kCaiXunLabel},
        {"Dailyfx", "12/25 08:00",
         "圣诞假期前美元交投清淡&nbsp;" + kDailyfxLabel + blue("节前市场流动性下降，美元兑主要货币窄幅波动。")},
        // Its summary repeats the headline.
        {"Dailyfx", "01/15 21:30", "美国零售销售数据前瞻&nbsp;" + kDailyfxLabel},
        // The summary holds a nested table; the rows after it are still read.
        {"Dailyfx", "03/05 14:30", "欧洲央行利率决议在即&nbsp;" + kDailyfxLabel + blue("前值 2.00% 预期 2.00% Timetable 见上表。")},
        // Another item follows at once: no summary, no label.
        {"Dailyfx", "12/09 22:10", "美国零售销售数据好于预期"},
        {"Dailyfx", "12/09 20:00", "加拿大央行维持利率不变&nbsp;" + kDailyfxLabel + blue("利率维持在2.25%，符合市场预期。")},
        // The technical comment, stamped with the time it was read.
        {"Dailyfx", "12/09 09:00",
         "<img src=\"" + picture + "\"><br><font style=\"font-weight:bold\">欧元/美元 日线 阻力1.1780 支撑1.1650 --- "
         "欧元/美元</font>&nbsp;" + kDailyfxLabel + blue("汇价仍在上升通道内运行，短线关注1.1780阻力。") + "<br>"},
    };
    std::map<std::string, size_t> perSource;
    for (const auto& w : want) {
        SCOPED_TRACE(w.time);
        ++perSource[w.source];
        std::vector<Row> found;
        for (const auto& r : p.rows(w.source))
            if (r.time == w.time) found.push_back(r);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].html, w.html);
        EXPECT_EQ(found[0].display, "");
    }
    for (const auto& [source, n] : perSource) EXPECT_EQ(p.rows(source).size(), n) << source;
    EXPECT_EQ(p.rows("FX168").size(), 13u) << "a row without a link or a time is passed over";
    const std::string all = p.allText();
    for (const char* never : {"热点专题", "带标签的专栏文章", "尚未发布时间的稿件", "右栏推荐", "页脚", "外汇课程",
                              "本栏目稿件整理中", "待定时发布的稿件"})
        EXPECT_EQ(all.find(never), std::string::npos) << never;
    EXPECT_EQ(p.rows().front().time, "12/25 08:00") << "sorted newest first by the time cell";

    // The analyst list is rebuilt from the member service's first table, and stays bound.
    EXPECT_EQ(p.js("JSON.stringify(Array.prototype.map.call(document.getElementById('iBriskTech').options,"
                   " function (o) { return o.text; }))"),
              R"(["全部","张分析","李分析","王&赵 组合"])");
    EXPECT_EQ(p.js("document.getElementById('iBriskTech').getElementsByTagName('OPTGROUP')[0].label"), "分类");
    auto toastOpen = [&] { return p.w->Toast() && p.w->Toast()->IsOpen(); };
    // Without a duration: only the focus can close it.
    p.js("document.getElementById('Duration').value = ''; document.getElementById('popupWin').style.display = '';"
         " document.getElementById('iPopup').click()");
    ASSERT_TRUE(p.pageWait(toastOpen));
    p.js("document.getElementById('iBriskTech').dispatchEvent(new FocusEvent('focusin'))");
    ASSERT_TRUE(p.pageWait([&] { return !toastOpen(); })) << "focus closes the toast";
    p.js("Array.prototype.forEach.call(document.getElementById('iTable').rows,"
         " function (r) { r.style.display = 'none'; }); document.getElementById('iBriskTech').click()");
    ASSERT_TRUE(p.pageWait([&] { return p.rows().front().display.empty(); })) << "a click filters";

    // The DailyFX tab, for a person to look at.
    p.w->Show(forms::vbModeless);
    p.w->ClickFn_Dailyfx();
    ASSERT_TRUE(p.pageWait([&] { return p.js(testing_support::kImagesDone) == "true"; }));
    EXPECT_FALSE(testing_support::writeSnapshot("notices_dailyfx_tab").empty());
}

TEST(Scrapers, LaterPollsAddOnlyWhatIsNew) {
    Notices p;
    // FX168's own new items would take the toast from the sites watched here, and so would the
    // member channels' new entries: those keep their first pages.
    testing_support::setSettingsAttrib("Settings/FXNews/Source/FX168_1", "Checked", "0");
    for (const char* channel : {"strategy.php", "vip.php", "notice.php"}) {
        std::ifstream in(fixtures::defaultPagesDir() / "member" / channel, std::ios::binary);
        std::stringstream page;
        page << in.rdbuf();
        ASSERT_FALSE(page.str().empty()) << channel;
        p.sites.setPage(std::string("/member/") + channel, page.str());
    }
    ASSERT_TRUE(p.open());
    const size_t before = p.rows().size();
    const std::string techsKey = "汇价仍在上升通道内运行，短线关注1.1780阻力。";
    // The polls are due on the window's timers; each of them is an answer of the site too.
    auto waitPolls = [&](const std::string& path, int more) {
        const int from = p.sites.hits(path);
        return p.run([&] { return p.sites.hits(path) >= from + more; }, testing_support::kOutsideWaitMs);
    };

    // DailyFX brings one item more; the comment changes all but its key.
    p.sites.setEdition(2);
    ASSERT_TRUE(p.run([&] { return p.w->ToastHtml().find("日本央行行长讲话在即") != std::string::npos; }, testing_support::kOutsideWaitMs));
    EXPECT_EQ(p.w->ToastHtml(), "<img src='Dailyfx.gif' align='absbottom'/>&nbsp;<span>12/10 10:15 &nbsp;"
                                "日本央行行长讲话在即(<font style='color:#0000FF'>市场关注其对明年加息路径的表态。</font>)</span>");
    ASSERT_TRUE(waitPolls("/dailyfx/techs/", 1));
    // Two more polls of each news site add nothing twice.
    ASSERT_TRUE(waitPolls("/dailyfx/news/", 2));
    ASSERT_TRUE(waitPolls("/caixun/fx_information/", 2));
    ASSERT_TRUE(p.run([&] { return p.idle(); }, testing_support::kOutsideWaitMs));
    EXPECT_EQ(p.rows().size(), before + 1);
    std::string all = p.allText();
    for (const char* once : {"日本央行行长讲话在即", "圣诞假期前美元交投清淡", "美国零售销售数据前瞻", "欧洲央行利率决议在即",
                             "美国零售销售数据好于预期", "加拿大央行维持利率不变", "外汇市场早评：美元震荡"})
        EXPECT_EQ(count(all, once), 1u) << once;
    EXPECT_EQ(count(all, techsKey), 1u) << "a comment whose key is known adds nothing";

    // CaiXun brings one item more and the comment a new key. The comment goes to the top on
    // its own, neither sorting the table nor raising the toast.
    p.sites.setEdition(3);
    ASSERT_TRUE(p.run([&] { return p.w->ToastHtml().find("人民币即期汇率午盘小幅收涨") != std::string::npos; }, testing_support::kOutsideWaitMs));
    const std::string toast =
        "<img src='CaiXun.gif' align='absbottom'/>&nbsp;<span style='text-decoration:underline' class='popupText' "
        "data-link='http://forex.caixun.example/fx_information/20261210/6.html'>12/10 11:02&nbsp;"
        "人民币即期汇率午盘小幅收涨</span>";
    EXPECT_EQ(p.w->ToastHtml(), toast);
    ASSERT_TRUE(p.run([&] { return p.rows().size() >= before + 3; }, testing_support::kOutsideWaitMs));
    ASSERT_TRUE(waitPolls("/caixun/fx_information/", 2));
    ASSERT_TRUE(p.run([&] { return p.idle(); }, testing_support::kOutsideWaitMs));
    const auto rows = p.rows();
    ASSERT_EQ(rows.size(), before + 3);
    EXPECT_EQ(rows.front().cls, "AllFX Dailyfx");
    EXPECT_NE(rows.front().text.find("汇价跌破上升通道下轨"), std::string::npos);
    EXPECT_EQ(count(p.allText(), "人民币即期汇率午盘小幅收涨"), 1u);
    EXPECT_EQ(p.w->ToastHtml(), toast);
}

TEST(Scrapers, DailyfxRowsWithOddDatesAreShownWithoutATime) {
    Notices p;
    const std::string digits300(300, '9');
    const struct {
        std::string date, time, headline, want;  // want: the time cell, "-" for no row
    } cases[] = {
        {"12月10日", "10:05", "日期正常的新闻", "12/10 10:05"},
        {"1e400月25日", "08:00", "日期溢出的新闻", ""},
        {digits300 + "月5日", "08:00", "三百位月份的新闻", ""},
        {digits300, "08:00", "三百位日期的新闻", ""},
        {"13月1日", "08:00", "十三月的新闻", ""},
        {"12月10日", digits300, "三百位时刻的新闻", "12/10"},
        {"", "08:00", "没有日期的新闻", "-"},
    };
    std::string rows;
    for (const auto& c : cases)
        rows += "<tr><td>" + c.date + "</td><td>" + c.time + "</td><td>美元</td><td>" + c.headline + "</td></tr>";
    p.sites.setPage("/dailyfx/news/", "<table class=\"articles_tbl\"></table><table class=\"articles_tbl\">"
                                      "<tr><th>日期</th><th>时间</th><th>货币</th><th>标题</th></tr>" + rows + "</table>");
    ASSERT_TRUE(p.open());
    const auto shown = p.rows("Dailyfx");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.headline);
        std::vector<Row> found;
        for (const auto& r : shown)
            if (r.text == c.headline) found.push_back(r);
        if (c.want == "-") {
            EXPECT_TRUE(found.empty());
            continue;
        }
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].time, c.want);
    }
    // The next poll knows them all.
    const int polls = p.sites.hits("/dailyfx/news/");
    ASSERT_TRUE(p.run([&] { return p.sites.hits("/dailyfx/news/") > polls && !p.w->Source(2).InProgress; }, testing_support::kOutsideWaitMs));
    EXPECT_EQ(p.rows("Dailyfx").size(), shown.size());
}

TEST(Scrapers, APollTakesAtMostItsShareOfEachList) {
    // Made before the window, so it outlives the console hook that fills it (the window's
    // fixture ends the program), however the test ends.
    std::vector<std::string> told;
    Notices p;
    const size_t cap = frmFXNotify::kItemsPerSource, many = cap + 50;
    std::string dailyfx = "<table class=\"articles_tbl\"></table><table class=\"articles_tbl\"><tr><th>h</th></tr>";
    std::string caixun = "<div class=\"left\">", fx168 = "<table id=\"DataList1\">", strategy = "<table>";
    for (size_t i = 1; i <= many; ++i) {
        const std::string n = std::to_string(1000 + i);
        dailyfx += "<tr><td>12月10日</td><td>10:00</td><td>美元</td><td>日线新闻" + n + "</td></tr>"
                   "<tr><td></td><td>摘要" + n + "</td></tr>";
        caixun += "<div class=\"cot_block_line\"><div><a href=\"/n/" + n + ".html\">财讯新闻" + n +
                  "</a></div><div>12-10 10:00</div></div>";
        fx168 += "<tr><td>12-10 10:00</td><td><a href=\"/n/" + n + ".htm\">汇市新闻" + n + "</a></td></tr>";
        strategy += "<tr><td><a href='sub/i.php'>i</a> <a href='sub/" + n + ".php'>策略条目" + n +
                    "</a></td><td>[策略]</td></tr>";
    }
    p.sites.setPage("/dailyfx/news/", dailyfx + "</table>");
    p.sites.setPage("/caixun/fx_information/", caixun + "</div>\n<div class=\"right\">");
    p.sites.setPage("/fx168/fxnews/news_now_html.htm", fx168 + "</table>");
    p.sites.setPage("/member/strategy.php", strategy + "</table>");
    m_Main::Tell = [&](const std::string& line) { told.push_back(line); };
    ASSERT_TRUE(p.open());

    const std::string all = p.allText();
    for (const char* word : {"日线新闻", "财讯新闻", "汇市新闻", "策略条目"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(count(all, word), cap);
        EXPECT_NE(all.find(word + std::to_string(1000 + cap)), std::string::npos) << "the first items are taken";
        EXPECT_EQ(all.find(word + std::to_string(1000 + cap + 1)), std::string::npos);
    }
    // The batch's line counts what the table was given.
    std::string done;
    for (const auto& line : told)
        if (line.rfind("downloads done: ", 0) == 0) done = line;
    EXPECT_NE(done.find(", " + std::to_string(p.rows().size()) + " new items"), std::string::npos) << done;
}

TEST(Scrapers, RowsBeyondAPollsShareComeInTheNextPolls) {
    Notices p;
    const size_t items = 150;
    const std::string summary(5000, 'y');
    std::string page = "<table class=\"articles_tbl\"></table><table class=\"articles_tbl\"><tr><th>h</th></tr>";
    for (size_t i = 1; i <= items; ++i)
        page += "<tr><td>12月10日</td><td>10:00</td><td>美元</td><td>长摘要新闻" + std::to_string(1000 + i) +
                "</td></tr><tr><td></td><td>" + summary + "</td></tr>";
    p.sites.setPage("/dailyfx/news/", page + "</table>");
    ASSERT_TRUE(p.open());
    const size_t first = count(p.allText(), "长摘要新闻");
    EXPECT_GT(first, 0u);
    EXPECT_LT(first, items);
    ASSERT_TRUE(p.run([&] { return count(p.w->SeenText(), "长摘要新闻") == items; }, 120000));
    p.settle();
    const std::string all = p.allText();
    for (size_t i = 1; i <= items; ++i) EXPECT_EQ(count(all, "长摘要新闻" + std::to_string(1000 + i)), 1u) << i;
}

TEST(Scrapers, PageTextNeverBecomesMarkup) {
    Notices p;
    const std::string beacon = p.sites.base("caixun") + "/beacon.gif";
    auto caixunPage = [&](const std::string& items) {
        p.sites.setPage("/caixun/fx_information/", "<div class=\"left\">" + items + "</div>\n<div class=\"right\">");
    };
    caixunPage("<div class=\"cot_block_line\"><div><a href=\"javascript:window.__pwned=1\">&lt;img src=" + beacon +
               " onerror=window.__pwned=2&gt;脚本链接</a></div><div>12-10 10:00</div></div>");
    p.sites.setPage("/dailyfx/news/",
                    "<table class=\"articles_tbl\"></table><table class=\"articles_tbl\"><tr><th>h</th></tr>"
                    "<tr><td>12月10日</td><td>10:05</td><td>x</td><td>&lt;b onmouseover=window.__pwned=3&gt;粗体</td></tr>"
                    "<tr><td></td><td><img src=\"" + beacon + "\" onerror=\"window.__pwned=4\">&lt;/font&gt;&lt;script&gt;"
                    "window.__pwned=5&lt;/script&gt;摘要<script>window.__pwned=6</script></td></tr></table>");
    p.sites.setPage("/dailyfx/techs/",
                    "<table class=\"articles_tbl\"><tr><td>a</td><td>&lt;i&gt;货币对&lt;/i&gt;</td></tr>"
                    "<tr><td>&lt;iframe src=" + beacon + "&gt;</td></tr><tr><td>评论&lt;br&gt;正文</td></tr></table>");
    p.sites.setPage("/member/man.php",
                    "<table><tr><td>&lt;/option&gt;&lt;/select&gt;&lt;img src=" + beacon +
                    " onerror=window.__pwned=7&gt;</td></tr></table>");
    ASSERT_TRUE(p.open());
    ASSERT_TRUE(p.pageWait([&] { return p.js(testing_support::kImagesDone) == "true"; }));

    EXPECT_EQ(p.js("typeof window.__pwned"), "undefined");
    EXPECT_EQ(p.sites.hits("/caixun/beacon.gif"), 0);
    EXPECT_EQ(p.js("String(document.getElementById('iTable').tBodies[0].querySelectorAll('script,iframe,object,b,i,"
                   "[onerror],[onclick],[onmouseover]').length)"),
              "0");
    EXPECT_EQ(p.js("String(document.getElementById('iTable').tBodies[0].querySelectorAll('img').length)"), "1")
        << "only the comment's own picture";
    const std::string all = p.allText();
    for (const std::string& text : {"<img src=" + beacon + " onerror=window.__pwned=2>脚本链接",
                                   std::string("<b onmouseover=window.__pwned=3>粗体"),
                                   std::string("</font><script>window.__pwned=5</script>摘要"),
                                   std::string("<i>货币对</i>"), "<iframe src=" + beacon + ">",
                                   std::string("评论<br>正文")})
        EXPECT_NE(all.find(text), std::string::npos) << text;
    EXPECT_EQ(p.js("JSON.stringify(Array.prototype.map.call(document.getElementById('iBriskTech').options,"
                   " function (o) { return o.text; }))"),
              nlohmann::json({"全部", "</option></select><img src=" + beacon + " onerror=window.__pwned=7>"}).dump());

    // A headline with quotes and bars stays inside its toast entry.
    const std::string hostile = "引号|\" onclick=\"window.__pwned=8\" x=\"|' onmouseover='window.__pwned=9";
    std::string escaped = hostile;
    for (size_t at; (at = escaped.find('"')) != std::string::npos;) escaped.replace(at, 1, "&quot;");
    caixunPage("<div class=\"cot_block_line\"><div><a href=\"/fx_information/ok.html\">" + escaped +
               "</a></div><div>12-10 10:30</div></div>");
    ASSERT_TRUE(p.run([&] { return p.w->ToastHtml().find("12/10 10:30") != std::string::npos; }, testing_support::kOutsideWaitMs));
    const auto toast = nlohmann::json::parse(p.js(
        "(function (h) { var d = new DOMParser().parseFromString(h, 'text/html'), names = {};"
        " Array.prototype.forEach.call(d.body.querySelectorAll('*'), function (e) {"
        "  Array.prototype.forEach.call(e.attributes, function (a) { names[a.name] = 1; }); });"
        " var s = d.querySelector('span');"
        " return JSON.stringify([Object.keys(names).sort(), s.textContent, s.getAttribute('data-link')]); })(" +
        nlohmann::json(p.w->ToastHtml()).dump() + ")"));
    EXPECT_EQ(toast[0], nlohmann::json({"align", "class", "data-link", "src", "style"}));
    EXPECT_EQ(toast[1], "12/10 10:30\u00a0" + hostile);
    EXPECT_EQ(toast[2], "http://forex.caixun.example/fx_information/ok.html");
    const auto rows = p.rows("CaiXun");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(p.js("String(document.getElementById('iTable').tBodies[0].querySelectorAll('[onclick],[onmouseover]')"
                   ".length)"), "0");
    EXPECT_NE(p.allText().find(hostile), std::string::npos);
}

} // namespace
