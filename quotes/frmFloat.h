#pragma once
// The floating quote panel: a small always-on-top window showing one symbol's live quote on
// the page "TS.htm", with its quick-order bar. The core opens it, feeds it every price tick and
// saves it at exit; other windows and the page reach its members by name.
#include "core/QuoteWindows.h"
#include "quotes/QuoteOverlays.h"
#include "platform/forms/CallByName.h"
#include "toolkit/CTimer.h"
#include "toolkit/PageWindow.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class frmFloat : public FloatPanel, public forms::Dispatch, public PageWindow,
                 public std::enable_shared_from_this<frmFloat> {
public:
    frmFloat();
    ~frmFloat() override;

    // ---- Members reached by name, in the panel's member order ----
    bool Busy() override;
    void OrderSet();
    bool OrderBAR() override;
    void OrderBAR(bool shown) override;
    std::string ID() override { return ID_; }
    void ID(const std::string& symbol) override { ID_ = symbol; }
    void Border(bool framed) override;
    bool Border() override { return Border_; }
    long NB_Left() override;
    long NB_Top() override;
    void WindowMove();
    void BallonInfo(const forms::Variant&) {}
    void VolumeChange();
    void iVoiceSet();
    void iOrderSet() { OrderSet(); }
    void iIconEvent();
    void Sell();
    void Buy();
    void OrderError();
    void iOrder();
    void ResizeWindow();
    void SL(int16_t points) override;
    int16_t SL() const { return SL_; }
    void TP(int16_t points) override;
    int16_t TP() const { return TP_; }
    void Volume(const std::string& lots) override;
    int16_t IconEvent() override { return IconEvent_; }
    void IconEvent(int16_t what) override;
    std::string Volume();
    void Confirm(bool on) override;
    bool Confirm() const { return Confirm_; }
    void SymBol(const std::string& text) override;
    using FloatPanel::UpdatePrice;
    void UpdatePrice(bool force) override;
    void OrderConfirmX();
    void OrderConfirmOK();
    void Price(const std::string& text) override { Price_ = text.empty() ? "-" : text; }
    void BID(const std::string& text) override { BID_ = text.empty() ? "-" : text; }
    void ASK(const std::string& text) override { ASK_ = text.empty() ? "-" : text; }
    bool PriceSUB() const { return PriceSUB_; }
    using FloatPanel::iSUB;
    void iSUB(bool on, bool force) override;
    void iSUBValue(const std::string& bidDigit, const std::string& askDigit) override;
    void HeadBid(const std::string& text) override { HeadBid_ = text; }
    void HeadASK(const std::string& text) override { HeadASK_ = text; }
    int32_t Mode() override { return Mode_; }
    void Mode(int32_t mode) override;
    void TimeOut(bool on) override;
    void MT4Loading(bool on) override;
    void MT4Close(bool on) override;
    void Max_Min(const std::string& high, const std::string& low) override;
    void Time(const std::string& text) override;
    bool Voice() override;
    void Voice(bool on) override;

    // Stores Confirm, SL, TP and the volume text as the symbol's own quick-order settings.
    void SaveQuickOrder();
    // The caption before the time the price loop appends.
    std::string BaseCaption() override { return BaseCaption_; }
    // 1 buy, -1 sell: the side of the quick order in hand.
    int16_t OrderSide() const { return OrderSide_; }
    // An element's box in page pixels: its offsets summed up its offset parents below BODY.
    void GetElementRect(const std::string& id, int32_t& left, int32_t& top, int32_t& width, int32_t& height);

    const forms::MemberTable& memberTable() const override;
    // The page's document (null until the page has navigated).
    const web::HTMLDocument& PageDocument() const { return Document; }

    // ---- Quick orders (frmFloat_Order.cpp) ----
    // The whole order road; Confirmed: the user accepted the confirmation balloon.
    void OrderOpt(bool Confirmed);
    // The order watch, every 100 ms while the terminal works on the order.
    void m_Timer_ThatTime();
    // The page's context-menu event; always false (no browser menu).
    bool WebDoc_oncontextmenu();

    // The order in hand, for looking at it.
    win::HWND OrderDialog() const { return OrderDialog_; }
    win::HWND ResultEdit() const { return ResultEdit_; }
    win::HWND ResultOK() const { return ResultOK_; }
    bool OrderWatching() const { return m_Timer && m_Timer->Interval() > 0; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;
    void Form_Activate() override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    // Collects the page writes of this pump round into one message, sent without waiting when
    // the round ends (a read in between sends them first, as a round trip).
    void collectWrites();
    void sendWrites();
    web::HTMLElement& el(const char* id);
    void setDisplay(const char* id, bool shown);
    void showOverlays();
    void retitleOrderButtons();
    void refreshConfirmBalloon();
    // The main window's panel menu for this panel, or one of its entries.
    void popMenu(const std::string& action);
    // The centre of a page element, on the screen.
    win::POINT elementCentre(const std::string& id);
    // Order road steps (frmFloat_Order.cpp).
    void markOrderBusy(bool busy);
    void orderFailed(int32_t icon, const std::string& text);
    void finishWatch(const std::string& text, bool read);
    void endOrder();

    std::string ID_;
    bool Border_ = true;
    bool Confirm_ = true;
    int16_t SL_ = 50;
    int16_t TP_ = 100;
    int16_t IconEvent_ = 0;
    int16_t Mode_ = 0;
    bool PriceSUB_ = false;
    // What the page last showed of these; a page that cannot be read (its browser died) keeps
    // them, so that exit saves what the user had and not a guess.
    bool VoiceShown_ = false, OrderBarShown_ = false;
    bool shownOr(const char* id, bool& known);
    std::string symbolText_, volume_;
    // A page that completes again (its browser was started anew) starts bare: show the panel's state.
    bool pageShownOnce_ = false;
    void restorePage();
    int16_t OrderSide_ = 0;
    std::string BaseCaption_;

    // The order in hand: the terminal's dialog, its result page's edit box and OK button, the
    // result text last shown, the watch, and where the balloons point.
    win::HWND OrderDialog_ = 0, ResultEdit_ = 0, ResultOK_ = 0;
    std::string LastResultText;
    std::shared_ptr<CTimer> m_Timer;
    win::POINT orderAnchor_{};
    bool ownsOrder_ = false;

    std::string HeadBid_, HeadASK_, BID_, ASK_, Price_;
    std::string subBid_, subAsk_, subPrice_;
    std::string lastBid_;
    // What the last paint wrote, by element and property.
    std::map<std::string, std::string> painted_;
    int16_t lastDirection_ = 0;

    // Frame offsets, frame size and framed size, twips.
    long frameOffsetX_ = 0, frameOffsetY_ = 0;
    long frameWidth_ = 0, frameHeight_ = 0;
    long framedWidth_ = 0, framedHeight_ = 0;

    QuoteOverlays overlays_;
    // What the page shows; the page starts with every layer hidden.
    QuoteOverlays::Layers shownLayers_;
    std::string lastHigh_, lastLow_;
    std::string timeText_ = "-?-";

    web::HTMLDocument WebDoc;
    // The page's elements, looked up once when the page completes.
    std::map<std::string, web::HTMLElement> elements_;
    std::shared_ptr<web::Page> collecting_;
};

// The figures the order-confirmation balloon shows for a quick order: the order price and the
// stop-loss and take-profit texts ("无" for a distance of 0).
struct OrderFigures {
    std::string price, sl, tp;
};
// side: 1 buy (at the ask), -1 sell (at the bid); fractional: the price has a fractional pip,
// so a distance counts 10 price points.
OrderFigures orderFigures(const std::string& bid, const std::string& ask, int16_t side, int16_t sl, int16_t tp,
                          bool fractional);
// The stop-loss (sign -1) or take-profit (sign 1) price of an order at price for a distance:
// price -/+ side x distance units of the price's last digit (10 units when fractional). A price
// without a point has no decimals.
double orderLevel(const std::string& price, int16_t side, int16_t distance, bool fractional, int sign);
// The text typed into the terminal for such a price: "." and at most 15 significant digits;
// empty for a price the terminal must not get (not positive, or one that needs an exponent).
std::string orderLevelText(double level);

// The first descendant of Parent of the kind Mode names (0 instant-execution page, 2 result
// page, 1 / -1 buy / sell button, 3 edit box, 4 "确定", 10 / 20 / -100 the volume, comment and
// stop-loss labels); 0 when none. Not re-entrant; it does not pump.
win::HWND FindOrderControl(win::HWND Parent, int16_t Mode);
win::BOOL EnumOrderProc(win::HWND hWnd, win::LPARAM lParam);
