#include "SpVoice.h"

#include "SpeechThread.h"
#include "VoiceTokens.h"

#include "platform/media/AudioOutput.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace speech {

using namespace win;

// Voices of one machine take turns on its audio output (named type: shared with server copies).
struct SpeakTurns {
    std::mutex mutex;
    std::condition_variable cv;
    bool busy = false;
};

namespace {

constexpr size_t kMaxQueuedEvents = 10000;
constexpr size_t kMaxEventText = 4096;
constexpr int64_t kDefaultWaitBoundMs = 600000;
constexpr auto kSyncSpeakBound = std::chrono::minutes(10);
constexpr auto kSkipWait = std::chrono::seconds(2);

struct Request {
    ULONG stream = 0;
    DWORD flags = 0;
    FragmentList fragments;
    // The voice to speak with; its engine is loaded by the worker.
    std::string tokenId;
    com::ComPtr<ISpObjectToken> token;
    com::ComPtr<ISpTTSEngine> engine;
    WAVEFORMATEX format{};
    bool done = false;
    HRESULT result = S_OK;
};

} // namespace

struct SpVoice::State {
    explicit State(sys::Machine& m) : machine(m) {}

    sys::Machine& machine;
    std::weak_ptr<State> self;
    std::atomic<ULONG> refs{1};

    mutable std::mutex mutex;
    std::condition_variable cv;  // queue changes, request completion, skip completion
    std::deque<std::shared_ptr<Request>> queue;
    std::shared_ptr<Request> current;
    std::thread worker;
    bool stopping = false;
    ULONG nextStream = 1;
    HRESULT lastResult = S_OK;
    LONG skipRequested = 0;
    LONG skipDone = -1;

    std::atomic<DWORD> actions{0};
    std::atomic<LONG> rate{0};
    std::atomic<LONG> volume{100};
    std::atomic<uint64_t> interest{SPFEI_ALL_TTS_EVENTS};

    // The voice set by the caller: used on the caller's thread only.
    com::ComPtr<ISpObjectToken> explicitVoice;
    // The loaded engine: used on the worker only. Loading it reads the engine's library and
    // voice files, which must not stall the caller (a user-interface thread).
    std::string engineTokenId;
    com::ComPtr<ISpTTSEngine> engine;
    WAVEFORMATEX engineFormat{};

    // Delivery to the program, on the pumping thread.
    std::mutex eventMutex;
    std::function<void(const VoiceEvent&)> callback;
    std::deque<VoiceEvent> delivered;

    void post(VoiceEvent ev);
    void deliver(const VoiceEvent& ev);
    // Loads the request's voice unless it is the one loaded; fills in its engine and format.
    HRESULT prepareEngine(Request& r);
    void run();
    void speakOne(Request& r);
    // Drops queued requests; aborts the current one. Caller holds mutex.
    void purgeLocked();
    bool idleLocked() const { return queue.empty() && !current; }
};

namespace {

// The site one request's engine speaks through; lives on the worker's stack for the call.
class EngineSite final : public ISpTTSEngineSite {
public:
    EngineSite(SpVoice::State& s, Request& r, media::AudioStream& out) : s_(s), r_(r), out_(out) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISpEventSink || riid == IID_ISpTTSEngineSite) {
            *ppv = static_cast<ISpTTSEngineSite*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The site outlives the engine's Speak call and is not the engine's to keep.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    HRESULT AddEvents(const SPEVENT* events, ULONG count) override {
        if (count && !events) return E_INVALIDARG;
        const uint64_t interest = s_.interest.load();
        for (ULONG i = 0; i < count; ++i) {
            const SPEVENT& e = events[i];
            if (e.eEventId >= 64 || !(interest & (1ull << e.eEventId))) continue;
            VoiceEvent ev;
            ev.id = static_cast<SPEVENTENUM>(e.eEventId);
            ev.paramType = static_cast<SPEVENTLPARAMTYPE>(e.elParamType);
            ev.streamNumber = r_.stream;
            ev.audioOffset = e.ullAudioStreamOffset;
            ev.wParam = e.wParam;
            if (e.elParamType == SPET_LPARAM_IS_STRING) {
                // The engine's string lives only for this call.
                if (auto* p = reinterpret_cast<const char16_t*>(e.lParam))
                    for (size_t n = 0; n < kMaxEventText && p[n]; ++n) ev.text += p[n];
            } else if (e.elParamType == SPET_LPARAM_IS_UNDEFINED) {
                ev.lParam = e.lParam;
            }
            s_.post(std::move(ev));
        }
        return S_OK;
    }
    HRESULT GetEventInterest(ULONGLONG* interest) override {
        if (!interest) return E_POINTER;
        *interest = s_.interest.load();
        return S_OK;
    }
    DWORD GetActions() override { return s_.actions.load(); }
    HRESULT Write(const void* buf, ULONG cb, ULONG* written) override {
        if (written) *written = 0;
        if (cb && !buf) return E_INVALIDARG;
        // In slices, so an abort stops a long buffer promptly.
        const size_t slice = static_cast<size_t>(std::max(r_.format.nAvgBytesPerSec / 10, 512u));
        const auto* p = static_cast<const uint8_t*>(buf);
        ULONG done = 0;
        while (done < cb) {
            if (s_.actions.load() & SPVES_ABORT) break;
            const size_t n = std::min<size_t>(slice, cb - done);
            if (!out_.write(p + done, n)) return SPERR_AUDIO_STOPPED;
            done += static_cast<ULONG>(n);
            bytes_ += n;
            if (written) *written = done;
        }
        return S_OK;
    }
    HRESULT GetRate(LONG* rate) override {
        if (!rate) return E_POINTER;
        s_.actions.fetch_and(~static_cast<DWORD>(SPVES_RATE));
        *rate = s_.rate.load();
        return S_OK;
    }
    HRESULT GetVolume(USHORT* volume) override {
        if (!volume) return E_POINTER;
        s_.actions.fetch_and(~static_cast<DWORD>(SPVES_VOLUME));
        *volume = static_cast<USHORT>(s_.volume.load());
        return S_OK;
    }
    HRESULT GetSkipInfo(SPVSKIPTYPE* type, LONG* count) override {
        if (!type || !count) return E_POINTER;
        std::lock_guard lock(s_.mutex);
        *type = SPVST_SENTENCE;
        *count = s_.skipRequested;
        return S_OK;
    }
    HRESULT CompleteSkip(LONG skipped) override {
        std::lock_guard lock(s_.mutex);
        s_.actions.fetch_and(~static_cast<DWORD>(SPVES_SKIP));
        s_.skipDone = skipped;
        s_.skipRequested = 0;
        s_.cv.notify_all();
        return S_OK;
    }

    uint64_t bytesWritten() const { return bytes_; }

private:
    SpVoice::State& s_;
    Request& r_;
    media::AudioStream& out_;
    uint64_t bytes_ = 0;
};

std::shared_ptr<SpVoice::State> stateOf(const std::weak_ptr<SpVoice::State>& w) { return w.lock(); }

bool usableFormat(const GUID& id, const WAVEFORMATEX* f) {
    return id == SPDFID_WaveFormatEx && f && f->wFormatTag == WAVE_FORMAT_PCM && f->nChannels >= 1 &&
           f->nChannels <= 2 && (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) && f->nSamplesPerSec >= 1000 &&
           f->nSamplesPerSec <= 192000;
}

} // namespace

void SpVoice::State::post(VoiceEvent ev) {
    // The voice may be gone by the time the pump runs: hold it weakly.
    std::weak_ptr<State> weak = self;
    machine.post([weak, ev = std::move(ev)] {
        if (auto s = stateOf(weak)) s->deliver(ev);
    });
}

void SpVoice::State::deliver(const VoiceEvent& ev) {
    std::function<void(const VoiceEvent&)> cb;
    {
        std::lock_guard lock(eventMutex);
        cb = callback;
        if (!cb) {
            delivered.push_back(ev);
            if (delivered.size() > kMaxQueuedEvents) delivered.pop_front();
            return;
        }
    }
    cb(ev);
}

void SpVoice::State::purgeLocked() {
    for (size_t i = 0; i < queue.size(); ++i) machine.endOutsideWork();
    queue.clear();
    if (current) actions.fetch_or(SPVES_ABORT);
    cv.notify_all();
}

void SpVoice::State::run() {
    SpeechThreadScope scope(machine);
    for (;;) {
        std::shared_ptr<Request> r;
        {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return stopping || !queue.empty(); });
            if (queue.empty()) return;  // stopping
            r = queue.front();
            queue.pop_front();
            current = r;
            actions.fetch_and(~static_cast<DWORD>(SPVES_ABORT | SPVES_SKIP));
            // Engines start each request at their normal rate and volume and read the site's
            // only when told of a change: tell them of the voice's own settings.
            DWORD changed = 0;
            if (rate.load() != 0) changed |= SPVES_RATE;
            if (volume.load() != 100) changed |= SPVES_VOLUME;
            actions.fetch_or(changed);
            skipRequested = 0;
        }
        r->result = prepareEngine(*r);
        if (SUCCEEDED(r->result)) speakOne(*r);
        {
            std::lock_guard lock(mutex);
            r->done = true;
            lastResult = r->result;
            current.reset();
            cv.notify_all();
        }
        machine.endOutsideWork();
    }
}

HRESULT SpVoice::State::prepareEngine(Request& r) {
    if (!engine || !sys::iequals(r.tokenId, engineTokenId)) {
        engine = nullptr;
        engineTokenId.clear();
        com::ComPtr<ISpObjectToken> token = r.token;
        if (!token) {
            HRESULT hr = openToken(machine, r.tokenId, token.put());
            if (FAILED(hr)) return hr;
        }
        com::ComPtr<ISpTTSEngine> created;
        HRESULT hr = token->CreateInstance(nullptr, CLSCTX_ALL, IID_ISpTTSEngine, created.putVoid());
        if (FAILED(hr)) return hr;
        WAVEFORMATEX target{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
        GUID fmtId = GUID_NULL;
        WAVEFORMATEX* fmt = nullptr;
        hr = created->GetOutputFormat(&SPDFID_WaveFormatEx, &target, &fmtId, &fmt);
        const bool usable = SUCCEEDED(hr) && usableFormat(fmtId, fmt);
        WAVEFORMATEX copy = usable ? *fmt : WAVEFORMATEX{};
        CoTaskMemFree(fmt);
        if (FAILED(hr)) return hr;
        if (!usable) return SPERR_UNSUPPORTED_FORMAT;
        copy.nBlockAlign = static_cast<WORD>(copy.nChannels * copy.wBitsPerSample / 8);
        copy.nAvgBytesPerSec = copy.nSamplesPerSec * copy.nBlockAlign;
        engine = created;
        engineTokenId = r.tokenId;
        engineFormat = copy;
    }
    r.engine = engine;
    r.format = engineFormat;
    return S_OK;
}

void SpVoice::State::speakOne(Request& r) {
    auto& turns = machine.service<SpeakTurns>();
    {
        std::unique_lock lock(turns.mutex);
        while (turns.busy) {
            if (actions.load() & SPVES_ABORT) {
                r.result = S_OK;
                return;
            }
            turns.cv.wait_for(lock, std::chrono::milliseconds(20));
        }
        turns.busy = true;
    }

    VoiceEvent start;
    start.id = SPEI_START_INPUT_STREAM;
    start.streamNumber = r.stream;
    post(start);

    media::AudioFormat fmt;
    fmt.sampleRate = static_cast<int>(r.format.nSamplesPerSec);
    fmt.channels = r.format.nChannels;
    fmt.bitsPerSample = r.format.wBitsPerSample;
    auto out = media::openAudioOutput(machine, fmt, "speech");
    EngineSite site(*this, r, *out);
    try {
        r.result = r.engine->Speak(r.flags & SPF_NLP_MASK, SPDFID_WaveFormatEx, &r.format, r.fragments.head(), &site);
    } catch (...) {
        // An engine must not throw across the interface; keep the worker alive if one does.
        r.result = E_UNEXPECTED;
    }
    out->close();

    VoiceEvent end;
    end.id = SPEI_END_INPUT_STREAM;
    end.streamNumber = r.stream;
    end.audioOffset = site.bytesWritten();
    post(end);

    {
        std::lock_guard lock(turns.mutex);
        turns.busy = false;
    }
    turns.cv.notify_all();
}

// ---- SpVoice ---------------------------------------------------------------------------------

void installSpeechService(sys::Machine& machine) {
    com::registerClassObject(machine, CLSID_SpVoice, kSpVoiceProgId, [&machine](const GUID& iid, void** out) {
        auto v = SpVoice::create(machine);
        return v->QueryInterface(iid, out);
    });
}

SpVoice::SpVoice(sys::Machine& machine) : s_(std::make_shared<State>(machine)) { s_->self = s_; }

SpVoice::~SpVoice() {
    {
        std::lock_guard lock(s_->mutex);
        s_->stopping = true;
        s_->purgeLocked();
    }
    if (s_->worker.joinable()) s_->worker.join();
}

com::ComPtr<SpVoice> SpVoice::create(sys::Machine& machine) {
    return com::ComPtr<SpVoice>::attach(new SpVoice(machine));
}

SpVoice* SpVoice::from(IUnknown* unknown) {
    return unknown ? dynamic_cast<SpVoice*>(unknown) : nullptr;
}

HRESULT SpVoice::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISpeechVoice) {
        *ppv = static_cast<ISpeechVoice*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG SpVoice::AddRef() { return ++s_->refs; }

ULONG SpVoice::Release() {
    const ULONG n = --s_->refs;
    if (n == 0) delete this;
    return n;
}

HRESULT SpVoice::Speak(LPCWSTR text, DWORD flags, ULONG* pStreamNumber) {
    if (pStreamNumber) *pStreamNumber = 0;
    constexpr DWORD known = SPF_ASYNC | SPF_PURGEBEFORESPEAK | SPF_IS_FILENAME | SPF_IS_XML | SPF_IS_NOT_XML |
                            SPF_PERSIST_XML | SPF_NLP_SPEAK_PUNC;
    if ((flags & ~known) || ((flags & SPF_IS_XML) && (flags & SPF_IS_NOT_XML))) return E_INVALIDARG;
    if (flags & SPF_PURGEBEFORESPEAK) {
        std::lock_guard lock(s_->mutex);
        s_->purgeLocked();
    }
    if (!text) return (flags & SPF_PURGEBEFORESPEAK) ? S_OK : E_INVALIDARG;
    if (flags & SPF_IS_FILENAME) return E_NOTIMPL;
    const std::u16string_view view(text);
    if (view.size() >= 0x7FFFFFFF) return E_INVALIDARG;

    // The voice: the user's default unless one was set. Its engine is loaded by the worker, so
    // an engine that cannot speak is known only when the request is done (lastResult), and at
    // once only to a synchronous call.
    auto& s = *s_;
    std::string id = s.explicitVoice ? tokenId(s.explicitVoice.get()) : defaultVoiceTokenId(s.machine);
    if (id.empty()) return SPERR_NOT_FOUND;

    auto r = std::make_shared<Request>();
    r->flags = flags;
    r->fragments = FragmentList::build(view, speakParsesMarkup(view, flags));
    r->tokenId = std::move(id);
    r->token = s.explicitVoice;
    {
        std::lock_guard lock(s.mutex);
        r->stream = s.nextStream++;
        s.machine.beginOutsideWork();
        s.queue.push_back(r);
        if (!s.worker.joinable()) s.worker = std::thread([st = s_.get()] { st->run(); });
        s.cv.notify_all();
    }
    if (pStreamNumber) *pStreamNumber = r->stream;
    if (flags & SPF_ASYNC) return S_OK;

    std::unique_lock lock(s.mutex);
    if (!s.cv.wait_for(lock, kSyncSpeakBound, [&] { return r->done; })) {
        s.purgeLocked();
        return E_ABORT;
    }
    return r->result;
}

bool SpVoice::waitUntilDone(int64_t ms) {
    if (ms < 0) ms = kDefaultWaitBoundMs;
    auto s = s_;
    const bool done = s->machine.runUntil(
        [s] {
            std::lock_guard lock(s->mutex);
            return s->idleLocked();
        },
        static_cast<uint64_t>(ms));
    // The worker posts its last events before it turns idle: one more round delivers them.
    if (done) s->machine.pumpOnce();
    return done;
}

HRESULT SpVoice::WaitUntilDone(LONG msTimeout, BOOL* pDone) {
    const bool done = waitUntilDone(msTimeout);
    if (pDone) *pDone = done ? TRUE : FALSE;
    return done ? S_OK : S_FALSE;
}

HRESULT SpVoice::GetRate(LONG* pRate) {
    if (!pRate) return E_POINTER;
    *pRate = s_->rate.load();
    return S_OK;
}

HRESULT SpVoice::SetRate(LONG rate) {
    if (rate < -10 || rate > 10) return E_INVALIDARG;
    if (s_->rate.exchange(rate) != rate) s_->actions.fetch_or(SPVES_RATE);
    return S_OK;
}

HRESULT SpVoice::GetVolume(LONG* pVolume) {
    if (!pVolume) return E_POINTER;
    *pVolume = s_->volume.load();
    return S_OK;
}

HRESULT SpVoice::SetVolume(LONG volume) {
    if (volume < 0 || volume > 100) return E_INVALIDARG;
    if (s_->volume.exchange(volume) != volume) s_->actions.fetch_or(SPVES_VOLUME);
    return S_OK;
}

HRESULT SpVoice::GetVoice(ISpObjectToken** ppToken) {
    if (!ppToken) return E_POINTER;
    *ppToken = nullptr;
    if (s_->explicitVoice) {
        *ppToken = com::ComPtr<ISpObjectToken>(s_->explicitVoice).detach();
        return S_OK;
    }
    const std::string id = defaultVoiceTokenId(s_->machine);
    if (id.empty()) return SPERR_NOT_FOUND;
    return openToken(s_->machine, id, ppToken);
}

HRESULT SpVoice::SetVoice(ISpObjectToken* pToken) {
    s_->explicitVoice = com::ComPtr<ISpObjectToken>::share(pToken);
    return S_OK;
}

HRESULT SpVoice::Skip(LONG numSentences, LONG* pSkipped) {
    if (pSkipped) *pSkipped = 0;
    if (numSentences < 0) return E_INVALIDARG;
    std::unique_lock lock(s_->mutex);
    if (!s_->current || numSentences == 0) return S_OK;
    s_->skipRequested = numSentences;
    s_->skipDone = -1;
    s_->actions.fetch_or(SPVES_SKIP);
    // The engine answers at its next check; a busy or finished engine leaves the count at 0.
    s_->cv.wait_for(lock, kSkipWait, [&] { return s_->skipDone >= 0 || !s_->current; });
    if (pSkipped && s_->skipDone > 0) *pSkipped = s_->skipDone;
    return S_OK;
}

HRESULT SpVoice::speak(std::string_view utf8Text, DWORD flags, ULONG* pStreamNumber) {
    const std::u16string w = sys::toUtf16(utf8Text);
    return Speak(w.c_str(), flags, pStreamNumber);
}

bool SpVoice::isSpeaking() const {
    std::lock_guard lock(s_->mutex);
    return !s_->idleLocked();
}

HRESULT SpVoice::lastResult() const {
    std::lock_guard lock(s_->mutex);
    return s_->lastResult;
}

void SpVoice::setEventCallback(std::function<void(const VoiceEvent&)> callback) {
    std::lock_guard lock(s_->eventMutex);
    s_->callback = std::move(callback);
}

std::vector<VoiceEvent> SpVoice::takeEvents() {
    std::lock_guard lock(s_->eventMutex);
    std::vector<VoiceEvent> out(s_->delivered.begin(), s_->delivered.end());
    s_->delivered.clear();
    return out;
}

void SpVoice::setEventInterest(uint64_t interest) { s_->interest = interest | SPFEI_FLAGCHECK; }

} // namespace speech
