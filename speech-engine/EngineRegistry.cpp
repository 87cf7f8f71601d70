#include "EngineRegistry.h"

#include "platform/registry/Registry.h"
#include "platform/system/Machine.h"

#include <string>

namespace voxling {

namespace {

using namespace win;

bool openKey(REGSAM access, HKEY* key) {
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEngineSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                           nullptr, key, nullptr) == 0;
}

bool readAll(EngineSettings& settings, bool defaultWhenMissing) {
    HKEY key = 0;
    if (!openKey(KEY_READ, &key)) return false;
    for (std::u16string_view name : EngineSettings::kValueNames) {
        const std::u16string z(name);
        BYTE data[4] = {};
        DWORD type = REG_NONE;
        DWORD size = sizeof data;
        const LONG rc = RegQueryValueExW(key, z.c_str(), nullptr, &type, data, &size);
        // A value of another type or size is as good as missing: it is no setting of ours.
        if (rc == 0 && type == REG_DWORD && size == sizeof data)
            settings.assign(name, uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                                      uint32_t(data[3]) << 24);
        else if (defaultWhenMissing)
            settings.assignDefault(name);
    }
    RegCloseKey(key);
    settings.clamp();
    return true;
}

} // namespace

bool ReadEngineSettings(EngineSettings& settings) { return readAll(settings, true); }

bool LoadEngineSettings(EngineSettings& settings) { return readAll(settings, false); }

bool SaveEngineSettings(const EngineSettings& settings) {
    EngineSettings s = settings;
    s.clamp();
    HKEY key = 0;
    if (!openKey(KEY_WRITE, &key)) return false;
    bool ok = true;
    for (std::u16string_view name : EngineSettings::kValueNames) {
        const std::u16string z(name);
        const uint32_t v = static_cast<uint32_t>(s.value(name));
        const BYTE data[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
        ok = RegSetValueExW(key, z.c_str(), 0, REG_DWORD, data, sizeof data) == 0 && ok;
    }
    RegCloseKey(key);
    return ok;
}

void PublishEngineSettings(sys::Machine& machine, const EngineSettings& settings) {
    auto& p = machine.service<PublishedEngineSettings>();
    std::lock_guard lock(p.mutex);
    p.values = settings;
    p.values.clamp();
    ++p.version;
}

uint64_t PublishedSettingsVersion(sys::Machine& machine) {
    auto& p = machine.service<PublishedEngineSettings>();
    std::lock_guard lock(p.mutex);
    return p.version;
}

bool TakePublishedSettings(sys::Machine& machine, EngineSettings& settings, uint64_t& seen) {
    auto& p = machine.service<PublishedEngineSettings>();
    std::lock_guard lock(p.mutex);
    if (p.version == seen) return false;
    settings = p.values;
    seen = p.version;
    return true;
}

} // namespace voxling
