#pragma once
// A scan of the top-level windows reported to a client object, and a window's caption and class
// name as text. One scan runs at a time for the whole program.
#include "platform/system/WinTypes.h"

#include <cstdint>
#include <string>

class IEnumWindowsSink {
public:
    virtual ~IEnumWindowsSink() = default;
    // Once per top-level window; setting stop ends the scan.
    virtual void EnumWindow(win::HWND hwnd, bool& stop) = 0;
    // A number of the sink's choosing, handed to the enumeration as its parameter.
    virtual int32_t Identifier() = 0;
};

namespace mWindow {

// Reports every top-level window to the sink. Refused (the sink is not called) while another
// scan runs, including one started from inside a sink.
void EnumerateWindows(IEnumWindowsSink& sink);
std::string GetWindowTextString(win::HWND hwnd);
std::string GetClassNameString(win::HWND hwnd);

} // namespace mWindow
