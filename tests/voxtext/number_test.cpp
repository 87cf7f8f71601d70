#include "speech-engine/NumberReader.h"

#include <gtest/gtest.h>

#include <string>

using namespace voxling;

namespace {

std::string utf8(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) out += char(c);
        else if (c < 0x800) { out += char(0xC0 | (c >> 6)); out += char(0x80 | (c & 0x3F)); }
        else { out += char(0xE0 | (c >> 12)); out += char(0x80 | ((c >> 6) & 0x3F)); out += char(0x80 | (c & 0x3F)); }
    }
    return out;
}

struct Read {
    std::u16string text;
    size_t consumed;
    bool tooLarge;
};

Read readAt(std::u16string_view text, int setting) {
    EXPECT_TRUE(isNumberStart(text, 0)) << utf8(text);
    NumberScan scan = scanNumber(text, 0, setting);
    NumberReading r = readNumber(scan);
    return {r.text, scan.consumed, r.tooLarge};
}

} // namespace

TEST(NumberReader, NumberStarts) {
    EXPECT_TRUE(isNumberStart(u"7", 0));
    EXPECT_TRUE(isNumberStart(u"-7", 0));
    EXPECT_TRUE(isNumberStart(u".7", 0));
    EXPECT_TRUE(isNumberStart(u"a.7", 1));
    EXPECT_FALSE(isNumberStart(u"-", 0));
    EXPECT_FALSE(isNumberStart(u"-.7", 0));
    EXPECT_FALSE(isNumberStart(u". 7", 0));
    EXPECT_FALSE(isNumberStart(u"７", 0));  // full-width digits are plain characters
    EXPECT_FALSE(isNumberStart(u"7", 1));
}

TEST(NumberReader, ValuesWithPlaceWords) {
    struct Case {
        std::u16string text;
        std::u16string read;
    };
    const Case cases[] = {
        {u"0", u"零"},
        {u"000", u"零"},
        {u"7", u"柒"},
        {u"10", u"拾"},
        {u"15", u"拾伍"},
        {u"110", u"壹佰拾"},
        {u"215", u"贰佰拾伍"},
        {u"1005", u"壹仟零伍"},
        {u"0060", u"六拾"},
        {u"20000", u"贰万"},
        {u"100001", u"拾万零壹"},
        {u"120000", u"拾贰万"},
        {u"10050000", u"壹仟零伍万"},
        {u"100000000", u"壹亿"},
        {u"100000001", u"壹亿零壹"},
        {u"120000000", u"壹亿贰仟万"},
        {u"1000000000", u"拾亿"},
        {u"1000000000000", u"壹万亿"},
        {u"1234567890123", u"壹万贰仟叁佰肆拾伍亿六仟柒佰捌拾玖万零壹佰贰拾叁"},
        {u"-3", u"负叁"},
        {u"-10", u"负拾"},
        {u"12.50", u"拾贰点伍零"},
        {u".5", u"零点伍"},
        {u"-0.25", u"负零点贰伍"},
    };
    for (const Case& c : cases) {
        Read r = readAt(c.text, 1);
        EXPECT_EQ(utf8(r.text), utf8(c.read)) << utf8(c.text);
        EXPECT_EQ(r.consumed, c.text.size()) << utf8(c.text);
        EXPECT_FALSE(r.tooLarge);
    }
}

TEST(NumberReader, TheFollowingCharacterAndTheSettingChooseTheMode) {
    struct Case {
        std::u16string text;
        int readNumber;
        std::u16string read;
        size_t consumed;
    };
    const Case cases[] = {
        {u"50%", 0, u"百分之伍拾", 3},
        {u"12.5%", 2, u"百分之拾贰点伍", 5},
        {u"-1%", 0, u"百分之负壹", 3},
        {u"12.50元", 0, u"拾贰元伍角", 6},
        {u"0.05元", 0, u"伍分", 5},
        {u"3元", 0, u"叁元", 2},
        {u"0元", 0, u"零元", 2},
        {u"1.05元", 1, u"壹元伍分", 5},
        {u"2.999元", 1, u"贰元玖角玖分", 6},
        {u"12", 2, u"拾贰元", 2},
        {u"2008年", 1, u"2008", 4},
        {u"2008年", 2, u"2008", 4},
        {u"12月", 0, u"拾贰", 2},
        {u"31日", 2, u"叁拾壹", 2},
        {u"3.14", 0, u"3点14", 4},
        {u"-3", 0, u"-3", 2},
        {u"007", 0, u"007", 3},
        {u".5", 0, u"0点5", 2},
        {u"3.", 1, u"叁", 1},     // a point without a digit after it is not part of the number
        {u"3.x", 0, u"3", 1},
        {u"3,000", 1, u"叁", 1},
        {u"12", 7, u"12", 2},      // an unknown setting reads digits
    };
    for (const Case& c : cases) {
        Read r = readAt(c.text, c.readNumber);
        EXPECT_EQ(utf8(r.text), utf8(c.read)) << utf8(c.text) << " ReadNumber " << c.readNumber;
        EXPECT_EQ(r.consumed, c.consumed) << utf8(c.text);
    }
}

TEST(NumberReader, MoreThanThirteenDigitsIsTooLarge) {
    EXPECT_TRUE(readAt(u"12345678901234", 1).tooLarge);
    EXPECT_TRUE(readAt(u"12345678901234", 1).text.empty());
    EXPECT_TRUE(readAt(u"12345678901234元", 0).tooLarge);
    EXPECT_TRUE(readAt(u"00000000000001%", 0).tooLarge);  // counted in characters, as written
    EXPECT_FALSE(readAt(u"-1234567890123", 1).tooLarge);
    EXPECT_TRUE(readAt(u"-12345678901234", 1).tooLarge);
    // Digits mode reads any length.
    Read digits = readAt(u"12345678901234", 0);
    EXPECT_FALSE(digits.tooLarge);
    EXPECT_EQ(digits.text, u"12345678901234");
}

TEST(NumberReader, LongRunsAreCutIntoNumbersOfAtMost255Digits) {
    std::u16string run(300, u'9');
    Read first = readAt(run, 0);
    EXPECT_EQ(first.consumed, 255u);
    EXPECT_EQ(first.text, std::u16string(255, u'9'));
    std::u16string negative = u"-" + run;
    EXPECT_EQ(readAt(negative, 0).consumed, 255u);
    std::u16string decimals = u"1." + run;
    Read d = readAt(decimals, 0);
    EXPECT_EQ(d.consumed, 257u);
    EXPECT_EQ(d.text.size(), 1u + 1 + 255);
}

TEST(NumberReader, Markup) {
    struct Case {
        std::u16string text;
        MarkupKind kind;
        size_t consumed;
        uint32_t silence;
        std::u16string read;
    };
    const Case cases[] = {
        {u"#w1000", MarkupKind::Wait, 6, 1000, u""},
        {u"#w1001x", MarkupKind::Wait, 6, 1000, u""},          // never half a sample
        {u"#w12.5", MarkupKind::Wait, 6, 12, u""},
        {u"#w", MarkupKind::Wait, 2, 0, u""},
        {u"#wait", MarkupKind::Wait, 2, 0, u""},
        {u"#w99999999999999999999999", MarkupKind::Wait, 25, kMaxMarkupSilence, u""},
        {u"#n125", MarkupKind::Number, 5, 0, u"壹佰贰拾伍"},
        {u"#n1.50", MarkupKind::Number, 6, 0, u"壹点伍零"},
        {u"#n.5", MarkupKind::Number, 4, 0, u"零点伍"},
        {u"#n3.", MarkupKind::Number, 3, 0, u"叁"},
        {u"#n", MarkupKind::Number, 2, 0, u""},
        {u"#n50%", MarkupKind::Number, 4, 0, u"伍拾"},
        {u"#c2008", MarkupKind::Chars, 6, 0, u"2008"},
        {u"#c3.14", MarkupKind::Chars, 6, 0, u"3.14"},
        {u"#cx", MarkupKind::Chars, 2, 0, u""},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(isMarkupStart(c.text, 0)) << utf8(c.text);
        Markup m = readMarkup(c.text, 0);
        EXPECT_EQ(m.kind, c.kind) << utf8(c.text);
        EXPECT_EQ(m.consumed, c.consumed) << utf8(c.text);
        EXPECT_EQ(m.silenceBytes, c.silence) << utf8(c.text);
        EXPECT_EQ(utf8(m.reading.text), utf8(c.read)) << utf8(c.text);
    }
    EXPECT_FALSE(isMarkupStart(u"#", 0));
    EXPECT_FALSE(isMarkupStart(u"#x1", 0));
    EXPECT_FALSE(isMarkupStart(u"#W1", 0));
    EXPECT_FALSE(isMarkupStart(u"w1", 0));
    EXPECT_TRUE(readMarkup(u"#n12345678901234", 0).reading.tooLarge);
}

TEST(NumberReader, NothingStartsWhereNoNumberOrMarkupIs) {
    EXPECT_EQ(scanNumber(u"x1", 0, 1).consumed, 0u);
    EXPECT_EQ(scanNumber(u"1", 1, 1).consumed, 0u);
    EXPECT_EQ(readMarkup(u"#", 0).consumed, 0u);
    EXPECT_EQ(readMarkup(u"#w", 1).consumed, 0u);
}
