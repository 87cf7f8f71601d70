#include "PlayMediaCls.h"

#include "platform/media/Player.h"

PlayMediaCls::PlayMediaCls() = default;

PlayMediaCls::~PlayMediaCls() { release(); }

// A running CTimer is held by the timer table: dropping it without stopping it would leave it
// ticking into a destroyed owner and keep its slot for good.
void PlayMediaCls::stopPoll() {
    if (!pollTimer_) return;
    auto timer = std::move(pollTimer_);
    timer->ThatTime = nullptr;
    timer->Interval(0);
}

void PlayMediaCls::release() {
    if (player_) player_->stop();
    player_.reset();
    stopPoll();
    valid_ = false;
}

bool PlayMediaCls::OpenMedia(const std::string& fileName) {
    release();
    player_ = std::make_unique<media::Player>();
    if (!player_->open(fileName)) {
        valid_ = false;
        return false;
    }
    valid_ = true;
    return true;
}

void PlayMediaCls::Play() {
    if (!valid_) return;
    player_->play();
    stopPoll();
    pollTimer_ = CTimer::create();
    pollTimer_->ThatTime = [this] { pollTimer_ThatTime(); };
    pollTimer_->Interval(100);
}

void PlayMediaCls::Stop_() {
    if (!valid_) return;
    player_->stop();
}

void PlayMediaCls::pollTimer_ThatTime() {
    if (!player_ || !pollTimer_) return;
    const double duration = player_->duration();
    const double position = player_->position();
    if (position < duration) return;
    pollTimer_->Interval(0);
    if (EndPlay) {
        auto fn = EndPlay;  // last: the handler may destroy this object
        fn();
    }
}
