#include "cls_MT4.h"

#include "cls_Quote.h"
#include "QuoteWindows.h"
#include "toolkit/Module1.h"
#include "toolkit/m_Main.h"

#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Strings.h"
#include "platform/forms/TextChars.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "platform/system/Process.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>

namespace {

using win::HWND;


constexpr win::DWORD kTextBlock = 255;
// A list that claims more rows than any Market Watch holds is not believed.
constexpr int32_t kMaxRows = 65535;
// How long a message to the terminal may take before it counts as not answering.
constexpr win::UINT kSendTimeoutMs = 2000;
constexpr win::UINT kCloseTimeoutMs = 5000;

// A message to a window of the terminal that gives up on a hung terminal instead of waiting.
win::LRESULT sendBounded(HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam,
                         win::UINT timeoutMs = kSendTimeoutMs) {
    win::DWORD result = 0;
    if (!win::SendMessageTimeout(hwnd, msg, wParam, lParam, win::SMTO_BLOCK | win::SMTO_ABORTIFHUNG, timeoutMs,
                                 &result))
        return 0;
    return static_cast<win::LRESULT>(result);
}

// The handle of a process and blocks of memory allocated in it, all given back on every way out.
class RemoteBlocks {
public:
    RemoteBlocks(win::DWORD pid, win::DWORD access) {
        if (pid) process_ = win::OpenProcess(access, win::FALSE, pid);
    }
    ~RemoteBlocks() {
        for (win::DWORD b : blocks_) win::VirtualFreeEx(process_, b, 0, win::MEM_RELEASE);
        if (process_) win::CloseHandle(process_);
    }
    RemoteBlocks(const RemoteBlocks&) = delete;
    RemoteBlocks& operator=(const RemoteBlocks&) = delete;

    win::HANDLE process() const { return process_; }
    win::DWORD allocate(win::DWORD size) {
        if (!process_) return 0;
        const win::DWORD b =
            win::VirtualAllocEx(process_, 0, size, win::MEM_COMMIT | win::MEM_RESERVE, win::PAGE_READWRITE);
        if (b) blocks_.push_back(b);
        return b;
    }
    bool write(win::DWORD address, const void* data, win::DWORD size) {
        win::DWORD done = 0;
        return win::WriteProcessMemory(process_, address, data, size, &done) && done == size;
    }
    bool read(win::DWORD address, void* data, win::DWORD size) {
        win::DWORD done = 0;
        return win::ReadProcessMemory(process_, address, data, size, &done) && done == size;
    }

private:
    win::HANDLE process_ = 0;
    std::vector<win::DWORD> blocks_;
};

win::DWORD processOf(HWND hwnd) {
    win::DWORD pid = 0;
    if (hwnd) win::GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::string fromAnsi(std::string_view bytes) { return sys::fromAnsi(bytes, sys::Machine::current().codePage()); }

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

} // namespace

cls_MT4& MT4() {
    static cls_MT4 bridge;
    return bridge;
}

// ---- Finding the terminal ------------------------------------------------------------------

HWND cls_MT4::FindListWindow(HWND main, int mode) {
    HWND found = 0;
    win::EnumChildWindows(
        main,
        [&](HWND h, win::LPARAM) {
            if (mWindow::GetClassNameString(h) != "SysListView32") return win::TRUE;
            const std::string caption = mWindow::GetWindowTextString(win::GetParent(h));
            const bool accepted = mode == 0 ? contains(caption, kMarketWatch) : caption == kTerminalPanel;
            if (!accepted) return win::TRUE;
            found = h;
            return win::FALSE;
        },
        0);
    return found;
}

HWND cls_MT4::FindChildByClass(HWND parent, const std::string& className) {
    for (HWND h = win::GetWindow(parent, win::GW_CHILD); h; h = win::GetWindow(h, win::GW_HWNDNEXT)) {
        win::DoEvents();
        if (!win::IsWindow(h)) return 0;  // the walk lost its place: the terminal changed under it
        if (forms::StrEqual(mWindow::GetClassNameString(h), className, forms::vbTextCompare)) return h;
        if (HWND inner = FindChildByClass(h, className)) return inner;
    }
    return 0;
}

void cls_MT4::findPanelByShortcut(int mode, const char* keys) {
    HWND& field = mode == 2 ? list_ : terminalPanel_;
    field = 0;
    bool keysSent = false;
    for (;;) {
        scanMode_ = mode;
        mWindow::EnumerateWindows(*this);
        if (field) {
            if (keysSent) {
                // Put the panel back the way the user had it.
                win::SetForegroundWindow(main_);
                if (win::GetForegroundWindow() == main_) forms::SendKeys(keys, true);
            }
            return;
        }
        if (keysSent) return;
        if (win::IsIconic(main_)) win::ShowWindow(main_, win::SW_RESTORE);
        win::SetForegroundWindow(main_);
        // Keystrokes go to whichever window is in front: only ever to the terminal.
        if (win::GetForegroundWindow() != main_) return;
        forms::SendKeys(keys, true);
        win::Sleep(500);
        keysSent = true;
    }
}

bool cls_MT4::CheckkMT4(HWND hwnd) {
    HWND main = hwnd > 0 ? hwnd : win::FindWindow(kMainClass, nullptr);
    if (main < 1 || !win::IsWindow(main)) return false;
    main_ = main;

    list_ = FindListWindow(main_, 0);
    if (!list_) {
        findPanelByShortcut(2, "^m");
        list_ = list_ ? FindChildByClass(list_, "SysListView32") : 0;
        if (!list_) return false;
    }

    const HWND panelList = FindListWindow(main_, 1);
    if (panelList > 0) {
        terminalPanel_ = win::GetParent(panelList);
    } else {
        findPanelByShortcut(3, "^t");
        const HWND inner = terminalPanel_ ? FindChildByClass(terminalPanel_, "SysListView32") : 0;
        terminalPanel_ = inner ? win::GetParent(inner) : 0;
    }
    return true;
}

void cls_MT4::EnumWindow(HWND hwnd, bool& stop) {
    switch (scanMode_) {
    case 1:
        if (mWindow::GetClassNameString(hwnd) == kMainClass) {
            ++terminalCount_;
            terminals_.push_back(mWindow::GetWindowTextString(hwnd) + "|" + std::to_string(hwnd));
        }
        break;
    case 2:
    case 3:
        if (win::IsWindowVisible(hwnd) &&
            contains(mWindow::GetWindowTextString(hwnd), scanMode_ == 2 ? kMarketWatch : kTerminalPanel) &&
            win::GetParent(hwnd) == main_) {
            (scanMode_ == 2 ? list_ : terminalPanel_) = hwnd;
            stop = true;
        }
        break;
    default: break;
    }
}

int32_t cls_MT4::Identifier() {
    static std::mt19937 random{std::random_device{}()};
    return static_cast<int32_t>(std::lround(std::uniform_real_distribution<double>(0.0, 1.0)(random) * 1e9));
}

bool cls_MT4::MT4Enable() {
    if (list_ > 0 && win::IsWindow(list_)) return true;
    if (list_ > 0) list_ = 0;
    return false;
}

HWND cls_MT4::Mt4Hwnd() { return win::IsWindow(main_) ? main_ : 0; }

bool cls_MT4::isMt4Multi() {
    terminalCount_ = 0;
    terminals_.clear();
    scanMode_ = 1;
    mWindow::EnumerateWindows(*this);
    return terminalCount_ >= 2;
}

// ---- Reading the quotes --------------------------------------------------------------------

bool cls_MT4::GetQuote() {
    using m_Main::Quotes;
    using m_Main::SymbolList;

    RemoteBlocks remote(processOf(list_), win::PROCESS_ALL_ACCESS);
    const win::DWORD text = remote.allocate(kTextBlock);
    const win::DWORD item = remote.allocate(sizeof(win::LVITEM32));
    if (!text || !item) return false;

    // An empty list is a terminal with no symbols shown, not a failed read: only a count that
    // never came back fails (a failed read restarts the terminal).
    win::DWORD rowCount = 0;
    if (!win::SendMessageTimeout(list_, win::LVM_GETITEMCOUNT, 0, 0, win::SMTO_BLOCK | win::SMTO_ABORTIFHUNG,
                                 kSendTimeoutMs, &rowCount))
        return false;
    const int32_t rows = static_cast<int32_t>(rowCount);
    const HWND header = static_cast<HWND>(sendBounded(list_, win::LVM_GETHEADER, 0, 0));
    const int32_t columns = header ? sendBounded(header, win::HDM_GETITEMCOUNT, 0, 0) : 0;
    if (rows < 0 || rows > kMaxRows) return false;

    // A changed row count rebuilds. Counted against the rows of the last read, not the records,
    // so a symbol listed twice does not make every read a rebuild.
    const bool rebuild = static_cast<size_t>(rows) != SymbolList.size();
    if (rebuild) {
        SymbolList.assign(static_cast<size_t>(rows), std::string());
        for (auto& q : Quotes) q->xFlag(false);
    }

    const bool highLow = columns == 5 || columns == 6;
    const int timeColumn = columns == 4 ? 3 : (columns == 6 ? 5 : -1);

    win::LVITEM32 cellItem;
    cellItem.mask = win::LVIF_TEXT;
    cellItem.pszText = text;
    cellItem.cchTextMax = static_cast<int32_t>(kTextBlock);
    char bytes[kTextBlock];
    auto readCell = [&](int32_t row, int32_t column, std::string& out) {
        cellItem.iSubItem = column;
        if (!remote.write(item, &cellItem, sizeof cellItem)) return false;
        const int32_t length = sendBounded(list_, win::LVM_GETITEMTEXTA, static_cast<win::WPARAM>(row),
                                           static_cast<win::LPARAM>(item));
        if (length < 0 || length > static_cast<int32_t>(kTextBlock)) return false;
        if (length > 0 && !remote.read(text, bytes, static_cast<win::DWORD>(length))) return false;
        out = fromAnsi(std::string_view(bytes, static_cast<size_t>(length)));
        return true;
    };

    bool orderChanged = false, layoutChanged = false;
    std::string symbol, bid, ask, high, low, time;
    listed_.clear();
    for (int32_t r = 0; r < rows; ++r) {
        if (!readCell(r, 0, symbol) || symbol.empty()) return false;
        std::string& entry = SymbolList[static_cast<size_t>(r)];
        if (rebuild) {
            entry = symbol;
        } else if (entry != symbol) {
            entry = symbol;
            orderChanged = true;
        }
        if (!readCell(r, 1, bid) || !readCell(r, 2, ask)) return false;
        high.clear();
        low.clear();
        time.clear();

        if (columns <= 3) {
            if (m_Main::HasHighLow) layoutChanged = true;
            m_Main::HasHighLow = false;
        } else if (highLow) {
            if (!readCell(r, 3, high) || !readCell(r, 4, low)) return false;
            if (!m_Main::HasHighLow) layoutChanged = true;
            m_Main::HasHighLow = true;
        } else {
            if (m_Main::HasHighLow) layoutChanged = true;
            m_Main::HasHighLow = false;
        }
        if (timeColumn >= 0 && !readCell(r, timeColumn, time)) return false;

        auto* existing = Quotes.Find(symbol);
        if (!existing) {
            auto quote = std::make_shared<cls_Quote>();
            quote->SymBol(symbol);
            Quotes.Add(quote, symbol);
            existing = Quotes.Find(symbol);
        }
        cls_Quote& q = **existing;
        listed_.push_back(&q);
        q.BID(bid);
        q.ASK(ask);
        q.Max(high);
        q.Min(low);
        q.Time(time);
        q.xFlag(true);
    }

    auto reshowBoard = [] {
        if (!m_Main::QuoteBoardOpen) return;
        if (QuoteBoard* board = m_Main::QuoteBoardForm()) board->Unload();
        if (m_Main::ShowQuoteFrm) m_Main::ShowQuoteFrm();
    };

    if (!rebuild) {
        // Records whose symbol left the list: those no row found above. The lookup matched the
        // whole symbol without regard to case, so "EUR" is not kept alive by "EURUSDm".
        std::sort(listed_.begin(), listed_.end());
        for (long i = Quotes.Count(); i >= 1; --i)
            if (!std::binary_search(listed_.begin(), listed_.end(), Quotes(i).get())) Quotes.Remove(i);
    }
    if (orderChanged) {
        for (const std::string& symbol : SymbolList) {
            auto* found = Quotes.Find(symbol);
            if (!found) continue;
            auto record = *found;
            Quotes.Remove(symbol);
            Quotes.Add(record, symbol);
        }
        reshowBoard();
    }
    if (m_Main::QuoteBoardOpen && layoutChanged) {
        if (QuoteBoard* board = m_Main::QuoteBoardForm()) {
            if (m_Main::HasHighLow)
                board->Show_MaxMin();
            else
                board->Hide_MaxMin();
        }
    }
    if (rebuild) {
        for (long i = Quotes.Count(); i >= 1; --i)
            if (!Quotes(i)->xFlag()) Quotes.Remove(i);
        reshowBoard();
    }
    return true;
}

std::string cls_MT4::MT4Time() {
    if (list_ <= 0) return {};
    char buffer[256] = {};
    const int n = win::GetWindowText(win::GetParent(list_), buffer, static_cast<int>(sizeof buffer));
    const std::string caption = fromAnsi(std::string_view(buffer, static_cast<size_t>(std::clamp(n, 0, 255))));
    if (caption.empty() || !contains(caption, " ")) return {};
    return forms::Mid(caption, 7);
}

// ---- The order dialog ----------------------------------------------------------------------

bool cls_MT4::SelectListRow(int32_t row) {
    RemoteBlocks remote(processOf(list_), win::PROCESS_VM_OPERATION | win::PROCESS_VM_READ | win::PROCESS_VM_WRITE);
    const win::DWORD block = remote.allocate(sizeof(win::LVITEM32));
    if (!block) return false;
    win::LVITEM32 it;
    it.mask = win::LVIF_STATE;
    it.iItem = row;
    it.stateMask = (win::LVIS_SELECTED | win::LVIS_FOCUSED);
    remote.write(block, &it, sizeof it);
    sendBounded(list_, win::LVM_GETITEMA, 0, static_cast<win::LPARAM>(block));
    remote.read(block, &it, sizeof it);
    it.state |= (win::LVIS_SELECTED | win::LVIS_FOCUSED);
    remote.write(block, &it, sizeof it);
    sendBounded(list_, win::LVM_SETITEMSTATE, static_cast<win::WPARAM>(row), static_cast<win::LPARAM>(block));
    return true;
}

void cls_MT4::order(const std::string& symbol) {
    const auto& list = m_Main::SymbolList;
    const auto last = std::find(list.rbegin(), list.rend(), symbol);
    if (last == list.rend()) return;
    const int32_t row = static_cast<int32_t>(list.rend() - last) - 1;
    if (!SelectListRow(row)) return;
    win::PostMessage(list_, win::WM_KEYDOWN, win::VK_RETURN, m_Main::KeyLParam(win::VK_RETURN, false));
    win::PostMessage(list_, win::WM_KEYUP, win::VK_RETURN, m_Main::KeyLParam(win::VK_RETURN, true));
}

win::HWND cls_MT4::OrderDialog() {
    const win::HWND main = Mt4Hwnd();
    if (!main) return 0;
    for (win::HWND h = win::FindWindowEx(0, 0, "#32770", "定单"); h; h = win::FindWindowEx(0, h, "#32770", "定单"))
        if (win::GetParent(h) == main) return h;
    return 0;
}

// ---- Program files and closing -------------------------------------------------------------

std::string cls_MT4::GetRuntimeMT4Path(int32_t& processId) {
    if (processId == 0) processId = static_cast<int32_t>(processOf(main_));
    char buffer[260];
    std::memset(buffer, 0, sizeof buffer);
    std::memcpy(buffer, "unknown", 7);
    const win::HANDLE process = win::OpenProcess(win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ, win::FALSE,
                                                 static_cast<win::DWORD>(processId));
    if (!process) return "unknown";
    win::GetModuleFileNameExA(process, 0, buffer, sizeof buffer);
    win::CloseHandle(process);
    buffer[sizeof buffer - 1] = '\0';
    return fromAnsi(std::string_view(buffer, std::strlen(buffer)));
}

std::string cls_MT4::GetEXE(HWND hwnd) {
    int32_t pid = static_cast<int32_t>(processOf(hwnd));
    if (pid == 0) return "unknown";
    return GetRuntimeMT4Path(pid);
}

bool cls_MT4::CloseMT4() {
    int32_t pid = static_cast<int32_t>(processOf(main_));
    // A terminal that hangs on the request is not waited for beyond the bound: it is ended.
    sendBounded(main_, win::WM_CLOSE, 0, 0, kCloseTimeoutMs);
    win::DoEvents();
    if (win::IsWindow(main_)) return Module1::KillProcessByID(pid);
    return true;
}
