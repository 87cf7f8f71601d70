// The panel's quick orders: the buy and sell buttons drive the terminal's own order dialog, and
// the result page of that dialog is watched until the terminal has answered. Also the panel's
// context-menu event.
#include "frmFloat.h"
#include "frmOrderConfirm.h"

#include "core/QuoteWindows.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Timer.h"
#include "platform/desktop/Win.h"
#include "platform/forms/DateTime.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Strings.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "toolkit/cls_PopupMenu.h"
#include "toolkit/frmToolTip.h"
#include "toolkit/m_Main.h"
#include "toolkit/mWindow.h"

#include <exception>
#include <functional>

namespace {

const std::string kOpenFailed = "定单窗口打开失败!";
const std::string kDialogClosed = "定单窗口关闭!";
// The button was pressed but the terminal showed no result: the order may stand, so the user
// must look before trying again.
const std::string kResultUnknown = "定单已送出, 结果未知! 请在MT4终端中查看, 勿重复下单.";
const std::string kOrderBusy = "另一定单正在执行, 请稍候!";
const std::string kBadStopLoss = "止损价无效, 定单未送出!";
const std::string kBadTakeProfit = "获利价无效, 定单未送出!";

// How long the terminal has for its dialog, its instant-execution page and its result page.
constexpr uint32_t kDialogWaitMs = 1000;
// The longest wait on a page window being busy.
constexpr uint32_t kBusyWaitMs = 30000;
constexpr int32_t kWatchMs = 100;
constexpr uint32_t kResultShownMs = 15000;

// Pumps until found() gives a window or the time is up; the window, or 0.
win::HWND waitForWindow(uint32_t ms, const std::function<win::HWND()>& found) {
    const uint32_t start = win::timeGetTime();
    while (win::timeGetTime() - start < ms) {
        forms::DoEvents();
        if (const win::HWND h = found()) return h;
    }
    return 0;
}

void waitWhileBusy(const std::function<bool()>& busy) {
    const uint32_t start = win::timeGetTime();
    while (busy() && win::timeGetTime() - start < kBusyWaitMs) forms::DoEvents();
}

// The program's tool tip, ready to be filled; null when its page never came.
std::shared_ptr<frmToolTip> toolTip() {
    auto tip = frmToolTip::Shared();
    waitWhileBusy([&] { return tip->Busy(); });
    return tip->Busy() ? nullptr : tip;
}

// A window's text by its own messages, sized by its length.
std::string readText(win::HWND h) {
    const auto length = win::SendMessage(h, win::WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return "";
    std::string ansi;
    win::SendMessageGetText(h, win::WM_GETTEXT, static_cast<int>(length) + 1, ansi);
    return sys::fromAnsi(ansi, sys::Machine::current().codePage());
}

std::string oneLine(const std::string& text) { return forms::Replace(text, "\r\n", " "); }

// FindOrderControl's request and answer, shared with its callback.
int16_t g_findMode = 0;
win::HWND g_found = 0;
bool g_finding = false;

} // namespace

// ---- Finding the dialog's controls ---------------------------------------------------------

win::BOOL EnumOrderProc(win::HWND hWnd, win::LPARAM) {
    struct Kind {
        int16_t mode;
        const char* cls;
        enum { Any, Equals, Empty, Contains } test;
        const char* caption;
    };
    static constexpr Kind kKinds[] = {
        {0, "#32770", Kind::Equals, "即时成交"}, {2, "#32770", Kind::Empty, ""},
        {1, "Button", Kind::Contains, "买"},     {-1, "Button", Kind::Contains, "卖"},
        {3, "Edit", Kind::Any, ""},              {4, "Button", Kind::Equals, "确定"},
        {10, "Static", Kind::Equals, "手数:"},   {20, "Static", Kind::Equals, "注释:"},
        {-100, "Static", Kind::Equals, "止损价:"},
    };
    for (const Kind& k : kKinds) {
        if (k.mode != g_findMode) continue;
        if (mWindow::GetClassNameString(hWnd) != k.cls) return win::TRUE;
        if (k.test != Kind::Any) {
            const std::string caption = mWindow::GetWindowTextString(hWnd);
            const bool match = k.test == Kind::Equals     ? caption == k.caption
                               : k.test == Kind::Empty    ? caption.empty()
                                                          : caption.find(k.caption) != std::string::npos;
            if (!match) return win::TRUE;
        }
        g_found = hWnd;
        return win::FALSE;
    }
    return win::TRUE;
}

win::HWND FindOrderControl(win::HWND Parent, int16_t Mode) {
    // A missing label or page gives 0, and 0 must not mean "every window on the screen".
    if (!Parent || g_finding) return 0;
    g_finding = true;
    g_found = 0;
    g_findMode = Mode;
    win::EnumChildWindows(Parent, EnumOrderProc, 0);
    g_finding = false;
    return g_found;
}

// ---- The order road --------------------------------------------------------------------------

void frmFloat::Buy() {
    OrderSide_ = 1;
    OrderOpt(false);
}

void frmFloat::Sell() {
    OrderSide_ = -1;
    OrderOpt(false);
}

void frmFloat::OrderConfirmOK() { OrderOpt(true); }

void frmFloat::OrderConfirmX() {}

void frmFloat::OrderError() {
    auto tip = toolTip();
    if (!tip) return;
    const win::POINT p = elementCentre("Symbol");
    tip->TIPIcon(frmToolTip::kIconError);
    tip->Info(kOpenFailed);
    tip->Balloon(p.x, p.y);
}

void frmFloat::markOrderBusy(bool busy) {
    const bool buy = OrderSide_ == 1;
    web::PageBatch batch(Document);
    el(buy ? "iSell" : "iBuy").disabled(busy);
    setDisplay(buy ? "iBuy" : "iSell", !busy);
    setDisplay(buy ? "iBuyAni" : "iSellAni", busy);
}

void frmFloat::orderFailed(int32_t icon, const std::string& text) {
    try {
        markOrderBusy(false);
    } catch (const std::exception&) {
    }
    endOrder();
    if (auto tip = toolTip()) {
        tip->TIPIcon(icon);
        tip->Info(text);
        tip->Balloon(orderAnchor_.x, orderAnchor_.y);
    }
}

void frmFloat::endOrder() {
    if (!ownsOrder_) return;
    ownsOrder_ = false;
    m_Main::OrderRunning = false;
}

void frmFloat::OrderOpt(bool Confirmed) {
    const char* button = OrderSide_ == 1 ? "iBuy" : "iSell";
    if (!Confirmed && Confirm_) {
        const win::POINT p = elementCentre(button);
        auto balloon = frmOrderConfirm::Instance();
        waitWhileBusy([&] { return balloon->Busy(); });
        if (balloon->Busy()) return;
        balloon->OPT(OrderSide_);
        balloon->SymBol(ID_);
        balloon->Volume(Volume());
        UpdatePrice(true);
        balloon->Balloon(p.x, p.y);
        return;
    }

    orderAnchor_ = elementCentre(button);
    // Another panel's order still owns the terminal's dialog.
    if (m_Main::OrderRunning) {
        if (auto tip = toolTip()) {
            tip->TIPIcon(frmToolTip::kIconWarning);
            tip->Info(kOrderBusy);
            tip->Balloon(orderAnchor_.x, orderAnchor_.y);
        }
        return;
    }

    // The prices come first: one the terminal must not get stops the order before it starts.
    auto* found = m_Main::Quotes.Find(ID_);
    if (!found || !*found) return;
    const std::string price = OrderSide_ == 1 ? (*found)->ASK() : (*found)->BID();
    std::string slText, tpText;
    if (SL_ > 0) slText = orderLevelText(orderLevel(price, OrderSide_, SL_, PriceSUB_, -1));
    if (TP_ > 0) tpText = orderLevelText(orderLevel(price, OrderSide_, TP_, PriceSUB_, 1));
    if ((SL_ > 0 && slText.empty()) || (TP_ > 0 && tpText.empty())) {
        if (auto tip = toolTip()) {
            tip->TIPIcon(frmToolTip::kIconError);
            tip->Info(SL_ > 0 && slText.empty() ? kBadStopLoss : kBadTakeProfit);
            tip->Balloon(orderAnchor_.x, orderAnchor_.y);
        }
        return;
    }
    const std::string volume = Volume();

    m_Main::OrderRunning = true;
    ownsOrder_ = true;
    cls_MT4& terminal = MT4();
    if (const win::HWND old = terminal.OrderDialog()) win::SendMessage(old, win::WM_CLOSE, 0, 0);
    terminal.order(ID_);
    try {
        markOrderBusy(true);
    } catch (const std::exception&) {
        orderFailed(frmToolTip::kIconError, kOpenFailed);
        return;
    }

    // Only a dialog of the terminal the program follows takes the order.
    OrderDialog_ = waitForWindow(kDialogWaitMs, [&] { return terminal.OrderDialog(); });
    if (!OrderDialog_) {
        orderFailed(frmToolTip::kIconError, kOpenFailed);
        return;
    }
    const win::HWND instantPage = waitForWindow(kDialogWaitMs, [&] { return FindOrderControl(OrderDialog_, 0); });

    auto type = [](win::HWND box, const std::string& text) {
        for (char c : text) win::SendMessage(box, win::WM_CHAR, static_cast<win::WPARAM>(static_cast<unsigned char>(c)), 0);
    };
    const int cp = sys::Machine::current().codePage();
    const win::HWND slBox = win::GetWindow(FindOrderControl(OrderDialog_, -100), win::GW_HWNDNEXT);
    if (!slText.empty()) type(slBox, slText);
    if (!tpText.empty()) {
        const win::HWND tpBox = win::GetWindow(win::GetWindow(slBox, win::GW_HWNDNEXT), win::GW_HWNDNEXT);
        type(tpBox, tpText);
    }
    const win::HWND volumeBox =
        FindOrderControl(win::GetWindow(FindOrderControl(OrderDialog_, 10), win::GW_HWNDNEXT), 3);
    if (volumeBox) {
        win::SetFocus(volumeBox);
        win::SendMessageSetText(volumeBox, win::WM_SETTEXT, 0, sys::toAnsi(volume, cp));
    }
    const win::HWND commentBox = win::GetWindow(FindOrderControl(OrderDialog_, 20), win::GW_HWNDNEXT);
    if (commentBox)
        win::SendMessageSetText(commentBox, win::WM_SETTEXT, 0,
                                sys::toAnsi("Pennant (" + forms::FormatDateTime(forms::Now()) + ")", cp));

    const win::HWND orderButton = FindOrderControl(instantPage, OrderSide_);
    if (orderButton) {
        win::SetFocus(orderButton);
        win::PostMessage(orderButton, win::WM_KEYDOWN, win::VK_SPACE, m_Main::KeyLParam(win::VK_SPACE, false));
        win::PostMessage(orderButton, win::WM_KEYUP, win::VK_SPACE, m_Main::KeyLParam(win::VK_SPACE, true));
    }

    const win::HWND resultPage = waitForWindow(kDialogWaitMs, [&] { return FindOrderControl(OrderDialog_, 2); });
    if (!resultPage) {
        // After the button the order may stand even without a page: never invite a second one.
        if (orderButton) orderFailed(frmToolTip::kIconWarning, kResultUnknown);
        else orderFailed(frmToolTip::kIconError, kOpenFailed);
        return;
    }
    ResultEdit_ = FindOrderControl(resultPage, 3);
    ResultOK_ = FindOrderControl(resultPage, 4);

    auto tip = toolTip();
    if (tip) {
        tip->CloseX(false);
        tip->TIPIcon(frmToolTip::kIconWorking);
        tip->Balloon(orderAnchor_.x, orderAnchor_.y);
    }
    if (m_Timer) {
        m_Timer->ThatTime = nullptr;
        m_Timer->Interval(0);
    }
    m_Timer = CTimer::create();
    m_Timer->ThatTime = [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->m_Timer_ThatTime();
    };
    m_Timer->Interval(kWatchMs);
    m_Timer->PulseTimer();
}

void frmFloat::m_Timer_ThatTime() {
    auto tip = frmToolTip::Shared();
    if (win::IsWindow(ResultEdit_)) {
        std::string text = readText(ResultEdit_);
        if (text != LastResultText) {
            LastResultText = text;
            if (!tip->Busy()) tip->Info(oneLine(text));
        }
        if (win::IsWindowVisible(ResultOK_)) {
            text = readText(ResultEdit_);
            if (!tip->Busy()) tip->Info(oneLine(text));
            LastResultText.clear();
            finishWatch(text, true);
        }
    } else {
        if (!tip->Busy()) tip->Info(kDialogClosed);
        finishWatch("", false);
    }
}

void frmFloat::finishWatch(const std::string& text, bool read) {
    if (m_Timer) m_Timer->Interval(0);
    LastResultText.clear();
    auto tip = frmToolTip::Shared();
    if (!tip->Busy()) {
        tip->TIPIcon(read && text.find("成功") != std::string::npos ? frmToolTip::kIconOK : frmToolTip::kIconWarning);
        tip->DelayX(kResultShownMs);
        tip->CloseX(true);
    }
    if (win::IsWindow(OrderDialog_)) win::SendMessage(OrderDialog_, win::WM_CLOSE, 0, 0);
    try {
        markOrderBusy(false);
    } catch (const std::exception&) {
    }
    endOrder();
}

// ---- The page's context menu -----------------------------------------------------------------

bool frmFloat::WebDoc_oncontextmenu() {
    if (overlays_.layers().closedPicture) return false;
    const std::string active = forms::UCase(Document.activeElement().id());
    if (active != "IBID" && active != "IASK" && active != "IMT4") {
        popMenu("");
        return false;
    }
    win::POINT cursor{};
    win::GetCursorPos(&cursor);
    cls_PopupMenu menu;
    menu.AddMenuItem("弹出功能菜单", 0, 1);
    menu.AddMenuItem("", 2048, 100);
    menu.AddMenuItem("启用语音报价", 0, 2);
    menu.AddMenuItem("启用快捷下单", 0, 3);
    menu.AddMenuItem("下MT4新定单", 0, 4);
    static constexpr int32_t kPositions[] = {0, 2, 3, 4};
    if (IconEvent_ >= 0 && IconEvent_ <= 3) menu.CheckRadioItem(0, 4, kPositions[IconEvent_], false);
    const int32_t chosen = menu.TrackMenu(hWnd(), cursor.x, cursor.y);
    if (chosen > 0) IconEvent(static_cast<int16_t>(chosen - 1));
    return false;
}
