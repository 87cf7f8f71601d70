#pragma once
// Writes the five files of a voice library.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace voicegen {

// File names of a generated library, all in one folder.
constexpr const char* kVoiceDefFile = "VoiceDef.dat";
constexpr const char* kVoiceDataFile = "VoiceData.dat";
constexpr const char* kVoiceWordFile = "VoiceWord.dat";
constexpr const char* kVoiceWordDataFile = "VoiceWordData.dat";
constexpr const char* kVoiceSenDataFile = "VoiceSenData.txt";

struct PhraseSpec {
    std::u16string text;     // 2..8 characters
    std::u16string reading;  // one character per syllable whose unit is voiced
    std::array<std::string, 8> pinyin{};  // "zho1ng", at most 7 letters
    std::array<int16_t, 8> a{}, b{}, c{};
    std::array<int32_t, 8> duration{};
    uint32_t flags = 0;
    std::vector<uint8_t> recording;  // MP3; empty: built from units
    bool fallback = false;           // stored in the fallback range, not under its first character
};

struct SentenceSpec {
    std::u16string text;
    std::string fileName;        // the recording beside the library
    std::vector<uint8_t> bytes;  // its contents (WAV or MP3)
};

struct LibraryContent {
    // Distinct unit recordings (MP3), and for every unit code the clip it uses or -1 for none.
    std::vector<std::vector<uint8_t>> clips;
    std::vector<int32_t> unitClip;  // kUnitCount entries
    int32_t peak = 0;               // peak level of the recordings
    std::vector<PhraseSpec> phrases;
    std::vector<SentenceSpec> sentences;

    LibraryContent();
};

// Creates dir if needed and writes the five files and the sentence recordings.
bool writeLibrary(const LibraryContent& content, const std::filesystem::path& dir, std::string& error);

} // namespace voicegen
