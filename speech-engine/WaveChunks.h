#pragma once
// The PCM data of a RIFF/WAVE file, found by walking its chunks.
#include <cstdint>
#include <optional>
#include <span>

namespace voxling {

struct WaveFormat {
    uint16_t formatTag = 0;  // 1 PCM (an extensible header reports its sub-format's tag)
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
};

struct WaveData {
    WaveFormat format;
    std::span<const uint8_t> data;  // the data chunk, cut to the file and to whole sample frames
};

// Nothing when the bytes are not a RIFF/WAVE file with a "fmt " chunk before a "data" chunk.
std::optional<WaveData> ReadWaveChunks(std::span<const uint8_t> file);

} // namespace voxling
