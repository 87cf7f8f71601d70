// Runs the talking clock on a prepared machine (scripts/run's build/demo-machine, with the
// program, its chimes and the Mandarin voice installed) from 13:59:45 on its virtual clock and
// writes what it plays as WAV files: the full-hour chime, then the spoken hour. Measure them
// with sox ("sox FILE -n stat").
//
// usage: hour_announcement MACHINE_ROOT OUT_DIR
#include "core/NeighbourWindows.h"
#include "core/Program.h"
#include "platform/media/AudioOutput.h"
#include "platform/speech/SpVoice.h"
#include "platform/system/Machine.h"
#include "settings/frmVoiceClock.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 3 || !std::filesystem::is_directory(argv[1])) {
        std::fprintf(stderr, "usage: hour_announcement MACHINE_ROOT OUT_DIR\n");
        return 2;
    }
    std::filesystem::create_directories(argv[2]);
    sys::MachineOptions options;
    options.root = argv[1];
    options.startLocalMs = sys::localMsFrom(2026, 12, 10, 13, 59, 45);
    sys::Machine machine(options);
    sys::MachineScope scope(machine);
    machine.setSetting("audio.output", "wav");
    machine.setSetting("audio.wavdir", std::filesystem::absolute(argv[2]).string());
    machine.setSetting("audio.record", "1");  // the figures read what was played
    speech::installSpeechService(machine);

    m_Main::AppDir = "C:\\Program Files\\Pennant\\";
    Config().XmlFile(m_Main::AppDir + "Pennant.xml");
    if (!Config().Initialize()) return 1;
    // Only the hour, as the program's own voice says it.
    Config().SetNodeAttrib("Settings/VoiceClock", "Clock0", "1");
    m_Main::SelectVoice();
    m_Main::NewVoiceClock = [&machine] {
        auto clock = std::make_shared<frmVoiceClock>();
        clock->Trace = [&machine](const std::string& e) {
            const int64_t s = machine.clock().localMs() / 1000 % 86400;
            std::printf("[%02d:%02d:%02d] %s\n", int(s / 3600), int(s / 60 % 60), int(s % 60), e.c_str());
        };
        return clock;
    };
    m_Main::StartVoiceClock();
    if (!m_Main::VoiceClockForm()) {
        std::fprintf(stderr, "the clock did not start (no speech object)\n");
        return 1;
    }
    // The chime and then the speech, whose worker runs in real time.
    auto spoken = [&machine] {
        const auto clips = media::audioRecorder(machine).clips();
        return clips.size() >= 2 && clips.back().purpose == "speech" && clips.back().closed;
    };
    machine.beginOutsideWork();
    const bool done = machine.runUntil(spoken, 60000);
    machine.endOutsideWork();
    m_Main::StopVoiceClock();
    if (m_Main::VoiceSwitched) m_Main::RestoreVoice();
    for (const auto& clip : media::audioRecorder(machine).clips())
        std::printf("%s: %d Hz, %d channel(s), %zu bytes -> %s\n", clip.purpose.c_str(), clip.format.sampleRate,
                    clip.format.channels, clip.pcm.size(), clip.wavPath.c_str());
    return done ? 0 : 1;
}
