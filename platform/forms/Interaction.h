#pragma once
// The forms runtime's interaction functions: MsgBox, DoEvents, Shell, SendKeys, Screen, Clipboard.
#include "platform/desktop/Window.h"

#include <functional>
#include <string>

namespace forms {

// MsgBox buttons and style
constexpr int vbOKOnly = 0;
constexpr int vbOKCancel = 1;
constexpr int vbAbortRetryIgnore = 2;
constexpr int vbYesNoCancel = 3;
constexpr int vbYesNo = 4;
constexpr int vbRetryCancel = 5;
constexpr int vbCritical = 16;
constexpr int vbQuestion = 32;
constexpr int vbExclamation = 48;
constexpr int vbInformation = 64;
constexpr int vbDefaultButton1 = 0;
constexpr int vbDefaultButton2 = 256;
constexpr int vbDefaultButton3 = 512;
constexpr int vbApplicationModal = 0;
constexpr int vbSystemModal = 4096;
constexpr int vbMsgBoxSetForeground = 65536;
// MsgBox results
constexpr int vbOK = 1;
constexpr int vbCancel = 2;
constexpr int vbAbort = 3;
constexpr int vbRetry = 4;
constexpr int vbIgnore = 5;
constexpr int vbYes = 6;
constexpr int vbNo = 7;

// The program's title (App.Title): the title of a MsgBox that names none.
void setAppTitle(const std::string& title);
std::string appTitle();

// A message box owned by the program's active window. Scripted like every modal loop (see
// platform/desktop/Modal.h).
int MsgBox(const std::string& prompt, int buttons = vbOKOnly, const std::string& title = "");

// One pump round; gives the number of loaded forms.
int DoEvents();

// Shell window styles
constexpr int vbHide = 0;
constexpr int vbNormalFocus = 1;
constexpr int vbMinimizedFocus = 2;
constexpr int vbMaximizedFocus = 3;
constexpr int vbNormalNoFocus = 4;
constexpr int vbMinimizedNoFocus = 6;

// Simulated programs by executable path. The start function runs as the new process
// (sys::ProcessScope) and should create the program's windows and timers.
struct ProgramLaunch {
    uint32_t processId = 0;
    std::string exePath;      // full Windows path
    std::string commandLine;  // the whole text given to Shell
    int windowStyle = vbMinimizedFocus;
};
using ProgramStart = std::function<void(const ProgramLaunch&)>;
void registerProgram(const std::string& exePath, ProgramStart start);
void unregisterProgram(const std::string& exePath);
// Starts the program registered for the path's executable; its process id. Unknown: 53.
uint32_t Shell(const std::string& pathName, int windowStyle = vbMinimizedFocus);
// Launches so far, in order (tests).
std::vector<ProgramLaunch> programLaunches();

// Keys to the foreground window in SendKeys notation; malformed text raises 5.
void SendKeys(const std::string& keys, bool wait = false);

// Mouse pointers
constexpr int vbDefault = 0;
constexpr int vbArrow = 1;
constexpr int vbHourglass = 11;

class ScreenObject {
public:
    int MousePointer() const;
    void setMousePointer(int pointer);
    int TwipsPerPixelX() const { return 15; }
    int TwipsPerPixelY() const { return 15; }
    long Width() const;   // twips
    long Height() const;  // twips
};
extern ScreenObject Screen;

// Clipboard text; a clipboard another program holds raises 521 "Can't open Clipboard".
class ClipboardObject {
public:
    void Clear();
    void SetText(const std::string& text);
    std::string GetText() const;
};
extern ClipboardObject Clipboard;

} // namespace forms
