#pragma once
// A voice that speaks for program tests: the speech tests' stub engine registered on the machine
// and made the user's default voice, its audio going nowhere. The test's target defines
// SPEECH_TEST_ENGINE (the stub's library) and depends on speech_test_engine.
#include "platform/com/ComBase.h"
#include "platform/registry/Registry.h"
#include "platform/speech/SpVoice.h"
#include "platform/speech/VoiceTokens.h"
#include "platform/system/Machine.h"
#include "tests/speech/StubEngine.h"

#include <gtest/gtest.h>

namespace testing_support {

inline void installStubVoice(sys::Machine& m) {
    m.setSetting("audio.output", "none");
    speech::installSpeechService(m);
    EXPECT_EQ(com::registerServer(m, SPEECH_TEST_ENGINE), win::S_OK);
    speech::VoiceTokenSpec voice;
    voice.name = "StubVoice";
    voice.displayName = "Stub Voice";
    voice.clsid = CLSID_StubEngine;
    voice.values = {{"SampleRate", "11025"}};
    reg::setString(win::HKEY_CURRENT_USER, speech::kVoicesKey, "DefaultTokenId", speech::registerVoiceToken(m, voice));
}

} // namespace testing_support
