// Processes together with the window system and the forms runtime's Shell.
#include "support/TestMachine.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Process.h"

#include <gtest/gtest.h>

using testing_support::TestMachine;
using namespace win;

namespace {

struct ProgramWithWindows : ::testing::Test {
    TestMachine m;
    sys::ProcessTable& table = sys::ProcessTable::of(*m);
    HWND window = 0, owned = 0, child = 0;

    void SetUp() override {
        m->makeDirs("C:\\Tools");
        m->writeFileAtomic("C:\\Tools\\viewer.exe", "MZ");
        m->writeFileAtomic("C:\\Tools\\readme.txt", "text");
        table.registerProgram("C:\\Tools\\viewer.exe", [this](sys::Process&, const sys::StartInfo&) {
            window = CreateWindowEx(0, "#32770", "Viewer", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, 0);
            child = CreateWindowEx(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window);
            owned = CreateWindowEx(0, "#32770", "Tool", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, window);
        });
    }
};

// How the program ends another process: the debug privilege on for the moment of opening it.
BOOL killProcessById(DWORD pid) {
    HANDLE token = 0;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    LUID debug{};
    LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &debug);
    TOKEN_PRIVILEGES on{1, {{debug, SE_PRIVILEGE_ENABLED}}}, off{1, {{debug, 0}}};
    AdjustTokenPrivileges(token, FALSE, &on, 0, nullptr, nullptr);
    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    AdjustTokenPrivileges(token, FALSE, &off, 0, nullptr, nullptr);
    const BOOL ended = TerminateProcess(h, 0);
    CloseHandle(h);
    CloseHandle(token);
    return ended;
}

TEST_F(ProgramWithWindows, EndingTheProcessDestroysItsWindows) {
    const uint32_t pid = forms::Shell("C:\\Tools\\viewer.exe /view", forms::vbNormalFocus);
    EXPECT_EQ(window, 0);  // a started program runs once the pump turns
    DoEvents();
    ASSERT_TRUE(IsWindow(window) && IsWindow(owned) && IsWindow(child));
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(owner, pid);
    setProcessHung(pid, true);

    EXPECT_TRUE(killProcessById(pid));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(table.find(pid), nullptr);
    EXPECT_FALSE(killProcessById(pid));  // gone: nothing to open
    EXPECT_FALSE(table.find(1000)->token().enabled(20));
}

TEST_F(ProgramWithWindows, AWindowHeldByAnotherProgramGoesWithItsProcess) {
    const uint32_t pid = forms::Shell("C:\\Tools\\viewer.exe", forms::vbNormalFocus);
    DoEvents();
    ASSERT_TRUE(IsWindow(child));
    // This program takes the viewer's child into a window of its own.
    HWND holder = CreateWindowEx(0, "#32770", "Holder", WS_POPUP | WS_VISIBLE, 200, 0, 100, 100, 0);
    HWND mine = CreateWindowEx(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, holder);
    ASSERT_EQ(SetParent(child, holder), window);

    EXPECT_TRUE(killProcessById(pid));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_TRUE(IsWindow(holder));
    EXPECT_TRUE(IsWindow(mine));
}

TEST_F(ProgramWithWindows, ShellStartsProgramFilesAsRealProcesses) {
    const uint32_t pid = forms::Shell("\"C:\\Tools\\viewer.exe\" /view", forms::vbNormalFocus);
    ASSERT_NE(table.find(pid), nullptr);
    EXPECT_EQ(table.find(pid)->exePath(), "C:\\Tools\\viewer.exe");
    EXPECT_EQ(forms::programLaunches().back().processId, pid);

    struct Case { const char* cmd; long error; };
    const Case cases[] = {{"C:\\Tools\\missing.exe", 53}, {"C:\\Gone\\viewer.exe", 53}, {"C:\\Tools\\readme.txt", 5}};
    for (const auto& c : cases) {
        try {
            forms::Shell(c.cmd);
            ADD_FAILURE() << c.cmd;
        } catch (const forms::RuntimeError& e) {
            EXPECT_EQ(e.Number, c.error) << c.cmd;
        }
    }
}

} // namespace
