// The main window against the simulated terminal on a virtual clock: start-up, the price loop
// with its watchdog, time-out alarm and handshake, and the per-symbol settings.
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_MT4.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "support/Program.h"
#include "support/StubVoice.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"

#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Timer.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Tray.h"
#include "platform/desktop/Window.h"
#include "platform/forms/Interaction.h"
#include "platform/registry/Registry.h"
#include "platform/speech/SpVoice.h"
#include "platform/system/Process.h"
#include "toolkit/cls_Config.h"
#include "toolkit/frmSplash.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

using testing_support::TestMachine;
using namespace m_Main;

namespace {

const char* const kFolder = testing_support::kProgramFolder;
const char* const kSettings = testing_support::kProgramSettings;

// A floating panel that keeps what it was told.
struct PanelDouble : FloatPanel {
    PanelDouble() : FloatPanel("frmFloat") { design.width = 2400, design.height = 1200; }
    std::string id, symbol, headBid, headAsk, bid = "-", ask = "-", price = "-", time, high, low, volume;
    bool sub = false, loading = false, closed = false, timedOut = false, border = true, voice = false,
         orderBar = false, confirm = false;
    int32_t mode = 0;
    int16_t iconEvent = 0, sl = 0, tp = 0;
    int updates = 0;
    std::function<void()> onUpdate;

    std::function<bool()> busyWhile;       // the page is loading while this holds
    std::vector<std::string>* log = nullptr;

    bool Busy() override { return busyWhile && busyWhile(); }
    std::string ID() override { return id; }
    void ID(const std::string& s) override {
        id = s;
        if (log) log->push_back("set up " + s);
    }
    void SymBol(const std::string& s) override { symbol = s; }
    void HeadBid(const std::string& s) override { headBid = s; }
    void HeadASK(const std::string& s) override { headAsk = s; }
    void BID(const std::string& s) override { bid = s.empty() ? "-" : s; }
    void ASK(const std::string& s) override { ask = s.empty() ? "-" : s; }
    void Price(const std::string& s) override { price = s.empty() ? "-" : s; }
    void iSUB(bool shown, bool) override { sub = shown; }
    void iSUBValue(const std::string&, const std::string&) override {}
    void UpdatePrice(bool) override {
        updates++;
        if (onUpdate) onUpdate();
    }
    void MT4Loading(bool on) override { loading = on; }
    void MT4Close(bool on) override { closed = on; }
    void TimeOut(bool on) override { timedOut = on; }
    void Time(const std::string& s) override { time = s; }
    void Max_Min(const std::string& h, const std::string& l) override { high = h, low = l; }
    bool Border() override { return border; }
    void Border(bool shown) override { border = shown; }
    long NB_Left() override { return Left(); }
    long NB_Top() override { return Top(); }
    int32_t Mode() override { return mode; }
    void Mode(int32_t m) override { mode = m; }
    bool Voice() override { return voice; }
    void Voice(bool on) override { voice = on; }
    int16_t IconEvent() override { return iconEvent; }
    void IconEvent(int16_t e) override { iconEvent = e; }
    bool OrderBAR() override { return orderBar; }
    void OrderBAR(bool shown) override { orderBar = shown; }
    void Confirm(bool on) override { confirm = on; }
    void SL(int16_t p) override { sl = p; }
    void TP(int16_t p) override { tp = p; }
    void Volume(const std::string& v) override { volume = v; }
    std::string BaseCaption() override { return id + " "; }

protected:
    void Form_Unload(int&) override {
        if (MainForm) MainForm->ClosePopupForm(id);
    }
};

struct BoardDouble : QuoteBoard {
    BoardDouble() : QuoteBoard("frmQuote") {}
    bool loading = false, closed = false, timedOut = false;
    std::string time;
    int updates = 0;
    bool Busy() override { return false; }
    void MT4Loading(bool on) override { loading = on; }
    void MT4Close(bool on) override { closed = on; }
    void TimeOut(bool on) override { timedOut = on; }
    void Time(const std::string& s) override { time = s; }
    void UpdateQuote(int16_t) override { updates++; }
    void Show_MaxMin() override {}
    void Hide_MaxMin() override {}
    bool BerthOn() override { return false; }
    void xBerth() override {}
    std::string BaseCaption() override { return "报价板"; }

protected:
    void Form_Load() override { QuoteBoardOpen = true; }
    void Form_Unload(int&) override { QuoteBoardOpen = false; }
};

struct VoiceDialogDouble : VoiceQuoteDialog {
    VoiceDialogDouble() : VoiceQuoteDialog("frmVoiceQuote") { design.caption = "语音报价设置"; }
    std::string delta = "7", interval = "20", deltaFormat = "[别名][价格]", intervalFormat = "[别名][方向][点差]";
    bool enableDelta = true, enableInterval = false, enable = true, changed = true;
    std::string VoiceDelta() override { return delta; }
    std::string VoiceInterval() override { return interval; }
    std::string DeltaFormat() override { return deltaFormat; }
    std::string IntervalFormat() override { return intervalFormat; }
    bool EnableDelta() override { return enableDelta; }
    bool EnableInterval() override { return enableInterval; }
    bool VoiceEnable() override { return enable; }
    bool SETChanged() override { return changed; }
    // What the opener does, in order.
    std::vector<std::string> calls;
    bool busy = false;
    bool Busy() override { return busy; }
    void ID(const std::string& v) override { calls.push_back("ID=" + v); }
    void VoiceDelta(const std::string& v) override { calls.push_back("VoiceDelta=" + v); }
    void VoiceInterval(const std::string& v) override { calls.push_back("VoiceInterval=" + v); }
    void DeltaFormat(const std::string& v) override { calls.push_back("DeltaFormat=" + v); }
    void IntervalFormat(const std::string& v) override { calls.push_back("IntervalFormat=" + v); }
    void EnableDelta(bool v) override { calls.push_back(std::string("EnableDelta=") + (v ? "1" : "0")); }
    void EnableInterval(bool v) override { calls.push_back(std::string("EnableInterval=") + (v ? "1" : "0")); }
    void VoiceEnable(bool v) override { calls.push_back(std::string("VoiceEnable=") + (v ? "1" : "0")); }

protected:
    void Form_Unload(int&) override {
        if (VoiceQuoteForm == this) ReleaseVoiceQuote();
    }
};



// The program installed on a fresh machine with the terminal, started through its entry routine.
struct Program {
    TestMachine m;
    std::string terminalExe;
    std::vector<std::shared_ptr<PanelDouble>> panels;
    std::shared_ptr<BoardDouble> board;
    std::vector<std::string> events;
    std::vector<std::string> panelLog;            // panels made and set up, in order
    std::function<bool(size_t)> pageBusy;        // whether the n-th panel's page still loads

    explicit Program(termsim::TerminalOptions options = {}, bool speech = true, sys::MachineOptions machine = {})
        : m(std::move(machine)) {
        EndProgram();
        if (speech) testing_support::installStubVoice(*m);
        terminalExe = termsim::Terminal::install(*m, "C:\\Program Files\\MetaTrader 4", std::move(options));
        testing_support::installProgram(*m);
        install();
    }
    void install() {
        setProgram(kFolder, "Pennant");
        NewFloatPanel = [this] {
            auto p = std::make_shared<PanelDouble>();
            panels.push_back(p);
            panelLog.push_back("made");
            p->log = &panelLog;
            if (pageBusy) p->busyWhile = [this, n = panels.size()] { return pageBusy(n); };
            return p;
        };
        NewQuoteBoard = [this] { return board = std::make_shared<BoardDouble>(); };
        LoadMainWindow = [this] {
            MainForm = std::make_shared<frmMain>();
            MainForm->Trace = [this](const std::string& e) { events.push_back(e); };
            MainForm->Load();
        };
    }
    ~Program() { EndProgram(); }
    void setAttrib(const std::string& path, const std::string& name, const std::string& value) {
        testing_support::setSettingsAttrib(path, name, value);
    }
    bool start() { return Main(); }
    frmMain& main() { return *MainForm; }
    termsim::Terminal* terminal() { return termsim::Terminal::find(*m, TerminalPid); }
    termsim::Terminal* running() {
        const win::HWND h = win::FindWindow(termsim::Terminal::kMainClass, nullptr);
        return h ? termsim::Terminal::ofWindow(h) : nullptr;
    }
    PanelDouble* panel(const std::string& symbol) {
        auto* p = FloatForms.Find(symbol);
        return p ? static_cast<PanelDouble*>(p->get()) : nullptr;
    }
    bool saw(const std::string& prefix) const {
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0) return true;
        return false;
    }
    std::vector<std::string> spoken() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind("speak: ", 0) == 0) out.push_back(e.substr(7));
        return out;
    }
    std::vector<win::TrayIconRecord> tray() { return win::trayIcons(); }
    // Stops the terminal's clock: quotes and server time stand still.
    void freezeTerminal(termsim::Terminal& t) {
        sys::ProcessScope scope(t.pid());
        win::KillTimer(t.mainWindow(), 1);
    }
    void kill(termsim::Terminal& t) {
        const win::HANDLE h = win::OpenProcess(win::PROCESS_TERMINATE, 0, t.pid());
        win::TerminateProcess(h, 1);
        win::CloseHandle(h);
    }
};

} // namespace

// ---- Pure routines ------------------------------------------------------------------------------

TEST(frmMainRoutines, PriceDigitsSplitsThePrice) {
    struct Case {
        const char* price;
        int32_t head, pos;
        bool pip;
    } cases[] = {{"1.23456", 4, 5, true}, {"1.2345", 4, 5, false}, {"110.256", 3, 5, true},
                 {"1234.56", 4, 6, false}, {"110.25", 3, 5, false}, {"123", -1, 1, true}};
    for (const auto& c : cases) {
        int32_t h = 99, p = 99;
        bool f = false;
        frmMain::PriceDigits(c.price, h, p, f);
        EXPECT_EQ(h, c.head) << c.price;
        EXPECT_EQ(p, c.pos) << c.price;
        EXPECT_EQ(f, c.pip) << c.price;
    }
    int32_t h = 7, p = 8;
    bool f = true;
    frmMain::PriceDigits("", h, p, f);
    EXPECT_EQ(h, 7);
    EXPECT_EQ(p, 8);
    EXPECT_TRUE(f);
}

TEST(frmMainRoutines, StaleTextAndTitle) {
    EXPECT_EQ(frmMain::StaleText(90), "1分30秒");
    EXPECT_EQ(frmMain::StaleText(3600), "1时");
    EXPECT_EQ(frmMain::StaleText(3725), "1时2分5秒");
    EXPECT_EQ(frmMain::StaleText(60), "1分");
    EXPECT_EQ(frmMain::StaleText(0), "");
    EXPECT_EQ(frmMain::StaleText(-1), "");

    EXPECT_EQ(frmMain::GetMT4Title("8012345: Zidara-Demo - 模拟账户 - [EURUSD,H1]"), "8012345: Zidara-Demo - 模拟账户");
    EXPECT_EQ(frmMain::GetMT4Title("8012345: Zidara-Demo - 模拟账户"), "8012345: Zidara-Demo - 模拟账户");
    EXPECT_EQ(frmMain::GetMT4Title("a,b"), "a,b");
}

// ---- Start-up and the price loop ------------------------------------------------------------------

// Not running but installed: the program starts it, opens the saved panels and feeds them.
TEST(frmMain, StartsTheTerminalAndReachesSteadyState) {
    Program p;
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(MainForm);
    EXPECT_TRUE(TerminalReady);
    EXPECT_NE(TerminalPid, 0u);
    ASSERT_NE(p.terminal(), nullptr);
    EXPECT_TRUE(sys::iequals(TerminalExe, p.terminalExe)) << TerminalExe;
    EXPECT_TRUE(PanelsLoaded);
    ASSERT_EQ(FloatForms.Count(), 2);
    ASSERT_GT(Quotes.Count(), 2);
    auto icons = p.tray();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_NE(icons[0].balloonText.find("MT4平台已启用: " + TerminalTitle), std::string::npos);
    EXPECT_EQ(icons[0].tip, "Pennant\r\n" + TerminalTitle);

    // The icon window: 36 pixels, 72 left of the right edge, 36 from the top, top-most.
    EXPECT_EQ(p.main().Width(), 36 * 15);
    EXPECT_EQ(p.main().Left(), (p.m->screenWidth() - 72) * 15);
    EXPECT_EQ(p.main().Top(), 36 * 15);
    EXPECT_EQ(p.main().m_PriceTimer->Interval(), 1000);

    p.m->runFor(5000);
    EXPECT_FALSE(p.main().TerminalLoading);  // the server time has moved
    PanelDouble* eur = p.panel("EURUSD");
    ASSERT_NE(eur, nullptr);
    const auto& rec = *Quotes.Find("EURUSD");
    int32_t h = 0, b = 0;
    bool f = false;
    frmMain::PriceDigits(rec->BID(), h, b, f);
    EXPECT_EQ(eur->bid, rec->BID().substr(b - 1, 2));
    EXPECT_EQ(eur->headBid, rec->BID().substr(0, h));
    EXPECT_GE(eur->updates, 5);
    EXPECT_FALSE(eur->closed);
    EXPECT_FALSE(eur->timedOut);
    EXPECT_EQ(eur->symbol, "EURUSD");
    EXPECT_EQ(eur->volume, "0.1");
    EXPECT_EQ(eur->sl, 50);
    EXPECT_EQ(rec->Alias(), "欧元");
    // The saved place, in pixels.
    EXPECT_EQ(eur->Left(), 760 * 15);
    EXPECT_EQ(eur->Top(), 120 * 15);
    EXPECT_EQ(p.panel("GBPUSD")->mode, 1);
    EXPECT_TRUE(p.saw("quotes read: "));
}

// The start-up shows the splash before the main window loads; the load starts its fade.
TEST(frmMain, PanelsAreSetUpInTheirOrderEachOnceItsPageIsReady) {
    {
        // Ready pages: the first panel shows before the second page is even made.
        Program p;
        ASSERT_TRUE(p.start());
        EXPECT_EQ(p.panelLog, (std::vector<std::string>{"made", "set up EURUSD", "made", "set up GBPUSD"}));
    }
    {
        // The first page is still loading when the second is ready: the second waits its turn.
        Program p;
        p.pageBusy = [&p](size_t n) { return n == 1 && p.panels.size() < 2; };
        ASSERT_TRUE(p.start());
        EXPECT_EQ(p.panelLog, (std::vector<std::string>{"made", "made", "set up EURUSD", "set up GBPUSD"}));
        EXPECT_EQ(FloatForms.Key(1), "EURUSD");
        EXPECT_EQ(FloatForms.Key(2), "GBPUSD");
    }
}

TEST(frmMain, SplashShowsDuringStartUpAndFadesAfterTheLoad) {
    Program p;
    struct Cleanup {
        ~Cleanup() {
            ShowSplash = nullptr;
            if (auto& s = frmSplash::Instance()) {
                s->Unload();
                s.reset();
            }
        }
    } cleanup;
    ShowSplash = [] { frmSplash::ShowSplash(); };
    bool shownFirst = false;
    auto load = LoadMainWindow;
    LoadMainWindow = [&shownFirst, load] {
        shownFirst = frmSplash::Instance() && frmSplash::Instance()->Visible();
        load();
    };
    ASSERT_TRUE(p.start());
    EXPECT_TRUE(shownFirst);
    ASSERT_TRUE(frmSplash::Instance());
    EXPECT_TRUE(frmSplash::Instance()->Fading());
    p.m->runFor(1000);
    EXPECT_FALSE(frmSplash::Instance());
}

// Settings without the start-up defaults gain exactly them, once.
TEST(frmMain, StartUpFillsMissingDefaultsOnce) {
    Program p;
    p.m->writeFileAtomic(kSettings,
                         "<App><Settings><Startup><RunMT4 Checked=\"1\" MT4File=\"\"/></Startup><Timeout/>"
                         "<FXNews/><VoiceClock/></Settings><Window><Float/><FXNews/></Window>"
                         "<VoiceQuote/><FXCalendar><Week1><Item Time=\"t\"/></Week1></FXCalendar></App>");
    win::queueMessageBoxAnswer(win::IDOK);  // the store reports the missing Interval
    ASSERT_TRUE(p.start());
    EXPECT_EQ(win::messageBoxes().size(), 1u);
    cls_Config& c = Config();
    EXPECT_EQ(c.GetNodeAttrib("Settings/Timeout", "Checked"), "1");
    EXPECT_EQ(c.GetNodeAttrib("Settings/Timeout", "Sound"), "0");
    EXPECT_EQ(c.GetNodeAttrib("Settings/Timeout", "Voice"), "0");
    EXPECT_EQ(c.GetNodeAttrib("QuickOrder", "defSL"), "50");
    EXPECT_EQ(c.GetNodeAttrib("QuickOrder", "defVolume"), "0.1");
    EXPECT_EQ(c.GetNodeAttrib("FXCalendar", "Update"), "0");
    EXPECT_TRUE(c.WeekList(1).empty());
    EXPECT_EQ(c.GetNodeAttrib("Settings/LiveUpdate", "Checked"), "1");
    EXPECT_EQ(c.GetNodeAttrib("Settings/Brisk", "Sound"), "1");
    EXPECT_EQ(c.GetNodeAttrib("Window", "DoubleClick"), "1");
    EXPECT_EQ(c.GetNodeAttrib("Settings/FXNews", "Include"), "");
    EXPECT_EQ(TimeoutSeconds, 0);  // Checked on, Interval missing
    EXPECT_TRUE(FloatForms.Count() == 0);

    // A second start adds nothing.
    c.XMLSave();
    const auto first = p.m->readFile(kSettings);
    p.main().m_PriceTimer->Interval(0);
    p.main().Unload();
    EndProgram();
    p.install();
    win::queueMessageBoxAnswer(win::IDOK);
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(MainForm);
    Config().XMLSave();
    EXPECT_EQ(p.m->readFile(kSettings), first);
}

TEST(frmMain, ADamagedRegistryIsToldApartFromAMissingTerminal) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("pennant-damaged-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    std::ofstream(root / "registry.dat", std::ios::binary) << "{\"format\":\"pennant-registry\",\"hives\":{";
    {
        Program p({}, false, sys::MachineOptions{.root = root});
        win::queueMessageBoxAnswer(win::IDOK);  // no voice can be found either
        ASSERT_TRUE(p.start());
        EXPECT_FALSE(TerminalReady);
        auto icons = p.tray();
        ASSERT_EQ(icons.size(), 1u);
        EXPECT_NE(icons[0].balloonText.find("注册表已损坏"), std::string::npos) << icons[0].balloonText;
        EXPECT_EQ(icons[0].balloonText.find("未发现系统安装"), std::string::npos);
        EXPECT_TRUE(p.saw("registry damaged"));
    }
    std::filesystem::remove_all(root);
}

TEST(frmMain, NoTerminalInstalledGivesTheWarningBalloonAndTheLoopKeepsLooking) {
    Program p;
    p.setAttrib("Settings/Startup/RunMT4", "MT4File", "C:\\nowhere\\terminal.exe");
    ASSERT_TRUE(p.start());
    EXPECT_FALSE(TerminalReady);
    auto icons = p.tray();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_NE(icons[0].balloonText.find("未发现系统安装有MT4外汇平台软件"), std::string::npos);
    EXPECT_EQ(icons[0].balloonFlags & 3u, 2u);
    EXPECT_EQ(FloatForms.Count(), 0);

    // A terminal started later is found by the loop, which then opens the saved panels.
    forms::Shell(p.terminalExe, forms::vbNormalNoFocus);
    p.m->runFor(3000);
    EXPECT_TRUE(TerminalReady);
    EXPECT_EQ(FloatForms.Count(), 2);
    EXPECT_NE(p.tray()[0].balloonTitle.find("MT4平台已启用"), std::string::npos);
}

// Quotes that stop moving raise the alarm at the time-out, with sound and speech.
TEST(frmMain, TimeOutAlarm) {
    Program p;
    p.setAttrib("Settings/Timeout", "Interval", "5");
    p.setAttrib("Settings/Timeout", "Voice", "1");
    p.setAttrib("Settings/Timeout", "Sound", "1");
    p.setAttrib("Settings/Timeout", "SoundFile", "timeout.wav");
    ASSERT_TRUE(p.start());
    p.m->runFor(3000);
    ASSERT_FALSE(p.main().TerminalLoading);
    EXPECT_FALSE(p.main().TimeoutAlarm());
    // A running server clock never counts as stale.
    EXPECT_LE(p.main().StaleSeconds(), 1);

    p.freezeTerminal(*p.terminal());
    p.m->runFor(4000);
    EXPECT_FALSE(p.main().TimeoutAlarm());
    p.m->runFor(2000);
    EXPECT_TRUE(p.main().TimeoutAlarm());
    EXPECT_TRUE(p.panel("EURUSD")->timedOut);
    EXPECT_EQ(p.panel("EURUSD")->time, "-" + frmMain::StaleText(p.main().StaleSeconds()) + "-");
    ASSERT_NE(p.main().TimeoutPlayer(), nullptr);
    ASSERT_EQ(p.spoken().size(), 1u);
    EXPECT_EQ(p.spoken()[0], "报价超时5秒");
    // Again at 15 stale seconds (a multiple of the time-out + 10), not in between.
    p.m->runUntil([&] { return p.main().StaleSeconds() >= 16; }, 20000);
    ASSERT_EQ(p.spoken().size(), 2u);
    EXPECT_EQ(p.spoken()[1], "报价超时15秒");
}

// The list stays but cannot be read: the terminal is closed and started again.
TEST(frmMain, UnreadableTerminalIsRestarted) {
    Program p;
    ASSERT_TRUE(p.start());
    p.m->runFor(2000);
    termsim::Terminal* first = p.terminal();
    ASSERT_NE(first, nullptr);
    const uint32_t firstPid = first->pid();
    first->setRows({{"", "1.2"}}, 3);  // a row without a symbol fails the read
    p.m->runFor(1500);
    EXPECT_TRUE(p.saw("terminal restart: "));
    bool warned = false;
    for (const auto& b : win::balloonHistory())
        warned = warned || b.text == "在获取MT4软件报价时出现异常错误!现正尝试重新运行MT4!";
    EXPECT_TRUE(warned);
    EXPECT_TRUE(p.saw("terminal restarted"));
    EXPECT_NE(TerminalPid, firstPid);
    ASSERT_NE(p.terminal(), nullptr);
    EXPECT_EQ(termsim::Terminal::find(*p.m, firstPid), nullptr);
    p.m->runFor(3000);
    EXPECT_TRUE(TerminalReady);
    EXPECT_FALSE(p.panel("EURUSD")->closed);
    // The panel shows the new terminal's price.
    const auto& rec = *Quotes.Find("EURUSD");
    int32_t h = 0, b = 0;
    bool f = false;
    frmMain::PriceDigits(rec->BID(), h, b, f);
    EXPECT_EQ(p.panel("EURUSD")->bid, rec->BID().substr(b - 1, 2));
    EXPECT_EQ(p.main().TimerState, frmMain::kRun);
}

// A terminal that lists no symbols is left alone: no quotes, no restart, no box.
TEST(frmMain, EmptyQuoteListIsNoReasonToRestart) {
    Program p;
    ASSERT_TRUE(p.start());
    p.m->runFor(2000);
    termsim::Terminal* t = p.terminal();
    ASSERT_NE(t, nullptr);
    const uint32_t pid = t->pid();
    t->setRows({}, 3);
    win::clearMessageBoxes();
    p.m->runFor(20000);
    EXPECT_FALSE(p.saw("terminal restart"));
    EXPECT_EQ(TerminalPid, pid);
    EXPECT_NE(termsim::Terminal::find(*p.m, pid), nullptr);
    EXPECT_TRUE(win::messageBoxes().empty());
    EXPECT_EQ(Quotes.Count(), 0);
}

// The terminal goes away for good: panels show it closed, the restart is not tried, and a
// terminal that comes back is announced again.
TEST(frmMain, TerminalThatDiesAndNeverComesBack) {
    Program p;
    ASSERT_TRUE(p.start());
    p.m->runFor(2000);
    p.kill(*p.terminal());
    p.m->runFor(1500);
    EXPECT_FALSE(TerminalReady);
    EXPECT_EQ(p.main().StaleSeconds(), -1);
    EXPECT_TRUE(p.panel("EURUSD")->closed);
    EXPECT_EQ(p.panel("EURUSD")->Caption(), "EURUSD ");
    EXPECT_EQ(p.tray()[0].balloonTitle, "MT4平台已关闭!");
    EXPECT_EQ(p.running(), nullptr);
    p.m->runFor(10000);
    EXPECT_EQ(p.running(), nullptr);
    EXPECT_FALSE(TerminalReady);
}

// A restarted terminal that never answers: bounded wait, the stop box, counted as closed.
TEST(frmMain, RestartThatNeverAnswers) {
    termsim::TerminalOptions late;
    late.startDelayMs = 60000;
    Program p;
    ASSERT_TRUE(p.start());
    p.m->runFor(2000);
    termsim::Terminal::configure(*p.m, p.terminalExe, late);
    p.terminal()->setRows({{"", "1.2"}}, 3);  // unreadable
    win::queueMessageBoxAnswer(win::IDOK);
    p.m->runFor(12000);
    EXPECT_TRUE(p.saw("terminal restart failed"));
    auto boxes = win::messageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, "获取MT4软件报价时出现异常错误!");
    EXPECT_EQ(boxes.back().type, 4112u);
    EXPECT_TRUE(p.panel("EURUSD")->closed);
}

TEST(frmMain, PauseAndStopRequests) {
    Program p;
    ASSERT_TRUE(p.start());
    p.m->runFor(2000);
    PanelDouble* eur = p.panel("EURUSD");
    const int before = eur->updates;
    p.main().TimerState = frmMain::kPause;
    p.m->runFor(3000);
    EXPECT_EQ(p.main().TimerState, frmMain::kAcknowledged);
    EXPECT_EQ(eur->updates, before);
    EXPECT_EQ(p.main().m_PriceTimer->Interval(), 1000);
    p.main().TimerState = frmMain::kRun;
    p.m->runFor(2000);
    EXPECT_GT(eur->updates, before);

    // Close and restart as an operation: the loop is paused in between.
    p.main().CloseMT4();
    EXPECT_EQ(p.main().TimerState, frmMain::kAcknowledged);
    EXPECT_EQ(p.running(), nullptr);
    p.m->runFor(3000);
    EXPECT_TRUE(TerminalReady);  // paused: nobody noticed
    EXPECT_TRUE(p.main().RERunMT4());
    EXPECT_EQ(p.main().TimerState, frmMain::kRun);
    EXPECT_NE(p.running(), nullptr);

    EXPECT_TRUE(p.main().RequestTimerState(frmMain::kStop));
    EXPECT_EQ(p.main().m_PriceTimer->Interval(), 0);
}

// A tick that pumps never runs a second tick inside itself.
TEST(frmMain, TickDoesNotRunInsideItself) {
    Program p;
    ASSERT_TRUE(p.start());
    PanelDouble* eur = p.panel("EURUSD");
    int nested = 0;
    eur->onUpdate = [&] {
        if (nested++ == 0) p.main().m_PriceTimer_ThatTime();
    };
    const int before = eur->updates;
    p.main().m_PriceTimer_ThatTime();
    EXPECT_EQ(eur->updates, before + 1);

    // A pause asked for from inside the tick does not wait on it; the tick answers as it ends.
    bool answered = true;
    eur->onUpdate = [&] { answered = p.main().RequestTimerState(frmMain::kPause); };
    p.main().m_PriceTimer_ThatTime();
    EXPECT_FALSE(answered);
    EXPECT_EQ(p.main().TimerState, frmMain::kAcknowledged);
}

// A server time that is no time, and no speech object, leave the tick running.
TEST(frmMain, MalformedServerTimeAndNoSpeech) {
    Program p({}, /*speech=*/false);
    p.setAttrib("Settings/Timeout", "Interval", "2");
    p.setAttrib("Settings/Timeout", "Voice", "1");
    win::queueMessageBoxAnswer(win::IDOK);
    ASSERT_TRUE(p.start());
    EXPECT_TRUE(SpeechFailed);
    EXPECT_EQ(win::messageBoxes().front().text, "启动系统语音引擎出错!");
    p.m->runFor(2000);
    termsim::Terminal* t = p.terminal();
    p.freezeTerminal(*t);
    win::SetWindowText(t->marketWatch(), "市场报价: 25:99:xx");
    p.m->runFor(5000);
    EXPECT_TRUE(p.main().TimeoutAlarm());
    EXPECT_TRUE(p.spoken().empty());  // nothing can be said without a speech object
    EXPECT_EQ(p.panel("EURUSD")->Caption().rfind("EURUSD ", 0), 0u);
    EXPECT_GT(p.panel("EURUSD")->updates, 5);
}

// A symbol that leaves the list closes its panel.
TEST(frmMain, PanelOfAVanishedSymbolCloses) {
    Program p;
    ASSERT_TRUE(p.start());
    p.m->runFor(2000);
    termsim::Terminal* t = p.terminal();
    t->setRows({{"GBPUSD", "1.27001", "1.27021"}, {"USDJPY", "150.001", "150.021"}}, 3);
    p.m->runFor(2000);
    EXPECT_EQ(FloatForms.Count(), 1);
    EXPECT_EQ(p.panel("EURUSD"), nullptr);
    ASSERT_NE(p.panel("GBPUSD"), nullptr);
    EXPECT_EQ(p.panel("GBPUSD")->bid, "00");
    EXPECT_EQ(p.panel("GBPUSD")->headBid, "1.27");
}

// ---- Per-symbol settings --------------------------------------------------------------------------

// The panel menu's voice settings: the dialog is filled from the record in the order its
// snapshot needs (VoiceEnable last) and shown owned by the main window; a symbol without a
// record opens nothing.
TEST(frmMain, VoiceSetFillsTheDialogFromTheRecord) {
    Program p;
    std::shared_ptr<VoiceDialogDouble> dlg;
    NewVoiceQuote = [&] { return dlg = std::make_shared<VoiceDialogDouble>(); };
    ASSERT_TRUE(p.start());
    p.m->runFor(2000);
    p.main().openVoiceSet("NOSUCH");
    EXPECT_EQ(dlg, nullptr);

    auto rec = *Quotes.Find("EURUSD");
    rec->VoiceDelta(12);
    rec->DeltaFormat("[别名][价格]");
    rec->VoiceInterval(45);
    rec->IntervalFormat("[别名][方向]");
    rec->EnableDelta(false);
    rec->EnableInterval(true);
    rec->VoiceEnable(true);
    dlg = nullptr;
    p.main().openVoiceSet("EURUSD");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->calls, (std::vector<std::string>{"VoiceDelta=12", "DeltaFormat=[别名][价格]", "VoiceInterval=45",
                                                    "IntervalFormat=[别名][方向]", "ID=EURUSD", "EnableDelta=0",
                                                    "EnableInterval=1", "VoiceEnable=1"}));
    EXPECT_EQ(dlg->Caption(), "EURUSD - 语音报价设置");
    EXPECT_TRUE(dlg->Visible());
    EXPECT_EQ(win::GetWindow(dlg->hWnd(), win::GW_OWNER), p.main().hWnd());
    EXPECT_EQ(VoiceQuoteForm, dlg.get());

    // Another symbol while it is open: that one closes, a fresh one opens.
    auto first = dlg;
    p.main().openVoiceSet("GBPUSD");
    EXPECT_FALSE(first->IsLoaded());
    ASSERT_NE(dlg, first);
    EXPECT_EQ(dlg->Caption(), "GBPUSD - 语音报价设置");
    EXPECT_EQ(VoiceQuoteForm, dlg.get());
    dlg->Unload();
    EXPECT_EQ(VoiceQuoteForm, nullptr);
}

TEST(frmMain, VoiceSettingsSavedAndReloaded) {
    termsim::TerminalOptions o;
    o.symbols = termsim::QuoteBook::defaultSymbols();
    o.symbols.push_back({"#US30", 2, 38000.0, 300});
    Program p(o);
    ASSERT_TRUE(p.start());
    p.m->runFor(2000);
    ASSERT_TRUE(Quotes.Exists("#US30"));

    VoiceDialogDouble dlg;
    VoiceQuoteForm = &dlg;
    p.main().SaveVoice("EURUSD");
    dlg.delta = "12";
    dlg.interval = "30.5";
    dlg.deltaFormat = "[别名][尾数]";
    p.main().SaveVoice("#US30");
    EXPECT_TRUE(p.panel("EURUSD")->voice);
    // Unchanged dialog: the record follows, the settings do not.
    dlg.changed = false;
    dlg.delta = "99";
    p.main().SaveVoice("EURUSD");
    EXPECT_EQ((*Quotes.Find("EURUSD"))->VoiceDelta(), 99);
    // A number no whole value holds keeps the one before, and the rest is still taken.
    dlg.delta = "99999999999";
    dlg.interval = "1e400";
    dlg.deltaFormat = "[别名][价格]";
    p.main().SaveVoice("EURUSD");
    EXPECT_EQ((*Quotes.Find("EURUSD"))->VoiceDelta(), 99);
    EXPECT_EQ((*Quotes.Find("EURUSD"))->DeltaFormat(), "[别名][价格]");
    VoiceQuoteForm = nullptr;
    Config().XMLSave();

    // Read back from the file by a fresh store, as the next run does.
    ASSERT_TRUE(Config().Initialize());
    EXPECT_EQ(Config().GetNodeAttrib("VoiceQuote/_x0023_US30", "PIPValue"), "12");
    EXPECT_EQ(Config().GetNodeAttrib("VoiceQuote/EURUSD", "PIPValue"), "7");
    int16_t border = -1, voice = -1, quick = 0, icon = 2;
    p.main().LoadSymbolPara("#US30", -50, 100000, -1, border, voice, quick, icon);
    auto rec = *Quotes.Find("#US30");
    EXPECT_EQ(rec->VoiceDelta(), 12);
    EXPECT_EQ(rec->VoiceInterval(), 30);  // 30.5 rounds half to even
    EXPECT_EQ(rec->DeltaFormat(), "[别名][尾数]");
    EXPECT_TRUE(rec->EnableDelta());
    EXPECT_TRUE(rec->VoiceEnable());
    EXPECT_EQ(rec->PriceMode(), -1);
    EXPECT_EQ(rec->Alias(), "");
    PanelDouble* us = p.panel("#US30");
    ASSERT_NE(us, nullptr);
    EXPECT_EQ(us->Left(), 0);
    EXPECT_EQ(us->Top() + us->Height(), win::GetSystemMetrics(79) * 15);
    EXPECT_EQ(us->iconEvent, 2);
    EXPECT_TRUE(us->voice);

    // A symbol with no element of its own takes the def attributes; one not listed opens nothing.
    int16_t b2 = -1, v2 = 0, q2 = 0, i2 = 0;
    p.main().LoadSymbolPara("USDJPY", -1, -1, 0, b2, v2, q2, i2);
    EXPECT_EQ((*Quotes.Find("USDJPY"))->VoiceDelta(), 10);
    EXPECT_EQ((*Quotes.Find("USDJPY"))->Alias(), "日元");
    const long panelsBefore = FloatForms.Count();
    p.main().LoadSymbolPara("NOSUCH", -1, -1, 0, b2, v2, q2, i2);
    EXPECT_EQ(FloatForms.Count(), panelsBefore);
}

// Voice quotes are spoken through the speech object once the terminal has settled.
TEST(frmMain, VoiceQuotesAreSpoken) {
    Program p;
    p.setAttrib("VoiceQuote", "defPIP", "1");
    p.setAttrib("VoiceQuote", "defPIPValue", "1");
    ASSERT_TRUE(p.start());
    int16_t border = -1, voice = -1, quick = 0, icon = 0;
    p.main().LoadSymbolPara("USDJPY", -1, -1, 0, border, voice, quick, icon);
    p.m->runFor(6000);
    const auto said = p.spoken();
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said[0].rfind("日元", 0), 0u) << said[0];
}

// ---- Terminal operations --------------------------------------------------------------------------

// A board whose Status is on opens at start and is fed every tick; opening it again does nothing.
TEST(frmMain, QuoteBoardIsOpenedAndFed) {
    Program p;
    p.setAttrib("Window/FXQuote", "Status", "1");
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.board);
    EXPECT_TRUE(QuoteBoardOpen);
    EXPECT_TRUE(p.board->Visible());
    p.m->runFor(3000);
    EXPECT_GE(p.board->updates, 3);
    EXPECT_FALSE(p.board->loading);
    EXPECT_EQ(p.board->time, "--");
    EXPECT_EQ(p.board->Caption().rfind("报价板 ", 0), 0u);
    EXPECT_EQ(p.board->Caption().size(), std::string("报价板 hh:mm:ss").size());
    auto* before = p.board.get();
    p.main().ShowQuoteFrm();
    EXPECT_EQ(p.board.get(), before);

    p.kill(*p.terminal());
    p.m->runFor(1500);
    EXPECT_TRUE(p.board->closed);
}

TEST(frmMain, HideMT4HidesAndShowsTheTerminal) {
    Program p;
    ASSERT_TRUE(p.start());
    const win::HWND h = p.terminal()->mainWindow();
    win::ShowWindow(h, 6);  // minimised, still visible
    ASSERT_TRUE(win::IsWindowVisible(h));
    p.main().HideMT4();
    EXPECT_FALSE(win::IsWindowVisible(h));
    EXPECT_FALSE(win::IsIconic(h));
    p.main().HideMT4();
    EXPECT_TRUE(win::IsWindowVisible(h));
    EXPECT_TRUE(win::IsZoomed(h));
    EXPECT_EQ(win::GetForegroundWindow(), h);
}
