#include "SpeakLoop.h"

#include "TextFrontEnd.h"
#include "TextSegmenter.h"
#include "VoiceLookup.h"
#include "VoxlingObj.h"

#include "platform/speech/SpeechThread.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

namespace voxling {

using namespace win;

namespace {

constexpr uint32_t kSilenceBytesPerMs = 22;  // whatever the output format
constexpr uint32_t kMbOk = 0;

// The synthesis writes through the service's site.
class SiteOutput final : public SynthOutput {
public:
    explicit SiteOutput(ISpTTSEngineSite* site) : site_(site) {}
    int32_t Write(const void* pcm, uint32_t bytes) override {
        ULONG written = 0;
        return site_->Write(pcm, bytes, &written);
    }
    bool Aborted() override { return (site_->GetActions() & SPVES_ABORT) != 0; }

private:
    ISpTTSEngineSite* site_;
};

// The leading decimal number of a bookmark's name, 0 when there is none.
uintptr_t leadingNumber(std::u16string_view text) {
    uint64_t v = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        v = std::min<uint64_t>(v * 10 + uint64_t(c - u'0'), UINT32_MAX);
    }
    return uintptr_t(v);
}

class Speaker {
public:
    Speaker(VoxlingObj& engine, UnitSynth& synth, ISpTTSEngineSite* site)
        : engine_(engine), lib_(engine.library()), synth_(synth), site_(site), out_(site),
          settings_(engine.settings()), lookup_(lib_.phrases, lib_.sentences) {}

    HRESULT run(const std::vector<Fragment>& fragments);

private:
    HRESULT failure() const { return FAILED(hr_) ? hr_ : synth_.state.result; }
    bool aborted() { return (site_->GetActions() & SPVES_ABORT) != 0; }
    void event(SPEVENTENUM id, SPEVENTLPARAMTYPE type, uintptr_t wParam, intptr_t lParam) {
        const SPEVENT e{WORD(id), WORD(type), 0, synth_.state.byteCount, wParam, lParam};
        const HRESULT hr = site_->AddEvents(&e, 1);
        if (FAILED(hr) && SUCCEEDED(hr_)) hr_ = hr;
    }
    void readRate() {
        LONG r = 0;
        if (SUCCEEDED(site_->GetRate(&r))) rate_ = std::clamp<LONG>(r, -10, 10);
    }
    void readVolume() {
        USHORT v = 100;
        if (SUCCEEDED(site_->GetVolume(&v))) volume_ = std::min<int>(v, 100);
    }

    void speakSentence(const std::vector<Item>& items);
    void speakItem(const Item& item);
    void playPhrase(int length);
    void voiceUnits(const std::vector<Utterance>& units);
    void warnNumberTooLarge();

    VoxlingObj& engine_;
    VoiceLibrary& lib_;
    UnitSynth& synth_;
    ISpTTSEngineSite* site_;
    SiteOutput out_;
    const EngineSettings settings_;
    VoiceLookup lookup_;
    int rate_ = 0;
    int volume_ = 100;
    HRESULT hr_ = S_OK;
};

HRESULT Speaker::run(const std::vector<Fragment>& fragments) {
    SynthState& st = synth_.state;
    st.peak = engine_.peakReference();
    st.phraseDivisor = 0;
    st.byteCount = 0;
    st.result = kSynthOk;
    st.readSentence = false;
    st.sentence.clear();

    TextSegmenter segmenter(fragments);
    std::vector<Item> items;
    while (SUCCEEDED(failure())) {
        const DWORD actions = site_->GetActions();
        if (actions & SPVES_ABORT) break;
        if (actions & SPVES_SKIP) {
            SPVSKIPTYPE type = SPVST_SENTENCE;
            LONG count = 0;
            site_->GetSkipInfo(&type, &count);
            site_->CompleteSkip(0);
        }
        if (!segmenter.nextSentence(items)) break;
        if (aborted()) break;
        if (settings_.ReadSentence == 1) {
            const Item& first = items.front();
            const Item& last = items.back();
            const uint32_t end = last.sourceOffset + last.sourceLength;
            event(SPEI_SENTENCE_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, end - std::min(end, first.sourceOffset),
                  intptr_t(first.sourceOffset));
            st.sentence.clear();
            st.readSentence = true;
            speakSentence(items);
            st.readSentence = false;
            // The sentence goes out whole, even when it was cut short by an abort.
            if (!st.sentence.empty() && SUCCEEDED(hr_)) {
                ULONG written = 0;
                const HRESULT hr = site_->Write(st.sentence.data(), ULONG(st.sentence.size()), &written);
                if (FAILED(hr)) hr_ = hr;
            }
            st.sentence.clear();
        } else {
            speakSentence(items);
        }
    }
    st.sentence.clear();
    st.sentence.shrink_to_fit();
    return failure();
}

void Speaker::speakSentence(const std::vector<Item>& items) {
    for (const Item& item : items) {
        if (FAILED(failure())) return;
        const DWORD actions = site_->GetActions();
        if (actions & SPVES_ABORT) return;
        if (actions & SPVES_VOLUME) readVolume();
        switch (item.action) {
        case FragmentAction::Silence: {
            const uint32_t ms = std::min(item.fragment ? item.fragment->silenceMs : 0, SpeakSession::kMaxSilenceMs);
            synth_.WriteSilence(out_, uint64_t(ms) * kSilenceBytesPerMs);
            break;
        }
        case FragmentAction::Bookmark: {
            const std::u16string name = item.text;  // a zero-terminated copy for the event
            event(SPEI_TTS_BOOKMARK, SPET_LPARAM_IS_STRING, leadingNumber(name), intptr_t(name.c_str()));
            break;
        }
        case FragmentAction::Speak:
            speakItem(item);
            if (SUCCEEDED(failure())) synth_.WriteSilence(out_, itemEndPause(rate_));
            break;
        default:
            break;  // pronunciations, spelling, sections and unknown tags say nothing here
        }
    }
}

void Speaker::speakItem(const Item& item) {
    ItemReader reader(item, settings_, &lookup_);
    while (!reader.done() && SUCCEEDED(failure()) && !aborted()) {
        if (site_->GetActions() & SPVES_RATE) readRate();
        const Step step = reader.next(rate_);
        if (settings_.ReadSentence != 1)
            for (const WordEvent& w : step.words)
                event(SPEI_WORD_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, w.length, intptr_t(w.sourceOffset));
        switch (step.kind) {
        case Step::Kind::Sentence: {
            if (step.sentence < 0 || size_t(step.sentence) >= lib_.sentences.size()) break;
            const std::u16string& path = lib_.sentences.entry(size_t(step.sentence)).path;
            sys::Machine* m = engine_.machine();
            if (m) synth_.PlayRecordedFile(out_, rate_, volume_, m->hostPath(sys::fromUtf16(path)), SoundFileKind(path));
            break;
        }
        case Step::Kind::Phrase:
            playPhrase(step.phraseLength);
            break;
        case Step::Kind::Number:
        case Step::Kind::Markup:
            if (step.numberTooLarge) warnNumberTooLarge();
            if (step.silenceBytes) synth_.WriteSilence(out_, step.silenceBytes);
            voiceUnits(step.units);
            break;
        case Step::Kind::Single:
            voiceUnits(step.units);
            break;
        case Step::Kind::Skip:
            break;
        }
    }
}

void Speaker::playPhrase(int length) {
    const PhraseRecord& rec = lib_.phrases.currentPhrase();
    if (rec.text.size() >= 2) engine_.phraseMatched(rec);
    if (rec.hasRecording()) {
        const std::vector<uint8_t> mp3 = lib_.phraseRecording(rec.recordingOffset, rec.recordingLength);
        synth_.PlayPhraseRecording(out_, rate_, volume_, mp3);
        return;
    }
    synth_.state.phraseDivisor = rec.duration[0];
    const int syllables = std::min<int>({length, int(rec.reading.size()), 8});
    for (int k = 0; k < syllables && SUCCEEDED(failure()); ++k) {
        const DWORD actions = site_->GetActions();
        if (actions & SPVES_RATE) readRate();
        if (actions & SPVES_VOLUME) readVolume();
        const uint32_t unit = readingUnit(rec.reading[size_t(k)]);
        synth_.SynthesizeSyllable(out_, rate_, volume_, lib_.unitAudio(unit), rec.a[size_t(k)], rec.b[size_t(k)],
                                  rec.c[size_t(k)], rec.duration[size_t(k)]);
        if (aborted()) break;
    }
    synth_.state.phraseDivisor = 0;
}

void Speaker::voiceUnits(const std::vector<Utterance>& units) {
    for (const Utterance& u : units) {
        // Checked per unit: a long item would otherwise be voiced to its end after an abort.
        if (FAILED(failure()) || aborted()) return;
        if (u.unit != 0) synth_.SynthesizeSyllable(out_, rate_, volume_, lib_.unitAudio(u.unit));
        if (u.pauseBytes) synth_.WriteSilence(out_, u.pauseBytes);
    }
}

void Speaker::warnNumberTooLarge() {
    if (sys::Machine* m = engine_.machine()) {
        const UiStrings& ui = engine_.uiStrings();
        speech::speechThreadMessageBox(*m, ui.numberWarning, ui.tipTitle, kMbOk);
    }
}

} // namespace

HRESULT SpeakSession::speak(VoxlingObj& engine, DWORD, REFGUID, const WAVEFORMATEX*, const SPVTEXTFRAG* list,
                            ISpTTSEngineSite* site) {
    if (!site) return E_INVALIDARG;
    try {
        std::vector<Fragment> fragments;
        for (const SPVTEXTFRAG* f = list; f; f = f->pNext) {
            if (fragments.size() >= kMaxFragments) return E_INVALIDARG;
            if (f->ulTextLen && !f->pTextStart) return E_INVALIDARG;
            Fragment frag;
            frag.action = static_cast<FragmentAction>(f->State.eAction);
            frag.text = f->pTextStart;
            frag.length = f->ulTextLen;
            frag.sourceOffset = f->ulTextSrcOffset;
            frag.silenceMs = f->State.SilenceMSecs;
            // The service's text is one zero-terminated copy: the zero right after a fragment
            // ends the caller's text.
            frag.endsText = f->pTextStart && f->pTextStart[f->ulTextLen] == 0;
            frag.state = f;
            fragments.push_back(frag);
        }
        Speaker speaker(engine, synth_, site);
        return speaker.run(fragments);
    } catch (const std::bad_alloc&) {
        synth_.state.sentence.clear();
        return E_OUTOFMEMORY;
    }
}

} // namespace voxling
