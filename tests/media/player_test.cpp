#include "MediaTestUtil.h"
#include "platform/media/Player.h"
#include "platform/media/ProgramSounds.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <cmath>

using namespace media;
using namespace media_test;
using testing_support::TestMachine;

namespace {

const char* kProgram = "C:\\Program Files\\Pennant";

// A machine with the program's sounds installed, writing what it plays to WAV files.
struct MediaMachine {
    TestMachine m;
    MediaMachine() {
        m->setSetting("audio.output", "wav");
        EXPECT_TRUE(installProgramSounds(*m, kProgram));
    }
    sys::Machine& operator*() { return *m; }
    sys::Machine* operator->() { return &*m; }
    std::vector<PlayedClip> clips() { return audioRecorder(*m).clips(); }
};

std::string programFile(const std::string& rel) { return std::string(kProgram) + "\\" + rel; }

} // namespace

// Each kind of file reaches the output whole, at its own length, and ends on the clock.
TEST(Player, PlaysWaveAndMidiToTheOutputAndEndsOnTheClock) {
    struct Case { const char* file; AudioFormat format; };
    const Case cases[] = {
        {"Media\\0.wav", {22050, 1, 16}},
        {"Media\\30.mid", {44100, 2, 16}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        MediaMachine mm;
        Player player(*mm);
        int ends = 0;
        player.setOnEnd([&] { ++ends; });
        ASSERT_TRUE(player.open(programFile(c.file))) << player.lastMessage();
        const uint64_t duration = player.durationMs();
        ASSERT_GT(duration, 1000u);
        EXPECT_EQ(player.positionMs(), 0u);

        const uint64_t start = mm->clock().tickMs();
        player.play();
        EXPECT_TRUE(player.playing());
        const auto clips = mm.clips();
        ASSERT_EQ(clips.size(), 1u);
        EXPECT_EQ(clips[0].purpose, programFile(c.file));
        EXPECT_EQ(clips[0].format, c.format);
        EXPECT_TRUE(clips[0].closed);

        // The WAV file the output wrote: its length is the player's duration, and it is not silent.
        ASSERT_FALSE(clips[0].wavPath.empty());
        EXPECT_NEAR(soxSeconds(clips[0].wavPath), player.duration(), 0.002);
        EXPECT_GT(soxRms(clips[0].wavPath), 0.01);

        mm->runFor(1000);
        EXPECT_EQ(player.positionMs(), 1000u);
        EXPECT_EQ(ends, 0);
        EXPECT_TRUE(mm->runUntil([&] { return ends > 0; }, 60000));
        EXPECT_EQ(mm->clock().tickMs(), start + duration);  // virtual time jumps to the end
        EXPECT_FALSE(player.playing());
        EXPECT_DOUBLE_EQ(player.position(), player.duration());
        mm->runFor(5000);
        EXPECT_EQ(ends, 1);
    }
}

TEST(Player, ReplayRestartsAndStopSilencesWithoutAnEnd) {
    MediaMachine mm;
    Player player(*mm);
    int ends = 0;
    player.setOnEnd([&] { ++ends; });
    ASSERT_TRUE(player.open(programFile("Sound\\Alarm.wav")));
    const uint64_t duration = player.durationMs();

    // Play twice in a row: the second restarts from 0, one end follows.
    player.play();
    mm->runFor(duration / 2);
    player.play();
    EXPECT_EQ(player.positionMs(), 0u);
    mm->runFor(duration - 1);
    EXPECT_EQ(ends, 0);
    mm->runFor(1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(mm.clips().size(), 2u);

    // Stop halfway: the position stays, no end follows.
    player.play();
    mm->runFor(duration / 2);
    player.stop();
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(player.positionMs(), duration / 2);
    mm->runFor(duration * 2);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(player.positionMs(), duration / 2);
}

TEST(Player, ZeroLengthSoundEndsAtOnce) {
    TestMachine m;
    m->setSetting("audio.output", "none");
    ASSERT_TRUE(m->writeFileAtomic("C:\\empty.wav", wavFile(1, 8000, 16, "")));
    Player player(*m);
    int ends = 0;
    player.setOnEnd([&] { ++ends; });
    ASSERT_TRUE(player.open("C:\\empty.wav"));
    EXPECT_EQ(player.durationMs(), 0u);
    const uint64_t start = m->clock().tickMs();
    player.play();
    m->pumpOnce();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(m->clock().tickMs(), start);
}

TEST(Player, MissingOrDamagedFilesFailCleanly) {
    MediaMachine mm;
    static const char kBadWav[] = "RIFF\x10\0\0\0WAVEfmt \x10\0\0\0\x01\0";  // format chunk cut off
    ASSERT_TRUE(mm->writeFileAtomic("C:\\bad.wav", std::string(kBadWav, sizeof kBadWav - 1)));
    ASSERT_TRUE(mm->writeFileAtomic("C:\\bad.mid", std::string("MThd\0\0\0\x06\0\0\0\x01\x01\xE0MTrk\0\0\1\0", 22)));
    ASSERT_TRUE(mm->writeFileAtomic("C:\\notes.txt", "not a sound"));
    mm->makeDirs("C:\\folder.wav");
    const struct { const char* path; SoundError error; } cases[] = {
        {"C:\\nowhere\\missing.wav", SoundError::NotFound},
        {"", SoundError::NotFound},
        {"C:\\bad.wav", SoundError::Damaged},
        {"C:\\bad.mid", SoundError::Damaged},
        {"C:\\notes.txt", SoundError::UnknownFormat},
        {"C:\\folder.wav", SoundError::Unreadable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Player player(*mm);
        int ends = 0;
        player.setOnEnd([&] { ++ends; });
        // A good file first: a failed open must leave the player not valid.
        ASSERT_TRUE(player.open(programFile("Sound\\Ding.wav")));
        EXPECT_FALSE(player.open(c.path));
        EXPECT_FALSE(player.valid());
        EXPECT_EQ(player.lastError(), c.error) << player.lastMessage();
        player.play();
        player.stop();
        EXPECT_FALSE(player.playing());
        EXPECT_EQ(player.durationMs(), 0u);
        mm->runFor(5000);
        EXPECT_EQ(ends, 0);
    }
    EXPECT_TRUE(mm.clips().empty());
}

TEST(Player, OwnerMayReleaseThePlayerWhenItEnds) {
    MediaMachine mm;
    auto player = std::make_unique<Player>(*mm);
    ASSERT_TRUE(player->open(programFile("Sound\\Ding.wav")));
    bool ended = false;
    player->setOnEnd([&] {
        ended = true;
        player.reset();
    });
    player->play();
    EXPECT_TRUE(mm->runUntil([&] { return ended; }, 10000));
    EXPECT_EQ(player, nullptr);
    mm->runFor(1000);
}

TEST(SystemSounds, AliasesPlayTheBundledSounds) {
    TestMachine m;
    m->setSetting("audio.output", "none");
    const struct { const char* alias; const char* file; } cases[] = {
        {"SystemAsterisk", "asterisk.wav"},
        {"systemasterisk", "asterisk.wav"},
        {"SystemHand", "hand.wav"},
        {"SystemExclamation", "exclamation.wav"},
        {"SystemQuestion", "question.wav"},
        {"SystemNoSuchEvent", "default.wav"},
    };
    for (const auto& c : cases) {
        audioRecorder(*m).clear();
        EXPECT_TRUE(playSystemSound(*m, c.alias)) << c.alias;
        const auto clips = audioRecorder(*m).clips();
        ASSERT_EQ(clips.size(), 1u) << c.alias;
        EXPECT_EQ(clips[0].purpose, c.file);
        EXPECT_GT(clips[0].pcm.size(), 4000u);
        EXPECT_EQ(clips[0].pcm.size(), std::filesystem::file_size(systemSoundFile(*m, c.alias)) - 44);
    }
    // The call returns at once; the sound plays out on the clock.
    EXPECT_TRUE(playSystemSound("SystemAsterisk"));
    m->runFor(5000);

    // Without the bundled sounds nothing plays, and nothing breaks.
    m->setSetting("media.sounds", (m->root() / "nothing-here").string());
    audioRecorder(*m).clear();
    EXPECT_FALSE(playSystemSound(*m, "SystemAsterisk"));
    EXPECT_TRUE(audioRecorder(*m).clips().empty());
}
