#include "DesktopFixture.h"

#include "platform/system/CodePage.h"

using namespace win;

namespace {

// An order dialog of another program: label, edit, button, and a procedure that records commands.
struct Dialog {
    HWND dlg = 0, label = 0, edit = 0, button = 0;
    std::vector<std::pair<WORD, WORD>> commands;  // (id, code)
    WNDPROC prev = 0;

    Dialog() {
        sys::ProcessScope other(2000);
        dlg = CreateWindowEx(0, "#32770", "定单", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200, 0);
        label = CreateWindowEx(0, "Static", "止损价:", WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, dlg, 1);
        edit = CreateWindowEx(0, "Edit", "", WS_CHILD | WS_VISIBLE, 60, 5, 80, 20, dlg, 2);
        button = CreateWindowEx(0, "Button", "买入", WS_CHILD | WS_VISIBLE, 5, 40, 80, 24, dlg, 3);
        prev = SetWindowLong(dlg, GWL_WNDPROC, registerWndProc([this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_COMMAND) commands.push_back({LOWORD(w), HIWORD(w)});
            return CallWindowProc(prev, h, m, w, l);
        }));
    }
};

} // namespace

TEST_F(DesktopTest, AnotherProgramsEditTakesTypedCharactersAndText) {
    Dialog d;
    ASSERT_NE(d.prev, 0);
    EXPECT_EQ(GetWindow(d.label, GW_HWNDNEXT), d.edit);
    for (char c : std::string("1.23156")) SendMessage(d.edit, WM_CHAR, static_cast<WPARAM>(c), 0);
    EXPECT_EQ(windowText(d.edit), "1.23156");
    SendMessage(d.edit, WM_CHAR, VK_BACK, 0);
    EXPECT_EQ(windowText(d.edit), "1.2315");
    EXPECT_EQ(d.commands.back(), (std::pair<WORD, WORD>{2, EN_CHANGE}));
    SendMessageSetText(d.edit, WM_SETTEXT, 0, sys::toAnsi("0.1"));
    EXPECT_EQ(windowText(d.edit), "0.1");
    SendMessage(d.edit, EM_SETSEL, 0, -1);
    const std::string gbk = sys::toAnsi("手");
    SendMessage(d.edit, WM_CHAR, static_cast<unsigned char>(gbk[0]), 0);
    SendMessage(d.edit, WM_CHAR, static_cast<unsigned char>(gbk[1]), 0);
    EXPECT_EQ(windowText(d.edit), "手");  // a double-byte character arrives as two WM_CHARs
    EXPECT_EQ(GetWindowTextLength(d.edit), 2);
}

TEST_F(DesktopTest, APostedSpaceKeyPressesAnotherProgramsButton) {
    Dialog d;
    SetFocus(d.button);
    PostMessage(d.button, WM_KEYDOWN, VK_SPACE, keyLParam(VK_SPACE, false));
    PostMessage(d.button, WM_KEYUP, VK_SPACE, keyLParam(VK_SPACE, true));
    EXPECT_TRUE(d.commands.empty());
    DoEvents();
    ASSERT_EQ(d.commands.size(), 1u);
    EXPECT_EQ(d.commands[0], (std::pair<WORD, WORD>{3, BN_CLICKED}));
    // A key-up without its key-down, or a disabled button, presses nothing.
    SendMessage(d.button, WM_KEYUP, VK_SPACE, 0);
    EnableWindow(d.button, FALSE);
    SendMessage(d.button, BM_CLICK, 0, 0);
    EXPECT_EQ(d.commands.size(), 1u);
    EnableWindow(d.button, TRUE);
    RECT r;
    GetWindowRect(d.button, &r);
    mouseClick(r.left + 2, r.top + 2);
    EXPECT_EQ(d.commands.size(), 2u);
}

TEST_F(DesktopTest, AutoCheckBoxesToggleOnClick) {
    HWND parent = top("p");
    HWND box = CreateWindowEx(0, "Button", "x", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10, parent, 1);
    EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_UNCHECKED));
    SendMessage(box, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
    SendMessage(box, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_UNCHECKED));
}
