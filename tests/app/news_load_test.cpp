// The whole program on the machine's real clock, as the executable runs, while a news site
// serves a page far larger than any real one: the price loop keeps its rhythm through the polls
// that read it, the news table takes only a poll's share of it, and Exit still saves.
#include "app/ProgramWindows.h"
#include "core/Program.h"
#include "core/frmMain.h"
#include "notices/frmFXNotify.h"
#include "platform/desktop/MessageBox.h"
#include "support/Program.h"
#include "support/ProgramMachine.h"
#include "support/TestMachine.h"
#include "toolkit/m_Main.h"

#include "FixtureSites.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace m_Main;

// A DailyFX news page of 100,000 rows (an item and its summary each), under the download cap.
const std::string& bigNewsPage() {
    static const std::string page = [] {
        std::string p = "<html><body><table class=\"articles_tbl\"><tr><td>栏目</td></tr></table>\n"
                        "<table class=\"articles_tbl\"><tr><th>日期</th><th>时间</th><th>类别</th><th>标题</th></tr>\n";
        char row[256];
        for (int i = 1; i <= 50000; ++i) {
            std::snprintf(row, sizeof row,
                          "<tr><td>12月10日</td><td>10:00</td><td>美元</td><td>生成新闻%05d号</td></tr>\n"
                          "<tr><td></td><td>第%05d号摘要：等待数据。</td></tr>\n",
                          i, i);
            p += row;
        }
        return p + "</table></body></html>";
    }();
    return page;
}

// The longest the price loop may pause while the polls read the page. A tick is due every
// second; a loaded machine under the sanitizers has paused it close to three, and reading the
// whole page in one go on the loop's thread pauses it far longer.
constexpr uint64_t kLongestPauseMs = 10000;

sys::MachineOptions realClock() {
    sys::MachineOptions o;
    o.virtualClock = false;
    return o;
}

TEST(BigNewsPage, ThePriceLoopKeepsItsRhythmTheTableTakesItsShareAndExitSaves) {
    testing_support::TestMachine m(realClock());
    fixtures::FixtureSites sites;
    testing_support::installWholeProgram(*m);
    testing_support::setSettingsAttrib("Settings/LiveUpdate", "Checked", "0");
    for (const auto& [key, value] : sites.hostSettings()) m->setSetting(key, value);
    // The page takes its time to come through the machine's pump on a loaded machine (a batch
    // that read it has taken three and a half minutes beside a CPU burner); the download's limit
    // is not what is tested here.
    m->setSetting("net.timeoutMs", "600000");
    const std::string& page = bigNewsPage();
    ASSERT_LT(page.size(), 8u << 20);
    sites.setPage("/dailyfx/news/", page);

    // Each quote tick, and each line the notice window tells, at the machine's time.
    std::vector<uint64_t> ticks;
    std::vector<std::pair<uint64_t, std::string>> told;
    setProgram(testing_support::kProgramFolder, "Pennant");
    InstallWindows([&](const std::string& e) {
        if (e.rfind("quotes read: ", 0) == 0) ticks.push_back(m->clock().tickMs());
    });
    Tell = [&](const std::string& line) { told.emplace_back(m->clock().tickMs(), line); };
    // The hooks point at this test's locals: the program ends before they go, however the test ends.
    struct EndsTheProgram {
        ~EndsTheProgram() { EndProgram(); }
    } endsTheProgram;
    win::clearMessageBoxes();
    ASSERT_TRUE(Main());
    auto* w = dynamic_cast<frmFXNotify*>(FXNotifyForm());
    ASSERT_NE(w, nullptr);

    // From the first request for the page to the end of the second poll that read it, the
    // second one made once the first content is shown.
    uint64_t from = 0;
    const bool polled = m->runUntil(
        [&] {
            if (!from && sites.hits("/dailyfx/news/") > 0) from = m->clock().tickMs();
            return sites.hits("/dailyfx/news/") >= 2 && !w->Source(2).InProgress && w->NewsShown();
        },
        1200000);
    const uint64_t to = m->clock().tickMs();
    ASSERT_TRUE(polled);
    // Every pause of the loop while the polls ran, counting the stretch before the first tick
    // and after the last.
    size_t during = 0;
    uint64_t longest = 0, previous = from;
    for (const uint64_t at : ticks) {
        if (at < from || at > to) continue;
        ++during;
        longest = std::max(longest, at - previous);
        previous = at;
    }
    longest = std::max(longest, to - previous);
    std::cout << "big news page: " << page.size() << " bytes; " << during << " quote ticks in " << (to - from)
              << " ms of polls; longest pause between ticks " << longest << " ms\n";
    for (const auto& [at, line] : told)
        if (line.rfind("downloads done", 0) == 0) std::cout << "  at " << at - from << " ms: " << line << "\n";
    EXPECT_GT(during, 0u);
    EXPECT_LE(longest, kLongestPauseMs);
    // And the loop goes on after them.
    const size_t before = ticks.size();
    EXPECT_TRUE(m->runUntil([&] { return ticks.size() > before; }, testing_support::kOutsideWaitMs));

    // Only the first items of the page are shown, once each.
    const auto shown = w->PageDocument().execScript(
        "(function () { var n = 0, rows = document.getElementById('iTable').tBodies[0].rows;"
        " for (var i = 0; i < rows.length; i++) if (rows[i].innerText.indexOf('生成新闻') >= 0) n++; return n; })()");
    EXPECT_EQ(shown, static_cast<int>(frmFXNotify::kItemsPerSource));
    const std::string seen = w->SeenText();
    char last[32], next[32];
    std::snprintf(last, sizeof last, "生成新闻%05zu号", frmFXNotify::kItemsPerSource);
    std::snprintf(next, sizeof next, "生成新闻%05zu号", frmFXNotify::kItemsPerSource + 1);
    EXPECT_NE(seen.find(last), std::string::npos);
    EXPECT_EQ(seen.find(next), std::string::npos);

    // Exit leaves, and saves the settings the run changed.
    MainForm->m_frmSysTray_MenuClick("Exit");
    EXPECT_TRUE(m->runUntil([] { return !MainForm || !MainForm->IsLoaded(); }, testing_support::kOutsideWaitMs));
    const std::string saved = m->readFile(testing_support::kProgramSettings).value_or("");
    EXPECT_NE(saved.find("<FXCalendar Update=\"0\""), std::string::npos);
}

} // namespace
