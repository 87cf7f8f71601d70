// The talking clock on the machine's virtual clock: which chimes play when, and what is said.
#include "settings/frmVoiceClock.h"

#include "RecordingVoice.h"
#include "core/NeighbourWindows.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/ProgramSounds.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "support/WaveFile.h"
#include "toolkit/cls_Config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace testing_support;

sys::MachineOptions startingAt(int day, int hour, int minute, int second) {
    sys::MachineOptions o;
    o.startLocalMs = sys::localMsFrom(2026, 12, day, hour, minute, second);
    return o;
}

constexpr uint64_t kMinute = 60 * 1000;

// The program folder with its settings and sounds, and a speech object that keeps what it is told.
struct ClockMachine {
    TestMachine m;
    std::shared_ptr<std::vector<SpokenText>> said;

    explicit ClockMachine(sys::MachineOptions o, bool speech = true) : m(std::move(o)) {
        m_Main::EndProgram();
        m->setSetting("audio.output", "none");
        installProgram(*m);
        m_Main::AppDir = std::string(kProgramFolder) + "\\";
        EXPECT_TRUE(media::installProgramSounds(*m, kProgramFolder));
        Config().XmlFile(kProgramSettings);
        EXPECT_TRUE(Config().Initialize());
        if (speech) said = RecordingVoice::install(*m);
        m_Main::NewVoiceClock = [] { return std::make_shared<frmVoiceClock>(); };
    }
    ~ClockMachine() { m_Main::EndProgram(); }
    // Which chimes are on, as "Clock0", "Clock15", "Clock30", "Clock45" flags.
    void chimes(bool c0, bool c15, bool c30, bool c45) {
        const std::pair<const char*, bool> flags[] = {{"Clock0", c0}, {"Clock15", c15}, {"Clock30", c30}, {"Clock45", c45}};
        for (const auto& [name, on] : flags) ASSERT_TRUE(Config().SetNodeAttrib("Settings/VoiceClock", name, on ? "1" : "0"));
    }
    // Puts one second of silence (a wave file, whatever the name says) in place of a chime.
    void shortChime(const char* name) {
        ASSERT_TRUE(m->writeFileAtomic(std::string(kProgramFolder) + "\\Media\\" + name, testing_support::waveFile(1000)));
    }
    frmVoiceClock* start() {
        m_Main::StartVoiceClock();
        return dynamic_cast<frmVoiceClock*>(m_Main::VoiceClockForm());
    }
    std::vector<std::string> played() {
        std::vector<std::string> out;
        for (const auto& c : media::audioRecorder(*m).clips()) out.push_back(c.purpose.substr(c.purpose.rfind('\\') + 1));
        return out;
    }
    std::vector<std::string> spoken() const {
        std::vector<std::string> out;
        for (const auto& s : *said) out.push_back(s.text);
        return out;
    }
};

// A whole day with every chime on: each quarter rings its own file, the full and half hours
// are spoken after their chime, in every part of the day, and the clock goes back to its slow
// tick after each chime. (The quarters' own sounds are short stand-ins here; rendering the
// real ones 72 times would only make the day slow.)
TEST(VoiceClock, ChimesAndSpeaksAcrossADay) {
    ClockMachine c(startingAt(9, 23, 58, 0));
    c.chimes(true, true, true, true);
    for (const char* quarter : {"15.mid", "30.mid", "45.mid"}) c.shortChime(quarter);
    frmVoiceClock* clock = c.start();
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(clock->TickInterval(), frmVoiceClock::kIdleMs);

    c.m->runFor(24 * 60 * kMinute);

    const char* const hours[24] = {"午夜0点", "凌晨1点", "凌晨两点", "凌晨3点", "凌晨4点", "凌晨5点",
                                   "早上6点", "早上7点", "上午8点", "上午9点", "上午10点", "上午11点",
                                   "中午12点", "中午1点", "下午两点", "下午3点", "下午4点", "下午5点",
                                   "傍晚6点", "傍晚7点", "晚上8点", "晚上9点", "晚上10点", "晚上11点"};
    std::vector<std::string> expectedSpeech, expectedChimes;
    for (const char* h : hours) {
        expectedSpeech.push_back(std::string(h) + "整");
        expectedSpeech.push_back(std::string(h) + "半");
        for (const char* f : {"0.wav", "15.mid", "30.mid", "45.mid"}) expectedChimes.push_back(f);
    }
    EXPECT_EQ(c.spoken(), expectedSpeech);
    EXPECT_EQ(c.played(), expectedChimes);
    for (const auto& s : *c.said) EXPECT_EQ(s.flags, 1u) << s.text;
    EXPECT_EQ(clock->TickInterval(), frmVoiceClock::kIdleMs);
}

// Starting times and settings that decide what the first minutes bring.
TEST(VoiceClock, FirstMinutesByStartAndSettings) {
    struct Case {
        const char* name;
        int hour, minute, second;
        bool c0, c15, c30, c45;
        uint64_t runMs;
        std::vector<std::string> played, spoken;
    };
    const Case cases[] = {
        // Only the full hour on: slow ticks until minute 59, the chime at second 51, the hour
        // that begins spoken once the chime has ended.
        {"only the hour", 22, 57, 0, true, false, false, false, 5 * kMinute, {"0.wav"}, {"晚上11点整"}},
        // A tick that comes after second 51 of minute 59 still rings the hour.
        {"late tick at the hour", 13, 59, 55, true, false, false, false, 2 * kMinute, {"0.wav"}, {"下午两点整"}},
        // Started within a quarter, that chime rings at once, and only once in its minute; the
        // half hour is spoken, the quarters never.
        {"start at half past", 9, 30, 5, true, true, true, true, 2 * kMinute, {"30.mid"}, {"上午9点半"}},
        {"start at a quarter past", 12, 15, 1, true, true, true, true, 2 * kMinute, {"15.mid"}, {}},
        {"start at a quarter to", 12, 45, 1, true, true, true, true, 2 * kMinute, {"45.mid"}, {}},
        // Switched off chimes stay silent.
        {"all off", 11, 13, 0, false, false, false, false, 60 * kMinute, {}, {}},
        {"half hour off", 11, 28, 0, true, true, false, true, 4 * kMinute, {}, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ClockMachine c(startingAt(10, k.hour, k.minute, k.second));
        c.chimes(k.c0, k.c15, k.c30, k.c45);
        frmVoiceClock* clock = c.start();
        ASSERT_NE(clock, nullptr);
        c.m->runFor(k.runMs);
        EXPECT_EQ(c.played(), k.played);
        EXPECT_EQ(c.spoken(), k.spoken);
        EXPECT_EQ(clock->TickInterval(), frmVoiceClock::kIdleMs);
    }
}

// Two ticks within second 51 ring the hour once; the chime's sound is let go once played.
TEST(VoiceClock, TheHourRingsOnceForTwoTicks) {
    ClockMachine c(startingAt(10, 7, 59, 40));
    c.chimes(true, false, false, false);
    frmVoiceClock* clock = c.start();
    c.m->runFor(11 * 1000);
    clock->m_AlermTimer_ThatTime();
    clock->m_AlermTimer_ThatTime();
    EXPECT_EQ(clock->LastChime(), 0);
    EXPECT_TRUE(clock->HoldsChime());
    c.m->runFor(kMinute);
    EXPECT_EQ(c.played(), (std::vector<std::string>{"0.wav"}));
    EXPECT_EQ(c.spoken(), (std::vector<std::string>{"上午8点整"}));
    EXPECT_EQ(clock->LastChime(), -1);
    // Once played, the chime's sound is let go.
    EXPECT_FALSE(clock->HoldsChime());
}

// A full-hour chime that ends before the hour still names the hour that begins.
TEST(VoiceClock, AShortHourChimeNamesTheComingHour) {
    ClockMachine c(startingAt(10, 13, 59, 30));
    c.chimes(true, false, false, false);
    c.shortChime("0.wav");

    c.start();
    c.m->runFor(3 * kMinute);
    EXPECT_EQ(c.played(), (std::vector<std::string>{"0.wav"}));
    EXPECT_EQ(c.spoken(), (std::vector<std::string>{"下午两点整"}));
}

// A chime whose file is missing is skipped, and the clock does not keep ticking every second.
TEST(VoiceClock, AMissingChimeFileLeavesTheClockTickingSlowly) {
    ClockMachine c(startingAt(10, 10, 14, 10));
    c.chimes(true, true, true, true);
    ASSERT_TRUE(std::filesystem::remove(c.m->hostPath(std::string(kProgramFolder) + "\\Media\\15.mid")));
    frmVoiceClock* clock = c.start();
    EXPECT_EQ(clock->TickInterval(), frmVoiceClock::kNearMs);
    c.m->runFor(kMinute);
    EXPECT_EQ(clock->LastChime(), 15);
    EXPECT_EQ(clock->TickInterval(), frmVoiceClock::kIdleMs);
    c.m->runFor(20 * kMinute);
    EXPECT_EQ(c.played(), (std::vector<std::string>{"30.mid"}));
    EXPECT_EQ(c.spoken(), (std::vector<std::string>{"上午10点半"}));
}

// Without a speech object the clock does not start; stopping ends its ticks.
TEST(VoiceClock, StartsOnlyWithSpeechAndStops) {
    {
        ClockMachine c(startingAt(10, 9, 59, 0), false);
        const int before = forms::loadedFormCount();
        EXPECT_EQ(c.start(), nullptr);
        EXPECT_EQ(forms::loadedFormCount(), before);
    }
    ClockMachine c(startingAt(10, 9, 59, 0));
    c.chimes(true, false, false, false);
    frmVoiceClock* clock = c.start();
    ASSERT_NE(clock, nullptr);
    EXPECT_TRUE(clock->IsLoaded());
    EXPECT_FALSE(clock->Visible());
    m_Main::StartVoiceClock();
    EXPECT_EQ(m_Main::VoiceClockForm(), clock);
    m_Main::StopVoiceClock();
    EXPECT_EQ(m_Main::VoiceClockForm(), nullptr);
    c.m->runFor(5 * kMinute);
    EXPECT_TRUE(c.played().empty());
}

} // namespace
