#include "SystemMessage.h"

#include "CodePage.h"
#include "LastError.h"

#include <map>

namespace win {

namespace {

constexpr DWORD kInsufficientBuffer = 122;

const std::map<DWORD, const char*>& table() {
    static const std::map<DWORD, const char*> t = {
        {0, "The operation completed successfully."},
        {2, "The system cannot find the file."},
        {3, "The system cannot find the path."},
        {5, "Access is denied."},
        {6, "The handle is not valid."},
        {8, "Not enough memory is available for this command."},
        {87, "A parameter is not valid."},
        {122, "The buffer given to the system call is too small."},
        {259, "No more data is available."},
        {1400, "The window handle is not valid."},
        {1409, "The hot key is already registered."},
        {1419, "The hot key is not registered."},
    };
    return t;
}

} // namespace

DWORD FormatMessage(DWORD flags, const void*, DWORD messageId, DWORD, std::string& buffer, DWORD size, void*) {
    buffer.clear();
    const auto it = table().find(messageId);
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || it == table().end()) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::string text = std::string(it->second) + "\r\n";
    const size_t bytes = sys::ansiLength(text);
    if (bytes + 1 > size) {
        SetLastError(kInsufficientBuffer);
        return 0;
    }
    buffer = text;
    return static_cast<DWORD>(bytes);
}

} // namespace win
