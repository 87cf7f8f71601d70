// Reading the whole Market Watch across the process boundary, as the price loop does every tick:
// one open and two remote blocks per read, then a write, a message and a read per cell.
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"

#include "platform/desktop/Win.h"
#include "platform/system/Process.h"

#include <benchmark/benchmark.h>
#include <cstring>

using namespace win;

namespace {

struct LvItem {
    uint32_t mask = 1;
    int32_t iItem = 0, iSubItem = 0;
    uint32_t state = 0, stateMask = 0, pszText = 0;
    int32_t cchTextMax = 255, iImage = 0, lParam = 0, iIndent = 0;
};

HWND marketWatchList(HWND main) {
    HWND found = 0;
    EnumChildWindows(main, [&](HWND h, LPARAM) {
        if (className(h) == "SysListView32" && windowText(GetParent(h)).find("市场报价") != std::string::npos) {
            found = h;
            return FALSE;
        }
        return TRUE;
    }, 0);
    return found;
}

void BM_ReadMarketWatch50x6(benchmark::State& state) {
    testing_support::TestMachine m;
    const std::string exe = termsim::Terminal::install(*m);
    const uint32_t pid = sys::ProcessTable::of(*m).start(exe).pid;
    m->runFor(10);
    auto* terminal = termsim::Terminal::find(*m, pid);
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < 50; ++r)
        rows.push_back({"SYM" + std::to_string(r), "1.23456", "1.23476", "1.24000", "1.22000", "12:34:56"});
    terminal->setRows(rows, 6);
    const HWND list = marketWatchList(terminal->mainWindow());

    size_t bytes = 0;
    for (auto _ : state) {
        DWORD owner = 0;
        GetWindowThreadProcessId(list, &owner);
        HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, owner);
        const DWORD text = VirtualAllocEx(h, 0, 255, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        const DWORD item = VirtualAllocEx(h, 0, 40, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        const int count = SendMessage(list, 0x1004, 0, 0);
        const int columns = SendMessage(SendMessage(list, 0x101F, 0, 0), 0x1200, 0, 0);
        LvItem it;
        it.pszText = text;
        char buf[256];
        for (int r = 0; r < count; ++r) {
            for (int c = 0; c < columns; ++c) {
                it.iSubItem = c;
                WriteProcessMemory(h, item, &it, sizeof it, nullptr);
                const int len = SendMessage(list, 0x102D, r, static_cast<LPARAM>(item));
                ReadProcessMemory(h, text, buf, static_cast<DWORD>(len), nullptr);
                bytes += static_cast<size_t>(len);
            }
        }
        VirtualFreeEx(h, text, 0, MEM_RELEASE);
        VirtualFreeEx(h, item, 0, MEM_RELEASE);
        CloseHandle(h);
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["cells"] = 300;
}
BENCHMARK(BM_ReadMarketWatch50x6)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
