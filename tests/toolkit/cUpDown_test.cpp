#include "toolkit/cUpDown.h"

#include "platform/desktop/Win.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace win;
using testing_support::TestMachine;

namespace {

class UpDown : public ::testing::Test {
protected:
    void SetUp() override {
        form = CreateWindowEx(0, "#32770", "Order settings", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, 0);
        SetForegroundWindow(form);
        buddy = CreateWindowEx(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 60, 20, form);
        ud = std::make_unique<cUpDown>(form);
        ud->Move(900, 0, 255, 300);
        ud->BeforeChange = [this](int32_t pos, int32_t& delta) {
            asked.push_back({pos, delta});
            if (refuse) delta = 0;
        };
        ud->Change = [this] { ++changes; };
    }
    // The user presses the up (or down) arrow and lets it go after some time.
    void hold(bool up, uint64_t ms = 0) {
        const LPARAM at = MAKELPARAM(8, up ? 2 : 18);
        SendMessage(ud->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        if (ms) m->runFor(ms);
        SendMessage(ud->hwnd(), WM_LBUTTONUP, 0, at);
    }
    std::vector<UDACCEL32> accel() {
        UDACCEL32 t[8];
        PinnedMemory pin(t, sizeof t);
        const LRESULT n = SendMessage(ud->hwnd(), UDM_GETACCEL, 8, pin.address());
        return std::vector<UDACCEL32>(t, t + std::min<LRESULT>(n, 8));
    }

    struct Ask {
        int32_t pos, delta;
    };
    TestMachine m;
    HWND form = 0, buddy = 0;
    std::unique_ptr<cUpDown> ud;
    std::vector<Ask> asked;
    bool refuse = false;
    int changes = 0;
};

} // namespace

TEST_F(UpDown, NewInstanceCreatesTheWindowWithTheDefaults) {
    EXPECT_EQ(ud->hwnd(), 0);
    ud->UserControl_InitProperties();
    const HWND h = ud->hwnd();
    ASSERT_NE(h, 0);
    EXPECT_EQ(className(h), "msctls_updown32");
    EXPECT_EQ(GetParent(h), ud->hWnd());
    EXPECT_EQ(GetWindowLong(h, GWL_ID), ud->hWnd());
    EXPECT_EQ(static_cast<DWORD>(GetWindowLong(h, GWL_STYLE)),
              WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_ARROWKEYS);
    RECT r;
    GetClientRect(h, &r);
    EXPECT_EQ(r, (RECT{0, 0, 17, 20}));
    EXPECT_EQ(SendMessage(h, UDM_GETRANGE, 0, 0), MAKELPARAM(1000, 0));
    EXPECT_EQ(ud->Position(), 0);
    EXPECT_EQ(ud->MsgResponse(), 2);
    const auto a = accel();
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].nSec, 0u);
    EXPECT_EQ(a[0].nInc, 1u);
    EXPECT_EQ(a[1].nSec, 1u);
    EXPECT_EQ(a[1].nInc, 5u);

    ud->Move(0, 0, 450, 600);
    GetClientRect(h, &r);
    EXPECT_EQ(r, (RECT{0, 0, 30, 40}));
}

TEST_F(UpDown, RangeEndsAndPositionsAreLimited) {
    ud->Upper(40000);
    EXPECT_EQ(ud->Upper(), 32725);
    ud->Lower(-40000);
    EXPECT_EQ(ud->Lower(), -32725);

    struct Case {
        int32_t upper, lower, set, expected;
    } cases[] = {
        {1000, 0, 5000, 1000}, {1000, 0, -1, 1000},  // -1 is 65535
        {1000, 0, 250, 250},   {0, 100, 150, 100},
        {0, 100, -5, 100},     {0, 100, 40, 40},
    };
    for (bool withWindow : {false, true}) {
        if (withWindow) ud->UserControl_InitProperties();
        for (const auto& c : cases) {
            ud->Upper(c.upper);
            ud->Lower(c.lower);
            ud->Position(c.set);
            EXPECT_EQ(ud->Position(), c.expected) << c.upper << ".." << c.lower << " set " << c.set << " window " << withWindow;
        }
    }
}

TEST_F(UpDown, ArrowsAskBeforeChangingAndReportAfter) {
    ud->BuddyhWnd(buddy);  // remembered, sent once the window exists
    ud->UserControl_InitProperties();
    EXPECT_EQ(ud->BuddyhWnd(), buddy);
    ud->Position(10);
    SetFocus(form);

    hold(true);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].pos, 10);
    EXPECT_EQ(asked[0].delta, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ud->Position(), 11);
    EXPECT_EQ(GetFocus(), buddy);  // the step moves the focus to the buddy

    refuse = true;
    hold(false);
    EXPECT_EQ(asked.back().delta, -1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ud->Position(), 11);

    // Changing an end at run time keeps the up arrow going towards Upper.
    refuse = false;
    ud->Upper(0);
    ud->Lower(100);
    ud->Position(50);
    hold(true);
    EXPECT_EQ(ud->Position(), 49);
    ud->Upper(200);
    ud->Lower(0);
    hold(true);
    EXPECT_EQ(ud->Position(), 50);
}

TEST_F(UpDown, HeldArrowStepsBySmallChangeThenLargeChange) {
    ud->UserControl_InitProperties();
    ud->SmallChange(2);
    ud->LargeChange(10);
    SendMessage(ud->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 2));
    m->runFor(900);
    for (const auto& a : asked) EXPECT_EQ(a.delta, 2);
    const size_t early = asked.size();
    m->runFor(600);
    SendMessage(ud->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(8, 2));
    ASSERT_GT(asked.size(), early);
    EXPECT_EQ(asked.back().delta, 10);
    EXPECT_EQ(changes, static_cast<int>(asked.size()));
}

TEST_F(UpDown, CustomAccelerationUntilTheWindowIsRecreated) {
    ud->BuddyhWnd(buddy);
    ud->UserControl_InitProperties();
    std::vector<int32_t> inc{1, 4, 20}, sec{0, 2};
    ud->SetCustomAcceleration(inc, sec);  // different lengths: nothing
    EXPECT_EQ(accel().size(), 2u);
    sec.push_back(5);
    ud->SetCustomAcceleration(inc, sec);
    const auto a = accel();
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[2].nSec, 5u);
    EXPECT_EQ(a[2].nInc, 20u);

    // The same SmallChange again restores the two-step table while a custom one is set.
    ud->SmallChange(1);
    EXPECT_EQ(accel().size(), 2u);
    ud->SetCustomAcceleration(inc, sec);

    ud->Upper(500);
    ud->Lower(-20);
    ud->Position(321);
    const HWND before = ud->hwnd();
    ud->Wrap(true);
    ASSERT_NE(ud->hwnd(), 0);
    EXPECT_NE(ud->hwnd(), before);
    EXPECT_FALSE(IsWindow(before));
    EXPECT_TRUE(GetWindowLong(ud->hwnd(), GWL_STYLE) & UDS_WRAP);
    EXPECT_EQ(ud->Position(), 321);
    EXPECT_EQ(ud->BuddyhWnd(), buddy);
    EXPECT_EQ(SendMessage(ud->hwnd(), UDM_GETRANGE, 0, 0), MAKELPARAM(500, -20));
    EXPECT_EQ(accel().size(), 2u);

    // Still attached after the recreation: steps raise the events.
    hold(true);
    EXPECT_EQ(changes, 1);
}

TEST_F(UpDown, StylePropertiesRecreateWithTheirStyles) {
    ud->UserControl_InitProperties();
    ud->ShowThousandsSeparator(false);
    ud->AutoChangeBuddyText(true);
    ud->ArrowKeysChange(false);
    ud->Alignment(UDS_ALIGNLEFT);
    ud->Orientation(UDS_HORZ);
    ud->NumberStyle(16);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLong(ud->hwnd(), GWL_STYLE)),
              WS_CHILD | WS_VISIBLE | UDS_ALIGNLEFT | UDS_HORZ | UDS_NOTHOUSANDS | UDS_SETBUDDYINT);
    EXPECT_EQ(SendMessage(ud->hwnd(), UDM_GETBASE, 0, 0), 16);
    ud->NumberStyle(10);
    ud->BuddyhWnd(buddy);
    ud->Upper(5000);
    ud->Position(1234);
    EXPECT_EQ(windowText(buddy), "1234");

    // Horizontal: the right half steps up and reports with WM_HSCROLL.
    SendMessage(ud->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 5));
    SendMessage(ud->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(15, 5));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(windowText(buddy), "1235");
}

TEST_F(UpDown, ChangesAreAnnouncedOnlyForStoredDifferences) {
    ud->Wrap(false);
    ud->Upper(1000);
    ud->SmallChange(1);
    ud->Alignment(UDS_ALIGNRIGHT);
    EXPECT_TRUE(ud->changedProperties().empty());
    ud->Position(0);  // always
    ud->NumberStyle(16);
    ud->Enabled(false);
    ud->BuddyhWnd(buddy);
    ud->AutoPositionToBuddyText(true);
    ud->Wrap(true);
    ud->LargeChange(7);
    EXPECT_EQ(ud->changedProperties(), (std::vector<std::string>{"Position", "Wrap", "LargeChange"}));
}

TEST_F(UpDown, EnabledReachesWindowAndBuddyAndHoldsForANewWindow) {
    ud->BuddyhWnd(buddy);
    ud->UserControl_InitProperties();
    ud->Enabled(false);
    EXPECT_FALSE(IsWindowEnabled(ud->hwnd()));
    EXPECT_FALSE(IsWindowEnabled(buddy));
    hold(true);
    EXPECT_TRUE(asked.empty());  // a disabled control does not step
    ud->Wrap(true);               // recreated
    EXPECT_FALSE(IsWindowEnabled(ud->hwnd()));
    ud->Enabled(true);
    EXPECT_TRUE(IsWindowEnabled(ud->hwnd()));
    EXPECT_TRUE(IsWindowEnabled(buddy));
}

TEST_F(UpDown, SavedPropertiesRoundTripAndWritingEndsTheWindow) {
    ud->UserControl_InitProperties();
    ud->Lower(-5);
    ud->Upper(300);
    ud->SmallChange(3);
    ud->LargeChange(30);
    ud->ShowThousandsSeparator(false);
    ud->Wrap(true);
    ud->Position(40);
    hold(true);  // the window's position is what is saved
    ud->Enabled(false);
    forms::PropertyBag bag;
    ud->UserControl_WriteProperties(bag);
    EXPECT_EQ(ud->hwnd(), 0);
    EXPECT_EQ(bag.ReadProperty("Position").toLong(), 43);
    EXPECT_FALSE(bag.contains("Wrap"));

    cUpDown again(form);
    again.UserControl_ReadProperties(bag);
    ASSERT_NE(again.hwnd(), 0);
    EXPECT_EQ(again.Lower(), -5);
    EXPECT_EQ(again.Upper(), 300);
    EXPECT_EQ(again.Position(), 43);
    EXPECT_EQ(again.SmallChange(), 3);
    EXPECT_EQ(again.LargeChange(), 30);
    EXPECT_FALSE(again.ShowThousandsSeparator());
    EXPECT_FALSE(again.Enabled());
    EXPECT_FALSE(again.Wrap());
    EXPECT_FALSE(IsWindowEnabled(again.hwnd()));

    // Without saved values: the defaults.
    forms::PropertyBag empty;
    cUpDown fresh(form);
    fresh.UserControl_ReadProperties(empty);
    EXPECT_EQ(fresh.Upper(), 1000);
    EXPECT_EQ(fresh.Alignment(), static_cast<int32_t>(UDS_ALIGNRIGHT));
    EXPECT_TRUE(fresh.ArrowKeysChange());
    EXPECT_TRUE(IsWindowEnabled(fresh.hwnd()));
}

TEST_F(UpDown, InADesignerNothingIsAttached) {
    ud->ambient.UserMode = false;
    ud->UserControl_InitProperties();
    EXPECT_EQ(ud->MsgResponse(), 0);
    hold(true);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(ud->Position(), 1);  // the platform control still steps
}

TEST_F(UpDown, WithoutAWindowSettersOnlyStore) {
    ud->BuddyhWnd(buddy);
    ud->Position(77);
    EXPECT_EQ(ud->Position(), 77);
    EXPECT_EQ(ud->BuddyhWnd(), 0);
    std::vector<int32_t> inc{1}, sec{0};
    ud->SetCustomAcceleration(inc, sec);
    EXPECT_EQ(ud->hwnd(), 0);
}
