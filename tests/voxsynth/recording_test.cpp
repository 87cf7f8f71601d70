#include "CaptureOutput.h"
#include "ToneMp3.h"
#include "speech-engine/UnitSynth.h"
#include "speech-engine/WaveChunks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace voxling;
using namespace voxsynth_test;
namespace fs = std::filesystem;

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

struct Chunk {
    std::string id;
    std::vector<uint8_t> body;
    int64_t declared = -1;  // size field when it should lie
};

std::vector<uint8_t> Riff(const std::vector<Chunk>& chunks, const char* form = "WAVE") {
    std::vector<uint8_t> b;
    for (const char* p : {"RIFF", "\0\0\0\0", form})
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(p[i]));
    for (const auto& c : chunks) {
        b.insert(b.end(), c.id.begin(), c.id.end());
        put32(b, c.declared >= 0 ? static_cast<uint32_t>(c.declared) : static_cast<uint32_t>(c.body.size()));
        b.insert(b.end(), c.body.begin(), c.body.end());
        if (c.body.size() % 2 && c.declared < 0)
            b.push_back(0);
    }
    const uint32_t riff = static_cast<uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + i] = (riff >> (8 * i)) & 0xFF;
    return b;
}

// extension: none (16 bytes), cbSize 0 (18 bytes) or WAVE_FORMAT_EXTENSIBLE (40 bytes)
enum class FmtKind { Plain, Extended, Extensible };
Chunk Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, FmtKind kind = FmtKind::Plain) {
    Chunk c{"fmt ", {}};
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    put16(c.body, kind == FmtKind::Extensible ? 0xFFFE : tag);
    put16(c.body, channels);
    put32(c.body, rate);
    put32(c.body, rate * align);
    put16(c.body, align);
    put16(c.body, bits);
    if (kind == FmtKind::Extended)
        put16(c.body, 0);
    if (kind == FmtKind::Extensible) {
        put16(c.body, 22);
        put16(c.body, bits);  // valid bits
        put32(c.body, 4);     // channel mask
        put16(c.body, tag);   // sub-format GUID: tag, then the fixed tail
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        c.body.insert(c.body.end(), tail, tail + 14);
    }
    return c;
}

Chunk Data(const std::vector<int16_t>& s) {
    Chunk c{"data", {}};
    for (int16_t v : s)
        put16(c.body, static_cast<uint16_t>(v));
    return c;
}

Chunk List() {
    Chunk c{"LIST", {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T'}};
    put32(c.body, 5);
    c.body.insert(c.body.end(), {'t', 'e', 's', 't', 0});
    return c;  // 17 bytes: padded
}

// A recording as editors leave them: extended fmt, an odd-sized LIST chunk before the data.
std::vector<uint8_t> OddLayoutWave(const std::vector<int16_t>& s, FmtKind kind = FmtKind::Extended) {
    return Riff({Fmt(1, 1, 16000, 16, kind), List(), Data(s)});
}

class TempDir {
public:
    TempDir() : path_(fs::temp_directory_path() / ("voxsynth-" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& p, const std::vector<uint8_t>& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

} // namespace

TEST(ReadWaveChunks, FindsFormatAndDataWhereverTheyLie) {
    const auto tone = Tone(1001, 5000);
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        uint16_t tag;
    } cases[] = {
        {"plain", Riff({Fmt(1, 1, 16000, 16), Data(tone)}), 1},
        {"LIST first, fmt with cbSize", OddLayoutWave(tone), 1},
        {"extensible", OddLayoutWave(tone, FmtKind::Extensible), 1},
        {"odd chunk before fmt", Riff({Chunk{"junk", {1, 2, 3}}, Fmt(3, 1, 16000, 32), List(), Data(tone)}), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto w = ReadWaveChunks(c.file);
        ASSERT_TRUE(w);
        EXPECT_EQ(w->format.formatTag, c.tag);
        EXPECT_EQ(w->format.sampleRate, 16000u);
        if (c.tag == 1) {
            EXPECT_EQ(w->format.channels, 1);
            EXPECT_EQ(w->format.bitsPerSample, 16);
            EXPECT_EQ(CaptureOutput::ToSamples({w->data.begin(), w->data.end()}), tone);
        }
    }
}

TEST(ReadWaveChunks, DamagedFilesAreBoundedOrRefused) {
    const auto tone = Tone(1000, 5000);
    // a data size beyond the file, and an odd byte: whole samples that are there
    auto truncated = Riff({Fmt(1, 1, 16000, 16), Data(tone)});
    truncated.resize(truncated.size() - 501);
    const auto w = ReadWaveChunks(truncated);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->data.size(), 1498u);
    // a zero RIFF size, as streaming writers leave it
    auto streamed = Riff({Fmt(1, 1, 16000, 16), Data(tone)});
    std::fill(streamed.begin() + 4, streamed.begin() + 8, 0);
    ASSERT_TRUE(ReadWaveChunks(streamed));
    EXPECT_EQ(ReadWaveChunks(streamed)->data.size(), 2000u);

    Chunk hugeJunk{"junk", {1, 2, 3, 4}, 0xFFFFFFF0};
    const std::vector<uint8_t> refused[] = {
        Riff({Data(tone), Fmt(1, 1, 16000, 16)}),           // data before its format
        Riff({Fmt(1, 1, 16000, 16), Data(tone)}, "AVI "),   // not WAVE
        Riff({Chunk{"fmt ", {1, 0, 1, 0}}, Data(tone)}),    // short fmt
        Riff({Fmt(1, 1, 16000, 16), hugeJunk, Data(tone)}), // a chunk that swallows the rest
        {'R', 'I', 'F', 'F'},
        {},
    };
    for (size_t i = 0; i < std::size(refused); ++i)
        EXPECT_FALSE(ReadWaveChunks(refused[i])) << i;
}

TEST(ReadWaveChunks, AgreesWithSox) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox not installed";
    TempDir dir;
    const auto tone = Tone(4321, 7000);
    for (FmtKind kind : {FmtKind::Extended, FmtKind::Extensible}) {
        const auto file = OddLayoutWave(tone, kind);
        WriteFile(dir / "in.wav", file);
        const std::string cmd = "sox '" + (dir / "in.wav").string() + "' -t raw -e signed -b 16 -c 1 -r 16000 '" +
                                (dir / "out.raw").string() + "' 2>/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::ifstream raw(dir / "out.raw", std::ios::binary);
        const std::vector<uint8_t> soxData{std::istreambuf_iterator<char>(raw), {}};
        const auto ours = ReadWaveChunks(file);
        ASSERT_TRUE(ours);
        EXPECT_EQ(soxData, std::vector<uint8_t>(ours->data.begin(), ours->data.end()));
    }
}

TEST(PlayRecordedFile, WaveRecordingIsScaledWholeAndWrittenInChunks) {
    const auto tone = Tone(30000, 9000);
    const auto file = OddLayoutWave(tone);
    UnitSynth synth;
    CaptureOutput out;
    const uint64_t bytes = synth.PlayRecordedBytes(out, 0, 100, file, 1);
    EXPECT_EQ(bytes, 60000u);
    EXPECT_EQ(synth.state.byteCount, 60000u);
    ASSERT_EQ(out.writes.size(), 3u);
    for (const auto& w : out.writes)
        EXPECT_EQ(w.size(), 20000u);
    const auto s = out.samples();
    // audio from the first sample on (no header bytes played), and no gap where a chunk ends
    for (size_t i = 0; i < 25000; ++i)
        ASSERT_NEAR(s[i], tone[i], 1 + std::abs(tone[i]) * 0.003) << i;
}

TEST(PlayRecordedFile, RateAndVolume) {
    const auto tone = Tone(16001, 9000);
    const auto wave = OddLayoutWave(tone, FmtKind::Extensible);
    const auto mp3 = EncodeMp3(tone);
    for (int kind : {1, 2, 0}) {
        SCOPED_TRACE(kind);
        const auto& file = kind == 1 ? wave : mp3;
        for (int rate : {-10, 0, 3, 10}) {
            SCOPED_TRACE(rate);
            UnitSynth synth;
            CaptureOutput full, quiet;
            synth.PlayRecordedBytes(full, rate, 100, file, kind);
            synth.PlayRecordedBytes(quiet, rate, 30, file, kind);
            const auto a = full.samples(), b = quiet.samples();
            ASSERT_EQ(a.size(), ScaledLength(16001, StretchFactor(rate)));
            ASSERT_EQ(b.size(), a.size());
            for (size_t i = 0; i < a.size(); ++i)
                ASSERT_EQ(b[i], a[i] * 30 / 100) << i;
        }
    }
}

TEST(PlayRecordedFile, AbortStopsBetweenChunks) {
    UnitSynth synth;
    CaptureOutput out;
    out.abortAfterWrites = 1;
    EXPECT_EQ(synth.PlayRecordedBytes(out, 0, 100, OddLayoutWave(Tone(30000, 9000)), 1), 20000u);
    EXPECT_EQ(out.writes.size(), 1u);
}

TEST(PlayRecordedFile, UnplayableRecordingsGiveNothing) {
    const auto tone = Tone(4000, 9000);
    std::vector<int16_t> stereo;
    for (int16_t v : tone) {
        stereo.push_back(v);
        stereo.push_back(v);
    }
    std::vector<uint8_t> bytes8(4000, 128);
    const std::vector<uint8_t> files[] = {
        Riff({Fmt(1, 2, 16000, 16), Data(stereo)}),
        Riff({Fmt(1, 1, 22050, 16), Data(tone)}),
        Riff({Fmt(1, 1, 16000, 8), Chunk{"data", bytes8}}),
        Riff({Fmt(3, 1, 16000, 16), Data(tone)}),
        Riff({Fmt(1, 1, 16000, 16), Data({})}),
        EncodeMp3(tone),  // an MP3 named .wav
    };
    for (size_t i = 0; i < std::size(files); ++i) {
        UnitSynth synth;
        CaptureOutput out;
        EXPECT_EQ(synth.PlayRecordedBytes(out, 0, 100, files[i], 1), 0u) << i;
        EXPECT_TRUE(out.writes.empty()) << i;
        EXPECT_EQ(synth.state.byteCount, 0u);
    }
}

TEST(PlayRecordedFile, ReadsFromDisk) {
    TempDir dir;
    const auto tone = Tone(8000, 9000);
    WriteFile(dir / "s.wav", OddLayoutWave(tone));
    WriteFile(dir / "s.mp3", EncodeMp3(tone));
    UnitSynth synth;
    CaptureOutput out;
    EXPECT_EQ(synth.PlayRecordedFile(out, 10, 100, dir / "s.wav", 1), 8000u);
    EXPECT_EQ(synth.PlayRecordedFile(out, -10, 100, dir / "s.mp3", 2), 24000u);
    EXPECT_EQ(synth.PlayRecordedFile(out, 0, 100, dir / "missing.wav", 1), 0u);
    EXPECT_EQ(synth.state.byteCount, 32000u);
}

TEST(PlayPhraseRecording, StretchedAndScaledButNotTrimmed) {
    // quiet ends stay: a phrase recording is never trimmed
    const auto mp3 = EncodeMp3(QuietEndedTone(3000, 10000, 3000, 9000));
    UnitSynth synth;
    for (int rate : {-10, 0, 10}) {
        SCOPED_TRACE(rate);
        CaptureOutput full, quiet;
        EXPECT_EQ(synth.PlayPhraseRecording(full, rate, 100, mp3), 2 * ScaledLength(16000, StretchFactor(rate)));
        synth.PlayPhraseRecording(quiet, rate, 45, mp3);
        ASSERT_EQ(full.writes.size(), 1u);
        const auto a = full.samples(), b = quiet.samples();
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i)
            ASSERT_EQ(b[i], a[i] * 45 / 100) << i;
        const size_t mid = a.size() / 2;
        EXPECT_NEAR(MaxAbs(a, mid - 500, mid + 500), 9000, 900);  // no gain table
    }
    CaptureOutput none;
    EXPECT_EQ(synth.PlayPhraseRecording(none, 0, 100, {}), 0u);
    EXPECT_TRUE(none.writes.empty());
}
