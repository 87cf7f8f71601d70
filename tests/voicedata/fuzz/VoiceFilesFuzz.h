#pragma once
// One fuzz input run through everything the engine does with a voice's files: the five files
// bound from a folder of the current machine, the unit table copied, every unit's audio and a
// few phrase recordings decoded, phrases and sentences looked up.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace voicefuzz {

// The five files in binding order, each after its length (4 bytes, little-endian); a part cut
// short takes what is left.
std::vector<uint8_t> pack(const std::vector<std::vector<uint8_t>>& files);
// Runs one input; the current machine's folder C:\FuzzVoice\ is overwritten.
void runOne(const uint8_t* data, size_t size);

} // namespace voicefuzz
