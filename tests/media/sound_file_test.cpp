#include "MediaTestUtil.h"
#include "platform/media/ProgramSounds.h"
#include "platform/media/SoundFile.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <sstream>

using namespace media;
using namespace media_test;

namespace {

int16_t sampleAt(const SoundClip& c, size_t i) { return int16_t(c.pcm[2 * i] | (c.pcm[2 * i + 1] << 8)); }

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string bundledMidi(const char* name) {
    testing_support::TestMachine m;
    return readAll(bundledSoundsDir(*m) / "Media" / name);
}

} // namespace

TEST(WaveDecoding, ReadsPcmLayoutsAndWidensEightBit) {
    // 8-bit mono: 0x80 is silence, 0xFF near full scale, 0x00 full negative.
    const SoundLoad u8 = decodeWav(wavFile(1, 8000, 8, std::string("\x80\xFF\x00", 3)));
    ASSERT_TRUE(u8) << u8.message;
    EXPECT_EQ(u8.clip->format, (AudioFormat{8000, 1, 16}));
    ASSERT_EQ(u8.clip->frames(), 3u);
    EXPECT_EQ(sampleAt(*u8.clip, 0), 0);
    EXPECT_EQ(sampleAt(*u8.clip, 1), 127 << 8);
    EXPECT_EQ(sampleAt(*u8.clip, 2), -32768);

    // 16-bit stereo, 1000 frames at 44.1 kHz.
    const SoundLoad st = decodeWav(wavFile(2, 44100, 16, square16(2000)));
    ASSERT_TRUE(st) << st.message;
    EXPECT_EQ(st.clip->format, (AudioFormat{44100, 2, 16}));
    EXPECT_EQ(st.clip->frames(), 1000u);
    EXPECT_EQ(st.clip->durationMs(), 23u);  // 22.68 ms, rounded up

    // Chunks in an unusual order, an odd-sized chunk with its pad byte, a trailing chunk.
    const std::string data = square16(100);
    const SoundLoad odd = decodeWav(riff(chunk("LIST", "abc") + chunk("data", data) +
                                         chunk("fmt ", fmtBody(1, 1, 22050, 16)) + chunk("junk", "x")));
    ASSERT_TRUE(odd) << odd.message;
    EXPECT_EQ(odd.clip->frames(), 100u);
    EXPECT_EQ(std::string(odd.clip->pcm.begin(), odd.clip->pcm.end()), data);

    // The extensible header with the PCM sub-format.
    std::string ext = fmtBody(0xFFFE, 1, 16000, 16);
    putLE(ext, 22, 2);
    putLE(ext, 16, 2);
    putLE(ext, 4, 4);
    ext += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    const SoundLoad ex = decodeWav(riff(chunk("fmt ", ext) + chunk("data", square16(160))));
    ASSERT_TRUE(ex) << ex.message;
    EXPECT_EQ(ex.clip->durationMs(), 10u);

    // A file cut off inside its data plays the whole frames it holds.
    std::string cut = wavFile(1, 8000, 16, square16(100));
    cut.resize(cut.size() - 51);
    const SoundLoad c = decodeWav(cut);
    ASSERT_TRUE(c) << c.message;
    EXPECT_EQ(c.clip->frames(), 74u);

    // No audio at all is a valid, zero-length sound.
    const SoundLoad empty = decodeWav(wavFile(1, 8000, 16, ""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty.clip->durationMs(), 0u);
}

TEST(WaveDecoding, RefusesBrokenAndUnsupportedFiles) {
    std::string shortFmt = riff(chunk("fmt ", fmtBody(1, 1, 8000, 16).substr(0, 12)) + chunk("data", "ab"));
    std::string fmtCut = riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)));
    fmtCut.resize(fmtCut.size() - 4);
    const struct { const char* what; std::string bytes; SoundError error; } cases[] = {
        {"empty file", "", SoundError::Damaged},
        {"text", "hello, world", SoundError::UnknownFormat},
        {"RIFF of another kind", "RIFF\x04\0\0\0AVI ", SoundError::UnknownFormat},
        {"header only", riff(""), SoundError::Damaged},
        {"no data chunk", riff(chunk("fmt ", fmtBody(1, 1, 8000, 16))), SoundError::Damaged},
        {"no format chunk", riff(chunk("data", square16(10))), SoundError::Damaged},
        {"format chunk too short", shortFmt, SoundError::Damaged},
        {"format chunk cut off", fmtCut, SoundError::Damaged},
        {"zero channels", wavFile(0, 8000, 16, "ab"), SoundError::Damaged},
        {"absurd rate", wavFile(1, 7, 16, "ab"), SoundError::Damaged},
        {"compressed", riff(chunk("fmt ", fmtBody(2, 1, 8000, 4)) + chunk("data", "ab")), SoundError::Unsupported},
        {"24-bit", wavFile(1, 8000, 24, "abc"), SoundError::Unsupported},
        {"six channels", wavFile(6, 8000, 16, square16(6)), SoundError::Unsupported},
    };
    for (const auto& c : cases) {
        const SoundLoad r = decodeSound(c.bytes, "");
        EXPECT_FALSE(r) << c.what;
        EXPECT_EQ(r.error, c.error) << c.what << ": " << r.message;
        EXPECT_FALSE(r.message.empty()) << c.what;
    }
}

TEST(MidiFiles, StructureIsCheckedBeforeRendering) {
    const std::string good = bundledMidi("15.mid");
    ASSERT_GT(good.size(), 30u);
    std::string why;
    EXPECT_EQ(checkMidi(good, &why), SoundError::None) << why;

    auto withByte = [&](size_t at, char v) { std::string s = good; s[at] = v; return s; };
    std::string twoTracks = good;
    twoTracks[11] = 2;  // the header promises a second track that is not there
    std::string trackCut = good.substr(0, good.size() - 10);
    const size_t firstEvent = 14 + 8;
    const struct { const char* what; std::string bytes; } cases[] = {
        {"header cut off", good.substr(0, 10)},
        {"missing track", twoTracks},
        {"track cut off", trackCut},
        {"zero division", withByte(12, 0).replace(13, 1, 1, '\0')},
        {"format 7", withByte(9, 7)},
        {"data byte without status", [&] { std::string s = good; s[firstEvent + 1] = 0x40; return s; }()},
        {"endless delta time", [&] { std::string s = good; s.replace(firstEvent, 4, "\xFF\xFF\xFF\xFF"); return s; }()},
    };
    for (const auto& c : cases) {
        const SoundLoad r = renderMidi(c.bytes, soundfontPath(""));
        EXPECT_FALSE(r) << c.what;
        EXPECT_EQ(r.error, SoundError::Damaged) << c.what << ": " << r.message;
    }
}

TEST(MidiFiles, RendersToStereoPcmAndNeedsASoundfont) {
    const std::string midi = bundledMidi("15.mid");
    const SoundLoad r = renderMidi(midi, soundfontPath(""));
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(r.clip->format, (AudioFormat{44100, 2, 16}));
    // Four notes half a second apart, the last held two seconds, then the ring-out.
    EXPECT_GE(r.clip->durationMs(), 3500u);
    EXPECT_LE(r.clip->durationMs(), 8000u);
    int peak = 0;
    for (size_t i = 0; i < r.clip->frames() * 2; ++i) peak = std::max(peak, std::abs(int(sampleAt(*r.clip, i))));
    EXPECT_GT(peak, 1000);

    const SoundLoad none = renderMidi(midi, "/nonexistent/gm.sf2");
    EXPECT_FALSE(none);
    EXPECT_EQ(none.error, SoundError::RenderFailed);
}

// Files from another writer decode to the length it reports.
TEST(WaveDecoding, AgreesWithSoxOnItsOwnFiles) {
    testing_support::TestMachine m;
    const struct { const char* args; AudioFormat format; } cases[] = {
        {"-r 11025 -c 2 -b 8", {11025, 2, 16}},
        {"-r 48000 -c 1 -b 16", {48000, 1, 16}},
        {"-r 8000 -c 2 -b 16 -t wavpcm", {8000, 2, 16}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const auto path = (m->root() / ("sox" + std::to_string(++n) + ".wav")).string();
        run(std::string("sox -n ") + c.args + " '" + path + "' synth 0.37 sine 440");
        const SoundLoad r = loadSoundFile(path, "");
        ASSERT_TRUE(r) << c.args << ": " << r.message;
        EXPECT_EQ(r.clip->format, c.format) << c.args;
        EXPECT_EQ(r.clip->frames(), uint64_t(std::llround(soxSeconds(path) * c.format.sampleRate))) << c.args;
    }
}
