#pragma once
// The engine object: one implementation behind both classes of the library (VoxlingObj and
// VoxlingUI). It binds its voice token's five library files, declares its output format and
// speaks fragment lists. Everything it speaks with is its own, so several bound objects (and
// the release of one of them) never disturb each other.
#include "EngineSettings.h"
#include "EngineUI.h"
#include "PinyinStrip.h"
#include "VoiceLibrary.h"

#include "platform/speech/SpeechApi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace sys { class Machine; }

namespace voxling {

// {7F5297E5-0462-4730-86A9-076A57C05C17}
constexpr win::CLSID CLSID_VoxlingObj = {0x7F5297E5, 0x0462, 0x4730, {0x86, 0xA9, 0x07, 0x6A, 0x57, 0xC0, 0x5C, 0x17}};
// {BA729B8B-A6B3-4DBC-9A0C-31F2763F5D2D}
constexpr win::CLSID CLSID_VoxlingUI = {0xBA729B8B, 0xA6B3, 0x4DBC, {0x9A, 0x0C, 0x31, 0xF2, 0x76, 0x3F, 0x5D, 0x2D}};

class SpeakSession;

class VoxlingObj final : public win::ISpObjectWithToken,
                         public win::ISpTTSEngine,
                         public win::ISpTokenUI {
public:
    // Builds an object for the machine (FinalConstruct); the new object holds one reference.
    static win::HRESULT create(sys::Machine* machine, VoxlingObj** out);
    // Objects alive in this library (for DllCanUnloadNow).
    static long liveObjects();

    // ---- IUnknown
    win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override;
    win::ULONG AddRef() override;
    win::ULONG Release() override;

    // ---- ISpObjectWithToken
    win::HRESULT SetObjectToken(win::ISpObjectToken* pToken) override;
    win::HRESULT GetObjectToken(win::ISpObjectToken** ppToken) override;

    // ---- ISpTTSEngine
    win::HRESULT Speak(win::DWORD dwSpeakFlags, win::REFGUID rguidFormatId, const win::WAVEFORMATEX* pWaveFormatEx,
                       const win::SPVTEXTFRAG* pTextFragList, win::ISpTTSEngineSite* pOutputSite) override;
    win::HRESULT GetOutputFormat(const win::GUID* pTargetFmtId, const win::WAVEFORMATEX* pTargetWaveFormatEx,
                                 win::GUID* pOutputFormatId, win::WAVEFORMATEX** ppCoMemOutputWaveFormatEx) override;

    // ---- ISpTokenUI
    win::HRESULT IsUISupported(win::LPCWSTR pszTypeOfUI, void* pvExtraData, win::ULONG cbExtraData,
                               win::IUnknown* punkObject, win::BOOL* pfSupported) override;
    win::HRESULT DisplayUI(win::HWND hwndParent, win::LPCWSTR pszTitle, win::LPCWSTR pszTypeOfUI, void* pvExtraData,
                           win::ULONG cbExtraData, win::ISpObjectToken* pToken, win::IUnknown* punkObject) override;

    // ---- For the speak loop and the tests
    // The settings a Speak starts with: the object's own, followed by what the settings dialog
    // saved since.
    EngineSettings settings() const;
    const UiStrings& uiStrings() const { return *ui_; }
    VoiceLibrary& library() { return *library_; }
    bool bound() const { return bound_; }
    int16_t peakReference() const { return peak_; }
    sys::Machine* machine() const { return machine_; }
    // The speak loop matched a phrase of two or more characters: the pinyin strip shows it.
    void phraseMatched(const PhraseRecord& phrase);
    PinyinStrip* pinyinStrip() const { return strip_.get(); }

    // The output rate declared for a VoiceStyle value (16,000 for any value not listed).
    static uint32_t outputRate(int32_t voiceStyle);

private:
    explicit VoxlingObj(sys::Machine* machine);
    ~VoxlingObj();
    win::HRESULT FinalConstruct();
    void FinalRelease();
    // Makes the object's machine the library's current one for the call.
    void attach() const;
    win::HRESULT bind(win::ISpObjectToken* token);
    void damaged() const;

    std::atomic<win::ULONG> refs_{1};
    sys::Machine* machine_;
    com::ComPtr<win::ISpObjectToken> token_;
    std::unique_ptr<VoiceLibrary> library_;
    bool bound_ = false;
    int16_t peak_ = 32767;
    mutable std::mutex settingsMutex_;
    mutable EngineSettings settings_;
    mutable uint64_t settingsSeen_ = 0;
    std::unique_ptr<PinyinStrip> strip_;
    const UiStrings* ui_ = nullptr;
    std::unique_ptr<SpeakSession> session_;
};

} // namespace voxling
