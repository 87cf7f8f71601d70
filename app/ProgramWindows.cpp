#include "app/ProgramWindows.h"
#include "core/Program.h"
#include "core/frmMain.h"
#include "notices/frmFXNews.h"
#include "notices/frmFXNotify.h"
#include "pages/Pages.h"
#include "platform/browser/BrowserHost.h"
#include "platform/system/Machine.h"
#include "quotes/frmFloat.h"
#include "quotes/frmQuote.h"
#include "quotes/frmTerminal.h"
#include "settings/frmAbout.h"
#include "settings/frmInsScript.h"
#include "settings/frmLiveUpdate.h"
#include "settings/frmSettings.h"
#include "settings/frmVoiceClock.h"
#include "settings/frmVoiceQuote.h"
#include "toolkit/frmSplash.h"

namespace m_Main {

void InstallWindows(std::function<void(const std::string& event)> trace) {
    pages::registerResources();
    ShowSplash = [] {
        // The page browser takes a while to come up: it starts now, while the splash shows and
        // the terminal is looked for, and the first page window finds it ready.
        if (auto* machine = sys::Machine::currentOrNull()) web::BrowserHost::of(*machine).launch();
        frmSplash::ShowSplash();
    };
    NewVoiceQuote = [] { return std::make_shared<frmVoiceQuote>(); };
    NewVoiceClock = [trace] {
        auto clock = std::make_shared<frmVoiceClock>();
        clock->Trace = trace;
        return clock;
    };
    LoadMainWindow = [trace = std::move(trace)] {
        MainForm = std::make_shared<frmMain>();
        MainForm->Trace = trace;
        MainForm->Load();
    };
    NewFloatPanel = [] { return std::make_shared<frmFloat>(); };
    NewFXNotify = [] { return std::make_shared<frmFXNotify>(); };
    PopMenu = [](const std::string& symbol, const std::string& action) {
        if (MainForm) MainForm->PopMenu(symbol, action);
    };
    NewQuoteBoard = [] { return std::make_shared<frmQuote>(); };
    NewTerminalWindow = [] { return std::make_shared<frmTerminal>(); };
    NewAboutWindow = [] { return std::make_shared<frmAbout>(); };
    NewInsScriptWindow = [] { return std::make_shared<frmInsScript>(); };
    NewLiveUpdate = [] { return std::make_shared<frmLiveUpdate>(); };
    NewFXNews = [] { return std::make_shared<frmFXNews>(); };
    NewSettingsWindow = [] { return std::make_shared<frmSettings>(); };
}

} // namespace m_Main
