#pragma once
// Common dialogs: the open-file dialog, answered from a queue like every modal loop.
#include "Modal.h"
#include "Window.h"

#include <optional>
#include <vector>

namespace win {

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_EXPLORER = 0x00080000;

struct OPENFILENAME {
    HWND hwndOwner = 0;
    std::string lpstrFilter;  // "Programs (*.exe)|*.exe" pairs, '|' or NUL separated
    DWORD nFilterIndex = 0;
    std::string lpstrFile;    // in: initial name; out: the chosen full path
    std::string lpstrInitialDir;
    std::string lpstrTitle;
    std::string lpstrDefExt;
    DWORD Flags = 0;
};
// TRUE with lpstrFile set when the user picked a file; FALSE when cancelled. With
// OFN_FILEMUSTEXIST a queued path that does not exist on the machine fails loudly.
BOOL GetOpenFileName(OPENFILENAME* ofn);

// ---- Test side --------------------------------------------------------------------------
void queueOpenFileAnswer(const std::string& path);  // a Windows path
void queueOpenFileCancel();
std::vector<OPENFILENAME> openFileDialogs();  // as shown, before the answer

} // namespace win
