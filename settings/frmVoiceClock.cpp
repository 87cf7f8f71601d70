#include "frmVoiceClock.h"

#include "platform/forms/DateTime.h"
#include "platform/forms/Strings.h"
#include "platform/system/CodePage.h"
#include "toolkit/CTimer.h"
#include "toolkit/PlayMediaCls.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

frmVoiceClock::frmVoiceClock() : VoiceClockWindow("frmVoiceClock") {
    design.borderStyle = forms::vbBSNone;
    design.showInTaskbar = false;
    design.width = design.height = 300;
}

frmVoiceClock::~frmVoiceClock() { stop(); }

bool frmVoiceClock::Initialize() {
    try {
        win::CLSID clsid{};
        if (win::FAILED(win::CLSIDFromProgID(u"Sapi.SpVoice", &clsid)) ||
            win::FAILED(win::CoCreateInstance(clsid, nullptr, win::CLSCTX_ALL, win::IID_ISpeechVoice, speech_.putVoid())))
            speech_.reset();
    } catch (const std::exception&) {
        speech_.reset();
    }
    if (!speech_) return false;
    // Cleared before the first tick: a chime that tick starts must not be played again.
    mark_ = -1;
    try {
        m_PlayMedia = std::make_unique<PlayMediaCls>();
        m_PlayMedia->EndPlay = [this] { m_PlayMedia_EndPlay(); };
        m_AlermTimer = CTimer::create();
        m_AlermTimer->ThatTime = [this] { m_AlermTimer_ThatTime(); };
        m_AlermTimer->Interval(kIdleMs);
        m_AlermTimer->PulseTimer();
    } catch (const std::exception&) {
    }
    return true;
}

int32_t frmVoiceClock::TickInterval() const { return m_AlermTimer ? m_AlermTimer->Interval() : 0; }

bool frmVoiceClock::HoldsChime() const { return m_PlayMedia && m_PlayMedia->Valid(); }

bool frmVoiceClock::clockOn(const char* attribute) {
    return settingFlag(Config().GetNodeAttrib("Settings/VoiceClock", attribute));
}

void frmVoiceClock::nearChime(const char* attribute) {
    if (m_AlermTimer && m_AlermTimer->Interval() != kNearMs && clockOn(attribute)) m_AlermTimer->Interval(kNearMs);
}

void frmVoiceClock::chime(int32_t mark, const char* file) {
    mark_ = mark;
    if (m_PlayMedia && m_PlayMedia->OpenMedia(m_Main::AppDir + file)) {
        m_PlayMedia->Play();
        if (Trace) Trace(std::string("clock chimes: ") + file);
        return;
    }
    // No end of play will follow: ticking every second would wait for nothing.
    if (m_AlermTimer) m_AlermTimer->Interval(kIdleMs);
}

void frmVoiceClock::m_AlermTimer_ThatTime() {
    const forms::DateTime now = forms::Now();
    switch (forms::Minute(now)) {
    case 59:
        // From second 51 on, so a tick that comes late still rings the hour; the mark keeps
        // it to once.
        if (forms::Second(now) >= 51) {
            if (mark_ != 0 && clockOn("Clock0")) chime(0, "Media\\0.wav");
        } else {
            nearChime("Clock0");
        }
        break;
    case 14:
        nearChime("Clock15");
        mark_ = -1;
        break;
    case 15:
        if (mark_ != 15 && clockOn("Clock15")) chime(15, "Media\\15.mid");
        break;
    case 29:
        nearChime("Clock30");
        mark_ = -1;
        break;
    case 30:
        if (mark_ != 30 && clockOn("Clock30")) chime(30, "Media\\30.mid");
        break;
    case 44:
        nearChime("Clock45");
        mark_ = -1;
        break;
    case 45:
        if (mark_ != 45 && clockOn("Clock45")) chime(45, "Media\\45.mid");
        break;
    default:
        break;
    }
}

void frmVoiceClock::m_PlayMedia_EndPlay() {
    // The next chime is a quarter of an hour away and opens its own file: the decoded tune (a
    // megabyte or more) is not kept for it.
    if (m_PlayMedia) m_PlayMedia->CloseMedia();
    auto speak = [this](int32_t minute) {
        const std::string text = TimeText(minute);
        if (speech_) speech_->Speak(sys::toUtf16(text).c_str(), 1, nullptr);
        if (Trace) Trace("clock speaks: " + text);
    };
    if (mark_ == 0) {
        speak(0);
        mark_ = -1;
    } else if (mark_ == 30) {
        speak(30);
    }
    if (m_AlermTimer) m_AlermTimer->Interval(kIdleMs);
}

std::string frmVoiceClock::TimeText(int32_t minute) const {
    const forms::DateTime now = forms::Now();
    int h = forms::Hour(now);
    // The full hour names the hour that begins, also when its chime ended before it did.
    if (minute == 0 && forms::Minute(now) >= 30) h = (h + 1) % 24;
    const char* period = h == 0    ? "午夜"
                         : h <= 5  ? "凌晨"
                         : h <= 7  ? "早上"
                         : h <= 11 ? "上午"
                         : h <= 13 ? "中午"
                         : h <= 17 ? "下午"
                         : h <= 19 ? "傍晚"
                                   : "晚上";
    if (h > 12) h -= 12;
    std::string text = period;
    text += h == 2 ? std::string("两") : std::to_string(h);
    text += "点";
    text += minute == 0 ? "整" : "半";
    return text;
}

void frmVoiceClock::stop() {
    if (m_AlermTimer) {
        m_AlermTimer->Interval(0);
        m_AlermTimer->ThatTime = nullptr;
        m_AlermTimer.reset();
    }
    if (m_PlayMedia) {
        m_PlayMedia->EndPlay = nullptr;
        m_PlayMedia.reset();
    }
    speech_.reset();
}

void frmVoiceClock::Form_Unload(int&) { stop(); }
