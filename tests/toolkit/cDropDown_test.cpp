#include "toolkit/cDropDown.h"

#include "platform/desktop/Win.h"
#include "platform/forms/Form.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace win;

namespace {

// A pop-up form that logs its own activation events, to show they still arrive.
class HostForm : public forms::Form {
public:
    explicit HostForm(std::vector<std::string>& log) : Form("frmHost"), log_(log) {
        design.left = 150, design.top = 300, design.width = 4500, design.height = 3000;  // 10,20 300x200 px
    }

protected:
    void Form_Activate() override { log_.push_back("form activate"); }
    void Form_Deactivate() override { log_.push_back("form deactivate"); }
    void Form_Unload(int&) override { log_.push_back("form unload"); }

private:
    std::vector<std::string>& log_;
};

class DropDown : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASS wc;
        wc.lpszClassName = "DropDownOtherWnd";
        wc.lpfnWndProc = registerWndProc([](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); });
        RegisterClass(wc);
        other = CreateWindowEx(0, "DropDownOtherWnd", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 400, 100, 100, 0);
        host = std::make_unique<HostForm>(log);
        host->Load();
        host->Show();
        log.clear();
    }
    void TearDown() override {
        control.reset();
        if (host->IsLoaded()) host->Unload();
    }
    void place(bool userMode) {
        control = std::make_unique<cDropDown>(*host, userMode);
        control->DeactivateForm = [this] { log.push_back("deactivate"); };
        control->MouseOverForm = [this] { log.push_back("over"); };
        control->MouseLeaveForm = [this] { log.push_back("leave"); };
    }

    testing_support::TestMachine machine;
    HWND other = 0;
    std::vector<std::string> log;
    std::unique_ptr<HostForm> host;
    std::unique_ptr<cDropDown> control;
};

TEST_F(DropDown, ReportsTheHostLosingActivationAndTheMouseOverItsFrame) {
    const WNDPROC before = GetWindowLong(host->hWnd(), GWL_WNDPROC);
    place(true);
    EXPECT_FALSE(control->Visible());
    EXPECT_NE(GetWindowLong(host->hWnd(), GWL_WNDPROC), before);

    SetActiveWindow(other);
    SetActiveWindow(host->hWnd());
    SetActiveWindow(other);
    EXPECT_EQ(log, (std::vector<std::string>{"deactivate", "form deactivate", "form activate", "deactivate",
                                             "form deactivate"}));

    log.clear();
    EXPECT_EQ(SendMessage(host->hWnd(), WM_NCHITTEST, 0, MAKELPARAM(100, 30)), HTCAPTION);
    mouseMove(100, 30);
    SendMessage(host->hWnd(), WM_NCMOUSELEAVE, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"over", "leave"}));
    EXPECT_TRUE(control->AreaIn());
    SetCursorPos(600, 450);
    EXPECT_FALSE(control->AreaIn());

    // Arming again while armed changes nothing: one report per deactivation.
    control->ReActive();
    log.clear();
    SetActiveWindow(host->hWnd());
    SetActiveWindow(other);
    EXPECT_EQ(std::count(log.begin(), log.end(), "deactivate"), 1);
}

TEST_F(DropDown, ClosingPostsToTheHost) {
    place(true);
    control->WMClose();
    EXPECT_TRUE(host->IsLoaded());  // posted, not sent
    for (int i = 0; i < 8 && pendingPostedMessages() > 0; ++i) DoEvents();
    EXPECT_FALSE(host->IsLoaded());
    EXPECT_EQ(log.front(), "form unload");
    // The host's destruction detached the control; letting it go afterwards is safe.
    control.reset();
}

TEST_F(DropDown, AtDesignTimeItShowsItsLabelAndWatchesNothing) {
    const WNDPROC before = GetWindowLong(host->hWnd(), GWL_WNDPROC);
    place(false);
    EXPECT_TRUE(control->Visible());
    EXPECT_STREQ(cDropDown::kLabelCaption, "'DropDown Control'");
    control->ReActive();
    EXPECT_EQ(GetWindowLong(host->hWnd(), GWL_WNDPROC), before);
    SetActiveWindow(other);
    EXPECT_EQ(log, (std::vector<std::string>{"form deactivate"}));
}

TEST_F(DropDown, GoingAwayLeavesTheHostAsItWas) {
    const WNDPROC before = GetWindowLong(host->hWnd(), GWL_WNDPROC);
    place(true);
    control.reset();
    EXPECT_EQ(GetWindowLong(host->hWnd(), GWL_WNDPROC), before);
    SetActiveWindow(other);
    EXPECT_EQ(log, (std::vector<std::string>{"form deactivate"}));
}

} // namespace
