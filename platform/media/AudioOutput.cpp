#include "AudioOutput.h"

#include "platform/system/Machine.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

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

} // namespace

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
    size_t index = rec.begin(std::move(purpose), format);
    return std::make_unique<RecordedStream>(rec, index, wav, format);
}

} // namespace media
