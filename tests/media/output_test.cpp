#include "MediaTestUtil.h"
#include "platform/media/AudioOutput.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdlib>

using namespace media;
using testing_support::TestMachine;

namespace {

// Points the sound client at a server address for a scope.
class PulseServerScope {
public:
    explicit PulseServerScope(const std::string& server) {
        if (const char* old = std::getenv("PULSE_SERVER")) old_ = old;
        setenv("PULSE_SERVER", server.c_str(), 1);
    }
    ~PulseServerScope() {
        if (old_) setenv("PULSE_SERVER", old_->c_str(), 1);
        else unsetenv("PULSE_SERVER");
    }

private:
    std::optional<std::string> old_;
};

// A loopback socket that takes connections (the kernel completes them) but never says a word.
class SilentServer {
public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, 8);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~SilentServer() { close(fd_); }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace

// Without a server that answers, the device output neither hangs nor loses the sound: it
// records. Both a refused connection and a server that never replies are covered.
TEST(AudioOutput, DeviceWithoutAServerRecordsOnly) {
    SilentServer silent;
    const std::string servers[] = {
        "tcp:127.0.0.1:" + std::to_string(silent.port()),
        "unix:/nonexistent/pulse/native",
    };
    for (const auto& server : servers) {
        for (const char* kind : {"device", ""}) {
            SCOPED_TRACE(server + " / \"" + kind + "\"");
            PulseServerScope scope(server);
            TestMachine m;
            m->setSetting("audio.output", kind);
            EXPECT_FALSE(audioDeviceAvailable(*m));
            const std::string pcm = media_test::square16(800);
            {
                auto stream = openAudioOutput(*m, AudioFormat{16000, 1, 16}, "speech");
                ASSERT_NE(stream, nullptr);
                EXPECT_TRUE(stream->write(pcm.data(), pcm.size()));
            }
            const auto clips = audioRecorder(*m).clips();
            ASSERT_EQ(clips.size(), 1u);
            EXPECT_TRUE(clips[0].closed);
            EXPECT_EQ(clips[0].purpose, "speech");
            EXPECT_EQ(std::string(clips[0].pcm.begin(), clips[0].pcm.end()), pcm);
            EXPECT_TRUE(clips[0].wavPath.empty());
        }
    }
}

TEST(AudioOutput, DiscardEndsTheStreamAndKeepsWhatWasWritten) {
    TestMachine m;
    m->setSetting("audio.output", "wav");
    const std::string pcm = media_test::square16(400);
    auto stream = openAudioOutput(*m, AudioFormat{8000, 1, 16}, "clip");
    ASSERT_TRUE(stream->write(pcm.data(), pcm.size()));
    stream->discard();
    EXPECT_FALSE(stream->write(pcm.data(), pcm.size()));
    const auto clips = audioRecorder(*m).clips();
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_TRUE(clips[0].closed);
    EXPECT_NEAR(media_test::soxSeconds(clips[0].wavPath), 0.05, 1e-6);
}

// The program speaks for hours: unless asked to, a machine keeps nothing of what it played, and
// the WAV output is written all the same.
TEST(AudioOutput, OnlyARecordingMachineKeepsWhatWasPlayed) {
    TestMachine m;
    m->setSetting("audio.record", "");
    const std::filesystem::path dir = m->root() / "wavs";
    m->setSetting("audio.wavdir", dir.string());
    const std::string pcm = media_test::square16(16000);
    for (const char* kind : {"none", "wav"}) {
        SCOPED_TRACE(kind);
        m->setSetting("audio.output", kind);
        auto stream = openAudioOutput(*m, AudioFormat{16000, 1, 16}, "speech");
        for (int i = 0; i < 8; ++i) ASSERT_TRUE(stream->write(pcm.data(), pcm.size()));
        stream->close();
        EXPECT_TRUE(audioRecorder(*m).clips().empty());
    }
    std::vector<std::filesystem::path> wavs;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) wavs.push_back(entry.path());
    ASSERT_EQ(wavs.size(), 1u);
    EXPECT_NEAR(media_test::soxSeconds(wavs[0]), 8 * pcm.size() / 32000.0, 1e-6);
}
