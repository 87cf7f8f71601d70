#include "speech-engine/SurnameReading.h"
#include "speech-engine/TextFrontEnd.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace voxling;

namespace {

constexpr uint32_t cjk(char16_t c) { return uint32_t(c) - 18968; }

// A voice library with a few phrases and sentence recordings, first match in the order given.
class FakeLibrary : public PhraseLookup {
public:
    std::vector<std::u16string> sentences;
    std::vector<std::u16string> phrases;
    std::u16string current;
    std::vector<std::u16string> asked;

    int sentenceAt(std::u16string_view text, size_t pos) override {
        for (size_t i = 0; i < sentences.size(); ++i)
            if (text.substr(pos, sentences[i].size()) == sentences[i]) return int(i);
        return -1;
    }
    size_t sentenceLength(int index) override { return sentences.at(size_t(index)).size(); }
    int phraseAt(std::u16string_view chars) override {
        asked.emplace_back(chars);
        current.assign(1, chars.empty() ? u'\0' : chars[0]);
        for (const auto& p : phrases)
            if (p.size() >= 2 && chars.substr(0, p.size()) == p) {
                current = p;
                return int(p.size());
            }
        return 1;
    }
    size_t phraseTextLength() override { return current.size(); }
};

Item speakItem(std::u16string text, uint32_t offset) {
    Item item;
    item.text = std::move(text);
    item.sourceOffset = offset;
    item.sourceLength = uint32_t(item.text.size());
    return item;
}

std::vector<Step> walk(const Item& item, const EngineSettings& s, PhraseLookup* lookup, int rate = 0) {
    ItemReader reader(item, s, lookup);
    std::vector<Step> steps;
    while (!reader.done() && steps.size() < 100) steps.push_back(reader.next(rate));
    return steps;
}

using Words = std::vector<std::pair<uint32_t, uint32_t>>;
Words words(const Step& s) {
    Words out;
    for (const WordEvent& w : s.words) out.emplace_back(w.sourceOffset, w.length);
    return out;
}

using Units = std::vector<std::pair<uint32_t, uint32_t>>;
Units units(const Step& s) {
    Units out;
    for (const Utterance& u : s.units) out.emplace_back(u.unit, u.pauseBytes);
    return out;
}

} // namespace

TEST(Surname, ReadingsFromTheTable) {
    struct Case {
        char16_t c, read;
    };
    const Case cases[] = {{u'朴', u'瓢'}, {u'曾', u'增'}, {u'单', u'讪'}, {u'少', u'哨'}, {u'召', u'哨'},
                          {u'訾', u'姿'}, {u'王', u'王'}, {u'a', u'a'}, {u'哨', u'哨'}};
    for (const Case& c : cases) EXPECT_EQ(SurnameReading(c.c), c.read) << std::hex << unsigned(c.c);
}

TEST(ItemReader, SentencesPhrasesNumbersAndSingleCharacters) {
    FakeLibrary lib;
    lib.sentences = {u"你好"};
    lib.phrases = {u"单位"};
    EngineSettings s;
    s.FirstName = 1;
    auto steps = walk(speakItem(u"曾单位你好5王", 10), s, &lib);
    ASSERT_EQ(steps.size(), 5u);

    EXPECT_EQ(steps[0].kind, Step::Kind::Single);  // a lone surname takes its surname reading
    EXPECT_EQ(units(steps[0]), (Units{{cjk(u'增'), 0}}));
    EXPECT_EQ(words(steps[0]), (Words{{10, 1}, {10, 1}}));  // the phrase step's event, then its own

    EXPECT_EQ(steps[1].kind, Step::Kind::Phrase);  // inside a phrase 单 keeps the phrase's reading
    EXPECT_EQ(steps[1].phraseLength, 2);
    EXPECT_EQ(steps[1].consumed, 2u);
    EXPECT_EQ(words(steps[1]), (Words{{11, 2}}));
    EXPECT_TRUE(steps[1].units.empty());

    EXPECT_EQ(steps[2].kind, Step::Kind::Sentence);
    EXPECT_EQ(steps[2].sentence, 0);
    EXPECT_EQ(words(steps[2]), (Words{{13, 2}}));

    EXPECT_EQ(steps[3].kind, Step::Kind::Number);
    EXPECT_EQ(units(steps[3]), (Units{{'5', 6000}}));
    EXPECT_EQ(words(steps[3]), (Words{{15, 1}, {15, 1}}));

    EXPECT_EQ(steps[4].kind, Step::Kind::Single);
    EXPECT_EQ(units(steps[4]), (Units{{cjk(u'王'), 0}}));

    // Look-ups read at most eight characters and never past the item.
    EXPECT_EQ(lib.asked.front(), u"曾单位你好5王");
    EXPECT_EQ(lib.asked.back(), u"王");
}

TEST(ItemReader, SurnameReadingOnlyWhenTheSettingIsOn) {
    EngineSettings s;
    auto steps = walk(speakItem(u"曾", 0), s, nullptr);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(units(steps[0]), (Units{{cjk(u'曾'), 0}}));
}

TEST(ItemReader, NumbersAreVoicedWithTheShortNumberPause) {
    EngineSettings s;
    const uint32_t dian = cjk(u'点');
    struct Case {
        std::u16string text;
        int readNumber;
        int rate;
        Units expect;
    };
    const Case cases[] = {
        {u"3.14", 0, 0, {{'3', 6000}, {dian, 0}, {'1', 6000}, {'4', 6000}}},
        {u"3.14", 0, 10, {{'3', 1000}, {dian, 0}, {'1', 1000}, {'4', 1000}}},
        {u"-3", 0, -10, {{'-', 11000}, {'3', 11000}}},
        {u"-3", 1, 0, {{cjk(u'负'), 0}, {cjk(u'叁'), 0}}},
        {u"12.50元", 0, 0, {{cjk(u'拾'), 0}, {cjk(u'贰'), 0}, {cjk(u'元'), 0}, {cjk(u'伍'), 0}, {cjk(u'角'), 0}}},
        {u"#c1.5", 1, 0, {{'1', 6000}, {'.', 6000}, {'5', 6000}}},
        {u"#n15", 0, 0, {{cjk(u'拾'), 0}, {cjk(u'伍'), 0}}},
    };
    for (const Case& c : cases) {
        s.ReadNumber = c.readNumber;
        auto steps = walk(speakItem(c.text, 0), s, nullptr, c.rate);
        ASSERT_EQ(steps.size(), 1u) << c.rate;
        EXPECT_EQ(units(steps[0]), c.expect) << c.rate;
        EXPECT_EQ(steps[0].consumed, c.text.size());
        EXPECT_EQ(words(steps[0]).back(), (std::pair<uint32_t, uint32_t>{0, uint32_t(c.text.size())}));
    }
}

TEST(ItemReader, TooLargeNumberIsSilentAndFlagged) {
    EngineSettings s;
    s.ReadNumber = 1;
    auto steps = walk(speakItem(u"12345678901234啊", 0), s, nullptr);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].kind, Step::Kind::Number);
    EXPECT_TRUE(steps[0].numberTooLarge);
    EXPECT_TRUE(steps[0].units.empty());
    EXPECT_EQ(steps[0].consumed, 14u);
    EXPECT_EQ(units(steps[1]), (Units{{cjk(u'啊'), 0}}));  // speaking goes on after it
}

TEST(ItemReader, WaitMarkupAndPunctuationInsideChineseText) {
    EngineSettings s;
    s.ReadPunctuation = 0;
    s.PunctuationLong = 20000;
    auto steps = walk(speakItem(u"好#w3000。　α", 4), s, nullptr);
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps[1].kind, Step::Kind::Markup);
    EXPECT_EQ(steps[1].silenceBytes, 3000u);
    EXPECT_EQ(words(steps[1]), (Words{{5, 1}, {5, 6}}));
    EXPECT_EQ(units(steps[2]), (Units{{0, 33600}}));           // 。 unvoiced: 1.2 x (20000 + 8000)
    EXPECT_EQ(words(steps[2]), (Words{{11, 1}}));             // outside the look-up range: one event
    EXPECT_EQ(steps[3].kind, Step::Kind::Skip);                // ideographic space
    EXPECT_TRUE(steps[3].words.empty());
    EXPECT_EQ(units(steps[4]), (Units{{0, 12000}}));
    EXPECT_EQ(itemEndPause(0), 12000u);
    EXPECT_EQ(itemEndPause(10), 2000u);
    EXPECT_EQ(itemEndPause(-10), 22000u);
}

TEST(ItemReader, EachEngineReadsWithItsOwnSettings) {
    EngineSettings digits, money;
    money.ReadNumber = 2;
    money.FirstName = 1;
    Item item = speakItem(u"12曾", 0);
    ItemReader a(item, digits, nullptr), b(item, money, nullptr);
    EXPECT_EQ(units(a.next(0)), (Units{{'1', 6000}, {'2', 6000}}));
    EXPECT_EQ(units(b.next(0)), (Units{{cjk(u'拾'), 0}, {cjk(u'贰'), 0}, {cjk(u'元'), 0}}));
    EXPECT_EQ(units(a.next(0)), (Units{{cjk(u'曾'), 0}}));
    EXPECT_EQ(units(b.next(0)), (Units{{cjk(u'增'), 0}}));
}

TEST(ItemReader, InconsistentLibraryCannotMoveBeyondTheItem) {
    // A record whose reading is longer than the text left, or a sentence longer than the item.
    class Liar : public PhraseLookup {
    public:
        int sentenceAt(std::u16string_view, size_t pos) override { return pos == 1 ? 0 : -1; }
        size_t sentenceLength(int) override { return 50; }
        int phraseAt(std::u16string_view) override { return 8; }
        size_t phraseTextLength() override { return 8; }
    } liar;
    EngineSettings s;
    auto steps = walk(speakItem(u"ab", 0), s, &liar);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].consumed, 2u);
    EXPECT_EQ(words(steps[0]), (Words{{0, 2}}));
}
