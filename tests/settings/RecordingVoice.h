#pragma once
// A speech object registered as "Sapi.SpVoice" on a test machine: it speaks nothing and keeps
// each text it is given, with its flags.
#include "platform/com/ComBase.h"
#include "platform/speech/SpeechApi.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

struct SpokenText {
    std::string text;
    win::DWORD flags = 0;
};

class RecordingVoice final : public win::ISpeechVoice {
public:
    explicit RecordingVoice(std::shared_ptr<std::vector<SpokenText>> log) : log_(std::move(log)) {}

    // Registers the class for the machine; every object made from it appends to the log.
    static std::shared_ptr<std::vector<SpokenText>> install(sys::Machine& m) {
        auto log = std::make_shared<std::vector<SpokenText>>();
        com::registerClassObject(m, win::CLSID_SpVoice, "Sapi.SpVoice", [log](const win::GUID& iid, void** out) {
            auto* v = new RecordingVoice(log);
            const win::HRESULT hr = v->QueryInterface(iid, out);
            v->Release();
            return hr;
        });
        return log;
    }

    win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override {
        if (riid == win::IID_IUnknown || riid == win::IID_ISpeechVoice) {
            *ppv = static_cast<win::ISpeechVoice*>(this);
            AddRef();
            return win::S_OK;
        }
        *ppv = nullptr;
        return win::E_NOINTERFACE;
    }
    win::ULONG AddRef() override { return ++refs_; }
    win::ULONG Release() override {
        const win::ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    win::HRESULT Speak(win::LPCWSTR text, win::DWORD flags, win::ULONG*) override {
        log_->push_back({text ? sys::fromUtf16(text) : std::string(), flags});
        return win::S_OK;
    }
    win::HRESULT WaitUntilDone(win::LONG, win::BOOL* done) override {
        if (done) *done = 1;
        return win::S_OK;
    }
    win::HRESULT GetRate(win::LONG* r) override { return *r = 0, win::S_OK; }
    win::HRESULT SetRate(win::LONG) override { return win::S_OK; }
    win::HRESULT GetVolume(win::LONG* v) override { return *v = 100, win::S_OK; }
    win::HRESULT SetVolume(win::LONG) override { return win::S_OK; }
    win::HRESULT GetVoice(win::ISpObjectToken** t) override { return *t = nullptr, win::E_NOTIMPL; }
    win::HRESULT SetVoice(win::ISpObjectToken*) override { return win::S_OK; }
    win::HRESULT Skip(win::LONG, win::LONG* skipped) override { return *skipped = 0, win::S_OK; }

private:
    std::shared_ptr<std::vector<SpokenText>> log_;
    std::atomic<win::ULONG> refs_{1};
};

} // namespace testing_support
