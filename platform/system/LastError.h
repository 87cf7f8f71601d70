#pragma once
// The calling thread's last error code, as kernel32 keeps it.
#include "WinTypes.h"

namespace win {

DWORD GetLastError();
void SetLastError(DWORD code);

} // namespace win
