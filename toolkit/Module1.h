#pragma once
// Ending another process by its id, with the debug privilege switched on just for opening it.
#include "platform/system/WinTypes.h"

#include <cstdint>
#include <string>

namespace Module1 {

// True when the process was ended. Never raises.
bool KillProcessByID(int32_t& processId);
// Switches one privilege of the token on or off, leaving the others; true when the final
// adjustment succeeded.
bool SetPrivilege(win::HANDLE token, const std::string& privilege, bool enable);

} // namespace Module1
