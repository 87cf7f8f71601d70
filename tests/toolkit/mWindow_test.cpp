// The top-level window scan and window texts.
#include "support/TestMachine.h"
#include "toolkit/mWindow.h"

#include "platform/desktop/Win.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

struct Sink : IEnumWindowsSink {
    std::vector<win::HWND> seen;
    std::function<void(win::HWND, bool&)> onWindow;
    void EnumWindow(win::HWND hwnd, bool& stop) override {
        seen.push_back(hwnd);
        if (onWindow) onWindow(hwnd, stop);
    }
    int32_t Identifier() override { return 1234; }
};

struct ScanTest : ::testing::Test {
    testing_support::TestMachine m;
    std::vector<win::HWND> windows;
    void SetUp() override {
        for (const char* caption : {"one", "two", "three"})
            windows.push_back(win::CreateWindowEx(0, "Static", caption, win::WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, 0));
    }
};

} // namespace

TEST_F(ScanTest, ReportsEveryWindowAndStopsOnRequest) {
    Sink all;
    mWindow::EnumerateWindows(all);
    for (win::HWND h : windows) EXPECT_NE(std::find(all.seen.begin(), all.seen.end(), h), all.seen.end());

    Sink first;
    first.onWindow = [](win::HWND, bool& stop) { stop = true; };
    mWindow::EnumerateWindows(first);
    EXPECT_EQ(first.seen.size(), 1u);

    // The slot is free again at once.
    Sink again;
    mWindow::EnumerateWindows(again);
    EXPECT_EQ(again.seen.size(), all.seen.size());
}

TEST_F(ScanTest, ANestedScanIsRefused) {
    Sink inner, outer;
    outer.onWindow = [&](win::HWND, bool& stop) {
        mWindow::EnumerateWindows(inner);
        stop = true;
    };
    mWindow::EnumerateWindows(outer);
    EXPECT_EQ(outer.seen.size(), 1u);
    EXPECT_TRUE(inner.seen.empty());
}

TEST_F(ScanTest, AScanThatThrowsDoesNotLockOutTheNext) {
    Sink bad;
    bad.onWindow = [](win::HWND, bool&) { throw std::runtime_error("sink failed"); };
    EXPECT_THROW(mWindow::EnumerateWindows(bad), std::runtime_error);
    Sink next;
    mWindow::EnumerateWindows(next);
    EXPECT_FALSE(next.seen.empty());
}

TEST_F(ScanTest, CaptionAndClassNameAsText) {
    win::HWND h = win::CreateWindowEx(0, "Static", "市场报价: 12:34:56", win::WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, 0);
    const std::string caption = mWindow::GetWindowTextString(h);
    EXPECT_EQ(caption, "市场报价: 12:34:56");
    EXPECT_EQ(caption.find('\0'), std::string::npos);
    EXPECT_EQ(mWindow::GetClassNameString(h), "Static");
    win::HWND bare = win::CreateWindowEx(0, "Static", "", win::WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, 0);
    EXPECT_EQ(mWindow::GetWindowTextString(bare), "");
    EXPECT_EQ(mWindow::GetWindowTextString(0), "");
    EXPECT_EQ(mWindow::GetClassNameString(0), "");
}
