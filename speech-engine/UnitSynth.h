#pragma once
// Everything the engine says is made here: units, phrase recordings, sentence recordings, silence.
#include "speech-engine/TimeScaleSamples.h"
#include "speech-engine/UnitDecoder.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace voxling {

// HRESULT values this part produces itself.
constexpr int32_t kSynthOk = 0;
constexpr int32_t kSynthOutOfMemory = static_cast<int32_t>(0x8007000E);  // E_OUTOFMEMORY

// What the speak loop adapts its output site to.
class SynthOutput {
public:
    virtual ~SynthOutput() = default;
    // Hands PCM bytes on; an HRESULT, negative on failure.
    virtual int32_t Write(const void* pcm, uint32_t bytes) = 0;
    // True once the listener has asked to stop.
    virtual bool Aborted() = 0;
};

// Per-engine speaking state the writers share with the speak loop.
struct SynthState {
    int32_t peak = 32767;        // peak reference of the voice's recordings, at least 1
    int32_t phraseDivisor = 0;   // duration divisor of the phrase being voiced, 0 outside phrases
    bool readSentence = false;   // gather into `sentence` instead of writing
    uint64_t byteCount = 0;      // audio bytes produced since the speak call began
    std::vector<uint8_t> sentence;
    size_t sentenceCapacity = 64u << 20;
    int32_t result = kSynthOk;   // first failure of a write, or out of memory
};

// Gain table: T[i] = i - 15 for i < 30, T[30] = 0.
int GainTableEntry(int index);
// Energy a 100-sample window must pass at each end: |-20 - 2 * rate|.
int TrimBase(int rate);

struct LevelResult {
    int32_t a = 0, b = 0;  // the head and tail trim offsets after levelling
};
// Scales the samples in place by the unit's prosody level and the volume; adjusts A and B by the
// unit's loudest 100-sample stretch when C is set.
LevelResult LevelSamples(std::span<int16_t> samples, int32_t a, int32_t b, int32_t c, int volume, int32_t peak);

// [head, end) left after cutting the quiet ends. A sum over the last 100 samples runs forward from
// the start; the head is the sample at which it first exceeds headThreshold. The same from the end
// backward against tailThreshold gives the last sample kept. An end never exceeded is not cut;
// head >= end means nothing is left.
std::pair<size_t, size_t> TrimBounds(std::span<const int16_t> samples, int64_t headThreshold, int64_t tailThreshold);

class UnitSynth {
public:
    static constexpr size_t kUnitSamples = 20000;  // one decoded unit: the 40,000-byte PCM buffer
    static constexpr uint32_t kMissingUnitBytes = 2000;
    static constexpr uint32_t kSilenceBlock = 1000;
    static constexpr size_t kRecordingChunk = 20000;  // bytes a write of a recording
    // Longest recording taken: two minutes.
    static constexpr size_t kMaxRecordingSamples = 16000u * 120u;

    UnitSynth();

    SynthState state;

    // One unit from its MP3 bytes (empty: a unit without audio), with the phrase prosody values of
    // the syllable (all 0 on its own) against state.phraseDivisor. Returns the bytes produced.
    uint64_t SynthesizeSyllable(SynthOutput& out, int rate, int volume, std::span<const uint8_t> unit,
                                int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t duration = 0);
    // A phrase's own recording (MP3 bytes).
    uint64_t PlayPhraseRecording(SynthOutput& out, int rate, int volume, std::span<const uint8_t> mp3);
    // A sentence recording; kind 1 is a WAV file, anything else is taken as MP3.
    uint64_t PlayRecordedFile(SynthOutput& out, int rate, int volume, const std::filesystem::path& file, int kind);
    uint64_t PlayRecordedBytes(SynthOutput& out, int rate, int volume, std::span<const uint8_t> file, int kind);
    // n zero bytes (whole samples: an odd count is taken one byte short).
    uint64_t WriteSilence(SynthOutput& out, uint64_t n);

private:
    uint64_t emit(SynthOutput& out, const void* pcm, size_t bytes);
    uint64_t emitRecording(SynthOutput& out, int rate, int volume, std::span<const int16_t> samples);
    // A unit's samples, decoded once, and stretched once for each factor it is voiced at:
    // syllables repeat (digits, currency names) within a sentence and from sentence to sentence,
    // mostly at one factor. Kept up to a bound, then forgotten all at once.
    struct DecodedUnit {
        std::vector<uint8_t> mp3;
        std::vector<int16_t> pcm;
        std::vector<std::pair<Stretch, std::vector<int16_t>>> stretched;  // before levelling
    };
    DecodedUnit& decodeUnit(std::span<const uint8_t> unit);
    // Valid until the next call.
    const std::vector<int16_t>& stretchUnit(DecodedUnit& unit, Stretch factor);
    static constexpr size_t kDecodedBudget = 2u << 20;  // samples (4 MB)
    std::unordered_map<std::string_view, DecodedUnit> decoded_;  // keys view their entry's mp3
    size_t decodedSamples_ = 0;

    UnitDecoder decoder_;
    TimeScaler scaler_;
    std::vector<int16_t> scaled_;     // a syllable's samples being levelled, reused
    std::vector<int16_t> stretched_;  // a syllable stretched when its cache entry is not kept
};

} // namespace voxling
