#pragma once
// Resizing 4-byte pixel blocks (rows top-down, no padding), shared by the layer's sources.
#include <cstdint>
#include <vector>

namespace win::gdi_detail {

// Each destination pixel is the average of the source area it covers (partial pixels weighted).
std::vector<uint8_t> areaResample(const std::vector<uint8_t>& src, int sw, int sh, int dw, int dh);
// Each destination pixel takes the source pixel under its centre.
std::vector<uint8_t> nearestResample(const std::vector<uint8_t>& src, int sw, int sh, int dw, int dh);

} // namespace win::gdi_detail
