// One price tick over ten open floating panels: what the core hands each panel every second,
// with the bid moving on every tick so that every panel repaints.
#include "core/cls_Quote.h"
#include "pages/Pages.h"
#include "platform/browser/BrowserHost.h"
#include "platform/browser/Chromium.h"
#include "platform/browser/Page.h"
#include "quotes/frmFloat.h"
#include "support/TestMachine.h"
#include "toolkit/m_Main.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// A panel whose page the benchmark can ask directly.
class BenchPanel : public frmFloat {
public:
    std::shared_ptr<web::Page> page() const { return WebBrowser1 ? WebBrowser1->page() : nullptr; }
};

struct World {
    World() {
        pages::registerResources();
        machine = std::make_unique<testing_support::TestMachine>([] {
            sys::MachineOptions o;
            o.virtualClock = false;
            return o;
        }());
        m_Main::PageBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
        for (int i = 0; i < 10; ++i) {
            const std::string symbol = "SYM" + std::to_string(i);
            auto q = std::make_shared<cls_Quote>();
            q->SymBol(symbol);
            q->BID("1.23456");
            q->ASK("1.23476");
            m_Main::Quotes.Add(q, symbol);
            auto p = std::make_shared<BenchPanel>();
            p->Load();
            if (!machine->get().runUntil([&] { return !p->Busy(); }, 20000)) return;
            p->ID(symbol);
            p->SymBol(symbol);
            p->iSUB(true, true);
            p->Mode(i % 3 - 1);
            p->OrderBAR(true);
            p->Show();
            panels.push_back(p);
        }
    }
    std::unique_ptr<testing_support::TestMachine> machine;
    std::vector<std::shared_ptr<BenchPanel>> panels;
    int step = 0;
};

World& world() {
    static World w;
    return w;
}

// The core's calls for one panel in one tick (a five-digit quote split into its pieces).
void tickPanel(frmFloat& p, const std::string& bid, const std::string& ask, const std::string& high) {
    p.MT4Loading(false);
    p.HeadBid(bid.substr(0, 4));
    p.HeadASK(ask.substr(0, 4));
    p.BID(bid.substr(4, 2));
    p.ASK(ask.substr(4, 2));
    p.Price(bid.substr(0, 6));
    p.iSUB(true);
    p.iSUBValue(bid.substr(6, 1), ask.substr(6, 1));
    p.UpdatePrice();
    p.TimeOut(false);
    p.Time("--");
    p.Max_Min(high, "1.20000");
}

// Moves every quote (up and down in turn, so the bid and the direction change) and runs the
// core's calls for every panel, then the pump round that sends the panels' writes.
void priceTick(World& w) {
    const int n = ++w.step;
    const std::string bid = "1.23" + std::to_string(400 + (n % 2 ? 57 : 43));
    const std::string ask = "1.23" + std::to_string(420 + (n % 2 ? 57 : 43));
    // A new high now and then.
    const std::string high = "1.24" + std::to_string(100 + n / 7 % 900);
    for (auto& p : w.panels) {
        auto q = m_Main::Quotes.Item(p->ID());
        q->BID(bid);
        q->ASK(ask);
        q->Max(high);
        tickPanel(*p, bid, ask, high);
    }
    w.machine->get().pumpOnce();
}

// Until every page has applied what it was sent: one read of each.
void drain(World& w) {
    for (auto& p : w.panels) benchmark::DoNotOptimize(p->Voice());
}

// The same, with the ten reads under way together: a page runs what its session was sent in
// order, so its answer says it has applied the tick, and no page waits for another's answer.
bool drainTogether(World& w) {
    std::vector<std::pair<std::shared_ptr<web::Chromium>, int>> asked;
    for (auto& p : w.panels) {
        auto page = p->page();
        if (!page || !page->browser) return false;
        asked.emplace_back(page->browser, page->browser->ask("Runtime.evaluate", {{"expression", "0"}}, page->sessionId));
    }
    bool ok = true;
    for (auto& [browser, id] : asked) ok = std::holds_alternative<web::json>(browser->answer(id, "Runtime.evaluate")) && ok;
    return ok;
}

// Processor time (ns) used so far by the program and by the browser's processes by kind.
struct CpuUse {
    double program = 0, browser = 0, renderer = 0, other = 0;
};
// Every thread of the process: the browser renders its pages on threads of its own.
double cpuNs(const std::string& pid) {
    double ns = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + pid + "/task", ec)) {
        std::ifstream f(task.path() / "schedstat");
        double t = 0;
        if (f >> t) ns += t;
    }
    return ns;
}
CpuUse cpuUse(World& w) {
    CpuUse u;
    u.program = cpuNs("self");
    auto& host = web::BrowserHost::of(w.machine->get());
    auto browser = host.browserIfRunning();
    for (int pid : host.processTree()) {
        std::ifstream cmd("/proc/" + std::to_string(pid) + "/cmdline");
        std::string line((std::istreambuf_iterator<char>(cmd)), {});
        const double ns = cpuNs(std::to_string(pid));
        if (browser && pid == browser->pid()) u.browser += ns;
        else if (line.find("--type=renderer") != std::string::npos) u.renderer += ns;
        else u.other += ns;
    }
    return u;
}
// Per tick, in ms, as counters: where the work of a tick is done, whatever the machine's load.
void countCpu(benchmark::State& state, const CpuUse& a, const CpuUse& b) {
    const double n = static_cast<double>(state.iterations()) * 1e6;
    state.counters["program_cpu_ms"] = (b.program - a.program) / n;
    state.counters["browser_cpu_ms"] = (b.browser - a.browser) / n;
    state.counters["renderer_cpu_ms"] = (b.renderer - a.renderer) / n;
    state.counters["helpers_cpu_ms"] = (b.other - a.other) / n;
}

// The user-interface thread's share of a tick: the writes leave without waiting.
void BM_PriceTickTenPanels(benchmark::State& state) {
    World& w = world();
    if (w.panels.size() != 10) return state.SkipWithError("panels did not load");
    for (auto _ : state) {
        priceTick(w);
        state.PauseTiming();
        drain(w);
        state.ResumeTiming();
    }
    state.counters["panels"] = static_cast<double>(w.panels.size());
}
BENCHMARK(BM_PriceTickTenPanels)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A tick until every page shows it (the tick, then a read of each page; aim: 5 ms).
void BM_PriceTickTenPanelsApplied(benchmark::State& state) {
    World& w = world();
    if (w.panels.size() != 10) return state.SkipWithError("panels did not load");
    const CpuUse before = cpuUse(w);
    for (auto _ : state) {
        priceTick(w);
        if (!drainTogether(w)) return state.SkipWithError("a page did not answer");
    }
    countCpu(state, before, cpuUse(w));
}
BENCHMARK(BM_PriceTickTenPanelsApplied)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same with the pages read one after another, as a caller reading each panel would.
void BM_PriceTickTenPanelsReadInTurn(benchmark::State& state) {
    World& w = world();
    if (w.panels.size() != 10) return state.SkipWithError("panels did not load");
    const CpuUse before = cpuUse(w);
    for (auto _ : state) {
        priceTick(w);
        drain(w);
    }
    countCpu(state, before, cpuUse(w));
}
BENCHMARK(BM_PriceTickTenPanelsReadInTurn)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A tick in which nothing moved: no page is touched.
void BM_SteadyTickTenPanels(benchmark::State& state) {
    World& w = world();
    if (w.panels.size() != 10) return state.SkipWithError("panels did not load");
    for (auto _ : state) {
        for (auto& p : w.panels) {
            auto q = m_Main::Quotes.Item(p->ID());
            tickPanel(*p, q->BID(), q->ASK(), q->Max());
        }
        w.machine->get().pumpOnce();
    }
}
BENCHMARK(BM_SteadyTickTenPanels)->Unit(benchmark::kMicrosecond);

// One read of one panel's page: the floor that any round trip costs.
void BM_OnePanelRead(benchmark::State& state) {
    World& w = world();
    if (w.panels.empty()) return state.SkipWithError("panels did not load");
    for (auto _ : state) benchmark::DoNotOptimize(w.panels[0]->Voice());
}
BENCHMARK(BM_OnePanelRead)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    // The panels and their pages go before the machine they live on.
    for (auto& p : world().panels) p->Unload();
    world().panels.clear();
    world().machine.reset();
    benchmark::Shutdown();
    return 0;
}
