#include "Module.h"

#include "LastError.h"
#include "Machine.h"
#include "Process.h"
#include "Resources.h"

#include <map>
#include <mutex>

namespace win {

struct LoadedModules {
    struct Module {
        uint32_t process = 0;
        std::string path;  // full Windows path
        int loads = 0;
    };
    std::mutex mutex;
    std::map<HMODULE, Module> byHandle;
    HMODULE next = 0x10000000;
};

namespace {

LoadedModules& modules() { return sys::Machine::current().service<LoadedModules>(); }

std::string ownProgramFile() {
    auto& m = sys::Machine::current();
    const auto self = sys::ProcessTable::of(m).find(m.currentProcessId());
    return self ? m.fullWinPath(self->exePath()) : std::string();
}

} // namespace

HMODULE LoadLibraryExA(const std::string& fileName, HANDLE, DWORD) {
    auto& m = sys::Machine::current();
    const std::string full = fileName.empty() ? std::string() : m.fullWinPath(fileName);
    if (full.empty() || (!sys::iequals(full, ownProgramFile()) && !m.fileExists(full))) {
        SetLastError(static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        return 0;
    }
    auto& t = modules();
    std::lock_guard lock(t.mutex);
    const uint32_t pid = m.currentProcessId();
    for (auto& [handle, module] : t.byHandle)
        if (module.process == pid && sys::iequals(module.path, full)) {
            ++module.loads;
            return handle;
        }
    const HMODULE handle = t.next;
    t.next += 0x10000;
    t.byHandle[handle] = {pid, full, 1};
    return handle;
}

BOOL FreeLibrary(HMODULE module) {
    auto& t = modules();
    std::lock_guard lock(t.mutex);
    auto it = t.byHandle.find(module);
    if (it == t.byHandle.end() || it->second.process != sys::Machine::current().currentProcessId()) {
        SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
        return FALSE;
    }
    if (--it->second.loads == 0) t.byHandle.erase(it);
    return TRUE;
}

std::optional<std::string_view> moduleResource(HMODULE module, int type, std::string_view name) {
    std::string path;
    {
        auto& t = modules();
        std::lock_guard lock(t.mutex);
        auto it = t.byHandle.find(module);
        if (it == t.byHandle.end()) return std::nullopt;
        path = it->second.path;
    }
    if (!sys::iequals(path, ownProgramFile())) return std::nullopt;
    return sys::findResource(type, name);
}

size_t loadedModuleCount() {
    auto& t = modules();
    std::lock_guard lock(t.mutex);
    size_t n = 0;
    for (const auto& [handle, module] : t.byHandle)
        if (module.process == sys::Machine::current().currentProcessId()) ++n;
    return n;
}

} // namespace win
