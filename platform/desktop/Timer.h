#pragma once
// Timers and time on the machine clock. Ticks are delivered only by the pump.
#include "Window.h"

namespace win {

using TIMERPROC = std::function<void(HWND, UINT, UINT, DWORD)>;
constexpr UINT USER_TIMER_MINIMUM = 10;
// With a window: replaces the window's timer of the same id and gives the id; ticks arrive as
// WM_TIMER (wParam id) or through proc when given. Without one: a new id for proc.
// The period counts from the set time; a late tick is not repeated. 0 on failure.
UINT SetTimer(HWND hwnd, UINT id, UINT elapseMs, TIMERPROC proc = nullptr);
BOOL KillTimer(HWND hwnd, UINT id);

DWORD GetTickCount();
DWORD timeGetTime();
// Blocks the calling thread (a virtual clock just moves on); no messages are pumped.
void Sleep(DWORD ms);

// Test side: timers set and not killed.
size_t activeTimerCount();

} // namespace win
