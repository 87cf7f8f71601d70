#pragma once
// The engine's own icons, built into the library as PNG pictures.
#include <string_view>

namespace voxling {

// The picture of the icon resource named (without regard to case); empty when there is none.
std::string_view EngineIconBytes(std::string_view name);

} // namespace voxling
