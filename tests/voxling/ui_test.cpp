// The engine's texts by locale, the pinyin preview line and the settings store.
#include "speech-engine/EngineRegistry.h"
#include "speech-engine/EngineUI.h"
#include "support/TestMachine.h"

#include "platform/registry/Registry.h"

#include <gtest/gtest.h>

using namespace voxling;

TEST(EngineUi, StringSetFollowsTheLocale) {
    for (uint32_t lcid : {1028u, 3076u, 4100u}) EXPECT_STREQ(UiStringsForLocale(lcid).mainDialog, "IDD_ENGINEUI_TW");
    EXPECT_STREQ(UiStringsForLocale(2052).phraseNotFound, "还没有收录此词组");
    EXPECT_STREQ(UiStringsForLocale(1033).treeItems[3], "LastName Setting");
    EXPECT_STREQ(UiStringsForLocale(0).pages[4], "IDD_ENGINEUI_NUMBERSET_ENG");

    testing_support::TestMachine m;
    EXPECT_EQ(UserDefaultLocale(*m), 2052u);
    m->setSetting("user.locale", "1028");
    EXPECT_EQ(UserDefaultLocale(*m), 1028u);
    m->setSetting("user.locale", "zh-TW");
    EXPECT_EQ(UserDefaultLocale(*m), 2052u);
}

TEST(EngineUi, PinyinPreviewTurnsToneDigitsIntoGlyphs) {
    PhraseRecord r;
    r.text = u"中国绿嗯";
    r.pinyin = {"zho1ng", "guo2", "lv4", "n3g", "ignored"};
    const std::u16string expected = std::u16string(u"zh") + char16_t(141) + u"ng " + u"gu" + char16_t(142) + u" " +
                                    u"l" + char16_t(152) + u" " + char16_t(159) + u"g ";
    EXPECT_EQ(PinyinPreviewText(r), expected);
    r.pinyin[0] = "a1";
    r.text = u"啊";
    EXPECT_EQ(PinyinPreviewText(r), std::u16string(1, char16_t(129)) + u" ");
}

TEST(EngineSettingsStore, SavesAllSevenAndLoadsWithItsTwoPolicies) {
    testing_support::TestMachine m;
    EngineSettings s;
    s.PunctuationShort = 12345;
    s.VoiceStyle = -2;
    s.ReadNumber = 2;
    ASSERT_TRUE(SaveEngineSettings(s));
    const std::string key = "Software\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese\\UI\\EngineProperties";
    EXPECT_EQ(reg::getDword(win::HKEY_LOCAL_MACHINE, key, "VoiceStyle"), 0xFFFFFFFEu);
    EXPECT_EQ(reg::valueNames(win::HKEY_LOCAL_MACHINE, key).size(), 7u);

    EngineSettings read;
    ASSERT_TRUE(ReadEngineSettings(read));
    EXPECT_EQ(read, s);

    ASSERT_TRUE(reg::deleteValue(win::HKEY_LOCAL_MACHINE, key, "ReadNumber"));
    EngineSettings held = s;
    ASSERT_TRUE(LoadEngineSettings(held));
    EXPECT_EQ(held.ReadNumber, 2);  // the dialog keeps what it holds
    ASSERT_TRUE(ReadEngineSettings(held));
    EXPECT_EQ(held.ReadNumber, 0);  // the engine takes the default
}
