#include "speech-engine/CharClass.h"
#include "speech-engine/EngineSettings.h"

#include <gtest/gtest.h>

using namespace voxling;

namespace {
constexpr uint32_t cjk(char16_t c) { return uint32_t(c) - 18968; }
}

TEST(CharClass, UnitsAndPauseUnits) {
    EngineSettings reading;  // marks voiced
    reading.ReadPunctuation = 1;
    reading.PunctuationLong = 20000;
    reading.PunctuationShort = 5000;
    struct Case {
        char16_t c;
        uint32_t unit;
        uint32_t pause;
    };
    const Case cases[] = {
        {u'中', cjk(u'中'), 0},
        {0x9FA5, 21901, 0},
        {0x9FA6, 0, 0},       // past the unit table: nothing, and no pause
        {0xE1D7, 0, 0},
        {u'a', 'A', 0}, {u'z', 'Z', 0}, {u'Q', 'Q', 0}, {u'7', '7', 0}, {u'#', '#', 0},
        {u'!', '!', 5000}, {u'.', '.', 5000}, {u'/', '/', 5000}, {u'?', '?', 5000}, {u'(', '(', 5000},
        {u']', ']', 5000}, {u'\'', '\'', 5000}, {0x00F1, 0x00F1, 5000},
        {u'"', '"', 20000}, {u',', ',', 20000}, {u':', ':', 20000}, {u';', ';', 20000}, {u'=', '=', 20000},
        {u'+', '+', 20000}, {u'-', '-', 20000}, {u'*', '*', 20000}, {0x00F8, 0x00F8, 20000},
        {u'。', 502, 20000}, {u'、', 501, 5000}, {u'《', 510, 5000}, {u'》', 511, 5000}, {0x3003, 503, 0},
        {u'“', '"', 5000}, {u'”', '"', 5000},
        {u'！', '!', 20000}, {u'．', '.', 20000}, {u'？', '?', 20000},
        {u'＂', '"', 5000}, {u'＇', '\'', 5000}, {u'（', '(', 5000}, {u'）', ')', 5000},
        {u'，', ',', 5000}, {u'：', ':', 5000}, {u'；', ';', 5000},
        {u'ａ', 'A', 0}, {u'５', '5', 0}, {u'＃', '#', 0},
        {0x03B1, 0, 2000},    // Greek alpha: the voice has nothing for it
        {0x2014, 0, 2000},
    };
    EngineSettings silent = reading;
    silent.ReadPunctuation = 0;
    for (const Case& c : cases) {
        CharClass voiced = classifyChar(c.c, reading);
        EXPECT_EQ(voiced.unit, c.unit) << std::hex << unsigned(c.c);
        EXPECT_EQ(voiced.pause, c.pause) << std::hex << unsigned(c.c);
        EXPECT_FALSE(voiced.skip);
        // Without ReadPunctuation the marks keep their pause and lose their unit.
        CharClass quiet = classifyChar(c.c, silent);
        bool mark = c.pause == 5000 || c.pause == 20000;
        EXPECT_EQ(quiet.unit, mark ? 0 : c.unit) << std::hex << unsigned(c.c);
        EXPECT_EQ(quiet.pause, c.pause) << std::hex << unsigned(c.c);
    }
    CharClass space = classifyChar(0x3000, reading);
    EXPECT_TRUE(space.skip);
    EXPECT_EQ(space.unit, 0u);
    EXPECT_EQ(space.pause, 0u);
}

TEST(CharClass, PauseUnitsComeFromTheSettings) {
    EngineSettings s;
    s.PunctuationShort = 1234;
    s.PunctuationLong = 0;
    EXPECT_EQ(classifyChar(u'、', s).pause, 1234u);
    EXPECT_EQ(classifyChar(u'。', s).pause, 0u);
}

TEST(CharClass, PausesAtEachRate) {
    struct Case {
        const char* what;
        uint32_t pause;
        bool voiced;
        uint32_t at[4];  // rates -10, 0, 5, 10
    };
    const Case cases[] = {
        {"full stop voiced", 20000, true, {44000, 24000, 24000, 4000}},
        {"full stop silent", 20000, false, {61600, 33600, 33600, 5600}},
        {"unknown character", 2000, false, {22000, 12000, 12000, 2000}},
        {"short mark voiced", 5000, true, {11000, 6000, 6000, 1000}},
        {"no pause", 0, false, {0, 0, 0, 0}},
        {"no pause voiced", 0, true, {0, 0, 0, 0}},
        // f x P is cut to whole samples: 1.2 x 5001 = 6001.2, 0.2 x 1234 = 246.8, 2.2 x 1235 = 2717
        {"odd unit", 5001, true, {11002, 6000, 6000, 1000}},
        {"odd small unit", 1234, true, {2714, 1480, 1480, 246}},
        {"odd result", 1235, true, {2716, 1482, 1482, 246}},
        {"largest unit", 100000, false, {237600, 129600, 129600, 21600}},
    };
    const int rates[] = {-10, 0, 5, 10};
    for (const Case& c : cases)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(pauseAfter(rates[i], c.pause, c.voiced), c.at[i]) << c.what << " at rate " << rates[i];
}

TEST(CharClass, ScaledPausesAndRatesOutOfRange) {
    EXPECT_EQ(scaledPause(-9, 5000), 6000u);
    EXPECT_EQ(scaledPause(9, 10000), 12000u);
    EXPECT_EQ(scaledPause(10, 10000), 2000u);
    EXPECT_EQ(scaledPause(-10, 10000), 22000u);
    EXPECT_EQ(scaledPause(50, 10000), 2000u);
    EXPECT_EQ(scaledPause(-50, 10000), 22000u);
    for (int rate = -12; rate <= 12; ++rate)
        for (uint32_t base : {1u, 3u, 999u, 5001u, 77777u}) EXPECT_EQ(scaledPause(rate, base) % 2, 0u);
}

TEST(CharClass, ReadingUnits) {
    EXPECT_EQ(readingUnit(u'壹'), cjk(u'壹'));
    EXPECT_EQ(readingUnit(u'5'), uint32_t('5'));
    EXPECT_EQ(readingUnit(u'-'), uint32_t('-'));
}
