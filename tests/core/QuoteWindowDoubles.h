#pragma once
// Stand-ins for the floating panel and the quote board: real forms that keep what they were told.
#include "core/QuoteWindows.h"

#include <map>
#include <string>
#include <vector>

class FloatPanelDouble : public FloatPanel {
public:
    FloatPanelDouble() : FloatPanel("frmFloat") {}

    bool busy = false;
    std::string id;
    // Last text written to each text member, by member name.
    std::map<std::string, std::string> texts;
    bool subShown = false, subForced = false;
    int repaints = 0, forcedRepaints = 0;
    bool loading = false, closed = false, timedOut = false;
    bool border = true, voice = false, orderBar = false, confirm = false;
    long nbLeft = 0, nbTop = 0;
    int32_t mode = 0;
    int16_t iconEvent = 0, sl = 0, tp = 0;
    std::string baseCaption = "frmFloat";

    bool Busy() override { return busy; }
    std::string ID() override { return id; }
    void ID(const std::string& symbol) override { id = symbol; }
    void SymBol(const std::string& t) override { texts["SymBol"] = t; }
    void HeadBid(const std::string& t) override { texts["HeadBid"] = t; }
    void HeadASK(const std::string& t) override { texts["HeadASK"] = t; }
    void BID(const std::string& t) override { texts["BID"] = t.empty() ? "-" : t; }
    void ASK(const std::string& t) override { texts["ASK"] = t.empty() ? "-" : t; }
    void Price(const std::string& t) override { texts["Price"] = t.empty() ? "-" : t; }
    using FloatPanel::iSUB;
    void iSUB(bool shown, bool force) override { subShown = shown, subForced = force; }
    void iSUBValue(const std::string& b, const std::string& a) override { texts["iSUBValue"] = b + "|" + a; }
    using FloatPanel::UpdatePrice;
    void UpdatePrice(bool force) override { ++repaints, forcedRepaints += force ? 1 : 0; }
    void MT4Loading(bool on) override { loading = on; }
    void MT4Close(bool on) override { closed = on; }
    void TimeOut(bool on) override { timedOut = on; }
    void Time(const std::string& t) override { texts["Time"] = t; }
    void Max_Min(const std::string& h, const std::string& l) override { texts["Max_Min"] = h + "|" + l; }
    bool Border() override { return border; }
    void Border(bool shown) override { border = shown; }
    long NB_Left() override { return nbLeft; }
    long NB_Top() override { return nbTop; }
    int32_t Mode() override { return mode; }
    void Mode(int32_t m) override { mode = m; }
    bool Voice() override { return voice; }
    void Voice(bool on) override { voice = on; }
    int16_t IconEvent() override { return iconEvent; }
    void IconEvent(int16_t w) override { iconEvent = w; }
    bool OrderBAR() override { return orderBar; }
    void OrderBAR(bool shown) override { orderBar = shown; }
    void Confirm(bool on) override { confirm = on; }
    void SL(int16_t p) override { sl = p; }
    void TP(int16_t p) override { tp = p; }
    void Volume(const std::string& lots) override { texts["Volume"] = lots; }
    std::string BaseCaption() override { return baseCaption; }

protected:
    void Form_Unload(int&) override {
        if (m_Main::FloatForms.Exists(id)) m_Main::FloatForms.Remove(id);
    }
};

class QuoteBoardDouble : public QuoteBoard {
public:
    QuoteBoardDouble() : QuoteBoard("frmQuote") {}

    bool busy = false;
    int loads = 0, unloads = 0, showMaxMin = 0, hideMaxMin = 0, updates = 0, berthCalls = 0;
    bool loading = false, closed = false, timedOut = false, berthOn = false;
    std::string time;

    bool Busy() override { return busy; }
    void MT4Loading(bool on) override { loading = on; }
    void MT4Close(bool on) override { closed = on; }
    void TimeOut(bool on) override { timedOut = on; }
    void Time(const std::string& t) override { time = t; }
    void UpdateQuote(int16_t) override { ++updates; }
    void Show_MaxMin() override { ++showMaxMin; }
    void Hide_MaxMin() override { ++hideMaxMin; }
    bool BerthOn() override { return berthOn; }
    void xBerth() override { ++berthCalls; }
    std::string BaseCaption() override { return "frmQuote"; }

protected:
    void Form_Load() override {
        ++loads;
        m_Main::QuoteBoardOpen = true;
    }
    void Form_Unload(int&) override {
        ++unloads;
        m_Main::QuoteBoardOpen = false;
    }
};
