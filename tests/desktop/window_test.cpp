#include "DesktopFixture.h"

#include "platform/system/CodePage.h"

#include <functional>
#include <ostream>

using namespace win;

TEST_F(DesktopTest, CreationAndDestructionSendTheLifeMessagesInOrder) {
    HWND a = top("A");
    ASSERT_GT(a, 0);
    HWND c = child(a, "c");
    HWND owned = top("owned", a);
    EXPECT_EQ(messagesTo(a), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    log.clear();
    EXPECT_TRUE(DestroyWindow(a));
    // The owned window goes first; the parent's WM_DESTROY precedes its child's; NCDESTROY runs child first.
    std::vector<std::pair<HWND, UINT>> seen;
    for (auto& l : log)
        if (l.msg == WM_DESTROY || l.msg == WM_NCDESTROY) seen.push_back({l.hwnd, l.msg});
    std::vector<std::pair<HWND, UINT>> want{{owned, WM_DESTROY}, {owned, WM_NCDESTROY}, {a, WM_DESTROY},
                                            {c, WM_DESTROY},     {c, WM_NCDESTROY},     {a, WM_NCDESTROY}};
    EXPECT_EQ(seen, want);
    EXPECT_FALSE(IsWindow(a));
    EXPECT_FALSE(IsWindow(c));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(DestroyWindow(a));
}

TEST_F(DesktopTest, CreationFailsForUnknownClassOrRefusingCreate) {
    EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", "", 0, 0, 0, 10, 10, 0), 0);
    WNDCLASS wc;
    wc.lpszClassName = "Refuser";
    wc.lpfnWndProc = registerWndProc([](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        return m == WM_CREATE ? -1 : DefWindowProc(h, m, w, l);
    });
    ASSERT_NE(RegisterClass(wc), 0);
    EXPECT_EQ(RegisterClass(wc), 0);  // taken
    EXPECT_EQ(CreateWindowEx(0, "refuser", "", 0, 0, 0, 10, 10, 0), 0);
    EXPECT_TRUE(topLevelOrder().empty());
}

namespace {
// The six answers about a window's place: GA_PARENT, GWL_HWNDPARENT, GetParent, GW_OWNER, GA_ROOT,
// GA_ROOTOWNER.
struct Place {
    HWND gaParent, gwlParent, parent, owner, root, rootOwner;
    bool operator==(const Place&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Place& p) {
    return os << std::hex << "{" << p.gaParent << " " << p.gwlParent << " " << p.parent << " " << p.owner << " "
              << p.root << " " << p.rootOwner << "}";
}
Place placeOf(HWND h) {
    return {GetAncestor(h, GA_PARENT), static_cast<HWND>(GetWindowLong(h, GWL_HWNDPARENT)), GetParent(h),
            GetWindow(h, GW_OWNER),    GetAncestor(h, GA_ROOT),                             GetAncestor(h, GA_ROOTOWNER)};
}
} // namespace

TEST_F(DesktopTest, ParentAndOwnerAnswersFollowTheStyle) {
    const HWND desk = GetDesktopWindow();
    HWND main = top("main");
    HWND c = child(main, "c");
    HWND grand = child(c, "g");
    HWND owned = top("owned", main);
    HWND popup = top("popup", main, WS_POPUP);
    HWND ownedByChild = top("o2", grand);  // the owner is the child's top-level window
    HWND popupOfChild = top("p2", grand, WS_POPUP);
    HWND childOfDesktop = CreateWindowEx(0, "TestWnd", "cd", WS_CHILD, 0, 0, 10, 10, desk);
    HWND childPopup = top("cp", main, WS_POPUP | WS_CHILD);  // a pop-up, whatever WS_CHILD says
    HWND popupOfDesktop = top("pd", desk, WS_POPUP);         // not owned
    ASSERT_NE(childOfDesktop, 0);
    ASSERT_NE(childPopup, 0);
    struct Case {
        HWND h;
        Place want;
    };
    const Case cases[] = {
        {desk, {0, 0, 0, 0, 0, 0}},
        {main, {desk, 0, 0, 0, main, main}},
        {c, {main, main, main, 0, main, main}},
        {grand, {c, c, c, 0, main, main}},
        {owned, {desk, main, 0, main, owned, owned}},
        {popup, {desk, main, main, main, popup, main}},
        {ownedByChild, {desk, main, 0, main, ownedByChild, ownedByChild}},
        {popupOfChild, {desk, main, main, main, popupOfChild, main}},
        {childOfDesktop, {desk, 0, desk, 0, childOfDesktop, desk}},
        {childPopup, {desk, main, main, main, childPopup, main}},
        {popupOfDesktop, {desk, 0, 0, 0, popupOfDesktop, popupOfDesktop}},
    };
    for (const auto& k : cases) EXPECT_EQ(placeOf(k.h), k.want) << "window " << windowText(k.h);
    EXPECT_TRUE(IsChild(main, grand));
    EXPECT_FALSE(IsChild(main, owned));
    EXPECT_EQ(CreateWindowEx(0, "TestWnd", "", WS_CHILD, 0, 0, 10, 10, 0), 0);  // a child needs a parent
}

TEST_F(DesktopTest, ChangingParentOwnerOrStyleMovesTheAnswers) {
    const HWND desk = GetDesktopWindow();
    HWND main = top("main"), main2 = top("main2");
    HWND c = child(main, "c");
    HWND popup = top("popup", 0, WS_POPUP);
    HWND kid = child(main, "kid");
    HWND t = top("t");
    HWND lost = child(main2, "lost");
    HWND z = top("z", main);
    struct Step {
        const char* what;
        std::function<LONG()> act;
        LONG returned;
        HWND h;
        Place want;
    };
    const Step steps[] = {
        // The owner becomes exactly the window given, a child too; GA_ROOTOWNER walks GetParent.
        {"owner set to a child", [&] { return SetWindowLong(popup, GWL_HWNDPARENT, c); }, 0, popup,
         {desk, c, c, c, popup, main}},
        {"owner cleared", [&] { return SetWindowLong(popup, GWL_HWNDPARENT, 0); }, c, popup,
         {desk, 0, 0, 0, popup, popup}},
        // Of a child, GWL_HWNDPARENT is the parent.
        {"child moved by GWL_HWNDPARENT", [&] { return SetWindowLong(kid, GWL_HWNDPARENT, main2); }, main, kid,
         {main2, main2, main2, 0, main2, main2}},
        {"top-level given WS_CHILD", [&] { return SetWindowLong(t, GWL_STYLE, WS_CHILD); },
         static_cast<LONG>(WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS), t, {desk, 0, desk, 0, t, desk}},
        {"and WS_POPUP instead", [&] { return SetWindowLong(t, GWL_STYLE, WS_POPUP); },
         static_cast<LONG>(WS_CHILD | WS_CLIPSIBLINGS), t, {desk, 0, 0, 0, t, t}},
        {"child that lost WS_CHILD", [&] { return SetWindowLong(lost, GWL_STYLE, WS_POPUP); },
         static_cast<LONG>(WS_CHILD | WS_VISIBLE), lost, {main2, main2, 0, 0, main2, lost}},
        // SetParent keeps the owner and the style.
        {"owned window put into main2", [&] { return SetParent(z, main2); }, desk, z,
         {main2, main2, 0, main, main2, z}},
        {"and made a child", [&] { return SetWindowLong(z, GWL_STYLE, WS_CHILD); },
         static_cast<LONG>(WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS), z, {main2, main2, main2, main, main2, main2}},
        {"back on the desktop", [&] { return SetParent(z, 0); }, main2, z, {desk, main, desk, main, z, desk}},
    };
    for (const auto& st : steps) {
        EXPECT_EQ(st.act(), st.returned) << st.what;
        EXPECT_EQ(placeOf(st.h), st.want) << st.what;
    }
    // An owner that is no window, the window itself or one it owns is refused.
    HWND o = top("o", main, WS_POPUP);
    EXPECT_EQ(SetWindowLong(o, GWL_HWNDPARENT, 0x7777), 0);
    EXPECT_EQ(SetWindowLong(o, GWL_HWNDPARENT, o), 0);
    EXPECT_EQ(SetWindowLong(main, GWL_HWNDPARENT, o), 0);
    EXPECT_EQ(GetWindow(o, GW_OWNER), main);
    EXPECT_EQ(GetWindow(main, GW_OWNER), 0);
}

TEST_F(DesktopTest, TheSystemAddsStylesToWhatIsCreated) {
    struct Case {
        DWORD style, ex;
        DWORD wantStyle, wantEx;
    };
    const Case cases[] = {
        {0, 0, WS_CLIPSIBLINGS | WS_CAPTION, WS_EX_WINDOWEDGE},
        {WS_THICKFRAME, 0, WS_THICKFRAME | WS_CLIPSIBLINGS | WS_CAPTION, WS_EX_WINDOWEDGE},
        {WS_OVERLAPPEDWINDOW, 0, WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS, WS_EX_WINDOWEDGE},
        {0, WS_EX_TOOLWINDOW, WS_CLIPSIBLINGS | WS_CAPTION, WS_EX_WINDOWEDGE | WS_EX_TOOLWINDOW},
        {WS_POPUP, 0, WS_POPUP | WS_CLIPSIBLINGS, 0},
        {WS_POPUP, WS_EX_WINDOWEDGE, WS_POPUP | WS_CLIPSIBLINGS, 0},
        {WS_POPUP | WS_CAPTION, 0, WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS, WS_EX_WINDOWEDGE},
        {WS_POPUP | WS_CHILD, 0, WS_POPUP | WS_CHILD | WS_CLIPSIBLINGS, 0},
        {WS_CHILD, 0, WS_CHILD, 0},
        {WS_CHILD, WS_EX_WINDOWEDGE, WS_CHILD, 0},
        {WS_CHILD | WS_THICKFRAME, 0, WS_CHILD | WS_THICKFRAME, WS_EX_WINDOWEDGE},
        {WS_CHILD, WS_EX_DLGMODALFRAME, WS_CHILD, WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE},
    };
    HWND parent = top("parent");
    for (const auto& k : cases) {
        HWND h = CreateWindowEx(k.ex, "TestWnd", "", k.style, 0, 0, 50, 50, (k.style & WS_CHILD) ? parent : 0);
        ASSERT_NE(h, 0) << std::hex << k.style;
        EXPECT_EQ(static_cast<DWORD>(GetWindowLong(h, GWL_STYLE)), k.wantStyle) << std::hex << k.style;
        EXPECT_EQ(static_cast<DWORD>(GetWindowLong(h, GWL_EXSTYLE)), k.wantEx) << std::hex << k.style << " " << k.ex;
    }
    // The desktop: a visible pop-up that clips what lies on it.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLong(GetDesktopWindow(), GWL_STYLE)),
              WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    EXPECT_TRUE(IsWindowVisible(GetDesktopWindow()));
}

TEST_F(DesktopTest, TheTaskbarIsAWindowAlongTheEdgeTheWorkAreaLeavesOut) {
    const HWND bar = FindWindow("Shell_TrayWnd", nullptr);
    ASSERT_NE(bar, 0);
    RECT r;
    ASSERT_TRUE(GetWindowRect(bar, &r));
    RECT work;
    ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(r, (RECT{0, work.bottom, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
    EXPECT_GT(r.bottom, r.top);
    EXPECT_TRUE(IsWindowVisible(bar));
    EXPECT_TRUE(GetWindowLong(bar, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetParent(bar), 0);
    DWORD pid = 0;
    GetWindowThreadProcessId(bar, &pid);
    EXPECT_NE(pid, GetCurrentProcessId());  // the shell's, not the program's
    // Closing the program's last window does not hand activation to the bar.
    HWND a = top("a", 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_EQ(GetForegroundWindow(), a);
    DestroyWindow(a);
    EXPECT_EQ(GetForegroundWindow(), 0);
}

TEST_F(DesktopTest, ZOrderKeepsTopmostBandAndOwnedWindowsInFront) {
    HWND a = top("a", 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND b = top("b", 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND t = top("t", 0, WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{t, b, a}));
    HWND o = top("o", a, WS_POPUP | WS_VISIBLE);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{t, o, b, a}));  // shown and activated in front
    SetForegroundWindow(b);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{t, b, o, a}));
    SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{t, o, a, b}));
    SetWindowPos(b, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{b, t, o, a}));
    EXPECT_TRUE(GetWindowLong(b, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SetWindowPos(b, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{t, b, o, a}));
    SetWindowPos(t, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{b, o, a, t}));
    EXPECT_FALSE(GetWindowLong(t, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SetWindowPos(t, a, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{b, o, a, t}));
    SetWindowPos(t, b, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{b, t, o, a}));
    // A window owned by a top-most window is top-most too.
    HWND ot = top("ot", b, WS_POPUP);
    EXPECT_FALSE(GetWindowLong(ot, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SetWindowPos(b, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_TRUE(GetWindowLong(ot, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{ot, b, t, o, a}));
    HWND ot2 = top("ot2", b, WS_POPUP);
    EXPECT_TRUE(GetWindowLong(ot2, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(DesktopTest, ChildrenWalkInCreationOrderAndEnumerationIsDepthFirst) {
    HWND dlg = top("dlg");
    HWND label = child(dlg, "Label");
    HWND box = child(dlg, "", 0);  // hidden
    HWND inner = child(box, "inner");
    HWND last = child(dlg, "last");
    EXPECT_EQ(GetWindow(dlg, GW_CHILD), label);
    EXPECT_EQ(GetWindow(label, GW_HWNDNEXT), box);
    EXPECT_EQ(GetWindow(box, GW_HWNDPREV), label);
    EXPECT_EQ(GetWindow(label, GW_HWNDLAST), last);
    EXPECT_EQ(GetWindow(last, GW_HWNDFIRST), label);
    EXPECT_EQ(GetWindow(last, GW_HWNDNEXT), 0);
    std::vector<HWND> all;
    EnumChildWindows(dlg, [&](HWND h, LPARAM l) { EXPECT_EQ(l, 7); all.push_back(h); return TRUE; }, 7);
    EXPECT_EQ(all, (std::vector<HWND>{label, box, inner, last}));
    all.clear();
    EXPECT_FALSE(EnumChildWindows(dlg, [&](HWND h, LPARAM) { all.push_back(h); return h == label ? TRUE : FALSE; }, 0));
    EXPECT_EQ(all, (std::vector<HWND>{label, box}));
    // With no child at all the answer is FALSE too, and the callback is never called.
    bool called = false;
    EXPECT_FALSE(EnumChildWindows(label, [&](HWND, LPARAM) { called = true; return TRUE; }, 0));
    EXPECT_FALSE(EnumChildWindows(0x7777, [&](HWND, LPARAM) { called = true; return TRUE; }, 0));
    EXPECT_FALSE(called);
    EXPECT_TRUE(EnumChildWindows(box, [&](HWND, LPARAM) { return TRUE; }, 0));
    EXPECT_EQ(FindWindowEx(dlg, 0, "testwnd", "LAST"), last);
    EXPECT_EQ(FindWindowEx(dlg, label, nullptr, nullptr), box);
    EXPECT_EQ(FindWindowEx(dlg, last, nullptr, nullptr), 0);
    EXPECT_EQ(FindWindow("TestWnd", "dlg"), dlg);
    EXPECT_EQ(FindWindow(nullptr, "Label"), 0);  // children are not top-level

    // A child made maximised goes on top of the ones before it; the others keep creation order.
    HWND host = top("host");
    std::vector<HWND> made;
    for (DWORD style : {WS_VISIBLE, WS_MAXIMIZE, DWORD{0}, WS_VISIBLE, WS_VISIBLE | WS_MAXIMIZE})
        made.push_back(child(host, std::to_string(made.size()), style));
    std::vector<HWND> walked;
    for (HWND h = GetWindow(host, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) walked.push_back(h);
    EXPECT_EQ(walked, (std::vector<HWND>{made[4], made[1], made[0], made[2], made[3]}));
}

TEST_F(DesktopTest, EnumWindowsStopsWhenTheCallbackSaysSo) {
    HWND a = top("a"), b = top("b");
    top("c");
    std::vector<HWND> seen;
    EXPECT_FALSE(EnumWindows([&](HWND h, LPARAM) { seen.push_back(h); return h == b ? FALSE : TRUE; }, 0));
    EXPECT_EQ(seen.size(), 3u);  // the top-most taskbar, c, b
    EXPECT_EQ(seen.back(), b);
    (void)a;
}

TEST_F(DesktopTest, TextIsAnsiBytesAtTheBoundary) {
    HWND h = top("行情 Quote");
    const int n = GetWindowTextLength(h);
    EXPECT_EQ(n, 10);  // two double-byte characters and six bytes
    char buf[32];
    EXPECT_EQ(GetWindowText(h, buf, n + 1), n);
    EXPECT_EQ(sys::fromAnsi(buf), "行情 Quote");
    // A short buffer never splits a character.
    EXPECT_EQ(GetWindowText(h, buf, 4), 2);
    EXPECT_EQ(sys::fromAnsi(buf), "行");
    std::string out;
    EXPECT_EQ(SendMessageGetText(h, WM_GETTEXT, 6, out), 5);
    EXPECT_EQ(out, sys::toAnsi("行情 "));
    EXPECT_TRUE(SetWindowText(h, "定单"));
    EXPECT_EQ(windowText(h), "定单");
    SendMessageSetText(h, WM_SETTEXT, 0, sys::toAnsi("买入"));
    EXPECT_EQ(windowText(h), "买入");
    EXPECT_EQ(SendMessage(h, WM_GETTEXTLENGTH, 0, 0), 4);
    EXPECT_EQ(className(h), "TestWnd");
    EXPECT_EQ(GetWindowText(0, buf, 32), 0);
    EXPECT_EQ(buf[0], '\0');
}

TEST_F(DesktopTest, PropertiesAreCaseInsensitiveAndRemovable) {
    HWND h = top("p");
    EXPECT_TRUE(SetProp(h, "123#513C", 4));
    EXPECT_EQ(GetProp(h, "123#513c"), 4);
    EXPECT_EQ(RemoveProp(h, "123#513C"), 4);
    EXPECT_EQ(GetProp(h, "123#513C"), 0);
    EXPECT_EQ(RemoveProp(h, "123#513C"), 0);
    EXPECT_FALSE(SetProp(0, "x", 1));
}

TEST_F(DesktopTest, ShowStatesAndVisibility) {
    HWND main = top("main");
    HWND c = child(main, "c");
    EXPECT_FALSE(IsWindowVisible(c));  // the parent is hidden
    EXPECT_FALSE(ShowWindow(main, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(c));
    EXPECT_EQ(GetForegroundWindow(), main);
    RECT normal;
    GetWindowRect(main, &normal);
    EXPECT_EQ(normal, (RECT{10, 20, 310, 220}));

    EXPECT_TRUE(ShowWindow(main, SW_MINIMIZE));
    EXPECT_TRUE(IsIconic(main));
    EXPECT_NE(GetForegroundWindow(), main);
    RECT r;
    GetWindowRect(main, &r);
    EXPECT_EQ(r.left, -32000);
    ShowWindow(main, SW_RESTORE);
    EXPECT_FALSE(IsIconic(main));
    GetWindowRect(main, &r);
    EXPECT_EQ(r, normal);
    ShowWindow(main, SW_MAXIMIZE);
    EXPECT_TRUE(IsZoomed(main));
    GetWindowRect(main, &r);
    EXPECT_EQ(r, (RECT{0, 0, 1280, 770}));  // the work area
    bool sawMaxSize = false;
    for (auto& l : log)
        if (l.hwnd == main && l.msg == WM_SIZE && l.wParam == SIZE_MAXIMIZED) sawMaxSize = true;
    EXPECT_TRUE(sawMaxSize);
    ShowWindow(main, SW_SHOWNORMAL);
    GetWindowRect(main, &r);
    EXPECT_EQ(r, normal);
    EXPECT_TRUE(ShowWindow(main, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_EQ(GetForegroundWindow(), 0);
    // Replacing the style without WS_VISIBLE hides the window too.
    ShowWindow(main, SW_SHOWNA);
    SetWindowLong(main, GWL_STYLE, static_cast<LONG>(WS_POPUP));
    EXPECT_FALSE(IsWindowVisible(main));
}

TEST_F(DesktopTest, RectanglesFollowTheFrameOfTheStyle) {
    struct Case { DWORD style; DWORD ex; RECT client; };
    const Case cases[] = {
        {WS_OVERLAPPEDWINDOW, 0, {0, 0, 292, 173}},             // 4-pixel sizing frame and a caption
        {WS_POPUP, 0, {0, 0, 300, 200}},                        // no frame
        {WS_POPUP | WS_BORDER, 0, {0, 0, 298, 198}},
        {WS_CAPTION | WS_SYSMENU, 0, {0, 0, 294, 175}},         // dialog frame
        {WS_CAPTION, WS_EX_TOOLWINDOW, {0, 0, 294, 179}},       // small caption
    };
    for (const auto& k : cases) {
        HWND h = top("f", 0, k.style, k.ex);
        RECT c;
        GetClientRect(h, &c);
        EXPECT_EQ(c, k.client) << std::hex << k.style;
    }
    HWND main = top("main", 0, WS_OVERLAPPEDWINDOW);
    HWND c = child(main, "c");
    RECT r;
    GetWindowRect(c, &r);
    EXPECT_EQ(r, (RECT{10 + 4 + 5, 20 + 23 + 5, 10 + 4 + 55, 20 + 23 + 25}));
    POINT p{1, 2};
    ClientToScreen(c, &p);
    EXPECT_EQ(p, (POINT{20, 50}));
    ScreenToClient(main, &p);
    EXPECT_EQ(p, (POINT{6, 7}));
    log.clear();
    MoveWindow(main, 100, 100, 400, 300);
    EXPECT_EQ(messagesTo(main), (std::vector<UINT>{WM_MOVE, WM_SIZE}));
    EXPECT_EQ(log.back().lParam, MAKELPARAM(392, 273));
    GetWindowRect(c, &r);
    EXPECT_EQ(r.left, 100 + 4 + 5);
}

TEST_F(DesktopTest, FocusAndActivationMessages) {
    HWND a = top("a", 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND edit = child(a, "e");
    HWND b = top("b", 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_EQ(GetForegroundWindow(), b);
    log.clear();
    EXPECT_EQ(SetFocus(edit), b);
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(GetActiveWindow(), a);
    std::vector<std::pair<HWND, UINT>> seen;
    for (auto& l : log) seen.push_back({l.hwnd, l.msg});
    std::vector<std::pair<HWND, UINT>> want{{b, WM_ACTIVATE}, {a, WM_ACTIVATE}, {b, WM_KILLFOCUS},
                                            {a, WM_SETFOCUS}, {a, WM_KILLFOCUS}, {edit, WM_SETFOCUS}};
    EXPECT_EQ(seen, want);
    EXPECT_FALSE(EnableWindow(edit, FALSE));
    EXPECT_EQ(GetFocus(), 0);
    EXPECT_FALSE(IsWindowEnabled(edit));
    EXPECT_EQ(SetFocus(edit), 0);  // a disabled window takes no focus
    EXPECT_TRUE(EnableWindow(edit, TRUE));
    DestroyWindow(a);
    EXPECT_EQ(GetForegroundWindow(), b);
}

TEST_F(DesktopTest, SetParentMovesAWindowUnderAnotherAndBack) {
    HWND host = top("host", 0, WS_POPUP);
    HWND panel = top("panel", 0, WS_POPUP);
    EXPECT_EQ(SetParent(panel, host), GetDesktopWindow());
    EXPECT_EQ(GetAncestor(panel, GA_PARENT), host);
    EXPECT_EQ(GetWindow(host, GW_CHILD), panel);
    EXPECT_EQ(topLevelOrder(), (std::vector<HWND>{host}));
    RECT r;
    GetWindowRect(panel, &r);
    EXPECT_EQ(r.left, 20);  // its numbers are now relative to the host's client area
    EXPECT_EQ(SetParent(host, panel), 0);  // no cycles
    EXPECT_EQ(SetParent(panel, 0), host);
    EXPECT_EQ(GetAncestor(panel, GA_PARENT), GetDesktopWindow());
}

TEST_F(DesktopTest, ProcessOfAWindowIsTheCreatorsAndItsProcedureRunsAsIt) {
    HWND mine = top("mine");
    HWND theirs;
    {
        sys::ProcessScope other(2000);
        theirs = top("theirs");
    }
    DWORD pid = 0;
    EXPECT_EQ(GetWindowThreadProcessId(mine, &pid), GetCurrentThreadId());
    EXPECT_EQ(pid, 1000u);
    GetWindowThreadProcessId(theirs, &pid);
    EXPECT_EQ(pid, 2000u);

    WNDCLASS wc;
    wc.lpszClassName = "Probe";
    DWORD seenPid = 0;
    wc.lpfnWndProc = registerWndProc([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_USER) seenPid = GetCurrentProcessId();
        return 1;
    });
    RegisterClass(wc);
    HWND probe;
    {
        sys::ProcessScope other(3000);
        probe = CreateWindowEx(0, "Probe", "", 0, 0, 0, 1, 1, 0);
    }
    SendMessage(probe, WM_USER, 0, 0);
    EXPECT_EQ(seenPid, 3000u);
    EXPECT_EQ(GetCurrentProcessId(), 1000u);
    destroyProcessWindows(2000);
    EXPECT_FALSE(IsWindow(theirs));
    EXPECT_TRUE(IsWindow(mine));
}

// A console hears top-level windows come and go, once each way; children and hidden windows'
// destruction are not news.
TEST_F(DesktopTest, TopLevelWatcherHearsWindowsShownHiddenAndDestroyed) {
    std::vector<std::pair<HWND, bool>> heard;
    watchTopLevelWindows([&](HWND h, bool shown) { heard.push_back({h, shown}); });
    HWND a = top("A"), b = top("B");
    HWND c = child(a, "c");
    ShowWindow(a, SW_SHOW);
    ShowWindow(a, SW_SHOW);
    ShowWindow(c, SW_SHOW);
    ShowWindow(b, SW_SHOWNA);
    ShowWindow(b, SW_HIDE);
    SetWindowPos(b, 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    DestroyWindow(a);
    DestroyWindow(b);
    EXPECT_EQ(heard, (std::vector<std::pair<HWND, bool>>{{a, true}, {b, true}, {b, false}, {b, true}, {a, false}, {b, false}}));
    watchTopLevelWindows(nullptr);
    HWND d = top("D");
    ShowWindow(d, SW_SHOW);
    EXPECT_EQ(heard.size(), 6u);
}
