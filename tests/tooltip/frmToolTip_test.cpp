#include "pages/Pages.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Win.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "toolkit/frmToolTip.h"
#include "toolkit/m_Main.h"
#include "platform/forms/RuntimeError.h"

#include <gtest/gtest.h>
#include <png.h>

namespace {

const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";

// A screen pixel of a snapshot, 0xRRGGBB.
struct Screen {
    int width = 0;
    std::vector<uint8_t> rgba;
    uint32_t at(int x, int y) const {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        return (p[0] << 16) | (p[1] << 8) | p[2];
    }
};

Screen screen() {
    const std::string png = web::screenSnapshotPng();
    Screen s;
    png_image pi{};
    pi.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&pi, png.data(), png.size())) return s;
    pi.format = PNG_FORMAT_RGBA;
    s.rgba.resize(PNG_IMAGE_SIZE(pi));
    if (!png_image_finish_read(&pi, nullptr, s.rgba.data(), 0, nullptr)) return {};
    s.width = static_cast<int>(pi.width);
    return s;
}

win::RECT windowRect(win::HWND h) {
    win::RECT r;
    win::GetWindowRect(h, &r);
    return r;
}

class ToolTipTest : public ::testing::Test {
protected:
    void SetUp() override {
        pages::registerResources();
        m_Main::PageBase = kBase;
        m_Main::BalloonReturn = nullptr;
        other_.Show();
    }
    void TearDown() override {
        m_Main::BalloonReturn = nullptr;
        for (auto& t : tips_)
            if (t->IsLoaded()) t->Unload();
        tips_.clear();
        frmToolTip::ReleaseShared();
        other_.Unload();
        machine->runFor(10);
    }

    bool waitFor(const std::function<bool()>& pred, uint64_t limitMs = testing_support::kOutsideWaitMs) {
        machine->beginOutsideWork();
        const bool ok = machine->runUntil(pred, limitMs);
        machine->endOutsideWork();
        return ok;
    }
    std::shared_ptr<frmToolTip> ready(std::shared_ptr<frmToolTip> tip) {
        tips_.push_back(tip);
        EXPECT_TRUE(tip->Busy());
        EXPECT_TRUE(waitFor([&] { return !tip->Busy(); }));
        return tip;
    }
    std::shared_ptr<frmToolTip> shared() { return ready(frmToolTip::Shared()); }
    std::shared_ptr<frmToolTip> privateTip() {
        auto t = std::make_shared<frmToolTip>();
        t->Load();
        return ready(t);
    }
    static std::string icon(frmToolTip& t) { return t.PageDocument().all("iImg").getAttribute("src"); }
    static web::HTMLElement el(frmToolTip& t, const char* id) { return t.PageDocument().all(id); }
    // The user clicks another window.
    void clickElsewhere() { win::SetForegroundWindow(other_.hWnd()); }

    testing_support::TestMachine machine;
    forms::Form other_{"frmOther"};
    std::vector<std::shared_ptr<frmToolTip>> tips_;
};

TEST_F(ToolTipTest, DefaultTipShowsTheWorkingIconInA225By60Box) {
    auto tip = shared();
    EXPECT_EQ(icon(*tip), "orderx.gif");
    EXPECT_TRUE(tip->CloseOnBalloonClose());
    EXPECT_EQ(el(*tip, "ButtonArea").style().display(), "none");
    tip->TIPIcon(2);
    tip->Info("定单窗口打开失败!");
    tip->Balloon(400, 300);

    frmBalloon* balloon = tip->BalloonForm();
    ASSERT_TRUE(balloon);
    EXPECT_TRUE(tip->Shown());
    EXPECT_EQ(windowRect(balloon->hWnd()), (win::RECT{400, 300, 631, 385}));
    EXPECT_EQ(win::GetParent(tip->Layout()), balloon->Layout());
    win::RECT lr;
    win::GetClientRect(tip->Layout(), &lr);
    EXPECT_EQ(lr, (win::RECT{0, 0, 225, 60}));
    EXPECT_FALSE(win::IsWindowVisible(tip->hWnd()));
    EXPECT_EQ(el(*tip, "iInfo").innerText(), "定单窗口打开失败!");
    testing_support::writeSnapshot("tooltip_error");
    // On screen the balloon has its shape: the desktop shows beside the pointer, the body has
    // its border and fill, and the page's background matches the fill.
    const Screen shot = screen();
    ASSERT_GT(shot.width, 0);
    EXPECT_EQ(shot.at(600, 305), 0x3A6EA5u);
    EXPECT_EQ(shot.at(400, 300 + 19), 0x3A6EA5u);  // a rounded corner
    EXPECT_EQ(shot.at(515, 300 + 84), 0x000000u);
    EXPECT_EQ(shot.at(515, 300 + 83), frmBalloon::kFillColour);
    EXPECT_EQ(shot.at(600, 300 + 40), frmBalloon::kFillColour);
}

TEST_F(ToolTipTest, IconCodesOutsideTheTableChangeNothing) {
    auto tip = shared();
    const std::pair<int, const char*> codes[] = {
        {0, "iINFO.gif"}, {1, "alert2.gif"}, {5, "alert2.gif"}, {2, "Error.gif"},
        {-1, "Error.gif"}, {3, "OK.gif"}, {4, "orderx.gif"},
    };
    for (auto [code, image] : codes) {
        tip->TIPIcon(code);
        EXPECT_EQ(icon(*tip), image) << code;
    }
}

TEST_F(ToolTipTest, WidthAndTextGrowTheBoxAndAlignmentsReachTheCells) {
    auto tip = shared();
    tip->TIPIcon(0);
    tip->BalloonWidth(350);
    tip->IconVAlign("top");
    tip->InfoVAlign("top");
    tip->ClickOK(1);
    tip->Info("安装脚本会关闭正在运行的交易终端, 复制所选的脚本并写入热键设置, 然后再次启动终端。"
              "是否继续? 这段文字足够长, 会换行好几次, 所以提示框会比设定的高度更高。");
    EXPECT_EQ(el(*tip, "iIcon").getAttribute("vAlign"), "top");
    EXPECT_EQ(el(*tip, "iInfo").getAttribute("vAlign"), "top");
    EXPECT_EQ(el(*tip, "ButtonArea").style().display(), "");
    win::SetCursorPos(900, 600);
    tip->Balloon(0, 0);
    frmBalloon* balloon = tip->BalloonForm();
    ASSERT_TRUE(balloon);
    const win::RECT r = windowRect(balloon->hWnd());
    EXPECT_EQ(r.right - r.left, 356);
    EXPECT_GT(r.bottom - r.top, 85);
    EXPECT_EQ((win::POINT{r.right, r.bottom}), (win::POINT{900, 600}));  // lower right: tip at the cursor
    testing_support::writeSnapshot("tooltip_question");
}

TEST_F(ToolTipTest, OkButtonActsOnlyForTheInstallCode) {
    auto tip = shared();
    tip->ClickOK(0);
    tip->Info("没有动作");
    tip->Balloon(300, 300);
    el(*tip, "iOK").click();
    machine->runFor(200);
    EXPECT_TRUE(tip->IsLoaded());
    EXPECT_EQ(icon(*tip), "orderx.gif");

    tip->ClickOK(1);
    int installs = 0;
    m_Main::BalloonReturn = [&] {
        ++installs;
        // While the installation runs the tip shows it is working and refuses a second click.
        EXPECT_EQ(icon(*tip), "orderx.gif");
        EXPECT_TRUE(el(*tip, "iOK").disabled());
        EXPECT_EQ(el(*tip, "iInfo").innerText(), "正在安装...");
    };
    tip->TIPIcon(0);
    // A failed installation says so and leaves the tip usable for another try.
    bool fail = true;
    auto installer = m_Main::BalloonReturn;
    m_Main::BalloonReturn = [&] {
        installer();
        if (fail) throw forms::RuntimeError(75, "路径/文件访问错误", "frmInsScript");
    };
    el(*tip, "iOK").click();
    ASSERT_TRUE(waitFor([&] { return installs == 1; }));
    machine->runFor(200);
    EXPECT_TRUE(tip->IsLoaded());
    EXPECT_EQ(icon(*tip), "Error.gif");
    EXPECT_EQ(el(*tip, "iInfo").innerText(), "安装失败: 路径/文件访问错误");
    EXPECT_FALSE(el(*tip, "iOK").disabled());

    fail = false;
    el(*tip, "iOK").click();
    ASSERT_TRUE(waitFor([&] { return !tip->IsLoaded(); }));
    EXPECT_EQ(installs, 2);
    EXPECT_FALSE(tip->BalloonForm());
    // The next use of the shared tip loads a new page.
    auto next = frmToolTip::Shared();
    tips_.push_back(next);
    EXPECT_NE(next, tip);
    EXPECT_TRUE(next->Busy());
}

TEST_F(ToolTipTest, ClickingElsewhereClosesOrOnlyHidesByCloseX) {
    auto closing = shared();
    closing->Info("关闭");
    closing->Balloon(300, 300);
    clickElsewhere();
    EXPECT_FALSE(closing->IsLoaded());
    machine->runFor(10);

    auto keeping = shared();
    EXPECT_NE(keeping, closing);
    keeping->CloseX(false);
    keeping->Balloon(300, 300);
    frmBalloon* balloon = keeping->BalloonForm();
    const win::RECT before = windowRect(balloon->hWnd());
    clickElsewhere();
    EXPECT_TRUE(keeping->IsLoaded());
    EXPECT_FALSE(win::IsWindowVisible(balloon->hWnd()));
    keeping->Info("定单已成交");
    EXPECT_TRUE(win::IsWindowVisible(balloon->hWnd()));
    EXPECT_EQ(windowRect(balloon->hWnd()), before);
    EXPECT_EQ(el(*keeping, "iInfo").innerText(), "定单已成交");
}

TEST_F(ToolTipTest, LastDelayCountsFromItsCallAndZeroCancels) {
    auto tip = shared();
    tip->Balloon(300, 300);
    tip->DelayX(15000);
    machine->runFor(10000);
    tip->DelayX(15000);
    machine->runFor(14000);
    EXPECT_TRUE(tip->IsLoaded());
    machine->runFor(1500);
    EXPECT_FALSE(tip->IsLoaded());

    auto other = privateTip();
    other->Balloon(300, 300);
    other->DelayX(15000);
    other->DelayX(0);
    machine->runFor(30000);
    EXPECT_TRUE(other->IsLoaded());
    EXPECT_THROW(other->DelayX(3e9), forms::RuntimeError);
}

TEST_F(ToolTipTest, PrivateTipsLeaveTheSharedOneAlone) {
    auto shared1 = shared();
    auto mine = privateTip();
    mine->TIPIcon(3);
    mine->Info("MT4脚本安装完成!");
    mine->Balloon(900, 600);
    shared1->Balloon(300, 300);
    mine->UnloadME();
    EXPECT_EQ(frmToolTip::Shared(), shared1);
    // A second Balloon moves the content to a new balloon instead of leaving an empty one open.
    frmBalloon* first = shared1->BalloonForm();
    const win::HWND firstWindow = first->hWnd();
    shared1->Balloon(500, 500);
    EXPECT_FALSE(win::IsWindow(firstWindow));
    EXPECT_EQ(win::GetParent(shared1->Layout()), shared1->BalloonForm()->Layout());
}

TEST_F(ToolTipTest, MainWindowClosingUnderAnOpenTipLeavesItClosable) {
    forms::Form main("frmMain");
    main.design.caption = m_Main::kMainCaption;
    main.Show();
    auto tip = shared();
    tip->Info("退出");
    tip->Balloon(300, 300);
    EXPECT_EQ(win::GetWindow(tip->BalloonForm()->hWnd(), win::GW_OWNER), main.hWnd());
    main.Unload();  // takes the owned balloon with it
    machine->runFor(100);
    tip->UnloadME();
    machine->runFor(100);
    EXPECT_FALSE(tip->IsLoaded());
}

TEST_F(ToolTipTest, PageMembersBeforeThePageFailAsObjectErrors) {
    auto tip = std::make_shared<frmToolTip>();
    tip->Load();
    tips_.push_back(tip);
    EXPECT_TRUE(tip->Busy());
    EXPECT_THROW(tip->Info("x"), forms::RuntimeError);
    tip->CloseX(false);  // needs no page
    EXPECT_TRUE(waitFor([&] { return !tip->Busy(); }));
}

} // namespace
