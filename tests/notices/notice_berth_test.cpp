// The notice window at the screen's edges on the virtual clock: berthing by drag and resize, the
// least size, the page laid out for the saved size as it loads, the slide out in fifteenths and
// back in, and what a close request saves.
#include "FixtureSites.h"
#include "NoticeWindowFixture.h"

#include "support/Snapshot.h"
#include "toolkit/CTimer.h"

#include <nlohmann/json.hpp>

#include <vector>

using namespace notice_testing;

namespace {

TEST(NoticeBerth, SlidesOutInFifteenthsOfItsSizeAndStopsOnTheStrip) {
    const struct {
        const char* name;
        int screenW, screenH;
        int left, top, width, height;  // the saved place
        int dragX, dragY;              // where the drag puts the top-left corner
        int side;
        int shownLeft, shownTop;       // snapped flush
        int step;                      // pixels a tick
        int finalLeft, finalTop;       // on the 3-pixel strip
        win::POINT strip;              // a point on the strip
    } cases[] = {
        {"600 high at the top", 1280, 800, 300, 100, 700, 600, 300, -20, 0, 300, 0, 40, 300, -597, {500, 1}},
        {"500 wide at the right of 1920", 1920, 1080, 1000, 200, 500, 650, 1440, 200, 1, 1420, 200, 33, 1917, 200,
         {1918, 400}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NoticeWindowFixture f(machineOn(10, c.screenW, c.screenH));
        f.place(c.left, c.top, c.width, c.height);
        f.open();
        ScreenBerth* berth = f.w->Berth();
        ASSERT_NE(berth, nullptr);
        f.dragTo(c.dragX, c.dragY);
        ASSERT_TRUE(f.w->BerthOn());
        EXPECT_EQ(berth->BerthSide, c.side);
        win::RECT r = f.rect();
        EXPECT_EQ(r.left, c.shownLeft);
        EXPECT_EQ(r.top, c.shownTop);
        EXPECT_EQ(berth->m_Leave->Interval(), 800);

        // The cursor leaves: the watch starts the slide, whose first step comes 200 ms later.
        win::SetCursorPos(5, 5);
        ASSERT_TRUE(f.m->runUntil([&] { return berth->m_Timer->Interval() > 0; }, 2000));
        EXPECT_EQ(berth->m_Leave->Interval(), 0);
        const uint32_t leftAt = win::GetTickCount();
        ASSERT_TRUE(f.m->runUntil([&] { return f.rect().left != r.left || f.rect().top != r.top; }, 1000));
        EXPECT_EQ(win::GetTickCount() - leftAt, 200u);
        EXPECT_EQ(berth->HideStep, c.step);

        // Then one step each 10 ms, the last one landing on the strip.
        std::vector<int> moves;
        int position = c.side == 0 ? c.shownTop : c.shownLeft;
        for (int ticks = 0; ticks < 40; ++ticks) {
            const int now = c.side == 0 ? f.rect().top : f.rect().left;
            moves.push_back(now - position);
            position = now;
            if (berth->m_Timer->Interval() == 0) break;
            f.m->runFor(10);
        }
        ASSERT_GE(moves.size(), 14u);
        for (size_t i = 0; i + 1 < moves.size(); ++i) EXPECT_EQ(std::abs(moves[i]), c.step) << i;
        EXPECT_LE(std::abs(moves.back()), c.step);
        r = f.rect();
        EXPECT_EQ(r.left, c.finalLeft);
        EXPECT_EQ(r.top, c.finalTop);
        f.m->runFor(100);
        EXPECT_EQ(f.rect().left, c.finalLeft) << "the slide has stopped";

        // The mouse over the strip brings it in at once, with its leave watch.
        win::mouseMove(c.strip.x, c.strip.y);
        r = f.rect();
        EXPECT_EQ(r.left, c.shownLeft);
        EXPECT_EQ(r.top, c.shownTop);
        EXPECT_EQ(berth->m_Leave->Interval(), 800);
    }
}

TEST(NoticeBerth, AWindowNarrowerThanFifteenPixelsStillSlidesToItsStrip) {
    NoticeWindowFixture f;
    f.place(300, 100, 10, 650);
    f.open();
    const int width = f.rect().right - f.rect().left;
    ASSERT_LT(width, 15) << "the saved place is taken as it is";
    f.dragTo(-5, 100);
    ASSERT_TRUE(f.w->BerthOn());
    ASSERT_EQ(f.w->Berth()->BerthSide, 3);
    win::SetCursorPos(600, 400);
    f.w->BerthLeave();
    ASSERT_TRUE(f.m->runUntil([&] { return f.w->Berth()->m_Timer->Interval() == 0; }, 2000));
    EXPECT_EQ(f.w->Berth()->HideStep, 1);
    EXPECT_EQ(f.rect().left, 3 - width);
}

TEST(NoticeBerth, MinimisingMidSlideStopsItWhereItIs) {
    NoticeWindowFixture f;
    f.place(300, 100, 700, 600);
    f.open();
    ScreenBerth* berth = f.w->Berth();
    f.dragTo(300, -20);
    ASSERT_TRUE(f.w->BerthOn());
    win::SetCursorPos(5, 700);
    f.w->BerthLeave();
    f.m->runFor(200 + 20);
    const int top = f.rect().top;
    ASSERT_EQ(top, -3 * 40);
    f.w->setWindowState(forms::vbMinimized);
    f.m->runFor(50);
    EXPECT_EQ(berth->m_Timer->Interval(), 0);
    // A minimised window does not start another.
    f.w->BerthLeave();
    EXPECT_EQ(berth->m_Timer->Interval(), 0);
    f.w->setWindowState(forms::vbNormal);
    f.m->runFor(300);
    EXPECT_EQ(f.rect().top, top);
}

TEST(NoticeBerth, TheCornerGoesToTheTopWhenDraggedAndToTheLeftWhenResized) {
    {
        SCOPED_TRACE("drag");
        NoticeWindowFixture f;
        f.place(200, 200, 700, 660);
        f.open();
        f.dragTo(-20, -20);
        ASSERT_TRUE(f.w->BerthOn());
        EXPECT_EQ(f.w->Berth()->BerthSide, 0);
        EXPECT_EQ(f.rect().top, 0);
        EXPECT_EQ(f.rect().left, -20);
    }
    {
        SCOPED_TRACE("resize");
        NoticeWindowFixture f;
        f.place(5, 5, 700, 660);
        f.open();
        f.dragCorner(win::HTTOPLEFT, -5, -5);  // into the screen's corner
        ASSERT_TRUE(f.w->BerthOn());
        EXPECT_EQ(f.w->Berth()->BerthSide, 3);
        const win::RECT r = f.rect();
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right - r.left, 705);
    }
    {
        SCOPED_TRACE("dragged away again");
        NoticeWindowFixture f;
        f.place(200, 200, 700, 660);
        f.open();
        f.dragTo(-20, 100);
        ASSERT_TRUE(f.w->BerthOn());
        f.dragTo(100, 100);
        EXPECT_FALSE(f.w->BerthOn());
        EXPECT_EQ(f.w->Berth()->m_Leave->Interval(), 0);
    }
}

TEST(NoticeBerth, ThePageIsLaidOutForTheSavedSizeAsItLoads) {
    const struct {
        const char* name;
        int width;
        bool stripAtLeast1000;  // narrower windows clip the tab strip
    } cases[] = {{"narrow", 700, true}, {"wide", 1200, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NoticeWindowFixture f;
        f.place(40, 50, c.width, 680);
        f.load();
        win::RECT client{};
        win::GetClientRect(f.h(), &client);
        EXPECT_EQ(f.js("document.getElementById('Menu').style.width"),
                  std::to_string(c.stripAtLeast1000 ? 1000 : client.right) + "px");
        const auto box = nlohmann::json::parse(
            f.js("(function (g) { return JSON.stringify([g('MenuLayout').offsetWidth, g('moreBut').offsetWidth,"
                 " g('iDivNews').offsetWidth]); })(function (id) { return document.getElementById(id); })"));
        ASSERT_GT(box[2].get<int>(), 80);
        EXPECT_EQ(f.js("document.getElementById('moreBut').style.left"),
                  std::to_string(box[0].get<int>() + 8 - box[1].get<int>()) + "px");
        EXPECT_EQ(f.js("document.getElementById('TimeOutDiv').style.width"),
                  std::to_string(box[2].get<int>() - 80) + "px");
    }
}

TEST(NoticeBerth, ResizingStopsAt650AndThePageFollowsTheWindow) {
    NoticeWindowFixture f;
    f.place(100, 50, 700, 700);
    f.open();
    f.dragCorner(win::HTBOTTOMRIGHT, -300, -250);
    win::RECT r = f.rect();
    EXPECT_EQ(r.right - r.left, 650);
    EXPECT_EQ(r.bottom - r.top, 650);
    EXPECT_FALSE(f.w->BerthOn());

    // The page's size grip starts the system's resize from the bottom-right corner.
    win::SetCursorPos(r.right - 1, r.bottom - 1);
    win::queueMoveSize({{r.right - 1 + 450, r.bottom - 1 + 50}});
    f.js("document.getElementById('SizeGrip').fireEvent('onmousedown')");
    ASSERT_TRUE(f.pageWait([&] { return f.rect().right - f.rect().left == 1100; }));
    r = f.rect();
    EXPECT_EQ(r.bottom - r.top, 700);
    win::RECT client{};
    win::GetClientRect(f.h(), &client);
    f.settle();
    ASSERT_GT(client.right, 1000);
    EXPECT_EQ(f.js("document.getElementById('Menu').style.width"), std::to_string(client.right) + "px");
    EXPECT_EQ(f.js("document.getElementById('SizeGrip').style.display"), "");
    const int layout = std::stoi(f.js("String(document.getElementById('MenuLayout').offsetWidth)"));
    const int more = std::stoi(f.js("String(document.getElementById('moreBut').offsetWidth)"));
    EXPECT_EQ(f.js("document.getElementById('moreBut').style.left"), std::to_string(layout + 8 - more) + "px");
    // Maximised, the grip goes.
    f.w->setWindowState(forms::vbMaximized);
    f.settle();
    EXPECT_EQ(f.js("document.getElementById('SizeGrip').style.display"), "none");
}

TEST(NoticeBerth, ACloseSavesTheShownPlaceAndTheUserCloseOnlyHides) {
    NoticeWindowFixture f;
    f.place(300, 100, 700, 650);
    f.open();
    ASSERT_EQ(f.saved("Status"), "1");

    // Berthed at the right and slid out: the place it has when shown is saved.
    f.dragTo(1280 - 700 + 20, 100);
    ASSERT_TRUE(f.w->BerthOn());
    win::SetCursorPos(5, 5);
    f.w->BerthLeave();
    f.m->runFor(600);
    ASSERT_EQ(f.rect().left, 1277);
    EXPECT_FALSE(f.w->Unload(forms::vbFormControlMenu));
    EXPECT_TRUE(f.w->IsLoaded());
    EXPECT_FALSE(f.w->Visible());
    EXPECT_EQ(f.saved("Status"), "0");
    EXPECT_EQ(f.saved("Left"), "580");
    EXPECT_EQ(f.saved("Top"), "100");
    EXPECT_EQ(f.saved("Width"), "700");
    EXPECT_EQ(f.saved("Height"), "650");

    // Minimised: restored, then saved and hidden.
    f.w->Show(forms::vbModeless);
    f.m->runFor(300);  // the slide its hiding started has ended
    f.w->xBerth();
    ASSERT_EQ(f.rect().left, 580);
    f.dragTo(200, 120);
    ASSERT_FALSE(f.w->BerthOn());
    f.w->setWindowState(forms::vbMinimized);
    Config().SetNodeAttrib("Window/FXNews", "Status", "1");
    EXPECT_FALSE(f.w->Unload(forms::vbFormControlMenu));
    EXPECT_EQ(f.w->WindowState(), forms::vbNormal);
    EXPECT_FALSE(f.w->Visible());
    EXPECT_EQ(f.saved("Status"), "0");
    EXPECT_EQ(f.saved("Left"), "200");
    EXPECT_EQ(f.saved("Top"), "120");

    // The program's close of the hidden window keeps the user's "closed" and unloads it.
    EXPECT_TRUE(f.w->Unload(forms::vbFormCode));
    EXPECT_FALSE(f.w->IsLoaded());
    EXPECT_EQ(f.saved("Status"), "0");
    EXPECT_EQ(f.saved("Left"), "200");
}

TEST(NoticeBerth, AClosedWindowWhosePlaceWasNeverSavedGetsItWithoutAnErrorBox) {
    NoticeWindowFixture f;
    std::string xml = testing_support::shippedSettings();
    const std::string shipped = "<FXNews Status=\"1\" Left=\"880\" Top=\"420\" Width=\"380\" Height=\"320\"/>";
    ASSERT_NE(xml.find(shipped), std::string::npos);
    xml.replace(xml.find(shipped), shipped.size(), "<FXNews Status=\"1\"/>");
    f.m->writeFileAtomic(testing_support::kProgramSettings, xml);
    f.open();  // an error box would fail the test: none is scripted
    const win::RECT r = f.rect();
    EXPECT_FALSE(f.w->Unload(forms::vbFormControlMenu));
    EXPECT_EQ(f.saved("Status"), "0");
    EXPECT_EQ(f.saved("Left"), std::to_string(r.left));
    EXPECT_EQ(f.saved("Width"), std::to_string(r.right - r.left));
    EXPECT_EQ(f.saved("Height"), std::to_string(r.bottom - r.top));
}

TEST(NoticeBerth, ActivationFromTheTaskbarBringsItInAndXBerthArmsNoWatch) {
    NoticeWindowFixture f;
    f.place(300, 100, 700, 650);
    f.open();
    ScreenBerth* berth = f.w->Berth();
    f.dragTo(300, -20);
    ASSERT_TRUE(f.w->BerthOn());
    win::SetCursorPos(5, 700);
    f.w->BerthLeave();
    f.m->runFor(600);
    ASSERT_EQ(f.rect().top, 3 - 650);

    // Activated while the cursor is on the taskbar: it comes in.
    win::SetCursorPos(640, 790);
    forms::Form other("other");
    other.Show();
    f.m->runFor(600);
    ASSERT_EQ(f.rect().top, 3 - 650);
    win::SetForegroundWindow(f.h());
    f.m->runFor(10);
    EXPECT_EQ(f.rect().top, 0);
    EXPECT_EQ(berth->m_Leave->Interval(), 0) << "brought in on request: no leave watch";
    EXPECT_FALSE(berth->KeepShown);
    EXPECT_EQ(win::GetFocus(), f.h());
    f.m->runFor(2000);
    EXPECT_EQ(f.rect().top, 0) << "it stays in until it loses activation";

    // Losing activation slides it out again.
    win::SetForegroundWindow(other.hWnd());
    f.m->runFor(600);
    EXPECT_EQ(f.rect().top, 3 - 650);
    other.Unload();
}

// The window with the fixture sites' news, berthed at the right: shown, then slid out to its strip.
TEST(NoticeBerth, LooksBerthedAndSlidOut) {
    NoticeSitesFixture f(10);
    f.place(300, 80, 700, 650);
    f.open();
    f.w->FXEvent();
    ASSERT_TRUE(f.m->runUntil([&] { return f.w->NewsShown(); }, testing_support::kOutsideWaitMs));
    f.dragTo(1280 - 700 + 30, 80);
    ASSERT_TRUE(f.w->BerthOn());
    ASSERT_EQ(f.rect().left, 580);
    // The page has taken the berthed window's size.
    ASSERT_TRUE(f.pageWait([&] {
        win::RECT client{};
        win::GetClientRect(f.h(), &client);
        return f.js("innerWidth + 'x' + innerHeight") == std::to_string(client.right) + "x" + std::to_string(client.bottom);
    }));
    const auto shown = testing_support::takeSnapshot("notices_berthed_shown");
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->at(1200, 600), 0xFFFFFFu) << "the page lies flush at the right edge";

    win::SetCursorPos(100, 700);
    ASSERT_TRUE(f.m->runUntil([&] { return f.rect().left == 1277; }, 3000));
    const auto hidden = testing_support::takeSnapshot("notices_berthed_slid_out");
    ASSERT_TRUE(hidden);
    EXPECT_NE(hidden->at(1000, 300), 0xFFFFFFu) << "only the strip is left";
}

} // namespace
