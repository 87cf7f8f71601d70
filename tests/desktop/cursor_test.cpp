#include "DesktopFixture.h"

using namespace win;

namespace {

// A 2 x 3 PNG: the signature and the header chunk are all the icon reads of it.
std::string tinyPng() {
    const unsigned char bytes[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                   0,    0,   0,   2,   0,    0,    0,    3,    8, 6, 0, 0, 0, 0, 0, 0, 0};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

} // namespace

TEST_F(DesktopTest, SystemCursorsAreFixedAndNothingElseLoads) {
    const HCURSOR arrow = LoadCursor(0, IDC_ARROW), hand = LoadCursor(0, IDC_HAND), wait = LoadCursor(0, IDC_WAIT);
    EXPECT_TRUE(arrow && hand && wait);
    EXPECT_NE(arrow, hand);
    EXPECT_NE(hand, wait);
    EXPECT_NE(arrow, wait);
    EXPECT_EQ(LoadCursor(0, IDC_HAND), hand);
    EXPECT_EQ(LoadCursor(0, 32513), 0);  // the I-beam: no shape of ours
    EXPECT_EQ(LoadCursor(0x00400000, IDC_ARROW), 0);
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(SetCursor(0), wait);
    EXPECT_EQ(GetCursor(), 0);
}

// The window under the pointer hears WM_SETCURSOR before the mouse message; a child's default
// asks its parent first, then shows the class cursor of the window under the pointer.
TEST_F(DesktopTest, TheWindowUnderThePointerChoosesTheCursor) {
    const HCURSOR arrow = LoadCursor(0, IDC_ARROW), hand = LoadCursor(0, IDC_HAND), wait = LoadCursor(0, IDC_WAIT);
    WNDCLASS handClass;
    handClass.lpszClassName = "HandWnd";
    handClass.hCursor = hand;
    ASSERT_TRUE(RegisterClass(handClass));
    WNDCLASS waitingParent;
    waitingParent.lpszClassName = "WaitingParent";
    waitingParent.hCursor = arrow;
    waitingParent.lpfnWndProc = registerWndProc([wait](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (msg == WM_SETCURSOR && static_cast<HWND>(wParam) != h) {
            SetCursor(wait);
            return TRUE;
        }
        return DefWindowProc(h, msg, wParam, lParam);
    });
    ASSERT_TRUE(RegisterClass(waitingParent));

    const HWND handTop = CreateWindowEx(0, "HandWnd", "hand", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, 0);
    const HWND plain = child(handTop, "no cursor of its own");  // TestWnd: no class cursor
    const HWND button = CreateWindowEx(0, "Button", "b", WS_CHILD | WS_VISIBLE, 100, 5, 50, 20, handTop);
    const HWND waitTop = CreateWindowEx(0, "WaitingParent", "wait", WS_POPUP | WS_VISIBLE, 500, 100, 200, 100, 0);
    const HWND waitKid = CreateWindowEx(0, "Button", "k", WS_CHILD | WS_VISIBLE, 10, 10, 50, 20, waitTop);

    auto inside = [](HWND h) {
        RECT r;
        GetWindowRect(h, &r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    };
    RECT frame;
    GetWindowRect(handTop, &frame);
    const POINT caption{frame.left + 150, frame.top + 8};
    const POINT client{frame.left + 150, frame.bottom - 20};
    const struct {
        const char* where;
        POINT at;
        HCURSOR shown;
    } steps[] = {
        {"client area of a hand class", client, hand},
        {"its caption", caption, arrow},
        {"a button inside it", inside(button), arrow},
        {"back over the client", client, hand},
        {"a child without a class cursor keeps the last", inside(plain), hand},
        {"a parent that answers decides for its child", inside(waitKid), wait},
        {"the parent's own client area", {690, 190}, arrow},
    };
    for (const auto& s : steps) {
        mouseMove(s.at.x, s.at.y);
        EXPECT_EQ(GetCursor(), s.shown) << s.where;
    }

    // WM_SETCURSOR comes before the mouse message, naming the window and the hit.
    log.clear();
    mouseMove(inside(plain).x, inside(plain).y);
    std::vector<UINT> mouse;
    for (UINT m : messagesTo(plain))
        if (m == WM_SETCURSOR || m == WM_MOUSEMOVE) mouse.push_back(m);
    EXPECT_EQ(mouse, (std::vector<UINT>{WM_SETCURSOR, WM_MOUSEMOVE}));
    for (const auto& l : log)
        if (l.msg == WM_SETCURSOR) {
            EXPECT_EQ(static_cast<HWND>(l.wParam), plain);
            EXPECT_EQ(l.lParam, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        }

    // A captured mouse is the capturing window's: no one chooses a cursor meanwhile.
    SetCursor(wait);
    SetCapture(handTop);
    mouseMove(inside(button).x, inside(button).y);
    EXPECT_EQ(GetCursor(), wait);
    ReleaseCapture();
}

TEST_F(DesktopTest, IconsAreMadeOfPicturesAndCarriedByTheirClass) {
    const std::string png = tinyPng();
    const auto* bits = reinterpret_cast<const BYTE*>(png.data());
    const HICON own = CreateIconFromResourceEx(bits, static_cast<DWORD>(png.size()), TRUE, 0x00030000, 0, 0, 0);
    const HICON small = CreateIconFromResourceEx(bits, static_cast<DWORD>(png.size()), TRUE, 0x00030000, 16, 16, 0);
    ASSERT_TRUE(own && small);
    EXPECT_NE(own, small);
    ASSERT_TRUE(iconImage(own));
    EXPECT_EQ(iconImage(own)->width, 2);
    EXPECT_EQ(iconImage(own)->height, 3);
    EXPECT_EQ(iconImage(own)->png, png);
    EXPECT_EQ(iconImage(small)->width, 16);
    std::string notPng = png;
    notPng[1] = 'X';
    EXPECT_EQ(CreateIconFromResourceEx(reinterpret_cast<const BYTE*>(notPng.data()), 33, TRUE, 0x00030000, 0, 0, 0), 0);
    EXPECT_EQ(CreateIconFromResourceEx(bits, 20, TRUE, 0x00030000, 0, 0, 0), 0);

    WNDCLASS wc;
    wc.lpszClassName = "IconWnd";
    wc.hIcon = own;
    wc.hIconSm = small;
    ASSERT_TRUE(RegisterClass(wc));
    const HWND h = CreateWindowEx(0, "IconWnd", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0);
    EXPECT_EQ(static_cast<HICON>(GetClassLong(h, GCL_HICON)), own);
    EXPECT_EQ(static_cast<HICON>(GetClassLong(h, GCL_HICONSM)), small);
    EXPECT_EQ(GetClassLong(h, GCL_HCURSOR), 0u);
    EXPECT_EQ(static_cast<HCURSOR>(GetClassLong(child(h, "c"), GCL_HCURSOR)), 0);  // TestWnd sets none
    EXPECT_TRUE(DestroyIcon(own));
    EXPECT_FALSE(iconImage(own));
    EXPECT_FALSE(DestroyIcon(own));
}
