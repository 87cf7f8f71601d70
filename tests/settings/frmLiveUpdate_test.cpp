// The about window and the live-update check against a loopback update site.
#include "AuxProgram.h"
#include "platform/desktop/Tray.h"
#include "platform/forms/ShellExecute.h"
#include "settings/frmAbout.h"
#include "settings/frmLiveUpdate.h"
#include "support/Snapshot.h"

#include <gtest/gtest.h>

namespace {

using aux_test::Program;

TEST(LiveUpdateVersion, ComparedNumberByNumber) {
    struct Case {
        const char* offered;
        bool newer;
    };
    for (const Case& c : std::vector<Case>{{"2.0.9", false},
                                           {"2.0.1000", true},
                                           {"2.00.0900", true},
                                           {"2.0.826", false},
                                           {"2.0.826.0", false},
                                           {"2.0.826.1", true},
                                           {"10.0.0", true},
                                           {"1.9.9999", false},
                                           {"2.0.x", false},
                                           {"", false},
                                           {"2..1", false}})
        EXPECT_EQ(frmLiveUpdate::IsNewer(c.offered, "2.0.826"), c.newer) << c.offered;
    EXPECT_EQ(frmLiveUpdate::RunningVersion(), "2.0.826");
}

frmLiveUpdate* liveUpdate() { return dynamic_cast<frmLiveUpdate*>(m_Main::MainForm->LiveUpdateForm()); }

// The tray's balloons but the notice window's calendar ones, which come when its week is fetched.
std::vector<win::BalloonRecord> ownBalloons() {
    std::vector<win::BalloonRecord> out;
    for (const auto& b : win::balloonHistory())
        if (b.title != "财经日历" && b.title != "财经事件提醒!" && b.title.rfind("从", 0) != 0) out.push_back(b);
    return out;
}
size_t balloons() { return ownBalloons().size(); }
std::string lastBalloon() { return ownBalloons().empty() ? "" : ownBalloons().back().text; }

TEST(LiveUpdate, WhatEachVersionFileGives) {
    struct Case {
        const char* file;  // "" answers 404
        bool asked;
        bool offer;
        const char* balloon;  // "" none
    };
    const std::vector<Case> cases = {
        {"newer.xml", false, true, ""},
        {"same.xml", false, false, ""},
        {"same.xml", true, false, "您正在使用的 Pennant 已经是最新版本！"},
        {"malformed.xml", false, false, ""},
        {"malformed.xml", true, false, "更新信息无法读取, 请稍后再试!"},
        {"missing.xml", true, false, "更新信息无法读取, 请稍后再试!"},
        {"", true, false, "无法获取更新信息, 请稍后再试!"},
    };
    Program p;
    ASSERT_TRUE(p.start());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.asked ? " asked" : ""));
        p.site.serve(c.file);
        const int hits = p.site.hits();
        const size_t shown = balloons();
        m_Main::MainForm->ChkLiveUpdate(c.asked);
        frmLiveUpdate* w = liveUpdate();
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(p.runUntil([&] { return c.offer ? w->Visible() : !w->IsLoaded(); }));
        EXPECT_EQ(p.site.hits(), hits + 1);
        EXPECT_EQ(m_Main::LiveUpdateOpen, c.offer);
        if (*c.balloon) {
            EXPECT_EQ(lastBalloon(), c.balloon);
        } else {
            EXPECT_EQ(balloons(), shown);
        }
        if (c.offer) {
            EXPECT_EQ(w->PageDocument().all("iVER").innerText(), "2.0.1000");
            EXPECT_EQ(win::windowText(w->hWnd()), "在线更新");
            EXPECT_EQ(w->ScaleWidth() / 15, 400);
            EXPECT_EQ(w->ScaleHeight() / 15, 120);
            testing_support::writeSnapshot("live_update_offer");
            const size_t opened = win::shellOpened().size();
            w->ClickOK();
            ASSERT_EQ(win::shellOpened().size(), opened + 1);
            EXPECT_EQ(win::shellOpened().back().file, "http://update.kestrel.example/download/Pennant-2.0.1000.zip");
            EXPECT_EQ(w->PageDocument().all("iCancel").innerText(), "关闭");
            EXPECT_TRUE(w->IsLoaded());
            w->ClickCancel();
            EXPECT_FALSE(m_Main::LiveUpdateOpen);
        }
    }
}

TEST(LiveUpdate, AnUpdateSiteOutsideTheMachineIsNotAsked) {
    Program p;
    ASSERT_TRUE(p.start());
    p.site.serve("newer.xml");
    p.m->setSetting("net.host.update.kestrel.example", "");
    m_Main::MainForm->ChkLiveUpdate(true);
    ASSERT_TRUE(p.runUntil([&] { return !liveUpdate()->IsLoaded(); }));
    EXPECT_EQ(lastBalloon(), "无法获取更新信息, 请稍后再试!");
    EXPECT_EQ(p.site.hits(), 0);
}

TEST(LiveUpdate, OnlyWebAddressesAreOpened) {
    Program p;
    ASSERT_TRUE(p.start());
    p.site.serve("notweb.xml");
    m_Main::MainForm->ChkLiveUpdate(false);
    frmLiveUpdate* w = liveUpdate();
    ASSERT_TRUE(p.runUntil([&] { return w->Visible(); }));
    const size_t opened = win::shellOpened().size();
    w->ClickOK();
    EXPECT_EQ(win::shellOpened().size(), opened);
    EXPECT_EQ(w->PageDocument().all("iCancel").innerText(), "关闭");
}

TEST(AboutWindow, ShowsTheVersionAndItsUpdateButtonWaitsForTheCheck) {
    Program p;
    ASSERT_TRUE(p.start());
    p.site.serve("same.xml");
    m_Main::MainForm->m_frmSysTray_MenuClick("About");
    auto* about = dynamic_cast<frmAbout*>(m_Main::AboutForm());
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(p.runUntil([&] { return !about->Busy() && about->Visible(); }));
    EXPECT_EQ(win::windowText(about->hWnd()), "关于");
    EXPECT_EQ(about->PageDocument().all("iVer").innerText(), "2.0 Build 826");
    auto bar = about->PageDocument().all("ButtonLayout");
    EXPECT_EQ(about->ScaleWidth() / 15, bar.offsetWidth());
    EXPECT_EQ(about->ScaleHeight() / 15, bar.offsetTop() + bar.offsetHeight());
    EXPECT_TRUE(frmAbout::AboutReady);
    testing_support::writeSnapshot("about_window");

    auto button = about->PageDocument().all("iUpdate");
    about->LiveUpdate();
    EXPECT_EQ(button.getAttribute("src"), "RelatePost.gif");
    ASSERT_TRUE(p.runUntil([&] { return button.getAttribute("src") == "upp.gif"; }));
    EXPECT_EQ(lastBalloon(), "您正在使用的 Pennant 已经是最新版本！");

    // A failed check the user asked for also ends the waiting, and says so.
    p.site.serve("");
    about->LiveUpdate();
    ASSERT_TRUE(p.runUntil([&] { return button.getAttribute("src") == "upp.gif"; }));
    EXPECT_EQ(lastBalloon(), "无法获取更新信息, 请稍后再试!");

    // With the offer already on screen, a second request is answered at once, with no new fetch.
    p.site.serve("newer.xml");
    about->LiveUpdate();
    frmLiveUpdate* w = liveUpdate();
    ASSERT_TRUE(p.runUntil([&] { return w->Visible() && button.getAttribute("src") == "upp.gif"; }));
    const int hits = p.site.hits();
    about->LiveUpdate();
    EXPECT_EQ(button.getAttribute("src"), "upp.gif");
    EXPECT_EQ(p.site.hits(), hits);

    about->CloseFRM();
    EXPECT_FALSE(about->IsLoaded());
    EXPECT_FALSE(frmAbout::AboutReady);
}

TEST(AboutWindow, OldBrowsersGetTheIconsFromFiles) {
    Program p;
    ASSERT_TRUE(p.start());
    struct Case {
        std::optional<std::string> version;
        bool fromFiles;
    };
    // Only the first character counts; a missing value is an old browser.
    for (const Case& c : std::vector<Case>{{"9.0.8112.16421", false}, {"10.0", true}, {"6.0.2900", true}, {std::nullopt, true}}) {
        SCOPED_TRACE(c.version.value_or("missing"));
        m_Main::OldBrowser = false;
        if (c.version) reg::setString(win::HKEY_LOCAL_MACHINE, aux_test::kBrowserKey, "Version", *c.version);
        else reg::deleteValue(win::HKEY_LOCAL_MACHINE, aux_test::kBrowserKey, "Version");
        m_Main::MainForm->m_frmSysTray_MenuClick("About");
        auto* about = dynamic_cast<frmAbout*>(m_Main::AboutForm());
        ASSERT_TRUE(p.runUntil([&] { return !about->Busy() && about->Visible(); }));
        const std::string src = about->PageDocument().all("AuthorPng").getAttribute("src");
        EXPECT_EQ(src.find("Author.MPI") != std::string::npos, c.fromFiles) << src;
        EXPECT_EQ(m_Main::OldBrowser, c.fromFiles);
        EXPECT_EQ(p.m->fileExists(m_Main::TempDir + "Author.MPI"), c.fromFiles);
        about->CloseFRM();
        if (p.m->fileExists(m_Main::TempDir + "Author.MPI")) std::filesystem::remove(p.m->hostPath(m_Main::TempDir + "Author.MPI"));
    }
}

TEST(LiveUpdate, TheStartUpCheckOffersANewerVersion) {
    Program p(true);
    p.site.serve("newer.xml");
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.runUntil([&] { return liveUpdate() && liveUpdate()->Visible(); }));
    EXPECT_FALSE(liveUpdate()->Tip());
}

} // namespace
