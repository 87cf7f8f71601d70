#include "CaptureOutput.h"
#include "ToneMp3.h"
#include "speech-engine/FftPair.h"
#include "speech-engine/TimeScaleSamples.h"

#include <gtest/gtest.h>

#include <thread>

using namespace voxling;
using namespace voxsynth_test;

TEST(StretchFactor, FollowsRateAndPhraseDuration) {
    struct Case {
        int rate;
        int32_t duration, divisor;
        int64_t num, den;  // expected factor, reduced or not
    } cases[] = {
        {0, 0, 0, 1, 1},      {10, 0, 0, 1, 2},     {-10, 0, 0, 3, 2},   {5, 0, 0, 3, 4},
        {-3, 0, 0, 23, 20},   {0, 300, 200, 3, 2},  {4, 300, 200, 13, 10}, {0, 500, 100, 2, 1},
        {10, 100, 400, 1, 2}, {-10, 300, 200, 2, 1}, {0, 100, 0, 2, 1},  {0, 0, 200, 1, 2},
        {99, 0, 0, 1, 2},     {-99, 0, 0, 3, 2},    {0, 300, -200, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " " << c.duration << "/" << c.divisor);
        const Stretch s = StretchFactor(c.rate, c.duration, c.divisor);
        EXPECT_EQ(s.num * c.den, c.num * s.den);
    }
}

TEST(StretchFactor, ScaledLengthRoundsHalvesUpAndIsNeverEmpty) {
    EXPECT_EQ(ScaledLength(1001, {3, 2}), 1502u);
    EXPECT_EQ(ScaledLength(7, {1, 2}), 4u);
    EXPECT_EQ(ScaledLength(20000, {23, 20}), 23000u);
    EXPECT_EQ(ScaledLength(1, {1, 2}), 1u);
    EXPECT_EQ(ScaledLength(0, {1, 1}), 1u);
}

TEST(FftPair, CrossCorrelationFindsTheShiftAndTheEarliestTie) {
    FftPair fft(64);
    std::vector<double> a(40, 0.0), b = {1, -2, 3};
    a[17] = 1, a[18] = -2, a[19] = 3;
    EXPECT_EQ(fft.CrossCorrelate(a, b, 38), 17);
    EXPECT_EQ(fft.CrossCorrelate(a, b, 17), 15);  // the match lies beyond the lags asked for
    std::vector<double> flat(20, 1.0), one = {1.0};
    EXPECT_EQ(fft.CrossCorrelate(flat, one, 20), 0);
    EXPECT_EQ(fft.CrossCorrelate(std::vector<double>(30, 0.0), b, 28), 0);
    EXPECT_THROW(fft.CrossCorrelate(a, std::vector<double>(30, 1.0), 40), std::invalid_argument);
}

// Duration changes, pitch and level do not.
TEST(TimeScaleSamples, ToneKeepsPitchAndLevelAtEveryFactor) {
    TimeScaler scaler;
    const size_t n = 16000;
    const auto tone = Tone(n, 10000);  // 500 Hz: 16 rising crossings per 512 samples
    for (Stretch f : {Stretch{1, 2}, Stretch{3, 4}, Stretch{1, 1}, Stretch{3, 2}, Stretch{2, 1}}) {
        SCOPED_TRACE(f.value());
        const auto out = scaler.TimeScaleSamples(tone, f);
        ASSERT_EQ(out.size(), ScaledLength(n, f));
        // Steady region: past the first frame, before the unfilled tail.
        const size_t from = TimeScaler::kFrame, to = out.size() - 2 * TimeScaler::kFrame;
        ASSERT_GT(to, from + 3200);
        const double cycles = RisingCrossings(out, from, to);
        EXPECT_NEAR(cycles / (to - from), 500.0 / 16000.0, 0.0005);
        EXPECT_NEAR(MaxAbs(out, from, to), 10000, 150);
        int low = 32767;
        for (size_t at = from; at + 64 < to; at += 64)
            low = std::min(low, MaxAbs(out, at, at + 64));
        EXPECT_GT(low, 9700) << "a dip in the overlap-add";
    }
}

TEST(TimeScaleSamples, UnitFactorReproducesTheInputUpToTheLastWholeFrame) {
    TimeScaler scaler;
    std::vector<int16_t> in(9000);
    uint32_t x = 12345;
    for (auto& s : in) {  // noise: the correlation peak is unambiguous
        x = x * 1103515245 + 12345;
        s = static_cast<int16_t>(static_cast<int>((x >> 16) & 0x3FFF) - 0x2000);
    }
    const auto out = scaler.TimeScaleSamples(in, {1, 1});
    ASSERT_EQ(out.size(), in.size());
    // frames start every 680 samples while a whole frame still fits: the last at 7480
    const size_t covered = 7480 + TimeScaler::kHop;
    for (size_t i = 0; i < covered; ++i)
        ASSERT_NEAR(out[i], in[i], 1 + std::abs(in[i]) * 0.003) << i;
    for (size_t i = 7480 + TimeScaler::kFrame; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << i;
}

TEST(TimeScaleSamples, ShortAndSilentInputs) {
    TimeScaler scaler;
    EXPECT_EQ(scaler.TimeScaleSamples({}, {1, 1}), std::vector<int16_t>(1, 0));
    const std::vector<int16_t> silent(5000, 0);
    EXPECT_EQ(scaler.TimeScaleSamples(silent, {3, 2}), std::vector<int16_t>(7500, 0));
    // Shorter than one frame: only the opening half frame is heard, fading out.
    const auto shortTone = Tone(1000, 8000);
    const auto out = scaler.TimeScaleSamples(shortTone, {2, 1});
    ASSERT_EQ(out.size(), 2000u);
    EXPECT_GT(MaxAbs(out, 0, 100), 7000);
    EXPECT_EQ(MaxAbs(out, TimeScaler::kHop, out.size()), 0);
}

TEST(TimeScaleSamples, ScalersOnSeveralThreadsAgree) {
    const auto tone = Tone(12000, 9000);
    TimeScaler reference;
    const auto expected = reference.TimeScaleSamples(tone, {3, 4});
    std::vector<std::thread> threads;
    std::vector<int> same(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                TimeScaler scaler;  // plans made and destroyed concurrently
                same[t] += scaler.TimeScaleSamples(tone, {3, 4}) == expected;
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(same, std::vector<int>(4, 5));
}
