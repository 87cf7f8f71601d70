#include "Gdi.h"
#include "GdiState.h"
#include "Resample.h"

#include "platform/system/LastError.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <cstring>

namespace win {

using gdi_detail::Bitmap;
using gdi_detail::Context;

namespace {

constexpr DWORD kErrInvalidParameter = 87;
constexpr DWORD kErrInvalidHandle = 6;
constexpr DWORD kErrFileNotFound = 2;
constexpr int kMaxSide = 65535;

struct GdiObjects {
    int32_t next = 0x00020000;
    std::map<int32_t, std::unique_ptr<Bitmap>> bitmaps;
    std::map<int32_t, Context> contexts;
    std::map<HWND, WindowFace> faces;
    std::map<HWND, HBITMAP> pictures;
    HBITMAP stockBitmap = 0;

    int32_t newHandle() { return next += 4; }
};

GdiObjects& objects() { return sys::Machine::current().service<GdiObjects>(); }

Bitmap* bitmap(HBITMAP h) {
    auto& o = objects();
    auto it = o.bitmaps.find(h);
    return it == o.bitmaps.end() ? nullptr : it->second.get();
}

Context* context(HDC h) {
    auto& o = objects();
    auto it = o.contexts.find(h);
    return it == o.contexts.end() ? nullptr : &it->second;
}

int strideOf(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

HBITMAP addBitmap(int width, int height, int bits, bool bottomUp, bool stock = false) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return 0;
    if (bits != 24 && bits != 32) return 0;
    if (static_cast<int64_t>(width) * height > 64LL * 1024 * 1024) return 0;
    auto b = std::make_unique<Bitmap>();
    b->width = width;
    b->height = height;
    b->bits = bits;
    b->bottomUp = bottomUp;
    b->stock = stock;
    b->stride = strideOf(width, bits);
    b->pixels.reset(new (std::nothrow) uint8_t[static_cast<size_t>(b->stride) * height]());
    if (!b->pixels) return 0;
    auto& o = objects();
    const HBITMAP h = o.newHandle();
    o.bitmaps.emplace(h, std::move(b));
    return h;
}

HBITMAP stockBitmap() {
    auto& o = objects();
    if (!o.stockBitmap) o.stockBitmap = addBitmap(1, 1, 32, true, true);
    return o.stockBitmap;
}

// Pixel (x, y) as blue, green, red, alpha; a 24-bit pixel has alpha 0 as GDI writes it.
void readPixel(const Bitmap& b, int x, int y, uint8_t out[4]) {
    const uint8_t* p = b.row(y) + x * (b.bits / 8);
    out[0] = p[0], out[1] = p[1], out[2] = p[2], out[3] = b.bits == 32 ? p[3] : 0;
}

void writePixel(Bitmap& b, int x, int y, const uint8_t in[4]) {
    uint8_t* p = b.row(y) + x * (b.bits / 8);
    p[0] = in[0], p[1] = in[1], p[2] = in[2];
    if (b.bits == 32) p[3] = in[3];
}

uint32_t u32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) | static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}
uint16_t u16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

// A bitmap file into a new bitmap (24 bits, or 32 for a 32-bit file); 0 when it is not one
// this reads, every size and offset checked against the file.
HBITMAP decodeBmp(const std::string& f) {
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') return 0;
    const uint32_t offBits = u32(f, 10), hdrSize = u32(f, 14);
    if (hdrSize < 40 || hdrSize > f.size() - 14) return 0;
    const int32_t width = static_cast<int32_t>(u32(f, 18)), rawHeight = static_cast<int32_t>(u32(f, 22));
    const uint16_t bpp = u16(f, 28);
    const uint32_t compression = u32(f, 30), clrUsed = u32(f, 46);
    if (width <= 0 || width > kMaxSide || rawHeight == 0 || rawHeight < -kMaxSide || rawHeight > kMaxSide) return 0;
    if (compression != BI_RGB) return 0;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return 0;
    const int height = rawHeight < 0 ? -rawHeight : rawHeight;
    std::vector<RGBQUAD> palette;
    if (bpp <= 8) {
        const uint32_t count = clrUsed ? clrUsed : (1u << bpp);
        if (count > (1u << bpp)) return 0;
        const size_t at = 14 + hdrSize;
        if (at + static_cast<size_t>(count) * 4 > f.size()) return 0;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t p = at + i * 4;
            palette.push_back({static_cast<BYTE>(f[p]), static_cast<BYTE>(f[p + 1]), static_cast<BYTE>(f[p + 2]), 0});
        }
    }
    const size_t stride = static_cast<size_t>(strideOf(width, bpp));
    if (offBits > f.size() || stride * height > f.size() - offBits) return 0;

    const HBITMAP h = addBitmap(width, height, bpp == 32 ? 32 : 24, true);
    if (!h) return 0;
    Bitmap& b = *bitmap(h);
    for (int y = 0; y < height; ++y) {
        // File rows are bottom-up unless the height is negative.
        const int fileRow = rawHeight > 0 ? height - 1 - y : y;
        const auto* src = reinterpret_cast<const uint8_t*>(f.data()) + offBits + stride * fileRow;
        for (int x = 0; x < width; ++x) {
            uint8_t px[4] = {0, 0, 0, 0};
            if (bpp == 24 || bpp == 32) {
                const uint8_t* p = src + x * (bpp / 8);
                px[0] = p[0], px[1] = p[1], px[2] = p[2], px[3] = bpp == 32 ? p[3] : 0;
            } else {
                const int bitPos = x * bpp;
                const int shift = 8 - bpp - (bitPos % 8);
                const uint32_t index = (src[bitPos / 8] >> shift) & ((1u << bpp) - 1);
                if (index < palette.size()) px[0] = palette[index].rgbBlue, px[1] = palette[index].rgbGreen,
                                            px[2] = palette[index].rgbRed;
            }
            writePixel(b, x, y, px);
        }
    }
    return h;
}

// Clips a copy of (w, h) from (sx, sy) of src to (x, y) of dst to both bitmaps.
bool clip(const Bitmap& dst, const Bitmap& src, int& x, int& y, int& w, int& h, int& sx, int& sy) {
    if (x < 0) w += x, sx -= x, x = 0;
    if (y < 0) h += y, sy -= y, y = 0;
    if (sx < 0) w += sx, x -= sx, sx = 0;
    if (sy < 0) h += sy, y -= sy, sy = 0;
    w = std::min({w, dst.width - x, src.width - sx});
    h = std::min({h, dst.height - y, src.height - sy});
    return w > 0 && h > 0;
}

} // namespace

namespace gdi_detail {
Bitmap* bitmapOf(HDC hdc) {
    Context* c = context(hdc);
    if (!c || !c->memory) return nullptr;
    return bitmap(c->bitmap);
}
} // namespace gdi_detail

HDC GetDC(HWND hwnd) {
    if (hwnd && !IsWindow(hwnd)) {
        SetLastError(kErrInvalidHandle);
        return 0;
    }
    auto& o = objects();
    const HDC h = o.newHandle();
    o.contexts.emplace(h, Context{false, hwnd, 0, BLACKONWHITE});
    return h;
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    Context* c = context(hdc);
    if (!c || c->memory || c->window != hwnd) return 0;
    objects().contexts.erase(hdc);
    return 1;
}

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc && !context(hdc)) {
        SetLastError(kErrInvalidHandle);
        return 0;
    }
    const HBITMAP stock = stockBitmap();
    auto& o = objects();
    const HDC h = o.newHandle();
    o.contexts.emplace(h, Context{true, 0, stock, BLACKONWHITE});
    return h;
}

BOOL DeleteDC(HDC hdc) {
    Context* c = context(hdc);
    if (!c || !c->memory) return FALSE;
    if (Bitmap* b = bitmap(c->bitmap); b && !b->stock) b->selectedIn = 0;
    objects().contexts.erase(hdc);
    return TRUE;
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
    if (bits) *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || section || offset || (hdc && !context(hdc))) {
        SetLastError(kErrInvalidParameter);
        return 0;
    }
    const BITMAPINFOHEADER& hd = info->bmiHeader;
    if (hd.biSize < 40 || hd.biCompression != BI_RGB || hd.biPlanes != 1 || hd.biHeight == INT32_MIN) {
        SetLastError(kErrInvalidParameter);
        return 0;
    }
    const HBITMAP h = addBitmap(hd.biWidth, hd.biHeight < 0 ? -hd.biHeight : hd.biHeight, hd.biBitCount, hd.biHeight > 0);
    if (!h) {
        SetLastError(kErrInvalidParameter);
        return 0;
    }
    if (bits) *bits = bitmap(h)->pixels.get();
    return h;
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
    if (hdc && !context(hdc)) return 0;
    return addBitmap(width, height, 32, true);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    Context* c = context(hdc);
    Bitmap* b = bitmap(object);
    if (!c || !c->memory || !b) return 0;
    if (c->bitmap == object) return object;
    if (b->selectedIn && !b->stock) return 0;
    const HBITMAP previous = c->bitmap;
    if (Bitmap* old = bitmap(previous); old && !old->stock) old->selectedIn = 0;
    c->bitmap = object;
    if (!b->stock) b->selectedIn = hdc;
    return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
    Bitmap* b = bitmap(object);
    if (!b || b->stock || b->selectedIn) return FALSE;
    objects().bitmaps.erase(object);
    return TRUE;
}

int GetObject(HGDIOBJ object, int size, void* out) {
    Bitmap* b = bitmap(object);
    if (!b) return 0;
    if (!out) return static_cast<int>(sizeof(BITMAP));
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP r;
    r.bmType = 0;
    r.bmWidth = b->width;
    r.bmHeight = b->height;
    r.bmWidthBytes = b->stride;
    r.bmPlanes = 1;
    r.bmBitsPixel = static_cast<WORD>(b->bits);
    r.bmBits = b->stock ? nullptr : b->pixels.get();
    std::memcpy(out, &r, sizeof r);
    return static_cast<int>(sizeof r);
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
    Bitmap* b = bitmap(hbm);
    if (!b || !info || !context(hdc) || usage != DIB_RGB_COLORS || info->bmiHeader.biSize < 40) return 0;
    BITMAPINFOHEADER& hd = info->bmiHeader;
    if (!bits) {
        hd.biWidth = b->width;
        hd.biHeight = b->height;
        hd.biPlanes = 1;
        hd.biBitCount = static_cast<WORD>(b->bits);
        hd.biCompression = BI_RGB;
        hd.biSizeImage = static_cast<DWORD>(b->stride * b->height);
        hd.biClrUsed = 0;
        hd.biClrImportant = 0;
        return 1;
    }
    if ((hd.biBitCount != 24 && hd.biBitCount != 32) || hd.biCompression != BI_RGB || hd.biWidth != b->width) return 0;
    if (start >= static_cast<UINT>(b->height)) return 0;
    const UINT n = std::min<UINT>(lines, static_cast<UINT>(b->height) - start);
    const int outStride = strideOf(b->width, hd.biBitCount);
    const bool outBottomUp = hd.biHeight > 0;
    auto* dst = static_cast<uint8_t*>(bits);
    for (UINT i = 0; i < n; ++i) {
        // Scan line start + i counts from the bottom of the picture.
        const int pictureRow = b->height - 1 - static_cast<int>(start + i);
        uint8_t* row = dst + static_cast<size_t>(outBottomUp ? i : n - 1 - i) * outStride;
        for (int x = 0; x < b->width; ++x) {
            uint8_t px[4];
            readPixel(*b, x, pictureRow, px);
            uint8_t* p = row + x * (hd.biBitCount / 8);
            p[0] = px[0], p[1] = px[1], p[2] = px[2];
            if (hd.biBitCount == 32) p[3] = px[3];
        }
    }
    return static_cast<int>(n);
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
    Context* dc = context(dst);
    Context* sc = context(src);
    if (!dc || !sc || rop != SRCCOPY) return FALSE;
    Bitmap* d = gdi_detail::bitmapOf(dst);
    Bitmap* s = gdi_detail::bitmapOf(src);
    if (!d || !s) return TRUE;  // a window's or the screen's context shows nothing here
    if (!clip(*d, *s, x, y, width, height, srcX, srcY)) return TRUE;
    if (d == s) {
        // Overlapping copies read the source first.
        std::vector<uint8_t> tmp(static_cast<size_t>(width) * height * 4);
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) readPixel(*s, srcX + i, srcY + j, &tmp[(static_cast<size_t>(j) * width + i) * 4]);
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) writePixel(*d, x + i, y + j, &tmp[(static_cast<size_t>(j) * width + i) * 4]);
        return TRUE;
    }
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            uint8_t px[4];
            readPixel(*s, srcX + i, srcY + j, px);
            writePixel(*d, x + i, y + j, px);
        }
    return TRUE;
}

BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth,
                int srcHeight, DWORD rop) {
    Context* dc = context(dst);
    Context* sc = context(src);
    if (!dc || !sc || rop != SRCCOPY || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return FALSE;
    Bitmap* d = gdi_detail::bitmapOf(dst);
    Bitmap* s = gdi_detail::bitmapOf(src);
    if (!d || !s) return TRUE;
    if (srcX < 0 || srcY < 0 || srcX + srcWidth > s->width || srcY + srcHeight > s->height) return FALSE;
    std::vector<uint8_t> from(static_cast<size_t>(srcWidth) * srcHeight * 4);
    for (int j = 0; j < srcHeight; ++j)
        for (int i = 0; i < srcWidth; ++i)
            readPixel(*s, srcX + i, srcY + j, &from[(static_cast<size_t>(j) * srcWidth + i) * 4]);
    const auto to = dc->stretchMode == HALFTONE ? gdi_detail::areaResample(from, srcWidth, srcHeight, width, height)
                                                : gdi_detail::nearestResample(from, srcWidth, srcHeight, width, height);
    for (int j = 0; j < height; ++j) {
        if (y + j < 0 || y + j >= d->height) continue;
        for (int i = 0; i < width; ++i) {
            if (x + i < 0 || x + i >= d->width) continue;
            writePixel(*d, x + i, y + j, &to[(static_cast<size_t>(j) * width + i) * 4]);
        }
    }
    return TRUE;
}

int SetStretchBltMode(HDC hdc, int mode) {
    Context* c = context(hdc);
    if (!c || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    const int previous = c->stretchMode;
    c->stretchMode = mode;
    return previous;
}

int GetStretchBltMode(HDC hdc) {
    Context* c = context(hdc);
    return c ? c->stretchMode : 0;
}

HANDLE LoadImage(HANDLE instance, const std::string& name, UINT type, int cx, int cy, UINT flags) {
    (void)instance, (void)cx, (void)cy;
    if (type != IMAGE_BITMAP || !(flags & LR_LOADFROMFILE) || name.empty()) {
        SetLastError(kErrInvalidParameter);
        return 0;
    }
    std::optional<std::string> bytes;
    try {
        bytes = sys::Machine::current().readFile(name);
    } catch (const std::exception&) {
    }
    if (!bytes) {
        SetLastError(kErrFileNotFound);
        return 0;
    }
    const HBITMAP h = decodeBmp(*bytes);
    if (!h) SetLastError(kErrInvalidParameter);
    return h;
}

BOOL UpdateLayeredWindow(HWND hwnd, HDC dst, const POINT* dstPoint, const SIZE* size, HDC src, const POINT* srcPoint,
                         COLORREF key, const BLENDFUNCTION* blend, DWORD flags) {
    (void)dst, (void)key;
    if (!IsWindow(hwnd) || !(static_cast<DWORD>(GetWindowLong(hwnd, GWL_EXSTYLE)) & WS_EX_LAYERED)) {
        SetLastError(kErrInvalidParameter);
        return FALSE;
    }
    auto& o = objects();
    const BYTE alpha = (flags & ULW_ALPHA) && blend ? blend->SourceConstantAlpha : 255;
    if (!src && !size && !dstPoint) {
        auto it = o.faces.find(hwnd);
        if (it == o.faces.end()) {
            SetLastError(kErrInvalidParameter);
            return FALSE;
        }
        it->second.constantAlpha = alpha;
        return TRUE;
    }
    if (!size || !src || size->cx <= 0 || size->cy <= 0) {
        SetLastError(kErrInvalidParameter);
        return FALSE;
    }
    Bitmap* s = gdi_detail::bitmapOf(src);
    const int sx = srcPoint ? srcPoint->x : 0, sy = srcPoint ? srcPoint->y : 0;
    if (!s || sx < 0 || sy < 0 || sx + size->cx > s->width || sy + size->cy > s->height) {
        SetLastError(kErrInvalidParameter);
        return FALSE;
    }
    const bool perPixel = (flags & ULW_ALPHA) && blend && blend->AlphaFormat == AC_SRC_ALPHA && s->bits == 32;
    WindowFace face;
    face.layered = true;
    face.width = size->cx;
    face.height = size->cy;
    face.constantAlpha = alpha;
    face.bgra.resize(static_cast<size_t>(face.width) * face.height * 4);
    for (int j = 0; j < face.height; ++j)
        for (int i = 0; i < face.width; ++i) {
            uint8_t* p = &face.bgra[(static_cast<size_t>(j) * face.width + i) * 4];
            readPixel(*s, sx + i, sy + j, p);
            if (!perPixel) p[3] = 255;
        }
    o.faces[hwnd] = std::move(face);
    RECT r;
    GetWindowRect(hwnd, &r);
    const int x = dstPoint ? dstPoint->x : r.left, y = dstPoint ? dstPoint->y : r.top;
    if (x != r.left || y != r.top || size->cx != r.right - r.left || size->cy != r.bottom - r.top)
        SetWindowPos(hwnd, 0, x, y, size->cx, size->cy, SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

BOOL setWindowPicture(HWND hwnd, HBITMAP picture) {
    if (!IsWindow(hwnd) || (picture && !bitmap(picture))) {
        SetLastError(kErrInvalidParameter);
        return FALSE;
    }
    auto& o = objects();
    std::erase_if(o.pictures, [](const auto& e) { return !IsWindow(e.first); });
    if (picture) o.pictures[hwnd] = picture;
    else o.pictures.erase(hwnd);
    return TRUE;
}

HBITMAP windowPicture(HWND hwnd) {
    auto& o = objects();
    auto it = o.pictures.find(hwnd);
    return it == o.pictures.end() || !IsWindow(hwnd) ? 0 : it->second;
}

std::optional<WindowFace> windowFace(HWND hwnd) {
    if (auto face = layeredFace(hwnd)) return face;
    const Bitmap* b = bitmap(windowPicture(hwnd));
    if (!b || b->stock) return std::nullopt;
    WindowFace face;
    face.width = b->width;
    face.height = b->height;
    face.bgra.resize(static_cast<size_t>(face.width) * face.height * 4);
    for (int y = 0; y < face.height; ++y)
        for (int x = 0; x < face.width; ++x) {
            uint8_t* p = &face.bgra[(static_cast<size_t>(y) * face.width + x) * 4];
            readPixel(*b, x, y, p);
            p[3] = 255;
        }
    return face;
}

std::optional<WindowFace> layeredFace(HWND hwnd) {
    auto& o = objects();
    auto it = o.faces.find(hwnd);
    if (it == o.faces.end()) return std::nullopt;
    if (!IsWindow(hwnd) || !(static_cast<DWORD>(GetWindowLong(hwnd, GWL_EXSTYLE)) & WS_EX_LAYERED)) {
        o.faces.erase(it);
        return std::nullopt;
    }
    return it->second;
}

size_t gdiObjectCount() {
    auto& o = objects();
    size_t n = 0;
    for (const auto& [h, b] : o.bitmaps) n += b->stock ? 0 : 1;
    for (const auto& [h, c] : o.contexts) n += c.memory ? 1 : 0;
    return n;
}

} // namespace win
