#include "StubEngine.h"

#include "platform/com/InprocServer.h"
#include "platform/speech/SpeechThread.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "tests/support/TestMachine.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>


using namespace win;

namespace {

std::string readValue(ISpObjectToken* token, const char16_t* name, bool* found) {
    LPWSTR v = nullptr;
    *found = SUCCEEDED(token->GetStringValue(name, &v));
    std::string s = *found ? sys::fromUtf16(v) : "";
    CoTaskMemFree(v);
    return s;
}

class StubEngine final : public ISpTTSEngine, public ISpObjectWithToken, public com::RefCount {
public:
    explicit StubEngine(sys::Machine* m) : machine_(m) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISpTTSEngine) *ppv = static_cast<ISpTTSEngine*>(this);
        else if (riid == IID_ISpObjectWithToken) *ppv = static_cast<ISpObjectWithToken*>(this);
        else return *ppv = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }

    HRESULT SetObjectToken(ISpObjectToken* token) override {
        if (!token) return E_INVALIDARG;
        if (token_) return SPERR_ALREADY_INITIALIZED;
        bool found = false;
        readValue(token, u"Damaged", &found);
        if (found) return E_INVALIDARG;
        readValue(token, u"BindOnWorker", &found);
        if (found && machine_ && !speech::onSpeechThread(*machine_)) return E_ACCESSDENIED;
        const std::string rate = readValue(token, u"SampleRate", &found);
        if (found) rate_ = static_cast<DWORD>(std::stoul(rate));
        token_ = com::ComPtr<ISpObjectToken>::share(token);
        return S_OK;
    }
    HRESULT GetObjectToken(ISpObjectToken** out) override {
        if (!out) return E_POINTER;
        *out = com::ComPtr<ISpObjectToken>(token_).detach();
        return *out ? S_OK : S_FALSE;
    }

    HRESULT GetOutputFormat(const GUID*, const WAVEFORMATEX*, GUID* fmtId, WAVEFORMATEX** out) override {
        if (!fmtId || !out) return E_POINTER;
        auto* f = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        *f = {WAVE_FORMAT_PCM, 1, rate_, rate_ * 2, 2, 16, 0};
        *fmtId = SPDFID_WaveFormatEx;
        *out = f;
        return S_OK;
    }

    HRESULT Speak(DWORD, REFGUID fmt, const WAVEFORMATEX* wfx, const SPVTEXTFRAG* frag, ISpTTSEngineSite* site) override {
        if (!site || fmt != SPDFID_WaveFormatEx || !wfx) return E_INVALIDARG;
        site_ = site;
        bytes_ = 0;
        for (; frag; frag = frag->pNext) {
            if (aborted()) return S_OK;
            HRESULT hr = S_OK;
            switch (frag->State.eAction) {
            case SPVA_Speak: hr = speakText(*frag); break;
            case SPVA_Silence: {
                std::vector<uint8_t> zeros(static_cast<size_t>(frag->State.SilenceMSecs) * wfx->nAvgBytesPerSec / 1000);
                hr = write(zeros.data(), zeros.size());
                break;
            }
            case SPVA_Bookmark: {
                std::u16string name(frag->pTextStart, frag->ulTextLen);
                hr = event(SPEI_TTS_BOOKMARK, SPET_LPARAM_IS_STRING, 0, reinterpret_cast<intptr_t>(name.c_str()));
                break;
            }
            default: hr = event(SPEI_TTS_PRIVATE, SPET_LPARAM_IS_UNDEFINED, frag->State.eAction, 0); break;
            }
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

private:
    bool aborted() { return site_->GetActions() & SPVES_ABORT; }

    HRESULT event(int id, int type, uintptr_t w, intptr_t l) {
        SPEVENT e{static_cast<WORD>(id), static_cast<WORD>(type), 0, bytes_, w, l};
        return site_->AddEvents(&e, 1);
    }

    HRESULT write(const void* p, size_t n) {
        ULONG written = 0;
        HRESULT hr = site_->Write(p, static_cast<ULONG>(n), &written);
        bytes_ += written;
        return hr;
    }

    HRESULT speakText(const SPVTEXTFRAG& f) {
        const std::u16string text(f.pTextStart, f.ulTextLen);
        if (text == u"hold") {
            // Held until the test aborts or skips it; the bound only ends a test that never does.
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(testing_support::kOutsideWaitMs);
            while (std::chrono::steady_clock::now() < end) {
                const DWORD a = site_->GetActions();
                if (a & SPVES_ABORT) return S_OK;
                if (a & SPVES_SKIP) {
                    SPVSKIPTYPE type;
                    LONG n = 0;
                    site_->GetSkipInfo(&type, &n);
                    site_->CompleteSkip(n);
                    return S_OK;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return S_OK;
        }
        if (text == u"notice") {
            const int answer = speech::speechThreadMessageBox(*machine_, "引擎提示", "提示", 1 /* MB_OKCANCEL */);
            return event(SPEI_TTS_PRIVATE, SPET_LPARAM_IS_UNDEFINED, 500 + static_cast<uintptr_t>(answer), 0);
        }
        for (ULONG i = 0; i < f.ulTextLen; ++i) {
            const DWORD a = site_->GetActions();
            if (a & SPVES_ABORT) return S_OK;
            if (a & SPVES_RATE) {
                LONG r = 0;
                site_->GetRate(&r);
                event(SPEI_TTS_PRIVATE, SPET_LPARAM_IS_UNDEFINED, static_cast<uintptr_t>(100 + r), 0);
            }
            if (a & SPVES_VOLUME) {
                USHORT v = 0;
                site_->GetVolume(&v);
                event(SPEI_TTS_PRIVATE, SPET_LPARAM_IS_UNDEFINED, 1000u + v, 0);
            }
            const char16_t c = f.pTextStart[i];
            if (c == ' ') continue;
            HRESULT hr = event(SPEI_WORD_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, 1, f.ulTextSrcOffset + i);
            if (FAILED(hr)) return hr;
            std::vector<uint8_t> pcm(kBytesPerChar, static_cast<uint8_t>(c & 0xFF));
            hr = write(pcm.data(), pcm.size());
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    sys::Machine* machine_;
    com::ComPtr<ISpObjectToken> token_;
    DWORD rate_ = 16000;
    ISpTTSEngineSite* site_ = nullptr;
    ULONGLONG bytes_ = 0;
};

com::StaticClassFactory g_factory([](const GUID& iid, void** ppv) {
    return com::handOut(static_cast<ISpTTSEngine*>(new StubEngine(sys::Machine::currentOrNull())), iid, ppv);
});

com::ClassRegistration registration() {
    com::ClassRegistration r;
    r.clsid = CLSID_StubEngine;
    r.description = "Stub speech engine";
    r.progId = "SpeechTest.StubEngine.1";
    r.libraryPath = com::modulePath(reinterpret_cast<const void*>(&registration));
    return r;
}

} // namespace

extern "C" {
__attribute__((visibility("default"))) void PlatformAttach(sys::Machine* machine) { sys::Machine::setCurrent(machine); }
__attribute__((visibility("default"))) HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** ppv) {
    return g_factory.classObject({CLSID_StubEngine}, clsid, iid, ppv);
}
__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return S_FALSE; }
__attribute__((visibility("default"))) HRESULT DllRegisterServer() { return com::registerInprocClass(registration()); }
__attribute__((visibility("default"))) HRESULT DllUnregisterServer() { return com::unregisterInprocClass(registration()); }
}
