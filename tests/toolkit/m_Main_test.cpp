#include "support/TestMachine.h"
#include "toolkit/m_Main.h"
#include "toolkit/cls_Config.h"
#include "platform/desktop/MessageBox.h"
#include "platform/forms/RuntimeError.h"
#include "platform/registry/Registry.h"
#include "platform/system/Resources.h"

#include <gtest/gtest.h>
#include <fstream>

using testing_support::TestMachine;

TEST(MainHelpers, GetTagValueFindsTheFirstNameWithoutRegardToCase) {
    const std::string hk = "Mod(6)Key(65)HotKey(Ctrl+Shift+A)";
    EXPECT_EQ(m_Main::GetTagValue(hk, "Key", "(", ")"), "65");
    EXPECT_EQ(m_Main::GetTagValue("mod(6)key(65)hotkey(x)", "Key", "(", ")"), "65");
    EXPECT_EQ(m_Main::GetTagValue(hk, "HotKey", "(", ")"), "Ctrl+Shift+A");
    EXPECT_EQ(m_Main::GetTagValue(hk, "Nope", "(", ")"), "");
    EXPECT_EQ(m_Main::GetTagValue("名(值)", "名", "(", ")"), "值");
    try {
        m_Main::GetTagValue("Mod(6", "Mod", "(", ")");
        FAIL();
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, 5);
    }
}

TEST(MainHelpers, KeyLParamAndParentDir) {
    struct Case { int key; bool up; uint32_t expect; };
    const Case cases[] = {{13, false, 0x001C0001u}, {13, true, 0xC01C0001u}, {32, false, 0x00390001u}, {32, true, 0xC0390001u}};
    TestMachine m;
    for (const auto& c : cases) EXPECT_EQ(static_cast<uint32_t>(m_Main::KeyLParam(c.key, c.up)), c.expect) << c.key;
    EXPECT_LT(m_Main::KeyLParam(32, true), 0);
    EXPECT_EQ(m_Main::GetParentDir("C:\\Program Files\\MT4\\terminal.exe"), "C:\\Program Files\\MT4\\");
    EXPECT_EQ(m_Main::GetParentDir("terminal.exe"), "");
}

namespace {

const char* kFolder = "C:\\Program Files\\Pennant";

struct StartTest : ::testing::Test {
    TestMachine m;
    int splash = 0, mainWindow = 0;
    void SetUp() override {
        m_Main::setProgram(kFolder, "Pennant");
        m_Main::ShowSplash = [this] { ++splash; };
        m_Main::LoadMainWindow = [this] { ++mainWindow; };
        m_Main::VoiceSwitched = false;
        m_Main::PrevDefaultVoice.clear();
        m_Main::PrevDefaultVoiceMissing = false;
    }
    void TearDown() override {
        m_Main::ShowSplash = nullptr;
        m_Main::LoadMainWindow = nullptr;
    }
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

TEST_F(StartTest, SaveResToFileWritesOverWithoutTruncating) {
    installSettings();
    ASSERT_TRUE(m_Main::Main());
    sys::addResource(2110, "OVERLAY.PNG", "PNGDATA");
    const std::string out = m_Main::TempDir + "OVERLAY.MPI";
    EXPECT_FALSE(m_Main::SaveResToFile(m_Main::ExePath, "MISSING.PNG", "2110", out));
    EXPECT_FALSE(m->fileExists(out));
    EXPECT_FALSE(m_Main::SaveResToFile("C:\\other.exe", "OVERLAY.PNG", "2110", out));

    ASSERT_TRUE(m->writeFileAtomic(out, "0123456789AB"));
    EXPECT_TRUE(m_Main::SaveResToFile(m_Main::ExePath, "overlay.png", "2110", out));
    EXPECT_EQ(m->readFile(out).value(), "PNGDATA789AB");
}

TEST(MainHelpers, FileAndDirExistence) {
    TestMachine m;
    m->makeDirs("C:\\D");
    ASSERT_TRUE(m->writeFileAtomic("C:\\D\\f.txt", "x"));
    EXPECT_TRUE(m_Main::FileExists("C:\\d\\F.TXT"));
    EXPECT_FALSE(m_Main::FileExists("C:\\D"));
    EXPECT_FALSE(m_Main::FileExists(""));
    EXPECT_TRUE(m_Main::DirExists("C:\\D"));
    EXPECT_TRUE(m_Main::DirExists("C:\\D\\f.txt"));
    EXPECT_FALSE(m_Main::DirExists("C:\\Missing"));
    win::RECT r;
    ASSERT_TRUE(m_Main::GetWorkArea(r));
    EXPECT_EQ(r.bottom, m->workArea().bottom);
}
