// libFuzzer's entry for the voice files (built on request: -DPENNANT_FUZZ=ON with clang).
#include "VoiceFilesFuzz.h"

#include "platform/system/Machine.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto machine = std::make_unique<sys::Machine>(sys::MachineOptions{});
    static sys::MachineScope scope(*machine);
    voicefuzz::runOne(data, size);
    return 0;
}
