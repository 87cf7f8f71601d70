#include "platform/desktop/Win.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace win;
using testing_support::TestMachine;

namespace {

// A top-level window that records the notifications its controls send, and can refuse steps.
class CommonControls : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASS wc;
        wc.lpszClassName = "CcHost";
        wc.lpfnWndProc = registerWndProc([this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_NOTIFY) {
                const auto* nm = pinnedAs<NMUPDOWN32>(l);
                if (nm && nm->hdr.code == UDN_DELTAPOS) {
                    deltas.push_back(nm->iDelta);
                    return refuse ? 1 : 0;
                }
            }
            if (m == WM_VSCROLL || m == WM_HSCROLL) scrolls.push_back(HIWORD(w));
            if (m == WM_COMMAND) ++commands;
            return DefWindowProc(h, m, w, l);
        });
        RegisterClass(wc);
        host = CreateWindowEx(0, "CcHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, 0);
        SetForegroundWindow(host);
    }
    HWND updown(DWORD style, int upper, int lower, int pos, HWND buddy = 0) {
        return CreateUpDownControl(WS_CHILD | WS_VISIBLE | style, 0, 0, 20, 40, host, 7, 0, buddy, upper, lower, pos);
    }
    static int pos(HWND ud) { return static_cast<int16_t>(LOWORD(static_cast<DWORD>(SendMessage(ud, UDM_GETPOS, 0, 0)))); }

    TestMachine m;
    HWND host = 0;
    bool refuse = false;
    std::vector<int> deltas;
    std::vector<int> scrolls;
    int commands = 0;
};

} // namespace

TEST_F(CommonControls, HotKeyControlKeepsValueAndAppliesRulesToTypedKeys) {
    const HWND hk = CreateWindowEx(0, "msctls_hotkey32", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, host);
    ASSERT_NE(hk, 0);
    SendMessage(hk, HKM_SETHOTKEY, 0x0674, 0);
    EXPECT_EQ(SendMessage(hk, HKM_GETHOTKEY, 0, 0), 0x0674);

    SetFocus(hk);
    pressKey(VK_F7, MOD_CONTROL);
    EXPECT_EQ(SendMessage(hk, HKM_GETHOTKEY, 0, 0), (HOTKEYF_CONTROL << 8) | VK_F7);
    EXPECT_EQ(commands, 1);

    // Plain keys and Shift alone are forbidden: they take Ctrl+Alt instead.
    SendMessage(hk, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, HOTKEYF_CONTROL | HOTKEYF_ALT);
    pressKey('K');
    EXPECT_EQ(SendMessage(hk, HKM_GETHOTKEY, 0, 0), ((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8) | 'K');
    pressKey('K', MOD_SHIFT);
    EXPECT_EQ(SendMessage(hk, HKM_GETHOTKEY, 0, 0), ((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8) | 'K');
    pressKey('K', MOD_SHIFT | MOD_ALT);
    EXPECT_EQ(SendMessage(hk, HKM_GETHOTKEY, 0, 0), ((HOTKEYF_SHIFT | HOTKEYF_ALT) << 8) | 'K');
    // Backspace alone empties the box even when plain keys are forbidden.
    pressKey(VK_BACK);
    EXPECT_EQ(SendMessage(hk, HKM_GETHOTKEY, 0, 0), 0);

    const LOGFONTA lf;
    const HFONT f = CreateFontIndirect(&lf);
    SendMessage(hk, WM_SETFONT, static_cast<WPARAM>(f), 1);
    EXPECT_EQ(SendMessage(hk, WM_GETFONT, 0, 0), f);
    EXPECT_TRUE(DeleteFont(f));
    EXPECT_FALSE(DeleteFont(f));
}

TEST_F(CommonControls, WindowHotKeyAnswersAndActivatesItsWindow) {
    const HWND other = CreateWindowEx(0, "CcHost", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, 0);
    const HWND child = CreateWindowEx(0, "Edit", "", WS_CHILD, 0, 0, 10, 10, host);
    const WPARAM ctrlAltK = (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'K';
    EXPECT_EQ(SendMessage(host, WM_SETHOTKEY, ctrlAltK, 0), 1);
    EXPECT_EQ(SendMessage(host, WM_GETHOTKEY, 0, 0), static_cast<LRESULT>(ctrlAltK));
    EXPECT_EQ(SendMessage(other, WM_SETHOTKEY, ctrlAltK, 0), 2);  // set, but another window has it
    EXPECT_EQ(SendMessage(other, WM_SETHOTKEY, 0, 0), 1);          // cleared again
    EXPECT_EQ(SendMessage(child, WM_SETHOTKEY, ctrlAltK, 0), 0);
    EXPECT_EQ(SendMessage(host, WM_SETHOTKEY, VK_ESCAPE, 0), -1);
    EXPECT_EQ(SendMessage(0x7777, WM_SETHOTKEY, ctrlAltK, 0), 0);

    SetForegroundWindow(other);
    ASSERT_EQ(GetForegroundWindow(), other);
    pressKey('K', MOD_CONTROL | MOD_ALT);
    EXPECT_EQ(GetForegroundWindow(), host);
}

TEST_F(CommonControls, UpDownRangeAndPositionMessages) {
    const HWND ud = updown(0, 1000, 0, 5000);
    ASSERT_NE(ud, 0);
    EXPECT_EQ(className(ud), "msctls_updown32");
    EXPECT_EQ(GetWindowLong(ud, GWL_ID), 7);
    EXPECT_EQ(pos(ud), 1000);  // clamped at creation
    EXPECT_EQ(SendMessage(ud, UDM_GETRANGE, 0, 0), MAKELPARAM(1000, 0));
    EXPECT_EQ(SendMessage(ud, UDM_SETPOS, 0, 20), 1000);
    EXPECT_EQ(pos(ud), 20);
    SendMessage(ud, UDM_SETPOS, 0, -3);
    EXPECT_EQ(pos(ud), 0);
    // A reversed range: the maximum below the minimum.
    SendMessage(ud, UDM_SETRANGE, 0, MAKELPARAM(-10, 10));
    SendMessage(ud, UDM_SETPOS, 0, 50);
    EXPECT_EQ(pos(ud), 10);
    EXPECT_EQ(SendMessage(ud, UDM_SETBASE, 8, 0), 0);  // refused
    EXPECT_EQ(SendMessage(ud, UDM_SETBASE, 16, 0), 10);
    EXPECT_EQ(SendMessage(ud, UDM_GETBASE, 0, 0), 16);
}

TEST_F(CommonControls, UpDownHeldArrowAsksStepsAcceleratesAndReports) {
    const HWND ud = updown(0, 1000, 0, 0);
    UDACCEL32 accel[] = {{1, 5}, {0, 1}};  // unsorted: the control orders them
    {
        PinnedMemory pin(accel, sizeof accel);
        EXPECT_EQ(SendMessage(ud, UDM_SETACCEL, 2, pin.address()), TRUE);
    }
    SendMessage(ud, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));  // upper half: up
    EXPECT_EQ(pos(ud), 1);
    m->runFor(900);
    const int afterFirstSecond = pos(ud);
    EXPECT_GT(afterFirstSecond, 1);
    for (size_t i = 0; i < deltas.size(); ++i) EXPECT_EQ(deltas[i], 1) << i;
    m->runFor(500);
    SendMessage(ud, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(deltas.back(), 5);
    const int held = pos(ud);
    m->runFor(1000);
    EXPECT_EQ(pos(ud), held);  // released: no more steps
    EXPECT_EQ(scrolls.size(), deltas.size());
    EXPECT_EQ(scrolls.back(), held);

    // The parent refuses: asked, nothing moves or is reported.
    refuse = true;
    deltas.clear();
    scrolls.clear();
    SendMessage(ud, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 35));  // lower half: down
    SendMessage(ud, WM_LBUTTONUP, 0, MAKELPARAM(5, 35));
    EXPECT_EQ(deltas, std::vector<int>{-1});
    EXPECT_TRUE(scrolls.empty());
    EXPECT_EQ(pos(ud), held);
}

TEST_F(CommonControls, UpDownDirectionFollowsTheRangeAndWrapAndEndsHold) {
    struct Case {
        DWORD style;
        int upper, lower, start;
        WPARAM key;
        int expected;
    } cases[] = {
        {UDS_ARROWKEYS, 10, 0, 10, VK_UP, 10},           // held at the maximum
        {UDS_ARROWKEYS | UDS_WRAP, 10, 0, 10, VK_UP, 0}, // wraps to the other end
        {UDS_ARROWKEYS, 0, 10, 5, VK_UP, 4},             // up goes towards the maximum, 0
        {UDS_ARROWKEYS | UDS_HORZ, 10, 0, 5, VK_RIGHT, 6},
        {0, 10, 0, 5, VK_UP, 5},                         // arrow keys off
    };
    for (const auto& c : cases) {
        const HWND ud = updown(c.style, c.upper, c.lower, c.start);
        SendMessage(ud, WM_KEYDOWN, c.key, 0);
        EXPECT_EQ(pos(ud), c.expected) << c.style << " " << c.upper << ".." << c.lower;
        DestroyWindow(ud);
    }
}

TEST_F(CommonControls, UpDownWritesAndReadsItsBuddyInteger) {
    const HWND edit = CreateWindowEx(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 60, 20, host);
    const HWND ud = updown(UDS_SETBUDDYINT, 30000, 0, 1234, edit);
    EXPECT_EQ(SendMessage(ud, UDM_GETBUDDY, 0, 0), edit);
    EXPECT_EQ(windowText(edit), "1,234");
    SendMessage(ud, UDM_SETBASE, 16, 0);
    EXPECT_EQ(windowText(edit), "0x04D2");
    SendMessage(ud, UDM_SETBASE, 10, 0);

    SetWindowText(edit, "2,500");
    EXPECT_EQ(pos(ud), 2500);
    SetWindowText(edit, "abc");
    const LRESULT r = SendMessage(ud, UDM_GETPOS, 0, 0);
    EXPECT_NE(HIWORD(static_cast<DWORD>(r)), 0);  // no number: the last position and an error
    EXPECT_EQ(LOWORD(static_cast<DWORD>(r)), 2500);

    const HWND plain = updown(UDS_SETBUDDYINT | UDS_NOTHOUSANDS, 30000, 0, 4321, edit);
    EXPECT_EQ(windowText(edit), "4321");
    DestroyWindow(plain);
}
