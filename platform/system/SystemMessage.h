#pragma once
// The system message table: the text the machine gives for an error code.
#include "WinTypes.h"

#include <string>

namespace win {

constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x0200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

// Only FORMAT_MESSAGE_FROM_SYSTEM is served; source, language and arguments are not used. On
// success the text (ending in a line break, as the table's texts do) is in buffer and the result
// is its length in code-page bytes. 0 with the last error set when the code has no text
// (ERROR_MR_MID_NOT_FOUND) or the text needs more than size - 1 bytes (ERROR_INSUFFICIENT_BUFFER).
DWORD FormatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId, std::string& buffer,
                    DWORD size, void* arguments);

} // namespace win
