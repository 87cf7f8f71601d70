// The entry routine, and the end of a run that puts every process-wide value back.
#include "core/CommandWindows.h"
#include "core/NeighbourWindows.h"
#include "core/Program.h"
#include "core/QuoteWindows.h"
#include "core/cls_Quote.h"
#include "support/TestMachine.h"
#include "tests/core/QuoteWindowDoubles.h"
#include "toolkit/cLibrary.h"
#include "toolkit/cls_Config.h"
#include "platform/desktop/MessageBox.h"
#include "platform/registry/Registry.h"
#include "platform/system/InstanceLock.h"
#include "platform/system/Resources.h"

#include <gtest/gtest.h>

using testing_support::TestMachine;

namespace {

const char* kFolder = "C:\\Program Files\\Pennant";

struct StartTest : ::testing::Test {
    TestMachine m;
    int splash = 0, mainWindow = 0;
    void SetUp() override {
        m_Main::setProgram(kFolder, "Pennant");
        m_Main::ShowSplash = [this] { ++splash; };
        m_Main::LoadMainWindow = [this] { ++mainWindow; };
    }
    void TearDown() override { m_Main::EndProgram(); }
    void installSettings(const std::string& xml = "<App><Settings/></App>") {
        ASSERT_TRUE(m->writeFileAtomic(std::string(kFolder) + "\\Pennant.xml", xml));
    }
    void installVoiceToken() {
        win::HKEY key = 0;
        ASSERT_EQ(win::RegCreateKeyA(win::HKEY_LOCAL_MACHINE, m_Main::kVoiceTokenKey.c_str(), &key), win::ERROR_SUCCESS);
        win::RegCloseKey(key);
    }
    std::optional<std::string> defaultVoice() {
        return reg::getString(win::HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Speech\\Voices", "DefaultTokenId");
    }
};

} // namespace

TEST_F(StartTest, StartsAndKeepsThePathsItDerives) {
    installSettings();
    ASSERT_TRUE(m_Main::Main());
    EXPECT_EQ(m_Main::AppDir, "C:\\Program Files\\Pennant\\");
    EXPECT_EQ(m_Main::ExePath, "C:\\Program Files\\Pennant\\Pennant.exe");
    EXPECT_EQ(m_Main::PageBase, "res://C:\\Program Files\\Pennant\\Pennant.exe/");
    EXPECT_EQ(m_Main::TempDir.back(), '\\');
    EXPECT_TRUE(m->dirExists(m_Main::TempDir));
    EXPECT_EQ(splash, 1);
    EXPECT_EQ(mainWindow, 1);
    EXPECT_TRUE(Config().OK());

    m_Main::setProgram(std::string(kFolder) + "\\", "Pennant");  // given with its backslash: not doubled
    ASSERT_TRUE(m_Main::Main());
    EXPECT_EQ(m_Main::AppDir, "C:\\Program Files\\Pennant\\");
}

TEST_F(StartTest, RefusesWhatItCannotRunWith) {
    // No settings file: the message, no voice switch, no splash.
    installVoiceToken();
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_FALSE(m_Main::Main());
    ASSERT_EQ(win::messageBoxes().size(), 1u);
    EXPECT_EQ(win::messageBoxes().back().text, "Pennant.xml 文件不存在!");
    EXPECT_EQ(win::messageBoxes().back().type & 0xF0, win::MB_ICONEXCLAMATION);
    EXPECT_FALSE(m_Main::VoiceSwitched);

    // A broken file: the store's own report, and the file stays as it was.
    installSettings("<App>");
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_FALSE(m_Main::Main());
    EXPECT_EQ(win::messageBoxes().size(), 2u);
    EXPECT_EQ(m->readFile(std::string(kFolder) + "\\Pennant.xml").value(), "<App>");

    // A running copy: its window's caption gives it away.
    installSettings();
    win::HWND first = win::CreateWindowEx(0, "#32770", m_Main::kMainCaption, 0, 0, 0, 10, 10, 0);
    ASSERT_NE(first, 0);
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_FALSE(m_Main::Main());
    EXPECT_EQ(win::messageBoxes().back().text, "检测到一个正在运行的Pennant程序实例!");
    EXPECT_TRUE(win::IsWindow(first));
    EXPECT_EQ(splash + mainWindow, 0);
    EXPECT_FALSE(m_Main::VoiceSwitched);
}

TEST_F(StartTest, SwitchesTheDefaultVoiceAndGivesItBack) {
    installSettings();
    // No token installed: nothing changes.
    ASSERT_TRUE(m_Main::Main());
    EXPECT_FALSE(m_Main::VoiceSwitched);
    EXPECT_FALSE(defaultVoice());

    // Token, and the user had no default voice: restoring leaves none, not "-1".
    installVoiceToken();
    ASSERT_TRUE(m_Main::Main());
    EXPECT_TRUE(m_Main::VoiceSwitched);
    EXPECT_EQ(defaultVoice(), m_Main::kVoiceTokenId);
    m_Main::RestoreVoice();
    EXPECT_FALSE(defaultVoice());

    // The user's own voice comes back.
    reg::setString(win::HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Speech\\Voices", "DefaultTokenId", "Mine");
    ASSERT_TRUE(m_Main::Main());
    EXPECT_EQ(defaultVoice(), m_Main::kVoiceTokenId);
    m_Main::RestoreVoice();
    EXPECT_EQ(defaultVoice(), "Mine");
}

// A run that dies with our voice switched in: the next start gives the user's voice back.
TEST_F(StartTest, TheUsersVoiceSurvivesARunThatDied) {
    installSettings();
    installVoiceToken();
    for (const char* users : {"Mine", ""}) {
        SCOPED_TRACE(users);
        if (*users)
            reg::setString(win::HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Speech\\Voices", "DefaultTokenId", users);
        else
            reg::deleteValue(win::HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Speech\\Voices", "DefaultTokenId");
        ASSERT_TRUE(m_Main::Main());
        EXPECT_EQ(defaultVoice(), m_Main::kVoiceTokenId);
        m_Main::EndProgram();  // killed: nothing given back
        m_Main::setProgram(kFolder, "Pennant");
        ASSERT_TRUE(m_Main::Main());
        m_Main::RestoreVoice();
        if (*users)
            EXPECT_EQ(defaultVoice(), users);
        else
            EXPECT_FALSE(defaultVoice());
    }
    // A voice the user chose after the crash is the one kept.
    ASSERT_TRUE(m_Main::Main());
    m_Main::EndProgram();
    reg::setString(win::HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Speech\\Voices", "DefaultTokenId", "Chosen");
    m_Main::setProgram(kFolder, "Pennant");
    ASSERT_TRUE(m_Main::Main());
    m_Main::RestoreVoice();
    EXPECT_EQ(defaultVoice(), "Chosen");
}

// Another host process running the same machine holds the machine's lock: the second copy is
// refused before it writes anything.
TEST_F(StartTest, ASecondProcessOnTheSameMachineIsRefused) {
    installSettings();
    installVoiceToken();
    sys::MachineOptions same;
    same.root = m->root();
    {
        sys::Machine other(same);
        sys::MachineScope scope(other);
        ASSERT_TRUE(sys::holdMachineLock(other, "pennant"));
    }
    sys::Machine other(same);
    ASSERT_TRUE(sys::holdMachineLock(other, "pennant"));
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_FALSE(m_Main::Main());
    EXPECT_EQ(win::messageBoxes().back().text, "检测到一个正在运行的Pennant程序实例!");
    EXPECT_FALSE(m_Main::VoiceSwitched);
    EXPECT_FALSE(defaultVoice());
    EXPECT_EQ(splash + mainWindow, 0);
}

// Resources are written from the program's own module into a file of their own, replacing what
// was there.
TEST_F(StartTest, SaveResToFileWritesTheProgramsResource) {
    installSettings();
    ASSERT_TRUE(m_Main::Main());
    sys::addResource(2110, "OVERLAY.PNG", "PNGDATA");
    const std::string out = m_Main::TempDir + "OVERLAY.MPI";
    EXPECT_FALSE(m_Main::SaveResToFile(m_Main::ExePath, "MISSING.PNG", "2110", out));
    EXPECT_FALSE(m->fileExists(out));
    EXPECT_FALSE(m_Main::SaveResToFile("C:\\other.exe", "OVERLAY.PNG", "2110", out));
    ASSERT_TRUE(m->writeFileAtomic("C:\\other.exe", "MZ"));
    EXPECT_FALSE(m_Main::SaveResToFile("C:\\other.exe", "OVERLAY.PNG", "2110", out));

    ASSERT_TRUE(m->writeFileAtomic(out, "0123456789AB"));
    EXPECT_TRUE(m_Main::SaveResToFile(m_Main::ExePath, "overlay.png", "2110", out));
    EXPECT_EQ(m->readFile(out).value(), "PNGDATA");
    EXPECT_EQ(win::loadedModuleCount(), 0u);  // the module went with the call
}

// A library object holds one module and lets it go when its name changes or it goes.
TEST_F(StartTest, LibraryHoldsOneModuleAtATime) {
    installSettings();
    ASSERT_TRUE(m_Main::Main());
    ASSERT_TRUE(m->writeFileAtomic("C:\\other.dll", "MZ"));
    {
        cLibrary lib;
        lib.Filename(m_Main::ExePath);
        EXPECT_NE(lib.hModule(), 0);
        EXPECT_EQ(lib.Filename(), m_Main::ExePath);
        lib.Filename("C:\\other.dll");
        EXPECT_NE(lib.hModule(), 0);
        EXPECT_EQ(win::loadedModuleCount(), 1u);
        lib.Filename("C:\\missing.dll");
        EXPECT_EQ(lib.hModule(), 0);
        EXPECT_EQ(win::loadedModuleCount(), 0u);
        lib.Filename("C:\\other.dll");
    }
    EXPECT_EQ(win::loadedModuleCount(), 0u);
}

// A run leaves values, makers, hooks and window instances behind; the end of the program must
// put every one back, or the next run (or test) starts from the last one's state.
TEST(EndProgram, PutsEveryValueMakerAndInstanceBack) {
    TestMachine m;
    using namespace m_Main;
    setProgram("C:\\Elsewhere", "Other");
    AppDir = ExePath = TempDir = PageBase = "x";
    BalloonReturn = ShowSplash = LoadMainWindow = ShowQuoteFrm = [] {};
    VoiceSwitched = PrevDefaultVoiceMissing = SpeechFailed = OldBrowser = TimeoutSound = TimeoutVoice = true;
    TerminalReady = WindowTopMost = PanelsLoaded = HasHighLow = QuoteBoardOpen = TerminalWindowOpen = true;
    LiveUpdateOpen = OrderConfirmOpen = OrderRunning = true;
    PrevDefaultVoice = TerminalExe = TerminalTitle = "x";
    TrayCursorPoint = {3, 4};
    TimeoutSeconds = 5;
    TerminalPid = 6;
    LastMt4Hwnd = 7;
    SymbolList = {"EURUSD"};
    Quotes.Add(std::make_shared<cls_Quote>(), "EURUSD");
    FloatForms.Add(std::make_shared<FloatPanelDouble>(), "EURUSD");
    NewFloatPanel = [] { return std::make_shared<FloatPanelDouble>(); };
    PopMenu = [](const std::string&, const std::string&) {};
    std::weak_ptr<QuoteBoard> board;
    NewQuoteBoard = [&board] {
        auto made = std::make_shared<QuoteBoardDouble>();
        board = made;
        return made;
    };
    ASSERT_TRUE(QuoteBoardForm());
    std::weak_ptr<FloatPanel> panel = FloatForms.Item("EURUSD");
    struct ViewerDouble : NewsViewerWindow {
        ViewerDouble() : NewsViewerWindow("frmFXNews") {}
        bool Busy() override { return false; }
        void URL(const std::string&) override {}
        void XStyle() override {}
        void GETData() override {}
    };
    FXNewsForm = std::make_shared<ViewerDouble>();
    std::weak_ptr<forms::Form> news = FXNewsForm;
    NewVoiceClock = [] { return std::shared_ptr<VoiceClockWindow>{}; };
    NewLiveUpdate = [] { return std::shared_ptr<LiveUpdateWindow>{}; };
    NewFXNotify = [] { return std::shared_ptr<NoticeWindow>{}; };
    NewFXNews = [] { return std::shared_ptr<NewsViewerWindow>{}; };
    NewTerminalWindow = [] { return std::shared_ptr<TerminalPanelWindow>{}; };
    NewSettingsWindow = NewAboutWindow = NewInsScriptWindow = [] { return std::shared_ptr<PageDialog>{}; };

    EndProgram();

    for (const std::string* s : {&AppDir, &ExePath, &TempDir, &PageBase, &PrevDefaultVoice, &TerminalExe, &TerminalTitle})
        EXPECT_TRUE(s->empty()) << *s;
    for (const bool* b : {&VoiceSwitched, &PrevDefaultVoiceMissing, &SpeechFailed, &OldBrowser, &TimeoutSound,
                          &TimeoutVoice, &TerminalReady, &WindowTopMost, &PanelsLoaded, &HasHighLow, &QuoteBoardOpen,
                          &TerminalWindowOpen, &LiveUpdateOpen, &OrderConfirmOpen, &OrderRunning})
        EXPECT_FALSE(*b);
    EXPECT_EQ(TrayCursorPoint.x + TrayCursorPoint.y + TimeoutSeconds + static_cast<int64_t>(TerminalPid), 0);
    EXPECT_EQ(LastMt4Hwnd, win::HWND{});
    EXPECT_TRUE(SymbolList.empty());
    EXPECT_EQ(Quotes.Count() + FloatForms.Count(), 0);
    EXPECT_TRUE(board.expired());
    EXPECT_TRUE(panel.expired());
    EXPECT_TRUE(news.expired());
    EXPECT_FALSE(BalloonReturn || ShowSplash || LoadMainWindow || ShowQuoteFrm || NewFloatPanel || PopMenu ||
                 NewQuoteBoard || NewFXNotify || NewVoiceClock || NewLiveUpdate || NewTerminalWindow ||
                 NewSettingsWindow || NewAboutWindow || NewInsScriptWindow || NewFXNews);
    EXPECT_EQ(QuoteBoardForm(), nullptr);
    EXPECT_EQ(MainForm, nullptr);
}
