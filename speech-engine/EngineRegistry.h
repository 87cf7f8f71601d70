#pragma once
// The engine settings as REG_DWORD values under one fixed key of HKEY_LOCAL_MACHINE, on the
// current machine.
#include "EngineSettings.h"

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

} // namespace voxling
