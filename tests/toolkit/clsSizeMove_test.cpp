#include "toolkit/clsSizeMove.h"

#include "platform/desktop/Win.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace win;

namespace {

class SizeMove : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASS wc;
        wc.lpszClassName = "SizeMoveTestWnd";
        ownProc = registerWndProc([](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); });
        wc.lpfnWndProc = ownProc;
        RegisterClass(wc);
        main = makeWindow();
        other = CreateWindowEx(0, "SizeMoveTestWnd", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 400, 100, 100, 0);
        watcher = std::make_unique<clsSizeMove>();
        listen(*watcher);
    }
    void TearDown() override { watcher.reset(); }

    HWND makeWindow() {
        return CreateWindowEx(0, "SizeMoveTestWnd", "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 20, 300, 200, 0);
    }
    void listen(clsSizeMove& w) {
        w.MouseOverForm = [this] { events.push_back("over"); };
        w.MouseLeaveForm = [this] { events.push_back("leave"); };
        w.EnterSizeMove = [this] { events.push_back("enter"); };
        w.ExitSizeMove = [this] { events.push_back("exit"); };
        w.Activate = [this](bool click) { events.push_back(click ? "activate click" : "activate"); };
        w.Deactivate = [this] { events.push_back("deactivate"); };
        w.Moving = [this](int32_t& l, int32_t& t, int32_t& wd, int32_t& h) {
            events.push_back("moving " + rect(l, t, wd, h));
            if (onMoving) onMoving(l, t, wd, h);
        };
        w.Sizing = [this](int32_t& l, int32_t& t, int32_t& wd, int32_t& h) {
            events.push_back("sizing " + rect(l, t, wd, h));
            if (onSizing) onSizing(l, t, wd, h);
        };
    }
    static std::string rect(int32_t l, int32_t t, int32_t w, int32_t h) {
        return std::to_string(l) + "," + std::to_string(t) + " " + std::to_string(w) + "x" + std::to_string(h);
    }
    static BOOL fullDrag() {
        BOOL on = FALSE;
        SystemParametersInfo(SPI_GETDRAGFULLWINDOWS, 0, &on, 0);
        return on;
    }
    static void setFullDrag(bool on) {
        SystemParametersInfo(SPI_SETDRAGFULLWINDOWS, on ? 1 : 0, nullptr, SPIF_SENDWININICHANGE);
    }
    // The user drags the caption along the path.
    void dragCaption(std::vector<POINT> path) {
        SetCursorPos(100, 30);
        queueMoveSize(std::move(path));
        SendMessage(main, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION), 0);
    }
    static RECT windowRect(HWND h) {
        RECT r{};
        GetWindowRect(h, &r);
        return r;
    }

    testing_support::TestMachine machine;
    WNDPROC ownProc = 0;
    HWND main = 0, other = 0;
    std::unique_ptr<clsSizeMove> watcher;
    std::vector<std::string> events;
    std::function<void(int32_t&, int32_t&, int32_t&, int32_t&)> onMoving, onSizing;
};

TEST_F(SizeMove, AMovingHandlerKeepsTheDraggedWindowAtTheLeftEdge) {
    watcher->Attach(main);
    onMoving = [](int32_t& l, int32_t&, int32_t&, int32_t&) { l = 0; };
    dragCaption({{150, 60}, {200, 90}});
    EXPECT_EQ(events, (std::vector<std::string>{"enter", "moving 60,50 300x200", "moving 110,80 300x200", "exit"}));
    EXPECT_EQ(windowRect(main), (RECT{0, 80, 300, 280}));  // the right edge follows as Left + Width
}

TEST_F(SizeMove, SizingWritesBackInsideTheLoopAndOnlyReportsOutsideIt) {
    watcher->Attach(main);
    // The user drags the bottom-right corner; the handler holds the width at 250.
    onSizing = [](int32_t&, int32_t&, int32_t& w, int32_t&) { w = 250; };
    SetCursorPos(309, 219);
    queueMoveSize({{329, 239}});
    SendMessage(main, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTBOTTOMRIGHT), 0);
    // The WM_SIZE that the loop's resize brings raises nothing of its own.
    EXPECT_EQ(events, (std::vector<std::string>{"enter", "sizing 10,20 320x220", "exit"}));
    EXPECT_EQ(windowRect(main), (RECT{10, 20, 260, 240}));

    // Outside the loop a size change is reported with the window's rectangle; changes are ignored.
    events.clear();
    SetWindowPos(main, 0, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(events, (std::vector<std::string>{"sizing 10,20 200x100"}));
    EXPECT_EQ(windowRect(main), (RECT{10, 20, 210, 120}));
}

TEST_F(SizeMove, NoFullDragHoldsTheSettingOffExactlyWhileTheWindowIsActive) {
    struct Case {
        const char* name;
        bool fullDragBefore;
        bool noFullDrag;
        BOOL whileActive;
        BOOL afterDeactivate;
    };
    const Case cases[] = {
        {"user has it on", true, true, FALSE, TRUE},
        {"user has it off: nothing to restore", false, true, FALSE, FALSE},
        {"watcher leaves it alone", true, false, TRUE, TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setFullDrag(c.fullDragBefore);
        clsSizeMove w;
        w.NoFullDrag(c.noFullDrag);
        w.Attach(main);
        SetActiveWindow(main);
        EXPECT_TRUE(w.Active());
        EXPECT_EQ(fullDrag(), c.whileActive);
        SetActiveWindow(other);
        EXPECT_FALSE(w.Active());
        EXPECT_EQ(fullDrag(), c.afterDeactivate);
    }
}

TEST_F(SizeMove, EveryWayOutRestoresTheFullDragSetting) {
    setFullDrag(true);
    watcher->Attach(main);
    SetActiveWindow(main);
    // Switching it on while the window is active takes effect at once, and off again restores.
    watcher->NoFullDrag(true);
    EXPECT_FALSE(fullDrag());
    watcher->NoFullDrag(false);
    EXPECT_TRUE(fullDrag());

    // Destroying the window while active.
    watcher->NoFullDrag(true);
    EXPECT_FALSE(fullDrag());
    DestroyWindow(main);
    EXPECT_TRUE(fullDrag());

    // Letting go of the watcher while its window is active.
    main = makeWindow();
    watcher->Attach(main);
    SetActiveWindow(other);
    SetActiveWindow(main);
    EXPECT_FALSE(fullDrag());
    watcher.reset();
    EXPECT_TRUE(fullDrag());
}

TEST_F(SizeMove, ActivationMouseAndArea) {
    watcher->Attach(main);
    SetActiveWindow(other);
    events.clear();
    mouseClick(100, 100);  // in main's client area
    SetActiveWindow(other);
    SetActiveWindow(main);
    EXPECT_EQ(events, (std::vector<std::string>{"activate click", "deactivate", "activate"}));

    // The caption still hit-tests as a caption through the watcher.
    EXPECT_EQ(SendMessage(main, WM_NCHITTEST, 0, MAKELPARAM(100, 30)), HTCAPTION);
    events.clear();
    mouseMove(100, 30);
    SendMessage(main, WM_NCMOUSELEAVE, 0, 0);
    EXPECT_EQ(events, (std::vector<std::string>{"over", "leave"}));

    SetCursorPos(309, 219);
    EXPECT_TRUE(watcher->AreaIn());
    SetCursorPos(310, 100);
    EXPECT_FALSE(watcher->AreaIn());
}

TEST_F(SizeMove, AttachDetachAndTheWindowsDestruction) {
    watcher->Detach();  // nothing attached yet
    EXPECT_FALSE(watcher->AreaIn());
    watcher->Attach(main);
    EXPECT_NE(GetWindowLong(main, GWL_WNDPROC), ownProc);

    // A second Attach moves the watcher to the other window.
    watcher->Attach(other);
    EXPECT_EQ(GetWindowLong(main, GWL_WNDPROC), ownProc);
    SetActiveWindow(main);
    EXPECT_EQ(events, (std::vector<std::string>{"deactivate"}));  // only other's side is heard

    watcher->Detach();
    EXPECT_EQ(GetWindowLong(other, GWL_WNDPROC), ownProc);
    events.clear();
    SetActiveWindow(other);
    EXPECT_TRUE(events.empty());

    // The window's destruction detaches the watcher, and Detach after it does no harm.
    watcher->Attach(main);
    DestroyWindow(main);
    watcher->Detach();
    watcher->Attach(other);
    makeWindow();  // takes activation from other
    EXPECT_EQ(events, (std::vector<std::string>{"deactivate"}));
}

} // namespace
