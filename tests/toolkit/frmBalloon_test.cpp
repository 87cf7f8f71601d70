#include "support/TestMachine.h"
#include "toolkit/cDIBSection.h"
#include "toolkit/frmBalloon.h"
#include "toolkit/m_Main.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Win.h"
#include "platform/desktop/WindowShape.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

sys::MachineOptions screen1366() {
    sys::MachineOptions o;
    o.screenWidth = 1366;
    o.screenHeight = 768;
    return o;
}

win::RECT windowRect(win::HWND h) {
    win::RECT r;
    win::GetWindowRect(h, &r);
    return r;
}

// Where a child sits in its parent's client area.
win::POINT childPos(win::HWND child) {
    win::RECT r = windowRect(child);
    win::POINT p{r.left, r.top};
    win::ScreenToClient(win::GetParent(child), &p);
    return p;
}

// The balloon's face read back as 0xRRGGBB, rows top-down.
struct FaceImage {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

std::optional<FaceImage> faceOf(const frmBalloon& b) {
    cDIBSection copy;
    copy.CreateFromPicture(b.Face(), 24);
    if (!copy.DIBSectionBitsPtr()) return std::nullopt;
    FaceImage f{copy.width(), copy.Height(), {}};
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            const uint8_t* p = copy.DIBSectionBitsPtr() + static_cast<size_t>(f.height - 1 - y) * copy.BytesPerScanLine() + x * 3;
            f.pixels.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
        }
    return f;
}

uint32_t facePixel(const frmBalloon& b, int x, int y) {
    const auto f = faceOf(b);
    return f->pixels[static_cast<size_t>(y) * f->width + x];
}

uint32_t facePixel(const std::optional<FaceImage>& f, int x, int y) {
    return f->pixels[static_cast<size_t>(y) * f->width + x];
}

class BalloonTest : public ::testing::Test {
protected:
    std::shared_ptr<frmBalloon> popup(int x, int y, int cw = 225, int ch = 60) {
        auto b = std::make_shared<frmBalloon>();
        b->SizeLayout(cw, ch);
        b->Popup(x, y);
        return b;
    }
    testing_support::TestMachine machine{screen1366()};
};

TEST_F(BalloonTest, QuadrantPicksPointerStyleAndTipLandsOnThePoint) {
    struct Case {
        int x, y;
        int style;
        int left, top;  // the window's top-left corner
        int layoutTop;
    };
    // Halves of 1366 x 768 are 683 and 384: the right and lower halves need strictly more.
    const Case cases[] = {
        {683, 384, 4, 683, 384, 22},
        {684, 384, 2, 684 - 231, 384, 22},
        {683, 385, 3, 683, 385 - 85, 3},
        {684, 385, 1, 684 - 231, 385 - 85, 3},
        {1000, 600, 1, 1000 - 231, 600 - 85, 3},
        // Not pulled in at the edge.
        {5, 5, 4, 5, 5, 22},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        auto b = popup(c.x, c.y);
        const win::RECT r = windowRect(b->hWnd());
        EXPECT_EQ(r, (win::RECT{c.left, c.top, c.left + 231, c.top + 85}));
        EXPECT_EQ(b->GetPointerStyle(c.x, c.y), c.style);
        EXPECT_EQ(childPos(b->Layout()), (win::POINT{3, c.layoutTop}));
        win::RECT lr;
        win::GetClientRect(b->Layout(), &lr);
        EXPECT_EQ(lr, (win::RECT{0, 0, 225, 60}));
        // The tip pixel belongs to the window; the corner beside the pointer's base does not.
        const bool tipRight = c.style == 1 || c.style == 2, tipBottom = c.style == 1 || c.style == 3;
        win::POINT tip{tipRight ? c.x - 1 : c.x, tipBottom ? c.y - 1 : c.y};
        EXPECT_EQ(win::WindowFromPoint(tip), b->hWnd());
        win::POINT beside{tipRight ? c.left + 1 : c.left + 229, tipBottom ? c.top + 83 : c.top + 1};
        EXPECT_NE(win::WindowFromPoint(beside), b->hWnd());
        b->Unload();
    }
}

TEST_F(BalloonTest, ZeroCoordinateMeansTheCursor) {
    win::SetCursorPos(1000, 600);
    for (auto [x, y] : {std::pair{0, 250}, std::pair{250, 0}}) {
        auto b = popup(x, y);
        EXPECT_EQ(windowRect(b->hWnd()), (win::RECT{1000 - 231, 600 - 85, 1000, 600}));
        b->Unload();
    }
}

TEST_F(BalloonTest, FaceAndRegionFollowTheDrawnShape) {
    auto b = popup(100, 100);  // style 4: pointer at the top left, body from row 19
    const auto face = faceOf(*b);
    ASSERT_TRUE(face);
    ASSERT_EQ(face->width, 231);
    ASSERT_EQ(face->height, 85);
    win::HRGN rgn = win::CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(win::GetWindowRgn(b->hWnd(), rgn), win::COMPLEXREGION);
    for (int y = 0; y < face->height; ++y)
        for (int x = 0; x < face->width; ++x) {
            const bool key = facePixel(face, x, y) == frmBalloon::kKeyColour;
            ASSERT_EQ(win::PtInRegion(rgn, x, y), !key) << x << "," << y;
        }
    // Rounded corners and the strip beside the pointer are cut out; the body's border is black.
    EXPECT_EQ(facePixel(face, 0, 19), frmBalloon::kKeyColour);
    EXPECT_EQ(facePixel(face, 230, 84), frmBalloon::kKeyColour);
    EXPECT_EQ(facePixel(face, 200, 5), frmBalloon::kKeyColour);
    EXPECT_EQ(facePixel(face, 115, 19), frmBalloon::kBorderColour);
    EXPECT_EQ(facePixel(face, 115, 84), frmBalloon::kBorderColour);
    EXPECT_EQ(facePixel(face, 0, 50), frmBalloon::kBorderColour);
    EXPECT_EQ(facePixel(face, 115, 50), frmBalloon::kFillColour);
    // The pointer: its tip and sides black, its inside joined to the body with no border between.
    EXPECT_EQ(facePixel(face, 0, 0), frmBalloon::kBorderColour);
    EXPECT_EQ(facePixel(face, 10, 10), frmBalloon::kBorderColour);
    EXPECT_EQ(facePixel(face, 28, 19), frmBalloon::kFillColour);
    EXPECT_EQ(facePixel(face, 28, 15), frmBalloon::kFillColour);
    EXPECT_EQ(facePixel(face, 10, 15), frmBalloon::kKeyColour);
    win::DeleteRgn(rgn);
}

TEST_F(BalloonTest, NarrowContentLetsTheWindowEdgeClipThePointer) {
    auto b = popup(1000, 600, 20, 20);  // style 1: base from w - 40 < 0
    EXPECT_EQ(windowRect(b->hWnd()), (win::RECT{1000 - 26, 600 - 45, 1000, 600}));
    EXPECT_EQ(facePixel(*b, 25, 44), frmBalloon::kBorderColour);
}

TEST_F(BalloonTest, ShowsTopmostOwnedByTheMainWindowAndReportsEachDeactivation) {
    forms::Form main("frmMain");
    main.design.caption = m_Main::kMainCaption;
    main.Show();
    forms::Form other("frmOther");
    other.Show();

    auto b = std::make_shared<frmBalloon>();
    int closes = 0;
    b->BalloonClose = [&] { ++closes; };
    b->SizeLayout(225, 60);
    b->Popup(300, 300);
    EXPECT_TRUE(win::IsWindowVisible(b->hWnd()));
    EXPECT_EQ(win::GetForegroundWindow(), b->hWnd());
    EXPECT_TRUE(win::GetWindowLong(b->hWnd(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
    EXPECT_FALSE(win::GetWindowLong(b->hWnd(), win::GWL_EXSTYLE) & win::WS_EX_APPWINDOW);
    EXPECT_EQ(win::GetWindow(b->hWnd(), win::GW_OWNER), main.hWnd());
    EXPECT_EQ(closes, 0);

    win::SetForegroundWindow(other.hWnd());
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(win::IsWindowVisible(b->hWnd()));  // the host decides
    win::SetForegroundWindow(b->hWnd());
    win::SetForegroundWindow(other.hWnd());
    EXPECT_EQ(closes, 2);
    b->Unload();
    other.Unload();
    main.Unload();
}

TEST_F(BalloonTest, FaceIsTheWindowsPictureAndGoesWithTheBalloon) {
    const size_t before = win::gdiObjectCount();
    {
        auto b = popup(100, 100);
        EXPECT_NE(b->Face().Handle, 0);
        EXPECT_EQ(win::windowPicture(b->hWnd()), b->Face().Handle);
        EXPECT_NE(win::windowPicture(b->Layout()), 0);
        b->Unload();
        EXPECT_EQ(b->Face().Handle, 0);
        EXPECT_EQ(win::gdiObjectCount(), before);
        b->SizeLayout(100, 40);
        b->Popup(100, 100);
    }
    EXPECT_EQ(win::gdiObjectCount(), before);
}

TEST(WindowRegion, CombinesAndReportsItsShape) {
    testing_support::TestMachine machine;
    win::HRGN a = win::CreateRectRgn(0, 0, 10, 10);
    win::HRGN hole = win::CreateRectRgn(2, 2, 3, 5);
    EXPECT_EQ(win::CombineRgn(a, a, hole, win::RGN_XOR), win::COMPLEXREGION);
    EXPECT_FALSE(win::PtInRegion(a, 2, 4));
    EXPECT_TRUE(win::PtInRegion(a, 2, 5));
    EXPECT_EQ(win::CombineRgn(a, a, hole, win::RGN_OR), win::SIMPLEREGION);
    win::HRGN far = win::CreateRectRgn(20, 0, 30, 10);
    EXPECT_EQ(win::CombineRgn(a, a, far, win::RGN_AND), win::NULLREGION);
    EXPECT_EQ(win::CombineRgn(a, hole, far, 99), win::RGN_ERROR);
    for (auto r : {a, hole, far}) EXPECT_TRUE(win::DeleteRgn(r));
    EXPECT_EQ(win::CombineRgn(a, a, a, win::RGN_OR), win::RGN_ERROR);
}

} // namespace
