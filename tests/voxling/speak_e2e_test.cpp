// End to end: a program's SpVoice speaks through libvoxling.so, loaded by the voice token's
// CLSID, with a generated Mandarin library; the audio output gets real speech.
#include "VoxlingTestSupport.h"

#include "platform/media/AudioOutput.h"
#include "platform/speech/SpVoice.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

using namespace win;
using namespace voxtest;

namespace {

const std::string kMandarin =
    "kind mandarin\n"
    "units U+6B27 U+5143 U+7F8E U+4E0A U+6DA8 U+70B9 U+0030-U+0039\n"
    "phrase 欧元\nphrase 美元\nphrase 上涨\n";

void writeWav(const std::filesystem::path& path, const media::PlayedClip& clip) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t size = uint32_t(clip.pcm.size());
    out.write("RIFF", 4);
    u32(36 + size);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(uint16_t(clip.format.channels));
    u32(uint32_t(clip.format.sampleRate));
    u32(uint32_t(clip.format.bytesPerSecond()));
    u16(uint16_t(clip.format.channels * clip.format.bitsPerSample / 8));
    u16(uint16_t(clip.format.bitsPerSample));
    out.write("data", 4);
    u32(size);
    out.write(reinterpret_cast<const char*>(clip.pcm.data()), size);
}

// sox's "stat" figures of a sound file, by name ("Length (seconds)", "RMS     amplitude", ...).
std::map<std::string, double> soxStat(const std::filesystem::path& wav) {
    std::map<std::string, double> out;
    const std::string cmd = "sox '" + wav.string() + "' -n stat 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char line[256];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        const auto colon = s.find(':');
        if (colon == std::string::npos) continue;
        std::string key = s.substr(0, colon);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        try {
            out[key] = std::stod(s.substr(colon + 1));
        } catch (...) {
        }
    }
    pclose(p);
    return out;
}

} // namespace

TEST_F(VoxlingTest, SpVoiceSpeaksMandarinThroughTheEngine) {
    install(kMandarin);
    speech::installSpeechService(*m);
    HRESULT hr = E_FAIL;
    auto voice = com::createObject<ISpeechVoice>(*m, speech::kSpVoiceProgId, IID_ISpeechVoice, &hr);
    ASSERT_EQ(hr, S_OK);
    auto* v = speech::SpVoice::from(voice.get());
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->speak("欧元美元 1.2345 上涨", SVSFlagsAsync), S_OK);
    ASSERT_TRUE(v->waitUntilDone(120000));
    EXPECT_EQ(v->lastResult(), S_OK);

    const auto clips = media::audioRecorder(*m).clips();
    ASSERT_EQ(clips.size(), 1u);
    const auto& clip = clips[0];
    EXPECT_EQ(clip.purpose, "speech");
    EXPECT_EQ(clip.format.sampleRate, 16000);
    ASSERT_GT(clip.pcm.size(), 0u);

    // Word events: the three phrases and the digits reached the program.
    size_t words = 0;
    for (const auto& e : v->takeEvents())
        if (e.id == SPEI_WORD_BOUNDARY) ++words;
    EXPECT_GE(words, 6u);

    const auto wav = std::filesystem::path(m->hostPath("C:\\speech.wav"));
    writeWav(wav, clip);
    const auto stat = soxStat(wav);
    ASSERT_TRUE(stat.count("Length (seconds)")) << "sox gave no figures";
    const double seconds = stat.at("Length (seconds)");
    EXPECT_GT(seconds, 2.0);
    EXPECT_LT(seconds, 12.0);
    EXPECT_GT(stat.at("RMS     amplitude"), 0.01);      // not silent
    EXPECT_LT(stat.at("Maximum amplitude"), 0.999);     // no clipping
    EXPECT_GT(stat.at("Minimum amplitude"), -0.999);
}
