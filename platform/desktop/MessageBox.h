#pragma once
#include "Modal.h"
#include "Window.h"

#include <functional>
#include <vector>

namespace win {

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_DEFBUTTON1 = 0x000;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_APPLMODAL = 0x0000;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr UINT MB_SETFOREGROUND = 0x10000;
constexpr UINT MB_TOPMOST = 0x40000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a box (recorded) and gives the button the user chose.
int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

struct MessageBoxRecord;
// Tells of each box as it is answered (the program's console prints them).
void watchMessageBoxes(std::function<void(const MessageBoxRecord&)> watcher);

// ---- Test side --------------------------------------------------------------------------
struct MessageBoxRecord {
    HWND owner = 0;
    std::string text, caption;  // UTF-8
    UINT type = 0;
    int answer = 0;
    bool answeredByDefault = false;
};
// The next box takes this button; it must be one the box has, else the box fails loudly.
void queueMessageBoxAnswer(int id);
size_t queuedMessageBoxAnswers();
std::vector<MessageBoxRecord> messageBoxes();
void clearMessageBoxes();
// The buttons a box style shows, default first as MB_DEFBUTTONn picks.
std::vector<int> messageBoxButtons(UINT type);

} // namespace win
