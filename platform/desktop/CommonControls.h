#pragma once
// The hot-key edit control ("msctls_hotkey32") and the up-down control ("msctls_updown32"),
// the window hot key of WM_SETHOTKEY, and the font handles WM_SETFONT carries.
#include "Window.h"

#include <cstdint>
#include <string>

namespace win {

// ---- Initialisation ---------------------------------------------------------------------
// The control classes exist on every machine; these answer as the system does.
constexpr DWORD ICC_UPDOWN_CLASS = 0x00000010;
constexpr DWORD ICC_HOTKEY_CLASS = 0x00000040;
struct INITCOMMONCONTROLSEX {
    DWORD dwSize = sizeof(INITCOMMONCONTROLSEX);
    DWORD dwICC = 0;
};
void InitCommonControls();
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* icc);

// ---- Notifications ----------------------------------------------------------------------
// NMHDR of a 32-bit program; WM_NOTIFY's lParam is the pinned address of one.
struct NMHDR32 {
    HWND hwndFrom = 0;
    UINT idFrom = 0;
    int32_t code = 0;
};
static_assert(sizeof(NMHDR32) == 12);

// ---- Fonts ------------------------------------------------------------------------------
using HFONT = HANDLE;
constexpr UINT WM_GETFONT = 0x0031;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr int LF_FACESIZE = 32;
struct LOGFONTA {
    LONG lfHeight = 0, lfWidth = 0, lfEscapement = 0, lfOrientation = 0, lfWeight = 0;
    BYTE lfItalic = 0, lfUnderline = 0, lfStrikeOut = 0, lfCharSet = 0;
    BYTE lfOutPrecision = 0, lfClipPrecision = 0, lfQuality = 0, lfPitchAndFamily = 0;
    char lfFaceName[LF_FACESIZE] = {};
};
static_assert(sizeof(LOGFONTA) == 60);
// A font handle for the description; 0 when the description is unusable.
HFONT CreateFontIndirect(const LOGFONTA* lf);
// Frees a handle from CreateFontIndirect; FALSE for any other value.
BOOL DeleteFont(HFONT font);
// The description behind a live handle, or nullptr.
const LOGFONTA* fontDescription(HFONT font);
size_t liveFontCount();

// Device pixels per logical inch (the screen's, both ways).
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int screenPixelsPerInch = 1440 / 15;

// ---- Hot-key control and the window hot key --------------------------------------------
constexpr UINT HKM_SETHOTKEY = 0x0401;
constexpr UINT HKM_GETHOTKEY = 0x0402;
constexpr UINT HKM_SETRULES = 0x0403;
// Modifier bits of a hot-key value's high byte.
constexpr BYTE HOTKEYF_SHIFT = 0x01;
constexpr BYTE HOTKEYF_CONTROL = 0x02;
constexpr BYTE HOTKEYF_ALT = 0x04;
constexpr BYTE HOTKEYF_EXT = 0x08;
// Modifier combinations HKM_SETRULES can forbid.
constexpr WPARAM HKCOMB_NONE = 0x01;
constexpr WPARAM HKCOMB_S = 0x02;
constexpr WPARAM HKCOMB_C = 0x04;
constexpr WPARAM HKCOMB_A = 0x08;
constexpr WPARAM HKCOMB_SC = 0x10;
constexpr WPARAM HKCOMB_SA = 0x20;
constexpr WPARAM HKCOMB_CA = 0x40;
constexpr WPARAM HKCOMB_SCA = 0x80;
// WM_SYSCOMMAND of a window hot key: the window is activated.
constexpr WPARAM SC_HOTKEY = 0xF150;

// ---- Up-down control --------------------------------------------------------------------
constexpr DWORD UDS_WRAP = 0x0001;
constexpr DWORD UDS_SETBUDDYINT = 0x0002;
constexpr DWORD UDS_ALIGNRIGHT = 0x0004;
constexpr DWORD UDS_ALIGNLEFT = 0x0008;
constexpr DWORD UDS_AUTOBUDDY = 0x0010;
constexpr DWORD UDS_ARROWKEYS = 0x0020;
constexpr DWORD UDS_HORZ = 0x0040;
constexpr DWORD UDS_NOTHOUSANDS = 0x0080;

constexpr UINT UDM_SETRANGE = 0x0465;
constexpr UINT UDM_GETRANGE = 0x0466;
constexpr UINT UDM_SETPOS = 0x0467;
constexpr UINT UDM_GETPOS = 0x0468;
constexpr UINT UDM_SETBUDDY = 0x0469;
constexpr UINT UDM_GETBUDDY = 0x046A;
constexpr UINT UDM_SETACCEL = 0x046B;
constexpr UINT UDM_GETACCEL = 0x046C;
constexpr UINT UDM_SETBASE = 0x046D;
constexpr UINT UDM_GETBASE = 0x046E;

constexpr int32_t UDN_DELTAPOS = -722;
constexpr int UD_MAXVAL = 0x7FFF;
constexpr int UD_MINVAL = -UD_MAXVAL;

// Scroll codes the up-down control sends its parent after a step (WM_VSCROLL/WM_HSCROLL).
constexpr WORD SB_THUMBPOSITION = 4;
constexpr WORD SB_ENDSCROLL = 8;

struct NMUPDOWN32 {
    NMHDR32 hdr;
    int32_t iPos = 0;
    int32_t iDelta = 0;
};
static_assert(sizeof(NMUPDOWN32) == 20);
struct UDACCEL32 {
    UINT nSec = 0;
    UINT nInc = 0;
};
static_assert(sizeof(UDACCEL32) == 8);

// A child up-down window with its buddy, range (upper is the maximum) and position; 0 on failure.
// The instance is accepted for the call's shape and not used.
HWND CreateUpDownControl(DWORD style, int x, int y, int cx, int cy, HWND parent, int id, HANDLE instance,
                         HWND buddy, int upper, int lower, int pos);

} // namespace win
