#include "support/TestMachine.h"
#include "toolkit/m_Main.h"
#include "platform/forms/RuntimeError.h"

#include <gtest/gtest.h>

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
