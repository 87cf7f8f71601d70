#include "AudioOutput.h"

#include "platform/system/Machine.h"

#include <pulse/pulseaudio.h>
#include <pulse/simple.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <thread>

namespace media {
namespace {

void putLE(std::FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

// Writes the RIFF header; sizes are patched on close.
void writeWavHeader(std::FILE* f, const AudioFormat& fmt, uint32_t dataBytes) {
    std::fwrite("RIFF", 1, 4, f);
    putLE(f, 36 + dataBytes, 4);
    std::fwrite("WAVEfmt ", 1, 8, f);
    putLE(f, 16, 4);
    putLE(f, 1, 2);
    putLE(f, static_cast<uint32_t>(fmt.channels), 2);
    putLE(f, static_cast<uint32_t>(fmt.sampleRate), 4);
    putLE(f, static_cast<uint32_t>(fmt.bytesPerSecond()), 4);
    putLE(f, static_cast<uint32_t>(fmt.channels * fmt.bitsPerSample / 8), 2);
    putLE(f, static_cast<uint32_t>(fmt.bitsPerSample), 2);
    std::fwrite("data", 1, 4, f);
    putLE(f, dataBytes, 4);
}

class RecordedStream : public AudioStream {
public:
    RecordedStream(AudioRecorder& rec, size_t index, std::filesystem::path wavPath, AudioFormat fmt)
        : rec_(rec), index_(index), wavPath_(std::move(wavPath)), fmt_(fmt) {
        if (!wavPath_.empty()) {
            file_ = std::fopen(wavPath_.c_str(), "wb");
            if (file_) writeWavHeader(file_, fmt_, 0);
        }
    }
    ~RecordedStream() override { close(); }
    bool write(const void* data, size_t bytes) override {
        if (closed_) return false;
        rec_.append(index_, data, bytes);
        if (file_) {
            std::fwrite(data, 1, bytes, file_);
            written_ += bytes;
        }
        return true;
    }
    void close() override {
        if (closed_) return;
        closed_ = true;
        if (file_) {
            std::fseek(file_, 0, SEEK_SET);
            writeWavHeader(file_, fmt_, static_cast<uint32_t>(written_));
            std::fclose(file_);
            file_ = nullptr;
        }
        rec_.finish(index_, wavPath_.string());
    }

protected:
    AudioRecorder& rec_;
    size_t index_;
    std::filesystem::path wavPath_;
    AudioFormat fmt_;
    std::FILE* file_ = nullptr;
    size_t written_ = 0;
    bool closed_ = false;
};

// ---- The sound device (PulseAudio) ---------------------------------------------------

// How long we wait for a server to answer before the machine goes without a device.
constexpr int kProbeMs = 1500;

// Asks whether a server answers, never autospawning one; bounded by kProbeMs.
bool probePulseServer() {
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) return false;
    pa_mainloop_api* api = pa_mainloop_get_api(loop);
    pa_context* ctx = pa_context_new(api, "pennant");
    bool answered = false;
    bool timedOut = false;
    timeval deadline;
    pa_timeval_add(pa_gettimeofday(&deadline), pa_usec_t(kProbeMs) * 1000);
    pa_time_event* timer = api->time_new(
        api, &deadline, [](pa_mainloop_api*, pa_time_event*, const timeval*, void* flag) { *static_cast<bool*>(flag) = true; },
        &timedOut);
    if (ctx && timer && pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        for (;;) {
            const pa_context_state_t st = pa_context_get_state(ctx);
            if (st == PA_CONTEXT_READY) { answered = true; break; }
            if (!PA_CONTEXT_IS_GOOD(st) || timedOut) break;
            if (pa_mainloop_iterate(loop, 1, nullptr) < 0) break;
        }
    }
    if (timer) api->time_free(timer);
    if (ctx) {
        pa_context_disconnect(ctx);
        pa_context_unref(ctx);
    }
    pa_mainloop_free(loop);
    return answered;
}

// What one device stream still has to play; shared by the stream and its feeder thread.
struct Feed {
    AudioFormat format;
    std::string name;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::vector<uint8_t>> queue;
    bool closed = false;
    bool aborted = false;
    bool done = false;
};

void feedDevice(const std::shared_ptr<Feed>& feed) {
    pa_sample_spec spec{};
    spec.format = feed->format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    spec.rate = uint32_t(feed->format.sampleRate);
    spec.channels = uint8_t(feed->format.channels);
    int err = 0;
    pa_simple* dev = pa_sample_spec_valid(&spec)
        ? pa_simple_new(nullptr, "pennant", PA_STREAM_PLAYBACK, nullptr, feed->name.c_str(), &spec, nullptr, nullptr, &err)
        : nullptr;
    // Small pieces, so a stop is heard promptly.
    const size_t piece = std::max<size_t>(size_t(feed->format.bytesPerSecond() / 10) & ~size_t(3), 4);
    for (;;) {
        std::vector<uint8_t> chunk;
        {
            std::unique_lock lock(feed->mutex);
            feed->wake.wait(lock, [&] { return feed->aborted || feed->closed || !feed->queue.empty(); });
            if (feed->aborted || (feed->queue.empty() && feed->closed)) break;
            chunk = std::move(feed->queue.front());
            feed->queue.pop_front();
        }
        for (size_t off = 0; dev && off < chunk.size(); off += piece) {
            {
                std::lock_guard lock(feed->mutex);
                if (feed->aborted) break;
            }
            if (pa_simple_write(dev, chunk.data() + off, std::min(piece, chunk.size() - off), &err) < 0) {
                pa_simple_free(dev);
                dev = nullptr;
            }
        }
    }
    if (dev) {
        bool aborted;
        {
            std::lock_guard lock(feed->mutex);
            aborted = feed->aborted;
        }
        if (aborted) pa_simple_flush(dev, &err);
        else pa_simple_drain(dev, &err);
        pa_simple_free(dev);
    }
    std::lock_guard lock(feed->mutex);
    feed->done = true;
}

// Per machine: whether the device exists, and the feeder threads of its streams.
class AudioDevice {
public:
    ~AudioDevice() {
        std::vector<std::pair<std::shared_ptr<Feed>, std::thread>> feeders;
        {
            std::lock_guard lock(mutex_);
            feeders.swap(feeders_);
        }
        for (auto& [feed, thread] : feeders) {
            {
                std::lock_guard lock(feed->mutex);
                feed->aborted = true;
            }
            feed->wake.notify_all();
            thread.join();
        }
    }
    bool available() {
        std::call_once(probed_, [this] { available_ = probePulseServer(); });
        return available_;
    }
    void start(std::shared_ptr<Feed> feed) {
        std::lock_guard lock(mutex_);
        // Reap feeders that have finished.
        for (auto it = feeders_.begin(); it != feeders_.end();) {
            bool done;
            {
                std::lock_guard l(it->first->mutex);
                done = it->first->done;
            }
            if (done) {
                it->second.join();
                it = feeders_.erase(it);
            } else {
                ++it;
            }
        }
        std::thread t([feed] { feedDevice(feed); });
        feeders_.emplace_back(std::move(feed), std::move(t));
    }

private:
    std::once_flag probed_;
    bool available_ = false;
    std::mutex mutex_;
    std::vector<std::pair<std::shared_ptr<Feed>, std::thread>> feeders_;
};

class DeviceStream : public RecordedStream {
public:
    DeviceStream(AudioRecorder& rec, size_t index, AudioFormat fmt, AudioDevice& device, std::string name)
        : RecordedStream(rec, index, {}, fmt), feed_(std::make_shared<Feed>()) {
        feed_->format = fmt;
        feed_->name = std::move(name);
        device.start(feed_);
    }
    ~DeviceStream() override { close(); }
    bool write(const void* data, size_t bytes) override {
        if (!RecordedStream::write(data, bytes)) return false;
        auto* p = static_cast<const uint8_t*>(data);
        {
            std::lock_guard lock(feed_->mutex);
            feed_->queue.emplace_back(p, p + bytes);
        }
        feed_->wake.notify_all();
        return true;
    }
    void close() override {
        RecordedStream::close();
        {
            std::lock_guard lock(feed_->mutex);
            feed_->closed = true;
        }
        feed_->wake.notify_all();
    }
    void discard() override {
        {
            std::lock_guard lock(feed_->mutex);
            feed_->aborted = true;
            feed_->queue.clear();
        }
        close();
    }

private:
    std::shared_ptr<Feed> feed_;
};

} // namespace

bool audioDeviceAvailable(sys::Machine& machine) { return machine.service<AudioDevice>().available(); }

size_t AudioRecorder::begin(std::string purpose, AudioFormat format) {
    std::lock_guard lock(mutex_);
    clips_.push_back(PlayedClip{std::move(purpose), format, {}, {}, false});
    return clips_.size() - 1;
}

void AudioRecorder::append(size_t index, const void* data, size_t bytes) {
    std::lock_guard lock(mutex_);
    if (index >= clips_.size()) return;
    auto* p = static_cast<const uint8_t*>(data);
    clips_[index].pcm.insert(clips_[index].pcm.end(), p, p + bytes);
}

void AudioRecorder::finish(size_t index, std::string wavPath) {
    std::lock_guard lock(mutex_);
    if (index >= clips_.size()) return;
    clips_[index].wavPath = std::move(wavPath);
    clips_[index].closed = true;
}

AudioRecorder& audioRecorder(sys::Machine& machine) { return machine.service<AudioRecorder>(); }

std::unique_ptr<AudioStream> openAudioOutput(sys::Machine& machine, AudioFormat format, std::string purpose) {
    auto& rec = audioRecorder(machine);
    const std::string kind = machine.setting("audio.output");
    std::filesystem::path wav;
    if (kind == "wav") {
        std::filesystem::path dir = machine.setting("audio.wavdir", (machine.root() / "audio").string());
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        static std::atomic<unsigned> serial{0};
        wav = dir / ("out-" + std::to_string(++serial) + ".wav");
    }
    const bool wantDevice = kind == "device" || kind.empty();
    const bool knownFormat = format.channels >= 1 && format.channels <= 8 && format.sampleRate > 0 &&
                             (format.bitsPerSample == 8 || format.bitsPerSample == 16);
    std::string name = purpose;
    const size_t index =
        machine.setting("audio.record") == "1" ? rec.begin(std::move(purpose), format) : AudioRecorder::kNotRecorded;
    if (wantDevice && knownFormat) {
        auto& device = machine.service<AudioDevice>();
        if (device.available()) return std::make_unique<DeviceStream>(rec, index, format, device, std::move(name));
    }
    return std::make_unique<RecordedStream>(rec, index, wav, format);
}

} // namespace media
