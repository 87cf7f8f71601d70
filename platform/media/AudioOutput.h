#pragma once
// The machine's audio output. Whoever plays sound (sound files, the speech service) opens a
// stream here; the machine's configuration picks where it goes:
//   setting "audio.output" = "device" (PulseAudio, when a server answers), "wav" (one WAV file
//   per stream under the host folder given by setting "audio.wavdir"), "none", or "" (default:
//   "device" when reachable, else "none").
// With setting "audio.record" = "1" (test machines) every stream is also recorded per machine,
// so tests can read what was played; a program that speaks for hours must not keep all it said.
// Whether a PulseAudio server answers is asked once per machine, with a bounded wait; without
// one the device output goes nowhere.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sys { class Machine; }

namespace media {

struct AudioFormat {
    int sampleRate = 16000;
    int channels = 1;
    int bitsPerSample = 16;
    int bytesPerSecond() const { return sampleRate * channels * bitsPerSample / 8; }
    bool operator==(const AudioFormat&) const = default;
};

class AudioStream {
public:
    virtual ~AudioStream() = default;
    // Writes PCM bytes in the stream's format; returns once the output has taken them (the
    // device queues them and plays them in the background). False once the output failed.
    virtual bool write(const void* data, size_t bytes) = 0;
    // Flushes and ends the stream (also done by the destructor). What the device still has
    // queued goes on playing.
    virtual void close() = 0;
    // Ends the stream and silences whatever has not been heard yet (a stopped sound).
    virtual void discard() { close(); }
};

// What one stream played, kept for tests.
struct PlayedClip {
    std::string purpose;   // who opened it ("speech", a file name, ...)
    AudioFormat format;
    std::vector<uint8_t> pcm;
    std::string wavPath;   // host path of the WAV file, when the output is "wav"
    bool closed = false;
};

class AudioRecorder {
public:
    std::vector<PlayedClip> clips() const {
        std::lock_guard lock(mutex_);
        return clips_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        clips_.clear();
    }
    // A stream's index; kNotRecorded is ignored by append and finish.
    static constexpr size_t kNotRecorded = static_cast<size_t>(-1);
    size_t begin(std::string purpose, AudioFormat format);
    void append(size_t index, const void* data, size_t bytes);
    void finish(size_t index, std::string wavPath);

private:
    mutable std::mutex mutex_;
    std::vector<PlayedClip> clips_;
};

// Opens a stream on the machine's audio output (never null: a failed device falls back to "none").
std::unique_ptr<AudioStream> openAudioOutput(sys::Machine& machine, AudioFormat format, std::string purpose);

// The machine's record of played streams.
AudioRecorder& audioRecorder(sys::Machine& machine);

// Whether the machine's sound device (a PulseAudio server) answers; asked once per machine.
bool audioDeviceAvailable(sys::Machine& machine);

} // namespace media
