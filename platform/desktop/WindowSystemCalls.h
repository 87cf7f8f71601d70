#pragma once
// The window system as a table of entry points kept on the machine, for server libraries loaded
// into the program (the speech engine). Such a library links no copy of the window system: it
// finds this table among the machine's services (by type name) and calls the one the program
// runs. Plain function pointers, so both sides agree on nothing but these declarations.
#include "Cursor.h"
#include "Dialog.h"
#include "Message.h"
#include "Paint.h"
#include "Window.h"

#include <cstddef>
#include <string>

namespace sys { class Machine; }

namespace win {

struct WindowSystemCalls {
    // Windows
    HWND (*CreateWindowEx)(DWORD, const std::string&, const std::string&, DWORD, int, int, int, int, HWND, HMENU,
                           LPARAM);
    BOOL (*DestroyWindow)(HWND);
    BOOL (*IsWindow)(HWND);
    BOOL (*ShowWindow)(HWND, int);
    BOOL (*MoveWindow)(HWND, int, int, int, int, BOOL);
    BOOL (*GetWindowRect)(HWND, RECT*);
    BOOL (*GetClientRect)(HWND, RECT*);
    HWND (*GetWindow)(HWND, UINT);
    HWND (*GetParent)(HWND);
    HWND (*FindWindowEx)(HWND, HWND, const char*, const char*);
    HWND (*GetForegroundWindow)();
    BOOL (*EnableWindow)(HWND, BOOL);
    BOOL (*IsWindowEnabled)(HWND);
    LONG (*GetWindowLong)(HWND, int);
    LONG (*SetWindowLong)(HWND, int, LONG);
    BOOL (*SetWindowText)(HWND, const std::string&);
    std::string (*windowText)(HWND);
    std::string (*className)(HWND);
    ATOM (*RegisterClass)(const WNDCLASS&);
    WNDPROC (*registerWndProc)(WndProcFn);
    void (*releaseWndProc)(WNDPROC);
    LRESULT (*CallWindowProc)(WNDPROC, HWND, UINT, WPARAM, LPARAM);
    LRESULT (*DefWindowProc)(HWND, UINT, WPARAM, LPARAM);
    // Messages; memory a message points at is pinned by the program's side
    LRESULT (*SendMessage)(HWND, UINT, WPARAM, LPARAM);
    BOOL (*PostMessage)(HWND, UINT, WPARAM, LPARAM);
    LPARAM (*pin)(void*, size_t);
    void (*unpin)(LPARAM);
    char* (*pinnedAt)(LPARAM, size_t*);
    void (*DoEvents)();
    // Dialogs
    HWND (*CreateDialogIndirectParam)(const DLGTEMPLATE&, HWND, DLGPROC, LPARAM);
    int (*DialogBoxIndirectParam)(const DLGTEMPLATE&, HWND, DLGPROC, LPARAM);
    BOOL (*EndDialog)(HWND, int);
    HWND (*GetDlgItem)(HWND, int);
    void (*runModalWindow)(HWND);
    // Fonts and painting
    HFONT (*CreateFontIndirect)(const LOGFONTA*);
    BOOL (*DeleteFont)(HFONT);
    BOOL (*InvalidateRect)(HWND, const RECT*, BOOL);
    BOOL (*UpdateWindow)(HWND);
    HDC (*BeginPaint)(HWND, PAINTSTRUCT*);
    BOOL (*EndPaint)(HWND, const PAINTSTRUCT*);
    COLORREF (*SetTextColor)(HDC, COLORREF);
    int (*SetBkMode)(HDC, int);
    HFONT (*SelectFont)(HDC, HFONT);
    HBRUSH (*GetSysColorBrush)(int);
    int (*FillRect)(HDC, const RECT*, HBRUSH);
    int (*DrawText)(HDC, const std::string&, RECT*, UINT);
    // Cursors and icons
    HCURSOR (*LoadCursor)(HANDLE, int);
    HCURSOR (*SetCursor)(HCURSOR);
    HICON (*CreateIconFromResourceEx)(const BYTE*, DWORD, BOOL, DWORD, int, int, UINT);
    BOOL (*DestroyIcon)(HICON);
    // The shell's open verb (greater than 32 on success); fails while no shell is present
    HANDLE (*ShellExecute)(HWND, const std::string&, const std::string&, const std::string&, const std::string&, int);
};

// The shell lives above the window system (in the forms runtime), which hands its open verb in
// here when it is part of the program.
using ShellExecuteFn = HANDLE (*)(HWND, const std::string&, const std::string&, const std::string&,
                                  const std::string&, int);
void setShellExecute(ShellExecuteFn fn);

// Puts the table on the machine (done when its window system starts).
void installWindowSystemCalls(sys::Machine& machine);

} // namespace win
