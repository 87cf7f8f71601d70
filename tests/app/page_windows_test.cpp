// Every kind of page window in the running program, unloaded while its page is still loading:
// the browser control it lets go may still hold events of that page, and they reach nothing of
// the window.
#include "app/ProgramWindows.h"
#include "core/Program.h"
#include "core/frmMain.h"
#include "notices/frmFXNews.h"
#include "notices/frmFXNotify.h"
#include "notices/frmToast.h"
#include "platform/browser/BrowserHost.h"
#include "platform/browser/Page.h"
#include "quotes/frmFloat.h"
#include "quotes/frmOrderConfirm.h"
#include "quotes/frmOrderSet.h"
#include "quotes/frmQuote.h"
#include "settings/frmAbout.h"
#include "settings/frmInsScript.h"
#include "settings/frmLiveUpdate.h"
#include "settings/frmSettings.h"
#include "settings/frmVoiceQuote.h"
#include "support/ProgramMachine.h"
#include "support/TestMachine.h"
#include "toolkit/frmToolTip.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace m_Main;

// A page window of the program with a look at its page.
template <class Window>
class Probe : public Window {
public:
    std::shared_ptr<web::Page> page() const { return this->WebBrowser1 ? this->WebBrowser1->page() : nullptr; }
};

// Loads the window, and so its page.
template <class Window>
void openWindow(Window& w) {
    w.Load();
}
// The offer page comes only with a newer version, which no site of this machine offers.
template <>
void openWindow(frmLiveUpdate& w) {
    w.Load();
    w.LoadHTM();
}

struct Made {
    std::shared_ptr<forms::Form> window;
    std::function<std::shared_ptr<web::Page>()> page;
};

template <class Window>
Made make() {
    auto w = std::make_shared<Probe<Window>>();
    openWindow<Window>(*w);
    return Made{w, [w] { return w->page(); }};
}

// Waits, without pumping, until the browser has loaded the page: its events (the navigation's,
// the load's) are then queued for the pump, which has handed out none of them yet.
bool loadedByTheBrowser(web::Page& page) {
    const std::string loaded =
        "new Promise(function (done) {"
        " function ours() { return location.origin + '/' == '" + std::string(web::BrowserHost::kOrigin) + "'; }"
        " if (ours() && document.readyState == 'complete') done(true);"
        " else if (ours()) addEventListener('load', function () { done(true); });"
        " else done(false); })";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        try {
            const web::json r = page.call("Runtime.evaluate", {{"expression", loaded}, {"awaitPromise", true}, {"returnByValue", true}});
            if (r.contains("result") && r["result"].value("value", false)) return true;
        } catch (const std::exception&) {
            // The document the question went to was replaced by the page's.
        }
    }
    return false;
}

// The browser's page targets: one for each control that has not been let go.
int pageTargets(sys::Machine& m) {
    auto answer = web::BrowserHost::of(m).browser().call("Target.getTargets");
    const auto* r = std::get_if<web::json>(&answer);
    if (!r) return -1;
    int pages = 0;
    for (const auto& t : r->value("targetInfos", web::json::array()))
        if (t.value("type", "") == "page") ++pages;
    return pages;
}

struct Program {
    testing_support::TestMachine m;
    bool terminalFound = false;

    Program() {
        testing_support::installWholeProgram(*m);
        InstallWindows([this](const std::string& e) { terminalFound |= e.rfind("terminal found", 0) == 0; });
    }
    ~Program() { EndProgram(); }
};

TEST(PageWindows, UnloadedWhileTheirPageLoads) {
    Program p;
    auto& m = p.m;
    ASSERT_TRUE(Main());
    ASSERT_TRUE(m.runUntilReal([&] { return p.terminalFound; }));

    struct Kind {
        const char* name;
        Made (*make)();
    };
    const std::vector<Kind> kinds = {
        {"panel", make<frmFloat>},
        {"quote board", make<frmQuote>},
        {"order confirmation", make<frmOrderConfirm>},
        {"order settings", make<frmOrderSet>},
        {"tool tip", make<frmToolTip>},
        {"voice-quote dialog", make<frmVoiceQuote>},
        {"about", make<frmAbout>},
        {"live update", make<frmLiveUpdate>},
        {"settings", make<frmSettings>},
        {"script installer", make<frmInsScript>},
        {"news viewer", make<frmFXNews>},
        {"toast", make<frmToast>},
        {"notice window", make<frmFXNotify>},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const int before = pageTargets(*m);
        const Made made = kind.make();
        const std::shared_ptr<forms::Form> window = made.window;
        ASSERT_TRUE(window->IsLoaded());
        {
            const std::shared_ptr<web::Page> page = made.page();
            ASSERT_TRUE(page);
            ASSERT_TRUE(loadedByTheBrowser(*page));
        }
        // Unloaded in a round of the pump, before the round hands out the browser's events (the
        // navigation's among them), as a timer or a message of the program unloads it.
        m->post([window] { window->Unload(); });
        EXPECT_TRUE(m.runUntilReal([&] { return !window->IsLoaded() && pageTargets(*m) == before; }));
    }

    MainForm->m_frmSysTray_MenuClick("Exit");
    EXPECT_TRUE(m.runUntilReal([] { return !MainForm || !MainForm->IsLoaded(); }));
}

} // namespace
