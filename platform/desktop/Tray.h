#pragma once
// The shell's notification area: icons, tips, balloons and their callback messages.
#include "Window.h"

#include <vector>

namespace win {

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;
constexpr DWORD NIM_SETFOCUS = 3;
constexpr DWORD NIM_SETVERSION = 4;
constexpr UINT NIF_MESSAGE = 0x01;
constexpr UINT NIF_ICON = 0x02;
constexpr UINT NIF_TIP = 0x04;
constexpr UINT NIF_STATE = 0x08;
constexpr UINT NIF_INFO = 0x10;
constexpr DWORD NIIF_NONE = 0;
constexpr DWORD NIIF_INFO = 1;
constexpr DWORD NIIF_WARNING = 2;
constexpr DWORD NIIF_ERROR = 3;
constexpr LPARAM NIN_SELECT = 0x400;
constexpr LPARAM NIN_KEYSELECT = 0x401;
constexpr LPARAM NIN_BALLOONSHOW = 0x402;
constexpr LPARAM NIN_BALLOONHIDE = 0x403;
constexpr LPARAM NIN_BALLOONTIMEOUT = 0x404;
constexpr LPARAM NIN_BALLOONUSERCLICK = 0x405;
constexpr UINT NOTIFYICON_VERSION = 3;

// The ANSI record. The shell reads as much of it as cbSize says: 88 bytes (the first shell
// version: a 64-byte tip, no balloons) or 488 (a 128-byte tip, balloons).
struct NOTIFYICONDATA {
    DWORD cbSize = 0;
    HWND hWnd = 0;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    HANDLE hIcon = 0;
    char szTip[128] = {};
    DWORD dwState = 0;
    DWORD dwStateMask = 0;
    char szInfo[256] = {};
    UINT uTimeout = 0;  // also uVersion for NIM_SETVERSION
    char szInfoTitle[64] = {};
    DWORD dwInfoFlags = 0;
};
constexpr DWORD NOTIFYICONDATA_V1_SIZE = 88;
constexpr DWORD NOTIFYICONDATA_V2_SIZE = 488;

BOOL Shell_NotifyIcon(DWORD message, const NOTIFYICONDATA* data);

// ---- Test side --------------------------------------------------------------------------
struct TrayIconRecord {
    HWND hwnd = 0;
    UINT id = 0;
    UINT callbackMessage = 0;
    HANDLE icon = 0;
    std::string tip;  // UTF-8
    UINT version = 0;
    bool balloonShown = false;
    std::string balloonText, balloonTitle;
    UINT balloonTimeout = 0;
    DWORD balloonFlags = 0;
    POINT position;  // where the icon sits in the taskbar
};
std::vector<TrayIconRecord> trayIcons();
// Every balloon shown, in order (hwnd, id, text, title).
struct BalloonRecord {
    HWND hwnd = 0;
    UINT id = 0;
    std::string text, title;
    DWORD flags = 0;
};
std::vector<BalloonRecord> balloonHistory();
// The shell refuses new icons (no shell running).
void setTrayAvailable(bool available);
// The user's mouse on the icon: the cursor moves there and the callback message is sent with
// the mouse message (WM_LBUTTONUP, WM_RBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE...) as lParam.
// FALSE when there is no such icon.
BOOL trayMouse(HWND hwnd, UINT id, UINT mouseMessage);
// A click on the shown balloon (NIN_BALLOONUSERCLICK) or its time-out (NIN_BALLOONTIMEOUT);
// either removes the balloon. Balloons also time out by themselves on the machine clock.
BOOL trayBalloonClick(HWND hwnd, UINT id);
BOOL trayBalloonTimeout(HWND hwnd, UINT id);

} // namespace win
