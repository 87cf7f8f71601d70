#include "platform/browser/BrowserHost.h"
#include "platform/browser/WebBrowser.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Resources.h"
#include "pages/Pages.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

using namespace web;

namespace {

constexpr const char* kTestPage = R"HTML(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">
<html><head><meta charset="utf-8"><title>测试</title>
<script src="zidara.js"></script>
<script src="jquery.js"></script>
<script>
var clicks = 0;
function countClick() { clicks++; document.getElementById("Counter").innerText = String(clicks); }
</script>
<style>body { margin: 0; font: 11px Tahoma; }</style>
</head>
<body id="mBody">
<div id="Box" style="position:absolute; left:10px; top:20px; width:120px; height:30px;">
  <span id="HeadBid">1.23</span><button id="iOK" style="width:60px;height:20px">OK</button>
</div>
<div id="Counter">0</div>
<input id="Tick" type="checkbox" onclick="countClick()">
<input id="Volume" type="text" value="0.1">
<table id="iTable"><tr><td>a</td><td>b</td></tr></table>
<img id="Logo" src="logo.gif">
</body></html>)HTML";

const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";

class Browser : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        pages::registerResources();
        sys::addResource(sys::kPageResourceType, "test.htm", kTestPage);
        machine_ = new testing_support::TestMachine();
    }
    static void TearDownTestSuite() {
        delete machine_;
        machine_ = nullptr;
    }
    sys::Machine& m() { return machine_->get(); }

    // Loads the test page into a control and waits (bounded) until it is complete.
    std::unique_ptr<WebBrowser> load(int w = 320, int h = 200) {
        auto b = std::make_unique<WebBrowser>(w, h);
        b->Navigate(kBase + "test.htm");
        EXPECT_TRUE(b->Busy());
        EXPECT_TRUE(m().runUntil([&] { return !b->Busy(); }, 20000));
        return b;
    }
    // Pumps with real time given to the browser until pred holds (bounded).
    bool waitFor(const std::function<bool()>& pred) {
        m().beginOutsideWork();
        bool ok = m().runUntil(pred, 10000);
        m().endOutsideWork();
        return ok;
    }
    static testing_support::TestMachine* machine_;
};
testing_support::TestMachine* Browser::machine_ = nullptr;

TEST_F(Browser, LoadsAPageFromResourcesAndRaisesItsEvents) {
    std::vector<std::string> seen;
    auto b = std::make_unique<WebBrowser>(320, 200);
    b->NavigateComplete2 = [&](const std::string& url) { seen.push_back("nav " + url); };
    b->DocumentComplete = [&](const std::string& url) { seen.push_back("doc " + url); };
    b->Navigate(kBase + "test.htm");
    ASSERT_TRUE(m().runUntil([&] { return !b->Busy(); }, 20000));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "nav " + kBase + "test.htm");
    EXPECT_EQ(seen[1], "doc " + kBase + "test.htm");
    auto doc = b->Document();
    EXPECT_EQ(doc.title(), "测试");
    EXPECT_EQ(doc.location(), kBase + "test.htm");
    // The shared page script and the library came from the resources too.
    EXPECT_EQ(doc.execScript("typeof GetObj + typeof jQuery"), "functionfunction");
}

} // namespace
