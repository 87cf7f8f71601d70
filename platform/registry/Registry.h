#pragma once
// The machine's registry: Win32-style entry points and a small UTF-8 accessor over one store.
//
// The "A" functions take and give text in the machine's ANSI code page (sizes in bytes of that
// form); the "W" functions in UTF-16. Both go through the same store, which keeps UTF-16 text and is
// written to <machine root>/registry.dat after every change. Text values keep the bytes given,
// with the terminator that follows them where the size given leaves it out.
// HKEY_CLASSES_ROOT shows HKEY_CURRENT_USER\Software\Classes over HKEY_LOCAL_MACHINE\Software\Classes.
#include "platform/system/WinTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace win {

using REGSAM = DWORD;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD DELETE = 0x00010000;
constexpr DWORD READ_CONTROL = 0x00020000;
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr DWORD STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr DWORD STANDARD_RIGHTS_ALL = 0x001F0000;
constexpr DWORD MAXIMUM_ALLOWED = 0x02000000;
constexpr DWORD GENERIC_ALL = 0x10000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_READ = 0x80000000;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY);
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_WRITE = (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
constexpr REGSAM KEY_ALL_ACCESS = (STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                                   KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK);

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_CANTWRITE = 1013;  // the registry file could not be written; nothing changed
constexpr LONG ERROR_KEY_DELETED = 1018;
// Deleting a key that still has sub-keys gives ERROR_ACCESS_DENIED, as on the target.

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult);
LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult);
LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, const char* lpClass, DWORD dwOptions,
                     REGSAM samDesired, const void* lpSecurityAttributes, HKEY* phkResult,
                     DWORD* lpdwDisposition);
LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult);
LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData);
LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey);
LONG RegDeleteValueA(HKEY hKey, const char* lpValueName);
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime);
LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName);
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
LONG RegQueryInfoKeyA(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime);
// Only the local registry exists: a null or empty machine name gives hKey back, any other name
// ERROR_BAD_NETPATH.
LONG RegConnectRegistryA(const char* lpMachineName, HKEY hKey, HKEY* phkResult);
LONG RegCloseKey(HKEY hKey);
LONG RegFlushKey(HKEY hKey);

// UTF-16 forms, for the speech service and for text outside the code page.
LONG RegOpenKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult);
LONG RegCreateKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD Reserved, const char16_t* lpClass,
                     DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes, HKEY* phkResult,
                     DWORD* lpdwDisposition);
LONG RegQueryValueExW(HKEY hKey, const char16_t* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData);
LONG RegSetValueExW(HKEY hKey, const char16_t* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, char16_t* lpName, DWORD* lpcchName, DWORD* lpReserved,
                   char16_t* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime);
LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, char16_t* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
LONG RegDeleteValueW(HKEY hKey, const char16_t* lpValueName);
LONG RegDeleteKeyW(HKEY hKey, const char16_t* lpSubKey);
LONG RegQueryInfoKeyW(HKEY hKey, char16_t* lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime);
LONG RegConnectRegistryW(const char16_t* lpMachineName, HKEY hKey, HKEY* phkResult);

} // namespace win

// UTF-8 access for the platform layers and the program's own code, on the current machine.
// Paths are relative to a predefined root ("Software\\Pennant"); names without regard to case.
namespace reg {

// Text of a REG_SZ or REG_EXPAND_SZ value (unexpanded), the first string of a REG_MULTI_SZ.
std::optional<std::string> getString(win::HKEY root, const std::string& path, const std::string& name);
// Creates the key path as needed. type is REG_SZ or REG_EXPAND_SZ.
bool setString(win::HKEY root, const std::string& path, const std::string& name, const std::string& value,
               win::DWORD type = win::REG_SZ);
std::optional<win::DWORD> getDword(win::HKEY root, const std::string& path, const std::string& name);
bool setDword(win::HKEY root, const std::string& path, const std::string& name, win::DWORD value);
bool deleteValue(win::HKEY root, const std::string& path, const std::string& name);
bool keyExists(win::HKEY root, const std::string& path);
bool createKey(win::HKEY root, const std::string& path);
// Removes the key with everything below it; true when it existed and is gone.
bool deleteTree(win::HKEY root, const std::string& path);
// Names in enumeration order: sub-keys sorted without regard to case, values in creation order.
std::vector<std::string> subKeys(win::HKEY root, const std::string& path);
std::vector<std::string> valueNames(win::HKEY root, const std::string& path);

// Why the registry is failing: a damaged registry file (every call then gives ERROR_BADDB and
// the file is left as it is) or the last failed write. "" when all is well.
std::string databaseError();

} // namespace reg
