#include "TestPage.h"
#include "pages/Pages.h"
#include "platform/browser/BrowserHost.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/system/Resources.h"
#include "support/TestMachine.h"
#include "toolkit/PageWindow.h"
#include "toolkit/clsForward.h"

#include <gtest/gtest.h>

namespace {

// A page window as the program's windows are: a member table, its window and its page.
class frmTest : public forms::Dispatch, public PageWindow, public std::enable_shared_from_this<frmTest> {
public:
    void Load(int width, int height) {
        win::WNDCLASS wc;
        wc.lpszClassName = "ThunderForm";
        win::RegisterClass(wc);
        hWnd = win::CreateWindowEx(0, "ThunderForm", "Test", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE, 50, 60,
                                   width, height, 0);
        loadPage(hWnd, kBase + "test.htm");
    }
    void Unload() {
        unloadPage();
        win::DestroyWindow(hWnd);
    }
    void iClickOK() { ++okCalls; }
    void Failing() { throw forms::RuntimeError(5, "member failed"); }

    const forms::MemberTable& memberTable() const override {
        static const auto table = forms::Members<frmTest>()
                                      .method("iClickOK", [](frmTest& f) { f.iClickOK(); })
                                      .method("Failing", [](frmTest& f) { f.Failing(); });
        return table;
    }

    win::HWND hWnd = 0;
    int okCalls = 0;
    web::HTMLDocument& doc() { return Document; }
    web::WebBrowser& browser() { return *WebBrowser1; }

protected:
    void pageComplete() override {
        bindEvent("IOK", "onclick", "iClickOK");
        bindEvent("Tick", "onclick", "iClickOK");
        bindEvent("HeadBid", "onmousedown", "Failing");
        // A forwarder that was never given its destination.
        Document.all("Volume").setEvent("onclick", std::make_shared<clsForward>());
    }
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }
};

class PageWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        pages::registerResources();
        sys::addResource(sys::kPageResourceType, "test.htm", kTestPage);
    }
    bool waitFor(const std::function<bool()>& pred) {
        machine->beginOutsideWork();
        bool ok = machine->runUntil(pred, testing_support::kOutsideWaitMs);
        machine->endOutsideWork();
        return ok;
    }
    void clickClient(win::HWND h, int x, int y) {
        win::SendMessage(h, win::WM_LBUTTONDOWN, win::MK_LBUTTON, win::MAKELPARAM(x, y));
        win::SendMessage(h, win::WM_LBUTTONUP, 0, win::MAKELPARAM(x, y));
    }
    testing_support::TestMachine machine;
};

TEST_F(PageWindowTest, ClicksReachNamedMembersThroughForwarders) {
    auto form = std::make_shared<frmTest>();
    form->Load(320, 240);
    EXPECT_TRUE(form->Busy());
    ASSERT_TRUE(machine->runUntil([&] { return !form->Busy(); }, testing_support::kOutsideWaitMs));

    // The page's inner window fills the client area, and so does the viewport.
    win::HWND server = form->browser().serverHwnd();
    ASSERT_NE(server, 0);
    char cls[64];
    win::GetClassName(server, cls, sizeof cls);
    EXPECT_STREQ(cls, "Internet Explorer_Server");
    win::RECT client, inner;
    win::GetClientRect(form->hWnd, &client);
    win::GetClientRect(server, &inner);
    EXPECT_EQ(inner, client);
    EXPECT_EQ(form->doc().execScript("innerWidth + 'x' + innerHeight"),
              std::to_string(client.right) + "x" + std::to_string(client.bottom));

    // A user's click on the button: through the window, the page, the binding, the forwarder.
    auto ok = form->doc().all("iOK");
    clickClient(server, 10 + ok.offsetLeft() + 5, 20 + ok.offsetTop() + 5);
    ASSERT_TRUE(waitFor([&] { return form->okCalls == 1; }));
    // Two forwarders with one member name both call it.
    form->doc().all("tick").FireEvent("onclick");
    ASSERT_TRUE(waitFor([&] { return form->okCalls == 2; }));
    // A forwarder never armed, and a failing member, leave the window working.
    form->doc().all("volume").FireEvent("onclick");
    form->doc().all("HeadBid").FireEvent("onmousedown");
    ok.FireEvent("onclick");
    ASSERT_TRUE(waitFor([&] { return form->okCalls == 3; }));

    // The viewport follows the window's size.
    win::MoveWindow(form->hWnd, 50, 60, 420, 300, win::TRUE);
    win::GetClientRect(form->hWnd, &client);
    ASSERT_TRUE(waitFor([&] {
        return form->doc().execScript("innerWidth") == client.right &&
               form->doc().execScript("innerHeight") == client.bottom;
    }));

    // The user clicks into the volume field and types: the page's key filter and text input.
    auto volume = form->doc().all("Volume");
    win::POINT at{volume.offsetLeft() + 20, volume.offsetTop() + 5};
    win::ClientToScreen(server, &at);
    win::mouseClick(at.x, at.y);
    ASSERT_TRUE(waitFor([&] { return form->doc().activeElement() == volume; }));
    EXPECT_EQ(win::GetFocus(), server);
    volume.value("");
    forms::SendKeys("12.5", true);
    ASSERT_TRUE(waitFor([&] { return volume.value() == "12.5"; }));
    // The shared page script's key filter lets digits through and nothing else.
    auto secs = form->doc().all("Secs");
    secs.focus();
    forms::SendKeys("4x2{LEFT}7", true);
    ASSERT_TRUE(waitFor([&] { return secs.value() == "472"; }));

    form->Unload();
    EXPECT_FALSE(win::IsWindow(server));
    // The page held the window through its forwarders; unloading let go of them.
    EXPECT_EQ(form.use_count(), 1);
}

TEST_F(PageWindowTest, BusyFromTheLoadStepUntilTheDocumentIsComplete) {
    auto form = std::make_shared<frmTest>();
    form->Load(200, 150);
    // Not even started loading yet: busy all the same.
    EXPECT_TRUE(form->Busy());
    EXPECT_EQ(form->browser().serverHwnd(), 0);
    ASSERT_TRUE(machine->runUntil([&] { return !form->Busy(); }, testing_support::kOutsideWaitMs));
    EXPECT_NE(form->browser().serverHwnd(), 0);
    form->Unload();
}

} // namespace
