#include "Audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <lame/lame.h>

namespace voicegen {

namespace {

void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}
void putTag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}

int16_t clip(double v) { return int16_t(std::clamp(std::lround(v), -32768L, 32767L)); }

} // namespace

std::vector<int16_t> makeTone(double hz, size_t samples, int amplitude) {
    std::vector<int16_t> out(samples);
    const size_t ramp = std::min<size_t>(samples / 4, 160);
    for (size_t i = 0; i < samples; ++i) {
        double env = 1.0;
        if (i < ramp) env = double(i) / double(ramp);
        if (samples - 1 - i < ramp) env = double(samples - 1 - i) / double(ramp);
        out[i] = clip(amplitude * env * std::sin(2.0 * M_PI * hz * double(i) / kSampleRate));
    }
    return out;
}

std::vector<int16_t> resampleTo16k(const std::vector<int16_t>& in, int from) {
    if (from == kSampleRate || in.empty() || from <= 0) return in;
    const double ratio = double(kSampleRate) / from;
    const double cutoff = std::min(1.0, ratio) * 0.95;  // of the input's Nyquist frequency
    const int half = 24;
    size_t n = size_t(std::floor(double(in.size()) * ratio));
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) {
        double t = double(i) / ratio;
        long centre = long(std::floor(t));
        double sum = 0;
        for (long k = centre - half + 1; k <= centre + half; ++k) {
            if (k < 0 || k >= long(in.size())) continue;
            double x = t - double(k);
            double sinc = x == 0 ? 1.0 : std::sin(M_PI * cutoff * x) / (M_PI * cutoff * x);
            double window = 0.5 + 0.5 * std::cos(M_PI * x / half);
            sum += in[size_t(k)] * cutoff * sinc * window;
        }
        out[i] = clip(sum);
    }
    return out;
}

int peakOf(const std::vector<int16_t>& pcm) {
    int peak = 0;
    for (int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

std::vector<int16_t> tidyUnit(std::vector<int16_t> pcm, int peak, size_t maxSamples) {
    int top = peakOf(pcm);
    if (top == 0) return {};
    const int quiet = std::max(64, top / 50);
    const size_t margin = kSampleRate / 100;  // keep 10 ms around the voiced part
    size_t first = 0, last = pcm.size();
    while (first < pcm.size() && std::abs(int(pcm[first])) < quiet) ++first;
    while (last > first && std::abs(int(pcm[last - 1])) < quiet) --last;
    first = first > margin ? first - margin : 0;
    last = std::min(pcm.size(), last + margin);
    std::vector<int16_t> out(pcm.begin() + long(first), pcm.begin() + long(last));
    const double gain = double(peak) / top;
    for (auto& s : out) s = clip(s * gain);
    if (out.size() > maxSamples) {
        out.resize(maxSamples);
        const size_t fade = std::min<size_t>(maxSamples, kSampleRate / 50);
        for (size_t i = 0; i < fade; ++i) {
            size_t at = maxSamples - 1 - i;
            out[at] = int16_t(out[at] * double(i) / double(fade));
        }
    }
    return out;
}

std::vector<uint8_t> encodeMp3(const std::vector<int16_t>& pcm, int kbps) {
    lame_t lame = lame_init();
    if (!lame) return {};
    lame_set_in_samplerate(lame, kSampleRate);
    lame_set_out_samplerate(lame, kSampleRate);
    lame_set_num_channels(lame, 1);
    lame_set_mode(lame, MONO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, std::max(kbps, kMinBitrate));
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 1);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return {};
    }
    std::vector<int16_t> samples = pcm;
    std::vector<uint8_t> out(samples.size() * 5 / 4 + 7200 + 8192);
    int n = lame_encode_buffer(lame, samples.data(), samples.data(), int(samples.size()), out.data(), int(out.size()));
    if (n < 0) {
        lame_close(lame);
        return {};
    }
    int m = lame_encode_flush(lame, out.data() + n, int(out.size()) - n);
    if (m < 0) {
        lame_close(lame);
        return {};
    }
    out.resize(size_t(n + m));
    // The first frame was reserved for the tag; it carries the delay and padding.
    uint8_t tag[2880];
    size_t tagSize = lame_get_lametag_frame(lame, tag, sizeof tag);
    lame_close(lame);
    if (tagSize == 0 || tagSize > out.size()) return {};
    std::memcpy(out.data(), tag, tagSize);
    return out;
}

std::vector<uint8_t> makeWav(const std::vector<int16_t>& pcm) {
    std::vector<uint8_t> b;
    const uint32_t dataBytes = uint32_t(pcm.size() * 2);
    putTag(b, "RIFF");
    put32(b, uint32_t(kWavHeaderSize - 8 + dataBytes));
    putTag(b, "WAVE");
    putTag(b, "fmt ");
    put32(b, 18);
    put16(b, 1);  // PCM
    put16(b, 1);  // mono
    put32(b, kSampleRate);
    put32(b, kSampleRate * 2);
    put16(b, 2);
    put16(b, 16);
    put16(b, 0);  // no extra format bytes
    putTag(b, "data");
    put32(b, dataBytes);
    for (int16_t s : pcm) put16(b, uint16_t(s));
    return b;
}

} // namespace voicegen
