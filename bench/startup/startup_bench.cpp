// The whole program from its start until its floating panels show a quote, with 2 and with 10
// panels, on a machine with a real clock where the terminal already runs. A panel counts as
// showing a quote once the price loop has handed it one and its page has applied it (a read of
// the page returns after the writes). Reported: the first panel (aim: 0.8 s with 2 panels,
// 1.2 s with 10) and the last one.
#include "app/ProgramWindows.h"
#include "core/Program.h"
#include "core/frmMain.h"
#include "platform/speech/SpVoice.h"
#include "quotes/frmFloat.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"
#include "platform/system/Process.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using WallClock = std::chrono::steady_clock;
const char* kFolder = "C:\\Program Files\\Pennant";

std::string settingsWithPanels(const std::vector<std::string>& symbols) {
    std::ifstream in(std::string(PENNANT_SOURCE_DIR) + "/core/Pennant.xml", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string xml = s.str();
    std::string items;
    for (size_t i = 0; i < symbols.size(); i++)
        items += "<Item Symbol=\"" + symbols[i] + "\" Left=\"" + std::to_string(40 + 60 * i) +
                 "\" Top=\"100\" Style=\"0\" Border=\"1\" QuickOrder=\"0\" Voice=\"0\" IconEvent=\"0\"/>";
    const size_t window = xml.find("<Window");
    const size_t from = xml.find("<Float>", window), to = xml.find("</Float>", window);
    return xml.substr(0, from) + "<Float>" + items + xml.substr(to);
}

// A panel that notes when its page first shows a price: the first price handed to it with its
// page complete, once a read of the page (which sends the writes first) comes back. That may
// be while the start-up goes on with other windows.
class TimedPanel : public frmFloat {
public:
    void UpdatePrice(bool force) override {
        frmFloat::UpdatePrice(force);
        if (!handed && !Busy()) {
            benchmark::DoNotOptimize(Voice());
            handed = WallClock::now();
        }
    }
    std::optional<WallClock::time_point> handed;
};

void BM_StartToFirstQuote(benchmark::State& state) {
    const int panels = static_cast<int>(state.range(0));
    double firstMs = 0, lastMs = 0;
    int runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        testing_support::TestMachine m([] {
            sys::MachineOptions o;
            o.virtualClock = false;
            return o;
        }());
        m->setSetting("audio.output", "none");
        speech::installSpeechService(*m);
        termsim::TerminalOptions options;
        options.connectDelayMs = 0;
        options.symbols.clear();
        std::vector<std::string> symbols;
        for (int i = 0; i < 12; i++) {
            const std::string name = "SYM" + std::to_string(100 + i);
            options.symbols.push_back({name, 5, 1.0 + i / 100.0, 20});
            if (i < panels) symbols.push_back(name);
        }
        const std::string exe = termsim::Terminal::install(*m, "C:\\Program Files\\MetaTrader 4", options);
        sys::ProcessTable::of(*m).start(exe);
        m->runFor(50);
        m->makeDirs(kFolder);
        m->writeFileAtomic(std::string(kFolder) + "\\Pennant.xml", settingsWithPanels(symbols));
        m_Main::setProgram(kFolder, "Pennant");
        m_Main::InstallWindows([t0 = WallClock::now()](const std::string& e) {
            if (std::getenv("STARTUP_TRACE"))
                std::fprintf(stderr, "%.0f ms: %s\n",
                             std::chrono::duration<double, std::milli>(WallClock::now() - t0).count(), e.c_str());
        });
        std::vector<std::shared_ptr<TimedPanel>> made;
        m_Main::NewFloatPanel = [&made] {
            auto p = std::make_shared<TimedPanel>();
            made.push_back(p);
            return p;
        };
        state.ResumeTiming();

        const auto t0 = WallClock::now();
        bool ok = m_Main::Main() && static_cast<int>(made.size()) == panels;
        const auto mainEnd = WallClock::now();
        if (std::getenv("STARTUP_TRACE"))
            std::fprintf(stderr, "Main returned after %.0f ms\n",
                         std::chrono::duration<double, std::milli>(mainEnd - t0).count());
        std::map<TimedPanel*, WallClock::time_point> shown;
        if (ok)
            ok = m->runUntil(
                [&] {
                    for (auto& p : made)
                        if (p->handed && !shown.count(p.get())) shown[p.get()] = *p->handed;
                    return static_cast<int>(shown.size()) == panels;
                },
                30000);
        state.PauseTiming();
        if (ok) {
            auto first = shown.begin()->second, last = first;
            for (auto& [p, t] : shown) first = std::min(first, t), last = std::max(last, t);
            firstMs += std::chrono::duration<double, std::milli>(first - t0).count();
            lastMs += std::chrono::duration<double, std::milli>(last - t0).count();
            ++runs;
        }
        made.clear();
        m_Main::EndProgram();
        state.ResumeTiming();
        if (!ok) return state.SkipWithError("the panels did not all show a quote within 30 s");
    }
    state.counters["first_ms"] = runs ? firstMs / runs : 0;
    state.counters["last_ms"] = runs ? lastMs / runs : 0;
}
BENCHMARK(BM_StartToFirstQuote)->ArgName("panels")->Arg(2)->Arg(10)->Iterations(3)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
