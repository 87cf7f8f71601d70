#pragma once
// MP3 units and recordings to 16 kHz mono 16-bit samples.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace voxling {

class UnitDecoder {
public:
    static constexpr size_t kBlockBytes = 8192;  // the decoder's output block

    UnitDecoder();
    ~UnitDecoder();
    UnitDecoder(const UnitDecoder&) = delete;
    UnitDecoder& operator=(const UnitDecoder&) = delete;

    // Decodes one whole stream into out, at most maxSamples. A stream that is not 16,000 Hz mono,
    // or that cannot be decoded, gives no samples: the voice only holds audio of that format.
    void Decode(std::span<const uint8_t> mp3, std::vector<int16_t>& out, size_t maxSamples);

private:
    void* handle_;  // mpg123_handle
    std::vector<unsigned char> block_;
    std::vector<uint8_t> bytes_;  // one stream's output, reused
};

} // namespace voxling
