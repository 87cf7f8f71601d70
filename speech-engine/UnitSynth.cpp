#include "speech-engine/UnitSynth.h"

#include "speech-engine/VoiceFile.h"
#include "speech-engine/WaveChunks.h"

#include <algorithm>
#include <limits>
#include <new>

namespace voxling {

namespace {
constexpr int kWindow = 100;
constexpr size_t kMaxRecordingFileBytes = 16u << 20;

int32_t clampToInt32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void scaleByVolume(std::span<int16_t> samples, int volume) {
    for (auto& s : samples)
        s = static_cast<int16_t>(s * volume / 100);
}
} // namespace

int GainTableEntry(int index) {
    index = std::clamp(index, 0, 30);
    return index == 30 ? 0 : index - 15;
}

int TrimBase(int rate) {
    rate = std::clamp(rate, -10, 10);
    const int v = -20 - 2 * rate;
    return v < 0 ? -v : v;
}

LevelResult LevelSamples(std::span<int16_t> samples, int32_t a, int32_t b, int32_t c, int volume, int32_t peak) {
    volume = std::clamp(volume, 0, 100);
    if (peak < 1)
        peak = 32767;
    LevelResult r{a, b};
    if (c != 0) {
        // The loudest 100 consecutive samples set how far the prosody offsets reach.
        int64_t sum = 0, loudest = 0;
        for (size_t i = 0; i < samples.size(); ++i) {
            sum += samples[i] < 0 ? -static_cast<int64_t>(samples[i]) : samples[i];
            if (i >= kWindow)
                sum -= samples[i - kWindow] < 0 ? -static_cast<int64_t>(samples[i - kWindow]) : samples[i - kWindow];
            loudest = std::max(loudest, sum);
        }
        r.a = clampToInt32(static_cast<int64_t>(a) * (loudest / 100) / c);
        r.b = clampToInt32(static_cast<int64_t>(b) * (loudest / 100) / c);
    }
    // A level outside 0..peak would index past the table; it takes the nearer end.
    const int index = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(c) * 30 / peak, 0, 30));
    const int gain = GainTableEntry(index) + 85;
    for (auto& s : samples)
        s = static_cast<int16_t>(s * gain / 100 * volume / 100);
    return r;
}

std::pair<size_t, size_t> TrimBounds(std::span<const int16_t> samples, int64_t headThreshold, int64_t tailThreshold) {
    const size_t n = samples.size();
    auto mag = [&](size_t i) { return samples[i] < 0 ? -static_cast<int64_t>(samples[i]) : samples[i]; };

    // The window grows over the first 100 samples, then slides; the cut is its leading sample.
    size_t head = 0;
    int64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += mag(i);
        if (i >= kWindow)
            sum -= mag(i - kWindow);
        if (sum > headThreshold) {
            head = i;
            break;
        }
    }
    size_t end = n;
    sum = 0;
    for (size_t j = n; j-- > 0;) {
        sum += mag(j);
        if (j + kWindow < n)
            sum -= mag(j + kWindow);
        if (sum > tailThreshold) {
            end = j + 1;
            break;
        }
    }
    return {head, end};
}

UnitSynth::UnitSynth() = default;

uint64_t UnitSynth::emit(SynthOutput& out, const void* pcm, size_t bytes) {
    if (state.result < 0 || bytes == 0)
        return 0;
    if (state.readSentence) {
        if (bytes > state.sentenceCapacity - std::min(state.sentenceCapacity, state.sentence.size())) {
            state.result = kSynthOutOfMemory;
            return 0;
        }
        const auto* p = static_cast<const uint8_t*>(pcm);
        state.sentence.insert(state.sentence.end(), p, p + bytes);
    } else {
        const int32_t hr = out.Write(pcm, static_cast<uint32_t>(bytes));
        if (hr < 0) {
            state.result = hr;
            return 0;
        }
    }
    state.byteCount += bytes;
    return bytes;
}

uint64_t UnitSynth::WriteSilence(SynthOutput& out, uint64_t n) {
    static const uint8_t zeros[kSilenceBlock] = {};
    n &= ~uint64_t{1};
    uint64_t written = 0;
    while (written < n && state.result >= 0 && !out.Aborted()) {
        const size_t block = static_cast<size_t>(std::min<uint64_t>(kSilenceBlock, n - written));
        const uint64_t done = emit(out, zeros, block);
        if (done == 0)
            break;
        written += done;
    }
    return written;
}

uint64_t UnitSynth::SynthesizeSyllable(SynthOutput& out, int rate, int volume, std::span<const uint8_t> unit,
                                       int32_t a, int32_t b, int32_t c, int32_t duration) {
    volume = std::clamp(volume, 0, 100);
    if (unit.empty() || volume == 0)
        return WriteSilence(out, kMissingUnitBytes);
    try {
        DecodedUnit& decoded = decodeUnit(unit);
        if (decoded.pcm.empty())
            return WriteSilence(out, kMissingUnitBytes);
        auto& samples = scaled_;
        const std::vector<int16_t>& stretched =
            stretchUnit(decoded, StretchFactor(rate, duration, state.phraseDivisor));
        samples.assign(stretched.begin(), stretched.end());
        const LevelResult level = LevelSamples(samples, a, b, c, volume, state.peak);
        const int64_t base = TrimBase(rate);
        const auto [head, tail] = TrimBounds(samples, (base + level.a) * 100, (base + level.b) * 100);
        if (head >= tail)
            return WriteSilence(out, kMissingUnitBytes);
        return emit(out, samples.data() + head, (tail - head) * sizeof(int16_t));
    } catch (const std::bad_alloc&) {
        if (state.result >= 0)
            state.result = kSynthOutOfMemory;
        return 0;
    }
}

UnitSynth::DecodedUnit& UnitSynth::decodeUnit(std::span<const uint8_t> unit) {
    const std::string_view key(reinterpret_cast<const char*>(unit.data()), unit.size());
    if (auto it = decoded_.find(key); it != decoded_.end())
        return it->second;
    DecodedUnit entry{std::vector<uint8_t>(unit.begin(), unit.end()), {}, {}};
    decoder_.Decode(unit, entry.pcm, kUnitSamples);
    if (decodedSamples_ + entry.pcm.size() > kDecodedBudget) {
        decoded_.clear();
        decodedSamples_ = 0;
    }
    const std::string_view own(reinterpret_cast<const char*>(entry.mp3.data()), entry.mp3.size());
    decodedSamples_ += entry.pcm.size();
    return decoded_.emplace(own, std::move(entry)).first->second;
}

const std::vector<int16_t>& UnitSynth::stretchUnit(DecodedUnit& unit, Stretch factor) {
    for (const auto& [f, samples] : unit.stretched)
        if (f.num == factor.num && f.den == factor.den)
            return samples;
    scaler_.TimeScaleSamples(unit.pcm, factor, stretched_);
    // Past the budget the entry is not kept: the next unit that is decoded makes room.
    if (decodedSamples_ + stretched_.size() > kDecodedBudget)
        return stretched_;
    decodedSamples_ += stretched_.size();
    return unit.stretched.emplace_back(factor, stretched_).second;
}

uint64_t UnitSynth::PlayPhraseRecording(SynthOutput& out, int rate, int volume, std::span<const uint8_t> mp3) {
    try {
        std::vector<int16_t> decoded;
        decoder_.Decode(mp3, decoded, kMaxRecordingSamples);
        if (decoded.empty())
            return 0;
        auto samples = scaler_.TimeScaleSamples(decoded, StretchFactor(rate));
        scaleByVolume(samples, std::clamp(volume, 0, 100));
        return emit(out, samples.data(), samples.size() * sizeof(int16_t));
    } catch (const std::bad_alloc&) {
        if (state.result >= 0)
            state.result = kSynthOutOfMemory;
        return 0;
    }
}

uint64_t UnitSynth::emitRecording(SynthOutput& out, int rate, int volume, std::span<const int16_t> decoded) {
    if (decoded.empty())
        return 0;
    // The whole recording is scaled at once: scaled piece by piece, every piece would end in a gap.
    auto samples = scaler_.TimeScaleSamples(decoded, StretchFactor(rate));
    scaleByVolume(samples, std::clamp(volume, 0, 100));
    const size_t total = samples.size() * sizeof(int16_t);
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
    uint64_t written = 0;
    for (size_t pos = 0; pos < total && state.result >= 0 && !out.Aborted(); pos += kRecordingChunk) {
        const size_t chunk = std::min(kRecordingChunk, total - pos);
        written += emit(out, bytes + pos, chunk);
    }
    return written;
}

uint64_t UnitSynth::PlayRecordedBytes(SynthOutput& out, int rate, int volume, std::span<const uint8_t> file,
                                      int kind) {
    try {
        std::vector<int16_t> decoded;
        if (kind == 1) {
            const auto wave = ReadWaveChunks(file);
            if (!wave || wave->format.formatTag != 1 || wave->format.channels != 1 ||
                wave->format.sampleRate != 16000 || wave->format.bitsPerSample != 16)
                return 0;
            const size_t n = std::min(wave->data.size() / 2, kMaxRecordingSamples);
            decoded.resize(n);
            for (size_t i = 0; i < n; ++i)
                decoded[i] = static_cast<int16_t>(wave->data[2 * i] | wave->data[2 * i + 1] << 8);
        } else {
            decoder_.Decode(file, decoded, kMaxRecordingSamples);
        }
        return emitRecording(out, rate, volume, decoded);
    } catch (const std::bad_alloc&) {
        if (state.result >= 0)
            state.result = kSynthOutOfMemory;
        return 0;
    }
}

uint64_t UnitSynth::PlayRecordedFile(SynthOutput& out, int rate, int volume, const std::filesystem::path& file,
                                     int kind) {
    WholeFile in;
    if (in.open(file, kMaxRecordingFileBytes) != 0 || in.size() == 0)
        return 0;
    return PlayRecordedBytes(out, rate, volume, {in.data(), in.size()}, kind);
}

} // namespace voxling
