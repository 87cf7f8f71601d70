#include "Resources.h"
#include "Machine.h"

#include <map>
#include <mutex>

namespace sys {
namespace {
std::mutex& tableMutex() {
    static std::mutex m;
    return m;
}
std::map<std::pair<int, std::string>, std::string_view>& table() {
    static std::map<std::pair<int, std::string>, std::string_view> t;
    return t;
}
} // namespace

void addResource(int type, std::string_view name, std::string_view bytes) {
    std::lock_guard lock(tableMutex());
    table()[{type, upperAscii(std::string(name))}] = bytes;
}

std::optional<std::string_view> findResource(int type, std::string_view name) {
    std::lock_guard lock(tableMutex());
    auto it = table().find({type, upperAscii(std::string(name))});
    if (it == table().end()) return std::nullopt;
    return it->second;
}

} // namespace sys
