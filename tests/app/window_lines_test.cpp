// The console's window lines: a window is told by a name its user knows, the terminal's are not
// told, and every window told open is told closed by the end of the run.
#include "app/ProgramWindows.h"
#include "app/WindowLines.h"
#include "core/Program.h"
#include "core/frmMain.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Window.h"
#include "platform/system/Machine.h"
#include "support/ProgramMachine.h"
#include "support/TestMachine.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace m_Main;

win::HWND shown(const std::string& caption) {
    const win::HWND h = win::CreateWindowEx(0, "#32770", caption, 0, 0, 0, 10, 10, 0);
    win::ShowWindow(h, win::SW_SHOW);
    return h;
}

TEST(WindowLines, NameTheProgramsOwnWindowsAndCloseWhatIsLeftOpen) {
    testing_support::TestMachine m;
    std::vector<std::string> lines;
    {
        WindowLines windows([&](const std::string& line) { lines.push_back(line); });
        shown(kMainCaption);
        {
            sys::ProcessScope terminal(2000);
            shown("MetaTrader 4");
        }
        const win::HWND settings = shown("配置选项 ");
        win::ShowWindow(settings, win::SW_HIDE);
        win::DestroyWindow(settings);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"window opened: 图标窗口", "window opened: 配置选项",
                                               "window closed: 配置选项", "window closed: 图标窗口"}));
}

TEST(WindowLines, AWholeRunClosesEveryWindowItOpened) {
    testing_support::TestMachine m;
    testing_support::installWholeProgram(*m);
    std::vector<std::string> lines;
    auto told = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    {
        WindowLines windows([&](const std::string& line) { lines.push_back(line); });
        setProgram(testing_support::kProgramFolder, "Pennant");
        InstallWindows();
        ASSERT_TRUE(Main());
        ASSERT_TRUE(m.runUntilReal([&] { return told("window opened: 财经资讯") && told("window opened: 图标窗口"); }));
        MainForm->m_frmSysTray_MenuClick("Exit");
        ASSERT_TRUE(m.runUntilReal([] { return !MainForm || !MainForm->IsLoaded(); }));
        EndProgram();
    }
    std::map<std::string, int> open;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find(kMainCaption), std::string::npos) << line;
        EXPECT_EQ(line.find("frmSplash"), std::string::npos) << line;
        if (line.rfind("window opened: ", 0) == 0) {
            ++open[line.substr(15)];
        } else if (line.rfind("window closed: ", 0) == 0) {
            EXPECT_GE(--open[line.substr(15)], 0) << line;
        }
    }
    for (const auto& [name, count] : open) EXPECT_EQ(count, 0) << name;
    EXPECT_TRUE(told("window closed: 财经资讯"));
}

} // namespace
