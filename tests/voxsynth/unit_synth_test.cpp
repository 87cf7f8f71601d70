#include "CaptureOutput.h"
#include "ToneMp3.h"
#include "speech-engine/UnitSynth.h"

#include <gtest/gtest.h>

using namespace voxling;
using namespace voxsynth_test;

namespace {

// A syllable-like unit: 100 ms quiet, 500 ms of tone, 100 ms quiet.
const std::vector<uint8_t>& ToneUnit() {
    static const auto unit = EncodeMp3(QuietEndedTone(1600, 8000, 1600, 10000));
    return unit;
}

int DecodedPeak() {
    UnitDecoder decoder;
    std::vector<int16_t> s;
    decoder.Decode(ToneUnit(), s, UnitSynth::kUnitSamples);
    return MaxAbs(s, 2000, 9000);
}

using Bounds = std::pair<size_t, size_t>;

} // namespace

TEST(SynthesizeSyllable, SilenceStandsInForAUnitWithoutAudio) {
    std::vector<int16_t> stereo(8000, 1000);
    const auto stereoUnit = EncodeMp3(stereo, 16000, 2, 64);
    const std::vector<uint8_t> quiet = EncodeMp3(std::vector<int16_t>(8000, 0));
    struct Case {
        const char* name;
        std::span<const uint8_t> unit;
        int volume;
    } cases[] = {
        {"no audio", {}, 100},
        {"volume 0", ToneUnit(), 0},
        {"not 16 kHz mono", stereoUnit, 100},
        {"not MP3", std::span(ToneUnit()).subspan(ToneUnit().size() - 300), 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UnitSynth synth;
        synth.state.byteCount = 500;
        CaptureOutput out;
        EXPECT_EQ(synth.SynthesizeSyllable(out, 0, c.volume, c.unit), 2000u);
        EXPECT_EQ(out.bytes(), std::vector<uint8_t>(2000, 0));
        EXPECT_EQ(out.writes.size(), 2u);
        EXPECT_EQ(synth.state.byteCount, 2500u);
    }
}

// Output length follows the rate through the stretch; the quiet ends go with the trim.
TEST(SynthesizeSyllable, LengthFollowsRate) {
    UnitSynth synth;
    size_t previous = SIZE_MAX;
    for (int rate : {-5, 0, 5, 10}) {
        SCOPED_TRACE(rate);
        CaptureOutput out;
        const uint64_t before = synth.state.byteCount;
        const uint64_t bytes = synth.SynthesizeSyllable(out, rate, 100, ToneUnit());
        ASSERT_EQ(out.writes.size(), 1u);
        EXPECT_EQ(bytes, out.writes[0].size());
        EXPECT_EQ(synth.state.byteCount - before, bytes);
        const auto s = out.samples();
        // the tone's 8,000 samples stretched, give or take the edges the frames smear
        EXPECT_NEAR(double(s.size()), 8000 * StretchFactor(rate).value(), 800);
        EXPECT_LT(s.size(), previous);
        previous = s.size();
        // cut where a 100-sample window first passes the rate's trim threshold
        EXPECT_GT(WindowSum(s, 0), TrimBase(rate) * 100);
        EXPECT_GT(WindowSum(s, s.size() - 100), TrimBase(rate) * 100);
    }
}

TEST(SynthesizeSyllable, SlowestRateCutsOnlyDigitalSilence) {
    // Rate -10: factor 1.5 and a trim base of 0, so the first and last non-zero samples bound it.
    UnitSynth synth;
    CaptureOutput out;
    synth.SynthesizeSyllable(out, -10, 100, ToneUnit());
    const auto s = out.samples();
    EXPECT_NE(s.front(), 0);
    EXPECT_NE(s.back(), 0);
    EXPECT_GT(s.size(), 8000 * 1.5);
    EXPECT_LT(s.size(), 11200 * 1.5);
}

// A synth keeps what it decoded and stretched; a syllable it voiced before, at the same or
// another rate, volume or prosody, comes out as a new synth would make it.
TEST(SynthesizeSyllable, ASynthThatSpokeBeforeSaysWhatANewOneSays) {
    const auto other = EncodeMp3(QuietEndedTone(800, 6000, 800, 7000));
    struct Call {
        const std::vector<uint8_t>& unit;
        int rate, volume;
        int32_t c, duration, divisor;
    } calls[] = {
        {ToneUnit(), 0, 100, 0, 0, 0},   {other, 0, 100, 0, 0, 0},        {ToneUnit(), 0, 100, 0, 0, 0},
        {ToneUnit(), 5, 100, 0, 0, 0},   {ToneUnit(), 0, 40, 0, 0, 0},     {ToneUnit(), 0, 100, 2900, 0, 0},
        {ToneUnit(), 0, 100, 0, 300, 200}, {ToneUnit(), 0, 100, 0, 150, 100}, {other, -3, 100, 0, 0, 0},
        {ToneUnit(), 0, 100, 0, 0, 0},
    };
    UnitSynth kept;
    kept.state.peak = 3000;
    for (size_t i = 0; i < std::size(calls); ++i) {
        SCOPED_TRACE(i);
        const Call& c = calls[i];
        UnitSynth fresh;
        fresh.state.peak = 3000;
        CaptureOutput expected, got;
        fresh.state.phraseDivisor = kept.state.phraseDivisor = c.divisor;
        fresh.SynthesizeSyllable(expected, c.rate, c.volume, c.unit, 0, 0, c.c, c.duration);
        kept.SynthesizeSyllable(got, c.rate, c.volume, c.unit, 0, 0, c.c, c.duration);
        ASSERT_FALSE(expected.bytes().empty());
        EXPECT_EQ(got.bytes(), expected.bytes());
    }
}

TEST(SynthesizeSyllable, PhraseDurationStretches) {
    UnitSynth synth;
    CaptureOutput plain, phrase, noDivisor;
    synth.SynthesizeSyllable(plain, 0, 100, ToneUnit());
    synth.state.phraseDivisor = 200;
    synth.SynthesizeSyllable(phrase, 0, 100, ToneUnit(), 0, 0, 0, 300);  // 1.5
    synth.state.phraseDivisor = 0;
    synth.SynthesizeSyllable(noDivisor, 0, 100, ToneUnit(), 0, 0, 0, 300);  // 2.0
    EXPECT_NEAR(double(phrase.samples().size()) / plain.samples().size(), 1.5, 0.12);
    EXPECT_NEAR(double(noDivisor.samples().size()) / plain.samples().size(), 2.0, 0.15);
}

TEST(SynthesizeSyllable, LevelIsSeventyPercentTimesVolume) {
    const int decoded = DecodedPeak();
    ASSERT_NEAR(decoded, 10000, 800);
    for (int volume : {100, 50, 7}) {
        SCOPED_TRACE(volume);
        UnitSynth synth;
        CaptureOutput out;
        synth.SynthesizeSyllable(out, 0, volume, ToneUnit());
        const auto s = out.samples();
        EXPECT_NEAR(MaxAbs(s, 1000, s.size() - 1000), decoded * 0.70 * volume / 100, 2 + decoded * 0.01);
    }
}

TEST(SynthesizeSyllable, ProsodyLevelRaisesGainAgainstThePeak) {
    const int decoded = DecodedPeak();
    UnitSynth synth;
    synth.state.peak = 3000;
    CaptureOutput out;
    synth.SynthesizeSyllable(out, 0, 100, ToneUnit(), 0, 0, 2900);  // index 29: gain 0.99
    const auto s = out.samples();
    EXPECT_NEAR(MaxAbs(s, 1000, s.size() - 1000), decoded * 0.99, 2 + decoded * 0.01);
}

TEST(SynthesizeSyllable, TrimOffsetsDecideWhatIsLeft) {
    // A 150-sample burst. Offsets out of reach cut nothing: the whole scaled unit is written.
    const auto burst = EncodeMp3(QuietEndedTone(1400, 150, 1450, 10000));
    UnitSynth synth;
    CaptureOutput whole;
    synth.SynthesizeSyllable(whole, 0, 100, burst, 30000, 30000);
    const auto s = whole.samples();
    ASSERT_EQ(s.size(), 3000u);
    long loudest = 0;
    for (size_t i = 0; i + 100 <= s.size(); ++i)
        loudest = std::max(loudest, WindowSum(s, i));
    // Thresholds only the fullest windows pass: the head cut lands after the tail cut, nothing
    // is left, and the unit still takes 2,000 bytes of silence.
    const int32_t offset = static_cast<int32_t>(loudest * 95 / 100 / 100) - TrimBase(0);
    CaptureOutput cut;
    EXPECT_EQ(synth.SynthesizeSyllable(cut, 0, 100, burst, offset, offset), 2000u);
    EXPECT_EQ(cut.bytes(), std::vector<uint8_t>(2000, 0));
}

TEST(LevelSamples, IntegerGainAndVolume) {
    const std::vector<int16_t> in = {1000, -1000, 333, -333, 32767, -32768, 1};
    struct Case {
        int32_t c, peak;
        int volume, gain;  // gain in percent that the level index selects
    } cases[] = {
        {0, 32767, 100, 70}, {0, 32767, 55, 70}, {1500, 3000, 100, 85}, {2900, 3000, 100, 99},
        {3000, 3000, 100, 85}, {6000, 3000, 100, 85}, {-100, 3000, 100, 70}, {100, 0, 100, 70},
        {0, 32767, 130, 70},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "C " << c.c << " peak " << c.peak << " volume " << c.volume);
        auto s = in;
        LevelSamples(s, 0, 0, c.c, c.volume, c.peak);
        const int volume = std::min(c.volume, 100);
        for (size_t i = 0; i < in.size(); ++i)
            EXPECT_EQ(s[i], in[i] * c.gain / 100 * volume / 100) << i;
    }
}

TEST(LevelSamples, HeadAndTailOffsetsScaleWithTheLoudestWindow) {
    std::vector<int16_t> s(300, 50);
    for (size_t i = 100; i < 200; ++i)
        s[i] = static_cast<int16_t>(i % 2 ? 1000 : -1000);  // loudest window: 100,000
    const LevelResult r = LevelSamples(s, 3, -7, 1500, 100, 3000);
    EXPECT_EQ(r.a, 3 * 1000 / 1500);   // 2
    EXPECT_EQ(r.b, -7 * 1000 / 1500);  // -4, truncated toward zero
    const LevelResult untouched = LevelSamples(s, 3, -7, 0, 100, 3000);
    EXPECT_EQ(untouched.a, 3);
    EXPECT_EQ(untouched.b, -7);
}

TEST(TrimBounds, CutsWhereTheRunningWindowFirstExceedsTheThreshold) {
    auto signal = [](int16_t level, size_t from, size_t to) {
        std::vector<int16_t> s(800, 0);
        for (size_t i = from; i < to; ++i)
            s[i] = static_cast<int16_t>(i % 2 ? level : -level);
        return s;
    };
    // 96 samples of 21 make 2,016: reached at sample 395 forward, at 404 backward
    EXPECT_EQ(TrimBounds(signal(21, 300, 500), 2000, 2000), Bounds(395, 405));
    // a window of exactly 2,000 does not exceed 2,000: nothing is cut
    EXPECT_EQ(TrimBounds(signal(20, 300, 500), 2000, 2000), Bounds(0, 800));
    // each end against its own threshold
    EXPECT_EQ(TrimBounds(signal(21, 300, 500), 2000, 4000), Bounds(395, 800));
    EXPECT_EQ(TrimBounds(signal(21, 300, 500), 0, 2000), Bounds(300, 405));
    EXPECT_EQ(TrimBounds(signal(21, 300, 500), -1, -1), Bounds(0, 800));
    // the window fills from the very start
    EXPECT_EQ(TrimBounds(signal(3000, 0, 800), 2000, 2000), Bounds(0, 800));
    EXPECT_EQ(TrimBounds(std::vector<int16_t>(50, 9000), 0, 0), Bounds(0, 50));
    // a burst shorter than the two windows need: the cuts cross
    const auto crossed = TrimBounds(signal(1000, 500, 520), 15000, 15000);
    EXPECT_EQ(crossed, Bounds(515, 505));
}

TEST(TrimBase, RunsFromZeroToForty) {
    EXPECT_EQ(TrimBase(-10), 0);
    EXPECT_EQ(TrimBase(0), 20);
    EXPECT_EQ(TrimBase(10), 40);
    EXPECT_EQ(TrimBase(-3), 14);
    EXPECT_EQ(TrimBase(25), 40);
}

TEST(WriteSilence, ThousandByteBlocksOfWholeSamples) {
    UnitSynth synth;
    CaptureOutput out;
    EXPECT_EQ(synth.WriteSilence(out, 2200), 2200u);
    ASSERT_EQ(out.writes.size(), 3u);
    EXPECT_EQ(out.writes[2].size(), 200u);
    EXPECT_EQ(synth.WriteSilence(out, 1201), 1200u);  // an odd count would shift every later sample
    EXPECT_EQ(synth.state.byteCount, 3400u);
    EXPECT_EQ(out.bytes(), std::vector<uint8_t>(3400, 0));
}

TEST(WriteSilence, StopsOnAbortAndOnAFailedWrite) {
    UnitSynth synth;
    CaptureOutput aborting;
    aborting.abortAfterWrites = 2;
    EXPECT_EQ(synth.WriteSilence(aborting, 5000), 2000u);
    EXPECT_EQ(synth.state.byteCount, 2000u);

    CaptureOutput failing;
    failing.failAtWrite = 1;
    EXPECT_EQ(synth.WriteSilence(failing, 5000), 1000u);
    EXPECT_EQ(synth.state.result, failing.failure);
    EXPECT_EQ(synth.state.byteCount, 3000u);
    // nothing further is written once a write failed
    EXPECT_EQ(synth.SynthesizeSyllable(failing, 0, 100, ToneUnit()), 0u);
    EXPECT_EQ(failing.writes.size(), 1u);
}

TEST(ReadSentence, GathersInsteadOfWriting) {
    UnitSynth synth;
    synth.state.readSentence = true;
    CaptureOutput out;
    const uint64_t unit = synth.SynthesizeSyllable(out, 0, 100, ToneUnit());
    const uint64_t pause = synth.WriteSilence(out, 3000);
    EXPECT_TRUE(out.writes.empty());
    EXPECT_EQ(synth.state.sentence.size(), unit + pause);
    EXPECT_EQ(synth.state.byteCount, unit + pause);

    // a full sentence buffer is reported, not overrun
    synth.state.sentenceCapacity = synth.state.sentence.size() + 1000;
    EXPECT_EQ(synth.WriteSilence(out, 3000), 1000u);
    EXPECT_EQ(synth.state.result, kSynthOutOfMemory);
    EXPECT_EQ(synth.state.sentence.size(), synth.state.sentenceCapacity);
}
