#pragma once
#include "speech-engine/VoiceLibrary.h"
#include "tools/voicegen/VoiceGen.h"

#include <filesystem>
#include <string>
#include <vector>

namespace voicetest {

// Decodes a whole MP3 stream to 16-bit samples; false when it is not one.
bool decodeMp3(const std::vector<uint8_t>& mp3, std::vector<int16_t>& out, long& rate);
// Frequency of a tone estimated from its zero crossings.
double zeroCrossingHz(const std::vector<int16_t>& pcm, long rate);

// Builds a library from manifest text into the machine's folder C:\Voice\ (a fresh one).
void buildVoice(const std::string& manifest, const std::string& winDir = "C:\\Voice");
// Binds the five files of C:\Voice\ as the engine does; 0 or the first Win32 error.
uint32_t openVoice(voxling::VoiceLibrary& lib, const std::string& winDir = "C:\\Voice");

std::vector<uint8_t> readHostFile(const std::filesystem::path& p);
void writeHostFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);

} // namespace voicetest
