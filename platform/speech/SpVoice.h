#pragma once
// The platform speech object ("Sapi.SpVoice"). Speak builds the fragment list on the caller's
// thread and queues the request; one worker thread per voice loads the voice's engine when the
// voice changed (token -> CLSID -> engine library, bound with SetObjectToken), then calls the
// engine's Speak with a site that writes the audio to the machine's audio output (in the format
// the engine declares) and queues the engine's events for the pump. Voices on one machine take
// turns on the audio output, so one engine speaks at a time.
#include "platform/speech/Fragments.h"
#include "platform/speech/SpeechApi.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sys { class Machine; }

namespace speech {

// An engine event as the program receives it, on the pumping thread.
struct VoiceEvent {
    win::SPEVENTENUM id = win::SPEI_UNDEFINED;
    win::SPEVENTLPARAMTYPE paramType = win::SPET_LPARAM_IS_UNDEFINED;
    uint32_t streamNumber = 0;
    uint64_t audioOffset = 0;  // bytes of audio before the event
    uintptr_t wParam = 0;
    intptr_t lParam = 0;       // 0 for string events: the string is in text
    std::u16string text;       // a bookmark's name
};

// Registers "Sapi.SpVoice" (CLSID_SpVoice) as a class of the process on this machine, so that
// creation by ProgID or CLSID gives an SpVoice. Idempotent.
void installSpeechService(sys::Machine& machine);

class SpVoice final : public win::ISpeechVoice {
public:
    static com::ComPtr<SpVoice> create(sys::Machine& machine);
    // The SpVoice behind an interface pointer, null when it is not one.
    static SpVoice* from(win::IUnknown* unknown);

    // ---- IUnknown / ISpeechVoice
    win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override;
    win::ULONG AddRef() override;
    win::ULONG Release() override;
    win::HRESULT Speak(win::LPCWSTR text, win::DWORD flags, win::ULONG* pStreamNumber) override;
    win::HRESULT WaitUntilDone(win::LONG msTimeout, win::BOOL* pDone) override;
    win::HRESULT GetRate(win::LONG* pRate) override;
    win::HRESULT SetRate(win::LONG rate) override;
    win::HRESULT GetVolume(win::LONG* pVolume) override;
    win::HRESULT SetVolume(win::LONG volume) override;
    win::HRESULT GetVoice(win::ISpObjectToken** ppToken) override;
    win::HRESULT SetVoice(win::ISpObjectToken* pToken) override;
    win::HRESULT Skip(win::LONG numSentences, win::LONG* pSkipped) override;

    // ---- C++ conveniences
    win::HRESULT speak(std::string_view utf8Text, win::DWORD flags, win::ULONG* pStreamNumber = nullptr);
    // Pumps the machine until everything queued was spoken or ms machine milliseconds passed.
    bool waitUntilDone(int64_t ms);
    bool isSpeaking() const;
    // The engine's result of the last request that finished.
    win::HRESULT lastResult() const;

    // Events reach the program through the pump: the callback when one is set, else a queue the
    // program takes from (the oldest are dropped beyond 10,000).
    void setEventCallback(std::function<void(const VoiceEvent&)> callback);
    std::vector<VoiceEvent> takeEvents();
    // SPFEI bits of the events wanted (default: all text-to-speech events).
    void setEventInterest(uint64_t interest);

    struct State;

private:
    explicit SpVoice(sys::Machine& machine);
    ~SpVoice();

    std::shared_ptr<State> s_;
};

} // namespace speech
