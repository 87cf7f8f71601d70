#include "StubEngine.h"

#include "platform/com/RegistryAccess.h"
#include "platform/media/AudioOutput.h"
#include "platform/speech/SpVoice.h"
#include "platform/speech/SpeechThread.h"
#include "platform/speech/VoiceTokens.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace win;
using speech::SpVoice;
using speech::VoiceEvent;
using testing_support::TestMachine;
namespace ra = com::regaccess;

namespace {

speech::VoiceTokenSpec stubVoice(std::string name, std::vector<std::pair<std::string, std::string>> values = {}) {
    speech::VoiceTokenSpec spec;
    spec.name = std::move(name);
    spec.displayName = "Stub Voice";
    spec.clsid = CLSID_StubEngine;
    spec.attributes = {{"Name", "Stub Voice"}, {"Gender", "Female"}, {"Language", "804"}};
    spec.values = {{"SampleRate", "11025"}, {"VoiceDef", "C:\\Voice\\VoiceDef.dat"}};
    for (auto& v : values) spec.values.push_back(v);
    return spec;
}

std::vector<VoiceEvent> ofKind(const std::vector<VoiceEvent>& evs, SPEVENTENUM id) {
    std::vector<VoiceEvent> out;
    std::copy_if(evs.begin(), evs.end(), std::back_inserter(out), [&](const VoiceEvent& e) { return e.id == id; });
    return out;
}

} // namespace

// A machine with the speech service, the stub engine registered by its own entry and a voice
// token for it made the user's default.
class SpeechTest : public ::testing::Test {
protected:
    void SetUp() override {
        m->setSetting("audio.output", "none");
        speech::installSpeechService(*m);
        ASSERT_EQ(com::registerServer(*m, SPEECH_TEST_ENGINE), S_OK);
        voiceId = speech::registerVoiceToken(*m, stubVoice("StubVoice"));
        ra::setString(*m, ra::Hive::CurrentUser, speech::kVoicesKey, "DefaultTokenId", voiceId);
    }

    com::ComPtr<ISpeechVoice> newVoice() {
        HRESULT hr = E_FAIL;
        auto v = com::createObject<ISpeechVoice>(*m, speech::kSpVoiceProgId, IID_ISpeechVoice, &hr);
        EXPECT_EQ(hr, S_OK);
        return v;
    }

    // Pumps until the voice delivered the start of the given stream; the events seen are kept.
    bool waitForStart(SpVoice& v, ULONG stream, std::vector<VoiceEvent>& seen) {
        return m->runUntil(
            [&] {
                auto evs = v.takeEvents();
                seen.insert(seen.end(), evs.begin(), evs.end());
                return std::any_of(seen.begin(), seen.end(), [&](const VoiceEvent& e) {
                    return e.id == SPEI_START_INPUT_STREAM && e.streamNumber == stream;
                });
            },
            testing_support::kOutsideWaitMs);
    }

    std::vector<media::PlayedClip> clips() { return media::audioRecorder(*m).clips(); }

    TestMachine m;
    std::string voiceId;
};

TEST_F(SpeechTest, SpeaksMarkedUpTextThroughTheEngineOfTheDefaultVoice) {
    auto voice = newVoice();
    ASSERT_TRUE(voice);
    SpVoice* v = SpVoice::from(voice.get());
    ASSERT_NE(v, nullptr);

    const std::u16string text = u"Hi <bookmark mark=\"12b\"/>yo<silence msec=\"100\"/>";
    ULONG stream = 0;
    ASSERT_EQ(voice->Speak(text.c_str(), SVSFlagsAsync | SVSFIsXML, &stream), S_OK);
    EXPECT_EQ(stream, 1u);
    BOOL done = FALSE;
    ASSERT_EQ(voice->WaitUntilDone(testing_support::kOutsideWaitMs, &done), S_OK);
    EXPECT_TRUE(done);
    EXPECT_EQ(v->lastResult(), S_OK);

    // Audio in the format the engine declared: 4 characters, then 100 ms of silence.
    auto played = clips();
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0].purpose, "speech");
    EXPECT_EQ(played[0].format, (media::AudioFormat{11025, 1, 16}));
    EXPECT_TRUE(played[0].closed);
    const size_t silence = 100 * 22050 / 1000;
    ASSERT_EQ(played[0].pcm.size(), 4 * kBytesPerChar + silence);
    EXPECT_EQ(played[0].pcm[0], 'H');
    EXPECT_EQ(played[0].pcm[3 * kBytesPerChar], 'o');
    EXPECT_EQ(played[0].pcm.back(), 0);

    const auto evs = v->takeEvents();
    for (auto& e : evs) EXPECT_EQ(e.streamNumber, stream);
    ASSERT_GE(evs.size(), 2u);
    EXPECT_EQ(evs.front().id, SPEI_START_INPUT_STREAM);
    EXPECT_EQ(evs.back().id, SPEI_END_INPUT_STREAM);
    EXPECT_EQ(evs.back().audioOffset, played[0].pcm.size());

    const auto words = ofKind(evs, SPEI_WORD_BOUNDARY);
    ASSERT_EQ(words.size(), 4u);
    const size_t yo = text.find(u"yo");
    const intptr_t offsets[] = {0, 1, static_cast<intptr_t>(yo), static_cast<intptr_t>(yo + 1)};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(words[i].lParam, offsets[i]) << i;
        EXPECT_EQ(words[i].audioOffset, i * kBytesPerChar) << i;
    }
    const auto marks = ofKind(evs, SPEI_TTS_BOOKMARK);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].text, u"12b");
    EXPECT_EQ(marks[0].lParam, 0);
    EXPECT_EQ(marks[0].audioOffset, 2 * kBytesPerChar);
}

TEST_F(SpeechTest, VoiceTokenReadsTheRegistry) {
    auto token = speech::openToken(*m, voiceId);
    ASSERT_TRUE(token);
    EXPECT_EQ(speech::tokenId(token.get()), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\StubVoice");

    auto read = [](ISpDataKey* key, const char16_t* name) {
        LPWSTR v = nullptr;
        HRESULT hr = key->GetStringValue(name, &v);
        std::u16string s = SUCCEEDED(hr) ? std::u16string(v) : u"<" + std::u16string(u"missing") + u">";
        CoTaskMemFree(v);
        return s;
    };
    EXPECT_EQ(read(token.get(), u"voicedef"), u"C:\\Voice\\VoiceDef.dat");
    EXPECT_EQ(read(token.get(), nullptr), u"Stub Voice");
    EXPECT_EQ(read(token.get(), u"CLSID"), com::guidToString16(CLSID_StubEngine));
    EXPECT_EQ(read(token.get(), u"NoSuchValue"), u"<missing>");
    LPWSTR out = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(token->GetStringValue(u"NoSuchValue", &out), SPERR_NOT_FOUND);
    EXPECT_EQ(out, nullptr);

    com::ComPtr<ISpDataKey> attrs;
    ASSERT_EQ(token->OpenKey(u"Attributes", attrs.put()), S_OK);
    EXPECT_EQ(read(attrs.get(), u"Gender"), u"Female");
    com::ComPtr<ISpDataKey> none;
    EXPECT_EQ(token->OpenKey(u"Nothing", none.put()), SPERR_NOT_FOUND);

    ASSERT_EQ(token->EnumKeys(0, &out), S_OK);
    EXPECT_EQ(std::u16string(out), u"Attributes");
    CoTaskMemFree(out);
    EXPECT_EQ(token->EnumKeys(1, &out), SPERR_NO_MORE_ITEMS);

    struct Match {
        const char16_t* attrs;
        BOOL expect;
    };
    for (const Match& c : {Match{u"Gender=Female;Language=804", TRUE}, Match{u"gender=female", TRUE},
                           Match{u"Gender=Male", FALSE}, Match{u"Age", FALSE}, Match{u"", TRUE}}) {
        BOOL matches = 2;
        EXPECT_EQ(token->MatchesAttributes(c.attrs, &matches), S_OK);
        EXPECT_EQ(matches, c.expect) << std::string(c.attrs, c.attrs + std::char_traits<char16_t>::length(c.attrs));
    }

    DWORD dw = 0;
    ASSERT_EQ(token->SetDWORD(u"Style", 3), S_OK);
    ASSERT_EQ(token->GetDWORD(u"style", &dw), S_OK);
    EXPECT_EQ(dw, 3u);
}

TEST_F(SpeechTest, DefaultVoiceFallsBackToAnInstalledOne) {
    const std::string other = speech::registerVoiceToken(*m, stubVoice("AnotherVoice"));
    EXPECT_EQ(speech::voiceTokenIds(*m), (std::vector<std::string>{other, voiceId}));
    EXPECT_EQ(speech::defaultVoiceTokenId(*m), voiceId);

    ra::setString(*m, ra::Hive::CurrentUser, speech::kVoicesKey, "DefaultTokenId",
                  std::string(speech::kVoiceTokensRoot) + "\\Uninstalled");
    EXPECT_EQ(speech::defaultVoiceTokenId(*m), other);
    ra::deleteValue(*m, ra::Hive::CurrentUser, speech::kVoicesKey, "DefaultTokenId");
    EXPECT_EQ(speech::defaultVoiceTokenId(*m), other);

    auto voice = newVoice();
    com::ComPtr<ISpObjectToken> token;
    ASSERT_EQ(voice->GetVoice(token.put()), S_OK);
    EXPECT_EQ(speech::tokenId(token.get()), other);
}

TEST_F(SpeechTest, SpeakReportsVoicesThatCannotSpeak) {
    speech::registerVoiceToken(*m, stubVoice("Damaged", {{"Damaged", "1"}}));
    auto unregistered = stubVoice("NoEngine");
    unregistered.clsid = GUID{0x01020304, 5, 6, {7, 8, 9, 10, 11, 12, 13, 14}};
    speech::registerVoiceToken(*m, unregistered);

    struct Case {
        const char* token;
        HRESULT expect;
    };
    // The engine is loaded by the voice's worker: a synchronous call returns its failure, an
    // asynchronous one is accepted and its failure is the request's result.
    for (const Case& c : {Case{"Damaged", E_INVALIDARG}, Case{"NoEngine", REGDB_E_CLASSNOTREG}}) {
        auto voice = newVoice();
        SpVoice* v = SpVoice::from(voice.get());
        auto token = speech::openToken(*m, std::string(speech::kVoiceTokensRoot) + "\\" + c.token);
        ASSERT_TRUE(token);
        ASSERT_EQ(voice->SetVoice(token.get()), S_OK);
        EXPECT_EQ(voice->Speak(u"hello", SVSFDefault, nullptr), c.expect) << c.token;
        EXPECT_EQ(voice->Speak(u"hello", SVSFlagsAsync, nullptr), S_OK) << c.token;
        ASSERT_TRUE(v->waitUntilDone(testing_support::kOutsideWaitMs)) << c.token;
        EXPECT_EQ(v->lastResult(), c.expect) << c.token;
    }
    EXPECT_TRUE(clips().empty());

    // No voice installed at all.
    TestMachine bare;
    speech::installSpeechService(*bare);
    auto voice = com::createObject<ISpeechVoice>(*bare, "Sapi.SpVoice", IID_ISpeechVoice);
    ASSERT_TRUE(voice);
    EXPECT_EQ(voice->Speak(u"hello", SVSFlagsAsync, nullptr), SPERR_NOT_FOUND);
    EXPECT_TRUE(clips().empty());
}

// Loading an engine reads its library and voice: the caller (a user-interface thread) never
// does it, and the first request still speaks.
TEST_F(SpeechTest, TheWorkerLoadsTheEngineAndTheFirstRequestSpeaks) {
    speech::registerVoiceToken(*m, stubVoice("Picky", {{"BindOnWorker", "1"}}));
    auto token = speech::openToken(*m, std::string(speech::kVoiceTokensRoot) + "\\Picky");
    ASSERT_TRUE(token);
    for (DWORD flags : {DWORD(SVSFlagsAsync), DWORD(SVSFDefault)}) {
        auto voice = newVoice();
        SpVoice* v = SpVoice::from(voice.get());
        ASSERT_EQ(voice->SetVoice(token.get()), S_OK);
        media::audioRecorder(*m).clear();
        EXPECT_EQ(voice->Speak(u"ab", flags, nullptr), S_OK) << flags;
        ASSERT_TRUE(v->waitUntilDone(testing_support::kOutsideWaitMs));
        EXPECT_EQ(v->lastResult(), S_OK) << flags;
        ASSERT_EQ(clips().size(), 1u) << flags;
        EXPECT_EQ(clips()[0].pcm.size(), 2 * kBytesPerChar) << flags;
    }
}

TEST_F(SpeechTest, SpeakValidatesItsArguments) {
    auto voice = newVoice();
    EXPECT_EQ(voice->Speak(nullptr, SVSFPurgeBeforeSpeak, nullptr), S_OK);
    EXPECT_EQ(voice->Speak(nullptr, SVSFlagsAsync, nullptr), E_INVALIDARG);
    EXPECT_EQ(voice->Speak(u"x", SVSFIsXML | SVSFIsNotXML, nullptr), E_INVALIDARG);
    EXPECT_EQ(voice->Speak(u"x", 0x1000, nullptr), E_INVALIDARG);
    EXPECT_EQ(voice->SetRate(11), E_INVALIDARG);
    EXPECT_EQ(voice->SetVolume(-1), E_INVALIDARG);
    EXPECT_EQ(voice->WaitUntilDone(100, nullptr), S_OK);  // nothing queued
    EXPECT_TRUE(clips().empty());
}

TEST_F(SpeechTest, PurgeAbortsTheCurrentRequestAndDropsQueuedOnes) {
    auto voice = newVoice();
    SpVoice* v = SpVoice::from(voice.get());
    std::vector<VoiceEvent> seen;
    ASSERT_EQ(voice->Speak(u"hold", SVSFlagsAsync, nullptr), S_OK);
    ASSERT_TRUE(waitForStart(*v, 1, seen));
    ASSERT_EQ(voice->Speak(u"dropped", SVSFlagsAsync, nullptr), S_OK);
    ULONG third = 0;
    ASSERT_EQ(voice->Speak(u"after", SVSFlagsAsync | SVSFPurgeBeforeSpeak, &third), S_OK);
    EXPECT_EQ(third, 3u);
    ASSERT_TRUE(v->waitUntilDone(testing_support::kOutsideWaitMs));

    auto evs = v->takeEvents();
    seen.insert(seen.end(), evs.begin(), evs.end());
    std::vector<ULONG> started;
    for (auto& e : ofKind(seen, SPEI_START_INPUT_STREAM)) started.push_back(e.streamNumber);
    EXPECT_EQ(started, (std::vector<ULONG>{1, 3}));
    EXPECT_EQ(ofKind(seen, SPEI_END_INPUT_STREAM).size(), 2u);

    auto played = clips();
    ASSERT_EQ(played.size(), 2u);
    EXPECT_TRUE(played[0].pcm.empty());
    EXPECT_EQ(played[1].pcm.size(), 5 * kBytesPerChar);
}

TEST_F(SpeechTest, WaitUntilDoneIsBoundedAndSkipReachesTheEngine) {
    auto voice = newVoice();
    SpVoice* v = SpVoice::from(voice.get());
    std::vector<VoiceEvent> seen;
    ASSERT_EQ(voice->Speak(u"hold", SVSFlagsAsync, nullptr), S_OK);
    ASSERT_TRUE(waitForStart(*v, 1, seen));
    BOOL done = TRUE;
    EXPECT_EQ(voice->WaitUntilDone(200, &done), S_FALSE);
    EXPECT_FALSE(done);
    EXPECT_TRUE(v->isSpeaking());

    LONG skipped = 0;
    ASSERT_EQ(voice->Skip(2, &skipped), S_OK);
    EXPECT_EQ(skipped, 2);
    EXPECT_TRUE(v->waitUntilDone(testing_support::kOutsideWaitMs));
}

TEST_F(SpeechTest, RateAndVolumeChangesReachTheEngineThroughTheSite) {
    auto voice = newVoice();
    SpVoice* v = SpVoice::from(voice.get());
    ASSERT_EQ(voice->SetRate(-4), S_OK);
    ASSERT_EQ(voice->SetVolume(40), S_OK);
    // Synchronous; every request tells the engine of the voice's settings once (its reads clear
    // the change flags), and a request at the normal settings tells it nothing.
    ASSERT_EQ(voice->Speak(u"ab", SVSFDefault, nullptr), S_OK);
    EXPECT_FALSE(v->isSpeaking());
    ASSERT_EQ(voice->Speak(u"cd", SVSFDefault, nullptr), S_OK);
    ASSERT_EQ(voice->SetRate(0), S_OK);
    ASSERT_EQ(voice->SetVolume(100), S_OK);
    ASSERT_EQ(voice->Speak(u"ef", SVSFDefault, nullptr), S_OK);
    m->runFor(10);
    std::vector<uintptr_t> reported;
    for (auto& e : ofKind(v->takeEvents(), SPEI_TTS_PRIVATE)) reported.push_back(e.wParam);
    EXPECT_EQ(reported, (std::vector<uintptr_t>{96, 1040, 96, 1040, 100, 1100}));
    LONG rate = 1, volume = 0;
    voice->GetRate(&rate);
    voice->GetVolume(&volume);
    EXPECT_EQ(rate, 0);
    EXPECT_EQ(volume, 100);
}

TEST_F(SpeechTest, MessageBoxOnTheSpeechThreadIsRecordedAndAnswered) {
    auto voice = newVoice();
    SpVoice* v = SpVoice::from(voice.get());
    ASSERT_EQ(voice->Speak(u"notice", SVSFlagsAsync, nullptr), S_OK);
    ASSERT_TRUE(v->waitUntilDone(testing_support::kOutsideWaitMs));
    auto boxes = speech::speechThreadMessageBoxes(*m);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "引擎提示");
    EXPECT_EQ(boxes[0].caption, "提示");
    auto answers = ofKind(v->takeEvents(), SPEI_TTS_PRIVATE);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].wParam, 501u);  // IDOK
    EXPECT_FALSE(speech::onSpeechThread(*m));

    struct Box {
        uint32_t type;
        int32_t answer;
    };
    for (const Box& b : {Box{0x0, 1}, Box{0x4, 6}, Box{0x104, 7}, Box{0x3, 6}, Box{0x203, 2}, Box{0x5, 4}})
        EXPECT_EQ(speech::speechThreadMessageBox(*m, "t", "c", b.type), b.answer) << b.type;
}

TEST_F(SpeechTest, VoicesTakeTurnsAndEventsReachACallback) {
    auto first = SpVoice::create(*m);
    auto second = SpVoice::create(*m);
    std::vector<VoiceEvent> seen;
    std::vector<intptr_t> words;
    second->setEventCallback([&](const VoiceEvent& e) {
        if (e.id == SPEI_WORD_BOUNDARY) words.push_back(e.lParam);
    });
    ASSERT_EQ(first->speak("hold", SVSFlagsAsync), S_OK);
    ASSERT_TRUE(waitForStart(*first, 1, seen));
    ASSERT_EQ(second->speak("你 好", SVSFlagsAsync), S_OK);
    m->runFor(100);
    EXPECT_TRUE(words.empty());  // waits for the first voice
    EXPECT_TRUE(second->isSpeaking());

    ASSERT_EQ(first->speak("", SVSFlagsAsync | SVSFPurgeBeforeSpeak), S_OK);
    ASSERT_TRUE(second->waitUntilDone(testing_support::kOutsideWaitMs));
    EXPECT_EQ(words, (std::vector<intptr_t>{0, 2}));
    EXPECT_TRUE(second->takeEvents().empty());
}

TEST_F(SpeechTest, ReleasingASpeakingVoiceStopsIt) {
    auto voice = newVoice();
    std::vector<VoiceEvent> seen;
    ASSERT_EQ(voice->Speak(u"hold", SVSFlagsAsync, nullptr), S_OK);
    ASSERT_TRUE(waitForStart(*SpVoice::from(voice.get()), 1, seen));
    voice.reset();  // joins the worker after aborting the engine
    m->runFor(10);  // events posted by the gone voice are dropped
    ASSERT_EQ(clips().size(), 1u);
    EXPECT_TRUE(clips()[0].closed);
}

namespace {
// A settings dialog object that records what the token hands it.
class RecordingUi final : public ISpTokenUI, public com::RefCount {
public:
    explicit RecordingUi(std::vector<std::string>& shown) : shown_(shown) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown && riid != IID_ISpTokenUI) return *ppv = nullptr, E_NOINTERFACE;
        *ppv = static_cast<ISpTokenUI*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }
    HRESULT IsUISupported(LPCWSTR type, void*, ULONG, IUnknown*, BOOL* supported) override {
        *supported = std::u16string(type) == SPDUI_EngineProperties;
        return S_OK;
    }
    HRESULT DisplayUI(HWND, LPCWSTR title, LPCWSTR, void*, ULONG, ISpObjectToken* token, IUnknown*) override {
        shown_.push_back(std::string(title, title + std::char_traits<char16_t>::length(title)) + " " +
                         speech::tokenId(token));
        return S_OK;
    }

private:
    std::vector<std::string>& shown_;
};
} // namespace

TEST_F(SpeechTest, TokenOpensTheSettingsDialogRegisteredUnderIt) {
    const GUID uiClass = {0x6A0B7E22, 0x1C2D, 0x4E3F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
    std::vector<std::string> shown;
    com::registerClassObject(*m, uiClass, "", [&](const GUID& iid, void** out) {
        auto* ui = new RecordingUi(shown);
        HRESULT hr = ui->QueryInterface(iid, out);
        ui->Release();
        return hr;
    });
    ra::setString(*m, ra::Hive::LocalMachine, std::string(speech::kVoiceTokensKey) + "\\StubVoice\\UI\\EngineProperties",
                  "CLSID", com::guidToString(uiClass));
    auto token = speech::openToken(*m, voiceId);
    ASSERT_TRUE(token);

    BOOL supported = FALSE;
    ASSERT_EQ(token->IsUISupported(SPDUI_EngineProperties, nullptr, 0, nullptr, &supported), S_OK);
    EXPECT_TRUE(supported);
    ASSERT_EQ(token->IsUISupported(u"AudioProperties", nullptr, 0, nullptr, &supported), S_OK);
    EXPECT_FALSE(supported);

    EXPECT_EQ(token->DisplayUI(0, u"Voice", SPDUI_EngineProperties, nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(token->DisplayUI(0, u"Voice", u"AudioProperties", nullptr, 0, nullptr), SPERR_NOT_FOUND);
    EXPECT_EQ(shown, (std::vector<std::string>{"Voice " + voiceId}));
}
