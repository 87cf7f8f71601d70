#include "speech-engine/TextSegmenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace voxling;

namespace {

struct Piece {
    std::u16string text;
    uint32_t offset;
    uint32_t length;
    bool operator==(const Piece&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Piece& p) {
    std::string ascii;
    for (char16_t c : p.text) ascii += c < 0x80 ? char(c) : '?';
    return os << "{\"" << ascii << "\"," << p.offset << "," << p.length << "}";
}

using Sentence = std::vector<Piece>;

std::vector<Sentence> segment(std::span<const Fragment> fragments) {
    TextSegmenter seg(fragments);
    std::vector<Sentence> out;
    std::vector<Item> items;
    while (seg.nextSentence(items)) {
        Sentence s;
        for (const Item& i : items) s.push_back({i.text, i.sourceOffset, i.sourceLength});
        out.push_back(s);
        if (out.size() > 100) break;  // a reader that stops moving would loop for ever
    }
    return out;
}

std::vector<Sentence> segment(const std::u16string& text) {
    Fragment f{FragmentAction::Speak, text.c_str(), uint32_t(text.size()), 0, 0, true, nullptr};
    return segment(std::span<const Fragment>(&f, 1));
}

} // namespace

TEST(TextSegmenter, SplitsTokensIntoItems) {
    struct Case {
        std::u16string text;
        std::vector<Sentence> expect;
    };
    const Case cases[] = {
        {u"Hello, world", {{{u"Hello", 0, 5}, {u",", 5, 1}, {u"world", 7, 5}, {u".", 11, 1}}}},
        {u"(test)", {{{u"(", 0, 1}, {u"test", 1, 4}, {u")", 5, 1}, {u".", 5, 1}}}},
        {u".", {{{u".", 0, 1}}}},
        {u"don't", {{{u"don_t", 0, 5}, {u".", 4, 1}}}},
        // A sentence-end mark at the very end is not doubled by the closing period.
        {u"Hello.", {{{u"Hello", 0, 5}, {u".", 5, 1}}}},
        {u"Hi. Bye!", {{{u"Hi", 0, 2}, {u".", 2, 1}}, {{u"Bye", 4, 3}, {u"!", 7, 1}}}},
        // Trailing marks come after the main item in text order; the scan stops at a letter.
        {u"\"Yes,\"  ok?!", {{{u"\"", 0, 1}, {u"Yes", 1, 3}, {u",", 4, 1}, {u"\"", 5, 1}, {u"ok", 8, 2}, {u"?", 10, 1}, {u"!", 11, 1}}}},
        // Only an ASCII mark at a token's end ends a sentence; full-width marks stay inside.
        {u"你好。再见！", {{{u"你好。再见！", 0, 6}, {u".", 5, 1}}}},
        {u"a.b c", {{{u"a.b", 0, 3}, {u"c", 4, 1}, {u".", 4, 1}}}},
        {u"  \t\r\n ", {}},
        {u"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(segment(c.text), c.expect) << std::string(c.text.begin(), c.text.end());
}

TEST(TextSegmenter, NeverWritesTheCallersText) {
    const std::u16string original = u"don't can't";
    std::u16string text = original;
    auto sentences = segment(text);
    ASSERT_EQ(sentences.size(), 1u);
    EXPECT_EQ(sentences[0][0].text, u"don_t");
    EXPECT_EQ(sentences[0][1].text, u"can_t");
    EXPECT_EQ(text, original);
}

TEST(TextSegmenter, OtherFragmentsBecomeWholeItemsInsideTheSentence) {
    const std::u16string text = u"Hello <bookmark mark=\"12a\"/> world";
    int bookmarkState = 0;
    const Fragment frags[] = {
        {FragmentAction::Speak, text.c_str(), 6, 0, 0, false, nullptr},
        {FragmentAction::Bookmark, text.c_str() + 22, 3, 22, 0, false, &bookmarkState},
        {FragmentAction::Silence, nullptr, 0, 28, 100, false, nullptr},
        {FragmentAction::Speak, text.c_str() + 28, 6, 28, 0, true, nullptr},
    };
    TextSegmenter seg(frags);
    std::vector<Item> items;
    ASSERT_TRUE(seg.nextSentence(items));
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].text, u"Hello");
    EXPECT_EQ(items[1].action, FragmentAction::Bookmark);
    EXPECT_EQ(items[1].text, u"12a");
    EXPECT_EQ(items[1].sourceOffset, 22u);
    EXPECT_EQ(items[1].fragment->state, &bookmarkState);
    EXPECT_EQ(items[2].action, FragmentAction::Silence);
    EXPECT_EQ(items[2].fragment->silenceMs, 100u);
    EXPECT_EQ(items[3].text, u"world");
    EXPECT_EQ(items[3].sourceOffset, 29u);
    EXPECT_EQ(items[4].text, u".");
    EXPECT_FALSE(seg.nextSentence(items));
    EXPECT_TRUE(items.empty());
}

TEST(TextSegmenter, FragmentNotAtTheTextsEndGetsNoPeriod) {
    const std::u16string text = u"one two";
    const Fragment f{FragmentAction::Speak, text.c_str(), 7, 40, 0, false, nullptr};
    EXPECT_EQ(segment(std::span<const Fragment>(&f, 1)),
              (std::vector<Sentence>{{{u"one", 40, 3}, {u"two", 44, 3}}}));
}

TEST(TextSegmenter, ZeroInsideAFragmentEndsItsText) {
    const std::u16string text(u"ab\0cd", 5);
    const Fragment frags[] = {
        {FragmentAction::Speak, text.c_str(), 5, 0, 0, false, nullptr},
        {FragmentAction::Speak, nullptr, 4, 5, 0, true, nullptr},  // no text at all
    };
    EXPECT_EQ(segment(frags), (std::vector<Sentence>{{{u"ab", 0, 2}, {u".", 1, 1}}}));
}
