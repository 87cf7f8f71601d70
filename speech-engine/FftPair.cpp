#include "speech-engine/FftPair.h"

#include <fftw.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

namespace voxling {

namespace {
// FFTW 2's planner and plan destruction share global tables; only executing a plan is reentrant.
std::mutex& planLock() {
    static std::mutex lock;
    return lock;
}
} // namespace

struct FftPair::Buffers {
    std::vector<fftw_complex> in, out, spectrum;
    std::vector<double> real;
};

FftPair::FftPair(int n) : n_(n), forward_(nullptr), backward_(nullptr), buf_(nullptr) {
    if (n < 1)
        throw std::invalid_argument("FftPair: length must be positive");
    auto buffers = std::make_unique<Buffers>();
    buffers->in.resize(n);
    buffers->out.resize(n);
    buffers->spectrum.resize(n);
    buffers->real.resize(n);
    {
        std::lock_guard<std::mutex> guard(planLock());
        forward_ = fftw_create_plan(n, FFTW_FORWARD, FFTW_ESTIMATE);
        backward_ = fftw_create_plan(n, FFTW_BACKWARD, FFTW_ESTIMATE);
        if (!forward_ || !backward_) {
            if (forward_) fftw_destroy_plan(static_cast<fftw_plan>(forward_));
            if (backward_) fftw_destroy_plan(static_cast<fftw_plan>(backward_));
            throw std::bad_alloc();
        }
    }
    buf_ = buffers.release();
}

FftPair::~FftPair() {
    {
        std::lock_guard<std::mutex> guard(planLock());
        fftw_destroy_plan(static_cast<fftw_plan>(forward_));
        fftw_destroy_plan(static_cast<fftw_plan>(backward_));
    }
    delete buf_;
}

int FftPair::CrossCorrelate(std::span<const double> a, std::span<const double> b, int lags) {
    const size_t n = static_cast<size_t>(n_);
    if (lags < 1 || a.size() > n || b.size() > n || static_cast<size_t>(lags - 1) + b.size() > n)
        throw std::invalid_argument("FftPair::CrossCorrelate: blocks exceed the transform length");
    auto& in = buf_->in;
    auto& out = buf_->out;
    auto& spec = buf_->spectrum;
    auto load = [&](std::span<const double> x) {
        for (size_t i = 0; i < n; ++i) {
            in[i].re = i < x.size() ? x[i] : 0.0;
            in[i].im = 0.0;
        }
    };
    load(a);
    fftw_one(static_cast<fftw_plan>(forward_), in.data(), spec.data());
    load(b);
    fftw_one(static_cast<fftw_plan>(forward_), in.data(), out.data());
    // A * conj(B): its inverse is the correlation of a against b at every lag.
    for (size_t i = 0; i < n; ++i) {
        const double ar = spec[i].re, ai = spec[i].im, br = out[i].re, bi = -out[i].im;
        in[i].re = ar * br - ai * bi;
        in[i].im = ar * bi + ai * br;
    }
    fftw_one(static_cast<fftw_plan>(backward_), in.data(), out.data());
    auto& real = buf_->real;
    for (size_t i = 0; i < n; ++i)
        real[i] = out[i].re;
    // Round-off makes equal correlations differ slightly; within that margin the earliest wins.
    double energyA = 0, energyB = 0;
    for (double v : a)
        energyA += v * v;
    for (double v : b)
        energyB += v * v;
    const double margin = 1e-9 * static_cast<double>(n) * std::sqrt(energyA * energyB);
    double largest = real[0];
    for (int k = 1; k < lags; ++k)
        largest = std::max(largest, real[k]);
    int best = 0;
    while (best < lags - 1 && real[best] < largest - margin)
        ++best;
    return best;
}

} // namespace voxling
