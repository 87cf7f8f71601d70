#pragma once
// The layer's per-machine objects, shared by its own sources only.
#include "Gdi.h"

#include <map>
#include <memory>

namespace win::gdi_detail {

struct Bitmap {
    int width = 0, height = 0, bits = 32;
    bool bottomUp = true;
    bool stock = false;
    HDC selectedIn = 0;
    int stride = 0;
    std::unique_ptr<uint8_t[]> pixels;
    // Row y of the picture, counted from the top.
    uint8_t* row(int y) const { return pixels.get() + static_cast<size_t>(bottomUp ? height - 1 - y : y) * stride; }
};

// A memory context holds pixels through its bitmap; a window's or the screen's does not.
struct Context {
    bool memory = true;
    HWND window = 0;
    HBITMAP bitmap = 0;
    int stretchMode = BLACKONWHITE;
};

// The bitmap selected into a memory context, or nullptr.
Bitmap* bitmapOf(HDC hdc);

} // namespace win::gdi_detail
