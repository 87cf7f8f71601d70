#pragma once
// The clipboard's text.
#include "Window.h"

namespace win {

constexpr UINT CF_TEXT = 1;
BOOL OpenClipboard(HWND owner);  // FALSE while another program holds it
BOOL CloseClipboard();
BOOL EmptyClipboard();            // needs the clipboard open
BOOL SetClipboardText(const std::string& text);  // UTF-8; needs the clipboard open
std::string GetClipboardText();   // UTF-8, "" when none
BOOL IsClipboardFormatAvailable(UINT format);

// Test side: another program holds the clipboard open.
void setClipboardBusy(bool busy);

} // namespace win
