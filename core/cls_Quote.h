#pragma once
// One row of the terminal's Market Watch: the symbol's prices as the terminal shows them, the
// direction of the last bid change and the symbol's voice-quote settings, with the decision
// whether to announce it now.
#include "core/Program.h"
#include "platform/forms/Collection.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace win { struct ISpeechVoice; }

class cls_Quote {
public:
    // The ask when PriceMode is -1, else the bid; remembered as the record's price text.
    std::string Price();

    const std::string& Time() const { return time_; }
    void Time(std::string v) { time_ = std::move(v); }
    bool xFlag() const { return seen_; }
    void xFlag(bool v) { seen_ = v; }
    const std::string& Max() const { return high_; }
    void Max(std::string v) { high_ = std::move(v); }
    const std::string& Min() const { return low_; }
    void Min(std::string v) { low_ = std::move(v); }
    const std::string& Alias() const { return alias_; }
    void Alias(std::string v) { alias_ = std::move(v); }

    const std::string& BID() const { return bid_; }
    // Sets Direction from the previous bid, then stores the text.
    void BID(std::string v);
    // 1 the bid rose, -1 it fell, 0 unchanged.
    int16_t Direction() const { return direction_; }

    int16_t PriceMode() const { return priceMode_; }
    void PriceMode(int16_t v) { priceMode_ = v; }
    const std::string& ASK() const { return ask_; }
    void ASK(std::string v) { ask_ = std::move(v); }
    const std::string& SymBol() const { return symbol_; }
    void SymBol(std::string v) { symbol_ = std::move(v); }

    int32_t VoiceDelta() const { return voiceDelta_; }
    void VoiceDelta(int32_t v) { voiceDelta_ = v; }
    int32_t VoiceInterval() const { return voiceInterval_; }
    void VoiceInterval(int32_t v) { voiceInterval_ = v; }
    bool EnableDelta() const { return enableDelta_; }
    void EnableDelta(bool v) { enableDelta_ = v; }
    bool EnableInterval() const { return enableInterval_; }
    void EnableInterval(bool v) { enableInterval_ = v; }
    bool UseAlias() const { return useAlias_; }
    void UseAlias(bool v) { useAlias_ = v; }
    const std::string& DeltaFormat() const { return deltaFormat_; }
    void DeltaFormat(std::string v) { deltaFormat_ = std::move(v); }
    const std::string& IntervalFormat() const { return intervalFormat_; }
    void IntervalFormat(std::string v) { intervalFormat_ = std::move(v); }

    bool VoiceEnable() const { return voiceEnable_; }
    // Switching voice off forgets the last announcement, so switching it on starts afresh.
    void VoiceEnable(bool v);

    // Whether to announce now. The caller zeroes movement and kind; on True, movement holds the
    // points moved since the last announcement (0 on a first one) and kind is 1 for a timed one.
    // 32-bit overflow raises run-time error 6.
    bool VoiceStatus(int32_t& movement, int32_t& kind, bool fractionalPip);

    const std::string& WebBid() const { return webBid_; }
    void WebBid(std::string v) { webBid_ = std::move(v); }
    const std::string& WebAsk() const { return webAsk_; }
    void WebAsk(std::string v) { webAsk_ = std::move(v); }

    // Test side: the price in points at the last announcement (0: none yet).
    int64_t lastAnnouncedPoints() const { return lastPoints_; }

private:
    std::string bid_, ask_, webBid_, webAsk_, symbol_;
    int64_t lastPoints_ = 0;
    int16_t priceMode_ = 0;
    bool voiceEnable_ = false;
    int32_t voiceDelta_ = 3;
    int32_t voiceInterval_ = 300;
    std::string deltaFormat_ = "[别名][价格]";
    std::string intervalFormat_ = "[别名][价格][方向][点差]";
    bool enableDelta_ = false;
    bool enableInterval_ = false;
    bool useAlias_ = false;
    std::string alias_;
    std::string priceText_;
    std::string high_, low_;
    int16_t direction_ = 0;
    bool seen_ = false;
    std::string time_;
    int32_t changeCounter_ = 0;
};

// The price in points used by VoiceStatus: the price's digits read as one whole number (the price
// scaled by its decimals), less the fractional pip when it has one. Only a price of more than 18
// digits raises 6.
int64_t QuotePoints(const std::string& price, bool fractionalPip);

// The announcement of a record that VoiceStatus fired: its template with the placeholders filled.
std::string QuoteVoiceText(cls_Quote& quote, int32_t movement, int32_t kind, bool fractionalPip);
// Builds the announcement and speaks it asynchronously.
void AnnounceQuote(win::ISpeechVoice& speech, cls_Quote& quote, int32_t movement, int32_t kind,
                   bool fractionalPip);
