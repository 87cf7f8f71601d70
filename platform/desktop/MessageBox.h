#pragma once
#include "MessageBoxStyle.h"
#include "Modal.h"
#include "Window.h"

#include <functional>
#include <vector>

namespace win {

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

} // namespace win
