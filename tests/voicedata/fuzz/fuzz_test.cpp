// The voice-file fuzz target's entry, run in the suite over seeds made by the voice builder and a
// bounded number of fixed-seed mutations of them; the same entry serves the libFuzzer build.
#include "VoiceFilesFuzz.h"

#include "support/TestMachine.h"
#include "tests/voicedata/VoiceTestSupport.h"
#include "tools/voicegen/VoiceGen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

std::vector<uint8_t> seedFrom(const std::string& manifest) {
    voicetest::buildVoice(manifest, "C:\\Seed");
    const auto dir = sys::Machine::current().hostPath("C:\\Seed");
    std::vector<std::vector<uint8_t>> files;
    for (const char* name : {voicegen::kVoiceDefFile, voicegen::kVoiceDataFile, voicegen::kVoiceWordFile,
                             voicegen::kVoiceWordDataFile, voicegen::kVoiceSenDataFile})
        files.push_back(voicetest::readHostFile(dir / name));
    return voicefuzz::pack(files);
}

} // namespace

TEST(VoiceFilesFuzz, SeedsAndTheirMutationsBindAndSpeakWithoutFault) {
    testing_support::TestMachine m;
    const std::vector<std::vector<uint8_t>> seeds = {
        seedFrom("kind tone\nunits U+4E00 U+4E8C\nphrase 一二\nsentence 你好 hi.wav\n"),
        seedFrom("kind silent\n"),
        {},
    };
    // Kept for the libFuzzer build to start from.
    const std::filesystem::path corpus = std::filesystem::path(PENNANT_BINARY_DIR) / "voice-fuzz-corpus";
    std::filesystem::create_directories(corpus);
    for (size_t i = 0; i < seeds.size(); ++i) voicetest::writeHostFile(corpus / ("seed-" + std::to_string(i)), seeds[i]);

    std::mt19937 rng(20261210);
    for (const auto& seed : seeds) {
        voicefuzz::runOne(seed.data(), seed.size());
        for (int round = 0; round < 150 && !seed.empty(); ++round) {
            std::vector<uint8_t> input = seed;
            const int edits = 1 + static_cast<int>(rng() % 16);
            for (int e = 0; e < edits; ++e) {
                const size_t at = rng() % input.size();
                switch (rng() % 4) {
                case 0: input[at] = static_cast<uint8_t>(rng()); break;
                case 1: input[at] = 0xFF; break;
                case 2: input.resize(at + 1); break;  // cut short
                default: input.insert(input.begin() + static_cast<long>(at), static_cast<uint8_t>(rng())); break;
                }
            }
            voicefuzz::runOne(input.data(), input.size());
        }
    }
    SUCCEED();
}
