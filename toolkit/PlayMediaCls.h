#pragma once
// Plays one sound file (wave or MIDI) and tells its owner when a play has reached the end. The
// end is found by polling position against duration every 100 ms on a CTimer, so it arrives
// on the pumping thread like every other toolkit event.
#include "CTimer.h"

#include <functional>
#include <memory>
#include <string>

namespace media { class Player; }

class PlayMediaCls {
public:
    PlayMediaCls();
    ~PlayMediaCls();
    PlayMediaCls(const PlayMediaCls&) = delete;
    PlayMediaCls& operator=(const PlayMediaCls&) = delete;

    // Releases what was open, then opens the file (a Windows path). False when it cannot be
    // played (missing, unreadable, unknown or damaged format); the object is then not valid.
    bool OpenMedia(const std::string& fileName);
    bool Valid() const { return valid_; }
    // From the start; starts the end poll. Nothing when not valid.
    void Play();
    // Silences the sound; no EndPlay follows. Nothing when not valid.
    void Stop_();
    // Lets go of the open sound and its decoded audio; the object is then not valid.
    void CloseMedia() { release(); }

    // Raised once when a Play reaches the end. The handler may destroy this object.
    std::function<void()> EndPlay;

private:
    void release();
    void stopPoll();
    void pollTimer_ThatTime();

    std::unique_ptr<media::Player> player_;
    bool valid_ = false;
    std::shared_ptr<CTimer> pollTimer_;
};
