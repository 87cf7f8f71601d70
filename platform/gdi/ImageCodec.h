#pragma once
// Encoded images in and out (PNG through libpng, JPEG through libjpeg), and drawing a decoded
// image into a memory device context: the part of an imaging library the program uses.
#include "Gdi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gdi {

// Straight (not premultiplied) alpha, rows top-down, 4 bytes a pixel: blue, green, red, alpha.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> bgra;
};

// PNG or JPEG, told by its signature. Nothing for anything else, for damaged data and for
// images larger than kMaxPixels.
std::optional<Image> decodeImage(std::string_view bytes);
constexpr int64_t kMaxPixels = 64LL * 1024 * 1024;

std::optional<std::string> encodePng(const Image& image);
// Alpha is dropped; quality is clamped to 0..100.
std::optional<std::string> encodeJpeg(const Image& image, int quality);

// Draws the image scaled to width x height into the context's bitmap at (0, 0), composed over
// what is there, after turning it: 0, 90 (a quarter turn anticlockwise: the bitmap is height
// wide and width high), 180, or 270 (a quarter turn clockwise). A 32-bit bitmap receives
// premultiplied alpha. False when the context holds no bitmap or the turn is none of these.
bool drawImage(win::HDC hdc, const Image& image, int width, int height, int turn = 0);

// The pixels of the bitmap selected into a memory context, as an image (a 24-bit bitmap reads
// as opaque; a 32-bit one's alpha byte is taken as it is).
std::optional<Image> readBitmap(win::HDC hdc);

} // namespace gdi
