#include "platform/system/CodePage.h"

#include <gtest/gtest.h>

TEST(CodePage, RoundTripsChineseThroughGbk) {
    const std::string text = "市场报价: 欧元美元 1.2345";
    const std::string ansi = sys::toAnsi(text);
    EXPECT_EQ(ansi.size(), 4 * 2 + 2 + 8 + 7);
    EXPECT_EQ(sys::fromAnsi(ansi), text);
    EXPECT_EQ(sys::ansiLength("终端"), 4u);
}

TEST(CodePage, TruncatesOnCharacterBoundaries) {
    const std::string ansi = sys::toAnsi("a终端b");  // 1 + 2 + 2 + 1 bytes
    struct Case { size_t limit; const char* expect; };
    const Case cases[] = {{0, ""}, {1, "a"}, {2, "a"}, {3, "a终"}, {4, "a终"}, {5, "a终端"}, {6, "a终端b"}, {99, "a终端b"}};
    for (const auto& c : cases) EXPECT_EQ(sys::fromAnsi(sys::truncateAnsi(ansi, c.limit)), c.expect) << c.limit;
}

TEST(CodePage, UnmappableAndInvalidInputDegradesToPlaceholders) {
    EXPECT_EQ(sys::toAnsi("a\xF0\x9F\x98\x80" "b"), "a?b");  // emoji has no GBK form
    EXPECT_EQ(sys::toAnsi("a\xFF" "b"), "a?b");              // broken UTF-8
    EXPECT_EQ(sys::fromAnsi("a\x81"), "a?");                  // lead byte without trail
}

TEST(CodePage, Utf16RoundTripWithSurrogates) {
    const std::string text = "欧元 \xF0\x9F\x98\x80 x";
    const std::u16string w = sys::toUtf16(text);
    EXPECT_EQ(w.size(), 2u + 1 + 2 + 2);
    EXPECT_EQ(sys::fromUtf16(w), text);
    EXPECT_EQ(sys::fromUtf16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
