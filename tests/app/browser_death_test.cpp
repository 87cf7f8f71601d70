// The whole program while its page browser is killed, again and again, at moments spread over a
// run: a price tick writing to the panels, a poll of the notice window's sites, a page window
// loading, and the browser's own restart with its pages reloading. After each kill the program
// still runs and its panels show quotes again; each run then leaves by Exit, which saves the
// settings and gives the user's default voice back. The moments are set on the machine's clock
// from the event that begins them, so each run kills where it did the last time.
#include "app/ProgramWindows.h"
#include "core/CommandWindows.h"
#include "core/Program.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/browser/BrowserHost.h"
#include "platform/browser/Page.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Window.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/registry/Registry.h"
#include "quotes/frmFloat.h"
#include "support/ProgramMachine.h"
#include "support/TestMachine.h"

#include "FixtureSites.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace m_Main;

enum class Phase { Tick, Poll, PageLoad, Reload };

struct Moment {
    Phase phase;
    uint64_t afterMs;  // on the machine's clock, from the event that begins the phase
};

const char* name(Phase p) {
    switch (p) {
    case Phase::Tick: return "a price tick";
    case Phase::Poll: return "a poll of the notice window";
    case Phase::PageLoad: return "a page window loading";
    case Phase::Reload: return "the pages reloading after a restart";
    }
    return "";
}

// Kills the browser once the armed moment has come: a step of the machine's pump, after the
// program's own, so a tick's writes are collected and not yet sent when it runs.
struct Killer {
    sys::Machine& m;
    fixtures::FixtureSites& sites;
    std::optional<Moment> armed{};
    std::optional<uint64_t> began{};
    int restartsAtArm = 0;
    size_t requestsAtArm = 0;

    web::BrowserHost& host() { return web::BrowserHost::of(m); }
    void arm(Moment moment) {
        armed = moment;
        began.reset();
        restartsAtArm = host().restarts();
        requestsAtArm = sites.requests().size();
    }
    void begin() {
        if (armed && !began) began = m.clock().tickMs();
    }
    void step() {
        if (!armed) return;
        if (armed->phase == Phase::Reload && host().restarts() > restartsAtArm) begin();
        if (armed->phase == Phase::Poll && sites.requests().size() > requestsAtArm) begin();
        if (!began || m.clock().tickMs() < *began + armed->afterMs) return;
        const auto browser = host().browserIfRunning();
        if (!browser) return;
        ::kill(browser->pid(), SIGKILL);
        armed.reset();
    }
};

class BrowserDeaths : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::installWholeProgram(*m);
        testing_support::setSettingsAttrib("Settings/LiveUpdate", "Checked", "0");
        for (const auto& [key, value] : sites.hostSettings()) m->setSetting(key, value);
        userVoice = defaultVoice();
        ASSERT_TRUE(userVoice);
        killerPump = m->addPump({[this] { killer.step(); }, nullptr});
    }
    void TearDown() override {
        m->removePump(killerPump);
        EndProgram();
    }

    static std::optional<std::string> defaultVoice() {
        return reg::getString(win::HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Speech\\Voices", "DefaultTokenId");
    }
    // The voice icon of the symbol's panel as the settings file has it.
    static std::optional<bool> savedVoiceIcon(const std::string& symbol) {
        if (!Config().Initialize()) return std::nullopt;
        for (pugi::xml_node item : Config().FloatList())
            if (item.attribute("Symbol").value() == symbol) return std::string(item.attribute("Voice").value()) == "1";
        return std::nullopt;
    }
    std::vector<frmFloat*> panels() {
        std::vector<frmFloat*> out;
        for (const auto& p : FloatForms)
            if (auto* f = dynamic_cast<frmFloat*>(p.get())) out.push_back(f);
        return out;
    }
    // Every panel's page is complete and shows its symbol's quote as the price loop has it.
    bool quotesShown() {
        const auto all = panels();
        if (all.empty()) return false;
        for (frmFloat* p : all) {
            if (p->Busy()) return false;
            auto* rec = Quotes.Find(p->ID());
            if (!rec || (*rec)->BID().size() < 7) return false;
            try {
                if (p->PageDocument().all("Bid").innerText() != forms::Mid((*rec)->BID(), 5, 2)) return false;
            } catch (const std::exception&) {
                return false;  // a page between browsers
            }
        }
        return true;
    }

    // One run of the program: started, killed at each moment, left by Exit.
    void run(const std::vector<Moment>& moments, int index) {
        SCOPED_TRACE("run " + std::to_string(index));
        EndProgram();
        setProgram(testing_support::kProgramFolder, "Pennant");
        InstallWindows([this](const std::string& e) {
            if (e.rfind("quotes read: ", 0) == 0 && killer.armed && killer.armed->phase == Phase::Tick) killer.begin();
        });
        win::clearMessageBoxes();
        ASSERT_TRUE(Main());
        ASSERT_TRUE(m.runUntilReal([&] { return FloatForms.Count() >= 2 && quotesShown(); }));
        // Something for Exit to save: the first panel's voice icon, changed by every run.
        const bool voiceIcon = index % 2 == 0;
        frmFloat* first = panels().front();
        const std::string symbol = first->ID();
        first->Voice(voiceIcon);

        auto& host = web::BrowserHost::of(*m);
        for (const Moment& moment : moments) {
            SCOPED_TRACE(std::string(name(moment.phase)) + " + " + std::to_string(moment.afterMs) + " ms");
            const int restarts = host.restarts();
            int expected = restarts + 1;
            if (moment.phase == Phase::Reload) {
                // The browser is killed now, and its successor while it reloads the pages.
                ::kill(host.browserIfRunning()->pid(), SIGKILL);
                ++expected;
            }
            killer.arm(moment);
            if (moment.phase == Phase::PageLoad) {
                killer.begin();
                MainForm->m_frmSysTray_MenuClick("About");
            }
            // The program's timers bring the moment (a poll may be minutes off): virtual time.
            ASSERT_TRUE(m->runUntil([&] { return !killer.armed; }, 30 * 60 * 1000)) << "the moment never came";
            ASSERT_TRUE(m.runUntilReal([&] {
                // A page window that was loading comes back as well.
                if (moment.phase == Phase::PageLoad && AboutForm()->Busy()) return false;
                return host.restarts() >= expected && quotesShown();
            }));
            ASSERT_TRUE(MainForm && MainForm->IsLoaded());
            if (moment.phase == Phase::PageLoad && AboutForm()->IsLoaded()) AboutForm()->Unload();
        }
        EXPECT_TRUE(win::messageBoxes().empty());

        MainForm->m_frmSysTray_MenuClick("Exit");
        ASSERT_TRUE(m.runUntilReal([] { return !MainForm || !MainForm->IsLoaded(); }));
        EXPECT_EQ(defaultVoice(), userVoice);
        EXPECT_EQ(savedVoiceIcon(symbol), voiceIcon);
        EndProgram();
    }

    testing_support::TestMachine m;
    fixtures::FixtureSites sites;
    Killer killer{*m, sites};
    int killerPump = 0;
    std::optional<std::string> userVoice;
};

TEST_F(BrowserDeaths, AtManyMomentsTheProgramRunsOnAndExitsAsEver) {
    std::vector<Moment> moments;
    for (uint64_t after : {0, 1, 2, 5, 10, 50, 200, 500, 999}) moments.push_back({Phase::Tick, after});
    for (uint64_t after : {0, 1, 5, 20, 100, 300}) moments.push_back({Phase::Poll, after});
    for (uint64_t after : {0, 2, 10, 30, 100, 300}) moments.push_back({Phase::PageLoad, after});
    for (uint64_t after : {0, 1, 3, 10, 30, 100, 300, 1000}) moments.push_back({Phase::Reload, after});

    // Runs of as many kills as the browser's restarts may come close together; between runs
    // the machine's clock moves on past the window they are counted in.
    const auto restartsOf = [](const Moment& k) { return k.phase == Phase::Reload ? 2 : 1; };
    std::vector<std::vector<Moment>> runs(1);
    int budget = web::BrowserHost::kMaxRestarts;
    for (const Moment& k : moments) {
        if (restartsOf(k) > budget) {
            runs.emplace_back();
            budget = web::BrowserHost::kMaxRestarts;
        }
        runs.back().push_back(k);
        budget -= restartsOf(k);
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        run(runs[i], static_cast<int>(i));
        if (HasFatalFailure()) return;
        m->runFor(web::BrowserHost::kRestartWindowMs);
    }
}

// A page event whose window fails on its own account, not the page's: the error reaches the
// message pump, which tells it on the console and in the error box, and the program leaves the
// way Exit does instead of aborting.
TEST_F(BrowserDeaths, AnErrorThatReachesThePumpIsToldAndThenTheProgramExits) {
    setProgram(testing_support::kProgramFolder, "Pennant");
    std::vector<std::string> told;
    InstallWindows();
    Tell = [&](const std::string& line) { told.push_back(line); };
    win::clearMessageBoxes();
    ASSERT_TRUE(Main());
    ASSERT_TRUE(m.runUntilReal([&] { return FloatForms.Count() >= 2 && quotesShown(); }));
    frmFloat* first = panels().front();
    const std::string symbol = first->ID();
    const bool voiceIcon = !first->Voice();
    first->Voice(voiceIcon);

    // The panel's control, found as any window is: its page's inner window.
    const win::HWND shell = win::FindWindowEx(first->hWnd(), 0, "Shell Embedding", nullptr);
    const auto page = web::BrowserHost::of(*m).viewOf(win::FindWindowEx(shell, 0, "Internet Explorer_Server", nullptr));
    ASSERT_TRUE(page && page->control);
    page->control->DocumentComplete = [](const std::string&) { throw forms::RuntimeError(5, "the set-up failed"); };
    win::queueMessageBoxAnswer(win::IDOK);
    ::kill(web::BrowserHost::of(*m).browserIfRunning()->pid(), SIGKILL);  // the page loads again

    ASSERT_TRUE(m.runUntilReal([] { return !MainForm || !MainForm->IsLoaded(); }));
    ASSERT_EQ(win::messageBoxes().size(), 1u);
    EXPECT_NE(win::messageBoxes()[0].text.find("the set-up failed"), std::string::npos);
    EXPECT_NE(std::find(told.begin(), told.end(), "error: #5 - the set-up failed"), told.end());
    EXPECT_EQ(defaultVoice(), userVoice);
    EXPECT_EQ(savedVoiceIcon(symbol), voiceIcon);
    win::clearMessageBoxes();
}

} // namespace
