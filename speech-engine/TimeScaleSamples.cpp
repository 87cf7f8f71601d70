#include "speech-engine/TimeScaleSamples.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace voxling {

namespace {
constexpr int kMinRate = -10, kMaxRate = 10;

// std::lround for the sums of two windowed samples, without the library call or a branch: the
// fraction left by truncation is exact, so halves go away from zero as there. Such a sum lies
// well inside the first clamp, which only keeps the conversion defined.
int16_t roundToSample(double v) {
    v = std::clamp(v, -1e9, 1e9);
    int32_t t = static_cast<int32_t>(v);
    const double fraction = v - static_cast<double>(t);
    t += static_cast<int32_t>(fraction >= 0.5) - static_cast<int32_t>(fraction <= -0.5);
    return static_cast<int16_t>(std::clamp<int32_t>(t, -32768, 32767));
}
} // namespace

Stretch StretchFactor(int rate, int32_t duration, int32_t divisor) {
    rate = std::clamp(rate, kMinRate, kMaxRate);
    Stretch s;
    if (duration == 0 && divisor == 0) {
        s = {20 - rate, 20};
    } else if (divisor == 0) {
        s = {2, 1};
    } else {
        // duration / divisor - rate / 20, over a positive denominator
        int64_t num = 20 * static_cast<int64_t>(duration) - static_cast<int64_t>(rate) * divisor;
        int64_t den = 20 * static_cast<int64_t>(divisor);
        if (den < 0) {
            num = -num;
            den = -den;
        }
        s = {num, den};
    }
    // clamp to [1/2, 2]
    if (2 * s.num < s.den)
        s = {1, 2};
    else if (s.num > 2 * s.den)
        s = {2, 1};
    return s;
}

size_t ScaledLength(size_t n, Stretch f) {
    const auto len = static_cast<size_t>((2 * static_cast<int64_t>(n) * f.num + f.den) / (2 * f.den));
    return std::max<size_t>(len, 1);
}

namespace {
// The same for every scaler; made once, as a scaler is made per engine object.
const std::vector<double>& hannWindow() {
    static const std::vector<double> window = [] {
        std::vector<double> w(TimeScaler::kFrame);
        for (int i = 0; i < TimeScaler::kFrame; ++i)
            w[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (TimeScaler::kFrame - 1));
        return w;
    }();
    return window;
}
} // namespace

TimeScaler::TimeScaler() : fft_(kFftLength), window_(hannWindow()) {}

std::vector<int16_t> TimeScaler::TimeScaleSamples(std::span<const int16_t> in, Stretch f) {
    std::vector<int16_t> out;
    TimeScaleSamples(in, f, out);
    return out;
}

void TimeScaler::TimeScaleSamples(std::span<const int16_t> in, Stretch f, std::vector<int16_t>& out) {
    if (f.num <= 0 || f.den <= 0)
        throw std::invalid_argument("TimeScaleSamples: the factor must be positive");
    const int64_t n = static_cast<int64_t>(in.size());
    const int64_t outLen = static_cast<int64_t>(ScaledLength(in.size(), f));
    acc_.assign(static_cast<size_t>(outLen), 0.0);

    // The first half frame, on the falling half of the window, starts the output.
    for (int64_t i = 0; i < std::min<int64_t>({kHop, n, outLen}); ++i)
        acc_[i] += in[i] * window_[kHop + i];

    int64_t previous = -kHop;  // where the frame that ended in that half frame began
    for (int64_t t = 0; t + kFrame <= outLen; t += kHop) {
        const int64_t nominal = (2 * t * f.den + f.num) / (2 * f.num);
        if (nominal + kFrame > n)
            break;
        const int64_t lo = std::max<int64_t>(0, nominal - kSearch);
        const int64_t hi = std::min<int64_t>(n - kFrame, nominal + kSearch);

        // The frame goes where it best continues the previous one: the samples after it, zero
        // past the input's end. (The previous frame never starts before the input's start.)
        const int64_t next = previous + kHop;
        const int64_t to = std::clamp<int64_t>(n - next, 0, kFrame);
        const auto continuation = to > 0 ? in.subspan(static_cast<size_t>(next), static_cast<size_t>(to))
                                         : std::span<const int16_t>();
        const auto region = in.subspan(static_cast<size_t>(lo), static_cast<size_t>(hi - lo + kFrame));
        const int64_t pos = lo + fft_.CrossCorrelate(region, continuation, static_cast<int>(hi - lo + 1));

        for (int i = 0; i < kFrame; ++i)
            acc_[t + i] += in[pos + i] * window_[i];
        previous = pos;
    }

    out.resize(static_cast<size_t>(outLen));
    for (int64_t i = 0; i < outLen; ++i)
        out[i] = roundToSample(acc_[i]);
}

} // namespace voxling
