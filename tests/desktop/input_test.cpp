#include "DesktopFixture.h"

#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"

using namespace win;
using forms::SendKeys;

namespace {
struct Key {
    UINT msg;
    WPARAM code;
};
}

class InputTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        main = top("main", 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        edit = child(main, "edit");
        SetFocus(edit);
        log.clear();
    }
    std::vector<Key> keysTo(HWND h) const {
        std::vector<Key> out;
        for (const auto& l : log)
            if (l.hwnd == h && l.msg >= WM_KEYDOWN && l.msg <= WM_SYSCHAR) out.push_back({l.msg, l.wParam});
        return out;
    }
    std::string charsTo(HWND h) const {
        std::string out;
        for (const auto& k : keysTo(h))
            if (k.msg == WM_CHAR) out.push_back(static_cast<char>(k.code));
        return out;
    }
    HWND main = 0, edit = 0;
};

TEST_F(InputTest, SendKeysTypesIntoTheFocusWindow) {
    struct Case { const char* text; std::string chars; };
    const Case cases[] = {
        {"abc", "abc"},  {"Ab1", "Ab1"},   {"{{}", "{"},     {"{}}", "}"},  {"{+}{^}{%}{~}", "+^%~"},
        {"{ENTER}", "\r"}, {"~", "\r"},    {"{h 3}", "hhh"}, {"+(ab)c", "ABc"}, {"{(}x{)}", "(x)"},
        {"{F5}", ""},      {"{LEFT 2}", ""}, {"^m", "\x0d"},   {"%{2}", ""},
    };
    for (const auto& k : cases) {
        log.clear();
        SendKeys(k.text, true);
        EXPECT_EQ(charsTo(edit), k.chars) << k.text;
        EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0) << k.text;  // modifiers are released again
    }
}

TEST_F(InputTest, SendKeysGivesTheKeyMessagesOfModifiers) {
    SendKeys("+{TAB}", true);
    auto keys = keysTo(edit);
    ASSERT_EQ(keys.size(), 5u);  // shift down, tab down, tab char, tab up, shift up
    EXPECT_EQ(keys[0].msg, WM_KEYDOWN);
    EXPECT_EQ(keys[0].code, VK_SHIFT);
    EXPECT_EQ(keys[1].code, VK_TAB);
    EXPECT_EQ(keys[2].msg, WM_CHAR);
    EXPECT_EQ(keys[2].code, static_cast<WPARAM>('\t'));
    log.clear();
    SendKeys("%{2}", true);
    keys = keysTo(edit);
    ASSERT_GE(keys.size(), 3u);
    EXPECT_EQ(keys[0].msg, WM_SYSKEYDOWN);
    EXPECT_EQ(keys[1].msg, WM_SYSKEYDOWN);
    EXPECT_EQ(keys[1].code, static_cast<WPARAM>('2'));
    EXPECT_EQ(keys[2].msg, WM_SYSCHAR);
    // Without wait the keys are queued, not delivered.
    log.clear();
    SendKeys("x");
    EXPECT_TRUE(keysTo(edit).empty());
    DoEvents();
    EXPECT_EQ(charsTo(edit), "x");
}

TEST_F(InputTest, MalformedSendKeysTextRaisesError5AndTypesNothing) {
    for (const char* bad : {"{", "{ENTER", "}", "{NOSUCHKEY}", "(ab", "ab)", "+", "{LEFT x}", "{}"}) {
        log.clear();
        try {
            SendKeys(std::string("a") + bad, true);
            ADD_FAILURE() << bad;
        } catch (const forms::RuntimeError& e) {
            EXPECT_EQ(e.Number, 5) << bad;
        }
        EXPECT_TRUE(keysTo(edit).empty()) << bad;
    }
}

TEST_F(InputTest, ScanCodesAndKeyLParam) {
    struct Case { BYTE vk; UINT scan; };
    const Case cases[] = {{VK_SPACE, 0x39}, {VK_RETURN, 0x1C}, {'A', 0x1E}, {'1', 0x02}, {VK_F5, 0x3F},
                          {VK_ESCAPE, 0x01}, {VK_TAB, 0x0F}, {VK_LEFT, 0x4B}, {VK_SHIFT, 0x2A}, {VK_F12, 0x58}};
    for (const auto& k : cases) {
        EXPECT_EQ(MapVirtualKey(k.vk, MAPVK_VK_TO_VSC), k.scan) << int(k.vk);
        EXPECT_EQ(MapVirtualKey(k.scan, MAPVK_VSC_TO_VK), k.vk) << int(k.vk);
    }
    EXPECT_EQ(keyLParam(VK_SPACE, false), 0x00390001);
    EXPECT_EQ(static_cast<uint32_t>(keyLParam(VK_SPACE, true)), 0xC0390001u);
    EXPECT_EQ(MapVirtualKey('A', MAPVK_VK_TO_CHAR), static_cast<UINT>('A'));
}

TEST_F(InputTest, KeyStateFollowsKeyEvents) {
    keybd_event(VK_CONTROL, 0, 0, 0);
    EXPECT_NE(GetAsyncKeyState(VK_CONTROL) & 0x8000, 0);
    EXPECT_LT(GetKeyState(VK_CONTROL), 0);
    keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);
    EXPECT_EQ(GetAsyncKeyState(VK_CONTROL), 0);
    pressKey(VK_CAPITAL);
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 1);
    log.clear();
    pressKey('Q');
    EXPECT_EQ(charsTo(edit), "Q");  // caps lock on
}

TEST_F(InputTest, HotKeysBecomeWmHotkeyForTheirWindowOnly) {
    const ATOM id = GlobalAddAtom("Quote_Pennant_123");
    ASSERT_GE(id, 0xC000);
    EXPECT_EQ(GlobalAddAtom("quote_pennant_123"), id);
    EXPECT_TRUE(RegisterHotKey(main, id, MOD_CONTROL | MOD_ALT, 'Q'));
    HWND other;
    {
        sys::ProcessScope p(2000);
        other = top("other");
        EXPECT_FALSE(RegisterHotKey(other, 1, MOD_CONTROL | MOD_ALT, 'Q'));  // taken system-wide
    }
    pressKey('Q', MOD_CONTROL | MOD_ALT);
    ASSERT_EQ(count(main, WM_HOTKEY), 1u);
    for (auto& l : log)
        if (l.msg == WM_HOTKEY) {
            EXPECT_EQ(l.wParam, id);
            EXPECT_EQ(l.lParam, MAKELPARAM(MOD_CONTROL | MOD_ALT, 'Q'));
        }
    EXPECT_TRUE(UnregisterHotKey(main, id));
    EXPECT_FALSE(UnregisterHotKey(main, id));
    EXPECT_EQ(GlobalDeleteAtom(id), 0);
    EXPECT_EQ(GlobalDeleteAtom(id), 0);
    EXPECT_EQ(GlobalFindAtom("Quote_Pennant_123"), 0);
}

TEST_F(InputTest, MouseGoesToTheWindowUnderTheCursorInClientCoordinates) {
    HWND back = top("back", 0, WS_POPUP | WS_VISIBLE);  // 10,20 - 310,220, in front now
    SetWindowPos(main, HWND_TOP, 400, 300, 300, 200, SWP_NOACTIVATE);
    RECT er;
    GetWindowRect(edit, &er);
    EXPECT_EQ(WindowFromPoint({er.left + 1, er.top + 1}), edit);
    EXPECT_EQ(WindowFromPoint({15, 25}), back);
    EXPECT_EQ(WindowFromPoint({1279, 5}), 0);
    SetForegroundWindow(back);
    log.clear();
    mouseClick(er.left + 3, er.top + 4);
    EXPECT_EQ(GetForegroundWindow(), main);
    bool activatedByClick = false;
    for (auto& l : log)
        if (l.hwnd == main && l.msg == WM_ACTIVATE && l.wParam == WA_CLICKACTIVE) activatedByClick = true;
    EXPECT_TRUE(activatedByClick);
    ASSERT_EQ(count(edit, WM_LBUTTONDOWN), 1u);
    for (auto& l : log)
        if (l.hwnd == edit && l.msg == WM_LBUTTONUP) {
            EXPECT_EQ(l.lParam, MAKELPARAM(3, 4));
        }
    // Over the caption: the frame forms with the hit-test code and screen coordinates.
    log.clear();
    TRACKMOUSEEVENT tme;
    tme.dwFlags = TME_LEAVE | TME_NONCLIENT;
    tme.hwndTrack = main;
    mouseMove(450, 305);
    ASSERT_EQ(count(main, WM_NCMOUSEMOVE), 1u);
    EXPECT_TRUE(TrackMouseEvent(&tme));
    mouseMove(460, 306);
    EXPECT_EQ(count(main, WM_NCMOUSELEAVE), 0u);
    mouseMove(5, 5);
    EXPECT_EQ(count(main, WM_NCMOUSELEAVE), 1u);
    mouseMove(6, 6);
    EXPECT_EQ(count(main, WM_NCMOUSELEAVE), 1u);
    for (auto& l : log)
        if (l.msg == WM_NCMOUSEMOVE) {
            EXPECT_EQ(l.wParam, static_cast<WPARAM>(HTCAPTION));
        }
    log.clear();
    mouseDoubleClick(er.left + 1, er.top + 1);
    EXPECT_EQ(count(edit, WM_LBUTTONDBLCLK), 1u);
}

TEST_F(InputTest, ScreenMetricsAndSettings) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), 800);
    RECT wa;
    ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &wa, 0));
    EXPECT_EQ(wa, (RECT{0, 0, 1280, 770}));
    BOOL drag = FALSE;
    SystemParametersInfo(SPI_GETDRAGFULLWINDOWS, 0, &drag, 0);
    EXPECT_TRUE(drag);
    SystemParametersInfo(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, SPIF_SENDWININICHANGE);
    SystemParametersInfo(SPI_GETDRAGFULLWINDOWS, 0, &drag, 0);
    EXPECT_FALSE(drag);
}

TEST_F(InputTest, TheMoveLoopFollowsTheScriptedPathAndTakesTheHandlersRectangle) {
    // A watcher keeps the window at the screen's left edge while it is dragged.
    WNDPROC prev = 0;
    std::vector<UINT> loop;
    const WNDPROC hook = registerWndProc([&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_ENTERSIZEMOVE || m == WM_EXITSIZEMOVE || m == WM_MOVING || m == WM_SIZING) loop.push_back(m);
        if (m == WM_MOVING) {
            RECT* r = pinnedAs<RECT>(l);
            const LONG w0 = r->right - r->left;
            r->left = 0;
            r->right = w0;
            return TRUE;
        }
        return CallWindowProc(prev, h, m, w, l);
    });
    prev = SetWindowLong(main, GWL_WNDPROC, hook);
    SetCursorPos(100, 30);  // on the caption
    queueMoveSize({{150, 60}, {200, 90}});
    ReleaseCapture();
    SendMessage(main, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION), 0);
    EXPECT_EQ(loop, (std::vector<UINT>{WM_ENTERSIZEMOVE, WM_MOVING, WM_MOVING, WM_EXITSIZEMOVE}));
    RECT r;
    GetWindowRect(main, &r);
    EXPECT_EQ(r, (RECT{0, 80, 300, 280}));  // dragged down by 60, held at the left edge
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p, (POINT{200, 90}));

    // Sizing from the bottom-right corner, picked by the mouse on the frame.
    loop.clear();
    queueMoveSize({{310, 290}});
    mouseDown(299, 279);
    EXPECT_EQ(loop, (std::vector<UINT>{WM_ENTERSIZEMOVE, WM_SIZING, WM_EXITSIZEMOVE}));
    GetWindowRect(main, &r);
    EXPECT_EQ(r, (RECT{0, 80, 311, 291}));
    // Without a script the button is let go at once.
    loop.clear();
    SendMessage(main, WM_SYSCOMMAND, SC_MOVE, 0);
    EXPECT_EQ(loop, (std::vector<UINT>{WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE}));
}
