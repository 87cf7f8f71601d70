#pragma once
// An output site that keeps every write, and can abort or fail on cue.
#include "speech-engine/UnitSynth.h"

#include <cstring>
#include <vector>

namespace voxsynth_test {

class CaptureOutput : public voxling::SynthOutput {
public:
    std::vector<std::vector<uint8_t>> writes;
    int abortAfterWrites = -1;  // Aborted() turns true once this many writes were taken
    int failAtWrite = -1;       // this write (0-based) fails
    int32_t failure = static_cast<int32_t>(0x80004005);

    int32_t Write(const void* pcm, uint32_t bytes) override {
        if (static_cast<int>(writes.size()) == failAtWrite) {
            failAtWrite = -1;
            return failure;
        }
        const auto* p = static_cast<const uint8_t*>(pcm);
        writes.emplace_back(p, p + bytes);
        return 0;
    }
    bool Aborted() override { return abortAfterWrites >= 0 && static_cast<int>(writes.size()) >= abortAfterWrites; }

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> all;
        for (const auto& w : writes)
            all.insert(all.end(), w.begin(), w.end());
        return all;
    }
    std::vector<int16_t> samples() const { return ToSamples(bytes()); }

    static std::vector<int16_t> ToSamples(const std::vector<uint8_t>& b) {
        std::vector<int16_t> s(b.size() / 2);
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<int16_t>(b[2 * i] | b[2 * i + 1] << 8);
        return s;
    }
};

inline int MaxAbs(const std::vector<int16_t>& s, size_t from, size_t to) {
    int m = 0;
    for (size_t i = from; i < to && i < s.size(); ++i)
        m = std::max(m, s[i] < 0 ? -s[i] : static_cast<int>(s[i]));
    return m;
}

// Sign changes from negative to non-negative: cycles of a tone.
inline int RisingCrossings(const std::vector<int16_t>& s, size_t from, size_t to) {
    int c = 0;
    for (size_t i = from + 1; i < to && i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0)
            ++c;
    return c;
}

inline long WindowSum(const std::vector<int16_t>& s, size_t at) {
    long sum = 0;
    for (size_t i = at; i < at + 100 && i < s.size(); ++i)
        sum += std::abs(s[i]);
    return sum;
}

} // namespace voxsynth_test
