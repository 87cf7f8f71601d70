#include "support/TestMachine.h"
#include "platform/system/CodePage.h"
#include "platform/system/Process.h"

#include <gtest/gtest.h>
#include <cstring>

using testing_support::TestMachine;
using namespace win;

namespace {

// A second process to read and write, started from a registered program file.
struct TwoProcesses : ::testing::Test {
    TestMachine m;
    sys::ProcessTable& table = sys::ProcessTable::of(*m);
    uint32_t other = 0;

    void SetUp() override {
        m->makeDirs("C:\\Apps");
        m->writeFileAtomic("C:\\Apps\\other.exe", "MZ");
        table.registerProgram("C:\\Apps\\other.exe", [](sys::Process&, const sys::StartInfo&) {});
        other = table.start("C:\\Apps\\other.exe").pid;
        ASSERT_NE(other, 0u);
    }
};

TEST_F(TwoProcesses, RemoteBlocksCarryDataAcrossTheBoundary) {
    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, other);
    ASSERT_NE(h, 0);
    DWORD text = VirtualAllocEx(h, 0, 255, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    DWORD item = VirtualAllocEx(h, 0, 40, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(text, 0u);
    ASSERT_NE(item, 0u);
    EXPECT_NE(text, item);
    EXPECT_EQ(text % 0x10000, 0u);
    EXPECT_EQ(item % 0x10000, 0u);

    const char hello[] = "EURUSD";
    DWORD n = 0;
    ASSERT_TRUE(WriteProcessMemory(h, text + 10, hello, sizeof hello, &n));
    EXPECT_EQ(n, sizeof hello);
    // The other process sees the bytes in its own memory, the caller's is untouched.
    char seen[sizeof hello] = {};
    ASSERT_TRUE(table.find(other)->memory().read(text + 10, seen, sizeof seen));
    EXPECT_STREQ(seen, "EURUSD");
    EXPECT_EQ(table.find(1000)->memory().regionCount(), 0u);

    char back[sizeof hello] = {};
    ASSERT_TRUE(ReadProcessMemory(h, text + 10, back, sizeof back, &n));
    EXPECT_STREQ(back, "EURUSD");

    EXPECT_TRUE(VirtualFreeEx(h, text, 0, MEM_RELEASE));
    EXPECT_TRUE(VirtualFreeEx(h, item, 0, MEM_RELEASE));
    EXPECT_FALSE(ReadProcessMemory(h, text, back, 4, &n));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PARTIAL_COPY));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(table.find(other)->memory().committedBytes(), 0u);
}

TEST_F(TwoProcesses, MemoryOutsideCommittedWritableBlocksIsRefused) {
    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, other);
    DWORD rw = VirtualAllocEx(h, 0, 100, MEM_COMMIT, PAGE_READWRITE);  // one page
    DWORD ro = VirtualAllocEx(h, 0, 100, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
    DWORD reserved = VirtualAllocEx(h, 0, 100, MEM_RESERVE, PAGE_READWRITE);
    ASSERT_TRUE(rw && ro && reserved);
    char buf[16] = {};
    DWORD n = 0;

    struct Case { const char* what; DWORD address; DWORD size; bool write; bool ok; };
    const Case cases[] = {
        {"inside the page", rw + 4096 - 16, 16, true, true},
        {"across the page end", rw + 4096 - 8, 16, true, false},
        {"across the page end (read)", rw + 4096 - 8, 16, false, false},
        {"never allocated", 0x7000'0000, 4, false, false},
        {"null", 0, 4, false, false},
        {"read-only read", ro, 16, false, true},
        {"read-only write", ro, 16, true, false},
        {"reserved only", reserved, 4, false, false},
        {"zero bytes anywhere", 0x1234, 0, false, true},
    };
    for (const auto& c : cases) {
        BOOL r = c.write ? WriteProcessMemory(h, c.address, buf, c.size, &n)
                         : ReadProcessMemory(h, c.address, buf, c.size, &n);
        EXPECT_EQ(r != FALSE, c.ok) << c.what;
        if (!c.ok) {
            EXPECT_EQ(n, 0u) << c.what;
        }
    }
    // Committing the reserved block makes it usable.
    EXPECT_EQ(VirtualAllocEx(h, reserved, 100, MEM_COMMIT, PAGE_READWRITE), reserved);
    EXPECT_TRUE(WriteProcessMemory(h, reserved, buf, 16, &n));

    // A release names a whole block by its base, with size 0.
    EXPECT_FALSE(VirtualFreeEx(h, rw, 100, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(VirtualFreeEx(h, rw + 16, 0, MEM_RELEASE));
    EXPECT_TRUE(VirtualFreeEx(h, rw, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFreeEx(h, rw, 0, MEM_RELEASE));
    // Requests that make no sense allocate nothing.
    EXPECT_EQ(VirtualAllocEx(h, 0, 0, MEM_COMMIT, PAGE_READWRITE), 0u);
    EXPECT_EQ(VirtualAllocEx(h, 0, 16, MEM_COMMIT, 0x777), 0u);
    EXPECT_EQ(VirtualAllocEx(h, 0, 0x7FFF'0000, MEM_COMMIT, PAGE_READWRITE), 0u);
    CloseHandle(h);
}

TEST_F(TwoProcesses, EachCallNeedsItsAccessRight) {
    m->makeDirs("C:\\Program Files\\交易终端");
    table.find(other)->setExePath("C:\\Program Files\\交易终端\\terminal.exe");
    struct Case { DWORD access; bool alloc, write, read, query, terminate; };
    const Case cases[] = {
        {PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, true, true, true, false, false},  // 0x38
        {PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, false, false, true, true, false},                 // 0x410
        {PROCESS_VM_WRITE, false, false, false, false, false},
        {PROCESS_TERMINATE, false, false, false, false, true},
    };
    // One block made with full rights, so reads and writes have somewhere to go.
    HANDLE all = OpenProcess(PROCESS_ALL_ACCESS, FALSE, other);
    DWORD block = VirtualAllocEx(all, 0, 64, MEM_COMMIT, PAGE_READWRITE);
    for (const auto& c : cases) {
        HANDLE h = OpenProcess(c.access, FALSE, other);
        ASSERT_NE(h, 0) << c.access;
        char buf[8] = {};
        DWORD n = 0;
        DWORD a = VirtualAllocEx(h, 0, 16, MEM_COMMIT, PAGE_READWRITE);
        EXPECT_EQ(a != 0, c.alloc) << c.access;
        if (!c.alloc) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
        }
        if (a) VirtualFreeEx(h, a, 0, MEM_RELEASE);
        EXPECT_EQ(WriteProcessMemory(h, block, buf, 8, &n) != 0, c.write) << c.access;
        EXPECT_EQ(ReadProcessMemory(h, block, buf, 8, &n) != 0, c.read) << c.access;
        char name[260];
        std::strcpy(name, "unknown");
        DWORD len = GetModuleFileNameExA(h, 0, name, sizeof name);
        EXPECT_EQ(len != 0, c.query) << c.access;
        if (c.query) {
            EXPECT_EQ(std::string(name, len), sys::toAnsi("C:\\Program Files\\交易终端\\terminal.exe"));
        } else {
            EXPECT_STREQ(name, "unknown");
        }
        CloseHandle(h);
    }
    EXPECT_EQ(OpenProcess(0, FALSE, other), 0);
    EXPECT_NE(table.find(other), nullptr);  // nothing above was allowed to end it
    CloseHandle(all);
}

TEST_F(TwoProcesses, HandlesBelongToTheProcessThatOpenedThem) {
    EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, 4242), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    HANDLE h = OpenProcess(PROCESS_VM_READ, FALSE, other);
    {
        sys::ProcessScope as(other);  // another process cannot use the program's handle
        char b;
        EXPECT_FALSE(ReadProcessMemory(h, 0x10000, &b, 1, nullptr));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(CloseHandle(h));
    }
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(table.handleCount(), 0u);
}

TEST_F(TwoProcesses, ModuleNameIsCutToTheBufferWithoutSplittingACharacter) {
    table.find(other)->setExePath("C:\\终端\\t.exe");  // "C:\" + 4 bytes + "\t.exe"
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, other);
    char buf[8];
    DWORD len = GetModuleFileNameExA(h, 0, buf, 6);  // room for 5 bytes: "C:\" and one character
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(std::string(buf), sys::toAnsi("C:\\终"));
    len = GetModuleFileNameExA(h, 0, buf, 5);
    EXPECT_EQ(std::string(buf), "C:\\");
    EXPECT_EQ(GetModuleFileNameExA(h, 0x400000, buf, 8), 0u);
    CloseHandle(h);
}

TEST_F(TwoProcesses, TerminationEndsTheProcessAndTellsTheListeners) {
    std::vector<uint32_t> ended;
    table.addExitListener([&](uint32_t pid) { ended.push_back(pid); });
    auto state = std::make_shared<int>(7);
    std::weak_ptr<int> weakState = state;
    table.find(other)->keep(std::move(state));

    HANDLE h = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, other);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    ASSERT_TRUE(TerminateProcess(h, 3));
    EXPECT_EQ(ended, std::vector<uint32_t>{other});
    EXPECT_EQ(table.find(other), nullptr);
    EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, other), 0);
    // The handle still names the ended process.
    ASSERT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_FALSE(TerminateProcess(h, 0));
    EXPECT_FALSE(weakState.expired());  // released only after the round, not under the caller
    m->runFor(0);
    EXPECT_TRUE(weakState.expired());
    CloseHandle(h);
}

// The two-step privilege switch the program uses to end another process.
BOOL setPrivilege(HANDLE token, const char* name, bool enable) {
    LUID luid;
    if (!LookupPrivilegeValueA(nullptr, name, &luid)) return FALSE;
    struct { DWORD count; LUID_AND_ATTRIBUTES e[2]; } tp{1, {{luid, 0}, {}}}, prev{};
    DWORD prevLen = sizeof prev;
    AdjustTokenPrivileges(token, FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&tp), sizeof prev,
                          reinterpret_cast<TOKEN_PRIVILEGES*>(&prev), &prevLen);
    if (GetLastError() != 0) return FALSE;
    prev.count = 1;
    prev.e[0].Luid = luid;
    if (enable) prev.e[0].Attributes |= SE_PRIVILEGE_ENABLED;
    else prev.e[0].Attributes &= ~SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&prev), prevLen, nullptr, nullptr);
    return GetLastError() == 0;
}

TEST_F(TwoProcesses, DebugPrivilegeOpensAProtectedProcess) {
    auto service = table.create("C:\\WINDOWS\\system32\\svc.exe", {.protectedProcess = true});
    EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, service->id()), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

    HANDLE token = 0;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    auto& own = table.find(1000)->token();
    const auto before = own.privileges;
    ASSERT_TRUE(setPrivilege(token, "SeDebugPrivilege", true));
    EXPECT_TRUE(own.enabled(20));
    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, service->id());
    EXPECT_NE(h, 0);
    ASSERT_TRUE(setPrivilege(token, "SeDebugPrivilege", false));
    EXPECT_EQ(own.privileges, before);  // only the named privilege moved, and back
    EXPECT_TRUE(TerminateProcess(h, 0));
    CloseHandle(h);
    CloseHandle(token);
}

TEST_F(TwoProcesses, TokenAdjustmentsReportWhatChanged) {
    HANDLE token = 0;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    LUID debug{};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "sedebugprivilege", &debug));
    EXPECT_EQ(debug.LowPart, 20u);
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &debug));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_SUCH_PRIVILEGE));
    EXPECT_FALSE(LookupPrivilegeValueA("\\\\server", "SeDebugPrivilege", &debug));

    struct { DWORD count; LUID_AND_ATTRIBUTES e[2]; } tp{1, {{debug, SE_PRIVILEGE_ENABLED}, {}}}, prev{};
    auto* tpp = reinterpret_cast<TOKEN_PRIVILEGES*>(&tp);
    auto* prevp = reinterpret_cast<TOKEN_PRIVILEGES*>(&prev);
    DWORD len = 0;
    // Too small a buffer for the former state changes nothing.
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, tpp, 4, prevp, &len));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(len, 16u);
    EXPECT_FALSE(table.find(1000)->token().enabled(20));
    // Enabling reports the former (off) state; enabling again changes nothing and reports none.
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, tpp, sizeof prev, prevp, &len));
    EXPECT_EQ(prev.count, 1u);
    EXPECT_EQ(prev.e[0].Luid.LowPart, 20u);
    EXPECT_EQ(prev.e[0].Attributes & SE_PRIVILEGE_ENABLED, 0u);
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, tpp, sizeof prev, prevp, &len));
    EXPECT_EQ(prev.count, 0u);
    EXPECT_EQ(len, 4u);
    // A privilege the token lacks: success, with the error that says so.
    LUID backup{};
    LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &backup);
    tp.e[0].Luid = backup;
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, tpp, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ALL_ASSIGNED));
    // A token opened without the right to adjust may not.
    HANDLE queryOnly = 0;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &queryOnly));
    EXPECT_FALSE(AdjustTokenPrivileges(queryOnly, TRUE, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseHandle(queryOnly);
    CloseHandle(token);
}

TEST(ProgramStart, StartsRegisteredProgramsByPathOnly) {
    TestMachine m;
    auto& table = sys::ProcessTable::of(*m);
    m->makeDirs("C:\\Apps");
    m->writeFileAtomic("C:\\Apps\\prog.exe", "MZ");
    m->writeFileAtomic("C:\\Apps\\plain.exe", "MZ");

    uint32_t ranAs = 0;
    sys::StartInfo seen;
    table.registerProgram("c:\\apps\\PROG.EXE", [&](sys::Process& p, const sys::StartInfo& info) {
        ranAs = sys::Machine::currentProcessId();
        seen = info;
        EXPECT_EQ(ranAs, p.id());
    });

    auto r = table.start("C:\\Apps\\missing.exe");
    EXPECT_EQ(r.pid, 0u);
    EXPECT_EQ(r.error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(table.start("C:\\Nowhere\\prog.exe").error, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(table.start("C:\\Apps\\plain.exe").error, ERROR_BAD_EXE_FORMAT);

    m->setCurrentDirectory("C:\\Apps");
    r = table.start("prog.exe", "/portable", 4);
    ASSERT_NE(r.pid, 0u);
    EXPECT_EQ(ranAs, 0u);  // the program runs in the next pump round, as a started program does
    EXPECT_EQ(table.find(r.pid)->exePath(), "C:\\Apps\\prog.exe");
    EXPECT_EQ(table.find(r.pid)->parentId(), 1000u);
    m->runFor(0);
    EXPECT_EQ(ranAs, r.pid);
    EXPECT_EQ(seen.commandLine, "/portable");
    EXPECT_EQ(seen.showCommand, 4);
    EXPECT_EQ(sys::Machine::currentProcessId(), 1000u);
    EXPECT_NE(table.start("C:\\Apps\\prog.exe").pid, r.pid);  // every start is a new process
}

TEST(ProgramStart, ProgramFilesNameTheirProgramOnAnyMachine) {
    int starts = 0;
    sys::registerProgramImage("test-echo", [&](sys::Process&, const sys::StartInfo&) { ++starts; });
    for (int i = 0; i < 2; ++i) {
        TestMachine m;
        m->makeDirs("C:\\Echo");
        m->writeFileAtomic("C:\\Echo\\echo.exe", sys::programImageText("test-echo"));
        m->writeFileAtomic("C:\\Echo\\other.exe", sys::programImageText("no-such-program"));
        auto& table = sys::ProcessTable::of(*m);
        EXPECT_NE(table.start("C:\\Echo\\echo.exe").pid, 0u);
        EXPECT_EQ(table.start("C:\\Echo\\other.exe").error, ERROR_BAD_EXE_FORMAT);
        m->runFor(0);
    }
    EXPECT_EQ(starts, 2);
}

} // namespace
