#pragma once
// Painting a window: WM_PAINT with BeginPaint/EndPaint, and the text and fills a window paints.
// Window contexts hold no pixels here; what a window paints is kept as a list of items (fills and
// texts with their fonts and colours), replaced by its next paint, for the screen snapshot and
// tests. Memory contexts with pixels are platform/gdi's.
#include "CommonControls.h"
#include "Window.h"

#include <string>
#include <vector>

namespace win {

using HDC = int32_t;
using HBRUSH = int32_t;

struct PAINTSTRUCT {
    HDC hdc = 0;
    BOOL fErase = FALSE;
    RECT rcPaint;
};

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOPREFIX = 0x0800;

// Marks the window for painting: WM_PAINT follows from the pump (once, however often this is
// called before it).
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
// Paints a window marked for painting now.
BOOL UpdateWindow(HWND hwnd);
// Starts a paint: the window's previous items are dropped.
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);

COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF SetBkColor(HDC hdc, COLORREF color);
int SetBkMode(HDC hdc, int mode);
// The font texts are drawn in (from CreateFontIndirect); gives the previous one.
HFONT SelectFont(HDC hdc, HFONT font);
// Brushes are solid colours and need no freeing.
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH GetSysColorBrush(int index);
COLORREF GetSysColor(int index);
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
BOOL TextOut(HDC hdc, int x, int y, const std::string& text);  // UTF-8
int DrawText(HDC hdc, const std::string& text, RECT* rect, UINT format);

// ---- Inspection (the screen snapshot, tests) --------------------------------------------
struct PaintedItem {
    enum Kind { Fill, Text } kind = Fill;
    RECT rect;               // client coordinates; a TextOut's right and bottom equal its left and top
    COLORREF color = 0;      // the fill, or the text's colour
    std::string text;        // UTF-8
    UINT format = 0;         // DrawText's format
    bool opaque = false;     // text drawn on its background colour
    COLORREF background = 0;
    std::string font;        // face name
    int fontHeight = 0;      // pixels
    int fontWeight = FW_NORMAL;
};
std::vector<PaintedItem> paintedItems(HWND hwnd);

// The colours a static control is drawn in: its parent's answer to WM_CTLCOLORSTATIC.
struct StaticColors {
    COLORREF text = 0;
    bool transparent = false;
    COLORREF background = 0;
};
StaticColors staticColors(HWND control);

} // namespace win
