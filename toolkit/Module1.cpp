#include "Module1.h"

#include "platform/system/Process.h"

#include <cstring>

namespace Module1 {

namespace {

// The token-privileges record with room for two entries, as the adjustment call takes it.
struct PrivilegeRecord {
    uint32_t count = 0;
    struct Entry {
        uint32_t luidLow = 0;
        int32_t luidHigh = 0;
        uint32_t attributes = 0;
    } entries[2];
};
static_assert(sizeof(PrivilegeRecord) == 28);

constexpr uint32_t kEnabledBit = 2;

} // namespace

namespace {

// Switches one privilege and tells whether it was on before: the first adjustment switches it off
// and hands back the former state of what it changed (nothing changed: it was already off).
bool switchPrivilege(win::HANDLE token, const std::string& privilege, bool enable, bool* wasEnabled) {
    win::LUID luid;
    if (!win::LookupPrivilegeValueA(nullptr, privilege.c_str(), &luid)) return false;

    PrivilegeRecord state;
    state.count = 1;
    state.entries[0] = {luid.LowPart, luid.HighPart, 0};
    PrivilegeRecord previous;
    win::DWORD previousLength = 0;
    const bool queried =
        win::AdjustTokenPrivileges(token, win::FALSE, reinterpret_cast<const win::TOKEN_PRIVILEGES*>(&state),
                                   sizeof previous, reinterpret_cast<win::TOKEN_PRIVILEGES*>(&previous),
                                   &previousLength) != win::FALSE;
    if (wasEnabled)
        *wasEnabled = queried && previous.count >= 1 && (previous.entries[0].attributes & kEnabledBit) != 0;

    previous.count = 1;
    previous.entries[0].luidLow = luid.LowPart;
    previous.entries[0].luidHigh = luid.HighPart;
    if (enable)
        previous.entries[0].attributes |= kEnabledBit;
    else
        previous.entries[0].attributes &= ~kEnabledBit;
    if (previousLength < 16 || previousLength > sizeof previous) previousLength = 16;
    return win::AdjustTokenPrivileges(token, win::FALSE, reinterpret_cast<const win::TOKEN_PRIVILEGES*>(&previous),
                                      previousLength, nullptr, nullptr) != win::FALSE;
}

} // namespace

bool SetPrivilege(win::HANDLE token, const std::string& privilege, bool enable) {
    return switchPrivilege(token, privilege, enable, nullptr);
}

bool KillProcessByID(int32_t& processId) {
    win::HANDLE token = 0;
    win::HANDLE process = 0;
    bool ended = false;
    try {
        win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_ADJUST_PRIVILEGES | win::TOKEN_QUERY, &token);
        bool wasEnabled = false;
        if (token) switchPrivilege(token, "SeDebugPrivilege", true, &wasEnabled);
        process = win::OpenProcess(win::PROCESS_ALL_ACCESS, win::FALSE, static_cast<win::DWORD>(processId));
        // Only what this call switched on is switched off again.
        if (token && !wasEnabled) SetPrivilege(token, "SeDebugPrivilege", false);
        if (process) ended = win::TerminateProcess(process, 0) != win::FALSE;
    } catch (...) {
        // Ending another program is best effort: any failure reads as "not ended".
    }
    if (process) win::CloseHandle(process);
    if (token) win::CloseHandle(token);
    return ended;
}

} // namespace Module1
