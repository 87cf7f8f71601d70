#include "ToneMp3.h"
#include "speech-engine/UnitDecoder.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace voxling;
using namespace voxsynth_test;

namespace {
double RmsError(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    double e = 0;
    for (size_t i = 0; i < a.size(); ++i)
        e += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return std::sqrt(e / a.size());
}
} // namespace

TEST(UnitDecoder, GivesBackEverySampleOfATaggedStream) {
    UnitDecoder decoder;
    for (size_t n : {700u, 4000u, 8001u, 19999u}) {
        SCOPED_TRACE(n);
        const auto tone = Tone(n, 8000);
        std::vector<int16_t> out;
        decoder.Decode(EncodeMp3(tone), out, 20000);
        ASSERT_EQ(out.size(), n);
        EXPECT_LT(RmsError(tone, out), 8000 * 0.05);
    }
}

TEST(UnitDecoder, StopsAtTheBufferEnd) {
    UnitDecoder decoder;
    const auto mp3 = EncodeMp3(Tone(30000, 8000));
    std::vector<int16_t> whole, bounded;
    decoder.Decode(mp3, whole, 40000);
    decoder.Decode(mp3, bounded, 20000);
    ASSERT_EQ(whole.size(), 30000u);
    ASSERT_EQ(bounded.size(), 20000u);
    EXPECT_TRUE(std::equal(bounded.begin(), bounded.end(), whole.begin()));
}

TEST(UnitDecoder, OtherFormatsAndDamagedStreamsGiveNoSamples) {
    UnitDecoder decoder;
    const auto good = EncodeMp3(Tone(4000, 8000));
    std::vector<int16_t> stereo;
    for (int16_t s : Tone(4000, 8000)) {
        stereo.push_back(s);
        stereo.push_back(s);
    }
    std::vector<uint8_t> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<uint8_t>(i * 7 + 3);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"22050 Hz", EncodeMp3(Tone(5512, 8000, 500, 22050), 22050, 1, 64)},
        {"8000 Hz", EncodeMp3(Tone(2000, 8000, 500, 8000), 8000, 1, 32)},
        {"stereo", EncodeMp3(stereo, 16000, 2, 64)},
        {"not MP3", garbage},
        {"16 kHz, then 22050 Hz", [] {
             auto joined = EncodeMp3(Tone(4000, 8000));
             const auto tail = EncodeMp3(Tone(5512, 8000, 500, 22050), 22050, 1, 64);
             joined.insert(joined.end(), tail.begin(), tail.end());
             return joined;
         }()},
        {"empty", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int16_t> out{1, 2, 3};
        UnitDecoder fresh;
        fresh.Decode(c.bytes, out, 20000);
        EXPECT_TRUE(out.empty());
        decoder.Decode(c.bytes, out, 20000);
        EXPECT_TRUE(out.empty());
        // a fresh feed: the next unit decodes whole regardless
        decoder.Decode(good, out, 20000);
        EXPECT_EQ(out.size(), 4000u);
    }
}

TEST(UnitDecoder, ATruncatedStreamGivesWhatItHolds) {
    UnitDecoder decoder;
    const auto mp3 = EncodeMp3(Tone(16000, 8000));
    std::vector<int16_t> out;
    decoder.Decode(std::span(mp3).first(mp3.size() / 2), out, 20000);
    EXPECT_GT(out.size(), 4000u);
    EXPECT_LT(out.size(), 12000u);
}
