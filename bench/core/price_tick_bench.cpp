// One tick of the price loop against the simulated terminal: every Market Watch row (6 columns)
// read across the process boundary, the time-out logic and 10 floating panels fed. The terminal's
// quotes move between ticks (outside the timing). By rows (10 / 50 / 200 / 1000): the cost of a
// tick must grow in step with the rows (aim: 50 rows within 70 us, 1000 rows within 1.5 ms).
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"
#include "tests/core/QuoteWindowDoubles.h"
#include "platform/speech/SpVoice.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

const char* kFolder = "C:\\Program Files\\Pennant";

std::string settingsWithPanels(const std::vector<std::string>& symbols) {
    std::ifstream in(std::string(PENNANT_SOURCE_DIR) + "/core/Pennant.xml", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string xml = s.str();
    std::string items;
    for (size_t i = 0; i < symbols.size(); i++)
        items += "<Item Symbol=\"" + symbols[i] + "\" Left=\"" + std::to_string(40 + 60 * i) +
                 "\" Top=\"100\" Style=\"0\" Border=\"1\" QuickOrder=\"0\" Voice=\"1\" IconEvent=\"0\"/>";
    const size_t window = xml.find("<Window");
    const size_t from = xml.find("<Float>", window), to = xml.find("</Float>", window);
    return xml.substr(0, from) + "<Float>" + items + xml.substr(to);
}

void BM_PriceTick(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    testing_support::TestMachine m;
    speech::installSpeechService(*m);
    termsim::TerminalOptions options;
    options.symbols.clear();
    std::vector<std::string> panelSymbols;
    for (int i = 0; i < rows; i++) {
        const std::string name = "SYM" + std::to_string(100 + i);
        options.symbols.push_back({name, i % 3 == 0 ? 3 : 5, i % 3 == 0 ? 110.0 + i : 1.0 + i / 100.0, 20});
        if (i < 10) panelSymbols.push_back(name);
    }
    termsim::Terminal::install(*m, "C:\\Program Files\\MetaTrader 4", options);
    m->makeDirs(kFolder);
    m->writeFileAtomic(std::string(kFolder) + "\\Pennant.xml", settingsWithPanels(panelSymbols));
    m_Main::setProgram(kFolder, "Pennant");
    m_Main::NewFloatPanel = [] { return std::make_shared<FloatPanelDouble>(); };
    m_Main::LoadMainWindow = [] {
        m_Main::MainForm = std::make_shared<frmMain>();
        m_Main::MainForm->Load();
    };
    if (!m_Main::Main() || m_Main::FloatForms.Count() != 10 || m_Main::Quotes.Count() != rows) {
        state.SkipWithError(("the program did not start with every symbol and 10 panels: " + std::to_string(m_Main::Quotes.Count()) + " " + std::to_string(m_Main::FloatForms.Count())).c_str());
        return;
    }
    frmMain& main = *m_Main::MainForm;
    main.m_PriceTimer->Interval(0);  // ticks are driven here
    m->runFor(3000);
    for (auto _ : state) {
        state.PauseTiming();
        m->runFor(1000);
        state.ResumeTiming();
        main.m_PriceTimer_ThatTime();
    }
    state.counters["symbols"] = static_cast<double>(m_Main::Quotes.Count());
    state.counters["panels"] = static_cast<double>(m_Main::FloatForms.Count());

    main.Unload();
    m_Main::MainForm.reset();
    m_Main::FloatForms.Clear();
    m_Main::Quotes.Clear();
    m_Main::SymbolList.clear();
    m_Main::NewFloatPanel = nullptr;
    m_Main::LoadMainWindow = nullptr;
}
BENCHMARK(BM_PriceTick)->ArgName("rows")->Arg(10)->Arg(50)->Arg(200)->Arg(1000)->Unit(benchmark::kMicrosecond)
    ->Iterations(300);

} // namespace

BENCHMARK_MAIN();
