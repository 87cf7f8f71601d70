// Reading a voice library back: layouts, bounds and damaged files.
#include "support/TestMachine.h"
#include "VoiceTestSupport.h"
#include "speech-engine/VoiceFormat.h"
#include "tools/voicegen/VoiceWriter.h"

#include <gtest/gtest.h>

using namespace voicetest;
using namespace voxling::format;

namespace {

const char* kEdgeManifest =
    "kind tone\nunits U+4E00-U+4E01 U+9FA5 U+00E9\n"
    "phrase éé\nphrase 一二三\nphrase 一二\nphrase 龥龥 recorded\n"
    "phrase 中文 disabled\nphrase 啊啊 fallback\n"
    "sentence 你好 hi.wav\n";

class VoiceFiles : public ::testing::Test {
protected:
    void SetUp() override { buildVoice(kEdgeManifest); }
    std::filesystem::path file(const char* name) { return machine->hostPath("C:\\Voice") / name; }
    testing_support::TestMachine machine;
};

} // namespace

TEST_F(VoiceFiles, GeneratedFilesFollowTheLayoutByteForByte) {
    auto def = readHostFile(file(voicegen::kVoiceDefFile));
    ASSERT_EQ(def.size(), 1110u + 21902u * 32u);
    EXPECT_EQ(int32_t(readU32(&def[0])), 2);
    for (size_t i = 0; i < 38; ++i) ASSERT_EQ(readU16(&def[4 + 2 * i]), uint16_t(kVoiceDefGuid[i]));
    // Unit 1000 is U+4E00: offset at byte 8 and length at byte 12 of its record.
    const uint8_t* unit1000 = &def[1110 + 32 * 1000];
    auto data = readHostFile(file(voicegen::kVoiceDataFile));
    EXPECT_GT(readU32(unit1000 + 12), 0u);
    EXPECT_LE(uint64_t(readU32(unit1000 + 8)) + readU32(unit1000 + 12), data.size());
    EXPECT_EQ(data[readU32(unit1000 + 8)], 0xFF);  // an MPEG frame starts there

    auto word = readHostFile(file(voicegen::kVoiceWordFile));
    ASSERT_EQ(word.size(), 254056u + 6u * 372u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&word[12])), kVoiceWordGuid);
    EXPECT_EQ(readU32(&word[148]), 1u);  // one fallback record
    EXPECT_EQ(int32_t(readU32(&word[156])), 16000);
    // Index entries of the edge characters: é at 160 + 12 x 233, U+4E00 at 3,232, U+9FA5 at 254,044.
    struct Edge {
        size_t at;
        std::u16string firstText;
        uint32_t records;
    } edges[] = {{160 + 12 * 233, u"éé", 1}, {3232, u"一二三", 2}, {254044, u"龥龥", 1}};
    voxling::VoiceLibrary lib;
    ASSERT_EQ(openVoice(lib), 0u);
    for (const auto& e : edges) {
        uint32_t first = readU32(&word[e.at + 4]), end = readU32(&word[e.at + 8]);
        EXPECT_EQ(end - first, e.records);
        const uint8_t* rec = &word[254056 + 372 * first];
        std::u16string text;
        for (size_t i = 0; readU16(rec + 2 * i) != 0; ++i) text.push_back(char16_t(readU16(rec + 2 * i)));
        EXPECT_EQ(text, e.firstText);
        auto entry = lib.phrases.indexEntry(e.firstText[0]);
        EXPECT_EQ(entry.first, first);
        EXPECT_EQ(entry.end, end);
    }
    EXPECT_EQ(indexEntryOffset(0xE9), 160u + 12 * 233);
    EXPECT_EQ(indexEntryOffset(0x4E00), 3232u);
    EXPECT_EQ(indexEntryOffset(0x9FA5), 254044u);
    EXPECT_EQ(indexEntryOffset(0x9FA6), 0u);
    EXPECT_EQ(indexEntryOffset(0x3002), 0u);
}

TEST_F(VoiceFiles, RecordsReadBackFieldByField) {
    voxling::VoiceLibrary lib;
    ASSERT_EQ(openVoice(lib), 0u);
    EXPECT_TRUE(lib.voiceDefValid());
    EXPECT_TRUE(lib.voiceWordValid());
    EXPECT_EQ(lib.phrases.recordCount(), 6u);
    EXPECT_EQ(lib.phrases.fallbackFirst(), 5);
    EXPECT_EQ(lib.phrases.fallbackCount(), 1u);

    auto entry = lib.phrases.indexEntry(0x9FA5);
    auto rec = lib.phrases.record(entry.first);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->text, u"龥龥");
    EXPECT_EQ(rec->reading, u"龥龥");
    EXPECT_EQ(rec->pinyin[0], "yu4");
    EXPECT_EQ(rec->pinyin[2], "");
    EXPECT_EQ(rec->duration[0], 100);
    EXPECT_EQ(rec->duration[1], 100);
    EXPECT_EQ(rec->duration[2], 0);
    EXPECT_EQ(rec->flags, 0u);
    ASSERT_TRUE(rec->hasRecording());
    auto mp3 = lib.phraseRecording(rec->recordingOffset, rec->recordingLength);
    std::vector<int16_t> pcm;
    long rate = 0;
    ASSERT_TRUE(decodeMp3(mp3, pcm, rate));
    EXPECT_NEAR(zeroCrossingHz(pcm, rate), 880, 10);

    auto disabled = lib.phrases.record(lib.phrases.indexEntry(0x4E2D).first);
    ASSERT_TRUE(disabled);
    EXPECT_EQ(disabled->text, u"中文");
    EXPECT_TRUE(disabled->disabled());
    EXPECT_FALSE(disabled->hasRecording());

    // The unit table is a copy of every record.
    auto def = readHostFile(file(voicegen::kVoiceDefFile));
    for (uint32_t code : {0u, 233u, 1000u, 1001u, 1002u, 21901u})
        EXPECT_EQ(lib.unit(code), voxling::parseUnitRecord(&def[1110 + 32 * code])) << code;
    EXPECT_EQ(lib.unit(21902), voxling::UnitRecord{});

    ASSERT_EQ(lib.sentences.size(), 1u);
    EXPECT_EQ(lib.sentences.entry(0).text, u"你好");
    EXPECT_EQ(lib.sentences.entry(0).path, u"C:\\Voice\\hi.wav");
}

TEST_F(VoiceFiles, MissingFilesReportWin32Errors) {
    voxling::VoiceLibrary lib;
    EXPECT_EQ(lib.openVoiceDef(u"C:\\Voice\\Nothing.dat"), voxling::kErrorFileNotFound);
    EXPECT_EQ(lib.openVoiceData(u"C:\\Nowhere\\VoiceData.dat"), voxling::kErrorPathNotFound);
    EXPECT_EQ(lib.openVoiceWord(u"C:\\Voice"), voxling::kErrorAccessDenied);
    EXPECT_EQ(lib.openVoiceWordData(u""), voxling::kErrorPathNotFound);
    // Paths are found without regard to letter case, as on the target.
    EXPECT_EQ(lib.openVoiceDef(u"c:\\VOICE\\voicedef.DAT"), 0u);
    // A sentence table that cannot be read is an empty one.
    lib.LoadSentenceTable(u"C:\\Voice\\none.txt");
    EXPECT_TRUE(lib.sentences.empty());
}

TEST_F(VoiceFiles, DamagedHeadersAreRefused) {
    auto defPath = file(voicegen::kVoiceDefFile);
    auto wordPath = file(voicegen::kVoiceWordFile);
    const auto def = readHostFile(defPath);
    const auto word = readHostFile(wordPath);
    struct Case {
        const char* name;
        bool isDef;
        std::function<void(std::vector<uint8_t>&)> damage;
        bool valid;
    } cases[] = {
        {"version 1", true, [](auto& b) { b[0] = 1; }, false},
        {"guid in lower case", true, [](auto& b) { for (size_t i = 4; i < 80; i += 2) b[i] = uint8_t(std::tolower(b[i])); }, true},
        {"guid one digit off", true, [](auto& b) { b[4 + 2 * 5] = '0'; }, false},
        {"guid high byte set", true, [](auto& b) { b[4 + 2 * 5 + 1] = 1; }, false},
        {"cut inside the guid", true, [](auto& b) { b.resize(40); }, false},
        {"empty", true, [](auto& b) { b.clear(); }, false},
        {"word guid in lower case", false, [](auto& b) { for (size_t i = 12; i < 50; ++i) b[i] = uint8_t(std::tolower(b[i])); }, true},
        {"word guid one letter off", false, [](auto& b) { b[13] = 'G'; }, false},
        {"word guid longer", false, [](auto& b) { b[50] = 'X'; }, false},
        {"word guid unterminated", false, [](auto& b) { std::fill(b.begin() + 12, b.begin() + 144, 'A'); }, false},
        {"word header cut", false, [](auto& b) { b.resize(100); }, false},
    };
    for (const auto& c : cases) {
        auto bytes = c.isDef ? def : word;
        c.damage(bytes);
        writeHostFile(c.isDef ? defPath : wordPath, bytes);
        voxling::VoiceLibrary lib;
        ASSERT_EQ(openVoice(lib), 0u) << c.name;
        EXPECT_EQ(c.isDef ? lib.voiceDefValid() : lib.voiceWordValid(), c.valid) << c.name;
        writeHostFile(c.isDef ? defPath : wordPath, c.isDef ? def : word);
    }
}

TEST_F(VoiceFiles, TruncatedFilesGiveNoEntryOrNoAudioInsteadOfReadingPast) {
    auto defPath = file(voicegen::kVoiceDefFile), dataPath = file(voicegen::kVoiceDataFile);
    auto wordPath = file(voicegen::kVoiceWordFile), wordDataPath = file(voicegen::kVoiceWordDataFile);
    auto def = readHostFile(defPath), data = readHostFile(dataPath), word = readHostFile(wordPath);
    auto wordData = readHostFile(wordDataPath);

    // VoiceData cut one byte short of U+9FA5's audio, VoiceWordData of the recording.
    const auto last = voxling::parseUnitRecord(&def[1110 + 32 * 21901]);
    ASSERT_GT(last.length, 0u);
    // VoiceDef cut inside the record of U+4E01 (code 1001): it and all after it have no audio.
    def.resize(1110 + 32 * 1001 + 10);
    writeHostFile(defPath, def);
    data.resize(last.offset + last.length - 1);
    writeHostFile(dataPath, data);
    wordData.resize(wordData.size() - 1);
    writeHostFile(wordDataPath, wordData);
    // VoiceWord cut inside the index: U+9FA5's entry and every record are gone.
    word.resize(254044 + 6);
    writeHostFile(wordPath, word);

    voxling::VoiceLibrary lib;
    ASSERT_EQ(openVoice(lib), 0u);
    EXPECT_TRUE(lib.voiceDefValid());
    EXPECT_FALSE(lib.unitAudio(1000).empty());
    EXPECT_EQ(lib.unit(1001), voxling::UnitRecord{});
    EXPECT_TRUE(lib.unitAudio(1001).empty());
    EXPECT_TRUE(lib.unitAudio(21901).empty());
    EXPECT_TRUE(lib.phraseRecording(0, uint32_t(wordData.size() + 1)).empty());
    EXPECT_FALSE(lib.phraseRecording(0, uint32_t(wordData.size())).empty());
    EXPECT_EQ(lib.phrases.indexEntry(0x9FA5).end, 0u);
    EXPECT_EQ(lib.phrases.recordCount(), 0u);
    EXPECT_EQ(lib.phrases.LookupPhrase(u"一二三"), 1);
    EXPECT_EQ(lib.phrases.LookupPhrase(u"啊啊"), 1);
}

TEST_F(VoiceFiles, OutOfRangeNumbersInTheFilesAreBounded) {
    auto defPath = file(voicegen::kVoiceDefFile), wordPath = file(voicegen::kVoiceWordFile);
    auto def = readHostFile(defPath), word = readHostFile(wordPath);
    // Unit 1000 points past VoiceData; unit 1001's length wraps past 2^32.
    writeU32(&def[1110 + 32 * 1000 + 8], 0xFFFFFF00u);
    writeU32(&def[1110 + 32 * 1001 + 8], 8);
    writeU32(&def[1110 + 32 * 1001 + 12], 0xFFFFFFFFu);
    writeHostFile(defPath, def);
    // U+4E00's entry runs past the records; the fallback range starts past them.
    writeU32(&word[3232 + 8], 0x7FFFFFFF);
    writeU32(&word[144], 1000);
    writeHostFile(wordPath, word);

    voxling::VoiceLibrary lib;
    ASSERT_EQ(openVoice(lib), 0u);
    EXPECT_TRUE(lib.unitAudio(1000).empty());
    EXPECT_TRUE(lib.unitAudio(1001).empty());
    EXPECT_EQ(lib.phrases.LookupPhrase(u"一二三四"), 3);  // the records that exist still match
    EXPECT_EQ(lib.phrases.LookupPhrase(u"一九"), 1);
    EXPECT_EQ(lib.phrases.LookupPhrase(u"啊啊"), 1);
    EXPECT_TRUE(lib.phraseRecording(0xFFFFFFF0u, 0x20).empty());

    // A negative fallback other than -1 is no range either.
    writeU32(&word[144], uint32_t(-7));
    writeU32(&word[148], 0xFFFFFFFFu);
    writeHostFile(wordPath, word);
    voxling::VoiceLibrary again;
    ASSERT_EQ(openVoice(again), 0u);
    EXPECT_EQ(again.phrases.LookupPhrase(u"啊啊"), 1);
}

TEST_F(VoiceFiles, PeakReferenceFromTheHeader) {
    auto wordPath = file(voicegen::kVoiceWordFile);
    auto word = readHostFile(wordPath);
    struct Case {
        int32_t peak;
        int16_t ref;
    } cases[] = {{0, 32767}, {95, 100}, {1000, 1052}, {31128, 32766}, {40000, 32767}, {-5, 32767}, {INT32_MAX, 32767}};
    for (const auto& c : cases) {
        writeU32(&word[156], uint32_t(c.peak));
        writeHostFile(wordPath, word);
        voxling::VoiceLibrary lib;
        ASSERT_EQ(openVoice(lib), 0u);
        EXPECT_EQ(lib.peakReference(), c.ref) << c.peak;
    }
}

// Every engine object reads the voice's tables when it is bound; an unchanged file is read once
// and shared, but a file written a moment ago (a change could leave its times as they were) is
// read again each time, so a rewrite of the same size is never missed.
TEST(WholeFile, SharedOnlyWhileTheFileIsSettledAndUnchanged) {
    const std::filesystem::path settled = "/usr/lib/os-release";
    if (!std::filesystem::is_regular_file(settled)) GTEST_SKIP() << "no settled file to read";
    voxling::WholeFile a, b, own;
    ASSERT_EQ(a.openShared(settled), 0u);
    ASSERT_EQ(b.openShared(settled), 0u);
    ASSERT_EQ(own.open(settled), 0u);
    EXPECT_EQ(a.data(), b.data());
    EXPECT_NE(own.data(), a.data());
    EXPECT_EQ(std::vector<uint8_t>(a.data(), a.data() + a.size()), std::vector<uint8_t>(own.data(), own.data() + own.size()));

    testing_support::TestMachine machine;
    const auto fresh = machine->root() / "VoiceDef.dat";
    writeHostFile(fresh, std::vector<uint8_t>(4096, 1));
    voxling::WholeFile before, after;
    ASSERT_EQ(before.openShared(fresh), 0u);
    writeHostFile(fresh, std::vector<uint8_t>(4096, 2));
    ASSERT_EQ(after.openShared(fresh), 0u);
    ASSERT_EQ(after.size(), 4096u);
    EXPECT_EQ(before.data()[0], 1);
    EXPECT_EQ(after.data()[0], 2);
}
