#pragma once
// Modal interaction (message boxes, pop-up menus, file dialogs) is scripted: tests queue the
// user's answers. A modal call that finds no answer either fails loudly or takes its default.
#include <stdexcept>
#include <string>

namespace win {

enum class UnansweredModal {
    Fail,         // throw UnansweredModalError: a test forgot to script the user
    TakeDefault,  // the default button, a dismissed menu, a cancelled dialog
};
// Default per machine: Fail on a virtual clock (tests), TakeDefault on a real one (demo runs).
void setUnansweredModal(UnansweredModal policy);
UnansweredModal unansweredModal();

class UnansweredModalError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

} // namespace win
