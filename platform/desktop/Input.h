#pragma once
// Mouse, keyboard and global hot keys. Input goes to the window under the cursor (mouse) or the
// focus window of the foreground window (keys), as queued messages the pump delivers.
#include "Window.h"

#include <string>
#include <vector>

namespace win {

// Virtual keys.
constexpr BYTE VK_LBUTTON = 0x01;
constexpr BYTE VK_RBUTTON = 0x02;
constexpr BYTE VK_CANCEL = 0x03;
constexpr BYTE VK_MBUTTON = 0x04;
constexpr BYTE VK_BACK = 0x08;
constexpr BYTE VK_TAB = 0x09;
constexpr BYTE VK_CLEAR = 0x0C;
constexpr BYTE VK_RETURN = 0x0D;
constexpr BYTE VK_SHIFT = 0x10;
constexpr BYTE VK_CONTROL = 0x11;
constexpr BYTE VK_MENU = 0x12;
constexpr BYTE VK_PAUSE = 0x13;
constexpr BYTE VK_CAPITAL = 0x14;
constexpr BYTE VK_ESCAPE = 0x1B;
constexpr BYTE VK_SPACE = 0x20;
constexpr BYTE VK_PRIOR = 0x21;
constexpr BYTE VK_NEXT = 0x22;
constexpr BYTE VK_END = 0x23;
constexpr BYTE VK_HOME = 0x24;
constexpr BYTE VK_LEFT = 0x25;
constexpr BYTE VK_UP = 0x26;
constexpr BYTE VK_RIGHT = 0x27;
constexpr BYTE VK_DOWN = 0x28;
constexpr BYTE VK_SNAPSHOT = 0x2C;
constexpr BYTE VK_INSERT = 0x2D;
constexpr BYTE VK_DELETE = 0x2E;
constexpr BYTE VK_HELP = 0x2F;
constexpr BYTE VK_LWIN = 0x5B;
constexpr BYTE VK_NUMPAD0 = 0x60;
constexpr BYTE VK_MULTIPLY = 0x6A;
constexpr BYTE VK_ADD = 0x6B;
constexpr BYTE VK_SUBTRACT = 0x6D;
constexpr BYTE VK_DECIMAL = 0x6E;
constexpr BYTE VK_DIVIDE = 0x6F;
constexpr BYTE VK_F1 = 0x70;
constexpr BYTE VK_F2 = 0x71;
constexpr BYTE VK_F3 = 0x72;
constexpr BYTE VK_F4 = 0x73;
constexpr BYTE VK_F5 = 0x74;
constexpr BYTE VK_F6 = 0x75;
constexpr BYTE VK_F7 = 0x76;
constexpr BYTE VK_F8 = 0x77;
constexpr BYTE VK_F9 = 0x78;
constexpr BYTE VK_F10 = 0x79;
constexpr BYTE VK_F11 = 0x7A;
constexpr BYTE VK_F12 = 0x7B;
constexpr BYTE VK_F16 = 0x7F;
constexpr BYTE VK_NUMLOCK = 0x90;
constexpr BYTE VK_SCROLL = 0x91;
constexpr BYTE VK_LSHIFT = 0xA0;
constexpr BYTE VK_RSHIFT = 0xA1;
constexpr BYTE VK_LCONTROL = 0xA2;
constexpr BYTE VK_RCONTROL = 0xA3;
constexpr BYTE VK_LMENU = 0xA4;
constexpr BYTE VK_RMENU = 0xA5;
constexpr BYTE VK_OEM_1 = 0xBA;       // ;:
constexpr BYTE VK_OEM_PLUS = 0xBB;    // =+
constexpr BYTE VK_OEM_COMMA = 0xBC;
constexpr BYTE VK_OEM_MINUS = 0xBD;
constexpr BYTE VK_OEM_PERIOD = 0xBE;
constexpr BYTE VK_OEM_2 = 0xBF;       // /?
constexpr BYTE VK_OEM_3 = 0xC0;       // `~
constexpr BYTE VK_OEM_4 = 0xDB;       // [{
constexpr BYTE VK_OEM_5 = 0xDC;       // \|
constexpr BYTE VK_OEM_6 = 0xDD;       // ]}
constexpr BYTE VK_OEM_7 = 0xDE;       // '"

// ---- Cursor and mouse -------------------------------------------------------------------
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);
// The deepest visible window at a screen point (a disabled child gives its parent); 0 for none.
HWND WindowFromPoint(POINT point);
HWND ChildWindowFromPoint(HWND parent, POINT clientPoint);
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();

constexpr DWORD TME_HOVER = 0x00000001;
constexpr DWORD TME_LEAVE = 0x00000002;
constexpr DWORD TME_NONCLIENT = 0x00000010;
constexpr DWORD TME_CANCEL = 0x80000000;
struct TRACKMOUSEEVENT {
    DWORD cbSize = sizeof(TRACKMOUSEEVENT);
    DWORD dwFlags = 0;
    HWND hwndTrack = 0;
    DWORD dwHoverTime = 0;
};
// Asks for WM_MOUSELEAVE (client) or WM_NCMOUSELEAVE (TME_NONCLIENT) once the mouse leaves.
BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme);

// ---- Keyboard ---------------------------------------------------------------------------
using SHORT = int16_t;
SHORT GetAsyncKeyState(int vk);  // 0x8000 bit while down
SHORT GetKeyState(int vk);       // high bit while down, low bit toggled
constexpr DWORD KEYEVENTF_EXTENDEDKEY = 0x0001;
constexpr DWORD KEYEVENTF_KEYUP = 0x0002;
// One key going down or up: updates the key state and queues WM_KEYDOWN/WM_KEYUP (WM_SYSKEY*
// with Alt and no Ctrl, or for F10) and WM_CHAR/WM_SYSCHAR for keys that make a character, for
// the focus window of the foreground window; or WM_HOTKEY when the combination is a hot key.
void keybd_event(BYTE vk, BYTE scan, DWORD flags, DWORD extraInfo);
constexpr UINT MAPVK_VK_TO_VSC = 0;
constexpr UINT MAPVK_VSC_TO_VK = 1;
constexpr UINT MAPVK_VK_TO_CHAR = 2;
// Set-1 scan codes of the US keyboard.
UINT MapVirtualKey(UINT code, UINT mapType);
// The lParam of a key message: repeat 1, scan code in bits 16-23, bits 30-31 on key-up.
LPARAM keyLParam(BYTE vk, bool up);

// The US-layout key that types an ASCII character: the virtual key in the low byte, 1 in the
// high byte when Shift is needed; -1 when no key types it.
SHORT VkKeyScanA(char ch);

// ---- Hot keys and atoms -----------------------------------------------------------------
constexpr UINT MOD_ALT = 0x0001;
constexpr UINT MOD_CONTROL = 0x0002;
constexpr UINT MOD_SHIFT = 0x0004;
constexpr UINT MOD_WIN = 0x0008;
constexpr LONG ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr LONG ERROR_HOTKEY_ALREADY_REGISTERED = 1409;
constexpr LONG ERROR_HOTKEY_NOT_REGISTERED = 1419;
// FALSE when another registration (any program) holds the combination, or the id is taken for
// the window. Failures set the last error (GetLastError), as do those of the atom functions.
BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk);
BOOL UnregisterHotKey(HWND hwnd, int id);
ATOM GlobalAddAtom(const std::string& name);  // 0xC000 and up; the count goes up for a known name
ATOM GlobalDeleteAtom(ATOM atom);             // 0 on success
ATOM GlobalFindAtom(const std::string& name);

// ---- Test side --------------------------------------------------------------------------
enum class MouseButton { Left, Right };
// The user's mouse at a screen point: the cursor moves there; the window under it gets
// WM_MOUSEMOVE / button messages in client coordinates, or the WM_NC* forms with the hit-test
// code over its frame. A button press activates the window's top-level window (WA_CLICKACTIVE).
// Delivered at once (sent), so a test sees the effect on return.
void mouseMove(int x, int y);
void mouseDown(int x, int y, MouseButton b = MouseButton::Left);
void mouseUp(int x, int y, MouseButton b = MouseButton::Left);
void mouseClick(int x, int y, MouseButton b = MouseButton::Left);
void mouseDoubleClick(int x, int y);
// The path (screen points) the cursor takes while the user holds the button in the next move or
// size loop; without one the button is let go at once and nothing moves.
void queueMoveSize(std::vector<POINT> path);
// Presses and releases a key with modifiers (MOD_*), then pumps so the messages arrive.
void pressKey(BYTE vk, UINT modifiers = 0);

} // namespace win
