#pragma once
// The registry as COM and the speech service read and write it (over the machine's registry,
// platform/registry), with the machine given explicitly. Names are compared without regard to
// case; texts are UTF-8.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sys { class Machine; }

namespace com::regaccess {

enum class Hive { ClassesRoot, CurrentUser, LocalMachine };

// "HKEY_LOCAL_MACHINE\SOFTWARE\..." (or HKLM\, HKCU\, HKCR\) into its hive and key path.
std::optional<std::pair<Hive, std::string>> splitRootedPath(std::string_view path);

bool keyExists(sys::Machine& m, Hive hive, std::string_view key);
bool createKey(sys::Machine& m, Hive hive, std::string_view key);
// Removes the key with everything below it; false when it did not exist.
bool deleteTree(sys::Machine& m, Hive hive, std::string_view key);
// Direct sub-keys, as spelt when created.
std::vector<std::string> subKeys(sys::Machine& m, Hive hive, std::string_view key);
std::vector<std::string> valueNames(sys::Machine& m, Hive hive, std::string_view key);

// value "" is the key's default value. A string read of a DWORD value gives nothing.
std::optional<std::string> getString(sys::Machine& m, Hive hive, std::string_view key, std::string_view value);
bool setString(sys::Machine& m, Hive hive, std::string_view key, std::string_view value, std::string_view data);
std::optional<uint32_t> getDword(sys::Machine& m, Hive hive, std::string_view key, std::string_view value);
bool setDword(sys::Machine& m, Hive hive, std::string_view key, std::string_view value, uint32_t data);
bool deleteValue(sys::Machine& m, Hive hive, std::string_view key, std::string_view value);

} // namespace com::regaccess
