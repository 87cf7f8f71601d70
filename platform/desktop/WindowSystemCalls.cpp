#include "WindowSystemCalls.h"

#include "platform/system/Machine.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace win {

namespace {

// Pins outlive the call that made them until unpinned, so they are kept by address.
struct LibraryPins {
    std::mutex mutex;
    std::map<LPARAM, std::unique_ptr<PinnedMemory>> pins;
};
LibraryPins& libraryPins() {
    static LibraryPins p;
    return p;
}

LPARAM pin(void* data, size_t size) {
    auto p = std::make_unique<PinnedMemory>(data, size);
    const LPARAM a = p->address();
    auto& t = libraryPins();
    std::lock_guard lock(t.mutex);
    t.pins[a] = std::move(p);
    return a;
}

void unpin(LPARAM address) {
    auto& t = libraryPins();
    std::lock_guard lock(t.mutex);
    t.pins.erase(address);
}

std::atomic<ShellExecuteFn> g_shell{nullptr};

HANDLE shellExecute(HWND owner, const std::string& operation, const std::string& file, const std::string& parameters,
                    const std::string& directory, int show) {
    const ShellExecuteFn fn = g_shell.load();
    return fn ? fn(owner, operation, file, parameters, directory, show) : 2;  // as for a file not found
}

} // namespace

void setShellExecute(ShellExecuteFn fn) { g_shell = fn; }

void installWindowSystemCalls(sys::Machine& machine) {
    WindowSystemCalls& c = machine.service<WindowSystemCalls>();
    c.CreateWindowEx = &CreateWindowEx;
    c.DestroyWindow = &DestroyWindow;
    c.IsWindow = &IsWindow;
    c.ShowWindow = &ShowWindow;
    c.MoveWindow = &MoveWindow;
    c.GetWindowRect = &GetWindowRect;
    c.GetClientRect = &GetClientRect;
    c.GetWindow = &GetWindow;
    c.GetParent = &GetParent;
    c.FindWindowEx = &FindWindowEx;
    c.GetForegroundWindow = &GetForegroundWindow;
    c.EnableWindow = &EnableWindow;
    c.IsWindowEnabled = &IsWindowEnabled;
    c.GetWindowLong = &GetWindowLong;
    c.SetWindowLong = &SetWindowLong;
    c.SetWindowText = &SetWindowText;
    c.windowText = &windowText;
    c.className = &className;
    c.RegisterClass = &RegisterClass;
    c.registerWndProc = &registerWndProc;
    c.releaseWndProc = &releaseWndProc;
    c.CallWindowProc = &CallWindowProc;
    c.DefWindowProc = &DefWindowProc;
    c.SendMessage = &SendMessage;
    c.PostMessage = &PostMessage;
    c.pin = &pin;
    c.unpin = &unpin;
    c.pinnedAt = &pinnedAt;
    c.DoEvents = &DoEvents;
    c.CreateDialogIndirectParam = &CreateDialogIndirectParam;
    c.DialogBoxIndirectParam = &DialogBoxIndirectParam;
    c.EndDialog = &EndDialog;
    c.GetDlgItem = &GetDlgItem;
    c.runModalWindow = &runModalWindow;
    c.CreateFontIndirect = &CreateFontIndirect;
    c.DeleteFont = &DeleteFont;
    c.InvalidateRect = &InvalidateRect;
    c.UpdateWindow = &UpdateWindow;
    c.BeginPaint = &BeginPaint;
    c.EndPaint = &EndPaint;
    c.SetTextColor = &SetTextColor;
    c.SetBkMode = &SetBkMode;
    c.SelectFont = &SelectFont;
    c.GetSysColorBrush = &GetSysColorBrush;
    c.FillRect = &FillRect;
    c.DrawText = &DrawText;
    c.LoadCursor = &LoadCursor;
    c.SetCursor = &SetCursor;
    c.CreateIconFromResourceEx = &CreateIconFromResourceEx;
    c.DestroyIcon = &DestroyIcon;
    c.ShellExecute = &shellExecute;
}

} // namespace win
