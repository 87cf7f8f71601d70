#pragma once
// The speak loop: fragments to sentences and items, items to audio and events on the site.
#include "platform/speech/SpeechApi.h"

namespace voxling {

class VoxlingObj;

// The speaking state of one engine object.
class SpeakSession {
public:
    win::HRESULT speak(VoxlingObj& engine, win::DWORD flags, win::REFGUID formatId, const win::WAVEFORMATEX* format,
                       const win::SPVTEXTFRAG* fragments, win::ISpTTSEngineSite* site);
};

} // namespace voxling
