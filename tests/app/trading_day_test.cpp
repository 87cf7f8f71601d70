// The whole program through a trading day on the machine's clock: the news sites bring a new
// item every 40 seconds and the quotes tick. What the program keeps for the day stays bounded
// while the newest items keep coming in, and the settings file stays small after Exit.
#include "app/ProgramWindows.h"
#include "core/Program.h"
#include "core/frmMain.h"
#include "notices/frmFXNotify.h"
#include "platform/browser/Page.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Timer.h"
#include "support/PageEvents.h"
#include "support/Program.h"
#include "support/ProgramMachine.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include "FixtureSites.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace m_Main;

// The notice window with a look at its page's browser heap.
class ProbedNotice : public frmFXNotify {
public:
    // The page's live JavaScript heap; -1 when it cannot be read.
    long long heapUsed() {
        try {
            const auto page = WebBrowser1 ? WebBrowser1->page() : nullptr;
            return page ? testing_support::liveHeapBytes(*page) : -1;
        } catch (const std::exception&) {
            return -1;
        }
    }
    // The page's DOM nodes and event listeners, live or not yet collected; -1 when unread.
    std::pair<long long, long long> domCounters() {
        try {
            const auto page = WebBrowser1 ? WebBrowser1->page() : nullptr;
            if (!page) return {-1, -1};
            const auto c = page->call("Memory.getDOMCounters");
            return {c.value("nodes", -1LL), c.value("jsEventListeners", -1LL)};
        } catch (const std::exception&) {
            return {-1, -1};
        }
    }
};

// The table is full and the seen-text memory at its bound within three hours, so that is the
// suite's span; PENNANT_DAY_HOURS=24 runs the whole day (about twenty minutes).
int dayHours() {
    const char* v = std::getenv("PENNANT_DAY_HOURS");
    const int h = v ? std::atoi(v) : 0;
    return h > 0 ? h : 3;
}
constexpr int kStepMs = 40000;
constexpr int kStepsAnHour = 3600000 / kStepMs;
// A site lists its newest few dozen items, as the real ones do.
constexpr int kListed = 40;

// "HH:MM" of the n-th item, the first coming at 09:00.
std::string clockOf(int n) {
    const int minutes = (9 * 60 + n * kStepMs / 60000) % (24 * 60);
    char t[8];
    std::snprintf(t, sizeof t, "%02d:%02d", minutes / 60, minutes % 60);
    return t;
}

// A news list whose items up to the n-th are out, the newest first.
struct RollingPage {
    const char* path;
    std::string head, tail;
    std::string (*item)(int n);
    std::string page(int n) const {
        std::string p = head;
        for (int k = n; k > 0 && k > n - kListed; --k) p += item(k);
        return p + tail;
    }
};

const RollingPage kPages[] = {
    {"/fx168/fxnews/news_now_html.htm", "<html><body><table id=\"DataList1\">\n", "</table></body></html>",
     [](int n) {
         const std::string k = std::to_string(n);
         return "<tr><td class=\"time\">12/10 " + clockOf(n) + "</td><td class=\"title\"><a href=\"/fxnews/roll/" + k +
                ".htm\" target=\"_blank\">滚动快讯" + k + "号</a></td></tr>\n";
     }},
    {"/dailyfx/news/",
     "<html><body><table class=\"articles_tbl\"><tr><td>栏目</td></tr></table>\n<table class=\"articles_tbl\">"
     "<tr><th>日期</th><th>时间</th><th>类别</th><th>标题</th></tr>\n",
     "</table></body></html>",
     [](int n) {
         const std::string k = std::to_string(n);
         return "<tr><td>12月10日</td><td>" + clockOf(n) + "</td><td>美元</td><td>滚动新闻" + k + "号</td></tr>\n" +
                "<tr><td></td><td>第" + k + "号摘要：市场等待数据。</td></tr>\n";
     }},
    {"/caixun/fx_information/", "<html><body><div class=\"left\">\n", "</div>\n<div class=\"right\"></div></body></html>",
     [](int n) {
         const std::string k = std::to_string(n);
         return "<div class=\"cot_block_line\"><div class=\"t\"><a href=\"/fx_information/roll/" + k +
                ".html\">滚动动态" + k + "号</a></div><div class=\"d\">12-10 " + clockOf(n) + "</div></div>\n";
     }},
    {"/member/vip.php", "<html><body><table class=\"list\" width=\"100%\">\n", "</table></body></html>",
     [](int n) {
         const std::string k = std::to_string(n);
         return "<tr><td><a href='sub/icon.php'><img src='sub/new.gif'></a> <a href='sub/vip.php?no=" + k +
                "' target=_blank> 滚动策略" + k + "号 EURUSD </a></td><td>[张分析]</td><td>12-10 " + clockOf(n) +
                "</td></tr>\n";
     }},
};

// The host's load over the last minute, to read the figures by.
double machineLoad() {
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    return load;
}

struct Figures {
    size_t seenBytes = 0, toastBytes = 0, balloons = 0, timers = 0;
    long long rows = 0, heap = 0, handles = 0, nodes = 0, listeners = 0;
};

TEST(TradingDay, TheProgramsOwnMemoryStaysBoundedThroughADayOfNewsAndQuotes) {
    testing_support::TestMachine m;
    fixtures::FixtureSites sites;
    testing_support::installWholeProgram(*m);
    testing_support::setSettingsAttrib("Settings/LiveUpdate", "Checked", "0");
    for (const auto& [key, value] : sites.hostSettings()) m->setSetting(key, value);
    m->setSetting("audio.record", "0");
    // No quote panels: the price loop still reads the terminal every second, while the panels'
    // page writes at each tick, which the quote tests cover, would double the day's real time.
    {
        cls_Config c;
        c.XmlFile(testing_support::kProgramSettings);
        ASSERT_TRUE(c.Initialize());
        c.RemoveFloat();
        c.XMLSave();
    }

    for (const auto& p : kPages) sites.setPage(p.path, p.page(0));

    size_t ticks = 0;
    setProgram(testing_support::kProgramFolder, "Pennant");
    InstallWindows([&](const std::string& e) { ticks += e.rfind("quotes read: ", 0) == 0; });
    NewFXNotify = [] { return std::make_shared<ProbedNotice>(); };
    win::clearMessageBoxes();
    ASSERT_TRUE(Main());
    auto* w = dynamic_cast<ProbedNotice*>(FXNotifyForm());
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(m.runUntilReal([&] { return w->NewsShown(); }));

    auto measure = [&] {
        Figures f;
        f.seenBytes = w->SeenText().size();
        f.toastBytes = w->ToastHtml().size();
        f.balloons = w->CalendarBalloons().size();
        f.timers = win::activeTimerCount();
        const auto rows = w->PageDocument().execScript("document.getElementById('iTable').tBodies[0].rows.length");
        f.rows = rows.is_number() ? rows.get<long long>() : -1;
        f.heap = w->heapUsed();
        std::tie(f.nodes, f.listeners) = w->domCounters();
        // The elements the page holds for the program's proxies.
        const auto handles = w->PageDocument().execScript("window.__pn ? __pn.h.size : -1");
        f.handles = handles.is_number() ? handles.get<long long>() : -1;
        return f;
    };
    auto print = [](const char* at, const Figures& f) {
        std::cout << "trading day at " << at << ": seen text " << f.seenBytes << " bytes, news table " << f.rows
                  << " rows, toast " << f.toastBytes << " bytes, calendar balloons " << f.balloons << ", timers "
                  << f.timers << ", browser heap " << f.heap << " bytes, DOM nodes " << f.nodes << ", listeners " << f.listeners
                  << ", page handles " << f.handles << " (load "
                  << machineLoad() << ")" << std::endl;
    };
    print("start", measure());

    // A new item on each site every 40 seconds of the machine's clock; figures every hour, or every
    // three on a long run.
    const int hours = dayHours();
    const int every = (hours >= 12 ? 3 : 1) * kStepsAnHour;
    Figures end;
    for (int n = 1; n <= hours * kStepsAnHour; ++n) {
        for (const auto& p : kPages) sites.setPage(p.path, p.page(n));
        m->runFor(kStepMs);
        if (n % every == 0 || n == hours * kStepsAnHour) {
            const Figures f = measure();
            const std::string at = std::to_string(n / kStepsAnHour) + " h";
            print(at.c_str(), f);
            end = f;
        }
    }
    // The memory holds what the sites still list and little else; the table holds its newest rows,
    // and none of them came twice.
    const std::string& seen = w->SeenText();
    const int last = hours * kStepsAnHour - 1;
    for (const std::string word : {"滚动快讯", "滚动新闻", "滚动动态", "滚动策略"}) {
        for (int k : {last, last - kListed + 2}) {
            const std::string item = word + std::to_string(k) + "号";
            EXPECT_NE(seen.find(item), std::string::npos) << item;
            EXPECT_EQ(w->PageDocument().execScript(
                          "Array.prototype.filter.call(document.getElementById('iTable').tBodies[0].rows,"
                          " function (r) { return (r.getAttribute('data-text') || '').indexOf(" +
                          nlohmann::json(item).dump() + ") >= 0; }).length"),
                      1)
                << item;
        }
        EXPECT_EQ(seen.find(word + std::string("1号")), std::string::npos) << "long unlisted: " << word;
    }
    EXPECT_LE(end.seenBytes, 64u * 1024);
    EXPECT_EQ(end.rows, static_cast<long long>(frmFXNotify::kTableRows));
    EXPECT_GE(ticks, static_cast<size_t>(hours) * 3000) << "the quotes ticked through the day";

    MainForm->m_frmSysTray_MenuClick("Exit");
    EXPECT_TRUE(m->runUntil([] { return !MainForm || !MainForm->IsLoaded(); }, testing_support::kOutsideWaitMs));
    const size_t saved = m->readFile(testing_support::kProgramSettings).value_or("").size();
    std::cout << "trading day: Pennant.xml after Exit " << saved << " bytes; quote ticks " << ticks << std::endl;
    EXPECT_LT(saved, 64u * 1024);
    EndProgram();
}

} // namespace
