// Screen-edge berthing on a virtual clock: which edge a drag or resize berths at, the snap, the
// slide out to the 3-pixel strip, bringing the window back, and what stops a slide.
#include "toolkit/ScreenBerth.h"

#include "platform/desktop/Win.h"
#include "platform/forms/Form.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using namespace win;

namespace {

constexpr int kScreenW = 1280, kScreenH = 800;

// A docking window as the program's windows make one: the berth made at load, activation
// passed on.
class Dock : public forms::Form {
public:
    explicit Dock(BerthRules rules = {}) : forms::Form("Dock"), rules_(rules) {
        design.caption = "dock";
        design.left = 400 * 15, design.top = 300 * 15, design.width = 300 * 15, design.height = 200 * 15;
    }
    std::unique_ptr<ScreenBerth> berth;
    int firstActivations = 0;

protected:
    void Form_Load() override {
        berth = std::make_unique<ScreenBerth>(*this, rules_);
        berth->Attach();
    }
    void Form_Activate() override {
        if (berth && berth->Activated()) ++firstActivations;
    }
    void Form_Unload(int&) override { berth.reset(); }

private:
    BerthRules rules_;
};

RECT rectOf(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r;
}

class Berthing : public ::testing::Test {
protected:
    void open(BerthRules rules = {}) {
        dock = std::make_unique<Dock>(rules);
        dock->Show();
    }
    void TearDown() override {
        if (dock) dock->Unload();
    }
    HWND h() { return dock->hWnd(); }
    RECT r() { return rectOf(h()); }
    ScreenBerth& b() { return *dock->berth; }
    // The user drags the caption so that the window's top-left corner ends at (x, y). The cursor
    // stays on the screen, so a window goes past the top edge only by where it is held.
    void dragTo(int x, int y) {
        const RECT s = r();
        const int grab = std::min(10, static_cast<int>(s.bottom - s.top) / 2);
        SetCursorPos(s.left + 50, s.top + grab);
        queueMoveSize({{x + 50, y + grab}});
        SendMessage(h(), WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION), 0);
    }
    // The user drags a sizing border (hit code) by (dx, dy).
    void resize(LRESULT hit, POINT from, int dx, int dy) {
        SetCursorPos(from.x, from.y);
        queueMoveSize({{from.x + dx, from.y + dy}});
        SendMessage(h(), WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit), 0);
    }
    void cursorAway() { SetCursorPos(5, 5); }
    void run(uint64_t ms) { m->runFor(ms); }

    testing_support::TestMachine m;
    std::unique_ptr<Dock> dock;
};

TEST_F(Berthing, ADragBerthsAtTheEdgeItTouchesAndSnapsFlush) {
    // The window is 300 x 200; a corner berths at one edge: bottom over right over top over left.
    struct Case {
        const char* name;
        int x, y;
        bool berthed;
        int side;
        RECT snapped;
    } cases[] = {
        {"free", 500, 300, false, 0, {500, 300, 800, 500}},
        {"left", -40, 300, true, 3, {0, 300, 300, 500}},
        {"left touching", 0, 300, true, 3, {0, 300, 300, 500}},
        {"top", 500, -15, true, 0, {500, 0, 800, 200}},
        {"right", 1000, 300, true, 1, {980, 300, 1280, 500}},
        {"right touching", 980, 300, true, 1, {980, 300, 1280, 500}},
        {"one short of the right", 979, 300, false, 0, {979, 300, 1279, 500}},
        {"bottom", 500, 650, true, 2, {500, 600, 800, 800}},
        {"top-left", -20, -20, true, 0, {-20, 0, 280, 200}},
        {"top-right", 1100, -5, true, 1, {980, -5, 1280, 195}},
        {"bottom-right", 1100, 700, true, 2, {1100, 600, 1400, 800}},
        {"bottom-left", -20, 700, true, 2, {-20, 600, 280, 800}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        dragTo(c.x, c.y);
        EXPECT_EQ(b().BerthOn(), c.berthed);
        if (c.berthed) {
            EXPECT_EQ(b().BerthSide, c.side);
        }
        EXPECT_EQ(r(), c.snapped);
        // A berthed window arms its leave watch at the snap; a free one stops it.
        EXPECT_EQ(b().m_Leave->Interval(), c.berthed ? 800 : 0);
        dock->Unload();
    }
}

TEST_F(Berthing, AResizeTestsTheEdgesInTheWindowsOwnOrderAndKeepsItsLeastSize) {
    BerthRules rules;
    rules.sizeOrder = {0, 1, 2, 3};
    rules.minWidth = 200;
    rules.minHeight = 150;
    open(rules);
    // Dragged from the top-left corner past both edges: the left wins while resizing.
    resize(HTTOPLEFT, {400, 300}, -420, -320);
    EXPECT_TRUE(b().BerthOn());
    EXPECT_EQ(b().BerthSide, 3);
    dragTo(100, 100);
    EXPECT_FALSE(b().BerthOn());
    // Smaller than the least size is not possible.
    const RECT s = r();
    resize(HTBOTTOMRIGHT, {s.right - 1, s.bottom - 1}, -(s.right - s.left), -(s.bottom - s.top));
    EXPECT_EQ(r().right - r().left, 200);
    EXPECT_EQ(r().bottom - r().top, 150);
}

TEST_F(Berthing, LeavingSlidesTheWindowOutToAThreePixelStripStepByStep) {
    open();
    dragTo(500, 700);
    ASSERT_TRUE(b().BerthOn());
    ASSERT_EQ(r().top, 600);
    cursorAway();
    // The leave watch looks after 800 ms; the first step comes 200 ms after that.
    run(799);
    EXPECT_EQ(b().m_Timer->Interval(), 0);
    run(1);
    EXPECT_EQ(b().m_Leave->Interval(), 0);
    EXPECT_EQ(b().m_Timer->Interval(), 200);
    run(199);
    EXPECT_EQ(r().top, 600);
    run(1);
    // 200 pixels across the edge: steps of 200 / 15 = 13 pixels, one every 10 ms.
    EXPECT_EQ(b().HideStep, 13);
    EXPECT_EQ(r().top, 613);
    EXPECT_EQ(b().m_Timer->Interval(), 10);
    run(10);
    EXPECT_EQ(r().top, 626);
    run(1000);
    // The last step lands on the strip exactly, and the slide stops.
    EXPECT_EQ(r(), (RECT{500, kScreenH - 3, 800, kScreenH + 197}));
    EXPECT_EQ(b().m_Timer->Interval(), 0);
    EXPECT_TRUE(b().BerthOn());
    EXPECT_TRUE(b().MoveReady);
}

TEST_F(Berthing, EachSideSlidesToItsStrip) {
    struct Case {
        int x, y;
        RECT hidden;
    } cases[] = {
        {500, -10, {500, 3 - 200, 800, 3}},
        {1200, 300, {kScreenW - 3, 300, kScreenW + 297, 500}},
        {500, 700, {500, kScreenH - 3, 800, kScreenH + 197}},
        {-10, 300, {3 - 300, 300, 3, 500}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        open();
        dragTo(c.x, c.y);
        b().BerthLeave();
        run(1000);
        EXPECT_EQ(r(), c.hidden);
        // Once hidden, another leave takes one step further, which ends on the strip again.
        b().BerthLeave();
        run(200);
        EXPECT_EQ(r(), c.hidden);
        EXPECT_EQ(b().m_Timer->Interval(), 0);
        dock->Unload();
    }
}

TEST_F(Berthing, TheMouseOverTheStripBringsTheWindowInButNotWhileItSlides) {
    open();
    dragTo(500, 700);
    b().BerthLeave();
    run(250);  // sliding
    const RECT sliding = r();
    mouseMove(600, sliding.top + 2);
    EXPECT_EQ(r().top, sliding.top);
    cursorAway();
    run(1000);
    ASSERT_EQ(r().top, kScreenH - 3);
    // Over the strip (the window's frame): in at once, with a leave watch.
    mouseMove(600, kScreenH - 2);
    EXPECT_EQ(r().top, 600);
    EXPECT_EQ(b().m_Leave->Interval(), 800);
    // The cursor stays on the window: it stays in.
    mouseMove(600, 610);
    run(3000);
    EXPECT_EQ(r().top, 600);
    // It leaves: out again.
    cursorAway();
    run(1200);
    EXPECT_EQ(r().top, kScreenH - 3);
}

TEST_F(Berthing, BringingInOnRequestArmsNoLeaveWatchAndFocusesTheWindow) {
    open();
    HWND other = CreateWindowEx(0, "Static", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 100, 100, 0);
    // A window that is not berthed only gets the focus.
    b().BringIn();
    EXPECT_EQ(r().top, 300);
    EXPECT_EQ(GetFocus(), h());

    dragTo(500, 700);
    b().BerthLeave();
    cursorAway();
    run(1000);
    ASSERT_EQ(r().top, kScreenH - 3);
    SetFocus(0);
    b().BringIn();
    EXPECT_EQ(r().top, 600);
    EXPECT_FALSE(b().KeepShown);
    EXPECT_EQ(b().m_Leave->Interval(), 0);
    EXPECT_EQ(GetFocus(), h());
    run(5000);
    EXPECT_EQ(r().top, 600);
    // Losing activation hides it.
    SetForegroundWindow(other);
    run(1000);
    EXPECT_EQ(r().top, kScreenH - 3);
    DestroyWindow(other);
}

TEST_F(Berthing, ASmallWindowStillReachesItsStrip) {
    open();
    // Ten pixels high: a fifteenth of it is no pixel at all.
    SetWindowPos(h(), 0, 0, 0, 300, 10, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    dragTo(500, 795);
    ASSERT_TRUE(b().BerthOn());
    ASSERT_EQ(r().top, kScreenH - 10);
    b().BerthLeave();
    run(200);
    EXPECT_EQ(b().HideStep, 1);
    run(100);
    EXPECT_EQ(r().top, kScreenH - 3);
    EXPECT_EQ(b().m_Timer->Interval(), 0);
}

TEST_F(Berthing, AMinimisedWindowNeitherBerthsNorSlides) {
    open();
    dragTo(500, 700);
    b().BerthLeave();
    run(250);
    ShowWindow(h(), SW_MINIMIZE);
    run(50);
    EXPECT_EQ(b().m_Timer->Interval(), 0);
    EXPECT_FALSE(b().BerthOn());
    b().BerthLeave();
    EXPECT_EQ(b().m_Timer->Interval(), 0);
    // Restored where it lay, against the bottom edge: berthed again by the size change.
    ShowWindow(h(), SW_RESTORE);
    EXPECT_TRUE(b().BerthOn());
    EXPECT_EQ(b().BerthSide, 2);
}

TEST_F(Berthing, AProgramResizeAgainstAnEdgeBerthsAndTheFirstActivationArmsTheWatch) {
    dock = std::make_unique<Dock>();
    dock->Load();
    SetWindowPos(h(), 0, 0, 0, 300, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(b().BerthOn());
    EXPECT_EQ(b().BerthSide, 2);
    // No snap and no watch until the window is activated the first time.
    EXPECT_EQ(b().m_Leave->Interval(), 0);
    EXPECT_EQ(r().top, 300);
    dock->Show();
    EXPECT_EQ(dock->firstActivations, 1);
    EXPECT_EQ(b().m_Leave->Interval(), 1500);
    EXPECT_TRUE(GetWindowLong(h(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    SetForegroundWindow(0);
    dock->Show();
    EXPECT_EQ(dock->firstActivations, 1);
}

TEST_F(Berthing, WithBerthingOffTheWindowIsKeptOnTheScreen) {
    open();
    b().AutoHide = false;
    dragTo(1200, 700);
    EXPECT_FALSE(b().BerthOn());
    EXPECT_EQ(r(), (RECT{980, 600, 1280, 800}));
    dragTo(-50, -50);
    EXPECT_EQ(r(), (RECT{0, 0, 300, 200}));
    EXPECT_EQ(b().m_Leave->Interval(), 0);
}

TEST_F(Berthing, TheShownPositionIsWhereABerthedWindowSavesItself) {
    open();
    dragTo(1100, 300);
    b().BerthLeave();
    run(1000);
    ASSERT_EQ(r().left, kScreenW - 3);
    EXPECT_EQ(b().ShownPosition().x, kScreenW - 300);
    EXPECT_EQ(b().ShownPosition().y, 300);
}

} // namespace
