#include "RegistryAccess.h"

#include "platform/system/Machine.h"

#include <map>
#include <mutex>

namespace com::regaccess {

// Stand-in store until the machine's file-backed registry is available to this layer. Kept per
// machine; the type is named (not in an anonymous namespace) so a server library's copy of this
// code finds the same store through the machine.
struct MemoryRegistry {
    struct Value {
        std::string name;
        bool isDword = false;
        std::string text;
        uint32_t number = 0;
    };
    struct Key {
        std::string path;  // as spelt when created
        std::map<std::string, Value> values;  // by upper-case name
    };
    std::mutex mutex;
    std::map<std::string, Key> keys;  // by upper-case full path
};

namespace {

const char* hiveName(Hive h) {
    switch (h) {
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    }
    return "";
}

// Full path with single backslashes and no leading or trailing ones.
std::string fullPath(Hive hive, std::string_view key) {
    std::string out = hiveName(hive);
    std::string part;
    auto flush = [&] {
        if (!part.empty()) out += "\\" + part;
        part.clear();
    };
    for (char c : key) {
        if (c == '\\') flush();
        else part += c;
    }
    flush();
    return out;
}

MemoryRegistry& store(sys::Machine& m) { return m.service<MemoryRegistry>(); }

MemoryRegistry::Key* find(MemoryRegistry& r, const std::string& path) {
    auto it = r.keys.find(sys::upperAscii(path));
    return it == r.keys.end() ? nullptr : &it->second;
}

MemoryRegistry::Key& create(MemoryRegistry& r, const std::string& path) {
    // Parents first, so every key on the way exists.
    for (size_t pos = path.find('\\'); pos != std::string::npos; pos = path.find('\\', pos + 1)) {
        const std::string parent = path.substr(0, pos);
        auto& k = r.keys[sys::upperAscii(parent)];
        if (k.path.empty()) k.path = parent;
    }
    auto& k = r.keys[sys::upperAscii(path)];
    if (k.path.empty()) k.path = path;
    return k;
}

} // namespace

std::optional<std::pair<Hive, std::string>> splitRootedPath(std::string_view path) {
    const size_t slash = path.find('\\');
    const std::string root = sys::upperAscii(std::string(path.substr(0, slash)));
    const std::string rest = slash == std::string_view::npos ? "" : std::string(path.substr(slash + 1));
    if (root == "HKEY_LOCAL_MACHINE" || root == "HKLM") return std::pair{Hive::LocalMachine, rest};
    if (root == "HKEY_CURRENT_USER" || root == "HKCU") return std::pair{Hive::CurrentUser, rest};
    if (root == "HKEY_CLASSES_ROOT" || root == "HKCR") return std::pair{Hive::ClassesRoot, rest};
    return std::nullopt;
}

bool keyExists(sys::Machine& m, Hive hive, std::string_view key) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    return find(r, fullPath(hive, key)) != nullptr;
}

bool createKey(sys::Machine& m, Hive hive, std::string_view key) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    create(r, fullPath(hive, key));
    return true;
}

bool deleteTree(sys::Machine& m, Hive hive, std::string_view key) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    const std::string path = sys::upperAscii(fullPath(hive, key));
    if (path == hiveName(hive)) return false;  // a hive itself stays
    bool found = false;
    for (auto it = r.keys.begin(); it != r.keys.end();) {
        if (it->first == path || it->first.starts_with(path + "\\")) {
            it = r.keys.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

std::vector<std::string> subKeys(sys::Machine& m, Hive hive, std::string_view key) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    const std::string prefix = sys::upperAscii(fullPath(hive, key)) + "\\";
    std::vector<std::string> out;
    for (auto it = r.keys.lower_bound(prefix); it != r.keys.end() && it->first.starts_with(prefix); ++it) {
        const std::string rest = it->second.path.substr(prefix.size());
        if (rest.find('\\') == std::string::npos) out.push_back(rest);
    }
    return out;
}

std::vector<std::string> valueNames(sys::Machine& m, Hive hive, std::string_view key) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    std::vector<std::string> out;
    if (auto* k = find(r, fullPath(hive, key)))
        for (auto& [upper, v] : k->values) out.push_back(v.name);
    return out;
}

std::optional<std::string> getString(sys::Machine& m, Hive hive, std::string_view key, std::string_view value) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    auto* k = find(r, fullPath(hive, key));
    if (!k) return std::nullopt;
    auto it = k->values.find(sys::upperAscii(std::string(value)));
    if (it == k->values.end() || it->second.isDword) return std::nullopt;
    return it->second.text;
}

bool setString(sys::Machine& m, Hive hive, std::string_view key, std::string_view value, std::string_view data) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    auto& k = create(r, fullPath(hive, key));
    k.values[sys::upperAscii(std::string(value))] = {std::string(value), false, std::string(data), 0};
    return true;
}

std::optional<uint32_t> getDword(sys::Machine& m, Hive hive, std::string_view key, std::string_view value) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    auto* k = find(r, fullPath(hive, key));
    if (!k) return std::nullopt;
    auto it = k->values.find(sys::upperAscii(std::string(value)));
    if (it == k->values.end() || !it->second.isDword) return std::nullopt;
    return it->second.number;
}

bool setDword(sys::Machine& m, Hive hive, std::string_view key, std::string_view value, uint32_t data) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    auto& k = create(r, fullPath(hive, key));
    k.values[sys::upperAscii(std::string(value))] = {std::string(value), true, {}, data};
    return true;
}

bool deleteValue(sys::Machine& m, Hive hive, std::string_view key, std::string_view value) {
    auto& r = store(m);
    std::lock_guard lock(r.mutex);
    auto* k = find(r, fullPath(hive, key));
    return k && k->values.erase(sys::upperAscii(std::string(value))) > 0;
}

} // namespace com::regaccess
