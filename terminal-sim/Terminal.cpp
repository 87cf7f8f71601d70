#include "Terminal.h"

#include "platform/desktop/Win.h"
#include "platform/system/CodePage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace termsim {

namespace {

using namespace win;

constexpr WPARAM kVkReturn = 0x0D, kVkControl = 0x11, kVkMenu = 0x12;
constexpr UINT kTimerQuotes = 1, kTimerCloseLate = 2, kTimerOpenDialog = 3, kTimerResult = 10, kTimerSelfClose = 11;
// The docked panels: Market Watch down the left, the Terminal panel along the bottom.
constexpr int kWatchWidth = 300, kTerminalHeight = 200;

bool hasStyle(HWND h, DWORD style) { return h && (static_cast<DWORD>(GetWindowLong(h, GWL_STYLE)) & style); }

// A container fills its client area with its one child, wherever that child came from.
void fill(HWND child, HWND parent) {
    if (!child || !parent || GetAncestor(child, GA_PARENT) != parent) return;
    RECT r;
    GetClientRect(parent, &r);
    MoveWindow(child, 0, 0, r.right, r.bottom);
}


// The machine's terminals: options per program file and the running ones.
struct Terminals {
    int listener = 0;
    std::map<std::string, TerminalOptions> options;  // upper-case program paths
    std::map<uint32_t, std::weak_ptr<Terminal>> running;
};
Terminals& terminals(sys::Machine& m) {
    // A service is built under the machine's lock, so this one hooks into the process table after.
    auto& t = m.service<Terminals>();
    if (!t.listener) {
        // Its windows go with the process (the window system sees to that); the terminal with it.
        t.listener = sys::ProcessTable::of(m).addExitListener([&t](uint32_t pid) { t.running.erase(pid); });
    }
    return t;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool isNumber(const std::string& s) {
    if (s.empty()) return false;
    int dots = 0, digits = 0;
    for (char c : s) {
        if (c == '.') ++dots;
        else if (c >= '0' && c <= '9') ++digits;
        else return false;
    }
    return dots <= 1 && digits > 0;
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) s.replace(p, from.size(), to);
}

const char* const kHotkeysDefault =
    "<charts>\r\n"
    "Ctrl+F6=NextChart\r\n"
    "</charts>\r\n"
    "<scripts>\r\n"
    "</scripts>\r\n";

} // namespace

// ---- Installation and start -------------------------------------------------------------

void Terminal::registerProgram() {
    static std::once_flag once;
    std::call_once(once, [] {
        sys::registerProgramImage(kImageName, [](sys::Process& process, const sys::StartInfo& info) {
            auto& machine = sys::Machine::current();
            auto& all = terminals(machine);
            TerminalOptions options;
            auto it = all.options.find(sys::upperAscii(info.exePath));
            if (it != all.options.end()) options = it->second;
            // A machine may ask for a longer Market Watch than the default six (a demo with many
            // panels): the machine setting "terminal.symbols" is the number of rows.
            if (const unsigned long rows = std::strtoul(machine.setting("terminal.symbols").c_str(), nullptr, 10))
                options.symbols = QuoteBook::defaultSymbols(rows);
            auto t = std::make_shared<Terminal>(machine, process, info, std::move(options));
            process.keep(t);
            all.running[process.id()] = t;
            if (t->options_.startDelayMs == 0) {
                t->createWindows();
            } else {
                std::weak_ptr<Terminal> weak = t;
                SetTimer(0, 0, static_cast<UINT>(t->options_.startDelayMs), [weak](HWND, UINT, UINT id, DWORD) {
                    KillTimer(0, id);
                    if (auto self = weak.lock()) self->createWindows();
                });
            }
        });
    });
}

std::string Terminal::install(sys::Machine& machine, const std::string& folder, TerminalOptions options) {
    registerProgram();
    std::string dir = machine.fullWinPath(folder);
    while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
    machine.makeDirs(dir + "\\profiles");
    machine.makeDirs(dir + "\\experts\\scripts");
    const std::string exe = dir + "\\terminal.exe";
    machine.writeFileAtomic(exe, sys::programImageText(kImageName));
    if (!machine.fileExists(dir + "\\profiles\\hotkeys.ini"))
        machine.writeFileAtomic(dir + "\\profiles\\hotkeys.ini", kHotkeysDefault);
    writeInstallPath(machine, dir);
    configure(machine, exe, std::move(options));
    return exe;
}

void Terminal::configure(sys::Machine& machine, const std::string& exePath, TerminalOptions options) {
    terminals(machine).options[sys::upperAscii(machine.fullWinPath(exePath))] = std::move(options);
}

Terminal* Terminal::find(sys::Machine& machine, uint32_t pid) {
    auto& all = terminals(machine);
    auto it = all.running.find(pid);
    if (it == all.running.end()) return nullptr;
    auto t = it->second.lock();
    return t ? t.get() : nullptr;
}

Terminal* Terminal::ofWindow(HWND hwnd) {
    DWORD pid = 0;
    if (!GetWindowThreadProcessId(hwnd, &pid)) return nullptr;
    return find(sys::Machine::current(), pid);
}

Terminal::Terminal(sys::Machine& machine, sys::Process& process, const sys::StartInfo& info, TerminalOptions options)
    : machine_(machine), pid_(process.id()), exePath_(info.exePath), folder_(folderOf(info.exePath)),
      showCommand_(info.showCommand), options_(std::move(options)), book_(options_.seed, options_.symbols),
      startTick_(machine.clock().tickMs()) {
    process_ = sys::ProcessTable::of(machine).find(pid_);
    book_.setColumnCount(options_.columns);
    book_.advanceTo(startTick_, machine.clock().localMs() + options_.serverOffsetMs);
    loadHotkeys();
}

Terminal::~Terminal() {
    // The window system may be gone already (the machine ends): only our own procedures go.
    for (WNDPROC p : procs_) releaseWndProc(p);
}

// ---- Windows ------------------------------------------------------------------------------

HWND Terminal::subclass(HWND hwnd, std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, WNDPROC)> proc) {
    if (!hwnd) return 0;
    // The window system copies a procedure for each call: keep the copy to one shared pointer.
    struct Chain {
        std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, WNDPROC)> proc;
        WNDPROC prev = 0;
    };
    auto chain = std::make_shared<Chain>();
    chain->proc = std::move(proc);
    WNDPROC mine = registerWndProc([chain](HWND h, UINT m, WPARAM w, LPARAM l) {
        return chain->proc(h, m, w, l, chain->prev);
    });
    procs_.push_back(mine);
    chain->prev = SetWindowLong(hwnd, GWL_WNDPROC, mine);
    return hwnd;
}

void Terminal::createWindows() {
    if (main_ || closing_) return;
    WNDCLASS wc;
    wc.style = CS_DBLCLKS;
    wc.lpszClassName = kMainClass;
    RegisterClass(wc);  // taken already when another terminal runs: the same class serves

    std::string caption = options_.caption;
    if (caption.empty())
        caption = options_.account + ": " + options_.server + " - 模拟账户 - [" +
                  (book_.rowCount() ? book_.symbolAt(0) : std::string("EURUSD")) + ",H1]";
    main_ = CreateWindowEx(WS_EX_APPWINDOW, kMainClass, caption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 30,
                           1100, 720, 0);
    subclass(main_, [this](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) { return mainProc(h, m, w, l, prev); });

    createMarketWatch();
    createTerminalPanel();
    layout();

    switch (showCommand_) {
    case SW_HIDE: break;
    case SW_SHOWMAXIMIZED: ShowWindow(main_, SW_SHOWMAXIMIZED); break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE: ShowWindow(main_, SW_SHOWMINNOACTIVE); break;
    case SW_SHOWNOACTIVATE: ShowWindow(main_, SW_SHOWNOACTIVATE); break;
    default: ShowWindow(main_, SW_SHOW); break;
    }
    updateWatchCaption();
    SetTimer(main_, kTimerQuotes, static_cast<UINT>(QuoteBook::kStepMs));
}

void Terminal::createMarketWatch() {
    auto panelProc = [this](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) -> LRESULT {
        if ((m == WM_KEYDOWN || m == WM_SYSKEYDOWN || m == WM_KEYUP || m == WM_SYSKEYUP) && acceleratorKey(m, w, l))
            return 0;
        if (m == WM_CLOSE && h == watchPanel_) {  // closing a floating panel only hides it
            ShowWindow(h, SW_HIDE);
            return 0;
        }
        if (m == WM_SIZE) fill(h == watchDock_ ? watchPanel_ : watchList_.hwnd, h);
        return CallWindowProc(prev, h, m, w, l);
    };
    const DWORD panelVisible = options_.marketWatchVisible ? WS_VISIBLE : 0;
    if (options_.marketWatchFloating) {
        watchPanel_ = CreateWindowEx(WS_EX_TOOLWINDOW, "AfxFrameOrView42", "市场报价",
                                     WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | panelVisible, 80, 120, 300,
                                     420, main_);
    } else {
        watchDock_ = CreateWindowEx(0, "AfxFrameOrView42", "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 460, main_);
        subclass(watchDock_, panelProc);
        watchPanel_ = CreateWindowEx(0, "AfxFrameOrView42", "市场报价", WS_CHILD | panelVisible, 0, 0, 300, 460,
                                     watchDock_);
    }
    subclass(watchPanel_, panelProc);

    watchList_.rows = [this] { return book_.rowCount(); };
    watchList_.columns = [this] { return book_.columnCount(); };
    watchList_.cell = [this](int r, int c) -> const std::string& { return book_.cellAnsi(r, c); };
    createListView(watchList_, watchPanel_);
}

void Terminal::createTerminalPanel() {
    termDock_ = CreateWindowEx(0, "AfxFrameOrView42", "", WS_CHILD | WS_VISIBLE, 0, 460, 1090, 200, main_);
    termPanel_ = CreateWindowEx(0, "AfxFrameOrView42", "终端",
                                WS_CHILD | (options_.terminalPanelVisible ? WS_VISIBLE : 0), 0, 0, 1090, 200, termDock_);
    auto panelProc = [this](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) -> LRESULT {
        if ((m == WM_KEYDOWN || m == WM_SYSKEYDOWN || m == WM_KEYUP || m == WM_SYSKEYUP) && acceleratorKey(m, w, l))
            return 0;
        // The panel lays itself out wherever it lives, in its container or in another program's.
        if (m == WM_SIZE) fill(h == termDock_ ? termPanel_ : termList_.hwnd, h);
        return CallWindowProc(prev, h, m, w, l);
    };
    subclass(termDock_, panelProc);
    subclass(termPanel_, panelProc);
    // Order, time, type, volume, symbol, price, profit.
    constexpr int kColumns = 7;
    termList_.rows = [this] { return static_cast<int>(termRows_.size()); };
    termList_.columns = [] { return kColumns; };
    termList_.cell = [this](int r, int c) -> const std::string& {
        static const std::string none;
        return r >= 0 && r < static_cast<int>(termAnsi_.size()) && c >= 0 && c < static_cast<int>(termAnsi_[r].size())
                   ? termAnsi_[r][c]
                   : none;
    };
    createListView(termList_, termPanel_);
}

// The header answers only its item count: the column texts are nobody's business outside.
void Terminal::createListView(ListView& lv, HWND parent) {
    RECT r;
    GetClientRect(parent, &r);
    lv.hwnd = CreateWindowEx(WS_EX_CLIENTEDGE, "SysListView32", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0,
                             r.right, r.bottom, parent);
    lv.header = CreateWindowEx(0, "SysHeader32", "", WS_CHILD | WS_VISIBLE, 0, 0, r.right, 20, lv.hwnd);
    subclass(lv.hwnd, [this, &lv](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) {
        return listProc(lv, h, m, w, l, prev);
    });
    subclass(lv.header, [&lv](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) -> LRESULT {
        if (m == HDM_GETITEMCOUNT) return lv.columns();
        return CallWindowProc(prev, h, m, w, l);
    });
}

LRESULT Terminal::mainProc(HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) {
    switch (m) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (acceleratorKey(m, w, l)) return 0;
        break;
    case WM_TIMER:
        if (w == kTimerQuotes) tick();
        if (w == kTimerCloseLate) {
            KillTimer(h, kTimerCloseLate);
            closeNow();
        }
        if (w == kTimerOpenDialog) {
            KillTimer(h, kTimerOpenDialog);
            if (pendingDialogRow_ >= 0 && pendingDialogRow_ < book_.rowCount()) openOrderDialog(pendingDialogRow_);
            pendingDialogRow_ = -1;
        }
        return 0;
    case WM_CLOSE:
        beginClose();
        return 0;
    case WM_SIZE:
        layout();
        break;
    case WM_DESTROY:
        if (h == main_) main_ = 0;
        break;
    default: break;
    }
    return CallWindowProc(prev, h, m, w, l);
}

LRESULT Terminal::listProc(ListView& lv, HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) {
    auto process = process_.lock();
    const int rows = lv.rows();
    if (lv.states.size() != static_cast<size_t>(rows)) lv.states.resize(rows, 0);
    auto readItem = [&](LVITEM32& it) {
        return process && process->memory().read(static_cast<uint32_t>(l), &it, sizeof it);
    };
    // Copies a cell into the caller's text buffer: at most capacity - 1 bytes and a NUL.
    auto copyText = [&](const LVITEM32& it, int row) -> int {
        if (it.cchTextMax <= 0) return 0;
        const size_t room = static_cast<size_t>(it.cchTextMax) - 1;
        const std::string& whole = lv.cell(row, it.iSubItem);
        std::string cut;
        if (whole.size() > room) cut = sys::truncateAnsi(whole, room, machine_.codePage());
        const std::string& text = whole.size() > room ? cut : whole;
        char buf[1024];
        if (text.size() + 1 > sizeof buf) return 0;
        std::memcpy(buf, text.data(), text.size());
        buf[text.size()] = '\0';
        if (!process->memory().write(it.pszText, buf, static_cast<uint32_t>(text.size() + 1))) return -1;
        return static_cast<int>(text.size());
    };

    switch (m) {
    case LVM_GETITEMCOUNT: return rows;
    case LVM_GETHEADER: return lv.header;
    case LVM_GETITEMTEXTA: {
        LVITEM32 it;
        const int row = static_cast<int>(w);
        if (row < 0 || row >= rows || !readItem(it)) return 0;
        return std::max(0, copyText(it, row));
    }
    case LVM_GETITEMA: {
        LVITEM32 it;
        if (!readItem(it) || it.iItem < 0 || it.iItem >= rows) return FALSE;
        // Only items carry a state; a sub-item's is none.
        if (it.mask & LVIF_STATE) it.state = it.iSubItem > 0 ? 0 : lv.states[it.iItem] & it.stateMask;
        if ((it.mask & LVIF_TEXT) && copyText(it, it.iItem) < 0) return FALSE;
        return process->memory().write(static_cast<uint32_t>(l), &it, sizeof it) ? TRUE : FALSE;
    }
    case LVM_SETITEMSTATE: {
        LVITEM32 it;
        const int row = static_cast<int>(w);
        if (!readItem(it) || row < -1 || row >= rows) return FALSE;
        for (int r = 0; r < rows; ++r) {
            if (row != -1 && r != row) {
                // One selected and one focused row at a time, as in a single-selection list.
                lv.states[r] &= ~(it.stateMask & it.state & (LVIS_SELECTED | LVIS_FOCUSED));
                continue;
            }
            lv.states[r] = (lv.states[r] & ~it.stateMask) | (it.state & it.stateMask);
        }
        return TRUE;
    }
    case WM_KEYDOWN:
        if (w == kVkReturn && &lv == &watchList_) {
            for (int r = 0; r < rows; ++r)
                if (lv.states[r] & LVIS_SELECTED) {
                    requestOrderDialog(r);
                    break;
                }
            return 0;
        }
        [[fallthrough]];
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (acceleratorKey(m, w, l)) return 0;
        break;
    default: break;
    }
    return CallWindowProc(prev, h, m, w, l);
}

bool Terminal::acceleratorKey(UINT msg, WPARAM vk, LPARAM lParam) {
    const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
    if (vk == kVkControl) {
        ctrl_ = down;
        return false;
    }
    if (vk == kVkMenu) {
        alt_ = down;
        return false;
    }
    if (!down) return false;
    const bool ctrl = ctrl_ || (GetKeyState(VK_CONTROL) & 0x8000);
    const bool alt = alt_ || (lParam & (1 << 29)) || (GetKeyState(VK_MENU) & 0x8000);
    if (ctrl && !alt && (vk == 'M' || vk == 'T')) {
        togglePanel(vk == 'M' ? watchPanel_ : termPanel_);
        return true;
    }
    if ((ctrl || alt) && vk >= '0' && vk <= '9') {
        const std::string key = std::string(ctrl ? "CTRL+" : "ALT+") + static_cast<char>(vk);
        for (const auto& [name, value] : hotkeys_) {
            std::string v = sys::upperAscii(value);
            v.erase(std::remove(v.begin(), v.end(), ' '), v.end());
            if (v != key) continue;
            const std::string base = folder_ + "experts\\scripts\\" + name;
            if (machine_.fileExists(base + ".ex4") || machine_.fileExists(base + ".mq4")) scriptsRun_.push_back(name);
            return true;
        }
    }
    return false;
}

void Terminal::togglePanel(HWND panel) {
    if (!panel || !IsWindow(panel)) return;
    if (IsWindowVisible(panel)) {
        ShowWindow(panel, SW_HIDE);
        return;
    }
    const HWND dock = panel == watchPanel_ ? watchDock_ : termDock_;
    if (dock && GetParent(panel) == dock) ShowWindow(dock, SW_SHOW);
    ShowWindow(panel, SW_SHOW);
    layout();
}

void Terminal::layout() {
    if (!main_ || !IsWindow(main_)) return;
    RECT c;
    GetClientRect(main_, &c);
    // The Terminal panel's band is taken only while the panel is shown in its own container.
    const bool terminalHome = termPanel_ && GetAncestor(termPanel_, GA_PARENT) == termDock_;
    const bool terminalShown = terminalHome && hasStyle(termDock_, WS_VISIBLE) && hasStyle(termPanel_, WS_VISIBLE);
    const int band = std::min<int>(kTerminalHeight, c.bottom);
    if (watchDock_) {
        MoveWindow(watchDock_, 0, 0, std::min<int>(kWatchWidth, c.right), c.bottom - (terminalShown ? band : 0));
        fill(watchPanel_, watchDock_);
    }
    if (terminalHome) {
        MoveWindow(termDock_, 0, c.bottom - band, c.right, band);
        fill(termPanel_, termDock_);
    }
}

// ---- Quotes and time ----------------------------------------------------------------------

void Terminal::tick() {
    book_.advanceTo(machine_.clock().tickMs(), machine_.clock().localMs() + options_.serverOffsetMs);
    updateWatchCaption();
}

std::string Terminal::serverTimeText() const {
    if (machine_.clock().tickMs() - startTick_ < options_.connectDelayMs) return "";
    return QuoteBook::formatTime(machine_.clock().localMs() + options_.serverOffsetMs);
}

void Terminal::updateWatchCaption() {
    if (!watchPanel_ || !IsWindow(watchPanel_)) return;
    const std::string t = serverTimeText();
    const std::string caption = t.empty() ? "市场报价" : "市场报价: " + t;
    if (windowText(watchPanel_) != caption) SetWindowText(watchPanel_, caption);
}

void Terminal::setRows(std::vector<std::vector<std::string>> rows, int columns) {
    book_.setRows(std::move(rows), columns);
}

void Terminal::setColumnCount(int columns) { book_.setColumnCount(columns); }

void Terminal::setCaption(const std::string& caption) {
    options_.caption = caption;
    if (main_) SetWindowText(main_, caption);
}

void Terminal::setCloseBehaviour(CloseBehaviour behaviour, uint64_t delayMs) {
    options_.onClose = behaviour;
    options_.closeDelayMs = delayMs;
}

uint32_t Terminal::rowState(int row) const {
    return row >= 0 && row < static_cast<int>(watchList_.states.size()) ? watchList_.states[row] : 0;
}

// ---- Closing ------------------------------------------------------------------------------

void Terminal::beginClose() {
    switch (options_.onClose) {
    case CloseBehaviour::Close: closeNow(); break;
    case CloseBehaviour::CloseLate:
        SetTimer(main_, kTimerCloseLate, static_cast<UINT>(std::max<uint64_t>(options_.closeDelayMs, 10)));
        break;
    case CloseBehaviour::Ignore: break;
    case CloseBehaviour::Hang:
        book_.setFrozen(true);
        setProcessHung(pid_, true);
        break;
    }
}

void Terminal::closeNow() {
    if (closing_) return;
    closing_ = true;
    // A panel that another program holds goes too, as the terminal's own window.
    for (HWND panel : {termPanel_, watchPanel_})
        if (panel && IsWindow(panel) && main_ && !IsChild(main_, panel) && GetWindow(panel, GW_OWNER) != main_)
            DestroyWindow(panel);
    if (main_) DestroyWindow(main_);  // its panels, lists and owned windows go with it
    sys::ProcessTable::of(machine_).exitLater(pid_, 0);
}

// ---- The order dialog ---------------------------------------------------------------------

void Terminal::requestOrderDialog(int row) {
    const OrderOutcome& o = options_.outcome;
    if (!o.opens) return;
    if (o.openDelayMs == 0) {
        openOrderDialog(row);
        return;
    }
    pendingDialogRow_ = row;
    SetTimer(main_, kTimerOpenDialog, static_cast<UINT>(o.openDelayMs));
}

void Terminal::openOrderDialog(int row) {
    if (dialog_.hwnd) closeOrderDialog();
    dialog_ = Dialog{};
    dialog_.symbol = book_.symbolAt(row);
    RECT mr{};
    GetWindowRect(main_, &mr);
    const int x = (mr.left + mr.right) / 2 - 280, y = (mr.top + mr.bottom) / 2 - 200;
    HWND d = CreateWindowEx(WS_EX_DLGMODALFRAME, "#32770", "定单", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                            std::max(0, x), std::max(0, y), 560, 400, main_);
    dialog_.hwnd = d;
    auto child = [&](const char* cls, const std::string& text, int cx, int cy, int w, int h, HWND parent,
                     DWORD extra = WS_VISIBLE) {
        return CreateWindowEx(0, cls, text, WS_CHILD | extra, cx, cy, w, h, parent);
    };
    // Labels and their boxes in the order the dialog walks them (each box follows its label).
    child("Static", "交易品种:", 10, 12, 80, 20, d);
    child("ComboBox", dialog_.symbol, 100, 10, 200, 22, d);
    child("Static", "手数:", 10, 42, 80, 20, d);
    HWND volumeBox = child("ComboBox", "", 100, 40, 120, 22, d);
    dialog_.volume = child("Edit", "0.10", 2, 2, 96, 18, volumeBox, WS_VISIBLE | WS_TABSTOP);
    child("Static", "止损价:", 10, 72, 80, 20, d);
    dialog_.stopLoss = child("Edit", "", 100, 70, 120, 22, d, WS_VISIBLE | WS_TABSTOP);
    child("Static", "获利价:", 240, 72, 80, 20, d);
    dialog_.takeProfit = child("Edit", "", 330, 70, 120, 22, d, WS_VISIBLE | WS_TABSTOP);
    child("Static", "注释:", 10, 102, 80, 20, d);
    dialog_.comment = child("Edit", "", 100, 100, 350, 22, d, WS_VISIBLE | WS_TABSTOP);
    child("Static", "类型:", 10, 132, 80, 20, d);
    child("ComboBox", "即时执行", 100, 130, 200, 22, d);
    // Another kind of page carries the same buttons under another caption.
    dialog_.instantPage = child("#32770", options_.outcome.instantPage ? "即时成交" : "挂单交易", 0, 160, 550, 200, d);
    const int r = book_.rowOf(dialog_.symbol);
    child("Static", book_.bidText(r) + " / " + book_.askText(r), 150, 20, 250, 30, dialog_.instantPage);
    dialog_.sell = child("Button", "以市价卖出", 60, 80, 180, 40, dialog_.instantPage, WS_VISIBLE | WS_TABSTOP);
    dialog_.buy = child("Button", "以市价买入", 300, 80, 180, 40, dialog_.instantPage, WS_VISIBLE | WS_TABSTOP);
    for (HWND button : {dialog_.sell, dialog_.buy})
        subclass(button, [this](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) -> LRESULT {
            if (m == WM_KEYDOWN || m == WM_KEYUP) buttonKeys_.push_back({m, w, l});
            return CallWindowProc(prev, h, m, w, l);
        });

    subclass(d, [this](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) -> LRESULT {
        if (m == WM_TIMER && w == kTimerResult) {
            KillTimer(h, kTimerResult);
            finishOrder();
            return 0;
        }
        if (m == WM_TIMER && w == kTimerSelfClose) {
            KillTimer(h, kTimerSelfClose);
            closeOrderDialog();
            return 0;
        }
        if (m == WM_CLOSE) {
            DestroyWindow(h);
            return 0;
        }
        if (m == WM_DESTROY && h == dialog_.hwnd) dialog_ = Dialog{};
        return CallWindowProc(prev, h, m, w, l);
    });
    // The buttons are the standard ones: the page hears their clicks.
    subclass(dialog_.instantPage, [this](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) -> LRESULT {
        if (m == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
            if (static_cast<HWND>(l) == dialog_.buy) pressOrderButton(1);
            if (static_cast<HWND>(l) == dialog_.sell) pressOrderButton(-1);
            return 0;
        }
        return CallWindowProc(prev, h, m, w, l);
    });
    SetForegroundWindow(d);
}

void Terminal::pressOrderButton(int side) {
    if (!dialog_.hwnd || dialog_.resultPage) return;
    PlacedOrder order;
    order.symbol = dialog_.symbol;
    order.side = side;
    order.volume = windowText(dialog_.volume);
    order.stopLoss = windowText(dialog_.stopLoss);
    order.takeProfit = windowText(dialog_.takeProfit);
    order.comment = windowText(dialog_.comment);
    const int row = book_.rowOf(order.symbol);
    const std::string price = side > 0 ? book_.askText(row) : book_.bidText(row);
    const int ticket = nextTicket_++;
    if (!isNumber(order.volume) || !(std::strtod(order.volume.c_str(), nullptr) > 0)) {
        order.result = "无效手数 (" + order.volume + ")";
    } else if ((!order.stopLoss.empty() && !isNumber(order.stopLoss)) ||
               (!order.takeProfit.empty() && !isNumber(order.takeProfit))) {
        order.result = "无效止损或获利";
    } else {
        std::string text = options_.outcome.text.empty()
                               ? "定单 #{ticket} {side} {volume} {symbol} 价格 {price}\r\n定单已成功执行"
                               : options_.outcome.text;
        replaceAll(text, "{ticket}", std::to_string(ticket));
        replaceAll(text, "{side}", side > 0 ? "买入" : "卖出");
        replaceAll(text, "{volume}", order.volume);
        replaceAll(text, "{symbol}", order.symbol);
        replaceAll(text, "{price}", price);
        order.result = text;
    }
    if (order.result.find("成功") != std::string::npos) {
        termRows_.push_back({std::to_string(ticket), QuoteBook::formatTime(machine_.clock().localMs() + options_.serverOffsetMs),
                             side > 0 ? "buy" : "sell", order.volume, order.symbol, price, "0.00"});
        std::vector<std::string> ansi;
        for (const auto& cell : termRows_.back()) ansi.push_back(sys::toAnsi(cell, machine_.codePage()));
        termAnsi_.push_back(std::move(ansi));
    }
    orders_.push_back(order);
    dialog_.pendingOrder = static_cast<int>(orders_.size()) - 1;
    if (options_.outcome.closeAfterMs > 0)
        SetTimer(dialog_.hwnd, kTimerSelfClose, static_cast<UINT>(options_.outcome.closeAfterMs));
    if (!options_.outcome.resultPage) return;

    ShowWindow(dialog_.instantPage, SW_HIDE);
    HWND page = CreateWindowEx(0, "#32770", "", WS_CHILD | WS_VISIBLE, 0, 160, 550, 200, dialog_.hwnd);
    dialog_.resultPage = page;
    dialog_.resultEdit = CreateWindowEx(0, "Edit", options_.outcome.progress, WS_CHILD | WS_VISIBLE, 20, 20, 510, 80, page);
    dialog_.resultOk = CreateWindowEx(0, "Button", "确定", WS_CHILD | WS_TABSTOP, 200, 120, 150, 36, page);
    subclass(page, [this](HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC prev) -> LRESULT {
        if (m == WM_COMMAND && HIWORD(w) == BN_CLICKED && static_cast<HWND>(l) == dialog_.resultOk) {
            closeOrderDialog();
            return 0;
        }
        return CallWindowProc(prev, h, m, w, l);
    });
    SetTimer(dialog_.hwnd, kTimerResult, static_cast<UINT>(std::max<uint64_t>(options_.outcome.delayMs, 10)));
}

void Terminal::finishOrder() {
    if (options_.outcome.finishes) finishPendingOrder();
}

void Terminal::finishPendingOrder() {
    if (!dialog_.hwnd || dialog_.pendingOrder < 0) return;
    SetWindowText(dialog_.resultEdit, orders_[dialog_.pendingOrder].result);
    ShowWindow(dialog_.resultOk, SW_SHOW);
    dialog_.pendingOrder = -1;
}

void Terminal::closeOrderDialog() {
    const HWND d = dialog_.hwnd;
    dialog_ = Dialog{};
    if (d) DestroyWindow(d);
}

// ---- Files --------------------------------------------------------------------------------

void Terminal::loadHotkeys() {
    hotkeys_.clear();
    auto text = machine_.readFile(folder_ + "profiles\\hotkeys.ini");
    if (!text) return;
    const std::string utf8 = sys::fromAnsi(*text, machine_.codePage());
    bool inside = false;
    size_t start = 0;
    while (start <= utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string::npos) end = utf8.size();
        std::string line = utf8.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find("<scripts>") != std::string::npos) {
            inside = true;
        } else if (line.find("</scripts>") != std::string::npos) {
            inside = false;
        } else if (inside) {
            const auto eq = line.find('=');
            if (eq != std::string::npos && eq > 0) hotkeys_.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        }
        if (end == utf8.size()) break;
    }
}

} // namespace termsim
