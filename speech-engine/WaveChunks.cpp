#include "speech-engine/WaveChunks.h"

#include <algorithm>
#include <cstring>

namespace voxling {

namespace {
uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
bool is(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

constexpr uint16_t kExtensible = 0xFFFE;
} // namespace

std::optional<WaveData> ReadWaveChunks(std::span<const uint8_t> file) {
    if (file.size() < 12 || !is(file.data(), "RIFF") || !is(file.data() + 8, "WAVE"))
        return std::nullopt;
    // The RIFF size is not trusted (streaming writers leave it 0 or ~0); the file's end bounds
    // every chunk.
    const size_t end = file.size();
    std::optional<WaveFormat> format;
    size_t pos = 12;
    while (pos + 8 <= end) {
        const uint8_t* head = file.data() + pos;
        const uint64_t declared = u32(head + 4);
        const size_t body = pos + 8;
        const size_t size = static_cast<size_t>(std::min<uint64_t>(declared, end - body));
        if (is(head, "fmt ")) {
            if (size < 16)
                return std::nullopt;
            const uint8_t* f = file.data() + body;
            WaveFormat w{u16(f), u16(f + 2), u32(f + 4), u16(f + 14)};
            if (w.formatTag == kExtensible && size >= 40)
                w.formatTag = u16(f + 24);  // first two bytes of the sub-format GUID
            format = w;
        } else if (is(head, "data")) {
            if (!format)
                return std::nullopt;
            const size_t frame = static_cast<size_t>(format->channels) * ((format->bitsPerSample + 7) / 8);
            const size_t whole = frame ? size - size % frame : 0;
            return WaveData{*format, file.subspan(body, whole)};
        }
        // Chunks are padded to an even length.
        pos = body + static_cast<size_t>(declared) + (declared & 1);
        if (pos < body)
            break;
    }
    return std::nullopt;
}

} // namespace voxling
