#pragma once
// What the main window calls of the notice window, the talking clock, the live-update window,
// the per-symbol voice-quote dialog and the window that holds the terminal's Terminal panel.
// Their modules implement these; InstallWindows (app/ProgramWindows.h) installs their makers.
// While no maker is installed the window does not exist and the main window's operations on it do
// nothing.
#include "core/Program.h"
#include "platform/forms/Form.h"

#include <functional>
#include <memory>
#include <string>

// The notice window (calendar, news, notices).
class NoticeWindow : public forms::Form {
public:
    using forms::Form::Form;
    // True while its page is not ready.
    virtual bool Busy() = 0;
    // Applies the news-source settings to its source table and tabs.
    virtual void FXEvent() = 0;
    virtual bool BerthOn() = 0;
    virtual void xBerth() = 0;
    // A download of a non-news source it started is still running.
    virtual bool Working() = 0;
    virtual void CancelWork() = 0;
};

// The news viewer: one article at a time. The opener sets URL, then calls XStyle and GETData.
class NewsViewerWindow : public forms::Form {
public:
    using forms::Form::Form;
    // True while its page is not ready.
    virtual bool Busy() = 0;
    virtual void URL(const std::string& address) = 0;
    virtual void XStyle() = 0;
    virtual void GETData() = 0;
};

// The talking clock: a hidden window that runs while it is loaded.
class VoiceClockWindow : public forms::Form {
public:
    using forms::Form::Form;
    // Starts it; false when its speech object could not be made (nothing else is then made).
    virtual bool Initialize() = 0;
};

// The live-update window; loading it starts the check.
class LiveUpdateWindow : public forms::Form {
public:
    using forms::Form::Form;
    // The user asked: report also when the program is already the latest.
    virtual void Tip(bool asked) = 0;
};

// The per-symbol voice-quote dialog. The opener fills it through the setters (VoiceEnable last);
// the getters give what it held when it closed.
class VoiceQuoteDialog : public forms::Form {
public:
    using forms::Form::Form;
    // True while its page is not ready.
    virtual bool Busy() = 0;
    virtual void ID(const std::string& symbol) = 0;
    virtual void VoiceDelta(const std::string& points) = 0;
    virtual void VoiceInterval(const std::string& seconds) = 0;
    virtual void DeltaFormat(const std::string& text) = 0;
    virtual void IntervalFormat(const std::string& text) = 0;
    virtual void EnableDelta(bool on) = 0;
    virtual void EnableInterval(bool on) = 0;
    virtual void VoiceEnable(bool on) = 0;
    virtual std::string VoiceDelta() = 0;
    virtual std::string VoiceInterval() = 0;
    virtual std::string DeltaFormat() = 0;
    virtual std::string IntervalFormat() = 0;
    virtual bool EnableDelta() = 0;
    virtual bool EnableInterval() = 0;
    virtual bool VoiceEnable() = 0;
    // The state differs from the one it was opened with.
    virtual bool SETChanged() = 0;
};

// The window that holds the terminal's own Terminal panel.
class TerminalPanelWindow : public forms::Form {
public:
    using forms::Form::Form;
    virtual bool BerthOn() = 0;
    // Brings it in from its screen edge and focuses it.
    virtual void ReVisible() = 0;
};

