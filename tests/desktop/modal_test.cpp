#include "DesktopFixture.h"

#include "platform/system/CodePage.h"

#include <cstring>

using namespace win;

TEST_F(DesktopTest, MessageBoxesTakeQueuedAnswersAndAreRecorded) {
    queueMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBox(0, "退出?", "Pennant", MB_YESNO | MB_ICONQUESTION), IDNO);
    const auto boxes = messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "退出?");
    EXPECT_EQ(boxes[0].caption, "Pennant");
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONQUESTION);
    // A box nobody scripted fails the test instead of hanging; so does an impossible answer.
    EXPECT_THROW(MessageBox(0, "unexpected", "", MB_OK), UnansweredModalError);
    queueMessageBoxAnswer(IDYES);
    EXPECT_THROW(MessageBox(0, "ok only", "", MB_OK), UnansweredModalError);
    EXPECT_EQ(messageBoxes().size(), 3u);
}

TEST_F(DesktopTest, UnscriptedBoxesTakeTheirDefaultButtonOutsideTests) {
    setUnansweredModal(UnansweredModal::TakeDefault);
    struct Case { UINT type; int answer; };
    const Case cases[] = {{MB_OK, IDOK}, {MB_YESNO, IDYES}, {MB_YESNO | MB_DEFBUTTON2, IDNO},
                          {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL}, {MB_OKCANCEL | MB_DEFBUTTON3, IDCANCEL}};
    for (const auto& k : cases) EXPECT_EQ(MessageBox(0, "t", "c", k.type), k.answer) << k.type;
    EXPECT_TRUE(messageBoxes().back().answeredByDefault);
}

TEST_F(DesktopTest, PopupMenusReturnTheQueuedChoice) {
    HWND owner = top("owner");
    HMENU m = CreatePopupMenu();
    AppendMenu(m, MF_STRING, 10, "语音报价(&V)");
    AppendMenu(m, MF_SEPARATOR, 0, "");
    AppendMenu(m, MF_GRAYED, 11, "Greyed");
    HMENU sub = CreatePopupMenu();
    AppendMenu(sub, MF_STRING, 20, "Bid");
    AppendMenu(sub, MF_STRING, 21, "Ask");
    AppendMenu(sub, MF_STRING, 22, "Both\tCtrl+B");
    AppendMenu(m, MF_POPUP, static_cast<UINT>(sub), "Mode");
    EXPECT_TRUE(CheckMenuRadioItem(sub, 0, 2, 1, MF_BYPOSITION));
    EXPECT_EQ(CheckMenuItem(m, 10, MF_CHECKED), MF_UNCHECKED);
    EXPECT_EQ(CheckMenuItem(m, 99, MF_CHECKED), 0xFFFFFFFFu);

    queueMenuChoice(21u);
    EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 100, 200, 0, owner), 21);
    queueMenuChoice("语音报价(V)");
    EXPECT_EQ(TrackPopupMenuEx(m, TPM_RETURNCMD | TPM_RIGHTBUTTON, 5, 6, owner), 10);
    queueMenuChoice("Both");
    EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, owner), 22);
    queueMenuDismiss();
    EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, owner), 0);

    const auto shown = trackedMenus();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].x, 100);
    EXPECT_EQ(shown[0].chosen, 21u);
    ASSERT_EQ(shown[0].items.size(), 4u);
    EXPECT_TRUE(shown[0].items[0].flags & MF_CHECKED);
    EXPECT_TRUE(shown[0].items[1].flags & MF_SEPARATOR);
    const auto& modes = shown[0].items[3].submenu;
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_FALSE(modes[0].flags & MF_CHECKED);
    EXPECT_TRUE(modes[1].flags & MF_CHECKED);
    EXPECT_FALSE(modes[2].flags & MF_CHECKED);

    // A greyed item cannot be picked, an unscripted menu fails the test.
    queueMenuChoice(11u);
    EXPECT_THROW(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, owner), UnansweredModalError);
    EXPECT_THROW(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, owner), UnansweredModalError);

    // Without TPM_RETURNCMD the owner hears of the choice through WM_COMMAND.
    queueMenuChoice(20u);
    EXPECT_TRUE(TrackPopupMenu(m, 0, 0, 0, 0, owner));
    log.clear();
    DoEvents();
    ASSERT_EQ(count(owner, WM_COMMAND), 1u);
    EXPECT_TRUE(DestroyMenu(m));
    EXPECT_FALSE(IsMenu(sub));
}

TEST_F(DesktopTest, TrayIconRecordsFieldsAndDeliversCallbacks) {
    HWND h = top("tray");
    NOTIFYICONDATA d;
    d.cbSize = NOTIFYICONDATA_V2_SIZE;
    d.hWnd = h;
    d.uID = 999;
    d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    d.uCallbackMessage = 0x8015;
    d.hIcon = 77;
    std::strcpy(d.szTip, "Pennant");
    EXPECT_EQ(Shell_NotifyIcon(NIM_ADD, &d), 1);
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &d));
    d.uTimeout = NOTIFYICON_VERSION;
    EXPECT_TRUE(Shell_NotifyIcon(NIM_SETVERSION, &d));

    NOTIFYICONDATA b;
    b.cbSize = NOTIFYICONDATA_V2_SIZE;
    b.hWnd = h;
    b.uID = 999;
    b.uFlags = NIF_INFO;
    const std::string text = sys::toAnsi("财经事件提醒");
    std::memcpy(b.szInfo, text.c_str(), text.size() + 1);
    std::strcpy(b.szInfoTitle, "Title");
    b.uTimeout = 50000;
    b.dwInfoFlags = NIIF_INFO;
    EXPECT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &b));
    auto icons = trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].tip, "Pennant");
    EXPECT_EQ(icons[0].version, 3u);
    EXPECT_TRUE(icons[0].balloonShown);
    EXPECT_EQ(icons[0].balloonText, "财经事件提醒");
    log.clear();
    DoEvents();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].msg, 0x8015u);
    EXPECT_EQ(log[0].wParam, 999u);
    EXPECT_EQ(log[0].lParam, NIN_BALLOONSHOW);

    log.clear();
    EXPECT_TRUE(trayBalloonClick(h, 999));
    EXPECT_EQ(log.back().lParam, NIN_BALLOONUSERCLICK);
    EXPECT_FALSE(trayBalloonClick(h, 999));  // gone
    // A balloon left alone times out on the machine clock (the shell caps it at 30 s).
    Shell_NotifyIcon(NIM_MODIFY, &b);
    log.clear();
    machine->runFor(31000);
    EXPECT_EQ(log.back().lParam, NIN_BALLOONTIMEOUT);

    log.clear();
    EXPECT_TRUE(trayMouse(h, 999, WM_RBUTTONUP));
    EXPECT_EQ(log.back().lParam, static_cast<LPARAM>(WM_RBUTTONUP));
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p, trayIcons()[0].position);
    EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, &d));
    EXPECT_FALSE(Shell_NotifyIcon(NIM_MODIFY, &b));
    EXPECT_EQ(balloonHistory().size(), 2u);
}

TEST_F(DesktopTest, TheFirstShellRecordSizeCutsTheTipAndIgnoresBalloons) {
    HWND h = top("tray");
    NOTIFYICONDATA d;
    d.cbSize = NOTIFYICONDATA_V1_SIZE;
    d.hWnd = h;
    d.uFlags = NIF_TIP | NIF_INFO;
    std::memset(d.szTip, 'x', 100);
    std::strcpy(d.szInfo, "balloon");
    ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &d));
    EXPECT_EQ(trayIcons()[0].tip.size(), 63u);
    EXPECT_FALSE(trayIcons()[0].balloonShown);
    setTrayAvailable(false);
    d.uID = 2;
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &d));
}

TEST_F(DesktopTest, ClipboardTextAndABusyClipboard) {
    ASSERT_TRUE(OpenClipboard(0));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(SetClipboardText("行情"));
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(GetClipboardText(), "行情");
    setClipboardBusy(true);
    EXPECT_FALSE(OpenClipboard(0));
    EXPECT_FALSE(SetClipboardText("x"));
    EXPECT_EQ(GetClipboardText(), "行情");
}

TEST_F(DesktopTest, OpenFileDialogAnswersFromTheQueue) {
    machine->makeDirs("C:\\Program Files\\Terminal");
    machine->writeFileAtomic("C:\\Program Files\\Terminal\\terminal.exe", "x");
    OPENFILENAME ofn;
    ofn.lpstrTitle = "Choose the terminal";
    ofn.Flags = OFN_FILEMUSTEXIST;
    queueOpenFileAnswer("C:\\Program Files\\Terminal\\terminal.exe");
    EXPECT_TRUE(GetOpenFileName(&ofn));
    EXPECT_EQ(ofn.lpstrFile, "C:\\Program Files\\Terminal\\terminal.exe");
    queueOpenFileCancel();
    EXPECT_FALSE(GetOpenFileName(&ofn));
    queueOpenFileAnswer("C:\\missing.exe");
    EXPECT_THROW(GetOpenFileName(&ofn), UnansweredModalError);
    EXPECT_THROW(GetOpenFileName(&ofn), UnansweredModalError);
    EXPECT_EQ(openFileDialogs().size(), 4u);
    EXPECT_EQ(openFileDialogs()[0].lpstrTitle, "Choose the terminal");
}
