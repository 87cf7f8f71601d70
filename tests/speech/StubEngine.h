#pragma once
// The engine stub the speech tests load through a voice token. What it does:
//  - SetObjectToken: reads the token's string value "SampleRate" (its declared output rate) and
//    fails with E_INVALIDARG when the token has a "Damaged" value, and with E_ACCESSDENIED when
//    it has a "BindOnWorker" value and is bound outside a speech worker.
//  - Speak: for each Speak fragment, per non-blank character: a word-boundary event (offset =
//    bytes so far, lParam = source offset, wParam = 1) and kBytesPerChar bytes of the
//    character's low byte. A Silence fragment writes SilenceMSecs of zero samples; a Bookmark
//    sends its name as a string event. Other actions send a private event with wParam = action.
//    Text "hold" waits for abort or skip (within the tests' bound on the outside world); text
//    "notice" raises a message box; the engine reports rate and volume changes as private events
//    (wParam 100 + rate, 1000 + volume).
#include "platform/speech/SpeechApi.h"

constexpr win::CLSID CLSID_StubEngine = {0x6A0B7E21, 0x1C2D, 0x4E3F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
constexpr unsigned kBytesPerChar = 20;
