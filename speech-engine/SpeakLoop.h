#pragma once
// The speak loop: the service's fragments to sentences and items, items to audio and events on
// the service's site, obeying its abort, skip, rate and volume actions.
#include "UnitSynth.h"

#include "platform/speech/SpeechApi.h"

namespace voxling {

class VoxlingObj;

// The speaking state of one engine object: the decoder and work buffers of its synthesis, the
// running byte count and the sentence buffer.
class SpeakSession {
public:
    // Longest silence fragment taken, in milliseconds.
    static constexpr uint32_t kMaxSilenceMs = 65535;
    // A fragment list longer than this is taken as damaged.
    static constexpr size_t kMaxFragments = 1u << 20;

    win::HRESULT speak(VoxlingObj& engine, win::DWORD flags, win::REFGUID formatId, const win::WAVEFORMATEX* format,
                       const win::SPVTEXTFRAG* fragments, win::ISpTTSEngineSite* site);

private:
    UnitSynth synth_;
};

} // namespace voxling
