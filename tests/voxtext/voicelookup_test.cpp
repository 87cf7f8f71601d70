#include "speech-engine/VoiceLibrary.h"
#include "speech-engine/VoiceLookup.h"
#include "support/TestMachine.h"
#include "tools/voicegen/VoiceWriter.h"

#include "platform/system/CodePage.h"

#include <gtest/gtest.h>

using namespace voxling;

namespace {

voicegen::PhraseSpec phrase(std::u16string text, std::u16string reading) {
    voicegen::PhraseSpec p;
    p.text = std::move(text);
    p.reading = std::move(reading);
    return p;
}

class VoiceLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        voicegen::LibraryContent content;
        content.phrases = {phrase(u"单位", u"单位"), phrase(u"中国人", u"中国人"), phrase(u"中国", u"中国")};
        content.sentences = {{u"你好", "hello.wav", std::vector<uint8_t>(64, 0)}};
        std::string error;
        ASSERT_TRUE(voicegen::writeLibrary(content, machine->hostPath("C:\\Voice"), error)) << error;
        auto path = [](const char* name) { return sys::toUtf16(std::string("C:\\Voice\\") + name); };
        ASSERT_EQ(lib.openVoiceDef(path(voicegen::kVoiceDefFile)), 0u);
        ASSERT_EQ(lib.openVoiceData(path(voicegen::kVoiceDataFile)), 0u);
        ASSERT_EQ(lib.openVoiceWord(path(voicegen::kVoiceWordFile)), 0u);
        ASSERT_EQ(lib.openVoiceWordData(path(voicegen::kVoiceWordDataFile)), 0u);
        lib.LoadSentenceTable(path(voicegen::kVoiceSenDataFile));
        lib.copyUnitTable();
    }

    testing_support::TestMachine machine;
    VoiceLibrary lib;
};

} // namespace

TEST_F(VoiceLookupTest, ItemStepsFromARealLibrary) {
    VoiceLookup lookup(lib.phrases, lib.sentences);
    EngineSettings s;
    s.FirstName = 1;
    Item item;
    item.text = u"单曾单位你好中国人民";
    item.sourceOffset = 3;
    ItemReader reader(item, s, &lookup);

    Step lone = reader.next(0);  // a lone 单 takes its surname reading
    EXPECT_EQ(lone.kind, Step::Kind::Single);
    ASSERT_EQ(lone.units.size(), 1u);
    EXPECT_EQ(lone.units[0].unit, uint32_t(u'讪') - 18968);
    EXPECT_EQ(lookup.phraseTextLength(), 1u);
    EXPECT_EQ(lib.phrases.currentPhrase().text, u"单");

    EXPECT_EQ(reader.next(0).units[0].unit, uint32_t(u'增') - 18968);

    Step unit = reader.next(0);  // 单 inside 单位 keeps the phrase's reading
    EXPECT_EQ(unit.kind, Step::Kind::Phrase);
    EXPECT_EQ(unit.phraseLength, 2);
    EXPECT_EQ(lib.phrases.currentPhrase().reading, u"单位");
    ASSERT_EQ(unit.words.size(), 1u);
    EXPECT_EQ(unit.words[0].sourceOffset, 5u);
    EXPECT_EQ(unit.words[0].length, 2u);

    Step hello = reader.next(0);
    EXPECT_EQ(hello.kind, Step::Kind::Sentence);
    EXPECT_EQ(hello.consumed, 2u);
    EXPECT_EQ(lib.sentences.entry(size_t(hello.sentence)).text, u"你好");

    Step china = reader.next(0);
    EXPECT_EQ(china.kind, Step::Kind::Phrase);
    EXPECT_EQ(china.phraseLength, 3);
    EXPECT_EQ(lib.phrases.currentPhrase().text, u"中国人");

    EXPECT_EQ(reader.next(0).kind, Step::Kind::Single);  // 民
    EXPECT_TRUE(reader.done());
}
