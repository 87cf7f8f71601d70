#include "MediaTestUtil.h"
#include "platform/media/Player.h"
#include "platform/media/ProgramSounds.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace media;
using testing_support::TestMachine;
namespace fs = std::filesystem;

namespace {

// A private PulseAudio server with a null sink, when the daemon is installed.
class PulseDaemon {
public:
    PulseDaemon() {
        if (!fs::exists("/usr/bin/pulseaudio") || !fs::exists("/usr/bin/pactl")) return;
        char tmpl[] = "/tmp/pennant-pulse-XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir_ = tmpl;
        const std::string socket = "module-native-protocol-unix auth-anonymous=1 socket=" + (dir_ / "native").string();
        pid_ = fork();
        if (pid_ == 0) {
            setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
            setenv("HOME", dir_.c_str(), 1);
            freopen("/dev/null", "w", stderr);
            execl("/usr/bin/pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                  "--use-pid-file=no", "-L", "module-null-sink sink_name=pennant_null", "-L", socket.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready once it lists its sink (bounded).
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(testing_support::kOutsideWaitMs);
        while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
            if (pactl("list short sinks").find("pennant_null") != std::string::npos) {
                ready_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~PulseDaemon() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    bool ready() const { return ready_; }
    std::string server() const { return "unix:" + (dir_ / "native").string(); }
    std::string pactl(const std::string& args) const {
        return media_test::run("PULSE_SERVER='" + server() + "' pactl " + args);
    }
    size_t playingStreams() const {
        const std::string out = pactl("list short sink-inputs");
        return size_t(std::count(out.begin(), out.end(), '\n'));
    }
    // Waits (bounded) until the server has n streams playing.
    bool waitStreams(size_t n) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(testing_support::kOutsideWaitMs);
        while (std::chrono::steady_clock::now() < end) {
            if (playingStreams() == n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

private:
    fs::path dir_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

} // namespace

// With a server, the device plays the sound, the stream is still recorded, a stop silences it at
// once, and a machine ending mid-sound does not wait for it.
TEST(AudioDevice, PlaysStopsAndStillRecords) {
    PulseDaemon daemon;
    if (!daemon.ready()) GTEST_SKIP() << "no PulseAudio daemon to start";
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old ? old : "";
    setenv("PULSE_SERVER", daemon.server().c_str(), 1);

    {
        TestMachine m;
        m->setSetting("audio.output", "device");
        ASSERT_TRUE(audioDeviceAvailable(*m));
        ASSERT_TRUE(installProgramSounds(*m, "C:\\Pennant"));
        auto player = std::make_unique<Player>(*m);
        ASSERT_TRUE(player->open("C:\\Pennant\\Media\\0.wav"));
        player->play();
        EXPECT_TRUE(daemon.waitStreams(1));
        const auto clips = audioRecorder(*m).clips();
        ASSERT_EQ(clips.size(), 1u);
        EXPECT_EQ(clips[0].pcm.size(), player->durationMs() * 22050 * 2 / 1000);

        player->stop();
        EXPECT_TRUE(daemon.waitStreams(0));

        player.reset();

        // A stream closed with seconds still queued goes on playing until the machine ends.
        const std::string pcm = media_test::square16(16000 * 5);
        auto stream = openAudioOutput(*m, AudioFormat{16000, 1, 16}, "speech");
        ASSERT_TRUE(stream->write(pcm.data(), pcm.size()));
        stream->close();
        stream.reset();
        EXPECT_TRUE(daemon.waitStreams(1));
    }
    EXPECT_TRUE(daemon.waitStreams(0));

    if (old) setenv("PULSE_SERVER", saved.c_str(), 1);
    else unsetenv("PULSE_SERVER");
}
