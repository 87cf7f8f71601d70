#pragma once
// What the core calls of the quote windows: the floating per-symbol panel (frmFloat) and the
// quote board (frmQuote) implement these, and the core reaches them only through them.
#include "core/Program.h"
#include "platform/forms/Form.h"

#include <cstdint>
#include <string>

// The floating panel of one symbol.
class FloatPanel : public forms::Form {
public:
    using forms::Form::Form;

    // True while the panel's page is still loading.
    virtual bool Busy() = 0;
    // The symbol under which the panel finds its record in Quotes.
    virtual std::string ID() = 0;
    virtual void ID(const std::string& symbol) = 0;
    virtual void SymBol(const std::string& text) = 0;
    virtual void HeadBid(const std::string& text) = 0;
    virtual void HeadASK(const std::string& text) = 0;
    // Empty texts show as "-".
    virtual void BID(const std::string& text) = 0;
    virtual void ASK(const std::string& text) = 0;
    virtual void Price(const std::string& text) = 0;
    // Shows or hides the fractional-pip cells; force lays the panel out at once.
    virtual void iSUB(bool shown, bool force) = 0;
    void iSUB(bool shown) { iSUB(shown, false); }
    virtual void iSUBValue(const std::string& bidDigit, const std::string& askDigit) = 0;
    // Repaints when the bid or the record's direction changed since the last repaint, or forced.
    virtual void UpdatePrice(bool force) = 0;
    void UpdatePrice() { UpdatePrice(false); }
    virtual void MT4Loading(bool on) = 0;
    virtual void MT4Close(bool on) = 0;
    virtual void TimeOut(bool on) = 0;
    virtual void Time(const std::string& text) = 0;
    virtual void Max_Min(const std::string& high, const std::string& low) = 0;
    virtual bool Border() = 0;
    virtual void Border(bool shown) = 0;
    // Position as placed without the border, in twips.
    virtual long NB_Left() = 0;
    virtual long NB_Top() = 0;
    // -1 ask, 1 bid, 0 bid and ask with the spread.
    virtual int32_t Mode() = 0;
    virtual void Mode(int32_t mode) = 0;
    virtual bool Voice() = 0;
    virtual void Voice(bool on) = 0;
    // 0 menu, 1 voice, 2 quick-order bar, 3 order dialog.
    virtual int16_t IconEvent() = 0;
    virtual void IconEvent(int16_t what) = 0;
    virtual bool OrderBAR() = 0;
    virtual void OrderBAR(bool shown) = 0;
    virtual void Confirm(bool on) = 0;
    virtual void SL(int16_t points) = 0;
    virtual void TP(int16_t points) = 0;
    virtual void Volume(const std::string& lots) = 0;
    // The caption without the time the price loop appends.
    virtual std::string BaseCaption() = 0;
};

// The quote board.
class QuoteBoard : public forms::Form {
public:
    using forms::Form::Form;

    virtual bool Busy() = 0;
    virtual void MT4Loading(bool on) = 0;
    virtual void MT4Close(bool on) = 0;
    virtual void TimeOut(bool on) = 0;
    virtual void Time(const std::string& text) = 0;
    // Writes the records of Quotes into the board's rows.
    virtual void UpdateQuote(int16_t flag) = 0;
    // Show or hide the high and low columns.
    virtual void Show_MaxMin() = 0;
    virtual void Hide_MaxMin() = 0;
    // Docked at a screen edge; xBerth brings it in and focuses it.
    virtual bool BerthOn() = 0;
    virtual void xBerth() = 0;
    virtual std::string BaseCaption() = 0;
};

