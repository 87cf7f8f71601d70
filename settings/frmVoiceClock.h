#pragma once
// The talking clock: a hidden window that chimes at a quarter past, half past and a quarter to
// the hour and before each full hour, and speaks the time in Mandarin after the full-hour and
// half-hour chimes. Each chime is switched by its own attribute of "Settings/VoiceClock".
#include "core/NeighbourWindows.h"
#include "platform/com/ComBase.h"
#include "platform/speech/SpeechApi.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CTimer;
class PlayMediaCls;

class frmVoiceClock : public VoiceClockWindow {
public:
    frmVoiceClock();
    ~frmVoiceClock() override;

    bool Initialize() override;

    // The timer's tick and the end of a chime.
    void m_AlermTimer_ThatTime();
    void m_PlayMedia_EndPlay();

    // The last chime played: -1 none, 0 the full hour, 15, 30 or 45.
    int32_t LastChime() const { return mark_; }
    // The tick interval now, 0 when stopped.
    int32_t TickInterval() const;
    // True while a chime's sound is open (from its start to its end).
    bool HoldsChime() const;

    // A chime starting and the time spoken, told to a person who watches (not used by the
    // program itself).
    std::function<void(const std::string& event)> Trace;

    // Normal ticking, and ticking while a chime is near.
    static constexpr int32_t kIdleMs = 50000;
    static constexpr int32_t kNearMs = 1000;

protected:
    void Form_Unload(int& Cancel) override;

private:
    static bool clockOn(const char* attribute);
    // Ticks every second from now on when the chime's attribute is on.
    void nearChime(const char* attribute);
    void chime(int32_t mark, const char* file);
    std::string TimeText(int32_t minute) const;
    void stop();

    com::ComPtr<win::ISpeechVoice> speech_;
    std::unique_ptr<PlayMediaCls> m_PlayMedia;
    std::shared_ptr<CTimer> m_AlermTimer;
    int32_t mark_ = -1;
};
