#pragma once
// Plays one sound file (.wav or .mid) to the machine's audio output, timed by the machine's
// clock. The whole clip goes to the output when play starts; the position is how far the
// clock has moved since, so a virtual clock plays instantly for tests and tells the truth.
// User-interface thread only; the end notification arrives through the machine's pump. A
// player lives no longer than its machine.
#include "SoundFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace sys { class Machine; }

namespace media {

class Player {
public:
    Player();  // on the current machine
    explicit Player(sys::Machine& machine);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Loads a file by its Windows path (wave or MIDI, told apart by content). Releases what
    // was open first; on failure the player is not valid and lastError() says why.
    bool open(const std::string& winPath);
    // The same for a file of the host (the bundled system sounds).
    bool openHost(const std::filesystem::path& hostPath);
    bool valid() const { return clip_ != nullptr; }
    SoundError lastError() const { return error_; }
    const std::string& lastMessage() const { return message_; }

    // From the start, whether playing or not. Nothing when not valid.
    void play();
    // Silences the sound and keeps the position where it was; no end notification follows.
    void stop();
    bool playing() const { return playing_; }

    // In seconds, on the machine's clock.
    double duration() const;
    double position() const;
    uint64_t durationMs() const;
    uint64_t positionMs() const;

    // Called once when a play reaches its end, from the pump. It may destroy the player.
    void setOnEnd(std::function<void()> fn) { onEnd_ = std::move(fn); }

private:
    bool load(SoundLoad loaded, std::string purpose);
    void release();
    void step();

    sys::Machine& machine_;
    int pumpId_ = 0;
    std::shared_ptr<const SoundClip> clip_;
    std::string purpose_;
    SoundError error_ = SoundError::None;
    std::string message_;
    std::unique_ptr<AudioStream> stream_;
    bool playing_ = false;
    uint64_t startTick_ = 0;
    uint64_t stoppedAtMs_ = 0;
    std::function<void()> onEnd_;
};

// Plays the sound the system associates with an alias ("SystemAsterisk", "SystemHand",
// "SystemExclamation", "SystemQuestion", "SystemDefault"), asynchronously; an alias that is
// not known plays the default sound and an empty one stops the sound playing. A new system
// sound cuts off the one before. False when no sound could be played.
bool playSystemSound(sys::Machine& machine, const std::string& alias);
bool playSystemSound(const std::string& alias);  // on the current machine

} // namespace media
