// The pennant program: runs on an emulated machine whose root folder is given (see scripts/run,
// which prepares one), in real time, until interrupted or the given time has passed. It prints one
// line for each event of the price loop worth seeing.
//
// usage: pennant --machine-root DIR [--folder WINPATH] [--seconds N] [--snapshot=FILE [--snapshot-after=MS]]
//                [--setting KEY=VALUE ...]   (machine settings, such as "net.host.<host>=<base>")
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/forms/Interaction.h"
#include "platform/speech/SpVoice.h"
#include "platform/system/Machine.h"
#include "terminal-sim/Terminal.h"
#include "toolkit/frmSplash.h"
#include "toolkit/m_Main.h"
#ifdef PENNANT_HAS_BROWSER
#include "platform/browser/ScreenSnapshot.h"
#endif
#ifdef PENNANT_HAS_QUOTES
#include "quotes/frmFloat.h"
#endif
#ifdef PENNANT_HAS_NOTICES
#include "notices/frmFXNotify.h"
#endif

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::atomic<bool> g_stop{false};
sys::Machine* g_machine = nullptr;

void say(const std::string& line) {
    const int64_t ms = g_machine ? g_machine->clock().localMs() : 0;
    const int64_t s = (ms / 1000) % 86400;
    std::printf("[%02d:%02d:%02d] %s\n", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60), line.c_str());
    std::fflush(stdout);
}

// Stand-ins for the floating panel (in a build without the quote windows) and the quote board
// until their pages are part of the program: they show nothing and tell what they were given.
class ConsolePanel : public FloatPanel {
public:
    ConsolePanel() : FloatPanel("frmFloat") {
        design.width = 160 * 15;
        design.height = 80 * 15;
        design.borderStyle = forms::vbFixedToolWindow;
    }
    bool Busy() override { return false; }
    std::string ID() override { return id_; }
    void ID(const std::string& s) override { id_ = s; }
    void SymBol(const std::string& s) override { setCaption(s + " "); }
    void HeadBid(const std::string& s) override { headBid_ = s; }
    void HeadASK(const std::string& s) override { headAsk_ = s; }
    void BID(const std::string& s) override { bid_ = s.empty() ? "-" : s; }
    void ASK(const std::string& s) override { ask_ = s.empty() ? "-" : s; }
    void Price(const std::string& s) override { price_ = s.empty() ? "-" : s; }
    void iSUB(bool shown, bool) override { sub_ = shown; }
    void iSUBValue(const std::string& b, const std::string& a) override { subBid_ = b, subAsk_ = a; }
    void UpdatePrice(bool force) override {
        const std::string shown = headBid_ + "[" + bid_ + "]" + (sub_ ? subBid_ : "") + " / " + headAsk_ + "[" +
                                  ask_ + "]" + (sub_ ? subAsk_ : "");
        if (shown == last_ && !force) return;
        last_ = shown;
        say("panel " + id_ + ": " + shown + "  price " + price_);
    }
    void MT4Loading(bool on) override { overlay(loading_, on, "terminal loading"); }
    void MT4Close(bool on) override { overlay(closed_, on, "terminal closed"); }
    void TimeOut(bool on) override { overlay(timedOut_, on, "quotes timed out"); }
    void Time(const std::string&) override {}
    void Max_Min(const std::string&, const std::string&) override {}
    bool Border() override { return border_; }
    void Border(bool shown) override { border_ = shown; }
    long NB_Left() override { return Left(); }
    long NB_Top() override { return Top(); }
    int32_t Mode() override { return mode_; }
    void Mode(int32_t m) override { mode_ = m; }
    bool Voice() override { return voice_; }
    void Voice(bool on) override { voice_ = on; }
    int16_t IconEvent() override { return iconEvent_; }
    void IconEvent(int16_t e) override { iconEvent_ = e; }
    bool OrderBAR() override { return orderBar_; }
    void OrderBAR(bool shown) override { orderBar_ = shown; }
    void Confirm(bool) override {}
    void SL(int16_t) override {}
    void TP(int16_t) override {}
    void Volume(const std::string&) override {}
    std::string BaseCaption() override { return id_ + " "; }

protected:
    void Form_Unload(int&) override {
        if (m_Main::MainForm) m_Main::MainForm->ClosePopupForm(id_);
    }

private:
    void overlay(bool& state, bool on, const char* what) {
        if (state != on) say("panel " + id_ + ": " + (on ? "shows " : "hides ") + what);
        state = on;
    }
    std::string id_, headBid_, headAsk_, bid_ = "-", ask_ = "-", price_ = "-", subBid_, subAsk_, last_;
    bool sub_ = false, loading_ = false, closed_ = false, timedOut_ = false, border_ = true, voice_ = false,
         orderBar_ = false;
    int32_t mode_ = 0;
    int16_t iconEvent_ = 0;
};

class ConsoleBoard : public QuoteBoard {
public:
    ConsoleBoard() : QuoteBoard("frmQuote") {}
    bool Busy() override { return false; }
    void MT4Loading(bool) override {}
    void MT4Close(bool) override {}
    void TimeOut(bool) override {}
    void Time(const std::string&) override {}
    void UpdateQuote(int16_t) override {}
    void Show_MaxMin() override {}
    void Hide_MaxMin() override {}
    bool BerthOn() override { return false; }
    void xBerth() override {}
    std::string BaseCaption() override { return "外汇报价"; }

protected:
    void Form_Load() override {
        m_Main::QuoteBoardOpen = true;
        say("quote board opened");
    }
    void Form_Unload(int&) override { m_Main::QuoteBoardOpen = false; }
};

int usage() {
    std::fprintf(stderr, "usage: pennant --machine-root DIR [--folder WINPATH] [--seconds N] "
                         "[--snapshot=FILE [--snapshot-after=MS]] [--setting KEY=VALUE ...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
#ifdef PENNANT_HAS_BROWSER
    const auto snapshot = web::takeSnapshotSwitch(args);
#endif
    std::string root, folder = "C:\\Program Files\\Pennant";
    double seconds = 0;
    std::vector<std::pair<std::string, std::string>> settings;
    for (size_t i = 0; i < args.size(); i++) {
        const bool more = i + 1 < args.size();
        if (args[i] == "--machine-root" && more) root = args[++i];
        else if (args[i] == "--folder" && more) folder = args[++i];
        else if (args[i] == "--seconds" && more) seconds = std::atof(args[++i].c_str());
        else if (args[i] == "--setting" && more && args[i + 1].find('=') != std::string::npos) {
            const std::string& kv = args[++i];
            settings.emplace_back(kv.substr(0, kv.find('=')), kv.substr(kv.find('=') + 1));
        }
        else return usage();
    }
    if (root.empty() || !std::filesystem::is_directory(root)) return usage();

    sys::MachineOptions options;
    options.root = root;
    options.virtualClock = false;
    sys::Machine machine(options);
    sys::MachineScope scope(machine);
    g_machine = &machine;
    for (const auto& [key, value] : settings) machine.setSetting(key, value);
    speech::installSpeechService(machine);
    termsim::Terminal::registerProgram();

#ifdef PENNANT_HAS_QUOTES
    frmFloat::Install();
#else
    m_Main::NewFloatPanel = [] { return std::make_shared<ConsolePanel>(); };
#endif
    m_Main::NewQuoteBoard = [] { return std::make_shared<ConsoleBoard>(); };
#ifdef PENNANT_HAS_NOTICES
    frmFXNotify::Install();
#endif
    m_Main::setProgram(folder, "Pennant");
    m_Main::ShowSplash = [] { frmSplash::ShowSplash(); };
    m_Main::LoadMainWindow = [] {
        m_Main::MainForm = std::make_shared<frmMain>();
        m_Main::MainForm->Trace = say;
        m_Main::MainForm->Load();
    };
    std::signal(SIGINT, [](int) { g_stop = true; });
    std::signal(SIGTERM, [](int) { g_stop = true; });

    say("pennant starting on " + root);
    if (!m_Main::Main()) {
        say("start-up ended early");
        return 1;
    }
#ifdef PENNANT_HAS_BROWSER
    if (snapshot)
        web::scheduleSnapshot(machine, *snapshot, [](bool ok) { say(ok ? "snapshot written" : "snapshot failed"); });
#endif
    const uint64_t start = machine.clock().tickMs();
    while (!g_stop && m_Main::MainForm && m_Main::MainForm->IsLoaded()) {
        machine.runFor(50);
        if (seconds > 0 && machine.clock().tickMs() - start >= static_cast<uint64_t>(seconds * 1000)) break;
    }
    say("stopping");
    // Leave the way the user does, so panels, positions and settings are saved.
    if (m_Main::MainForm && m_Main::MainForm->IsLoaded()) {
        m_Main::MainForm->m_frmSysTray_MenuClick("Exit");
        machine.runUntil([] { return !m_Main::MainForm || !m_Main::MainForm->IsLoaded(); }, 5000);
    }
    if (m_Main::MainForm && m_Main::MainForm->IsLoaded()) {
        m_Main::MainForm->TimerState = frmMain::kStop;
        if (m_Main::MainForm->m_PriceTimer) m_Main::MainForm->m_PriceTimer->Interval(0);
        m_Main::MainForm->Unload();
        m_Main::MainForm.reset();
    }
    m_Main::FloatForms.Clear();
    m_Main::ReleaseQuoteBoard();
    // A splash still fading when the run ends goes before the machine does.
    if (auto& splash = frmSplash::Instance()) {
        splash->Unload();
        splash.reset();
    }
    return 0;
}
