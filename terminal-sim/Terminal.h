#pragma once
// The simulated trading terminal: an outside program on the emulated machine. Other programs
// reach it only by window messages, keystrokes and memory of its process; the members below are
// the test side (set it up, script it, look at what it was told).
#include "QuoteBook.h"

#include "platform/system/Machine.h"
#include "platform/system/Process.h"
#include "platform/desktop/Window.h"
#include "platform/system/WinTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace termsim {

// What the main window does with WM_CLOSE.
enum class CloseBehaviour {
    Close,      // closes at once and the process ends
    CloseLate,  // closes after closeDelayMs
    Ignore,     // stays open
    Hang,       // stops answering anything until it is ended by force
};

// The result page the order dialog shows after its buy or sell button.
struct OrderOutcome {
    // Final text; empty: a success text naming the order. "{side}", "{volume}", "{symbol}",
    // "{price}" and "{ticket}" are filled in.
    std::string text;
    std::string progress = "正在发送定单...";
    uint64_t delayMs = 300;
    bool finishes = true;  // false: the OK button never shows
    // How the dialog itself behaves around the order.
    uint64_t openDelayMs = 0;   // the dialog appears this long after Enter
    bool opens = true;          // false: Enter opens nothing
    bool instantPage = true;    // false: the page is another kind ("挂单交易") with its own buttons
    bool resultPage = true;     // false: the order is taken but no result page ever shows
    uint64_t closeAfterMs = 0;  // > 0: the dialog closes itself this long after its button
};

struct TerminalOptions {
    std::string account = "8012345";
    std::string server = "Zidara-Demo";
    // Empty: account + ": " + server + " - 模拟账户 - [" + first symbol + ",H1]".
    std::string caption;
    uint64_t seed = 1;
    std::vector<SymbolSpec> symbols = QuoteBook::defaultSymbols();
    int columns = 6;
    bool marketWatchFloating = false;  // a top-level window owned by the main window
    bool marketWatchVisible = true;
    bool terminalPanelVisible = true;
    int64_t serverOffsetMs = -6 * 3600 * 1000;  // server time against the machine's local time
    uint64_t connectDelayMs = 1000;             // the server time is unknown until then
    uint64_t startDelayMs = 0;                  // windows appear this long after the start
    CloseBehaviour onClose = CloseBehaviour::Close;
    uint64_t closeDelayMs = 2000;
    OrderOutcome outcome;
};

// An order as the dialog had it when its button was pressed.
struct PlacedOrder {
    std::string symbol;
    int side = 0;  // 1 buy, -1 sell
    std::string volume, stopLoss, takeProfit, comment;
    std::string result;  // the final text of the result page
};

class Terminal : public std::enable_shared_from_this<Terminal> {
public:
    static constexpr const char* kMainClass = "MetaQuotes::MetaTrader::4.00";
    static constexpr const char* kImageName = "terminal-sim";

    // Puts the terminal into folder (terminal.exe, profiles\hotkeys.ini, experts\scripts\), records
    // InstallPath under HKCU "Software\MetaQuotes Software\MetaTrader 4" and sets the options its
    // starts get. Returns the path of terminal.exe.
    static std::string install(sys::Machine& machine, const std::string& folder = "C:\\Program Files\\MetaTrader 4",
                               TerminalOptions options = {});
    // Options for the next starts of that program file.
    static void configure(sys::Machine& machine, const std::string& exePath, TerminalOptions options);
    // Makes terminal.exe files startable on any machine (install does it).
    static void registerProgram();

    // The running terminal of a process or of one of its windows; nullptr when there is none.
    static Terminal* find(sys::Machine& machine, uint32_t pid);
    static Terminal* ofWindow(win::HWND hwnd);

    Terminal(sys::Machine& machine, sys::Process& process, const sys::StartInfo& info, TerminalOptions options);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    uint32_t pid() const { return pid_; }
    const std::string& exePath() const { return exePath_; }
    win::HWND mainWindow() const { return main_; }
    win::HWND marketWatch() const { return watchPanel_; }
    win::HWND marketWatchList() const { return watchList_.hwnd; }
    win::HWND terminalPanel() const { return termPanel_; }
    win::HWND terminalList() const { return termList_.hwnd; }
    win::HWND orderDialog() const { return dialog_.hwnd; }

    // ---- Scripting (test side) ------------------------------------------------------------
    QuoteBook& quotes() { return book_; }
    // Exact Market Watch rows (frozen) and column count.
    void setRows(std::vector<std::vector<std::string>> rows, int columns);
    void setColumnCount(int columns);
    void setCaption(const std::string& caption);
    void setOutcome(OrderOutcome outcome) { options_.outcome = std::move(outcome); }
    // The order the dialog is sending shows its result now, even one whose outcome never
    // finishes by itself.
    void finishPendingOrder();
    void setCloseBehaviour(CloseBehaviour behaviour, uint64_t delayMs = 2000);
    // Server time shown in the Market Watch caption; empty while unknown.
    std::string serverTimeText() const;
    const std::vector<PlacedOrder>& orders() const { return orders_; }
    // Key messages the order dialog's buy and sell buttons received: message, key, lParam.
    struct KeyMessage {
        win::UINT msg;
        win::WPARAM key;
        win::LPARAM lParam;
    };
    const std::vector<KeyMessage>& orderButtonKeys() const { return buttonKeys_; }
    // Scripts run by their hot keys, by name.
    const std::vector<std::string>& scriptsRun() const { return scriptsRun_; }
    // The Market Watch row states (selected 2, focused 1), for looking at a selection.
    uint32_t rowState(int row) const;

private:
    struct ListView {
        win::HWND hwnd = 0, header = 0;
        std::vector<uint32_t> states;
        std::function<int()> rows;
        std::function<int()> columns;
        std::function<const std::string&(int, int)> cell;  // ANSI
    };
    struct Dialog {
        win::HWND hwnd = 0, instantPage = 0, resultPage = 0, resultEdit = 0, resultOk = 0;
        win::HWND volume = 0, stopLoss = 0, takeProfit = 0, comment = 0, sell = 0, buy = 0;
        std::string symbol;
        int pendingOrder = -1;  // index into orders_ while the result page works
    };

    void createWindows();
    void createMarketWatch();
    void createTerminalPanel();
    void createListView(ListView& lv, win::HWND parent);
    win::HWND subclass(win::HWND hwnd, std::function<win::LRESULT(win::HWND, win::UINT, win::WPARAM,
                                                                  win::LPARAM, win::WNDPROC)> proc);
    win::LRESULT mainProc(win::HWND, win::UINT, win::WPARAM, win::LPARAM, win::WNDPROC prev);
    win::LRESULT listProc(ListView& lv, win::HWND, win::UINT, win::WPARAM, win::LPARAM, win::WNDPROC prev);
    // Accelerators of every window of the terminal; true when the key was taken.
    bool acceleratorKey(win::UINT msg, win::WPARAM vk, win::LPARAM lParam);
    void togglePanel(win::HWND panel);
    // Places the docked panels in the main window's client area.
    void layout();
    void tick();
    void updateWatchCaption();
    void beginClose();
    void closeNow();

    void requestOrderDialog(int row);
    void openOrderDialog(int row);
    void pressOrderButton(int side);
    void finishOrder();
    void closeOrderDialog();
    void loadHotkeys();
    static void writeInstallPath(sys::Machine& machine, const std::string& folder);

    sys::Machine& machine_;
    uint32_t pid_;
    std::weak_ptr<sys::Process> process_;
    std::string exePath_;
    std::string folder_;
    int showCommand_;
    TerminalOptions options_;
    QuoteBook book_;
    uint64_t startTick_;
    bool closing_ = false;

    win::HWND main_ = 0, watchDock_ = 0, watchPanel_ = 0, termDock_ = 0, termPanel_ = 0;
    ListView watchList_, termList_;
    Dialog dialog_;
    std::vector<win::WNDPROC> procs_;
    std::vector<std::vector<std::string>> termRows_;  // UTF-8
    std::vector<std::vector<std::string>> termAnsi_;
    std::vector<PlacedOrder> orders_;
    std::vector<KeyMessage> buttonKeys_;
    std::vector<std::pair<std::string, std::string>> hotkeys_;  // script name, key text
    std::vector<std::string> scriptsRun_;
    bool ctrl_ = false, alt_ = false;
    int nextTicket_ = 52817301;
    int pendingDialogRow_ = -1;  // a dialog asked for that opens late
};

} // namespace termsim
