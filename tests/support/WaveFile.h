#pragma once
#include <cstdint>
#include <string>

namespace testing_support {

// A mono 16-bit wave file, 8000 samples a second, ms long: silence, or a square tone that a
// player's level meter notices.
inline std::string waveFile(int ms, bool tone = false) {
    auto le = [](std::string& s, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const uint32_t samples = 8 * static_cast<uint32_t>(ms);
    std::string w = "RIFF";
    le(w, 36 + samples * 2, 4);
    w += "WAVEfmt ";
    le(w, 16, 4), le(w, 1, 2), le(w, 1, 2), le(w, 8000, 4), le(w, 16000, 4), le(w, 2, 2), le(w, 16, 2);
    w += "data";
    le(w, samples * 2, 4);
    for (uint32_t i = 0; i < samples; ++i) le(w, !tone ? 0 : (i / 10) % 2 ? 8000 : static_cast<uint32_t>(-8000), 2);
    return w;
}

} // namespace testing_support
