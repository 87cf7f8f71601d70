#pragma once
// The client side of window-message subclassing (MSubclass). A client answers MsgResponse when
// asked: 2 = the window's own procedure runs before the first-attached client, 1 = after all
// clients, anything else = not at all.
#include "platform/system/WinTypes.h"

#include <cstdint>

class ISubclass {
public:
    virtual int32_t MsgResponse() = 0;
    virtual void MsgResponse(int32_t value) = 0;
    virtual win::LRESULT WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) = 0;

    // The 32-bit value a window property holds for this client. A window property cannot hold
    // a host pointer; the value names the client while it lives, so a client that goes without
    // detaching is skipped rather than called.
    int32_t subclassCookie() const { return cookie_; }
    static ISubclass* fromCookie(int32_t cookie);

protected:
    ISubclass();
    virtual ~ISubclass();
    ISubclass(const ISubclass&) = delete;
    ISubclass& operator=(const ISubclass&) = delete;

private:
    int32_t cookie_;
};
