// The engine object as the speech service meets it: its classes, voice binding and output format.
#include "VoxlingTestSupport.h"

#include "platform/com/ComBase.h"
#include "platform/registry/Registry.h"
#include "platform/speech/SpeechThread.h"
#include "platform/speech/VoiceTokens.h"
#include "platform/system/CodePage.h"

#include <fstream>
#include <sys/stat.h>
#include <iterator>

using namespace win;
using namespace voxtest;

namespace {

const std::string kSilent = "kind silent\nunits U+4E00-U+4E0F\nphrase 一七\n";

std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void patch(const std::filesystem::path& p, const std::function<void(std::vector<uint8_t>&)>& change) {
    auto bytes = readBytes(p);
    ASSERT_FALSE(bytes.empty()) << p;
    change(bytes);
    writeBytes(p, bytes);
}

void putU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

std::string tokenKey() { return kTokenId.substr(std::string("HKEY_LOCAL_MACHINE\\").size()); }

} // namespace

TEST_F(VoxlingTest, RegistersBothClassesAndServesTheThreeInterfacesFromOneObject) {
    install(kSilent);
    for (const char* clsid : {"{7F5297E5-0462-4730-86A9-076A57C05C17}", "{BA729B8B-A6B3-4DBC-9A0C-31F2763F5D2D}"}) {
        const std::string key = std::string("CLSID\\") + clsid;
        EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel"), "Both");
        EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", ""),
                  std::filesystem::canonical(VOXLING_LIBRARY).string());
    }
    EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "Voxling.VoxlingObj.1\\CLSID", ""),
              "{7F5297E5-0462-4730-86A9-076A57C05C17}");
    EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "Voxling.VoxlingUI\\CurVer", ""), "Voxling.VoxlingUI.1");
    EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "CLSID\\{BA729B8B-A6B3-4DBC-9A0C-31F2763F5D2D}", ""),
              "VoxlingUI Class");

    HRESULT hr = E_FAIL;
    auto ui = com::createObject<ISpTokenUI>(*m, "Voxling.VoxlingUI", IID_ISpTokenUI, &hr);
    ASSERT_EQ(hr, S_OK);
    com::ComPtr<ISpTTSEngine> engine;
    com::ComPtr<ISpObjectWithToken> withToken;
    EXPECT_EQ(ui.as(IID_ISpTTSEngine, engine), S_OK);
    EXPECT_EQ(engine.as(IID_ISpObjectWithToken, withToken), S_OK);
    BOOL supported = TRUE;
    EXPECT_EQ(ui->IsUISupported(u"AddRemoveWord", nullptr, 0, nullptr, &supported), S_OK);
    EXPECT_FALSE(supported);
    EXPECT_EQ(ui->IsUISupported(SPDUI_EngineProperties, nullptr, 0, nullptr, &supported), S_OK);
    EXPECT_TRUE(supported);

    ASSERT_EQ(com::unregisterServer(*m, VOXLING_LIBRARY), S_OK);
    EXPECT_FALSE(reg::keyExists(HKEY_CLASSES_ROOT, "CLSID\\{7F5297E5-0462-4730-86A9-076A57C05C17}"));
    EXPECT_FALSE(reg::keyExists(HKEY_CLASSES_ROOT, "Voxling.VoxlingUI"));
}

TEST_F(VoxlingTest, BindsItsTokenOnceAndHandsItBack) {
    install(kSilent);
    auto engine = newEngine();
    ASSERT_TRUE(engine);
    com::ComPtr<ISpObjectWithToken> withToken;
    ASSERT_EQ(engine.as(IID_ISpObjectWithToken, withToken), S_OK);

    ISpObjectToken* got = reinterpret_cast<ISpObjectToken*>(1);
    EXPECT_EQ(withToken->GetObjectToken(&got), S_FALSE);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(withToken->GetObjectToken(nullptr), E_POINTER);
    EXPECT_EQ(withToken->SetObjectToken(nullptr), E_INVALIDARG);

    auto t = token();
    ASSERT_EQ(withToken->SetObjectToken(t.get()), S_OK);
    EXPECT_EQ(withToken->SetObjectToken(t.get()), SPERR_ALREADY_INITIALIZED);
    com::ComPtr<ISpObjectToken> back;
    ASSERT_EQ(withToken->GetObjectToken(back.put()), S_OK);
    EXPECT_EQ(back.get(), t.get());
    EXPECT_TRUE(sys::iequals(speech::tokenId(back.get()), kTokenId));
    EXPECT_TRUE(speech::speechThreadMessageBoxes(*m).empty());
}

// Each case spoils one thing of an installed library and binds a new engine to it.
TEST_F(VoxlingTest, BindingChecksEveryFileOfTheLibrary) {
    struct Case {
        const char* name;
        std::function<void(VoxlingTest&)> spoil;
        HRESULT result;
        bool notice;
    };
    auto dropValue = [](const char* value) {
        return [value](VoxlingTest&) { ASSERT_TRUE(reg::deleteValue(HKEY_LOCAL_MACHINE, tokenKey(), value)); };
    };
    auto dropFile = [](const char* file) {
        return [file](VoxlingTest& t) { ASSERT_TRUE(std::filesystem::remove(t.voiceFile(file))); };
    };
    auto voiceDef = [](std::function<void(std::vector<uint8_t>&)> change) {
        return [change](VoxlingTest& t) { patch(t.voiceFile("VoiceDef.dat"), change); };
    };
    auto voiceWord = [](std::function<void(std::vector<uint8_t>&)> change) {
        return [change](VoxlingTest& t) { patch(t.voiceFile("VoiceWord.dat"), change); };
    };
    auto peak = [&](uint32_t v) { return voiceWord([v](std::vector<uint8_t>& b) { putU32(b, 156, v); }); };
    const HRESULT notFound = HRESULT_FROM_WIN32(2);

    const Case cases[] = {
        {"intact", [](VoxlingTest&) {}, S_OK, false},
        {"no VoiceSenData value", dropValue("VoiceSenData"), SPERR_NOT_FOUND, false},
        {"no VoiceSenData file", dropFile("VoiceSenData.txt"), S_OK, false},
        {"no VoiceDef value", dropValue("VoiceDef"), SPERR_NOT_FOUND, false},
        {"no VoiceWordData value", dropValue("VoiceWordData"), SPERR_NOT_FOUND, false},
        {"no VoiceData file", dropFile("VoiceData.dat"), notFound, false},
        {"no VoiceWordData file", dropFile("VoiceWordData.dat"), notFound, false},
        // A named pipe in place of a file is refused at once instead of waiting for a writer.
        {"VoiceData is a named pipe",
         [](VoxlingTest& t) {
             const auto f = t.voiceFile("VoiceData.dat");
             ASSERT_TRUE(std::filesystem::remove(f));
             ASSERT_EQ(mkfifo(f.c_str(), 0600), 0);
         },
         HRESULT_FROM_WIN32(5), false},
        {"VoiceDef version 1", voiceDef([](auto& b) { putU32(b, 0, 1); }), E_INVALIDARG, true},
        {"VoiceDef GUID off by one character", voiceDef([](auto& b) { b[4 + 2 * 5] = 'E'; }), E_INVALIDARG, true},
        {"VoiceDef GUID in lower case",
         voiceDef([](auto& b) {
             for (size_t i = 0; i < 38; ++i)
                 if (b[4 + 2 * i] >= 'A' && b[4 + 2 * i] <= 'F') b[4 + 2 * i] += 'a' - 'A';
         }),
         S_OK, false},
        {"VoiceWord GUID off by one character", voiceWord([](auto& b) { b[12 + 37] = ')'; }), E_INVALIDARG, true},
        {"VoiceWord GUID in lower case",
         voiceWord([](auto& b) {
             for (size_t i = 12; i < 50; ++i)
                 if (b[i] >= 'A' && b[i] <= 'F') b[i] += 'a' - 'A';
         }),
         S_OK, false},
        {"VoiceWord cut inside its header", voiceWord([](auto& b) { b.resize(100); }), E_INVALIDARG, true},
        {"peak 0", peak(0), S_OK, false},
        {"peak 95", peak(95), S_OK, false},
        {"peak 1000", peak(1000), S_OK, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install(kSilent);
        speech::speechThreadMessageBoxes(*m);
        const size_t boxesBefore = speech::speechThreadMessageBoxes(*m).size();
        c.spoil(*this);
        HRESULT hr = E_FAIL;
        auto engine = boundEngine(&hr);
        ASSERT_TRUE(engine);
        EXPECT_EQ(hr, c.result);
        const auto boxes = speech::speechThreadMessageBoxes(*m);
        ASSERT_EQ(boxes.size() - boxesBefore, c.notice ? 1u : 0u);
        if (c.notice) {
            EXPECT_EQ(boxes.back().text, "你目前使用的中文女声语音库[Yeva]已经损坏,请重新安装后再使用,谢谢.");
            EXPECT_EQ(boxes.back().caption, "重新安装");
        }
        // A voice that failed to bind speaks nothing and fails plainly.
        if (FAILED(hr)) {
            RecordingSite site;
            FragmentChain frags({{SPVA_Speak, u"一"}});
            EXPECT_EQ(speak(engine.get(), frags, site), SPERR_UNINITIALIZED);
            EXPECT_TRUE(site.audio.empty());
        }
    }
}

TEST_F(VoxlingTest, DamagedNoticeSpeaksTheUsersLocale) {
    const std::pair<const char*, const char*> cases[] = {
        {"1033", "Mandarin Female TTS[Yeva] is destroyed, install again, thanks."},
        {"3076", "你目前使用的中文女聲語音庫[Yeva]已經損壞,請重新安裝後再使用,謝謝."},
        {"1028", "你目前使用的中文女聲語音庫[Yeva]已經損壞,請重新安裝後再使用,謝謝."},
        {"2052", "你目前使用的中文女声语音库[Yeva]已经损坏,请重新安装后再使用,谢谢."},
    };
    install(kSilent);
    patch(voiceFile("VoiceDef.dat"), [](auto& b) { putU32(b, 0, 3); });
    for (const auto& [locale, text] : cases) {
        m->setSetting("user.locale", locale);
        HRESULT hr = S_OK;
        boundEngine(&hr);
        EXPECT_EQ(hr, E_INVALIDARG);
        ASSERT_FALSE(speech::speechThreadMessageBoxes(*m).empty());
        EXPECT_EQ(speech::speechThreadMessageBoxes(*m).back().text, text) << locale;
    }
    EXPECT_EQ(speech::speechThreadMessageBoxes(*m).front().caption, "Install again");
}

TEST_F(VoxlingTest, DeclaresTheOutputRateOfItsVoiceStyle) {
    install(kSilent);
    const std::pair<std::optional<int32_t>, DWORD> cases[] = {
        {std::nullopt, 16000}, {1, 22050}, {0, 16000}, {-1, 12000}, {-2, 11025}, {-3, 8000}, {5, 16000}, {-4, 16000},
    };
    for (const auto& [style, rate] : cases) {
        if (style) ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "VoiceStyle", DWORD(*style)));
        else reg::deleteValue(HKEY_LOCAL_MACHINE, kSettingsKey, "VoiceStyle");
        auto engine = newEngine();
        ASSERT_TRUE(engine);
        GUID id = GUID_NULL;
        WAVEFORMATEX* f = nullptr;
        const WAVEFORMATEX target{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        ASSERT_EQ(engine->GetOutputFormat(&SPDFID_WaveFormatEx, &target, &id, &f), S_OK);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(id, SPDFID_WaveFormatEx);
        EXPECT_EQ(f->wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(f->nChannels, 1);
        EXPECT_EQ(f->wBitsPerSample, 16);
        EXPECT_EQ(f->nBlockAlign, 2);
        EXPECT_EQ(f->nSamplesPerSec, rate) << (style ? *style : 99);
        EXPECT_EQ(f->nAvgBytesPerSec, rate * 2);
        CoTaskMemFree(f);
        EXPECT_EQ(engine->GetOutputFormat(nullptr, nullptr, nullptr, &f), E_POINTER);
    }
}
