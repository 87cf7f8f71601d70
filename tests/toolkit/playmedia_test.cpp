#include "toolkit/PlayMediaCls.h"

#include "platform/desktop/Win.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/ProgramSounds.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using testing_support::TestMachine;

namespace {

const std::string kProgram = "C:\\Program Files\\Pennant";
const std::string kAlarm = kProgram + "\\Sound\\Alarm.wav";
const std::string kChime = kProgram + "\\Media\\15.mid";

struct SoundMachine {
    TestMachine m;
    SoundMachine() {
        m->setSetting("audio.output", "none");
        EXPECT_TRUE(media::installProgramSounds(*m, kProgram));
    }
    sys::Machine* operator->() { return &*m; }
    size_t played() { return media::audioRecorder(*m).clips().size(); }
};

// Little-endian bytes of a PCM wave with the given data.
std::string wave(const std::string& data) {
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
        return s;
    };
    const std::string fmt = le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4) + le(2, 2) + le(16, 2);
    const std::string body = "WAVE" + std::string("fmt ") + le(16, 4) + fmt + "data" + le(uint32_t(data.size()), 4) + data;
    return "RIFF" + le(uint32_t(body.size()), 4) + body;
}

} // namespace

// Wave and MIDI files play to their end on the machine clock and raise EndPlay once; the poll
// timer is stopped by then.
TEST(PlayMediaCls, PlaysToTheEndOnce) {
    for (const std::string& file : {kAlarm, kChime}) {
        SCOPED_TRACE(file);
        SoundMachine sm;
        PlayMediaCls p;
        int ends = 0;
        p.EndPlay = [&] { ++ends; };
        ASSERT_TRUE(p.OpenMedia(file));
        EXPECT_TRUE(p.Valid());
        p.Play();
        EXPECT_EQ(sm.played(), 1u);
        EXPECT_EQ(mTimer::runningCount(), 1);
        EXPECT_TRUE(sm->runUntil([&] { return ends > 0; }, 60000));
        sm->runFor(1000);
        EXPECT_EQ(ends, 1);
        EXPECT_EQ(mTimer::runningCount(), 0);

        p.Play();  // replays from the start
        EXPECT_TRUE(sm->runUntil([&] { return ends > 1; }, 60000));
        EXPECT_EQ(sm.played(), 2u);
    }
}

// Play again while playing restarts: one EndPlay at the end, and the replaced poll timers are
// stopped, so repeated plays never fill the timer table.
TEST(PlayMediaCls, ReplayingStopsThePreviousPoll) {
    SoundMachine sm;
    PlayMediaCls p;
    int ends = 0;
    p.EndPlay = [&] { ++ends; };
    ASSERT_TRUE(p.OpenMedia(kAlarm));
    for (int i = 0; i < mTimer::kMaxTimers + 20; ++i) {
        p.Play();
        sm->runFor(100);
    }
    EXPECT_EQ(mTimer::runningCount(), 1);
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(sm->runUntil([&] { return ends > 0; }, 60000));
    sm->runFor(2000);
    EXPECT_EQ(ends, 1);
}

// Stop_ silences the sound: no EndPlay follows, while the poll runs on until the next
// OpenMedia, which stops it.
TEST(PlayMediaCls, StopMeansNoEndPlay) {
    SoundMachine sm;
    PlayMediaCls p;
    int ends = 0;
    p.EndPlay = [&] { ++ends; };
    ASSERT_TRUE(p.OpenMedia(kAlarm));
    p.Play();
    sm->runFor(100);
    p.Stop_();
    sm->runFor(30000);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(mTimer::runningCount(), 1);
    ASSERT_TRUE(p.OpenMedia(kChime));
    EXPECT_EQ(mTimer::runningCount(), 0);
}

// Files that cannot be played leave the object not valid, and Play and Stop_ do nothing.
TEST(PlayMediaCls, UnplayableFilesFailQuietly) {
    SoundMachine sm;
    sm->makeDirs(kProgram + "\\Bad");
    struct Case { const char* name; std::string bytes; };
    const Case cases[] = {
        {"empty.wav", ""},
        {"text.wav", "not a sound at all"},
        {"cut.wav", wave(std::string(4000, '\x10')).substr(0, 30)},
        {"riff.wav", "RIFF\xff\xff\xff\x7fWAVEfmt \x02\x00\x00\x00"},
        {"midi.mid", "MThd\x00\x00\x00\x06\x00\x01\x00\x05\x01\xe0MTrk\xff\xff\xff\xff"},
    };
    for (const auto& c : cases) {
        const std::string path = kProgram + "\\Bad\\" + c.name;
        ASSERT_TRUE(sm->writeFileAtomic(path, c.bytes));
    }
    PlayMediaCls p;
    int ends = 0;
    p.EndPlay = [&] { ++ends; };
    std::vector<std::string> paths{kProgram + "\\Sound\\Missing.wav", kProgram + "\\Bad", ""};
    for (const auto& c : cases) paths.push_back(kProgram + "\\Bad\\" + c.name);
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(p.OpenMedia(kAlarm));
        EXPECT_FALSE(p.OpenMedia(path));
        EXPECT_FALSE(p.Valid());
        p.Play();
        p.Stop_();
        EXPECT_EQ(mTimer::runningCount(), 0);
    }
    sm->runFor(1000);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(sm.played(), 0u);
}

// A sound without samples ends on the poll's first tick.
TEST(PlayMediaCls, AnEmptySoundEndsOnTheFirstPoll) {
    SoundMachine sm;
    ASSERT_TRUE(sm->writeFileAtomic(kProgram + "\\Sound\\Silent.wav", wave("")));
    PlayMediaCls p;
    int ends = 0;
    p.EndPlay = [&] { ++ends; };
    ASSERT_TRUE(p.OpenMedia(kProgram + "\\Sound\\Silent.wav"));
    p.Play();
    EXPECT_EQ(ends, 0);
    sm->runFor(100);
    EXPECT_EQ(ends, 1);
}

// The owner may drop the player from EndPlay, or destroy it while it plays.
TEST(PlayMediaCls, OwnerMayDestroyItInEndPlayOrWhilePlaying) {
    SoundMachine sm;
    auto p = std::make_unique<PlayMediaCls>();
    bool ended = false;
    p->EndPlay = [&] {
        ended = true;
        p.reset();
    };
    ASSERT_TRUE(p->OpenMedia(kAlarm));
    p->Play();
    EXPECT_TRUE(sm->runUntil([&] { return ended; }, 60000));
    EXPECT_EQ(p, nullptr);

    auto q = std::make_unique<PlayMediaCls>();
    ASSERT_TRUE(q->OpenMedia(kAlarm));
    q->Play();
    sm->runFor(100);
    q.reset();
    EXPECT_EQ(mTimer::runningCount(), 0);
    sm->runFor(30000);
}
