#include "VoxlingTestSupport.h"

#include "platform/com/ComBase.h"
#include "platform/speech/VoiceTokens.h"
#include "platform/system/Machine.h"
#include "tools/voicegen/Install.h"
#include "tools/voicegen/VoiceGen.h"

#include <map>
#include <unistd.h>
#include <mutex>

namespace voxtest {

using namespace win;

std::filesystem::path builtLibrary(const std::string& manifestText) {
    static std::mutex mutex;
    static std::map<std::string, std::filesystem::path> built;
    static const std::filesystem::path root = [] {
        auto p = std::filesystem::temp_directory_path() / ("voxling-tests-" + std::to_string(::getpid()));
        std::filesystem::remove_all(p);
        return p;
    }();
    std::lock_guard lock(mutex);
    if (auto it = built.find(manifestText); it != built.end()) return it->second;
    voicegen::Manifest manifest;
    std::string error;
    EXPECT_TRUE(voicegen::parseManifest(manifestText, manifest, error)) << error;
    const auto dir = root / std::to_string(built.size());
    voicegen::BuildReport report;
    voicegen::BuildOptions options;
    options.jobs = 4;
    EXPECT_TRUE(voicegen::buildLibrary(manifest, dir, options, report, error)) << error;
    built[manifestText] = dir;
    return dir;
}

void VoxlingTest::SetUp() { m->setSetting("audio.output", "none"); }

void VoxlingTest::install(const std::string& manifest) {
    voicegen::InstallOptions options;
    options.library = builtLibrary(manifest);
    options.voiceFolder = kVoiceFolder;
    std::string error;
    ASSERT_TRUE(voicegen::installVoice(*m, options, error)) << error;
    ASSERT_EQ(com::registerServer(*m, VOXLING_LIBRARY), S_OK);
}

com::ComPtr<ISpObjectToken> VoxlingTest::token() { return speech::openToken(*m, kTokenId); }

com::ComPtr<ISpTTSEngine> VoxlingTest::newEngine(HRESULT* hr) {
    com::ComPtr<ISpTTSEngine> engine;
    HRESULT r = com::createInstance(*m, kVoxlingObj, IID_ISpTTSEngine, engine.putVoid());
    if (hr) *hr = r;
    return engine;
}

com::ComPtr<ISpTTSEngine> VoxlingTest::boundEngine(HRESULT* hr) {
    auto engine = newEngine(hr);
    if (!engine) return engine;
    com::ComPtr<ISpObjectWithToken> withToken;
    engine.as(IID_ISpObjectWithToken, withToken);
    auto t = token();
    HRESULT r = withToken && t ? withToken->SetObjectToken(t.get()) : E_FAIL;
    if (hr) *hr = r;
    return engine;
}

HRESULT RecordingSite::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISpEventSink || riid == IID_ISpTTSEngineSite) {
        *ppv = static_cast<ISpTTSEngineSite*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT RecordingSite::AddEvents(const SPEVENT* list, ULONG count) {
    for (ULONG i = 0; i < count; ++i) {
        SiteEvent e;
        e.id = static_cast<SPEVENTENUM>(list[i].eEventId);
        e.offset = list[i].ullAudioStreamOffset;
        e.wParam = list[i].wParam;
        if (list[i].elParamType == SPET_LPARAM_IS_STRING) {
            if (auto* p = reinterpret_cast<const char16_t*>(list[i].lParam)) e.text = p;
        } else {
            e.lParam = list[i].lParam;
        }
        events.push_back(e);
    }
    return S_OK;
}

HRESULT RecordingSite::GetEventInterest(ULONGLONG* interest) {
    if (!interest) return E_POINTER;
    *interest = SPFEI_ALL_TTS_EVENTS;
    return S_OK;
}

DWORD RecordingSite::GetActions() {
    ++actionCalls;
    return actions ? actions(actionCalls) : 0;
}

HRESULT RecordingSite::Write(const void* buf, ULONG cb, ULONG* written) {
    if (written) *written = 0;
    writes.push_back(cb);
    if (failWriteAt && int(writes.size()) == failWriteAt) return writeFailure;
    const auto* p = static_cast<const uint8_t*>(buf);
    audio.insert(audio.end(), p, p + cb);
    if (written) *written = cb;
    return S_OK;
}

HRESULT RecordingSite::GetRate(LONG* r) {
    if (!r) return E_POINTER;
    *r = rate;
    return S_OK;
}

HRESULT RecordingSite::GetVolume(USHORT* v) {
    if (!v) return E_POINTER;
    *v = volume;
    return S_OK;
}

HRESULT RecordingSite::GetSkipInfo(SPVSKIPTYPE* type, LONG* count) {
    if (!type || !count) return E_POINTER;
    *type = SPVST_SENTENCE;
    *count = 1;
    return S_OK;
}

HRESULT RecordingSite::CompleteSkip(LONG) {
    ++skipsCompleted;
    return S_OK;
}

std::vector<SiteEvent> RecordingSite::ofKind(SPEVENTENUM id) const {
    std::vector<SiteEvent> out;
    for (const auto& e : events)
        if (e.id == id) out.push_back(e);
    return out;
}

FragmentChain::FragmentChain(const std::vector<FragmentSpec>& specs) {
    std::vector<size_t> starts;
    for (const auto& s : specs) {
        starts.push_back(text_.size());
        text_ += s.text;
    }
    text_.reserve(text_.size() + 1);
    frags_.resize(specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
        SPVTEXTFRAG& f = frags_[i];
        f = SPVTEXTFRAG{};
        f.pNext = i + 1 < specs.size() ? &frags_[i + 1] : nullptr;
        f.State.eAction = specs[i].action;
        f.State.Volume = 100;
        f.State.SilenceMSecs = specs[i].silenceMs;
        f.State.ePartOfSpeech = SPPS_Unknown;
        f.pTextStart = text_.c_str() + starts[i];
        f.ulTextLen = ULONG(specs[i].text.size());
        f.ulTextSrcOffset = ULONG(starts[i]);
    }
}

HRESULT speak(ISpTTSEngine* engine, const FragmentChain& frags, RecordingSite& site) {
    GUID id{};
    WAVEFORMATEX* fmt = nullptr;
    HRESULT hr = engine->GetOutputFormat(&SPDFID_WaveFormatEx, nullptr, &id, &fmt);
    if (FAILED(hr)) return hr;
    const WAVEFORMATEX copy = *fmt;
    CoTaskMemFree(fmt);
    return engine->Speak(0, id, &copy, frags.head(), &site);
}

} // namespace voxtest
