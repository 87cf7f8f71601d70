#include "Player.h"

#include "ProgramSounds.h"
#include "platform/system/Machine.h"

#include <algorithm>

namespace media {

Player::Player() : Player(sys::Machine::current()) {}

Player::Player(sys::Machine& machine) : machine_(machine) {
    pumpId_ = machine_.addPump(sys::Machine::Pump{
        [this] { step(); },
        [this]() -> std::optional<uint64_t> {
            if (!playing_) return std::nullopt;
            return startTick_ + clip_->durationMs();
        },
    });
}

Player::~Player() {
    machine_.removePump(pumpId_);
    release();
}

void Player::release() {
    playing_ = false;
    stoppedAtMs_ = 0;
    if (stream_) stream_->discard();
    stream_.reset();
    clip_.reset();
}

bool Player::load(SoundLoad loaded, std::string purpose) {
    release();
    error_ = loaded.error;
    message_ = std::move(loaded.message);
    if (!loaded.clip) return false;
    clip_ = std::make_shared<const SoundClip>(std::move(*loaded.clip));
    purpose_ = std::move(purpose);
    return true;
}

bool Player::open(const std::string& winPath) {
    if (winPath.empty()) {
        release();
        error_ = SoundError::NotFound;
        message_ = "no file name";
        return false;
    }
    const auto host = machine_.hostPath(winPath);
    return load(loadSoundFile(host.string(), soundfontPath(machine_.setting("media.soundfont"))), winPath);
}

bool Player::openHost(const std::filesystem::path& hostPath) {
    return load(loadSoundFile(hostPath.string(), soundfontPath(machine_.setting("media.soundfont"))),
                hostPath.filename().string());
}

void Player::play() {
    if (!clip_) return;
    if (stream_) stream_->discard();
    stream_ = openAudioOutput(machine_, clip_->format, purpose_);
    // The recorded and file outputs take the clip at once; the device queues it.
    stream_->write(clip_->pcm.data(), clip_->pcm.size());
    stream_->close();
    startTick_ = machine_.clock().tickMs();
    stoppedAtMs_ = 0;
    playing_ = true;
}

void Player::stop() {
    if (!clip_) return;
    if (playing_) {
        stoppedAtMs_ = positionMs();
        playing_ = false;
    }
    if (stream_) stream_->discard();
    stream_.reset();
}

uint64_t Player::durationMs() const { return clip_ ? clip_->durationMs() : 0; }

uint64_t Player::positionMs() const {
    if (!clip_) return 0;
    if (!playing_) return stoppedAtMs_;
    const uint64_t now = machine_.clock().tickMs();
    return std::min(now - std::min(now, startTick_), clip_->durationMs());
}

double Player::duration() const { return double(durationMs()) / 1000.0; }
double Player::position() const { return double(positionMs()) / 1000.0; }

void Player::step() {
    if (!playing_ || machine_.clock().tickMs() < startTick_ + clip_->durationMs()) return;
    playing_ = false;
    stoppedAtMs_ = clip_->durationMs();
    stream_.reset();
    if (onEnd_) {
        auto fn = onEnd_;  // the handler may destroy this player
        fn();
    }
}

// ---- System sounds ----------------------------------------------------------------------

namespace {

// One system sound at a time, as the platform's asynchronous sound call behaves.
struct SystemSounds {
    std::unique_ptr<Player> player;
};

} // namespace

bool playSystemSound(sys::Machine& machine, const std::string& alias) {
    auto& sounds = machine.service<SystemSounds>();
    if (!sounds.player) sounds.player = std::make_unique<Player>(machine);
    if (alias.empty()) {
        sounds.player->stop();
        return true;
    }
    const auto file = systemSoundFile(machine, alias);
    if (file.empty() || !sounds.player->openHost(file)) return false;
    sounds.player->play();
    return true;
}

bool playSystemSound(const std::string& alias) { return playSystemSound(sys::Machine::current(), alias); }

} // namespace media
