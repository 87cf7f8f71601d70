// voicegen: manifests, readings, audio encoding and the three kinds of library.
#include "support/TestMachine.h"
#include "VoiceTestSupport.h"
#include "speech-engine/VoiceFormat.h"
#include "tools/voicegen/Audio.h"
#include "tools/voicegen/Pinyin.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace voicetest;
using voxling::format::kUnitCount;
using voxling::format::unitCodeOf;

TEST(VoicegenManifest, ReadsEveryKindOfLine) {
    voicegen::Manifest m;
    std::string error;
    ASSERT_TRUE(voicegen::parseManifest("kind tone  # comment\n"
                                        "units U+4E00-U+4E0F U+0030\n"
                                        "peak 1234\nbitrate 64\n"
                                        "phrase 银行 reading=银航 pinyin=yin2,hang2 recorded\n"
                                        "phrase 中文 disabled fallback\n"
                                        "sentence 你好 hello.wav\n",
                                        m, error))
        << error;
    EXPECT_EQ(m.kind, voicegen::Kind::Tone);
    ASSERT_EQ(m.unitRanges.size(), 2u);
    EXPECT_EQ(m.unitRanges[0], std::make_pair(0x4E00u, 0x4E0Fu));
    EXPECT_EQ(m.unitRanges[1], std::make_pair(0x30u, 0x30u));
    EXPECT_EQ(m.peak, 1234);
    EXPECT_EQ(m.bitrate, 64);
    ASSERT_EQ(m.phrases.size(), 2u);
    EXPECT_EQ(m.phrases[0].reading, u"银航");
    EXPECT_EQ(m.phrases[0].pinyin, (std::vector<std::string>{"yin2", "hang2"}));
    EXPECT_TRUE(m.phrases[0].recorded);
    EXPECT_TRUE(m.phrases[1].disabled && m.phrases[1].fallback);
    ASSERT_EQ(m.sentences.size(), 1u);
    EXPECT_EQ(m.sentences[0].fileName, "hello.wav");
}

TEST(VoicegenManifest, RefusesBadLinesWithTheirNumber) {
    const char* bad[] = {
        "kind loud",          "units U+4E10-U+4E00",   "units 4E00",          "bitrate 32",
        "peak 40000",         "phrase 中",             "phrase 一二三四五六七八九", "phrase 中国 pinyin=zh!",
        "phrase 中国 loud",   "sentence 你好 ../x.wav", "sentence 你好 x.ogg",  "speak now",
    };
    for (const char* line : bad) {
        voicegen::Manifest m;
        std::string error;
        EXPECT_FALSE(voicegen::parseManifest(std::string("kind silent\n") + line, m, error)) << line;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << line << " -> " << error;
    }
}

TEST(VoicegenPinyin, ToneMarksBecomeNumberedAndMarkedForms) {
    struct Case {
        const char* marked;
        const char* numbered;
        const char* record;
    } cases[] = {
        {"zhōng", "zhong1", "zho1ng"}, {"guó", "guo2", "guo2"},   {"lǜ", "lv4", "lv4"},
        {"nǚ", "nv3", "nv3"},          {"ḿ", "m2", "m2"},         {"ma", "ma5", "ma"},
        {"lüe", "lve5", "lve"},        {"shuāng", "shuang1", "shua1ng"}, {"ê̄", "e1", "e1"},
    };
    for (const auto& c : cases) {
        auto s = voicegen::parseToneMarked(c.marked);
        ASSERT_TRUE(s) << c.marked;
        EXPECT_EQ(s->numbered(), c.numbered) << c.marked;
        EXPECT_EQ(s->marked(), c.record) << c.marked;
    }
    EXPECT_FALSE(voicegen::parseToneMarked("qi3"));
    // Numbered forms place the mark by the usual rule.
    struct Numbered {
        const char* in;
        const char* record;
    } numbered[] = {{"hao3", "ha3o"}, {"hou4", "ho4u"}, {"liu2", "liu2"}, {"gui4", "gui4"}, {"xue2", "xue2"},
                    {"de", "de"},     {"n2", "n2"}};
    for (const auto& n : numbered) {
        auto s = voicegen::parseNumbered(n.in);
        ASSERT_TRUE(s) << n.in;
        EXPECT_EQ(s->marked(), n.record) << n.in;
    }
}

TEST(VoicegenPinyin, SystemReadingsCoverNearlyEveryIdeograph) {
    std::string error;
    auto readings = voicegen::loadMandarinReadings(voicegen::defaultUnihanPath(), error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_GT(readings.size(), 20880u);
    EXPECT_EQ(readings.at(0x4E2D).numbered(), "zhong1");  // 中
    EXPECT_EQ(readings.at(0x56FD).numbered(), "guo2");    // 国
    EXPECT_FALSE(readings.count(0x5159));                 // one of the few without a reading
}

TEST(VoicegenAudio, Mp3UnitsDecodeToExactlyTheirSamples) {
    // The delay tag in the first frame is what lets a decoder drop the encoder's padding.
    for (size_t n : {800u, 4000u, 16000u}) {
        auto tone = voicegen::makeTone(440, n, 12000);
        for (int kbps : {40, 64}) {
            auto mp3 = voicegen::encodeMp3(tone, kbps);
            ASSERT_FALSE(mp3.empty());
            std::vector<int16_t> pcm;
            long rate = 0;
            ASSERT_TRUE(decodeMp3(mp3, pcm, rate));
            EXPECT_EQ(rate, 16000);
            EXPECT_EQ(pcm.size(), n) << kbps << " kbit/s";
        }
    }
    // Encoding is reproducible.
    auto tone = voicegen::makeTone(300, 4000, 12000);
    EXPECT_EQ(voicegen::encodeMp3(tone), voicegen::encodeMp3(tone));
}

TEST(VoicegenAudio, TidyTrimsQuietEndsScalesAndCaps) {
    std::vector<int16_t> pcm(3000, 0);
    auto tone = voicegen::makeTone(500, 2000, 8000);
    pcm.insert(pcm.end(), tone.begin(), tone.end());
    pcm.resize(pcm.size() + 3000, 0);
    auto out = voicegen::tidyUnit(pcm, 20000, 16000);
    EXPECT_LE(out.size(), 2000u + 2 * 160);
    EXPECT_GE(out.size(), 1900u);
    EXPECT_EQ(voicegen::peakOf(out), 20000);
    auto longOne = voicegen::tidyUnit(voicegen::makeTone(500, 30000, 8000), 20000, 16000);
    EXPECT_EQ(longOne.size(), 16000u);
    EXPECT_EQ(longOne.back(), 0);
    EXPECT_TRUE(voicegen::tidyUnit(std::vector<int16_t>(500, 0), 20000, 16000).empty());
}

TEST(VoicegenAudio, ResamplingKeepsPitchAndLength) {
    std::vector<int16_t> in(22050);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(10000 * std::sin(2 * M_PI * 300 * double(i) / 22050));
    auto out = voicegen::resampleTo16k(in, 22050);
    EXPECT_EQ(out.size(), 16000u);
    EXPECT_NEAR(zeroCrossingHz(out, 16000), 300, 3);
    EXPECT_NEAR(voicegen::peakOf(out), 10000, 300);
}

TEST(VoicegenAudio, WavRecordingsHaveTheSamplesAtByte46) {
    std::vector<int16_t> pcm = {1, -2, 300, -32768};
    auto wav = voicegen::makeWav(pcm);
    ASSERT_EQ(wav.size(), 46u + 8);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wav.begin() + 12, wav.begin() + 16), "fmt ");
    EXPECT_EQ(voxling::format::readU32(&wav[16]), 18u);
    EXPECT_EQ(std::string(wav.begin() + 38, wav.begin() + 42), "data");
    EXPECT_EQ(voxling::format::readU32(&wav[4]), 46u - 8 + 8);
    EXPECT_EQ(voxling::format::readU32(&wav[24]), 16000u);
    EXPECT_EQ(voxling::format::readU32(&wav[42]), 8u);
    for (size_t i = 0; i < pcm.size(); ++i) EXPECT_EQ(int16_t(voxling::format::readU16(&wav[46 + 2 * i])), pcm[i]);
}

TEST(VoicegenKinds, ToneUnitsCarryTheirCodesPitch) {
    testing_support::TestMachine machine;
    buildVoice("kind tone\nunits U+4E00-U+4E2F U+0030-U+0039 U+0061\nsentence 你好 hi.mp3\n");
    voxling::VoiceLibrary lib;
    ASSERT_EQ(openVoice(lib), 0u);
    for (uint32_t c : {0x4E00u, 0x4E2Du, 0x4E2Fu, uint32_t('7'), uint32_t('a')}) {
        uint32_t code = uint32_t(unitCodeOf(c));
        auto audio = lib.unitAudio(code);
        ASSERT_FALSE(audio.empty()) << std::hex << c;
        std::vector<int16_t> pcm;
        long rate = 0;
        ASSERT_TRUE(decodeMp3({audio.begin(), audio.end()}, pcm, rate));
        EXPECT_EQ(pcm.size(), voicegen::kToneSamples);
        EXPECT_NEAR(zeroCrossingHz(pcm, rate), voicegen::toneFrequency(code), 12) << std::hex << c;
    }
    // Outside the ranges, and codes no character reaches: no audio.
    for (uint32_t code : {uint32_t(unitCodeOf(0x4E30)), 300u, 600u, uint32_t('b' - 32), 97u})
        EXPECT_TRUE(lib.unitAudio(code).empty()) << code;
    EXPECT_EQ(lib.peakReference(), 16000 * 100 / 95);
    // Equal tones share their bytes.
    EXPECT_EQ(lib.unit(1000).offset, lib.unit(1040).offset);
}

TEST(VoicegenKinds, SilentLibraryHasNoAudioAnywhere) {
    testing_support::TestMachine machine;
    buildVoice("kind silent\nphrase 中国 recorded\nsentence 你好 hi.wav\n");
    auto dir = machine->hostPath("C:\\Voice");
    EXPECT_EQ(std::filesystem::file_size(dir / voicegen::kVoiceDataFile), 0u);
    EXPECT_EQ(std::filesystem::file_size(dir / voicegen::kVoiceWordDataFile), 0u);
    voxling::VoiceLibrary lib;
    ASSERT_EQ(openVoice(lib), 0u);
    EXPECT_TRUE(lib.voiceDefValid());
    EXPECT_TRUE(lib.voiceWordValid());
    for (uint32_t code = 0; code < kUnitCount; ++code) {
        ASSERT_EQ(lib.unit(code).offset, 0u);
        ASSERT_EQ(lib.unit(code).length, 0u);
    }
    EXPECT_EQ(lib.peakReference(), 32767);
    EXPECT_EQ(lib.phrases.LookupPhrase(u"中国"), 2);
    EXPECT_FALSE(lib.phrases.currentPhrase().hasRecording());
    // The sentence's WAV is silence, with the header the engine skips.
    auto wav = readHostFile(dir / "hi.wav");
    ASSERT_GT(wav.size(), voicegen::kWavHeaderSize);
    for (size_t i = voicegen::kWavHeaderSize; i < wav.size(); ++i) ASSERT_EQ(wav[i], 0);
}

TEST(VoicegenKinds, MandarinUnitsAreSpokenReproducibly) {
    testing_support::TestMachine machine;
    const std::string manifest =
        "kind mandarin\nunits U+4E2D U+56FD U+5159 U+0031 U+0041 U+3002\nphrase 中国 recorded\n"
        "sentence 中国 zg.wav\n";
    buildVoice(manifest, "C:\\A");
    buildVoice(manifest, "C:\\B");
    auto a = machine->hostPath("C:\\A"), b = machine->hostPath("C:\\B");
    for (const char* f : {voicegen::kVoiceDefFile, voicegen::kVoiceDataFile, voicegen::kVoiceWordFile,
                          voicegen::kVoiceWordDataFile, "zg.wav"})
        EXPECT_EQ(readHostFile(a / f), readHostFile(b / f)) << f;

    voxling::VoiceLibrary lib;
    ASSERT_EQ(openVoice(lib, "C:\\A"), 0u);
    for (uint32_t c : {0x4E2Du, 0x56FDu, uint32_t('1'), uint32_t('A'), 0x3002u}) {
        auto audio = lib.unitAudio(uint32_t(unitCodeOf(c)));
        std::vector<int16_t> pcm;
        long rate = 0;
        ASSERT_TRUE(decodeMp3({audio.begin(), audio.end()}, pcm, rate)) << std::hex << c;
        EXPECT_EQ(rate, 16000);
        EXPECT_GT(pcm.size(), 1600u) << std::hex << c;  // something was said
        EXPECT_LE(pcm.size(), voicegen::kMaxUnitSamples) << std::hex << c;
        EXPECT_GT(voicegen::peakOf(pcm), 10000) << std::hex << c;
    }
    EXPECT_TRUE(lib.unitAudio(uint32_t(unitCodeOf(0x5159))).empty());  // no reading: no audio
    EXPECT_NE(lib.unit(uint32_t(unitCodeOf(0x4E2D))).offset, lib.unit(uint32_t(unitCodeOf(0x56FD))).offset);

    ASSERT_EQ(lib.phrases.LookupPhrase(u"中国"), 2);
    const auto& rec = lib.phrases.currentPhrase();
    EXPECT_EQ(rec.pinyin[0], "zho1ng");
    EXPECT_EQ(rec.pinyin[1], "guo2");
    auto recording = lib.phraseRecording(rec.recordingOffset, rec.recordingLength);
    std::vector<int16_t> pcm;
    long rate = 0;
    ASSERT_TRUE(decodeMp3(recording, pcm, rate));
    EXPECT_GT(pcm.size(), 3200u);
}
