#pragma once
// Bitmaps and device contexts of the emulated machine: DIB sections with pixels the program
// reads and writes through a pointer, memory device contexts with one bitmap selected, bit-block
// transfers and stretching, bitmap files, and what windows show of their own: the faces of
// layered windows and the background pictures of others.
//
// Only memory device contexts hold pixels. A window's or the screen's context is accepted where
// the program passes one (as the reference for a compatible context, as the destination of a
// layered update) and draws nothing.
#include "platform/desktop/Window.h"
#include "platform/system/WinTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace win {

using HDC = int32_t;
using HBITMAP = int32_t;
using HGDIOBJ = int32_t;

struct SIZE {
    LONG cx = 0, cy = 0;
};

struct BITMAPINFOHEADER {
    DWORD biSize = 0;
    LONG biWidth = 0;
    LONG biHeight = 0;  // positive: rows stored bottom-up
    WORD biPlanes = 0;
    WORD biBitCount = 0;
    DWORD biCompression = 0;
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    BYTE rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

// The bitmap record GetObject fills.
struct BITMAP {
    LONG bmType = 0;
    LONG bmWidth = 0;
    LONG bmHeight = 0;
    LONG bmWidthBytes = 0;
    WORD bmPlanes = 0;
    WORD bmBitsPixel = 0;
    void* bmBits = nullptr;
};

struct BLENDFUNCTION {
    BYTE BlendOp = 0;
    BYTE BlendFlags = 0;
    BYTE SourceConstantAlpha = 0;
    BYTE AlphaFormat = 0;
};

constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD BI_RGB = 0;
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT LR_CREATEDIBSECTION = 0x2000;
constexpr BYTE AC_SRC_OVER = 0;
constexpr BYTE AC_SRC_ALPHA = 1;
constexpr DWORD ULW_COLORKEY = 1;
constexpr DWORD ULW_ALPHA = 2;
constexpr DWORD ULW_OPAQUE = 4;

// hwnd 0: the screen. 0 for a window that does not exist.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
// A memory context holding a 1 x 1 stock bitmap until another is selected.
HDC CreateCompatibleDC(HDC hdc);
// Fails for a context of a window (ReleaseDC that).
BOOL DeleteDC(HDC hdc);

// 24 or 32 bits, uncompressed, width and height not 0 (a negative height stores top-down).
// The pixels start at zero and stay at *bits for the bitmap's life.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
// A 32-bit bitmap (as a true-colour screen gives).
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
// Selects a bitmap into a memory context; gives the one selected before, 0 when refused (a
// bitmap can be selected into one context at a time).
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// Refused (FALSE) for a bitmap selected into a context and for stock objects.
BOOL DeleteObject(HGDIOBJ object);
// For a bitmap with size sizeof(BITMAP): fills the record, gives the bytes written.
int GetObject(HGDIOBJ object, int size, void* out);
// bits nullptr: fills info's header with the bitmap's description. Otherwise copies lines rows
// (from start, counted from the bottom row) in the depth info asks for (24 or 32); gives the rows
// copied.
int GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);

// SRCCOPY between memory contexts; rectangles are clipped to both bitmaps.
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
// HALFTONE averages the source area of each pixel; other modes take the nearest pixel.
BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth,
                int srcHeight, DWORD rop);
int SetStretchBltMode(HDC hdc, int mode);  // the previous mode, 0 on failure
int GetStretchBltMode(HDC hdc);

// Bitmap files (BMP: 1, 4, 8, 24 and 32 bits, uncompressed). Gives 0 when the file is missing or
// not a bitmap it can read. The name is the program's UTF-8 Windows path.
HANDLE LoadImage(HANDLE instance, const std::string& name, UINT type, int cx, int cy, UINT flags);

// The window must have WS_EX_LAYERED. With a source context and a size: the face becomes those
// pixels (premultiplied alpha with AC_SRC_ALPHA) and the window takes that size (and the
// position, when given). Without: only the blend's constant alpha changes, which needs a face.
BOOL UpdateLayeredWindow(HWND hwnd, HDC dst, const POINT* dstPoint, const SIZE* size, HDC src,
                         const POINT* srcPoint, COLORREF key, const BLENDFUNCTION* blend, DWORD flags);

// A window's background picture (a form's Picture): the bitmap the window repaints from, under
// its children. The window refers to the bitmap and does not own it; a deleted bitmap shows
// nothing. 0 removes the picture. FALSE for a window or bitmap that does not exist.
BOOL setWindowPicture(HWND hwnd, HBITMAP bitmap);
HBITMAP windowPicture(HWND hwnd);

// ---- Inspection (the screen snapshot, tests) --------------------------------------------
// What a window shows of its own: a layered window's face, which is all it shows, or another
// window's background picture (opaque).
struct WindowFace {
    int width = 0, height = 0;
    std::vector<uint8_t> bgra;  // top-down rows, premultiplied alpha
    BYTE constantAlpha = 255;
    bool layered = false;
};
// The face of a layered window, when it was given one.
std::optional<WindowFace> layeredFace(HWND hwnd);
// The layered face, or else the pixels of the background picture, when the window has either.
std::optional<WindowFace> windowFace(HWND hwnd);
// Bitmaps and memory contexts alive on the current machine (stock objects not counted).
size_t gdiObjectCount();

} // namespace win
