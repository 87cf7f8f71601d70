#include "platform/media/Player.h"
#include "platform/media/ProgramSounds.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <algorithm>

using namespace media;
using testing_support::TestMachine;

TEST(ProgramSounds, InstallsThePlayableChimesAndAlertTones) {
    TestMachine m;
    const auto files = programSoundFiles(*m);
    for (const char* needed : {"Media\\0.wav", "Media\\15.mid", "Media\\30.mid", "Media\\45.mid"})
        EXPECT_NE(std::find(files.begin(), files.end(), needed), files.end()) << needed;
    EXPECT_GE(std::count_if(files.begin(), files.end(), [](const std::string& f) { return f.rfind("Sound\\", 0) == 0; }), 3);

    ASSERT_TRUE(installProgramSounds(*m, "C:\\Program Files\\Pennant\\"));
    // The settings list what the platform finds under "Sound\*.wav".
    EXPECT_EQ(m->listDir("C:\\Program Files\\Pennant\\Sound", "*.wav", true).size(),
              size_t(std::count_if(files.begin(), files.end(), [](const std::string& f) { return f.rfind("Sound\\", 0) == 0; })));

    Player player(*m);
    for (const auto& f : files) {
        EXPECT_TRUE(player.open("C:\\Program Files\\Pennant\\" + f)) << f << ": " << player.lastMessage();
        EXPECT_GT(player.durationMs(), 300u) << f;
    }
    auto length = [&](const char* f) {
        EXPECT_TRUE(player.open(std::string("C:\\Program Files\\Pennant\\Media\\") + f));
        return player.durationMs();
    };
    // One, two and three phrases for the quarters; the full hour, started nine seconds before
    // it, rings past it.
    EXPECT_LT(length("15.mid"), length("30.mid"));
    EXPECT_LT(length("30.mid"), length("45.mid"));
    EXPECT_GT(length("0.wav"), 9000u);
}

TEST(ProgramSounds, InstallFailsWithoutTheGeneratedFiles) {
    TestMachine m;
    m->setSetting("media.sounds", (m->root() / "missing").string());
    EXPECT_TRUE(programSoundFiles(*m).empty());
    EXPECT_FALSE(installProgramSounds(*m, "C:\\Program Files\\Pennant"));
    EXPECT_TRUE(systemSoundFile(*m, "SystemAsterisk").empty());
}
