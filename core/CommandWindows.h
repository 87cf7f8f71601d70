#pragma once
// The windows that the commands open or close and that the main window otherwise does not know:
// the settings window, the about window, the script installer, the news reader and the
// order-confirmation balloon. Their modules implement these and install a maker (or, for the
// news reader and the balloon, register the open instance); while none is there the command
// that would reach the window does nothing.
#include "platform/forms/Form.h"

#include <functional>
#include <memory>

// A window whose page loads after Load; shown once it is no longer busy.
class PageDialog : public forms::Form {
public:
    using forms::Form::Form;
    // True while its browser is busy or its page is not complete.
    virtual bool Busy() = 0;
};

// The order-confirmation balloon.
class OrderConfirmBalloon : public forms::Form {
public:
    using forms::Form::Form;
    // Gives its page area back and unloads the balloon.
    virtual void UNForm() = 0;
};

namespace m_Main {

extern std::function<std::shared_ptr<PageDialog>()> NewSettingsWindow;
extern std::function<std::shared_ptr<PageDialog>()> NewAboutWindow;
extern std::function<std::shared_ptr<PageDialog>()> NewInsScriptWindow;

// The one instance of each, made on first use; nullptr while no maker is installed.
PageDialog* SettingsForm();
PageDialog* AboutForm();
PageDialog* InsScriptForm();

// The news reader while it exists; its owner sets and clears it.
extern std::shared_ptr<forms::Form> FXNewsForm;
// The confirmation balloon while it is open (OrderConfirmOpen); set by the balloon.
extern OrderConfirmBalloon* OrderConfirmForm;

// Forgets the instances (exit, tests).
void ReleaseCommandWindows();

} // namespace m_Main
