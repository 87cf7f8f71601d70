#pragma once
// Sample work for voice units: tones, trimming, levelling, resampling, MP3 and WAV files.
#include <cstdint>
#include <string>
#include <vector>

namespace voicegen {

constexpr int kSampleRate = 16000;
constexpr size_t kMaxUnitSamples = kSampleRate;  // 1.0 s: the engine decodes a unit into 20,000 samples
constexpr int kMinBitrate = 40;                  // below this the delay tag does not fit its frame

// A sine tone with short ramps at both ends.
std::vector<int16_t> makeTone(double hz, size_t samples, int amplitude);
// Resamples (windowed sinc) from rate `from` to 16 kHz.
std::vector<int16_t> resampleTo16k(const std::vector<int16_t>& in, int from);
// Cuts quiet lead-in and tail, scales the peak to `peak` and keeps at most maxSamples (fading out).
std::vector<int16_t> tidyUnit(std::vector<int16_t> pcm, int peak, size_t maxSamples);
int peakOf(const std::vector<int16_t>& pcm);

// MPEG-1/2 layer III, 16 kHz mono, constant bit rate, the encoder-delay tag in the first frame
// so that decoders give back exactly the encoded samples. Empty on failure.
std::vector<uint8_t> encodeMp3(const std::vector<int16_t>& pcm, int kbps = kMinBitrate);

// A 16 kHz mono 16-bit WAV file whose samples start at byte 46 (an 18-byte format chunk).
std::vector<uint8_t> makeWav(const std::vector<int16_t>& pcm);
constexpr size_t kWavHeaderSize = 46;

} // namespace voicegen
