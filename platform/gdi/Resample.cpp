#include "Resample.h"

#include <algorithm>
#include <cmath>

namespace win::gdi_detail {

namespace {

// Weights of the source cells that destination cell i covers along one axis.
struct Span {
    int first = 0;
    std::vector<double> weights;
};

std::vector<Span> spans(int s, int d) {
    std::vector<Span> out(static_cast<size_t>(d));
    const double scale = static_cast<double>(s) / d;
    for (int i = 0; i < d; ++i) {
        const double a = i * scale, b = (i + 1) * scale;
        Span& sp = out[static_cast<size_t>(i)];
        sp.first = std::min(s - 1, static_cast<int>(std::floor(a)));
        const int last = std::min(s - 1, std::max(sp.first, static_cast<int>(std::ceil(b)) - 1));
        double total = 0;
        for (int k = sp.first; k <= last; ++k) {
            const double w = std::max(0.0, std::min(b, k + 1.0) - std::max(a, static_cast<double>(k)));
            sp.weights.push_back(w);
            total += w;
        }
        if (total <= 0) {
            sp.weights.assign(1, 1.0);
        } else {
            for (double& w : sp.weights) w /= total;
        }
    }
    return out;
}

} // namespace

std::vector<uint8_t> areaResample(const std::vector<uint8_t>& src, int sw, int sh, int dw, int dh) {
    std::vector<uint8_t> out(static_cast<size_t>(dw) * dh * 4);
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return out;
    const auto xs = spans(sw, dw), ys = spans(sh, dh);
    // Horizontal pass into doubles, then vertical.
    std::vector<double> mid(static_cast<size_t>(dw) * sh * 4);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < dw; ++x) {
            const Span& sp = xs[static_cast<size_t>(x)];
            double acc[4] = {0, 0, 0, 0};
            for (size_t k = 0; k < sp.weights.size(); ++k) {
                const uint8_t* p = &src[(static_cast<size_t>(y) * sw + sp.first + k) * 4];
                for (int c = 0; c < 4; ++c) acc[c] += sp.weights[k] * p[c];
            }
            for (int c = 0; c < 4; ++c) mid[(static_cast<size_t>(y) * dw + x) * 4 + c] = acc[c];
        }
    for (int y = 0; y < dh; ++y) {
        const Span& sp = ys[static_cast<size_t>(y)];
        for (int x = 0; x < dw; ++x) {
            double acc[4] = {0, 0, 0, 0};
            for (size_t k = 0; k < sp.weights.size(); ++k) {
                const double* p = &mid[((sp.first + k) * dw + x) * 4];
                for (int c = 0; c < 4; ++c) acc[c] += sp.weights[k] * p[c];
            }
            for (int c = 0; c < 4; ++c)
                out[(static_cast<size_t>(y) * dw + x) * 4 + c] =
                    static_cast<uint8_t>(std::clamp(std::lround(acc[c]), 0L, 255L));
        }
    }
    return out;
}

std::vector<uint8_t> nearestResample(const std::vector<uint8_t>& src, int sw, int sh, int dw, int dh) {
    std::vector<uint8_t> out(static_cast<size_t>(dw) * dh * 4);
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return out;
    for (int y = 0; y < dh; ++y) {
        const int sy = std::min(sh - 1, static_cast<int>((y + 0.5) * sh / dh));
        for (int x = 0; x < dw; ++x) {
            const int sx = std::min(sw - 1, static_cast<int>((x + 0.5) * sw / dw));
            for (int c = 0; c < 4; ++c)
                out[(static_cast<size_t>(y) * dw + x) * 4 + c] = src[(static_cast<size_t>(sy) * sw + sx) * 4 + c];
        }
    }
    return out;
}

} // namespace win::gdi_detail
