#pragma once
// The windows that the commands open or close and that the main window otherwise does not know:
// the settings window, the about window, the script installer, the news reader and the
// order-confirmation balloon. Their modules implement these; InstallWindows (app/ProgramWindows.h)
// installs their makers, and the news reader and the balloon register their open instance there.
// While none is there the command that would reach the window does nothing.
#include "core/Program.h"
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
