#pragma once
// The about window: the program's version on its page, and a button that asks for an update
// check and shows it busy until the check reports back.
#include "core/CommandWindows.h"
#include "platform/forms/CallByName.h"
#include "toolkit/PageWindow.h"

#include <memory>
#include <string>

// The program's own version (its version resource).
struct AppVersion {
    static constexpr int Major = 2;
    static constexpr int Minor = 0;
    static constexpr int Revision = 826;
};

class frmAbout : public PageDialog, public forms::Dispatch, public PageWindow,
                 public std::enable_shared_from_this<frmAbout> {
public:
    frmAbout();
    ~frmAbout() override;

    // ---- Members reached by name, in member order ----
    void CloseFRM();
    // Shows the update button busy and asks for a check the user wants answered.
    void LiveUpdate();
    // The check has reported: the update button is idle again.
    void ChkLiveUpdateOk();
    bool Busy() override;

    const forms::MemberTable& memberTable() const override;

    // Set while an about window with a prepared page is loaded.
    static bool AboutReady;
    // The open about window with a prepared page, or nullptr.
    static frmAbout* Ready();
    const web::HTMLDocument& PageDocument() const { return Document; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }
};
