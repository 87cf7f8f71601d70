// The script installer against the simulated terminal's folder: its rows, the hot-key file it
// writes, the keys it hands out, and what it reports.
#include "AuxProgram.h"
#include "settings/frmInsScript.h"
#include "support/Snapshot.h"
#include "toolkit/frmToolTip.h"

#include <gtest/gtest.h>

namespace {

using aux_test::kTerminalFolder;
using aux_test::Program;

const std::string kIni = std::string(kTerminalFolder) + "profiles\\hotkeys.ini";
const std::string kScripts = std::string(kTerminalFolder) + "experts\\scripts\\";

frmInsScript* openInstaller(Program& p) {
    m_Main::MainForm->m_frmSysTray_MenuClick("InsScript");
    auto* w = dynamic_cast<frmInsScript*>(m_Main::InsScriptForm());
    if (!w || !p.runUntil([&] { return !w->Busy() && w->Visible(); })) return nullptr;
    return w;
}

void tickAll(frmInsScript& w) {
    for (size_t i = 1; i <= w.ListedScripts().size(); ++i) {
        auto e = w.PageDocument().all("ST" + std::to_string(i));
        if (e.getAttribute("type") == "checkbox") e.checked(true);
    }
}

struct Row {
    std::string type, text;
    bool checked, disabled;
};
Row row(frmInsScript& w, int n) {
    auto e = w.PageDocument().all("ST" + std::to_string(n));
    return {e.getAttribute("type"), e.parentElement().innerText(), e.checked(), e.disabled()};
}

TEST(ScriptInstaller, RowsShowWhatIsInstalledAndTheTipInstallsTheTickedOnes) {
    Program p;
    ASSERT_TRUE(p.start());
    // BreakEven is copied and keyed, CloseAll copied only (its entry differs in case), HalfClose new.
    p.m->writeFileAtomic(kScripts + "BreakEven.ex4", "x");
    p.m->writeFileAtomic(kScripts + "CloseAll.ex4", "x");
    p.m->writeFileAtomic(kIni, "<scripts>\r\nBreakEven=Ctrl+3\r\ncloseall=Ctrl+4\r\n</scripts>\r\n");
    frmInsScript* w = openInstaller(p);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(win::windowText(w->hWnd()), "安装MT4脚本");
    ASSERT_EQ(w->ListedScripts(), (std::vector<std::string>{"BreakEven", "CloseAll", "HalfClose"}));
    const Row keyed = row(*w, 1), copied = row(*w, 2), fresh = row(*w, 3);
    EXPECT_EQ(keyed.type, "radio");
    EXPECT_TRUE(keyed.checked && keyed.disabled);
    EXPECT_NE(keyed.text.find("BreakEven - 已安装 - 可执行"), std::string::npos) << keyed.text;
    EXPECT_EQ(copied.type, "checkbox");
    EXPECT_FALSE(copied.checked || copied.disabled);
    EXPECT_NE(copied.text.find("CloseAll - 已安装"), std::string::npos);
    EXPECT_EQ(copied.text.find("可执行"), std::string::npos);
    EXPECT_EQ(fresh.text.find("已安装"), std::string::npos);
    EXPECT_FALSE(w->PageDocument().all("iOk").disabled());
    // The window ends at the bottom of its button bar and is as wide as its page.
    auto bar = w->PageDocument().all("ButtonLayout");
    EXPECT_EQ(w->ScaleWidth() / 15, w->PageDocument().all("iLayoutDiv").offsetWidth());
    EXPECT_EQ(w->ScaleHeight() / 15, bar.offsetTop() + bar.offsetHeight());
    testing_support::writeSnapshot("script_installer");

    const uint32_t before = m_Main::TerminalPid;
    w->PageDocument().all("ST3").checked(true);
    w->ClickOK();
    auto tip = frmToolTip::Shared();
    ASSERT_FALSE(tip->Busy());
    EXPECT_NE(tip->PageDocument().all("iInfo").innerText().find("在安装前,我们将会关闭当前运行的MT4平台("), std::string::npos);
    tip->iClickOK();

    EXPECT_EQ(w->Report(), "MT4脚本安装完成!");
    EXPECT_FALSE(w->IsLoaded());
    // Only the ticked row: the copied-only one stays as it was; the case-different entry is kept.
    EXPECT_EQ(p.read(kIni), "<scripts>\r\nHalfClose=Ctrl+0\r\nBreakEven=Ctrl+3\r\ncloseall=Ctrl+4\r\n</scripts>\r\n");
    EXPECT_EQ(p.read(kScripts + "HalfClose.ex4"), p.read(std::string(testing_support::kProgramFolder) + "\\Scripts\\HalfClose.ex4"));
    EXPECT_EQ(p.read(kScripts + "CloseAll.ex4"), "x");
    ASSERT_TRUE(p.runUntil([&] { return m_Main::TerminalPid != before && MT4().Mt4Hwnd() != 0; }));

    // Opened again: HalfClose is keyed now.
    w = openInstaller(p);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(row(*w, 3).type, "radio");
    EXPECT_EQ(row(*w, 2).type, "checkbox");
}

TEST(ScriptInstaller, HotKeyFileCases) {
    struct Case {
        const char* name;
        std::optional<std::string> ini;
        std::string expected;
    };
    const std::string all3 = "BreakEven=Ctrl+0\r\nCloseAll=Ctrl+1\r\nHalfClose=Ctrl+2\r\n";
    const std::vector<Case> cases = {
        {"no file", std::nullopt, "<scripts>\r\n" + all3 + "</scripts>\r\n"},
        {"no section, blank lines", "[main]\r\n\r\n  \r\nx=1\r\n", "[main]\r\nx=1\r\n<scripts>\r\n" + all3 + "</scripts>\r\n"},
        {"opening line last", "<charts>\r\n</charts>\r\n<scripts>",
         "<charts>\r\n</charts>\r\n<scripts>\r\n" + all3 + "</scripts>\r\n"},
        {"section never closed", "<scripts>\r\nOld=Ctrl+5\r\n[main]\r\n",
         "<scripts>\r\n" + all3 + "Old=Ctrl+5\r\n</scripts>\r\n"},
        // Kept: Old (its .mq4 is there, the lower-case key still holds Ctrl+0). Dropped: a line
        // without "=", an entry whose script is gone, and names reaching out of the folder.
        {"kept and dropped entries",
         "<scripts>\r\nOld=ctrl+0\r\njunk\r\nGone=Ctrl+1\r\n..\\evil=Ctrl+5\r\n../evil=Ctrl+6\r\n</scripts>\r\n",
         "<scripts>\r\nBreakEven=Ctrl+1\r\nCloseAll=Ctrl+2\r\nHalfClose=Ctrl+3\r\nOld=ctrl+0\r\n</scripts>\r\n"},
    };
    Program p;
    ASSERT_TRUE(p.start());
    p.m->writeFileAtomic(kScripts + "Old.mq4", "x");
    p.m->writeFileAtomic(std::string(kTerminalFolder) + "experts\\evil.ex4", "x");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(p.m->hostPath(kScripts + "BreakEven.ex4"));
        std::filesystem::remove(p.m->hostPath(kScripts + "CloseAll.ex4"));
        std::filesystem::remove(p.m->hostPath(kScripts + "HalfClose.ex4"));
        if (c.ini) p.m->writeFileAtomic(kIni, *c.ini);
        else std::filesystem::remove(p.m->hostPath(kIni));
        frmInsScript* w = openInstaller(p);
        ASSERT_NE(w, nullptr);
        tickAll(*w);
        const uint32_t before = m_Main::TerminalPid;
        w->Install();
        EXPECT_EQ(w->Report(), "MT4脚本安装完成!");
        EXPECT_EQ(p.read(kIni), c.expected);
        for (const char* s : {"BreakEven", "CloseAll", "HalfClose"}) EXPECT_TRUE(p.m->fileExists(kScripts + s + ".ex4")) << s;
        ASSERT_TRUE(p.runUntil([&] { return m_Main::TerminalPid != before && MT4().Mt4Hwnd() != 0; }));
    }
}

TEST(ScriptInstaller, SixteenKeysAtMostAndAFailedCopyIsToldAfterTheRestart) {
    Program p;
    for (int i = 1; i <= 15; ++i) p.addScript((i < 10 ? "S0" : "S") + std::to_string(i));
    ASSERT_TRUE(p.start());
    // CloseAll cannot be copied: a folder stands where its file would go.
    p.m->makeDirs(kScripts + "CloseAll.ex4");
    frmInsScript* w = openInstaller(p);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->ListedScripts().size(), 18u);
    tickAll(*w);
    const uint32_t before = m_Main::TerminalPid;
    w->Install();

    // BreakEven, HalfClose, S01..S08 get Ctrl+0..9; S09..S14 get Alt+4..9; S15 is copied without
    // a key; CloseAll failed to copy and got none.
    std::string expected = "<charts>\r\nCtrl+F6=NextChart\r\n</charts>\r\n<scripts>\r\nBreakEven=Ctrl+0\r\nHalfClose=Ctrl+1\r\n";
    for (int i = 1; i <= 8; ++i) expected += "S0" + std::to_string(i) + "=Ctrl+" + std::to_string(i + 1) + "\r\n";
    expected += "S09=Alt+4\r\n";
    for (int i = 10; i <= 14; ++i) expected += "S" + std::to_string(i) + "=Alt+" + std::to_string(i - 5) + "\r\n";
    expected += "</scripts>\r\n";
    EXPECT_EQ(p.read(kIni), expected);
    EXPECT_TRUE(p.m->fileExists(kScripts + "S14.ex4"));
    EXPECT_TRUE(p.m->fileExists(kScripts + "S15.ex4"));
    EXPECT_NE(w->Report().find("没有全部安装"), std::string::npos) << w->Report();
    EXPECT_NE(w->Report().find("CloseAll (复制失败)"), std::string::npos);
    EXPECT_NE(w->Report().find("S15 (没有空闲的热键)"), std::string::npos);
    EXPECT_EQ(w->Report().find("完成"), std::string::npos);
    ASSERT_TRUE(p.runUntil([&] { return m_Main::TerminalPid != before && MT4().Mt4Hwnd() != 0; }));
}

TEST(ScriptInstaller, EighteenthScriptIsNotCopiedOnceTheKeysRunOut) {
    Program p;
    for (int i = 1; i <= 15; ++i) p.addScript((i < 10 ? "S0" : "S") + std::to_string(i));
    ASSERT_TRUE(p.start());
    frmInsScript* w = openInstaller(p);
    ASSERT_NE(w, nullptr);
    tickAll(*w);
    w->Install();
    // 18 ticked: 16 keyed, the 17th (S14) copied without a key, the 18th (S15) not copied.
    EXPECT_TRUE(p.m->fileExists(kScripts + "S14.ex4"));
    EXPECT_FALSE(p.m->fileExists(kScripts + "S15.ex4"));
    EXPECT_EQ(p.read(kIni).find("S14="), std::string::npos);
    EXPECT_NE(p.read(kIni).find("S13=Alt+9"), std::string::npos);
}

TEST(ScriptInstaller, NothingIsInstalledWithoutAnAttachedTerminal) {
    Program p;
    ASSERT_TRUE(p.start());
    frmInsScript* w = openInstaller(p);
    ASSERT_NE(w, nullptr);
    tickAll(*w);
    const std::string ini = p.read(kIni);
    m_Main::TerminalExe = "terminal.exe";
    w->Install();
    EXPECT_EQ(w->Report(), "没有找到正在运行的MT4平台, 无法安装脚本!");
    EXPECT_EQ(p.read(kIni), ini);
    EXPECT_FALSE(p.m->fileExists(kScripts + "CloseAll.ex4"));
    EXPECT_FALSE(p.m->fileExists("C:\\experts\\scripts\\CloseAll.ex4"));
}

} // namespace
