#include "Interaction.h"

#include "Form.h"
#include "RuntimeError.h"
#include "platform/desktop/Clipboard.h"
#include "platform/desktop/Cursor.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/MessageBox.h"
#include "platform/system/Machine.h"
#include "platform/system/Process.h"

#include <map>

namespace forms {

ScreenObject Screen;
ClipboardObject Clipboard;

namespace {

struct ProgramTable {
    std::map<std::string, ProgramStart> programs;  // upper-case full paths
    std::vector<ProgramLaunch> launches;
};
ProgramTable& table() { return sys::Machine::current().service<ProgramTable>(); }

struct FormsMisc {
    std::string appTitle;
    int mousePointer = vbDefault;
};
FormsMisc& misc() { return sys::Machine::current().service<FormsMisc>(); }

// The executable of a command line: a quoted path, or the text up to ".exe", or the first word.
std::string exeOf(const std::string& cmd) {
    size_t i = cmd.find_first_not_of(' ');
    if (i == std::string::npos) return {};
    if (cmd[i] == '"') {
        const size_t end = cmd.find('"', i + 1);
        return cmd.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
    }
    const std::string upper = sys::upperAscii(cmd);
    for (size_t at = upper.find(".EXE", i); at != std::string::npos; at = upper.find(".EXE", at + 1)) {
        const size_t after = at + 4;
        if (after == cmd.size() || cmd[after] == ' ') return cmd.substr(i, after - i);
    }
    const size_t sp = cmd.find(' ', i);
    return cmd.substr(i, sp == std::string::npos ? std::string::npos : sp - i);
}

} // namespace

void setAppTitle(const std::string& title) { misc().appTitle = title; }
std::string appTitle() { return misc().appTitle; }

int MsgBox(const std::string& prompt, int buttons, const std::string& title) {
    win::HWND owner = win::GetActiveWindow();
    win::DWORD pid = 0;
    win::GetWindowThreadProcessId(owner, &pid);
    if (pid != sys::Machine::currentProcessId()) owner = 0;
    return win::MessageBox(owner, prompt, title.empty() ? appTitle() : title, static_cast<win::UINT>(buttons));
}

int DoEvents() {
    win::DoEvents();
    return loadedFormCount();
}

void registerProgram(const std::string& exePath, ProgramStart start) {
    const std::string full = sys::Machine::current().fullWinPath(exePath);
    table().programs[sys::upperAscii(full)] = std::move(start);
}

void unregisterProgram(const std::string& exePath) {
    table().programs.erase(sys::upperAscii(sys::Machine::current().fullWinPath(exePath)));
}

uint32_t Shell(const std::string& pathName, int windowStyle) {
    auto& t = table();
    const std::string exe = exeOf(pathName);
    if (exe.empty()) throw RuntimeError(5, "Invalid procedure call or argument");
    auto& machine = sys::Machine::current();
    auto& processes = sys::ProcessTable::of(machine);
    const std::string full = machine.fullWinPath(exe);
    ProgramLaunch launch;
    launch.exePath = full;
    launch.commandLine = pathName;
    launch.windowStyle = windowStyle;
    auto it = t.programs.find(sys::upperAscii(full));
    if (it == t.programs.end()) {
        // A program file on the machine: the process table starts the simulated program it holds.
        const size_t at = pathName.find(exe);
        size_t rest = at == std::string::npos ? pathName.size() : at + exe.size();
        if (rest < pathName.size() && pathName[rest] == '"') ++rest;
        std::string args = pathName.substr(rest);
        args.erase(0, args.find_first_not_of(' '));
        const auto started = processes.start(full, args, windowStyle);
        if (!started.pid) {
            if (started.error == win::ERROR_BAD_EXE_FORMAT) throw RuntimeError(5, "Invalid procedure call or argument");
            throw RuntimeError(53, "File not found");
        }
        launch.processId = started.pid;
        t.launches.push_back(launch);
        return launch.processId;
    }
    // A program registered here runs at once, as a real process of the machine.
    launch.processId = processes.create(full, {.parentId = sys::Machine::currentProcessId()})->id();
    t.launches.push_back(launch);
    const ProgramStart start = it->second;  // the program may register others
    {
        sys::ProcessScope scope(launch.processId);
        start(launch);
    }
    return launch.processId;
}

std::vector<ProgramLaunch> programLaunches() { return table().launches; }

int ScreenObject::MousePointer() const { return misc().mousePointer; }
void ScreenObject::setMousePointer(int pointer) {
    misc().mousePointer = pointer;
    // Shown at once: the work that set the hourglass runs before the mouse can move again.
    win::SetCursor(win::LoadCursor(0, pointer == vbHourglass ? win::IDC_WAIT : win::IDC_ARROW));
}
long ScreenObject::Width() const { return sys::Machine::current().screenWidth() * 15L; }
long ScreenObject::Height() const { return sys::Machine::current().screenHeight() * 15L; }

namespace {
struct ClipboardSession {
    ClipboardSession() {
        if (!win::OpenClipboard(0)) throw RuntimeError(521, "Can't open Clipboard");
    }
    ~ClipboardSession() { win::CloseClipboard(); }
};
} // namespace

void ClipboardObject::Clear() {
    ClipboardSession s;
    win::EmptyClipboard();
}

void ClipboardObject::SetText(const std::string& text) {
    ClipboardSession s;
    win::EmptyClipboard();
    win::SetClipboardText(text);
}

std::string ClipboardObject::GetText() const { return win::GetClipboardText(); }

} // namespace forms
