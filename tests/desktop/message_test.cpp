#include "DesktopFixture.h"

using namespace win;

TEST_F(DesktopTest, SubclassChainReachesThePreviousProcedures) {
    HWND h = top("w");
    std::vector<std::string> order;
    const WNDPROC original = GetWindowLong(h, GWL_WNDPROC);
    ASSERT_NE(original, 0);
    WNDPROC first = 0, second = 0;
    const WNDPROC p1 = registerWndProc([&](HWND hh, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m != WM_USER) return CallWindowProc(first, hh, m, w, l);
        order.push_back("p1");
        return CallWindowProc(first, hh, m, w, l) + 10;
    });
    const WNDPROC p2 = registerWndProc([&](HWND hh, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m != WM_USER) return CallWindowProc(second, hh, m, w, l);
        order.push_back("p2");
        return CallWindowProc(second, hh, m, w, l) + 100;
    });
    first = SetWindowLong(h, GWL_WNDPROC, p1);
    EXPECT_EQ(first, original);
    second = SetWindowLong(h, GWL_WNDPROC, p2);
    EXPECT_EQ(second, p1);
    log.clear();
    EXPECT_EQ(SendMessage(h, WM_USER, 1, 2), 110);  // DefWindowProc gives 0
    EXPECT_EQ(order, (std::vector<std::string>{"p2", "p1"}));
    EXPECT_EQ(count(h, WM_USER), 1u);  // the class procedure ran once, at the end
    // Unhooking in reverse order restores the window's own procedure.
    EXPECT_EQ(SetWindowLong(h, GWL_WNDPROC, second), p2);
    EXPECT_EQ(SetWindowLong(h, GWL_WNDPROC, first), p1);
    EXPECT_EQ(GetWindowLong(h, GWL_WNDPROC), original);
    EXPECT_EQ(CallWindowProc(0, h, WM_USER, 0, 0), 0);  // no procedure: nothing runs
}

TEST_F(DesktopTest, PlainFunctionsHaveOneProcedureValue) {
    LRESULT (*fn)(HWND, UINT, WPARAM, LPARAM) = [](HWND, UINT m, WPARAM, LPARAM) -> LRESULT { return m; };
    EXPECT_EQ(wndProcOf(fn), wndProcOf(fn));
    EXPECT_EQ(CallWindowProc(wndProcOf(fn), 0, 42, 0, 0), 42);
}

TEST_F(DesktopTest, AnotherProcessesWindowProcedureCannotBeReplaced) {
    HWND theirs;
    {
        sys::ProcessScope other(2000);
        theirs = top("theirs");
    }
    const WNDPROC before = GetWindowLong(theirs, GWL_WNDPROC);
    const WNDPROC mine = registerWndProc([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    EXPECT_EQ(SetWindowLong(theirs, GWL_WNDPROC, mine), 0);
    EXPECT_EQ(GetWindowLong(theirs, GWL_WNDPROC), before);
    EXPECT_EQ(SetWindowLong(theirs, GWL_USERDATA, 5), 0);
    EXPECT_EQ(GetWindowLong(theirs, GWL_USERDATA), 5);
}

TEST_F(DesktopTest, WmCloseDestroysThroughTheDefaultProcedure) {
    HWND h = top("w");
    PostMessage(h, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(h));
    DoEvents();
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(DesktopTest, PostedMessagesArriveInOrderOnlyThroughThePump) {
    HWND a = top("a"), b = top("b");
    log.clear();
    EXPECT_TRUE(PostMessage(a, WM_USER + 1, 0, 0));
    EXPECT_TRUE(PostMessage(b, WM_USER + 2, 0, 0));
    EXPECT_TRUE(PostMessage(a, WM_USER + 3, 0, 0));
    EXPECT_FALSE(PostMessage(12345, WM_USER, 0, 0));
    EXPECT_TRUE(log.empty());
    DoEvents();
    std::vector<UINT> seen;
    for (auto& l : log) seen.push_back(l.msg);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
    // A message for a window destroyed meanwhile is dropped.
    PostMessage(b, WM_USER + 4, 0, 0);
    DestroyWindow(b);
    log.clear();
    DoEvents();
    EXPECT_EQ(count(b, WM_USER + 4), 0u);
    EXPECT_EQ(pendingPostedMessages(), 0u);
}

TEST_F(DesktopTest, HungProcessTimesOutOnTheMachineClock) {
    HWND theirs;
    {
        sys::ProcessScope other(2000);
        theirs = top("terminal");
    }
    DWORD result = 99;
    EXPECT_EQ(SendMessageTimeout(theirs, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &result), 1);
    EXPECT_EQ(result, 8u);

    setProcessHung(2000, true);
    EXPECT_TRUE(IsHungAppWindow(theirs));
    const uint64_t t0 = machine->clock().tickMs();
    EXPECT_EQ(SendMessageTimeout(theirs, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &result), 0);
    EXPECT_EQ(machine->clock().tickMs() - t0, 5000u);
    EXPECT_EQ(result, 0u);
    const uint64_t t1 = machine->clock().tickMs();
    EXPECT_EQ(SendMessageTimeout(theirs, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0);
    EXPECT_EQ(machine->clock().tickMs(), t1);  // gives up at once
    EXPECT_EQ(SendMessage(theirs, WM_GETTEXTLENGTH, 0, 0), 0);

    // A close request waits in its queue until the program recovers.
    PostMessage(theirs, WM_CLOSE, 0, 0);
    machine->runFor(1000);
    EXPECT_TRUE(IsWindow(theirs));
    setProcessHung(2000, false);
    DoEvents();
    EXPECT_FALSE(IsWindow(theirs));
    EXPECT_EQ(SendMessageTimeout(theirs, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result), 0);
}

TEST_F(DesktopTest, PinnedMemoryIsFoundOnlyWithinItsBlock) {
    char a[8] = "abc";
    LPARAM addr;
    {
        PinnedMemory m(a, sizeof a);
        addr = m.address();
        size_t n = 0;
        EXPECT_EQ(pinnedAt(addr + 2, &n), a + 2);
        EXPECT_EQ(n, 6u);
        EXPECT_EQ(pinnedAt(addr + 8), nullptr);
        EXPECT_EQ(pinnedAs<RECT>(addr), nullptr);  // too small for one
    }
    EXPECT_EQ(pinnedAt(addr), nullptr);
    EXPECT_EQ(pinnedAt(0), nullptr);
}

TEST_F(DesktopTest, DoEventsRunsOtherLayersWorkAndMovesVirtualTime) {
    int runs = 0;
    machine->post([&] { ++runs; });
    const DWORD t0 = GetTickCount();
    DoEvents();
    EXPECT_EQ(runs, 1);
    // A wait that pumps and watches the clock ends.
    while (GetTickCount() - t0 < 500) DoEvents();
    SUCCEED();
}
