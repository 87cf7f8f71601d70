#include "platform/browser/BrowserHost.h"
#include "platform/browser/Chromium.h"
#include "platform/browser/Page.h"
#include "platform/browser/WebBrowser.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Resources.h"
#include "pages/Pages.h"
#include "support/PageEvents.h"
#include "support/TestMachine.h"
#include "TestPage.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace web;

namespace {


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
        EXPECT_TRUE(m().runUntil([&] { return !b->Busy(); }, testing_support::kOutsideWaitMs));
        return b;
    }
    // Pumps with real time given to the browser until pred holds (bounded).
    bool waitFor(const std::function<bool()>& pred) {
        m().beginOutsideWork();
        bool ok = m().runUntil(pred, testing_support::kOutsideWaitMs);
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
    ASSERT_TRUE(m().runUntil([&] { return !b->Busy(); }, testing_support::kOutsideWaitMs));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "nav " + kBase + "test.htm");
    EXPECT_EQ(seen[1], "doc " + kBase + "test.htm");
    auto doc = b->Document();
    EXPECT_EQ(doc.title(), "测试");
    EXPECT_EQ(doc.location(), kBase + "test.htm");
    // The shared page script and the library came from the resources too.
    EXPECT_EQ(doc.execScript("typeof GetObj + typeof jQuery"), "functionfunction");
}

TEST_F(Browser, WritesElementsAndReadsLayout) {
    auto b = load();
    auto doc = b->Document();
    // The windows ask for ids in another case than the pages have.
    auto bid = doc.all("HEADBID");
    ASSERT_TRUE(bid);
    EXPECT_EQ(bid.id(), "HeadBid");
    EXPECT_FALSE(doc.all("NoSuchThing"));
    EXPECT_THROW(doc.all("NoSuchThing").innerText("x"), forms::RuntimeError);

    bid.innerText("1.2345 <b>");
    EXPECT_EQ(bid.innerText(), "1.2345 <b>");
    EXPECT_EQ(bid.innerHTML(), "1.2345 &lt;b&gt;");
    bid.style().color("#FF0000");
    EXPECT_EQ(bid.style().color(), "rgb(255, 0, 0)");
    bid.setAttribute("title", "买价");
    EXPECT_EQ(bid.getAttribute("title"), "买价");
    EXPECT_EQ(bid.tagName(), "SPAN");

    auto box = doc.all("box");
    EXPECT_EQ(box.offsetLeft(), 10);
    EXPECT_EQ(box.offsetTop(), 20);
    EXPECT_EQ(box.offsetWidth(), 120);
    EXPECT_EQ(box.offsetHeight(), 30);
    EXPECT_EQ(doc.all("iOK").offsetParent(), box);
    EXPECT_EQ(doc.all("iOK").offsetWidth(), 60);
    box.style().set("width", "200px");
    EXPECT_EQ(box.clientWidth(), 200);

    auto volume = doc.all("volume");
    EXPECT_EQ(volume.value(), "0.1");
    volume.value("0.5");
    volume.disabled(true);
    EXPECT_EQ(volume.value(), "0.5");
    EXPECT_TRUE(volume.disabled());

    // Rows and cells.
    auto table = doc.all("iTable");
    auto row = table.insertRow(0);
    row.insertCell().innerText("new");
    ASSERT_EQ(table.rows().size(), 2u);
    EXPECT_EQ(table.rows()[0].cells()[0].innerText(), "new");
    table.deleteRow(1);
    ASSERT_EQ(table.rows().size(), 1u);
    EXPECT_EQ(doc.getElementsByTagName("td").size(), 1u);
    table.rows()[0].deleteCell(0);
    EXPECT_EQ(doc.getElementsByTagName("TD").size(), 0u);

    // The image came from the resources (it has its size) or, missing, did not hang the page.
    EXPECT_NO_THROW(doc.all("Logo").offsetWidth());
}

TEST_F(Browser, BatchesWritesIntoOneCall) {
    auto b = load();
    auto doc = b->Document();
    auto bid = doc.all("HeadBid");
    {
        PageBatch batch(doc);
        for (int i = 0; i < 50; ++i) bid.innerText(std::to_string(i));
        bid.style().display("none");
        // A read inside the batch sees the writes before it.
        EXPECT_EQ(bid.innerText(), "49");
        bid.style().display("");
    }
    EXPECT_EQ(bid.style().display(), "");
}

TEST_F(Browser, PageEventsReachSinksThroughThePump) {
    auto b = load();
    auto doc = b->Document();
    int okClicks = 0, docClicks = 0, focusIns = 0;
    doc.all("iok").setEvent("onclick", std::make_shared<FunctionSink>([&] { ++okClicks; }));
    doc.setEvent("onclick", std::make_shared<FunctionSink>([&] { ++docClicks; }));
    doc.all("Volume").setEvent("onfocusin", std::make_shared<FunctionSink>([&] { ++focusIns; }));

    auto ok = doc.all("iOK");
    int x = ok.offsetLeft() + 10 + 5, y = ok.offsetTop() + 20 + 5;
    b->clickAt(x, y);
    // A round trip does not dispatch page events; the pump does.
    EXPECT_EQ(okClicks, 0);
    EXPECT_EQ(ok.innerText(), "OK");
    EXPECT_EQ(okClicks, 0);
    ASSERT_TRUE(waitFor([&] { return okClicks == 1 && docClicks == 1; }));
    // The element last pressed is the active element, as the old browser had it.
    EXPECT_EQ(doc.activeElement(), ok);

    doc.all("Volume").focus();
    ASSERT_TRUE(waitFor([&] { return focusIns == 1; }));

    // Unbinding stops the calls; an element without a sink calls nothing.
    ok.setEvent("onclick", nullptr);
    b->clickAt(x, y);
    ASSERT_TRUE(waitFor([&] { return docClicks == 2; }));
    EXPECT_EQ(okClicks, 1);
}

// A page whose content is replaced for each item (a toast) through a trading day.
TEST_F(Browser, ContentReplacedAgainAndAgainLeavesOnlyWhatIsShownHeld) {
    auto b = load();
    auto doc = b->Document();
    auto page = b->page();
    auto box = doc.all("Box");
    // Made by the program and not placed yet: it is the program's to place later.
    auto spare = doc.createElement("span");
    spare.innerText("spare");
    int clicked = -1;
    constexpr int kItems = 1500;
    for (int n = 0; n < kItems; ++n) {
        box.innerHTML("<span id='Item' style='display:block;width:100px;height:20px'>" + std::to_string(n) + "</span>");
        doc.all("Item").setEvent("onclick", std::make_shared<FunctionSink>([&clicked, n] { clicked = n; }));
    }
    const int held = doc.execScript("__pn.h.size").get<int>();
    EXPECT_LT(held, 600);
    EXPECT_LT(page->sinkCount(), 600u);
    // Bound anew in writes nobody waits on, the old forwarders go with the next answered call.
    const size_t sinks = page->sinkCount();
    auto item = doc.all("Item");
    page->beginBatch();
    for (int n = 0; n < 3; ++n) item.setEvent("onclick", std::make_shared<FunctionSink>([&clicked] { clicked = kItems - 1; }));
    page->endBatchNoWait();
    EXPECT_EQ(box.innerText(), std::to_string(kItems - 1));
    EXPECT_EQ(page->sinkCount(), sinks);

    // What is still shown, and what the program made, keep working.
    EXPECT_EQ(box.innerText(), std::to_string(kItems - 1));
    b->clickAt(15, 25);
    ASSERT_TRUE(waitFor([&] { return clicked == kItems - 1; }));
    EXPECT_EQ(spare.innerText(), "spare");
}

// A call the page refuses leaves nothing of its error behind in the browser.
TEST_F(Browser, FailedCallsLeaveNothingBehindInThePage) {
    auto b = load();
    auto doc = b->Document();
    auto page = b->page();
    const long long before = testing_support::liveHeapBytes(*page);
    for (int n = 0; n < 2000; ++n)
        EXPECT_THROW(doc.execScript("throw new Error('refused " + std::to_string(n) + "')"), forms::RuntimeError);
    // Each error kept would weigh some 800 bytes.
    EXPECT_LT(testing_support::liveHeapBytes(*page) - before, 512 * 1024);
}

TEST_F(Browser, FireEventRunsPageHandlersOnly) {
    auto b = load();
    auto doc = b->Document();
    auto tick = doc.all("tick");
    EXPECT_TRUE(tick.FireEvent("onclick"));
    EXPECT_EQ(doc.all("Counter").innerText(), "1");
    // As the old browser: the handler ran, the box was not toggled.
    EXPECT_FALSE(tick.checked());
    // The shared page script's image click toggles, focuses and fires.
    doc.callFunction("imgClick", json::array({"TICK"}));
    EXPECT_TRUE(tick.checked());
    EXPECT_EQ(doc.all("Counter").innerText(), "2");
    tick.disabled(true);
    doc.callFunction("imgClick", json::array({"Tick"}));
    EXPECT_TRUE(tick.checked());
    EXPECT_EQ(doc.all("Counter").innerText(), "2");
}

TEST_F(Browser, WindowsKeepTheirOwnViewports) {
    auto a = load(200, 100);
    auto b = load(400, 300);
    EXPECT_EQ(a->Document().execScript("innerWidth + 'x' + innerHeight"), "200x100");
    EXPECT_EQ(b->Document().execScript("innerWidth + 'x' + innerHeight"), "400x300");
    a->setViewport(250, 120);
    EXPECT_EQ(a->Document().execScript("innerWidth + 'x' + innerHeight"), "250x120");
    EXPECT_EQ(b->Document().body().clientWidth(), 400);
    // Both render: their captures are PNGs of their sizes.
    std::string pa = a->capturePng(), pb = b->capturePng();
    ASSERT_GT(pa.size(), 24u);
    ASSERT_GT(pb.size(), 24u);
    auto be32 = [](const std::string& s, size_t at) {
        return (uint8_t(s[at]) << 24) | (uint8_t(s[at + 1]) << 16) | (uint8_t(s[at + 2]) << 8) | uint8_t(s[at + 3]);
    };
    EXPECT_EQ(be32(pa, 16), 250u);
    EXPECT_EQ(be32(pa, 20), 120u);
    EXPECT_EQ(be32(pb, 16), 400u);
}

TEST_F(Browser, ProxiesOfAReplacedDocumentFail) {
    auto b = load();
    auto old = b->Document().all("HeadBid");
    b->Navigate(kBase + "test.htm");
    ASSERT_TRUE(m().runUntil([&] { return !b->Busy(); }, testing_support::kOutsideWaitMs));
    try {
        old.innerText("stale");
        FAIL() << "a handle of the old document was used";
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, kErrObjectRequired);
    }
    EXPECT_EQ(b->Document().all("HeadBid").innerText(), "1.23");
}

TEST_F(Browser, CreatePopupIsAHostWindowThatReachesItsPage) {
    auto b = load();
    std::vector<WebBrowser::PopupRequest> requests;
    b->PopupChanged = [&](const WebBrowser::PopupRequest& r) { requests.push_back(r); };
    auto doc = b->Document();
    doc.callFunction("iPopup");
    ASSERT_TRUE(waitFor([&] { return requests.size() == 1; }));
    const auto& shown = requests[0];
    EXPECT_TRUE(shown.show);
    // Placed relative to the element it was shown against.
    EXPECT_EQ(shown.x, 15);
    EXPECT_EQ(shown.y, 26);
    EXPECT_EQ(shown.w, 120);
    EXPECT_EQ(shown.h, 50);
    std::string png = b->capturePng(shown.id);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png[19], 120);
    // A click in the pop-up runs the opener page's script.
    b->clickAt(20, 20, 1, shown.id);
    ASSERT_TRUE(waitFor([&] { return doc.all("Counter").innerText() == "新闻"; }));
    // A window the page opens otherwise is offered to the control and not shown.
    std::vector<std::string> opened;
    b->NewWindow2 = [&](const std::string& url, bool& cancel) {
        opened.push_back(url);
        cancel = true;
    };
    doc.execScript("window.open('http://news.invalid/a.htm', '_blank')");
    ASSERT_TRUE(waitFor([&] { return opened.size() == 1; }));
    EXPECT_EQ(opened[0], "http://news.invalid/a.htm");
    doc.callFunction("PopupClose");
    ASSERT_TRUE(waitFor([&] { return requests.size() == 2; }));
    EXPECT_FALSE(requests[1].show);
}

// A browser of its own, killed while a call waits on it.
TEST(BrowserDeath, ChromiumKilledMidCallIsReportedNotAHang) {
    pages::registerResources();
    sys::addResource(sys::kPageResourceType, "test.htm", kTestPage);
    testing_support::TestMachine machine;
    auto b = std::make_unique<WebBrowser>(320, 200);
    b->Navigate(kBase + "test.htm");
    ASSERT_TRUE(machine->runUntil([&] { return !b->Busy(); }, testing_support::kOutsideWaitMs));
    auto doc = b->Document();
    int pid = BrowserHost::of(machine.get()).browserIfRunning()->pid();
    // Killed once the page spins in its endless loop, which only the call starts: the browser's
    // processes have used a good deal more CPU time than the idle page does.
    const std::vector<int> tree = BrowserHost::of(machine.get()).processTree();
    auto cpuTicks = [tree] {
        long long sum = 0;
        for (int p : tree)
            if (const auto f = hostProcessStat(p); f.size() > 12) sum += std::atoll(f[11].c_str()) + std::atoll(f[12].c_str());
        return sum;
    };
    const long long idle = cpuTicks();
    std::thread killer([&cpuTicks, idle, pid] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(testing_support::kOutsideWaitMs);
        while (cpuTicks() < idle + sysconf(_SC_CLK_TCK) / 4 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, SIGKILL);
    });
    try {
        // The page hangs; only the browser's death ends the call.
        doc.execScript("for (;;) {}");
        FAIL() << "the call returned";
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, kErrBrowserGone);
    }
    killer.join();
    EXPECT_FALSE(b->alive());
    EXPECT_FALSE(b->Busy());
    EXPECT_THROW(doc.all("HeadBid"), forms::RuntimeError);
    EXPECT_EQ(BrowserHost::of(machine.get()).deaths(), 1);
    // A new page starts a new browser.
    auto again = std::make_unique<WebBrowser>(100, 100);
    again->Navigate(kBase + "test.htm");
    ASSERT_TRUE(machine->runUntil([&] { return !again->Busy(); }, testing_support::kOutsideWaitMs));
    EXPECT_EQ(again->Document().all("HeadBid").innerText(), "1.23");
}

TEST(BrowserDeath, AHungPageEndsTheBrowserWithinTheBound) {
    pages::registerResources();
    sys::addResource(sys::kPageResourceType, "test.htm", kTestPage);
    testing_support::TestMachine machine;
    auto b = std::make_unique<WebBrowser>(320, 200);
    b->Navigate(kBase + "test.htm");
    ASSERT_TRUE(machine->runUntil([&] { return !b->Busy(); }, testing_support::kOutsideWaitMs));
    // Short only for the hung call: a loaded machine may take longer than this to start a page.
    BrowserHost::of(machine.get()).callTimeoutMs = 1500;
    auto doc = b->Document();
    try {
        doc.execScript("for (;;) {}");
        FAIL() << "the call returned";
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, kErrBrowserTimeout);
    }
    EXPECT_FALSE(b->alive());
    // Later calls fail at once instead of waiting again.
    EXPECT_THROW(doc.all("HeadBid"), forms::RuntimeError);
    EXPECT_EQ(BrowserHost::of(machine.get()).deaths(), 1);
}

// A browser that keeps dying is started again only so many times within a while of the
// machine's clock; one that dies now and then comes back each time, however often in all.
TEST(BrowserDeath, RestartsCloseTogetherAreBoundedByTheMachinesClock) {
    pages::registerResources();
    sys::addResource(sys::kPageResourceType, "test.htm", kTestPage);
    testing_support::TestMachine machine;
    auto& host = BrowserHost::of(machine.get());
    auto b = std::make_unique<WebBrowser>(320, 200);
    b->Navigate(kBase + "test.htm");
    const auto shown = [&] {
        try {
            return !b->Busy() && b->alive() && b->Document().all("HeadBid").innerText() == "1.23";
        } catch (const forms::RuntimeError&) {
            return false;  // between browsers
        }
    };
    const auto waitFor = [&](const std::function<bool()>& done) {
        machine->beginOutsideWork();
        const bool ok = machine->runUntil(done, testing_support::kOutsideWaitMs);
        machine->endOutsideWork();
        return ok;
    };
    ASSERT_TRUE(waitFor(shown));
    // Kills the browser; true when a new one shows the page again.
    const auto killed = [&] {
        const int deaths = host.deaths(), restarts = host.restarts();
        kill(host.browserIfRunning()->pid(), SIGKILL);
        if (!waitFor([&] { return host.deaths() > deaths; })) return false;
        machine->runFor(10);
        return host.restarts() > restarts && waitFor(shown);
    };

    // The bound's worth of deaths, a minute apart.
    const uint64_t gapMs = 60000;
    ASSERT_LT(gapMs * (BrowserHost::kMaxRestarts - 1), BrowserHost::kRestartWindowMs);
    uint64_t firstRestart = 0;
    for (int i = 0; i < BrowserHost::kMaxRestarts; ++i) {
        ASSERT_TRUE(killed()) << "death " << i + 1;
        if (i == 0) firstRestart = machine->clock().tickMs();
        machine->runFor(gapMs);
    }
    // Once the first restart is out of the window, one more comes back; the next does not.
    machine->runFor(firstRestart + BrowserHost::kRestartWindowMs - machine->clock().tickMs());
    ASSERT_TRUE(killed());
    EXPECT_FALSE(killed());
    EXPECT_FALSE(b->alive());
    EXPECT_FALSE(b->Busy());
    EXPECT_EQ(host.restarts(), BrowserHost::kMaxRestarts + 1);
}

} // namespace

TEST(BrowserProfiles, FoldersOfKilledRunsGoAndLiveOnesStay) {
    namespace fs = std::filesystem;
    const fs::path tmp = fs::temp_directory_path() / ("pennant-profiles-" + std::to_string(::getpid()));
    fs::create_directories(tmp);
    auto folder = [&](const std::string& name, const std::string& note) {
        fs::create_directories(tmp / name / "Default");
        if (!note.empty()) std::ofstream(tmp / name / "pennant-owner") << note;
        return tmp / name;
    };
    // A process that has ended: its id names nobody now (or somebody started later).
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    std::ifstream self("/proc/self/stat");
    std::string stat;
    std::getline(self, stat);
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string f;
    for (int i = 3; i < 22; ++i) fields >> f;
    std::string myStart;
    fields >> myStart;

    const fs::path dead = folder("pennant-chromium-dead01", std::to_string(child) + " 12345\n");
    const fs::path reused = folder("pennant-chromium-reuse1", std::to_string(::getpid()) + " 1\n");
    const fs::path live = folder("pennant-chromium-live01", std::to_string(::getpid()) + " " + myStart + "\n");
    const fs::path unnoted = folder("pennant-chromium-young1", "");
    const fs::path oldUnnoted = folder("pennant-chromium-old001", "");
    fs::last_write_time(oldUnnoted, fs::file_time_type::clock::now() - std::chrono::minutes(5));
    const fs::path foreign = folder("someone-else", "1 1\n");

    Chromium::removeStaleProfiles(tmp);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(reused));
    EXPECT_FALSE(fs::exists(oldUnnoted));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(unnoted));
    EXPECT_TRUE(fs::exists(foreign));
    fs::remove_all(tmp);
}
