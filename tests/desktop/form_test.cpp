#include "DesktopFixture.h"

#include "platform/forms/Form.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"

using namespace win;

namespace {

class TestForm : public forms::Form {
public:
    explicit TestForm(const std::string& name) : Form(name) {
        design.caption = name;
        design.left = 1500, design.top = 3000, design.width = 4500, design.height = 3000;
    }
    std::vector<std::string> events;
    int cancelQuery = 0, cancelUnload = 0;
    std::vector<int> queryModes;

protected:
    void Form_Load() override { events.push_back("Load"); }
    void Form_QueryUnload(int& Cancel, int mode) override {
        events.push_back("QueryUnload");
        queryModes.push_back(mode);
        Cancel = cancelQuery;
    }
    void Form_Unload(int& Cancel) override {
        events.push_back("Unload");
        Cancel = cancelUnload;
    }
    void Form_Resize() override { events.push_back("Resize"); }
};

} // namespace

TEST_F(DesktopTest, FormLifeCycleAndGeometryInTwips) {
    TestForm f("frmMain");
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_EQ(f.Left(), 1500);  // touching a property loads the form
    EXPECT_TRUE(f.IsLoaded());
    EXPECT_EQ(f.events, (std::vector<std::string>{"Load"}));
    EXPECT_EQ(className(f.hWnd()), "ThunderRT6FormDC");
    EXPECT_FALSE(f.Visible());
    EXPECT_EQ(f.Width(), 4500);
    f.Move(3000, 1500);
    RECT r;
    GetWindowRect(f.hWnd(), &r);
    EXPECT_EQ(r, (RECT{200, 100, 500, 300}));
    f.setCaption("行情");
    EXPECT_EQ(windowText(f.hWnd()), "行情");
    f.Show();
    EXPECT_TRUE(f.Visible());
    f.setWindowState(forms::vbMinimized);
    EXPECT_EQ(f.WindowState(), forms::vbMinimized);
    EXPECT_THROW(f.setLeft(0), forms::RuntimeError);  // 384 while minimised
    f.setWindowState(forms::vbNormal);
    EXPECT_EQ(f.Left(), 3000);
    f.Hide();
    EXPECT_FALSE(f.Visible());
    EXPECT_TRUE(f.Unload());
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_EQ(forms::loadedFormCount(), 0);
}

TEST_F(DesktopTest, FormUnloadCanBeCancelledAndOwnedFormsGoFirst) {
    TestForm main("frmMain"), board("frmQuote");
    main.Show();
    board.Show(forms::vbModeless, &main);
    EXPECT_EQ(GetWindow(board.hWnd(), GW_OWNER), main.hWnd());  // owned, not a child
    EXPECT_EQ(GetParent(board.hWnd()), 0);  // an owned overlapped window has no parent
    EXPECT_EQ(GetWindowLong(board.hWnd(), GWL_STYLE) & WS_CHILD, 0);

    // The user's close box: QueryUnload with vbFormControlMenu; Cancel keeps the form.
    main.cancelQuery = 1;
    SendMessage(main.hWnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(main.IsLoaded());
    EXPECT_EQ(main.queryModes.back(), forms::vbFormControlMenu);
    main.cancelQuery = 0;

    // An owned form that refuses keeps its owner loaded too.
    board.cancelUnload = 1;
    EXPECT_FALSE(main.Unload());
    EXPECT_TRUE(main.IsLoaded());
    EXPECT_EQ(board.queryModes.back(), forms::vbFormOwner);
    board.cancelUnload = 0;
    board.events.clear();
    main.events.clear();
    EXPECT_TRUE(main.Unload());
    EXPECT_FALSE(board.IsLoaded());
    EXPECT_EQ(board.events, (std::vector<std::string>{"QueryUnload", "Unload"}));
    EXPECT_EQ(main.events, (std::vector<std::string>{"QueryUnload", "Unload"}));
    // Loading again raises Form_Load again.
    main.Load();
    EXPECT_EQ(main.events.back(), "Load");
}

TEST_F(DesktopTest, FormPopupMenuWithAControlArray) {
    TestForm f("frmFloat");
    auto& top = f.Menus().add("mnuPop", "Pop");
    top.Visible = false;  // a menu used only as a pop-up
    std::vector<std::string> clicks;
    auto& voice = top.add("mnuVoice", "语音报价(&S)...");
    voice.Click = [&](int) { clicks.push_back("voice"); };
    top.add("mnuSep", "-");
    auto& mode = top.add("mnuMode", "Bid", 0);
    mode.Click = [&](int i) { clicks.push_back("mode" + std::to_string(i)); };
    mode.loadElement(1).Caption = "Ask";
    mode.loadElement(2).Caption = "Both";
    EXPECT_THROW(mode.loadElement(1), forms::RuntimeError);
    f.menu("mnuMode", 1).Checked = true;
    f.menu("mnuMode", 2).Enabled = false;
    top.add("mnuHidden", "Hidden").Visible = false;
    top.Click = [&](int) { clicks.push_back("pop"); };

    queueMenuChoice("Ask");
    f.PopupMenu(top);
    EXPECT_EQ(clicks, (std::vector<std::string>{"pop", "mode1"}));
    const auto shown = trackedMenus().back();
    ASSERT_EQ(shown.items.size(), 5u);  // voice, separator, three modes; the hidden item is left out
    EXPECT_TRUE(shown.items[3].flags & MF_CHECKED);
    EXPECT_TRUE(shown.items[4].flags & MF_GRAYED);
    queueMenuDismiss();
    clicks.clear();
    f.PopupMenu(top);
    EXPECT_EQ(clicks, (std::vector<std::string>{"pop"}));
    f.menu("mnuMode", 2).unload();
    EXPECT_EQ(mode.arrayIndices(), (std::vector<int>{0, 1}));
    EXPECT_THROW(mode.unload(), forms::RuntimeError);  // design-time element
}

TEST_F(DesktopTest, ShellStartsTheRegisteredProgramAsItsOwnProcess) {
    DWORD seenPid = 0;
    HWND terminalWnd = 0;
    forms::registerProgram("C:\\Program Files\\Terminal\\terminal.exe", [&](const forms::ProgramLaunch& l) {
        seenPid = GetCurrentProcessId();
        (void)l;
        terminalWnd = CreateWindowEx(0, "#32770", "Terminal", WS_POPUP, 0, 0, 10, 10, 0);
    });
    const uint32_t pid = forms::Shell("\"c:\\program files\\terminal\\TERMINAL.EXE\" /portable", forms::vbNormalNoFocus);
    EXPECT_EQ(seenPid, pid);
    EXPECT_NE(pid, 1000u);
    DWORD wpid = 0;
    GetWindowThreadProcessId(terminalWnd, &wpid);
    EXPECT_EQ(wpid, pid);
    EXPECT_EQ(forms::programLaunches().back().windowStyle, forms::vbNormalNoFocus);
    EXPECT_EQ(forms::programLaunches().back().commandLine, "\"c:\\program files\\terminal\\TERMINAL.EXE\" /portable");
    EXPECT_EQ(forms::Shell("C:\\Program Files\\Terminal\\terminal.exe -x"), pid + 4);
    try {
        forms::Shell("C:\\nowhere\\other.exe");
        FAIL();
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, 53);
        EXPECT_EQ(e.Description, "File not found");
    }
}

TEST_F(DesktopTest, MsgBoxUsesTheAppTitleAndTheScriptedAnswer) {
    forms::setAppTitle("Pennant");
    queueMessageBoxAnswer(IDYES);
    EXPECT_EQ(forms::MsgBox("确定退出吗?", forms::vbYesNo + forms::vbQuestion), forms::vbYes);
    EXPECT_EQ(messageBoxes().back().caption, "Pennant");
    setClipboardBusy(true);
    try {
        forms::Clipboard.SetText("x");
        FAIL();
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, 521);
    }
    forms::Screen.setMousePointer(forms::vbHourglass);
    EXPECT_EQ(forms::Screen.MousePointer(), 11);
    EXPECT_EQ(GetCursor(), LoadCursor(0, IDC_WAIT));
    forms::Screen.setMousePointer(forms::vbDefault);
    EXPECT_EQ(GetCursor(), LoadCursor(0, IDC_ARROW));
    EXPECT_EQ(forms::Screen.Width(), 1280 * 15);
}

// A whole scripted interaction on the virtual clock: a window, a timer that opens a menu, a
// choice that asks for confirmation, and the answer.
TEST_F(DesktopTest, AScriptedInteractionRunsOnTheVirtualClock) {
    TestForm f("frmMain");
    f.Show();
    auto& pop = f.Menus().add("mnuTray", "Tray");
    bool exited = false;
    pop.add("mnuExit", "退出(&X)").Click = [&](int) {
        if (forms::MsgBox("退出?", forms::vbYesNo) == forms::vbYes) exited = true;
    };
    int ticks = 0;
    SetTimer(f.hWnd(), 1, 1000, [&](HWND, UINT, UINT, DWORD) {
        if (++ticks == 3) f.PopupMenu(pop);
    });
    queueMenuChoice("退出(X)");
    queueMessageBoxAnswer(IDYES);
    EXPECT_TRUE(machine->runUntil([&] { return exited; }, 10000));
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(queuedMessageBoxAnswers(), 0u);
}
