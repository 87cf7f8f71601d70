#pragma once
// Complex FFT of one fixed length in both directions, and the cross-correlation built on it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace voxling {

class FftPair {
public:
    explicit FftPair(int n);
    ~FftPair();
    FftPair(const FftPair&) = delete;
    FftPair& operator=(const FftPair&) = delete;

    int size() const { return n_; }

    // Position k in [0, lags) where sum_i a[k + i] * b[i] is largest (the earliest of equal values).
    // a and b are zero-padded to the transform length; a.size() must not exceed it, and
    // lags - 1 + b.size() must not exceed it either, so no product wraps around.
    int CrossCorrelate(std::span<const double> a, std::span<const double> b, int lags);
    // The same for 16-bit samples, taken as they are without a copy in doubles first.
    int CrossCorrelate(std::span<const int16_t> a, std::span<const int16_t> b, int lags);

private:
    // The correlation at every lag times 2^shift (b taken times 2^shift), for an even length;
    // valid until the next call.
    template <class T>
    int correlate(std::span<const T> a, std::span<const T> b, int lags, double energyA, double energyB);
    template <class T>
    const double* correlateReal(std::span<const T> a, std::span<const T> b, int shift);
    struct Plans;
    struct Buffers;
    static const Plans* plansFor(int n);
    int n_;
    const Plans* plans_;  // shared by every pair of this length
    Buffers* buf_;
};

} // namespace voxling
