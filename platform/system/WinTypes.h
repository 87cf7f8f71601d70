#pragma once
// The basic Win32 types the platform layer and the program share (32-bit target sizes).
#include <cstdint>

namespace win {

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;
using WPARAM = uint32_t;
using LPARAM = int32_t;
using LRESULT = int32_t;
using ATOM = uint16_t;
using COLORREF = uint32_t;

// Handles are positive 32-bit numbers, as a 32-bit program stores them in a Long.
using HWND = int32_t;
using HANDLE = int32_t;
using HMENU = int32_t;
using HKEY = uint32_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Result codes shared by several services.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_NOACCESS = 998;  // an address that cannot be read or written
constexpr LONG ERROR_BAD_NETPATH = 53;
constexpr LONG ERROR_CHILD_MUST_BE_VOLATILE = 1021;
constexpr LONG ERROR_KEY_HAS_CHILDREN = 1020;  // the registry gives ERROR_ACCESS_DENIED instead, as the target
constexpr LONG ERROR_BADDB = 1009;

} // namespace win
