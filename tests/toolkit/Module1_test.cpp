// Ending another process with the debug privilege switched on only for opening it.
#include "support/TestMachine.h"
#include "toolkit/Module1.h"

#include "platform/system/Process.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kDebug = 20, kChangeNotify = 23;

struct KillTest : ::testing::Test {
    testing_support::TestMachine m;
    sys::ProcessTable& table() { return sys::ProcessTable::of(*m); }
    sys::Token& ownToken() { return table().find(sys::Machine::kProgramProcessId)->token(); }
};

} // namespace

TEST_F(KillTest, EndsAProcessEvenAProtectedOneAndSwitchesTheDebugPrivilegeOffAgain) {
    for (bool isProtected : {false, true}) {
        sys::ProcessOptions o;
        o.protectedProcess = isProtected;
        int32_t pid = static_cast<int32_t>(table().create("C:\\Tools\\other.exe", o)->id());
        EXPECT_TRUE(Module1::KillProcessByID(pid)) << isProtected;
        EXPECT_EQ(table().find(static_cast<uint32_t>(pid)), nullptr);
        EXPECT_FALSE(ownToken().enabled(kDebug));
        // Other privileges keep their state.
        EXPECT_TRUE(ownToken().enabled(kChangeNotify));
    }
    EXPECT_EQ(table().handleCount(), 0u);
}

TEST_F(KillTest, ADebugPrivilegeThatWasOnStaysOn) {
    win::HANDLE token = 0;
    ASSERT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), 0x28, &token));
    ASSERT_TRUE(Module1::SetPrivilege(token, "SeDebugPrivilege", true));
    int32_t pid = static_cast<int32_t>(table().create("C:\\Tools\\other.exe", {})->id());
    EXPECT_TRUE(Module1::KillProcessByID(pid));
    EXPECT_TRUE(ownToken().enabled(kDebug));
    win::CloseHandle(token);
}

TEST_F(KillTest, AnAbsentProcessGivesFalse) {
    for (int32_t pid : {0, 4242, -1}) {
        EXPECT_FALSE(Module1::KillProcessByID(pid)) << pid;
        EXPECT_FALSE(ownToken().enabled(kDebug));
    }
    EXPECT_EQ(table().handleCount(), 0u);
}

TEST_F(KillTest, SetPrivilegeSwitchesOneAndRefusesAnUnknownName) {
    win::HANDLE token = 0;
    ASSERT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), 0x28, &token));
    EXPECT_TRUE(Module1::SetPrivilege(token, "SeDebugPrivilege", true));
    EXPECT_TRUE(ownToken().enabled(kDebug));
    EXPECT_TRUE(Module1::SetPrivilege(token, "SeDebugPrivilege", true));
    EXPECT_TRUE(ownToken().enabled(kDebug));
    EXPECT_TRUE(Module1::SetPrivilege(token, "SeDebugPrivilege", false));
    EXPECT_FALSE(ownToken().enabled(kDebug));
    EXPECT_TRUE(ownToken().enabled(kChangeNotify));
    EXPECT_FALSE(Module1::SetPrivilege(token, "SeNoSuchPrivilege", true));
    win::CloseHandle(token);
}
