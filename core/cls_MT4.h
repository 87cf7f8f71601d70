#pragma once
// The bridge to the trading terminal: finds its main window, Market Watch list and Terminal
// panel, reads every Market Watch row into Quotes across the process boundary, opens the order
// dialog for a symbol, lists running terminals and closes the terminal.
#include "toolkit/mWindow.h"

#include "platform/system/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

class cls_Quote;

class cls_MT4 : public IEnumWindowsSink {
public:
    static constexpr const char* kMainClass = "MetaQuotes::MetaTrader::4.00";
    static constexpr const char* kMarketWatch = "市场报价";
    static constexpr const char* kTerminalPanel = "终端";

    // Selects the symbol's last Market Watch row and presses Enter; nothing for a symbol not listed.
    void order(const std::string& symbol);
    // The terminal's order dialog (class "#32770", caption "定单") owned by the followed main
    // window; another terminal's dialog does not count. 0 when there is none.
    win::HWND OrderDialog();
    // The program file of a process; 0 means the terminal's, whose id is written back.
    // "unknown" when the process cannot be asked.
    std::string GetRuntimeMT4Path(int32_t& processId);
    std::string GetEXE(win::HWND hwnd);
    // First descendant of that class (without regard to case), depth first in z-order; 0 for none.
    win::HWND FindChildByClass(win::HWND parent, const std::string& className);
    // The main window while it exists, else 0.
    win::HWND Mt4Hwnd();
    // Scans for terminals; true when two or more run.
    bool isMt4Multi();
    // The last scan's terminals, caption + "|" + window handle, in enumeration order.
    std::vector<std::string> Mt4Multi() const { return terminals_; }
    // Server time from the Market Watch caption; empty while unknown.
    std::string MT4Time();
    // Locates the terminal (hwnd 0: search for it), its Market Watch list and Terminal panel,
    // opening a closed panel with its shortcut for the moment of finding it.
    bool CheckkMT4(win::HWND hwnd = 0);
    // The Market Watch list is still a window (forgotten once it is not).
    bool MT4Enable();
    win::HWND TerminalHwnd() const { return terminalPanel_; }
    // Reads every Market Watch row into Quotes; true when there were rows and every read worked.
    bool GetQuote();
    // Closes the terminal, by force when it does not go; true when it is gone.
    bool CloseMT4();

    void EnumWindow(win::HWND hwnd, bool& stop) override;
    int32_t Identifier() override;

    // Test side.
    win::HWND marketWatchList() const { return list_; }

private:
    bool SelectListRow(int32_t row);
    win::HWND FindListWindow(win::HWND main, int mode);
    // Finds a closed panel: scans for it and, failing that, shows it with its shortcut and
    // scans again, then hides it again with the same shortcut.
    void findPanelByShortcut(int mode, const char* keys);

    win::HWND list_ = 0;
    win::HWND main_ = 0;
    int32_t terminalCount_ = 0;
    win::HWND terminalPanel_ = 0;
    std::vector<std::string> terminals_;
    int32_t scanMode_ = 0;
    std::vector<const cls_Quote*> listed_;  // the records the last read found, kept for its buffer
};

// The program's one bridge, made on first use.
cls_MT4& MT4();
