#include "Clipboard.h"

#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

namespace win {

namespace {
struct ClipboardState {
    bool busy = false;
    bool open = false;
    bool hasText = false;
    std::string text;
};
ClipboardState& clip() { return sys::Machine::current().service<ClipboardState>(); }
} // namespace

BOOL OpenClipboard(HWND) {
    auto& c = clip();
    if (c.busy || c.open) return FALSE;
    c.open = true;
    return TRUE;
}

BOOL CloseClipboard() {
    auto& c = clip();
    if (!c.open) return FALSE;
    c.open = false;
    return TRUE;
}

BOOL EmptyClipboard() {
    auto& c = clip();
    if (!c.open) return FALSE;
    c.text.clear();
    c.hasText = false;
    return TRUE;
}

BOOL SetClipboardText(const std::string& text) {
    auto& c = clip();
    if (!c.open) return FALSE;
    const int cp = sys::Machine::current().codePage();
    c.text = sys::fromAnsi(sys::toAnsi(text, cp), cp);
    c.hasText = true;
    return TRUE;
}

std::string GetClipboardText() { return clip().text; }
BOOL IsClipboardFormatAvailable(UINT format) { return format == CF_TEXT && clip().hasText ? TRUE : FALSE; }
void setClipboardBusy(bool busy) { clip().busy = busy; }

} // namespace win
