// The floating panels' context menu and its entries, which the panels' icons and the quote board
// also run one at a time by their action keys.
#include "frmMain.h"
#include "platform/forms/RuntimeError.h"

#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Timer.h"
#include "platform/desktop/Window.h"
#include "platform/forms/CallByName.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"
#include "toolkit/cls_PopupMenu.h"
#include "toolkit/m_Main.h"

#include <cmath>
#include <exception>
#include <map>

using namespace m_Main;

namespace {

// Flags of menu entries.
constexpr int32_t kPlain = 0, kGreyed = 1, kChecked = 8, kSeparator = 2048;
constexpr int32_t kSeparatorId = 100;
// Copy ids 100 + n and switch ids 1000 + n stay apart only up to 900 free symbols.
constexpr size_t kMaxFreeSymbols = 900;
// How long the terminal has to show its order dialog.
constexpr uint32_t kDialogWaitMs = 1000;

// Menu ids the action keys stand for; "Float" has none.
const std::map<std::string, int32_t> kActionIds = {
    {"Order", 41}, {"OrderSet", 91}, {"QuoteOrder", 49}, {"Terminal", 42},
    {"HideMT4", 43}, {"Voice", 23}, {"VoiceSet", 25},
};

// A symbol in a menu caption: "&" would otherwise make the next letter an accelerator.
std::string menuText(const std::string& symbol) { return forms::Replace(symbol, "&", "&&"); }

std::shared_ptr<FloatPanel> panelOf(const std::string& key) {
    auto* p = FloatForms.Find(key);
    return p ? *p : nullptr;
}

std::shared_ptr<cls_Quote> recordOf(const std::string& key) {
    auto* q = Quotes.Find(key);
    return q ? *q : nullptr;
}

// A panel member that is not part of the core's view of the panel, called by name.
void callPanel(FloatPanel& panel, const char* member) {
    if (auto* d = dynamic_cast<forms::Dispatch*>(&panel)) forms::CallByName(*d, member, forms::VbMethod);
}

} // namespace

std::string frmMain::PriceCell(const std::string& price) {
    int32_t head = 0, big = 0;
    bool fractional = false;
    PriceDigits(price, head, big, fractional);
    return fractional ? forms::Left(price, big + 1) : price;
}

void frmMain::PopMenu(const std::string& key, const std::string& action) {
    if (!action.empty()) {
        if (action == "Float") {
            if (auto panel = panelOf(key)) {
                panel->setVisible(true);
                SetTopMost(panel->hWnd());
            } else {
                int16_t border = -1, voice = 0, quickOrder = 0, iconEvent = 0;
                LoadSymbolPara(key, -1, -1, 1, border, voice, quickOrder, iconEvent);
            }
            return;
        }
        const auto id = kActionIds.find(action);
        if (id != kActionIds.end()) popMenuCommand(id->second, key, {});
        return;
    }

    win::POINT cursor{};
    win::GetCursorPos(&cursor);
    auto panel = panelOf(key);
    auto record = recordOf(key);
    // A symbol that has left the terminal's list, or a panel already gone: no menu.
    if (!panel || !record) return;

    std::vector<std::string> freeSymbols;
    for (const auto& q : Quotes) {
        if (freeSymbols.size() >= kMaxFreeSymbols) break;
        if (q && !FloatForms.Exists(q->SymBol())) freeSymbols.push_back(q->SymBol());
    }

    cls_PopupMenu menu;
    const int32_t mode = panel->Mode();
    menu.AddMenuItem("出价BID(&1)", kPlain, 1);
    menu.AddMenuItem("要价ASK(&2)", kPlain, 2);
    menu.AddMenuItem("出价/要价 - 点差PIP(&3)", kPlain, 3);
    menu.CheckRadioItem(0, 2, mode == 1 ? 0 : mode == 0 ? 2 : 1, false);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    const int32_t speech = SpeechFailed ? kGreyed : kPlain;
    menu.AddMenuItem("启用语音报价(&V)", speech | (record->VoiceEnable() ? kChecked : kPlain), 23);
    menu.AddMenuItem("语音报价设置(&S)...", speech, 25);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.AddMenuItem("启用快捷下单(&T)", panel->OrderBAR() ? kChecked : kPlain, 90);
    menu.AddMenuItem("快捷下单设置(&G)...", kPlain, 91);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.AddMenuItem("下MT4新定单(&E)...", kPlain, 41);
    menu.AddMenuItem("弹出MT4终端(&R)", TerminalWindowOpen ? kChecked : kPlain, 42);
    menu.AddMenuItem("隐藏MT4界面(&F)", win::IsWindowVisible(MT4().Mt4Hwnd()) ? kPlain : kChecked, 43);
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.CreateSubmenu("点击中间图标(&N)");
    menu.AddSubmenuItem("弹出功能菜单", kPlain, 80);
    menu.AddSubmenuItem("", kSeparator, kSeparatorId);
    menu.AddSubmenuItem("启用语音报价", kPlain, 81);
    menu.AddSubmenuItem("启用快捷下单", kPlain, 82);
    menu.AddSubmenuItem("下MT4新定单", kPlain, 83);
    static constexpr int32_t kIconPositions[] = {0, 2, 3, 4};
    const int16_t iconEvent = panel->IconEvent();
    if (iconEvent >= 0 && iconEvent <= 3) menu.CheckRadioItem(0, 4, kIconPositions[iconEvent], true);
    menu.AddMenuItem("隐藏窗口边框(&B)", panel->Border() ? kPlain : kChecked, 33);
    if (!freeSymbols.empty()) {
        menu.AddMenuItem("", kSeparator, kSeparatorId);
        // Nine accelerators: the digits 1 to 9.
        auto caption = [&](size_t n) {
            const std::string text = menuText(freeSymbols[n - 1]);
            return n <= 9 ? text + "\t&" + std::to_string(n) : text;
        };
        menu.CreateSubmenu("复制漂浮窗(&D)");
        for (size_t n = 1; n <= freeSymbols.size(); ++n)
            menu.AddSubmenuItem(caption(n), kPlain, static_cast<int32_t>(100 + n));
        menu.CreateSubmenu("转换货币对(&C)");
        for (size_t n = 1; n <= freeSymbols.size(); ++n)
            menu.AddSubmenuItem(caption(n), kPlain, static_cast<int32_t>(1000 + n));
    }
    menu.AddMenuItem("", kSeparator, kSeparatorId);
    menu.AddMenuItem("关闭(&X)", kPlain, 99);

    const int32_t chosen = menu.TrackMenu(hWnd(), cursor.x, cursor.y);
    if (chosen != 0) popMenuCommand(chosen, key, freeSymbols);
}

void frmMain::popMenuCommand(int32_t id, const std::string& key, const std::vector<std::string>& freeSymbols) {
    // Entries that act on the terminal or open windows need no panel.
    switch (id) {
    case 43: HideMT4(); return;
    case 42: m_frmSysTray_MenuClick("Terminal"); return;
    case 41:
    case 49: popOrderDialog(key, id == 41); return;
    case 25: popVoiceSet(key); return;
    default: break;
    }
    auto panel = panelOf(key);
    if (!panel) return;
    switch (id) {
    case 1:
    case 2:
    case 3: popDisplayMode(id, key); return;
    case 23:
        if (auto record = recordOf(key)) {
            record->VoiceEnable(!record->VoiceEnable());
            panel->Voice(record->VoiceEnable());
        }
        return;
    case 80:
    case 81:
    case 82:
    case 83: panel->IconEvent(static_cast<int16_t>(id - 80)); return;
    case 33: panel->Border(!panel->Border()); return;
    case 90: panel->OrderBAR(!panel->OrderBAR()); return;
    case 91: callPanel(*panel, "OrderSet"); return;
    case 99: panel->Unload(); return;
    default: break;
    }
    if (id > 1000 && static_cast<size_t>(id - 1000) <= freeSymbols.size()) {
        popSwitchSymbol(key, freeSymbols[static_cast<size_t>(id - 1001)]);
    } else if (id > 100 && id <= 1000 && static_cast<size_t>(id - 100) <= freeSymbols.size()) {
        int16_t border = panel->Border() ? -1 : 0, voice = panel->Voice() ? -1 : 0;
        int16_t orderBar = panel->OrderBAR() ? -1 : 0, iconEvent = panel->IconEvent();
        LoadSymbolPara(freeSymbols[static_cast<size_t>(id - 101)], -1, -1, panel->Mode(), border, voice, orderBar,
                       iconEvent);
    }
}

void frmMain::popDisplayMode(int32_t id, const std::string& key) {
    auto panel = panelOf(key);
    auto record = recordOf(key);
    if (!panel || !record) return;
    const std::string bid = record->BID(), ask = record->ASK();
    int32_t head = 0, big = 0, askHead = 0, askBig = 0;
    bool fractional = false, askFractional = false;
    PriceDigits(bid, head, big, fractional);
    // The ask is split by its own length: across a power of ten it has one digit more.
    PriceDigits(ask, askHead, askBig, askFractional);
    if (id == 1) {
        record->PriceMode(1);
        panel->Price(PriceCell(bid));
        panel->Mode(1);
    } else if (id == 2) {
        record->PriceMode(-1);
        panel->Price(PriceCell(ask));
        panel->Mode(-1);
    } else {
        panel->HeadBid(forms::Left(bid, head));
        panel->HeadASK(forms::Left(ask, askHead));
        panel->BID(forms::Mid(bid, big, 2));
        panel->ASK(forms::Mid(ask, askBig, 2));
        panel->Mode(0);
    }
    panel->iSUB(fractional, true);
    panel->iSUBValue(forms::Right(bid, 1), forms::Right(ask, 1));
    panel->UpdatePrice(true);
}

void frmMain::popOrderDialog(const std::string& key, bool notify) {
    // The dialog belongs to a quick order in progress: leave it to that order.
    if (OrderRunning) return;
    cls_MT4& t = MT4();
    const win::HWND main = t.Mt4Hwnd();
    if (main && win::IsWindowVisible(main)) {
        win::SetForegroundWindow(main);
        if (win::IsIconic(main)) win::ShowWindow(main, 9);
    }
    if (const win::HWND old = t.OrderDialog()) win::SendMessage(old, win::WM_CLOSE, 0, 0);
    t.order(key);
    win::HWND dialog = 0;
    const uint32_t start = win::timeGetTime();
    while (win::timeGetTime() - start < kDialogWaitMs) {
        forms::DoEvents();
        if ((dialog = t.OrderDialog()) != 0) break;
    }
    if (dialog) {
        SetTopMost(dialog);
    } else if (notify) {
        if (auto panel = panelOf(key)) forms::ResumeNext([&] { callPanel(*panel, "OrderError"); });
    }
}

void frmMain::popVoiceSet(const std::string& symbol) { openVoiceSet(symbol); }

void frmMain::popSwitchSymbol(const std::string& key, const std::string& symbol) {
    auto panel = panelOf(key);
    if (!panel) return;
    const int32_t mode = panel->Mode();
    int16_t border = panel->Border() ? -1 : 0, voice = panel->Voice() ? -1 : 0;
    int16_t orderBar = panel->OrderBAR() ? -1 : 0, iconEvent = panel->IconEvent();
    const long left = border ? panel->Left() : panel->NB_Left();
    const long top = border ? panel->Top() : panel->NB_Top();
    panel->Unload();
    panel.reset();
    const auto x = static_cast<int32_t>(std::lrint(static_cast<double>(left) / win::TwipsPerPixelX));
    const auto y = static_cast<int32_t>(std::lrint(static_cast<double>(top) / win::TwipsPerPixelY));
    LoadSymbolPara(symbol, x, y, mode, border, voice, orderBar, iconEvent);
}
