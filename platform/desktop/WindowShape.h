#pragma once
// Window regions: what gives a window a shape other than its rectangle (hit testing and the
// screen snapshot honour it). A window's own pixels are the graphics layer's business.
#include "Window.h"

#include <cstdint>
#include <vector>

namespace win {

using HRGN = HANDLE;

constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;
// Results of the region calls.
constexpr int RGN_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// An empty rectangle gives an empty region; 0 when the rectangle is too large to hold.
HRGN CreateRectRgn(int left, int top, int right, int bottom);
// dest := src1 <mode> src2 (src2 unused for RGN_COPY); dest may be one of the sources.
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
BOOL PtInRegion(HRGN rgn, int x, int y);
int GetRgnBox(HRGN rgn, RECT* box);
// Frees a region the program still owns (not one given to a window).
BOOL DeleteRgn(HRGN rgn);
// Window-relative coordinates. The window owns the region from then on; 0 removes the shape.
// Nonzero on success.
int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw);
// Copies the window's region into dest; RGN_ERROR when the window has none.
int GetWindowRgn(HWND hwnd, HRGN dest);
// True when a window-relative point lies in the window's region, or the window has none.
bool inWindowRegion(HWND hwnd, int x, int y);

} // namespace win
