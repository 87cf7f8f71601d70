// Unit synthesis of one sentence: 20 units decoded, time-scaled, levelled and trimmed.
#include "speech-engine/UnitSynth.h"
#include "tests/voxsynth/ToneMp3.h"

#include <benchmark/benchmark.h>

namespace {

using namespace voxling;

class DiscardOutput : public SynthOutput {
public:
    int32_t Write(const void*, uint32_t) override { return 0; }
    bool Aborted() override { return false; }
};

// Twenty syllable-sized units, 250..440 ms with quiet ends, at different pitches.
const std::vector<std::vector<uint8_t>>& Sentence() {
    static const auto units = [] {
        std::vector<std::vector<uint8_t>> u;
        for (int i = 0; i < 20; ++i) {
            std::vector<int16_t> s(800, 0);
            const auto tone = voxsynth_test::Tone(4000 + 160 * (i % 13), 9000, 180.0 + 17 * i);
            s.insert(s.end(), tone.begin(), tone.end());
            s.insert(s.end(), 800, 0);
            u.push_back(voxsynth_test::EncodeMp3(s));
        }
        return u;
    }();
    return units;
}

void BM_SentenceSynthesis(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    UnitSynth synth;
    DiscardOutput out;
    uint64_t bytes = 0;
    for (auto _ : state)
        for (const auto& unit : Sentence())
            bytes += synth.SynthesizeSyllable(out, rate, 100, unit);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    // seconds of speech made per second of work
    state.counters["realtime_x"] =
        benchmark::Counter(static_cast<double>(bytes) / 32000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SentenceSynthesis)->Arg(0)->Arg(5)->Arg(-10)->Unit(benchmark::kMillisecond);

void BM_SentenceDecodeOnly(benchmark::State& state) {
    UnitDecoder decoder;
    std::vector<int16_t> pcm;
    for (auto _ : state)
        for (const auto& unit : Sentence()) {
            decoder.Decode(unit, pcm, UnitSynth::kUnitSamples);
            benchmark::DoNotOptimize(pcm.data());
        }
}
BENCHMARK(BM_SentenceDecodeOnly)->Unit(benchmark::kMillisecond);

} // namespace
