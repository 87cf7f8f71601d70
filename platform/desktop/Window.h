#pragma once
// Windows: classes, creation and destruction, window procedures, state, z-order, walking.
// Text arguments are the program's UTF-8; buffers filled by the "A" functions get bytes of the
// machine's code page, so lengths are byte counts as on the target.
#include "platform/system/WinTypes.h"

#include <functional>
#include <string>

namespace win {

struct POINT {
    LONG x = 0, y = 0;
    bool operator==(const POINT&) const = default;
};
struct RECT {
    LONG left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const RECT&) const = default;
};

// Window procedures are values a 32-bit program can keep in a Long (GetWindowLong, window
// properties): a number naming a callable registered here.
using WNDPROC = LONG;
using WndProcFn = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
using WndProcPtr = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
// Each call gives a new procedure value; the procedure lives until released.
WNDPROC registerWndProc(WndProcFn fn);
// The value of a plain function: the same function always gives the same value (AddressOf).
WNDPROC wndProcOf(WndProcPtr fn);
void releaseWndProc(WNDPROC proc);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// ---- Styles -----------------------------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_CONTROLPARENT = 0x00010000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD WS_EX_LAYERED = 0x00080000;
constexpr DWORD WS_EX_NOACTIVATE = 0x08000000;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

// ---- Classes ----------------------------------------------------------------------------
struct WNDCLASS {
    UINT style = 0;
    WNDPROC lpfnWndProc = 0;  // 0: DefWindowProc
    HANDLE hIcon = 0;         // icons and cursor as Cursor.h makes them
    HANDLE hCursor = 0;       // over the client area; 0: the window sets its own
    std::string lpszClassName;
    HANDLE hIconSm = 0;
};
constexpr UINT CS_DBLCLKS = 0x0008;
// 0 when the name is taken or empty. Common system classes ("#32770", "Button", "Edit", "Static",
// "SysListView32", ...) are registered on every machine.
ATOM RegisterClass(const WNDCLASS& wc);
BOOL UnregisterClass(const std::string& className);

// lpParam reaches WM_CREATE as its lParam. For a top-level window, parent is its owner.
HWND CreateWindowEx(DWORD exStyle, const std::string& className, const std::string& windowName,
                    DWORD style, int x, int y, int width, int height, HWND parent, HMENU menu = 0,
                    LPARAM lpParam = 0);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
HWND GetDesktopWindow();

// ---- Long values ------------------------------------------------------------------------
constexpr int GWL_WNDPROC = -4;
constexpr int GWL_HINSTANCE = -6;
constexpr int GWL_HWNDPARENT = -8;
constexpr int GWL_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWL_USERDATA = -21;
LONG GetWindowLong(HWND hwnd, int index);
// GWL_WNDPROC: refused (0) for a window of another process. GWL_STYLE replaces the whole style,
// WS_VISIBLE included (a top-level window keeps WS_CLIPSIBLINGS). GWL_HWNDPARENT re-parents a
// child and sets a top-level window's owner to exactly the window given.
LONG SetWindowLong(HWND hwnd, int index, LONG value);

// ---- Text and class ---------------------------------------------------------------------
// ANSI bytes, NUL-terminated, cut to maxCount - 1 without splitting a character; result the
// bytes copied.
int GetWindowText(HWND hwnd, char* buffer, int maxCount);
int GetWindowTextLength(HWND hwnd);
BOOL SetWindowText(HWND hwnd, const std::string& text);
int GetClassName(HWND hwnd, char* buffer, int maxCount);
// Conveniences over the above, in UTF-8.
std::string windowText(HWND hwnd);
std::string className(HWND hwnd);

// ---- Relations and walking --------------------------------------------------------------
constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;
HWND GetWindow(HWND hwnd, UINT cmd);
// By the style: a WS_POPUP window's owner, a WS_CHILD window's parent (the desktop for a child of
// the desktop), otherwise 0. GA_ROOTOWNER follows this chain; GA_ROOT the parents only.
HWND GetParent(HWND hwnd);
// Keeps the owner and the style.
HWND SetParent(HWND child, HWND newParent);
constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;
constexpr UINT GA_ROOTOWNER = 3;
HWND GetAncestor(HWND hwnd, UINT flags);
BOOL IsChild(HWND parent, HWND hwnd);

// Top-level windows by class and caption (nullptr: any), exact text, class without regard to case.
HWND FindWindow(const char* className, const char* windowName);
// Children of parent (0: top-level windows) after childAfter, in z-order.
HWND FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* windowName);
using WNDENUMPROC = std::function<BOOL(HWND, LPARAM)>;
// Top-level windows in z-order, hidden ones too; stops when the callback gives FALSE.
BOOL EnumWindows(const WNDENUMPROC& fn, LPARAM lParam);
// Every descendant, depth first in z-order; FALSE when there is none.
BOOL EnumChildWindows(HWND parent, const WNDENUMPROC& fn, LPARAM lParam);

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

// ---- Properties -------------------------------------------------------------------------
BOOL SetProp(HWND hwnd, const std::string& name, HANDLE data);
HANDLE GetProp(HWND hwnd, const std::string& name);
HANDLE RemoveProp(HWND hwnd, const std::string& name);

// ---- Show state and position ------------------------------------------------------------
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;
// Nonzero when the window was visible before.
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL IsWindowVisible(HWND hwnd);  // false when the window or an ancestor is hidden
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
// Hears every top-level window of the machine that appears (shown) or goes (hidden, or destroyed
// while shown), so a console can tell what is on the screen. One watcher per machine; null stops.
void watchTopLevelWindows(std::function<void(HWND hwnd, bool shown)> watcher);

constexpr HWND HWND_TOP = 0;
constexpr HWND HWND_BOTTOM = 1;
constexpr HWND HWND_TOPMOST = -1;
constexpr HWND HWND_NOTOPMOST = -2;
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOCOPYBITS = 0x0100;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
constexpr UINT SWP_NOSENDCHANGING = 0x0400;
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint = TRUE);
BOOL BringWindowToTop(HWND hwnd);
// Screen coordinates.
BOOL GetWindowRect(HWND hwnd, RECT* rect);
// Client coordinates: left and top are 0.
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL ClientToScreen(HWND hwnd, POINT* point);
BOOL ScreenToClient(HWND hwnd, POINT* point);
// The frame a style gives: left, top (caption included), right and bottom thickness.
RECT frameOf(DWORD style, DWORD exStyle);

// ---- Activation, focus, enabling --------------------------------------------------------
BOOL EnableWindow(HWND hwnd, BOOL enable);  // nonzero when the window was disabled before
BOOL IsWindowEnabled(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();

// ---- Processes --------------------------------------------------------------------------
// Ends every window of a simulated process (its program ended).
void destroyProcessWindows(DWORD processId);

} // namespace win
