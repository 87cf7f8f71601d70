#pragma once
// Test audio: synthesised tones and MP3 streams encoded from them.
#include <lame/lame.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace voxsynth_test {

// A sine of the given amplitude; 500 Hz at 16 kHz repeats every 32 samples exactly.
inline std::vector<int16_t> Tone(size_t n, double amplitude, double hz = 500.0, int rate = 16000) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate)));
    return s;
}

// silence, tone, silence
inline std::vector<int16_t> QuietEndedTone(size_t head, size_t tone, size_t tail, double amplitude) {
    std::vector<int16_t> s(head, 0);
    const auto t = Tone(tone, amplitude);
    s.insert(s.end(), t.begin(), t.end());
    s.insert(s.end(), tail, 0);
    return s;
}

// CBR MP3 with the LAME/Info tag over its first frame, so decoders drop the encoder delay and
// padding and give back exactly as many samples as went in. Stereo input is interleaved.
inline std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& pcm, int rate = 16000, int channels = 1,
                                      int kbps = 48) {
    lame_t gf = lame_init();
    if (!gf)
        throw std::runtime_error("lame_init");
    lame_set_in_samplerate(gf, rate);
    lame_set_out_samplerate(gf, rate);
    lame_set_num_channels(gf, channels);
    lame_set_mode(gf, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, kbps);
    lame_set_quality(gf, 2);
    lame_set_bWriteVbrTag(gf, 1);
    lame_set_write_id3tag_automatic(gf, 0);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        throw std::runtime_error("lame_init_params");
    }
    const int frames = static_cast<int>(pcm.size() / channels);
    std::vector<uint8_t> out(static_cast<size_t>(1.25 * frames + 7200) * 2 + 16384);
    int n = channels == 1
                ? lame_encode_buffer(gf, pcm.data(), pcm.data(), frames, out.data(), static_cast<int>(out.size()))
                : lame_encode_buffer_interleaved(gf, const_cast<short*>(pcm.data()), frames, out.data(),
                                                 static_cast<int>(out.size()));
    if (n < 0) {
        lame_close(gf);
        throw std::runtime_error("lame_encode_buffer");
    }
    const int f = lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n);
    if (f < 0) {
        lame_close(gf);
        throw std::runtime_error("lame_encode_flush");
    }
    out.resize(static_cast<size_t>(n + f));
    unsigned char tag[4096];
    const size_t tagSize = lame_get_lametag_frame(gf, tag, sizeof tag);
    lame_close(gf);
    if (tagSize == 0 || tagSize > out.size())
        throw std::runtime_error("lame_get_lametag_frame");
    std::memcpy(out.data(), tag, tagSize);
    return out;
}

} // namespace voxsynth_test
