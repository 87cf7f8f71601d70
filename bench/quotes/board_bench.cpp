// One price tick with the quote board and ten floating panels open: the core's calls for the
// board and for every panel, with every quote moving so that every symbol is written.
#include "core/cls_Quote.h"
#include "pages/Pages.h"
#include "quotes/frmFloat.h"
#include "quotes/frmQuote.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSymbols = 12;

struct World {
    World() {
        pages::registerResources();
        machine = std::make_unique<testing_support::TestMachine>([] {
            sys::MachineOptions o;
            o.virtualClock = false;
            return o;
        }());
        testing_support::installProgram(machine->get());
        Config().XmlFile(testing_support::kProgramSettings);
        if (!Config().Initialize()) return;
        m_Main::PageBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
        m_Main::HasHighLow = true;
        for (int i = 0; i < kSymbols; ++i) {
            const std::string symbol = "SYM" + std::to_string(i);
            auto q = std::make_shared<cls_Quote>();
            q->SymBol(symbol);
            q->BID("1.23456");
            q->ASK("1.23476");
            m_Main::Quotes.Add(q, symbol);
            m_Main::SymbolList.push_back(symbol);
        }
        // A board tall enough to show every row: every moved symbol is written.
        Config().SetNodeAttrib("Window/FXQuote", "Height", "400");
        board = std::make_shared<frmQuote>();
        board->Load();
        if (!machine->get().runUntil([&] { return !board->Busy(); }, 20000)) return;
        board->Show();
        for (int i = 0; i < 10; ++i) {
            auto p = std::make_shared<frmFloat>();
            p->Load();
            if (!machine->get().runUntil([&] { return !p->Busy(); }, 20000)) return;
            p->ID("SYM" + std::to_string(i));
            p->SymBol(p->ID());
            p->iSUB(true, true);
            p->Show();
            panels.push_back(p);
        }
    }
    bool ready() const { return board && !board->Busy() && panels.size() == 10; }
    std::unique_ptr<testing_support::TestMachine> machine;
    std::shared_ptr<frmQuote> board;
    std::vector<std::shared_ptr<frmFloat>> panels;
    int step = 0;
};

World& world() {
    static World w;
    return w;
}

// What the price loop does in one tick: every quote moves (up and down in turn), the board gets
// its overlays, time and update, each panel its pieces; then the pump round that sends the writes.
void priceTick(World& w, bool panels = true) {
    const int n = ++w.step;
    const std::string bid = "1.23" + std::to_string(400 + (n % 2 ? 57 : 43));
    const std::string ask = "1.23" + std::to_string(420 + (n % 2 ? 57 : 43));
    for (auto& q : m_Main::Quotes) {
        q->BID(bid);
        q->ASK(ask);
    }
    w.board->setCaption(w.board->BaseCaption() + " 12:00:0" + std::to_string(n % 10));
    w.board->MT4Loading(false);
    w.board->MT4Close(false);
    w.board->TimeOut(false);
    w.board->Time("--");
    w.board->UpdateQuote(false);
    if (panels) {
        for (auto& p : w.panels) {
            p->MT4Loading(false);
            p->HeadBid(bid.substr(0, 4));
            p->HeadASK(ask.substr(0, 4));
            p->BID(bid.substr(4, 2));
            p->ASK(ask.substr(4, 2));
            p->Price(bid.substr(0, 6));
            p->iSUB(true);
            p->iSUBValue(bid.substr(6, 1), ask.substr(6, 1));
            p->UpdatePrice();
            p->TimeOut(false);
            p->Time("--");
        }
    }
    w.machine->get().pumpOnce();
}

// Until every page has applied what it was sent: one read of each.
void drain(World& w) {
    benchmark::DoNotOptimize(w.board->PageDocument().all("fx_bid_SYM0").innerText());
    for (auto& p : w.panels) benchmark::DoNotOptimize(p->Voice());
}

// The user-interface thread's share of a tick with the board and ten panels.
void BM_PriceTickBoardAndTenPanels(benchmark::State& state) {
    World& w = world();
    if (!w.ready()) return state.SkipWithError("the windows did not load");
    for (auto _ : state) {
        priceTick(w);
        state.PauseTiming();
        drain(w);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PriceTickBoardAndTenPanels)->Unit(benchmark::kMillisecond)->Iterations(20);

// A tick until every page shows it.
void BM_PriceTickBoardAndTenPanelsApplied(benchmark::State& state) {
    World& w = world();
    if (!w.ready()) return state.SkipWithError("the windows did not load");
    for (auto _ : state) {
        priceTick(w);
        drain(w);
    }
}
BENCHMARK(BM_PriceTickBoardAndTenPanelsApplied)->Unit(benchmark::kMillisecond)->Iterations(20);

// The board's share alone: twelve symbols written.
void BM_PriceTickBoardOnly(benchmark::State& state) {
    World& w = world();
    if (!w.ready()) return state.SkipWithError("the windows did not load");
    for (auto _ : state) priceTick(w, false);
}
BENCHMARK(BM_PriceTickBoardOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A tick in which nothing moved: the board does not touch its page.
void BM_SteadyTickBoard(benchmark::State& state) {
    World& w = world();
    if (!w.ready()) return state.SkipWithError("the windows did not load");
    priceTick(w, false);
    for (auto& q : m_Main::Quotes) q->BID(q->BID());
    w.board->UpdateQuote(false);  // clears the highlights of the last move
    for (auto _ : state) {
        w.board->MT4Loading(false);
        w.board->TimeOut(false);
        w.board->Time("--");
        w.board->UpdateQuote(false);
        w.machine->get().pumpOnce();
    }
}
BENCHMARK(BM_SteadyTickBoard)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    // The windows and their pages go before the machine they live on.
    for (auto& p : world().panels) p->Unload();
    world().panels.clear();
    if (world().board && world().board->IsLoaded()) world().board->Unload();
    world().board.reset();
    // What the unloads posted runs before the machine goes.
    if (world().machine) world().machine->get().pumpOnce();
    world().machine.reset();
    benchmark::Shutdown();
    return 0;
}
