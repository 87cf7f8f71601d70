#pragma once
// System-wide hot keys for one window. Each key carries a name chosen by the client, and a press
// is reported as HotKeyPress with that name. Every registration takes a global atom, made from a
// name of its own, as its hot-key id, so ids never collide with other programs' keys.
#include "ISubclass.h"
#include "platform/system/WinTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class cRegHotKey : public ISubclass {
public:
    cRegHotKey() = default;
    // Unregisters every key and lets go of the window.
    ~cRegHotKey() override;

    // Clears, then binds to the window (0: stays unbound). A window that cannot be subclassed
    // leaves the object unbound; registrations then fail and say so.
    void Attach(win::HWND hwnd);
    // Unregisters every key, last first, and lets go of the window.
    void Clear();
    // False (with a message box, see below) when the name is registered already, no atom could
    // be made, or the system refused the key; alert decides whether that last case is shown.
    bool RegisterKey(const std::string& name, int32_t key, int32_t modifiers, bool alert,
                     const std::string& display);
    void UnregisterKey(const std::string& name);
    // Shows the window if hidden, restores it if minimised and brings it to the foreground.
    void RestoreAndActivate(win::HWND hwnd);

    // Raised from inside the window's message handling. The handler may clear, re-attach or
    // destroy this object.
    std::function<void(const std::string& name, int32_t modifiers, int32_t key)> HotKeyPress;

    // The window's own procedure sees the hot-key message first.
    int32_t MsgResponse() override { return 2; }
    void MsgResponse(int32_t) override {}
    win::LRESULT WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) override;

private:
    struct KeyEntry {
        std::string name;
        std::string atomName;
        int32_t id = 0;
        int32_t key = 0;
        int32_t modifiers = 0;
    };

    // 1-based; 0 when absent. Names compare exactly.
    size_t KeyIndex(const std::string& name) const;
    static std::string ErrorText(win::DWORD code);

    std::vector<KeyEntry> keys_;
    win::HWND attached_ = 0;
};
