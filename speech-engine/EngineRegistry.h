#pragma once
// The engine settings as REG_DWORD values under one fixed key of HKEY_LOCAL_MACHINE, on the
// current machine.
#include "EngineSettings.h"

#include <cstdint>
#include <mutex>

namespace sys { class Machine; }

namespace voxling {

inline constexpr char16_t kEngineSettingsKey[] =
    u"Software\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese\\UI\\EngineProperties";

// What the engine reads when it is built: every value whose query fails (missing, not a
// REG_DWORD) takes its default; the values read are brought into range. False when the key
// cannot be opened, leaving the settings as they are.
bool ReadEngineSettings(EngineSettings& settings);
// The settings dialog's load: a missing value keeps what is held.
bool LoadEngineSettings(EngineSettings& settings);
// Writes all seven values (clamped first); false when the key cannot be opened or a write fails.
bool SaveEngineSettings(const EngineSettings& settings);

// The values the settings dialog last saved on a machine. Every engine object of the machine
// takes them before its next Speak, so the running engine follows the dialog at once while a
// Speak under way keeps the values it started with.
struct PublishedEngineSettings {
    std::mutex mutex;
    EngineSettings values;
    uint64_t version = 0;  // 0: nothing published yet
};
void PublishEngineSettings(sys::Machine& machine, const EngineSettings& settings);
// The version published so far (an object built now starts from it).
uint64_t PublishedSettingsVersion(sys::Machine& machine);
// Copies values published after version *seen into settings; false when there are none.
bool TakePublishedSettings(sys::Machine& machine, EngineSettings& settings, uint64_t& seen);

} // namespace voxling
