// The quote record: direction of bid changes, points of a price, the announcement decision and
// the text an announcement speaks.
#include "core/cls_Quote.h"
#include "platform/forms/RuntimeError.h"
#include "platform/speech/SpeechApi.h"
#include "platform/system/CodePage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Feeds bids one tick at a time and records what VoiceStatus answered.
struct Tick {
    bool fired;
    int32_t movement, kind;
};
std::vector<Tick> run(cls_Quote& q, const std::vector<std::string>& bids, bool pip = false) {
    std::vector<Tick> out;
    for (const auto& b : bids) {
        q.BID(b);
        int32_t movement = 0, kind = 0;
        const bool fired = q.VoiceStatus(movement, kind, pip);
        out.push_back({fired, movement, kind});
    }
    return out;
}

} // namespace

TEST(QuoteRecord, DirectionOfBidChanges) {
    struct Case { const char* before; const char* now; int expect; };
    const Case cases[] = {
        {"", "1.2340", 1},          // the first bid of a record
        {"1.2340", "1.2340", 0},
        {"1.2341", "1.2340", -1},
        {"1.2340", "1.2341", 1},
        {"9.99", "10.01", 1},       // different lengths compare by value, not by characters
        {"10.01", "9.99", -1},
        {"99.5", "100", 1},
        {"1.20", "1.2", 0},
        {"0.5", ".5", 0},           // leading and trailing zeros carry no value
        {"0.05", "0.5", 1},
        {"-1.5", "-1.2", 1},        // signed
        {"-0", "0", 0},
        {"2", "-3", -1},
        {"1.00000000000000001", "1.00000000000000002", 1},  // beyond a double's digits
        {"abc", "abd", 1},          // not numbers: by characters
    };
    for (const auto& c : cases) {
        cls_Quote q;
        if (*c.before) q.BID(c.before);
        q.BID(c.now);
        EXPECT_EQ(q.Direction(), c.expect) << c.before << " -> " << c.now;
        EXPECT_EQ(q.BID(), c.now);
    }
}

TEST(QuoteRecord, DefaultsAndPriceMode) {
    cls_Quote q;
    EXPECT_EQ(q.VoiceDelta(), 3);
    EXPECT_EQ(q.VoiceInterval(), 300);
    EXPECT_EQ(q.DeltaFormat(), "[别名][价格]");
    EXPECT_EQ(q.IntervalFormat(), "[别名][价格][方向][点差]");
    q.BID("1.2345");
    q.ASK("1.2347");
    for (int16_t mode : {0, 1}) {
        q.PriceMode(mode);
        EXPECT_EQ(q.Price(), "1.2345");
    }
    q.PriceMode(-1);
    EXPECT_EQ(q.Price(), "1.2347");
}

TEST(QuoteRecord, PointsOfAPrice) {
    struct Case { const char* price; bool pip; int64_t points; };
    const Case cases[] = {
        {"1.23456", true, 12345}, {"1.2345", false, 12345}, {"110.25", false, 11025},
        {"110.256", true, 11025}, {"", false, 0}, {"abc", true, 0}, {"1.1", false, 11},
        // Whole prices (indices) and long ones keep their magnitude.
        {"38000", false, 38000}, {"38000", true, 3800}, {"1234567890", false, 1234567890},
        {"1234567.12345", false, 123456712345}, {"0.00012", false, 12},
    };
    for (const auto& c : cases) EXPECT_EQ(QuotePoints(c.price, c.pip), c.points) << c.price;
    try {
        QuotePoints("1234567890123456789", false);
        FAIL();
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, forms::err::Overflow);
    }
}

TEST(QuoteRecord, WholePricesAnnounceTheirMoves) {
    cls_Quote q;
    q.VoiceEnable(true);
    q.EnableDelta(true);
    const auto t = run(q, {"38000", "38001", "38004"});
    EXPECT_TRUE(t[0].fired);
    EXPECT_FALSE(t[1].fired);
    EXPECT_TRUE(t[2].fired);
    EXPECT_EQ(t[2].movement, 4);
}

TEST(QuoteRecord, NoTriggerNeverAnnounces) {
    cls_Quote q;
    q.VoiceEnable(true);
    for (const auto& t : run(q, {"1.2340", "1.2350", "1.2400"})) EXPECT_FALSE(t.fired);
}

TEST(QuoteRecord, MovementTriggerAddsSmallMovesUpToTheThreshold) {
    cls_Quote q;
    q.VoiceEnable(true);
    q.EnableDelta(true);
    const auto t = run(q, {"1.2340", "1.2341", "1.2342", "1.2343", "1.2343", "1.2340"});
    EXPECT_TRUE(t[0].fired);
    EXPECT_EQ(t[0].movement, 0);
    EXPECT_FALSE(t[1].fired);
    EXPECT_FALSE(t[2].fired);
    EXPECT_TRUE(t[3].fired);
    EXPECT_EQ(t[3].movement, 3);
    EXPECT_EQ(t[3].kind, 0);
    EXPECT_FALSE(t[4].fired);  // same price
    EXPECT_TRUE(t[5].fired);
    EXPECT_EQ(t[5].movement, -3);
}

TEST(QuoteRecord, IntervalCountsTicksAwayFromTheAnnouncedPrice) {
    cls_Quote q;
    q.VoiceEnable(true);
    q.EnableInterval(true);
    q.VoiceInterval(5);
    // A price back at the announced one does not count; any other does, moved or not.
    const auto t = run(q, {"1.0000", "1.0000", "1.0001", "1.0001", "1.0000", "1.0002", "1.0003", "1.0004"});
    std::vector<bool> fired;
    for (const auto& x : t) fired.push_back(x.fired);
    EXPECT_EQ(fired, (std::vector<bool>{true, false, false, false, false, false, false, true}));
    EXPECT_EQ(t.back().kind, 1);
    EXPECT_EQ(t.back().movement, 4);
    EXPECT_EQ(q.lastAnnouncedPoints(), 10004);
}

TEST(QuoteRecord, BothTriggersOnOneTickUseTheIntervalKind) {
    cls_Quote q;
    q.VoiceEnable(true);
    q.EnableInterval(true);
    q.EnableDelta(true);
    q.VoiceInterval(1);
    const auto t = run(q, {"1.2340", "1.2350"});
    ASSERT_TRUE(t[1].fired);
    EXPECT_EQ(t[1].kind, 1);
}

TEST(QuoteRecord, SwitchingVoiceOffAndOnStartsAfresh) {
    cls_Quote q;
    q.VoiceEnable(true);
    q.EnableDelta(true);
    run(q, {"1.2340"});
    EXPECT_EQ(q.lastAnnouncedPoints(), 12340);
    q.VoiceEnable(false);
    EXPECT_EQ(q.lastAnnouncedPoints(), 0);
    q.VoiceEnable(true);
    const auto t = run(q, {"1.2341"});
    EXPECT_TRUE(t[0].fired);
    EXPECT_EQ(t[0].movement, 0);
}

TEST(QuoteRecord, AnnouncementText) {
    cls_Quote q;
    q.Alias("欧元");
    q.BID("1.23456");
    q.ASK("1.23470");
    EXPECT_EQ(QuoteVoiceText(q, -12, 1, true), "欧元1.23456下跌12点");
    EXPECT_EQ(QuoteVoiceText(q, 7, 1, true), "欧元1.23456上涨7点");
    EXPECT_EQ(QuoteVoiceText(q, 3, 0, true), "欧元1.23456");
    // A first announcement says no direction and no movement.
    EXPECT_EQ(QuoteVoiceText(q, 0, 1, true), "欧元1.23456");

    q.DeltaFormat("[尾数]!{[别名]}[尾数][价格]");
    EXPECT_EQ(QuoteVoiceText(q, 3, 0, true), "45!{欧元}451.23456");
    q.BID("1.2345");
    EXPECT_EQ(QuoteVoiceText(q, 3, 0, false), "45!{欧元}451.2345");
    q.PriceMode(-1);
    q.DeltaFormat("[价格] [别名X] [方向]");
    EXPECT_EQ(QuoteVoiceText(q, 3, 0, true), "1.23470 [别名X] 上涨");
}


namespace {

// A speech object that keeps what it was asked to say.
struct RecordingVoice final : win::ISpeechVoice {
    std::vector<std::pair<std::string, win::DWORD>> spoken;
    win::HRESULT QueryInterface(win::REFIID, void**) override { return win::E_NOTIMPL; }
    win::ULONG AddRef() override { return 1; }
    win::ULONG Release() override { return 1; }
    win::HRESULT Speak(win::LPCWSTR text, win::DWORD flags, win::ULONG*) override {
        spoken.emplace_back(sys::fromUtf16(text), flags);
        return win::S_OK;
    }
    win::HRESULT WaitUntilDone(win::LONG, win::BOOL*) override { return win::E_NOTIMPL; }
    win::HRESULT GetRate(win::LONG*) override { return win::E_NOTIMPL; }
    win::HRESULT SetRate(win::LONG) override { return win::E_NOTIMPL; }
    win::HRESULT GetVolume(win::LONG*) override { return win::E_NOTIMPL; }
    win::HRESULT SetVolume(win::LONG) override { return win::E_NOTIMPL; }
    win::HRESULT GetVoice(win::ISpObjectToken**) override { return win::E_NOTIMPL; }
    win::HRESULT SetVoice(win::ISpObjectToken*) override { return win::E_NOTIMPL; }
    win::HRESULT Skip(win::LONG, win::LONG*) override { return win::E_NOTIMPL; }
};

} // namespace

TEST(QuoteRecord, AnnouncementIsSpokenAsynchronously) {
    cls_Quote q;
    q.Alias("日元");
    q.VoiceEnable(true);
    q.EnableDelta(true);
    RecordingVoice voice;
    for (const char* bid : {"110.256", "110.290"}) {
        q.BID(bid);
        int32_t movement = 0, kind = 0;
        if (q.VoiceStatus(movement, kind, true)) AnnounceQuote(voice, q, movement, kind, true);
    }
    ASSERT_EQ(voice.spoken.size(), 2u);
    EXPECT_EQ(voice.spoken[0].first, "日元110.256");
    EXPECT_EQ(voice.spoken[1].first, "日元110.290");
    EXPECT_EQ(voice.spoken[1].second, 1u);
}
