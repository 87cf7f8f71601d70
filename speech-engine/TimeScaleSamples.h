#pragma once
// Duration change without pitch change: waveform-similarity overlap-add over 16 kHz mono samples.
#include "speech-engine/FftPair.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace voxling {

// A stretch factor held as a fraction so lengths and positions come out exact.
struct Stretch {
    int64_t num = 1;
    int64_t den = 1;
    double value() const { return static_cast<double>(num) / static_cast<double>(den); }
};

// 1.0 - 0.05 * rate, or duration / divisor - 0.05 * rate inside a phrase; kept within 0.5..2.0.
// A duration without a divisor takes the largest factor.
Stretch StretchFactor(int rate, int32_t duration = 0, int32_t divisor = 0);

// round(n * factor), halves away from zero, at least 1.
size_t ScaledLength(size_t n, Stretch factor);

class TimeScaler {
public:
    static constexpr int kFrame = 1360;  // 0.085 s
    static constexpr int kHop = kFrame / 2;
    static constexpr int kSearch = (kFrame + 3) / 6;  // a sixth of a frame, halves rounded up
    static constexpr int kFftLength = 2048;           // holds a frame plus both search margins

    TimeScaler();

    // The input scaled to ScaledLength(in.size(), factor) samples. The part of the output past the
    // last whole frame the input can supply stays silent.
    std::vector<int16_t> TimeScaleSamples(std::span<const int16_t> in, Stretch factor);
    // The same into out, whose storage is reused from call to call.
    void TimeScaleSamples(std::span<const int16_t> in, Stretch factor, std::vector<int16_t>& out);

private:
    FftPair fft_;
    const std::vector<double>& window_;
    std::vector<double> acc_;
};

} // namespace voxling
