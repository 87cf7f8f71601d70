#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sys {

// The program's resource table: pages, scripts and images embedded at build time.
constexpr int kPageResourceType = 2110;

// Registers a resource; names are kept in upper case.
void addResource(int type, std::string_view name, std::string_view bytes);
// Looks a resource up by name without regard to case.
std::optional<std::string_view> findResource(int type, std::string_view name);

} // namespace sys
