#include "SpeakLoop.h"

#include "VoxlingObj.h"

namespace voxling {

using namespace win;

HRESULT SpeakSession::speak(VoxlingObj&, DWORD, REFGUID, const WAVEFORMATEX*, const SPVTEXTFRAG*, ISpTTSEngineSite*) {
    return E_NOTIMPL;
}

} // namespace voxling
