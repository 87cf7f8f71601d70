#include "RegistryAccess.h"

#include "platform/registry/Registry.h"
#include "platform/system/Machine.h"

namespace com::regaccess {
namespace {

win::HKEY root(Hive h) {
    switch (h) {
    case Hive::ClassesRoot: return win::HKEY_CLASSES_ROOT;
    case Hive::CurrentUser: return win::HKEY_CURRENT_USER;
    case Hive::LocalMachine: return win::HKEY_LOCAL_MACHINE;
    }
    return win::HKEY_LOCAL_MACHINE;
}

// The registry acts on the current machine; a call for another one makes that one current for
// its duration (only tests run several machines).
template <class F>
auto onMachine(sys::Machine& m, F&& f) {
    if (sys::Machine::currentOrNull() == &m) return f();
    sys::MachineScope scope(m);
    return f();
}

} // namespace

std::optional<std::pair<Hive, std::string>> splitRootedPath(std::string_view path) {
    const size_t slash = path.find('\\');
    const std::string first = sys::upperAscii(std::string(path.substr(0, slash)));
    const std::string rest = slash == std::string_view::npos ? "" : std::string(path.substr(slash + 1));
    if (first == "HKEY_LOCAL_MACHINE" || first == "HKLM") return std::pair{Hive::LocalMachine, rest};
    if (first == "HKEY_CURRENT_USER" || first == "HKCU") return std::pair{Hive::CurrentUser, rest};
    if (first == "HKEY_CLASSES_ROOT" || first == "HKCR") return std::pair{Hive::ClassesRoot, rest};
    return std::nullopt;
}

bool keyExists(sys::Machine& m, Hive hive, std::string_view key) {
    return onMachine(m, [&] { return reg::keyExists(root(hive), std::string(key)); });
}

bool createKey(sys::Machine& m, Hive hive, std::string_view key) {
    return onMachine(m, [&] { return reg::createKey(root(hive), std::string(key)); });
}

bool deleteTree(sys::Machine& m, Hive hive, std::string_view key) {
    if (key.find_first_not_of('\\') == std::string_view::npos) return false;  // a hive itself stays
    return onMachine(m, [&] { return reg::deleteTree(root(hive), std::string(key)); });
}

std::vector<std::string> subKeys(sys::Machine& m, Hive hive, std::string_view key) {
    return onMachine(m, [&] { return reg::subKeys(root(hive), std::string(key)); });
}

std::vector<std::string> valueNames(sys::Machine& m, Hive hive, std::string_view key) {
    return onMachine(m, [&] { return reg::valueNames(root(hive), std::string(key)); });
}

std::optional<std::string> getString(sys::Machine& m, Hive hive, std::string_view key, std::string_view value) {
    return onMachine(m, [&] { return reg::getString(root(hive), std::string(key), std::string(value)); });
}

bool setString(sys::Machine& m, Hive hive, std::string_view key, std::string_view value, std::string_view data) {
    return onMachine(m, [&] {
        return reg::setString(root(hive), std::string(key), std::string(value), std::string(data));
    });
}

std::optional<uint32_t> getDword(sys::Machine& m, Hive hive, std::string_view key, std::string_view value) {
    return onMachine(m, [&]() -> std::optional<uint32_t> {
        auto v = reg::getDword(root(hive), std::string(key), std::string(value));
        if (!v) return std::nullopt;
        return *v;
    });
}

bool setDword(sys::Machine& m, Hive hive, std::string_view key, std::string_view value, uint32_t data) {
    return onMachine(m, [&] { return reg::setDword(root(hive), std::string(key), std::string(value), data); });
}

bool deleteValue(sys::Machine& m, Hive hive, std::string_view key, std::string_view value) {
    return onMachine(m, [&] { return reg::deleteValue(root(hive), std::string(key), std::string(value)); });
}

} // namespace com::regaccess
