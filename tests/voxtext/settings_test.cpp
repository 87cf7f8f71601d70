#include "speech-engine/EngineSettings.h"

#include <gtest/gtest.h>

using namespace voxling;

TEST(EngineSettings, DefaultsAndNames) {
    EngineSettings s;
    EXPECT_EQ(s.PunctuationLong, 20000);
    EXPECT_EQ(s.PunctuationShort, 5000);
    EXPECT_EQ(s.ReadPunctuation, 0);
    EXPECT_EQ(s.ReadSentence, 0);
    EXPECT_EQ(s.ReadNumber, 0);
    EXPECT_EQ(s.FirstName, 0);
    EXPECT_EQ(s.VoiceStyle, 0);
    EXPECT_EQ(s.value(u"punctuationlong"), 20000);
    EXPECT_EQ(s.value(u"Nothing"), 0);
    EXPECT_FALSE(s.assign(u"Nothing", 1));
    EXPECT_EQ(s, EngineSettings{});
}

TEST(EngineSettings, RegistryValuesAreBroughtIntoRange) {
    struct Case {
        const char16_t* name;
        uint32_t dword;
        int32_t held;
    };
    const Case cases[] = {
        {u"PunctuationLong", 35000, 35000},
        {u"PunctuationLong", 0xFFFFFFFF, 100000},   // a count, not -1
        {u"PunctuationLong", 4000000000u, 100000},
        {u"PunctuationShort", 100000, 100000},
        {u"PunctuationShort", 100001, 100000},
        {u"PunctuationShort", 0x7FFFFFFF, 100000},
        {u"ReadPunctuation", 1, 1},
        {u"ReadPunctuation", 7, 1},
        {u"ReadSentence", 0x80000000, 0},
        {u"FirstName", 2, 1},
        {u"ReadNumber", 2, 2},
        {u"ReadNumber", 3, 2},
        {u"ReadNumber", 0xFFFFFFFE, 0},
        {u"VoiceStyle", 0xFFFFFFFD, -3},            // signed, and left for the format choice
        {u"VoiceStyle", 5, 5},
        {u"readnumber", 1, 1},
    };
    for (const Case& c : cases) {
        EngineSettings s;
        ASSERT_TRUE(s.assign(c.name, c.dword));
        EXPECT_EQ(s.value(c.name), c.held) << std::hex << c.dword;
    }
}

TEST(EngineSettings, FailedQueryRestoresTheDefault) {
    EngineSettings s;
    s.assign(u"PunctuationShort", 1000);
    s.assign(u"FirstName", 1);
    EXPECT_TRUE(s.assignDefault(u"PunctuationShort"));
    EXPECT_EQ(s.PunctuationShort, 5000);
    EXPECT_EQ(s.FirstName, 1);
}

TEST(EngineSettings, ClampCoversValuesSetDirectly) {
    EngineSettings s;
    s.PunctuationLong = -5;
    s.PunctuationShort = 9999999;
    s.ReadNumber = -1;
    s.ReadSentence = 4;
    s.clamp();
    EXPECT_EQ(s.PunctuationLong, 0);
    EXPECT_EQ(s.PunctuationShort, 100000);
    EXPECT_EQ(s.ReadNumber, 0);
    EXPECT_EQ(s.ReadSentence, 1);
}
