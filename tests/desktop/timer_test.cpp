#include "DesktopFixture.h"

using namespace win;

TEST_F(DesktopTest, TimersTickPeriodicallyFromTheirSetTimeInDueOrder) {
    HWND h = top("w");
    std::vector<std::pair<std::string, DWORD>> ticks;
    const DWORD t0 = GetTickCount();
    const UINT a = SetTimer(0, 0, 300, [&](HWND, UINT m, UINT, DWORD) {
        EXPECT_EQ(m, WM_TIMER);
        ticks.push_back({"a", GetTickCount() - t0});
    });
    ASSERT_NE(a, 0u);
    EXPECT_EQ(SetTimer(h, 7, 200), 7u);
    const UINT b = SetTimer(0, 0, 500, [&](HWND, UINT, UINT id, DWORD) {
        EXPECT_NE(id, a);
        ticks.push_back({"b", GetTickCount() - t0});
    });
    EXPECT_NE(a, b);
    machine->runFor(1000);
    std::vector<DWORD> windowTicks;
    for (auto& l : log)
        if (l.msg == WM_TIMER) {
            EXPECT_EQ(l.wParam, 7u);
            windowTicks.push_back(0);
        }
    EXPECT_EQ(windowTicks.size(), 5u);  // 200, 400, 600, 800, 1000
    std::vector<std::pair<std::string, DWORD>> want{{"a", 300}, {"b", 500}, {"a", 600}, {"a", 900}, {"b", 1000}};
    EXPECT_EQ(ticks, want);
    EXPECT_TRUE(KillTimer(0, a));
    EXPECT_FALSE(KillTimer(0, a));
    EXPECT_TRUE(KillTimer(h, 7));
    EXPECT_EQ(activeTimerCount(), 1u);
}

TEST_F(DesktopTest, ALateTimerTicksOnceAndKeepsItsRhythm) {
    std::vector<DWORD> at;
    const DWORD t0 = GetTickCount();
    SetTimer(0, 0, 100, [&](HWND, UINT, UINT, DWORD) { at.push_back(GetTickCount() - t0); });
    Sleep(350);  // blocks without pumping
    DoEvents();
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0], 350u);
    machine->runFor(100);
    EXPECT_EQ(at, (std::vector<DWORD>{350, 400}));  // 400 is next, not 450
    machine->runFor(100);
    EXPECT_EQ(at.back(), 500u);
}

TEST_F(DesktopTest, SettingAWindowTimerAgainRestartsItAndDestroyEndsIt) {
    HWND h = top("w");
    SetTimer(h, 1, 1000);
    machine->runFor(600);
    SetTimer(h, 1, 1000);  // a full new interval from now
    machine->runFor(900);
    EXPECT_EQ(count(h, WM_TIMER), 0u);
    machine->runFor(100);
    EXPECT_EQ(count(h, WM_TIMER), 1u);
    DestroyWindow(h);
    EXPECT_EQ(activeTimerCount(), 0u);
    EXPECT_EQ(SetTimer(h, 1, 100), 0u);
    EXPECT_EQ(SetTimer(0, 0, 100), 0u);  // no window and no procedure
}

TEST_F(DesktopTest, AHandlerThatPumpsGetsOtherTicksAndKillingItselfStopsIt) {
    int slow = 0, fast = 0;
    UINT slowId = 0;
    slowId = SetTimer(0, 0, 100, [&](HWND, UINT, UINT, DWORD) {
        ++slow;
        const DWORD t = GetTickCount();
        while (GetTickCount() - t < 50) DoEvents();
        if (slow == 3) KillTimer(0, slowId);
    });
    SetTimer(0, 0, 20, [&](HWND, UINT, UINT, DWORD) { ++fast; });
    machine->runFor(1000);
    EXPECT_EQ(slow, 3);
    EXPECT_GE(fast, 45);
}
