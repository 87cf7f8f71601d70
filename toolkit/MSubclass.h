#pragma once
// Window-message subclassing: any number of clients attach to (window, message) pairs of the
// program's own windows. The bookkeeping lives in window properties of the subclassed window;
// one shared window procedure dispatches each message to its clients, last-attached first.
#include "ISubclass.h"

#include <cstdint>
#include <string>

namespace MSubclass {

// Attaches the client. Raises 13083 (no window), 13084 (another process's window), 13082 (the
// client is attached to this message already), 13081 (the procedure could not be replaced) or
// 5 (a property could not be written), undoing what it wrote first.
void HookMessage(ISubclass* client, win::HWND hwnd, win::UINT msg);
// Detaches the client; never raises.
void UnhookMessage(ISubclass* client, win::HWND hwnd, win::UINT msg);
// The window's previous procedure's result for the message; 0 when none is stored.
win::LRESULT CallPrevWndProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);
// The message most recently handed to a client.
int32_t CurrentMessage();
// True when the window's thread belongs to the current process.
bool IsOwnWindow(win::HWND hwnd);

// Error numbers: object error base + 13081 to 13084.
extern const long kErrCantSubclass;
extern const long kErrAlreadyHandled;
extern const long kErrInvalidWindow;
extern const long kErrExternalWindow;

// The shared window procedure, as installed on subclassed windows.
win::LRESULT SubclassWndProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);

} // namespace MSubclass
