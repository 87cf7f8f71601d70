// The phrase lookup with its two passes, and the sentence table.
#include "support/TestMachine.h"
#include "VoiceTestSupport.h"
#include "speech-engine/VoiceFormat.h"

#include <gtest/gtest.h>

using namespace voicetest;

namespace {

voicegen::PhraseSpec phrase(std::u16string text, uint32_t flags = 0, bool fallback = false) {
    voicegen::PhraseSpec p;
    p.text = text;
    p.reading = text;
    p.flags = flags;
    p.fallback = fallback;
    return p;
}

// Writes a library whose records stand in exactly the given order (the writer would sort them).
class Lookup : public ::testing::Test {
protected:
    void write(const std::vector<voicegen::PhraseSpec>& phrases) {
        voicegen::LibraryContent content;
        content.phrases = phrases;
        std::string error;
        auto dir = machine->hostPath("C:\\Voice");
        ASSERT_TRUE(voicegen::writeLibrary(content, dir, error)) << error;
        lib = std::make_unique<voxling::VoiceLibrary>();
        ASSERT_EQ(openVoice(*lib), 0u);
    }
    void writeInOrder(const std::vector<voicegen::PhraseSpec>& phrases) {
        write({});
        auto path = machine->hostPath("C:\\Voice\\VoiceWord.dat");
        auto word = readHostFile(path);
        word.resize(voxling::format::kPhraseRecordsOffset + phrases.size() * voxling::format::kPhraseRecordSize);
        for (size_t n = 0; n < phrases.size(); ++n) {
            uint8_t* r = &word[voxling::format::kPhraseRecordsOffset + n * voxling::format::kPhraseRecordSize];
            for (size_t i = 0; i < phrases[n].text.size(); ++i) {
                voxling::format::writeU16(r + 2 * i, phrases[n].text[i]);
                voxling::format::writeU16(r + 82 + 2 * i, phrases[n].reading[i]);
            }
            voxling::format::writeU32(r + 360, phrases[n].flags);
        }
        size_t at = voxling::format::indexEntryOffset(phrases[0].text[0]);
        voxling::format::writeU32(&word[at + 4], 0);
        voxling::format::writeU32(&word[at + 8], uint32_t(phrases.size()));
        writeHostFile(path, word);
        lib = std::make_unique<voxling::VoiceLibrary>();
        ASSERT_EQ(openVoice(*lib), 0u);
    }
    testing_support::TestMachine machine;
    std::unique_ptr<voxling::VoiceLibrary> lib;
};

} // namespace

TEST_F(Lookup, LongestStoredPhraseWins) {
    write({phrase(u"中国"), phrase(u"中国人"), phrase(u"中文"), phrase(u"美元")});
    struct Case {
        std::u16string text;
        int length;
        std::u16string record;
    } cases[] = {
        {u"中国人民", 3, u"中国人"}, {u"中国", 2, u"中国"}, {u"中国队", 2, u"中国"},
        {u"中文字", 2, u"中文"},     {u"中", 1, u""},      {u"美元汇率", 2, u"美元"},
        {u"国中", 1, u""},           {u"", 1, u""},
    };
    for (const auto& c : cases) {
        lib->phrases.clearCurrentPhrase();
        EXPECT_EQ(lib->phrases.LookupPhrase(c.text), c.length);
        EXPECT_EQ(lib->phrases.currentPhrase().text, c.record);
    }
    const char16_t chars[8] = {u'中', u'国', u'人', 0, u'x', u'x', u'x', u'x'};
    EXPECT_EQ(lib->phrases.LookupPhraseChars(chars), 3);
    // Only the first eight characters take part.
    write({phrase(u"一二三四五六七八")});
    EXPECT_EQ(lib->phrases.LookupPhrase(u"一二三四五六七八九"), 8);
}

TEST_F(Lookup, ShorterRecordStoredFirstHidesALongerOne) {
    writeInOrder({phrase(u"中国"), phrase(u"中国人")});
    EXPECT_EQ(lib->phrases.LookupPhrase(u"中国人民"), 2);
    writeInOrder({phrase(u"中文"), phrase(u"中国人")});
    EXPECT_EQ(lib->phrases.LookupPhrase(u"中国人民"), 1);
    writeInOrder({phrase(u"中"), phrase(u"中国人")});  // one-character records are skipped
    EXPECT_EQ(lib->phrases.LookupPhrase(u"中国人民"), 3);
}

TEST_F(Lookup, DisabledRecordsNeverMatch) {
    write({phrase(u"中国人", voxling::format::kPhraseDisabled), phrase(u"中国"),
           phrase(u"美元", 0x3), phrase(u"日元", 0x2)});
    EXPECT_EQ(lib->phrases.LookupPhrase(u"中国人民"), 2);
    EXPECT_EQ(lib->phrases.LookupPhrase(u"美元"), 1);
    EXPECT_EQ(lib->phrases.LookupPhrase(u"日元"), 2);  // only bit 0 disables
    write({phrase(u"啊啊", voxling::format::kPhraseDisabled, true)});
    EXPECT_EQ(lib->phrases.LookupPhrase(u"啊啊"), 1);
}

TEST_F(Lookup, FallbackRangeServesWhatTheIndexLacks) {
    write({phrase(u"中国"), phrase(u"中国人民银行", 0, true), phrase(u"ΑΒ", 0, false), phrase(u"中国人", 0, true)});
    EXPECT_EQ(lib->phrases.indexEntry(0x0391).end, 0u);  // Greek has no index entry
    EXPECT_EQ(lib->phrases.LookupPhrase(u"ΑΒΓ"), 2);
    // The first pass finds 中国 first; the fallback is only asked when it finds nothing.
    EXPECT_EQ(lib->phrases.LookupPhrase(u"中国人民银行"), 2);
    write({phrase(u"中国人民银行", 0, true), phrase(u"中国人", 0, true)});
    EXPECT_EQ(lib->phrases.LookupPhrase(u"中国人民银行行长"), 6);
    EXPECT_EQ(lib->phrases.LookupPhrase(u"中国人民"), 3);
}

TEST_F(Lookup, MatchIsCopiedIntoTheCurrentRecord) {
    voicegen::PhraseSpec p = phrase(u"银行");
    p.reading = u"银航";
    p.pinyin[0] = "yi2n";
    p.pinyin[1] = "ha2ng";
    p.a = {1, -2};
    p.b = {3, 4};
    p.c = {500, 600};
    p.duration = {120, 80};
    write({p});
    lib->phrases.resetCurrentPhrase(u'银');
    EXPECT_EQ(lib->phrases.currentPhrase().text, u"银");
    EXPECT_EQ(lib->phrases.currentPhrase().reading, u"银");
    ASSERT_EQ(lib->phrases.LookupPhrase(u"银行卡"), 2);
    const auto& r = lib->phrases.currentPhrase();
    EXPECT_EQ(r.text, u"银行");
    EXPECT_EQ(r.reading, u"银航");
    EXPECT_EQ(r.pinyin[1], "ha2ng");
    EXPECT_EQ(r.a[1], -2);
    EXPECT_EQ(r.b[0], 3);
    EXPECT_EQ(r.c[1], 600);
    EXPECT_EQ(r.duration[0], 120);
    // A failed lookup leaves the record as the caller set it.
    lib->phrases.resetCurrentPhrase(u'行');
    EXPECT_EQ(lib->phrases.LookupPhrase(u"行人"), 1);
    EXPECT_EQ(lib->phrases.currentPhrase().text, u"行");
}

TEST_F(Lookup, ReadingLengthIsWhatAMatchCovers) {
    voicegen::PhraseSpec longReading = phrase(u"一二");
    longReading.reading = std::u16string(20, u'一');  // more syllables than a record can voice
    voicegen::PhraseSpec noReading = phrase(u"美元");
    noReading.reading.clear();
    write({longReading, noReading});
    EXPECT_EQ(lib->phrases.LookupPhrase(u"一二"), 8);
    EXPECT_EQ(lib->phrases.LookupPhrase(u"美元"), 1);
}

namespace {

std::vector<uint8_t> utf16(std::u16string_view s) {
    std::vector<uint8_t> b;
    for (char16_t c : s) {
        b.push_back(uint8_t(c));
        b.push_back(uint8_t(c >> 8));
    }
    return b;
}

} // namespace

TEST(SentenceTable, EntriesAreReadInFileOrder) {
    voxling::SentenceTable t;
    auto bytes = utf16(u"\xFEFF<SentenceWord>你好</SentenceWord>\r\n<SentenceVoice>[INIFOLDER]a.wav</SentenceVoice>\r\n"
                       u"<SentenceWord>你好吗</SentenceWord><SentenceVoice>D:\\x\\[INIFOLDER]b.MP3</SentenceVoice>"
                       u"<SentenceWord></SentenceWord><SentenceVoice>empty.wav</SentenceVoice>"
                       u"<SentenceWord>再见</SentenceWord><SentenceVoice>c.wav</SentenceVoice>"
                       u"<SentenceWord>不完整</SentenceWord><SentenceVoice>d.wav"
                       u"<SentenceWord>之后</SentenceWord><SentenceVoice>e.wav</SentenceVoice>");
    bytes.push_back(0x41);  // a stray odd byte is ignored
    t.loadFromBytes(bytes, u"C:\\v\\");
    ASSERT_EQ(t.size(), 3u);  // the empty text is dropped; reading stops at the incomplete entry
    EXPECT_EQ(t.entry(0).text, u"你好");
    EXPECT_EQ(t.entry(0).path, u"C:\\v\\a.wav");
    EXPECT_EQ(t.entry(1).path, u"D:\\x\\C:\\v\\b.MP3");
    EXPECT_EQ(t.entry(2).text, u"再见");

    struct Case {
        std::u16string text;
        size_t pos;
        int index;
    } cases[] = {
        {u"你好吗", 0, 0},  // the first entry that fits wins
        {u"说你好", 1, 0}, {u"说你好", 0, -1}, {u"说你好", 2, -1}, {u"说你好", 9, -1},
        {u"再见了", 0, 2},  {u"再", 0, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(t.LookupSentence(c.text, c.pos), c.index) << c.pos;
}

TEST(SentenceTable, FilesWithoutEntriesGiveAnEmptyTable) {
    voxling::SentenceTable t;
    for (auto text : {u"", u"你好 hello.wav", u"<SentenceVoice>a.wav</SentenceVoice>", u"<SentenceWord>你好</SentenceWord>"}) {
        t.loadFromBytes(utf16(text), u"C:\\");
        EXPECT_TRUE(t.empty());
        EXPECT_EQ(t.LookupSentence(u"你好", 0), -1);
    }
    // Over-long fields are cut to what the table holds.
    std::u16string longText(300, u'长');
    t.loadFromBytes(utf16(u"<SentenceWord>" + longText + u"</SentenceWord><SentenceVoice>" +
                          std::u16string(300, u'p') + u"</SentenceVoice>"),
                    u"C:\\v\\");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t.entry(0).text.size(), 255u);
    EXPECT_EQ(t.entry(0).path.size(), 255u);
}

TEST(SentenceTable, LoadsFromTheMachineAndExpandsItsFolder) {
    testing_support::TestMachine machine;
    machine->makeDirs("C:\\v");
    auto bytes = utf16(u"<SentenceWord>你好</SentenceWord><SentenceVoice>[INIFOLDER]a.wav</SentenceVoice>");
    ASSERT_TRUE(machine->writeFileAtomic("C:\\v\\sen.txt", std::string(bytes.begin(), bytes.end())));
    voxling::SentenceTable t;
    t.LoadSentenceTable(u"C:\\v\\sen.txt");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t.entry(0).path, u"C:\\v\\a.wav");
    t.LoadSentenceTable(u"C:\\v\\missing.txt");
    EXPECT_TRUE(t.empty());
}

TEST(SentenceTable, FileKindsAndFolderExpansion) {
    struct Kind {
        std::u16string path;
        int kind;
    } kinds[] = {{u"a.mp3", 2}, {u"A.MP3", 2}, {u"x.y\\a.Wav", 1}, {u"a.wa", 0}, {u"a.ogg", 0},
                 {u"noext", 0}, {u"a.mp3.txt", 0}, {u"a.mp3x", 2}, {u"", 0}};
    for (const auto& k : kinds) EXPECT_EQ(voxling::SoundFileKind(k.path), k.kind);
    EXPECT_EQ(voxling::ExpandIniFolder(u"[INIFOLDER]a.wav", u"C:\\v\\"), u"C:\\v\\a.wav");
    EXPECT_EQ(voxling::ExpandIniFolder(u"[INIFOLDER][INIFOLDER]", u"X\\"), u"X\\X\\");
    EXPECT_EQ(voxling::ExpandIniFolder(u"[inifolder]a.wav", u"C:\\"), u"[inifolder]a.wav");
    EXPECT_EQ(voxling::ExpandIniFolder(u"[INIFOLDER]", std::u16string(400, u'f')).size(), 255u);
}
