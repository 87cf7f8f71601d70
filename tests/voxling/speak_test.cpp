// The speak loop against a recording site. A silent library makes every unit exactly 2,000 bytes
// of silence, so the byte counts of units, pauses and events are exact.
#include "VoxlingTestSupport.h"

#include "platform/registry/Registry.h"
#include "platform/speech/SpeechThread.h"

#include <algorithm>
#include <latch>
#include <numeric>
#include <thread>

using namespace win;
using namespace voxtest;

namespace {

const std::string kSilent = "kind silent\nunits U+4E00-U+4E0F\nphrase 一七\n";
const std::string kTone = "kind tone\nunits U+4E00-U+4E0F U+0030-U+0039\nphrase 一七\n";

// Bytes of the period item the end of the text adds at rate 0: f x (5,000 + 8,000), then the
// item's closing 12,000.
constexpr uint64_t kFinalPeriod = 15600 + 12000;
constexpr uint64_t kUnit = 2000;
constexpr uint64_t kItemEnd = 12000;

bool silent(const std::vector<uint8_t>& audio) {
    return std::all_of(audio.begin(), audio.end(), [](uint8_t b) { return b == 0; });
}

} // namespace

class SpeakTest : public VoxlingTest {
protected:
    com::ComPtr<ISpTTSEngine> engine(const std::string& manifest = kSilent) {
        install(manifest);
        HRESULT hr = E_FAIL;
        auto e = boundEngine(&hr);
        EXPECT_EQ(hr, S_OK);
        return e;
    }
};

TEST_F(SpeakTest, ByteCountsOfUnitsPausesAndFragments) {
    struct Case {
        const char* name;
        std::vector<FragmentSpec> frags;
        LONG rate;
        uint64_t bytes;
        DWORD readNumber = 0;
    };
    // Number units above U+00FF (place words, 点, 百分之, 元角分) take no number pause; ASCII
    // digits and marks take f x 5,000 = 6,000.
    const Case cases[] = {
        {"plain characters", {{SPVA_Speak, u"一二"}}, 0, 2 * kUnit + kItemEnd + kFinalPeriod},
        {"digits, each with its number pause", {{SPVA_Speak, u"12"}}, 0, 2 * (kUnit + 6000) + kItemEnd + kFinalPeriod},
        {"full-width comma: short pause, unvoiced", {{SPVA_Speak, u"一，"}}, 0, kUnit + 15600 + kItemEnd + kFinalPeriod},
        {"ideographic full stop: long pause", {{SPVA_Speak, u"一。"}}, 0, kUnit + 33600 + kItemEnd + kFinalPeriod},
        {"a sentence end of its own", {{SPVA_Speak, u"一."}}, 0, kUnit + kItemEnd + kFinalPeriod},
        {"ideographic space says nothing", {{SPVA_Speak, u"一\u3000"}}, 0, kUnit + kItemEnd + kFinalPeriod},
        {"a Greek letter: a pause of its own", {{SPVA_Speak, u"α"}}, 0, 12000 + kItemEnd + kFinalPeriod},
        {"dictionary phrase", {{SPVA_Speak, u"一七"}}, 0, 2 * kUnit + kItemEnd + kFinalPeriod},
        // 3, 点, 1, 4: a pause after each digit, none after 点.
        {"digits mode: a decimal point", {{SPVA_Speak, u"3.14"}}, 0, 4 * kUnit + 3 * 6000 + kItemEnd + kFinalPeriod},
        // 壹仟零伍
        {"value mode", {{SPVA_Speak, u"1005"}}, 0, 4 * kUnit + kItemEnd + kFinalPeriod, 1},
        // 伍分: no 零 and no 元 before the cents
        {"money mode", {{SPVA_Speak, u"0.05"}}, 0, 2 * kUnit + kItemEnd + kFinalPeriod, 2},
        // 2, 0, 0, 8 with their pauses, then 年 on its own
        {"a year is read digit by digit in value mode", {{SPVA_Speak, u"2008年"}}, 0, 4 * (kUnit + 6000) + kUnit + kItemEnd + kFinalPeriod, 1},
        // 拾贰, then 月
        {"a month is read as a value in digits mode", {{SPVA_Speak, u"12月"}}, 0, 3 * kUnit + kItemEnd + kFinalPeriod},
        // 百分之伍拾
        {"percent", {{SPVA_Speak, u"50%"}}, 0, 5 * kUnit + kItemEnd + kFinalPeriod},
        // 拾贰元伍角
        {"money amount", {{SPVA_Speak, u"12.50元"}}, 0, 5 * kUnit + kItemEnd + kFinalPeriod},
        // 一, 1,000 bytes of silence, 二
        {"#w silence inside the text", {{SPVA_Speak, u"一#w1000二"}}, 0, 2 * kUnit + 1000 + kItemEnd + kFinalPeriod},
        // 3, '.', 5: the point by its own unit, each with its number pause
        {"#c reads characters", {{SPVA_Speak, u"#c3.5"}}, 0, 3 * (kUnit + 6000) + kItemEnd + kFinalPeriod},
        // Unvoiced ASCII comma, colon, semicolon: 1.2 x (20,000 + 8,000) = 33,600; ! and ?:
        // 1.2 x (5,000 + 8,000) = 15,600. A mark ending a token is an item of its own; only
        // . ! ? there end the sentence without the added period.
        {"ASCII comma: long pause", {{SPVA_Speak, u"一,二"}}, 0, 2 * kUnit + 33600 + kItemEnd + kFinalPeriod},
        {"ASCII colon, and a semicolon item that ends no sentence", {{SPVA_Speak, u"一:二;"}}, 0, 2 * kUnit + 33600 + kItemEnd + 33600 + kItemEnd + kFinalPeriod},
        {"ASCII question mark, and an exclamation mark ending the sentence", {{SPVA_Speak, u"一?二!"}}, 0, 2 * kUnit + 15600 + kItemEnd + 15600 + kItemEnd},
        // Full-width forms swap the classes: ： short, ！ long; and ！ ends no sentence.
        {"full-width colon and exclamation mark", {{SPVA_Speak, u"一：二！"}}, 0, 2 * kUnit + 15600 + 33600 + kItemEnd + kFinalPeriod},
        {"rate 10", {{SPVA_Speak, u"一。"}}, 10, kUnit + 5600 + 2000 + 2600 + 2000},
        // Number pause 0.2 x 5,000, item end 0.2 x 10,000, period 0.2 x 13,000 + 2,000.
        {"digits at rate 10", {{SPVA_Speak, u"12"}}, 10, 2 * (kUnit + 1000) + 2000 + 2600 + 2000},
        {"rate -10", {{SPVA_Speak, u"一。"}}, -10, kUnit + 61600 + 22000 + 28600 + 22000},
        {"rate 5 pauses like rate 0", {{SPVA_Speak, u"一。"}}, 5, kUnit + 33600 + kItemEnd + kFinalPeriod},
        {"silence of 100 ms", {{SPVA_Silence, u"", 100}}, 0, 2200},
        {"silence beyond 65,535 ms is cut there", {{SPVA_Silence, u"", 4000000000u}}, 0, 65535 * 22},
        {"spelling says nothing", {{SPVA_SpellOut, u"abc"}}, 0, 0},
        {"empty list", {}, 0, 0},
    };
    // An engine reads its settings when it is made: one per ReadNumber mode.
    com::ComPtr<ISpTTSEngine> byMode[3] = {engine()};
    for (DWORD mode : {1u, 2u}) {
        ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "ReadNumber", mode));
        byMode[mode] = boundEngine();
        ASSERT_TRUE(byMode[mode]);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSite site;
        site.rate = c.rate;
        if (c.rate) site.actions = [](int) { return DWORD(SPVES_RATE); };
        FragmentChain frags(c.frags);
        EXPECT_EQ(speak(byMode[c.readNumber].get(), frags, site), S_OK);
        EXPECT_EQ(site.audio.size(), c.bytes);
        EXPECT_TRUE(silent(site.audio));
    }
}

TEST_F(SpeakTest, SilenceIsWrittenInBlocksOfAThousandBytes) {
    auto e = engine();
    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"一"}, {SPVA_Silence, u"", 100}, {SPVA_Bookmark, u"end"}});
    ASSERT_EQ(speak(e.get(), frags, site), S_OK);
    const std::vector<size_t> tail(site.writes.end() - 3, site.writes.end());
    EXPECT_EQ(tail, (std::vector<size_t>{1000, 1000, 200}));
    const auto marks = site.ofKind(SPEI_TTS_BOOKMARK);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].offset, kUnit + kItemEnd + 2200);
}

TEST_F(SpeakTest, WordEventsCarryTheByteCountAndTheSourceText) {
    auto e = engine();
    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"一七二"}});
    ASSERT_EQ(speak(e.get(), frags, site), S_OK);
    struct W {
        uint64_t offset;
        intptr_t at;
        uintptr_t len;
        bool operator==(const W&) const = default;
    };
    std::vector<W> words;
    for (const auto& ev : site.ofKind(SPEI_WORD_BOUNDARY)) words.push_back({ev.offset, ev.lParam, ev.wParam});
    // The phrase is one word; a single character gets the word of its failed phrase look-up
    // and its own; the period the end of the text adds stands at the last character.
    const uint64_t afterItem = 3 * kUnit + kItemEnd;
    const std::vector<W> expected = {
        {0, 0, 2}, {2 * kUnit, 2, 1}, {2 * kUnit, 2, 1}, {afterItem, 2, 1}, {afterItem, 2, 1},
    };
    EXPECT_EQ(words, expected);
    EXPECT_TRUE(site.ofKind(SPEI_SENTENCE_BOUNDARY).empty());
}

TEST_F(SpeakTest, BookmarksGiveTheirLeadingNumber) {
    auto e = engine();
    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"一"}, {SPVA_Bookmark, u"12abc"}, {SPVA_Bookmark, u"abc"}, {SPVA_Speak, u"二"}});
    ASSERT_EQ(speak(e.get(), frags, site), S_OK);
    const auto marks = site.ofKind(SPEI_TTS_BOOKMARK);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].text, u"12abc");
    EXPECT_EQ(marks[0].wParam, 12u);
    EXPECT_EQ(marks[1].text, u"abc");
    EXPECT_EQ(marks[1].wParam, 0u);
    EXPECT_EQ(marks[0].offset, kUnit + kItemEnd);
    EXPECT_EQ(site.audio.size(), 2 * (kUnit + kItemEnd) + kFinalPeriod);
}

// An abort inside one long item stops it within a unit, with voiced units as well as silence.
TEST_F(SpeakTest, AbortInsideALongItem) {
    auto e = engine(kTone);
    FragmentChain longItem({{SPVA_Speak, std::u16string(200, u'一')}});
    RecordingSite site;
    site.actions = [&site](int) { return site.writes.size() >= 2 ? DWORD(SPVES_ABORT) : DWORD(0); };
    EXPECT_EQ(speak(e.get(), longItem, site), S_OK);
    EXPECT_EQ(site.writes.size(), 2u);
}

TEST_F(SpeakTest, AbortSkipAndAFailingWrite) {
    auto e = engine();
    FragmentChain frags({{SPVA_Speak, u"一二三. 四五六."}});
    {
        SCOPED_TRACE("abort at the first check");
        RecordingSite site;
        site.actions = [](int) { return DWORD(SPVES_ABORT); };
        EXPECT_EQ(speak(e.get(), frags, site), S_OK);
        EXPECT_TRUE(site.writes.empty());
        EXPECT_TRUE(site.events.empty());
        EXPECT_EQ(site.actionCalls, 1);
    }
    {
        SCOPED_TRACE("abort once the first sentence is under way");
        RecordingSite site;
        // Checks: the sentence loop twice, the item, the item's step, the character's rate, the
        // unit, then one per silence block.
        site.actions = [](int call) { return call > 8 ? DWORD(SPVES_ABORT) : DWORD(0); };
        EXPECT_EQ(speak(e.get(), frags, site), S_OK);
        EXPECT_EQ(site.audio.size(), kUnit);
    }
    {
        SCOPED_TRACE("skip: acknowledged, nothing skipped");
        RecordingSite site;
        site.actions = [](int call) { return call == 1 ? DWORD(SPVES_SKIP) : DWORD(0); };
        EXPECT_EQ(speak(e.get(), frags, site), S_OK);
        EXPECT_EQ(site.skipsCompleted, 1);
        EXPECT_EQ(site.audio.size(), 2 * (3 * kUnit + kItemEnd + 15600 + kItemEnd));
    }
    {
        SCOPED_TRACE("a failing write ends the call with its result");
        RecordingSite site;
        site.failWriteAt = 2;
        site.writeFailure = SPERR_AUDIO_STOPPED;
        EXPECT_EQ(speak(e.get(), frags, site), SPERR_AUDIO_STOPPED);
        EXPECT_EQ(site.writes.size(), 2u);
    }
    {
        SCOPED_TRACE("a fragment list that loops back on itself");
        SPVTEXTFRAG loop{};
        loop.pNext = &loop;
        loop.State.eAction = SPVA_Speak;
        loop.pTextStart = u"一";
        loop.ulTextLen = 1;
        RecordingSite site;
        EXPECT_EQ(e->Speak(0, SPDFID_WaveFormatEx, nullptr, &loop, &site), E_INVALIDARG);
        EXPECT_TRUE(site.writes.empty());
    }
    {
        SCOPED_TRACE("no site");
        EXPECT_EQ(e->Speak(0, SPDFID_WaveFormatEx, nullptr, frags.head(), nullptr), E_INVALIDARG);
    }
}

TEST_F(SpeakTest, ReadSentenceWritesEachSentenceWholeWithOneEvent) {
    ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "ReadSentence", 1));
    auto e = engine();
    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"一二. 三"}});
    ASSERT_EQ(speak(e.get(), frags, site), S_OK);
    const uint64_t first = 2 * kUnit + kItemEnd + 15600 + kItemEnd;
    const uint64_t second = kUnit + kItemEnd + kFinalPeriod;
    EXPECT_EQ(site.writes, (std::vector<size_t>{first, second}));
    EXPECT_TRUE(site.ofKind(SPEI_WORD_BOUNDARY).empty());
    const auto sentences = site.ofKind(SPEI_SENTENCE_BOUNDARY);
    ASSERT_EQ(sentences.size(), 2u);
    EXPECT_EQ(sentences[0].offset, 0u);
    EXPECT_EQ(sentences[0].lParam, 0);
    EXPECT_EQ(sentences[0].wParam, 3u);
    EXPECT_EQ(sentences[1].offset, first);
    EXPECT_EQ(sentences[1].lParam, 4);
    EXPECT_EQ(sentences[1].wParam, 1u);
}

// Settings values from the registry are brought into range, and one of the wrong type is as
// good as missing.
TEST_F(SpeakTest, SettingsOutOfRangeAreClamped) {
    ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "PunctuationLong", 4000000000u));
    ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "ReadPunctuation", 7));
    ASSERT_TRUE(reg::setString(HKEY_LOCAL_MACHINE, kSettingsKey, "ReadSentence", "1"));
    auto e = engine();
    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"。"}});
    ASSERT_EQ(speak(e.get(), frags, site), S_OK);
    // 4,000,000,000 is a large pause unit, held at 100,000 bytes (1.2 times that at the normal
    // rate). ReadPunctuation 1 voices the mark's unit; ReadSentence stays 0, so words are reported.
    EXPECT_EQ(site.audio.size(), kUnit + kItemEnd + kUnit + 120000 + 6000 + kItemEnd);
    EXPECT_FALSE(site.ofKind(SPEI_WORD_BOUNDARY).empty());

    ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "PunctuationLong", 2000000));
    ASSERT_TRUE(reg::setDword(HKEY_LOCAL_MACHINE, kSettingsKey, "ReadPunctuation", 0));
    auto big = newEngine();
    com::ComPtr<ISpObjectWithToken> bind;
    ASSERT_EQ(big.as(IID_ISpObjectWithToken, bind), S_OK);
    ASSERT_EQ(bind->SetObjectToken(token().get()), S_OK);
    RecordingSite site2;
    ASSERT_EQ(speak(big.get(), frags, site2), S_OK);
    EXPECT_EQ(site2.audio.size(), 129600 + kItemEnd + 15600 + kItemEnd);
}

TEST_F(SpeakTest, ANumberTooLargeWarnsOnceAndSaysNothing) {
    auto e = engine();
    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"#n123456789012345"}});
    ASSERT_EQ(speak(e.get(), frags, site), S_OK);
    const auto boxes = speech::speechThreadMessageBoxes(*m);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "警告: 数值大于万亿,不能进行朗读!");
    EXPECT_EQ(boxes[0].caption, "提示");
    EXPECT_EQ(site.audio.size(), kItemEnd + kFinalPeriod);
}

// Two bound engines hold their own library and state: releasing one leaves the other whole.
TEST_F(SpeakTest, EnginesStandApart) {
    auto a = engine();
    HRESULT hr = E_FAIL;
    auto b = boundEngine(&hr);
    ASSERT_EQ(hr, S_OK);
    FragmentChain frags({{SPVA_Speak, u"一七二"}});
    RecordingSite before;
    ASSERT_EQ(speak(b.get(), frags, before), S_OK);
    a.reset();
    RecordingSite after;
    ASSERT_EQ(speak(b.get(), frags, after), S_OK);
    EXPECT_EQ(after.audio.size(), before.audio.size());
    EXPECT_EQ(after.ofKind(SPEI_WORD_BOUNDARY).front().wParam, 2u);  // the phrase still matches
}

// A tone library voices its units; at volume 0 every unit is the fixed silence again, so the
// count matches the silent library's exactly.
TEST_F(SpeakTest, ToneLibraryVoicesUnitsAndVolumeZeroSilencesThem) {
    auto e = engine(kTone);
    FragmentChain frags({{SPVA_Speak, u"一七二 3"}});
    RecordingSite loud;
    ASSERT_EQ(speak(e.get(), frags, loud), S_OK);
    EXPECT_FALSE(silent(loud.audio));

    RecordingSite quiet;
    quiet.volume = 0;
    quiet.actions = [](int) { return DWORD(SPVES_VOLUME); };
    ASSERT_EQ(speak(e.get(), frags, quiet), S_OK);
    EXPECT_TRUE(silent(quiet.audio));
    EXPECT_EQ(quiet.audio.size(), 3 * kUnit + kItemEnd + kUnit + 6000 + kItemEnd + kFinalPeriod);

    RecordingSite fast;
    fast.rate = 10;
    fast.actions = [](int) { return DWORD(SPVES_RATE); };
    ASSERT_EQ(speak(e.get(), frags, fast), S_OK);
    EXPECT_LT(fast.audio.size(), loud.audio.size());
}

// A sentence recording and a phrase's own recording are played whole, each as one word.
TEST_F(SpeakTest, PlaysSentenceAndPhraseRecordings) {
    auto e = engine("kind tone\nunits U+4E00-U+4E0F\nphrase 一二 recorded\nsentence 三四 hi.wav\n");
    RecordingSite site;
    FragmentChain frags({{SPVA_Speak, u"三四一二"}});
    ASSERT_EQ(speak(e.get(), frags, site), S_OK);
    const auto words = site.ofKind(SPEI_WORD_BOUNDARY);
    ASSERT_GE(words.size(), 2u);
    EXPECT_EQ(words[0].offset, 0u);
    EXPECT_EQ(words[0].wParam, 2u);
    // The tone library's sentence file is 8,000 samples, played unstretched at rate 0.
    EXPECT_EQ(words[1].offset, 16000u);
    EXPECT_EQ(words[1].lParam, 2);
    EXPECT_EQ(words[1].wParam, 2u);
    EXPECT_GT(site.audio.size(), 16000 + kItemEnd + kFinalPeriod + 6000);
    EXPECT_FALSE(silent(std::vector<uint8_t>(site.audio.begin(), site.audio.begin() + 16000)));
    EXPECT_FALSE(silent(std::vector<uint8_t>(site.audio.begin() + 16000, site.audio.begin() + 26000)));
}

// Engines on different threads share the process's transforms. Speaking different texts at
// different rates at the same moment, round after round, each gives the bytes it gives alone. The
// recordings are stretched afresh on every call, so every round runs the transforms on both.
TEST_F(SpeakTest, TwoEnginesSpeakingAtOnceGiveWhatEachGivesAlone) {
    auto first = engine("kind tone\nunits U+4E00-U+4E0F U+0030-U+0039\nphrase 一二 recorded\nsentence 三四 hi.wav\n");
    auto second = boundEngine();
    ASSERT_TRUE(second);
    struct Voice {
        ISpTTSEngine* engine;
        FragmentChain text;
        LONG rate;
        std::vector<uint8_t> alone;
    };
    Voice voices[] = {
        {first.get(), FragmentChain({{SPVA_Speak, u"三四一二五六"}}), 0, {}},
        {second.get(), FragmentChain({{SPVA_Speak, u"一二七八。3"}}), 4, {}},
    };
    auto say = [](Voice& v, RecordingSite& site) {
        site.rate = v.rate;
        site.actions = [](int call) { return call == 1 ? DWORD(SPVES_RATE) : DWORD(0); };
        return speak(v.engine, v.text, site);
    };
    for (Voice& v : voices) {
        RecordingSite site;
        ASSERT_EQ(say(v, site), S_OK);
        ASSERT_FALSE(silent(site.audio));
        v.alone = site.audio;
    }
    ASSERT_TRUE(voices[0].alone != voices[1].alone);

    for (int round = 0; round < 30; ++round) {
        RecordingSite sites[2];
        HRESULT results[2] = {E_FAIL, E_FAIL};
        std::latch start(2);
        std::vector<std::thread> threads;
        for (int i = 0; i < 2; ++i)
            threads.emplace_back([&, i] {
                speech::SpeechThreadScope scope(*m);
                start.arrive_and_wait();
                results[i] = say(voices[i], sites[i]);
            });
        for (auto& t : threads) t.join();
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(results[i], S_OK) << "round " << round << ", engine " << i;
            ASSERT_TRUE(sites[i].audio == voices[i].alone)
                << "round " << round << ", engine " << i << ": " << sites[i].audio.size() << " bytes, alone "
                << voices[i].alone.size();
        }
    }
}
