#pragma once
// Builds a voice library from a small manifest, in one of three kinds:
//   silent    no audio at all: every unit gives the engine's fixed silence
//   tone      every unit a short tone whose pitch follows its code (deterministic tests)
//   mandarin  spoken readings of every unit
//
// Manifest lines ("#" starts a comment):
//   kind silent|tone|mandarin
//   units all | U+XXXX[-U+YYYY] ...        characters whose units get audio (default all)
//   peak N                                 peak level written to the phrase dictionary
//   bitrate N                              MP3 bit rate in kbit/s (at least 40)
//   phrase TEXT [reading=TEXT] [pinyin=zhong1,guo2] [disabled] [recorded] [fallback]
//   sentence TEXT FILE.wav|FILE.mp3
#include "VoiceWriter.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace voicegen {

enum class Kind { Silent, Tone, Mandarin };

struct PhraseLine {
    std::u16string text;
    std::u16string reading;            // empty: the text itself
    std::vector<std::string> pinyin;   // numbered; empty: from the readings
    bool disabled = false;
    bool recorded = false;
    bool fallback = false;
};

struct SentenceLine {
    std::u16string text;
    std::string fileName;
};

struct Manifest {
    Kind kind = Kind::Silent;
    std::vector<std::pair<uint32_t, uint32_t>> unitRanges;  // empty: all
    int32_t peak = -1;                                      // -1: measured
    int bitrate = 40;
    std::vector<PhraseLine> phrases;
    std::vector<SentenceLine> sentences;
};

bool parseManifest(const std::string& text, Manifest& out, std::string& error);
bool loadManifest(const std::filesystem::path& file, Manifest& out, std::string& error);

struct BuildOptions {
    int jobs = 0;                     // 0: one per core
    std::filesystem::path unihan;     // empty: the system's Unihan readings
    // Hears each step of the build: what is being done, and how many of its units are done.
    std::function<void(const char* step, size_t done, size_t total)> progress;
};

struct BuildReport {
    size_t unitsWithAudio = 0;
    size_t clips = 0;
    std::vector<uint32_t> noReading;  // ideographs left without audio
    uint64_t totalBytes = 0;          // of all files written
};

// Pitch of the tone that a tone library gives a unit.
double toneFrequency(uint32_t unitCode);
constexpr size_t kToneSamples = 4000;
constexpr int kToneAmplitude = 16000;

// Builds the content in memory, then writes it (writeLibrary).
bool buildContent(const Manifest& manifest, const BuildOptions& options, LibraryContent& content,
                  BuildReport& report, std::string& error);
bool buildLibrary(const Manifest& manifest, const std::filesystem::path& dir, const BuildOptions& options,
                  BuildReport& report, std::string& error);

} // namespace voicegen
