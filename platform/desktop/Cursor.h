#pragma once
// Cursor shapes and icons. The system cursors are the arrow, the hand and the hourglass; the
// cursor shown is the last one set, which a window chooses when it answers WM_SETCURSOR (by
// default its class cursor over its client area, the arrow over its frame). Icons are pictures
// handed in as PNG resource bytes; a window class carries a large and a small one.
#include "Window.h"

#include <optional>
#include <string>

namespace win {

using HCURSOR = HANDLE;
using HICON = HANDLE;

// System cursor ids, for LoadCursor with no instance.
constexpr int IDC_ARROW = 32512;
constexpr int IDC_WAIT = 32514;
constexpr int IDC_HAND = 32649;

// A system cursor's handle (the same one every time); 0 for an id that is no system cursor or
// any other instance (no program carries cursors of its own).
HCURSOR LoadCursor(HANDLE instance, int cursorId);
// Shows the cursor given (0 hides it); the one shown before.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();

// An icon made of resource bytes (a PNG picture); cx and cy 0 keep the picture's own size.
// 0 when the bytes are no picture.
HICON CreateIconFromResourceEx(const BYTE* bits, DWORD size, BOOL icon, DWORD version, int cx, int cy, UINT flags);
BOOL DestroyIcon(HICON icon);
struct IconImage {
    std::string png;
    int width = 0, height = 0;
};
std::optional<IconImage> iconImage(HICON icon);

// The class's shapes of a window.
constexpr int GCL_HCURSOR = -12;
constexpr int GCL_HICON = -14;
constexpr int GCL_HICONSM = -34;
DWORD GetClassLong(HWND hwnd, int index);

namespace detail {
// DefWindowProc's answer to WM_SETCURSOR: a child asks its parent first; then the class cursor
// of the window under the pointer over its client area, the arrow elsewhere.
LRESULT defSetCursor(HWND hwnd, WPARAM wParam, LPARAM lParam);
// Lets the window under the pointer choose the cursor, before the mouse message msg reaches it.
void sendSetCursor(HWND target, LRESULT hit, UINT msg);
} // namespace detail

} // namespace win
