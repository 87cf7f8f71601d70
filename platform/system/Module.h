#pragma once
// Modules: program files loaded into the calling process by name. The resources a module
// carries are the program's own (the table in Resources.h), and only its own program file
// carries them.
#include "WinTypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace win {

using HMODULE = int32_t;
constexpr LONG ERROR_MOD_NOT_FOUND = 126;

// Loads the file as a module of the calling process: the process's own program file, or any file
// that exists. 0 (last error ERROR_MOD_NOT_FOUND) when there is none. Each load counts; the
// module goes with its last FreeLibrary.
HMODULE LoadLibraryExA(const std::string& fileName, HANDLE file, DWORD flags);
BOOL FreeLibrary(HMODULE module);
// The bytes of a resource of a loaded module; nothing for another file than the program's own.
std::optional<std::string_view> moduleResource(HMODULE module, int type, std::string_view name);
// Loaded modules of the calling process (tests).
size_t loadedModuleCount();

} // namespace win
