#include "VoxlingObj.h"

#include "EngineDialog.h"
#include "EngineRegistry.h"
#include "SpeakLoop.h"

#include "platform/system/Machine.h"

#include <new>
#include <string>

namespace voxling {

using namespace win;

namespace {

std::atomic<long> g_liveObjects{0};

// A string value of the token; the token's failure passes unchanged.
HRESULT tokenString(ISpObjectToken* token, const char16_t* name, std::u16string& out) {
    LPWSTR value = nullptr;
    const HRESULT hr = token->GetStringValue(name, &value);
    if (SUCCEEDED(hr)) out = value ? std::u16string(value) : std::u16string();
    CoTaskMemFree(value);
    return hr;
}

bool sameText(LPCWSTR a, std::u16string_view b) { return a && std::u16string_view(a) == b; }

} // namespace

HRESULT VoxlingObj::create(sys::Machine* machine, VoxlingObj** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    VoxlingObj* obj = new (std::nothrow) VoxlingObj(machine);
    if (!obj) return E_OUTOFMEMORY;
    const HRESULT hr = obj->FinalConstruct();
    if (FAILED(hr)) {
        obj->Release();
        return hr;
    }
    *out = obj;
    return S_OK;
}

long VoxlingObj::liveObjects() { return g_liveObjects.load(); }

VoxlingObj::VoxlingObj(sys::Machine* machine) : machine_(machine) { ++g_liveObjects; }

VoxlingObj::~VoxlingObj() {
    FinalRelease();
    --g_liveObjects;
}

void VoxlingObj::attach() const {
    if (machine_) sys::Machine::setCurrent(machine_);
}

HRESULT VoxlingObj::FinalConstruct() {
    attach();
    try {
        library_ = std::make_unique<VoiceLibrary>();
        session_ = std::make_unique<SpeakSession>();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (machine_) settingsSeen_ = PublishedSettingsVersion(*machine_);
    ReadEngineSettings(settings_);
    ui_ = &UiStringsForLocale(machine_ ? UserDefaultLocale(*machine_) : 0);
    if (machine_) strip_ = PinyinStrip::create(machine_, *ui_);
    return S_OK;
}

void VoxlingObj::FinalRelease() {
    strip_.reset();
    session_.reset();
    if (library_) library_->close();
    library_.reset();
    token_.reset();
    bound_ = false;
}

HRESULT VoxlingObj::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISpObjectWithToken)
        *ppv = static_cast<ISpObjectWithToken*>(this);
    else if (riid == IID_ISpTTSEngine)
        *ppv = static_cast<ISpTTSEngine*>(this);
    else if (riid == IID_ISpTokenUI)
        *ppv = static_cast<ISpTokenUI*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG VoxlingObj::AddRef() { return ++refs_; }

ULONG VoxlingObj::Release() {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

// ---- Voice token binding ---------------------------------------------------------------------

HRESULT VoxlingObj::SetObjectToken(ISpObjectToken* token) {
    attach();
    if (!token) return E_INVALIDARG;
    if (token_) return SPERR_ALREADY_INITIALIZED;
    token_ = com::ComPtr<ISpObjectToken>::share(token);
    try {
        return bind(token);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VoxlingObj::bind(ISpObjectToken* token) {
    VoiceLibrary& lib = *library_;
    using Open = uint32_t (VoiceLibrary::*)(std::u16string_view);
    const std::pair<const char16_t*, Open> files[] = {
        {u"VoiceDef", &VoiceLibrary::openVoiceDef},
        {u"VoiceData", &VoiceLibrary::openVoiceData},
        {u"VoiceWord", &VoiceLibrary::openVoiceWord},
        {u"VoiceWordData", &VoiceLibrary::openVoiceWordData},
    };
    for (const auto& [name, open] : files) {
        std::u16string path;
        HRESULT hr = tokenString(token, name, path);
        if (FAILED(hr)) return hr;
        if (const uint32_t err = (lib.*open)(path)) return HRESULT_FROM_WIN32(static_cast<int32_t>(err));
    }
    // The sentence table is optional content, but the token must name its file.
    std::u16string sentences;
    HRESULT hr = tokenString(token, u"VoiceSenData", sentences);
    if (FAILED(hr)) return hr;
    lib.LoadSentenceTable(sentences);

    const bool defValid = lib.voiceDefValid();
    if (!defValid) damaged();
    lib.copyUnitTable();
    if (!defValid) return E_INVALIDARG;
    if (!lib.voiceWordValid()) {
        damaged();
        return E_INVALIDARG;
    }
    peak_ = lib.peakReference();
    bound_ = true;
    return S_OK;
}

void VoxlingObj::damaged() const {
    if (machine_) ShowDamagedNotice(*machine_, *ui_);
}

HRESULT VoxlingObj::GetObjectToken(ISpObjectToken** out) {
    if (!out) return E_POINTER;
    *out = com::ComPtr<ISpObjectToken>(token_).detach();
    return *out ? S_OK : S_FALSE;
}

// ---- Output format ---------------------------------------------------------------------------

uint32_t VoxlingObj::outputRate(int32_t voiceStyle) {
    switch (voiceStyle) {
    case 1: return 22050;
    case -1: return 12000;
    case -2: return 11025;
    case -3: return 8000;
    default: return 16000;
    }
}

HRESULT VoxlingObj::GetOutputFormat(const GUID*, const WAVEFORMATEX*, GUID* formatId, WAVEFORMATEX** out) {
    if (!formatId || !out) return E_POINTER;
    *out = nullptr;
    auto* f = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (!f) return E_OUTOFMEMORY;
    const uint32_t rate = outputRate(settings().VoiceStyle);
    *f = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0};
    *formatId = SPDFID_WaveFormatEx;
    *out = f;
    return S_OK;
}

EngineSettings VoxlingObj::settings() const {
    std::lock_guard lock(settingsMutex_);
    if (machine_) TakePublishedSettings(*machine_, settings_, settingsSeen_);
    return settings_;
}

void VoxlingObj::phraseMatched(const PhraseRecord& phrase) {
    if (strip_) strip_->show(phrase);
}

// ---- Speaking --------------------------------------------------------------------------------

HRESULT VoxlingObj::Speak(DWORD flags, REFGUID formatId, const WAVEFORMATEX* format, const SPVTEXTFRAG* fragments,
                          ISpTTSEngineSite* site) {
    attach();
    if (!site) return E_INVALIDARG;
    // A voice whose binding failed has nothing to speak with.
    if (!bound_) return SPERR_UNINITIALIZED;
    return session_->speak(*this, flags, formatId, format, fragments, site);
}

// ---- Token UI --------------------------------------------------------------------------------

HRESULT VoxlingObj::IsUISupported(LPCWSTR type, void*, ULONG, IUnknown*, BOOL* supported) {
    if (!supported) return E_POINTER;
    *supported = sameText(type, SPDUI_EngineProperties) ? TRUE : FALSE;
    return S_OK;
}

HRESULT VoxlingObj::DisplayUI(HWND parent, LPCWSTR, LPCWSTR type, void*, ULONG, ISpObjectToken* token, IUnknown*) {
    attach();
    if (!sameText(type, SPDUI_EngineProperties) || !machine_) return S_OK;
    // The UI object comes unbound from the token; the word page searches the token's library.
    if (!token_ && token) SetObjectToken(token);
    EngineSettings held = settings();
    if (RunSettingsDialog(*machine_, *ui_, parent, held, bound_ ? &library_->phrases : nullptr))
        PublishEngineSettings(*machine_, held);
    return S_OK;
}

} // namespace voxling
