#include "speech-engine/FftPair.h"

#include <fftw.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <stdexcept>

namespace voxling {

// Plans and twiddles depend on the length alone. Each length's are made once for the process and
// shared by every pair, whichever thread it runs on: FFTW 2's planner is serialised here, and
// FFTW_THREADSAFE keeps a plan read-only while it runs, so one plan serves several threads at
// once. They live as long as the process (a pair is made per engine object, its lengths are few)
// and go with it.
struct FftPair::Plans {
    Plans() = default;
    Plans(const Plans&) = delete;
    Plans& operator=(const Plans&) = delete;
    ~Plans() {
        for (fftw_plan plan : {forward, backward, halfBackward})
            if (plan) fftw_destroy_plan(plan);
    }
    fftw_plan forward = nullptr, backward = nullptr;
    fftw_plan halfBackward = nullptr;  // of length n / 2, when n is even
    // The inverse of a real signal's spectrum at half the length: e^(2 pi i k / n), k < n / 2.
    std::vector<fftw_complex> twiddle;
};

struct FftPair::Buffers {
    std::vector<fftw_complex> in, out, spectrum;
    std::vector<double> real;
    std::vector<fftw_complex> product;  // n / 2 + 1 values of the cross spectrum
};

const FftPair::Plans* FftPair::plansFor(int n) {
    static std::mutex lock;
    static std::map<int, std::unique_ptr<FftPair::Plans>> made;
    std::lock_guard<std::mutex> guard(lock);
    if (auto it = made.find(n); it != made.end()) return it->second.get();
    auto p = std::make_unique<FftPair::Plans>();
    const bool even = n % 2 == 0;
    if (even) {
        p->twiddle.resize(n / 2);
        for (int k = 0; k < n / 2; ++k) {
            const double angle = 2.0 * std::numbers::pi * k / n;
            p->twiddle[k].re = std::cos(angle);
            p->twiddle[k].im = std::sin(angle);
        }
    }
    constexpr int kFlags = FFTW_ESTIMATE | FFTW_THREADSAFE;
    p->forward = fftw_create_plan(n, FFTW_FORWARD, kFlags);
    p->backward = fftw_create_plan(n, FFTW_BACKWARD, kFlags);
    if (even) p->halfBackward = fftw_create_plan(n / 2, FFTW_BACKWARD, kFlags);
    if (!p->forward || !p->backward || (even && !p->halfBackward)) throw std::bad_alloc();
    return made.emplace(n, std::move(p)).first->second.get();
}

FftPair::FftPair(int n) : n_(n), plans_(nullptr), buf_(nullptr) {
    if (n < 1)
        throw std::invalid_argument("FftPair: length must be positive");
    auto buffers = std::make_unique<Buffers>();
    buffers->in.resize(n);
    buffers->out.resize(n);
    buffers->spectrum.resize(n);
    buffers->real.resize(n);
    if (n % 2 == 0) buffers->product.resize(n / 2 + 1);
    plans_ = plansFor(n);
    buf_ = buffers.release();
}

FftPair::~FftPair() { delete buf_; }

int FftPair::CrossCorrelate(std::span<const double> a, std::span<const double> b, int lags) {
    double energyA = 0, energyB = 0;
    for (double v : a)
        energyA += v * v;
    for (double v : b)
        energyB += v * v;
    return correlate(a, b, lags, energyA, energyB);
}

int FftPair::CrossCorrelate(std::span<const int16_t> a, std::span<const int16_t> b, int lags) {
    // Summed as whole numbers: the value the sum in doubles gives, as every partial sum of a
    // block this size stays far below 2^53.
    auto energy = [](std::span<const int16_t> x) {
        int64_t sum = 0;
        for (int16_t v : x)
            sum += int32_t{v} * v;
        return static_cast<double>(sum);
    };
    return correlate(a, b, lags, energy(a), energy(b));
}

template <class T>
int FftPair::correlate(std::span<const T> a, std::span<const T> b, int lags, double energyA, double energyB) {
    const size_t n = static_cast<size_t>(n_);
    if (lags < 1 || a.size() > n || b.size() > n || static_cast<size_t>(lags - 1) + b.size() > n)
        throw std::invalid_argument("FftPair::CrossCorrelate: blocks exceed the transform length");
    // Round-off makes equal correlations differ slightly; within that margin the earliest wins.
    double margin = 1e-9 * static_cast<double>(n) * std::sqrt(energyA * energyB);
    // A silent block correlates to 0 everywhere: the earliest lag.
    if (energyA == 0 || energyB == 0)
        return 0;
    auto& in = buf_->in;
    auto& out = buf_->out;
    auto& spec = buf_->spectrum;
    const double* real = buf_->real.data();
    if (plans_->halfBackward) {
        // Sharing one transform mixes the blocks' round-off: b is brought to a's level first, by
        // a power of two so that nothing else changes, and the margin with it.
        const int shift = (std::ilogb(energyA) - std::ilogb(energyB)) / 2;
        real = correlateReal(a, b, shift);
        margin = std::ldexp(margin, shift);
    } else {
        auto load = [&](std::span<const T> x) {
            for (size_t i = 0; i < n; ++i) {
                in[i].re = i < x.size() ? static_cast<double>(x[i]) : 0.0;
                in[i].im = 0.0;
            }
        };
        load(a);
        fftw_one(plans_->forward, in.data(), spec.data());
        load(b);
        fftw_one(plans_->forward, in.data(), out.data());
        // A * conj(B): its inverse is the correlation of a against b at every lag.
        for (size_t i = 0; i < n; ++i) {
            const double ar = spec[i].re, ai = spec[i].im, br = out[i].re, bi = -out[i].im;
            in[i].re = ar * br - ai * bi;
            in[i].im = ar * bi + ai * br;
        }
        fftw_one(plans_->backward, in.data(), out.data());
        for (size_t i = 0; i < n; ++i)
            buf_->real[i] = out[i].re;
    }
    // Four running maxima: the same largest value (no NaN arises), without one long dependency.
    double lane[4] = {real[0], real[0], real[0], real[0]};
    int k = 1;
    for (; k + 4 <= lags; k += 4)
        for (int j = 0; j < 4; ++j)
            lane[j] = std::max(lane[j], real[k + j]);
    for (; k < lags; ++k)
        lane[0] = std::max(lane[0], real[k]);
    const double largest = std::max(std::max(lane[0], lane[1]), std::max(lane[2], lane[3]));
    int best = 0;
    while (best < lags - 1 && real[best] < largest - margin)
        ++best;
    return best;
}

// Both blocks are real: one transform of a + i b gives both spectra, and the inverse of their
// product, being real, comes from a transform of half the length. Half the work of three
// full transforms, the same correlation up to round-off.
template <class T>
const double* FftPair::correlateReal(std::span<const T> a, std::span<const T> b, int shift) {
    const size_t n = static_cast<size_t>(n_), half = n / 2;
    fftw_complex* in = buf_->in.data();
    const fftw_complex* z = buf_->spectrum.data();
    fftw_complex* p = buf_->product.data();
    const fftw_complex* w = plans_->twiddle.data();
    const double scale = std::ldexp(1.0, shift);
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i)
        in[i] = {static_cast<double>(a[i]), static_cast<double>(b[i]) * scale};
    for (size_t i = common; i < a.size(); ++i)
        in[i] = {static_cast<double>(a[i]), 0.0};
    for (size_t i = common; i < b.size(); ++i)
        in[i] = {0.0, static_cast<double>(b[i]) * scale};
    for (size_t i = std::max(a.size(), b.size()); i < n; ++i)
        in[i] = {0.0, 0.0};
    fftw_one(plans_->forward, in, buf_->spectrum.data());
    // The product P[k] = A[k] conj(B[k]) for k = 0 .. n/2, with A[k] = (Z[k] + conj(Z[n-k])) / 2
    // and B[k] = (Z[k] - conj(Z[n-k])) / 2i.
    for (size_t k = 0; k <= half; ++k) {
        const fftw_complex zk = z[k], zm = z[k == 0 ? 0 : n - k];
        const double ar = 0.5 * (zk.re + zm.re), ai = 0.5 * (zk.im - zm.im);
        const double br = 0.5 * (zk.im + zm.im), bi = -0.5 * (zk.re - zm.re);
        p[k] = {ar * br + ai * bi, ai * br - ar * bi};
    }
    // Y[k] = (P[k] + P[k + n/2]) + i w^k (P[k] - P[k + n/2]), P[k + n/2] = conj(P[n/2 - k]);
    // its inverse holds the even outputs in the real parts and the odd ones in the imaginary.
    for (size_t k = 0; k < half; ++k) {
        const double pr = p[k].re, pi = p[k].im, qr = p[half - k].re, qi = -p[half - k].im;
        const double sr = pr + qr, si = pi + qi, dr = pr - qr, di = pi - qi;
        const double tr = w[k].re * dr - w[k].im * di, ti = w[k].re * di + w[k].im * dr;
        in[k] = {sr - ti, si + tr};
    }
    fftw_one(plans_->halfBackward, in, buf_->out.data());
    // Real and imaginary parts in turn are the outputs in order.
    static_assert(sizeof(fftw_complex) == 2 * sizeof(double));
    return reinterpret_cast<const double*>(buf_->out.data());
}

} // namespace voxling
