#pragma once
// The program's window system as the engine reaches it: the table of entry points on the machine
// the engine object was created for. The library links no window system of its own.
#include "platform/desktop/WindowSystemCalls.h"
#include "platform/desktop/MessageBox.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <string>

namespace voxling {

// nullptr when the machine runs no window system: nothing is shown then.
inline const win::WindowSystemCalls* windowSystem(sys::Machine* m) {
    return m ? m->findService<win::WindowSystemCalls>() : nullptr;
}

// Memory a message points at, pinned for the pin's life.
class Pinned {
public:
    Pinned(const win::WindowSystemCalls& ws, void* data, size_t size) : ws_(ws), address_(ws.pin(data, size)) {}
    ~Pinned() { ws_.unpin(address_); }
    Pinned(const Pinned&) = delete;
    Pinned& operator=(const Pinned&) = delete;
    win::LPARAM address() const { return address_; }

private:
    const win::WindowSystemCalls& ws_;
    win::LPARAM address_;
};

// Sends a message whose lParam is a text, as the "A" messages carry it (ANSI, NUL-terminated).
inline win::LRESULT sendText(const win::WindowSystemCalls& ws, sys::Machine& m, win::HWND h, win::UINT msg,
                             win::WPARAM wParam, const std::string& utf8) {
    std::string ansi = sys::toAnsi(utf8, m.codePage());
    ansi.push_back('\0');
    Pinned p(ws, ansi.data(), ansi.size());
    return ws.SendMessage(h, msg, wParam, p.address());
}

} // namespace voxling
