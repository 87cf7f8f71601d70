// Round trips to a page, batched writes, and the memory of the browser with ten page windows.
#include "platform/browser/BrowserHost.h"
#include "platform/browser/WebBrowser.h"
#include "platform/system/Resources.h"
#include "pages/Pages.h"
#include "support/TestMachine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

constexpr const char* kPage = R"HTML(<html><head><meta charset="utf-8"><script src="zidara.js"></script>
<script src="jquery.js"></script></head>
<body><table id="iTable"><tr><td id="Bid">1.2345</td><td id="Ask">1.2347</td></tr></table>
<div id="Info" style="width:200px">报价</div></body></html>)HTML";
const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";

struct World {
    World() {
        pages::registerResources();
        sys::addResource(sys::kPageResourceType, "bench.htm", kPage);
        machine = std::make_unique<testing_support::TestMachine>([] { sys::MachineOptions o; o.virtualClock = false; return o; }());
    }
    std::unique_ptr<web::WebBrowser> open(int w = 300, int h = 200) {
        auto b = std::make_unique<web::WebBrowser>(w, h);
        b->Navigate(kBase + "bench.htm");
        if (!machine->get().runUntil([&] { return !b->Busy(); }, 20000)) return nullptr;
        return b;
    }
    std::unique_ptr<testing_support::TestMachine> machine;
};

World& world() {
    static World w;
    return w;
}

void BM_PropertyRoundTrip(benchmark::State& state) {
    auto b = world().open();
    if (!b) return state.SkipWithError("page did not load");
    auto bid = b->Document().all("bid");
    for (auto _ : state) benchmark::DoNotOptimize(bid.innerText());
}
BENCHMARK(BM_PropertyRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_FiftyWritesBatched(benchmark::State& state) {
    auto b = world().open();
    if (!b) return state.SkipWithError("page did not load");
    auto doc = b->Document();
    auto bid = doc.all("bid");
    auto info = doc.all("info");
    for (auto _ : state) {
        web::PageBatch batch(doc);
        for (int i = 0; i < 25; ++i) {
            bid.innerText(std::to_string(i));
            info.style().color(i % 2 ? "#FF0000" : "#007F00");
        }
    }
}
BENCHMARK(BM_FiftyWritesBatched)->Unit(benchmark::kMicrosecond);

long pssKb(int pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (f >> key) {
        if (key == "Pss:") {
            f >> value;
            return value;
        }
        f.ignore(1 << 20, '\n');
    }
    return 0;
}

long browserPssKb() {
    long total = 0;
    for (int pid : web::BrowserHost::of(world().machine->get()).processTree()) total += pssKb(pid);
    return total;
}

// The memory (proportional set size) of the browser's processes, and with the program's own,
// with ten page windows (aim: 300 MB in all); and what each window past the first adds.
void BM_TenPageWindowsMemory(benchmark::State& state) {
    std::vector<std::unique_ptr<web::WebBrowser>> windows;
    long one = 0;
    for (auto _ : state) {
        windows.clear();
        for (int i = 0; i < 10; ++i) {
            auto b = world().open(200 + i * 10, 150);
            if (!b) return state.SkipWithError("page did not load");
            windows.push_back(std::move(b));
            if (i == 0) one = browserPssKb();
        }
    }
    auto& host = web::BrowserHost::of(world().machine->get());
    long total = 0;
    int renderers = 0;
    auto tree = host.processTree();
    for (int pid : tree) {
        total += pssKb(pid);
        std::ifstream cmd("/proc/" + std::to_string(pid) + "/cmdline");
        std::string line((std::istreambuf_iterator<char>(cmd)), {});
        if (line.find("--type=renderer") != std::string::npos) ++renderers;
        if (std::getenv("BENCH_VERBOSE")) {
            for (auto& c : line) if (c == '\0') c = ' ';
            std::fprintf(stderr, "%d %ld kB %.120s\n", pid, pssKb(pid), line.c_str());
        }
    }
    state.counters["browser_MB"] = static_cast<double>(total) / 1024.0;
    state.counters["total_MB"] = static_cast<double>(total + pssKb(static_cast<int>(getpid()))) / 1024.0;
    state.counters["per_window_MB"] = static_cast<double>(total - one) / 9.0 / 1024.0;
    state.counters["processes"] = static_cast<double>(tree.size());
    state.counters["renderers"] = renderers;
}
BENCHMARK(BM_TenPageWindowsMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
