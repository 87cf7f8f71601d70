#pragma once
// The script installer: lists the program's own terminal scripts, and installs the ticked ones
// into the attached terminal with a hot key each, closing and restarting the terminal around
// the file work.
#include "core/CommandWindows.h"
#include "platform/forms/CallByName.h"
#include "toolkit/PageWindow.h"

#include <memory>
#include <string>
#include <vector>

class frmInsScript : public PageDialog, public forms::Dispatch, public PageWindow,
                     public std::enable_shared_from_this<frmInsScript> {
public:
    frmInsScript();
    ~frmInsScript() override;

    // ---- Members reached by name, in member order ----
    void BalloonReturn();
    // Asks for confirmation in a balloon at the install button.
    void ClickOK();
    void Install();
    void ClickCancel();
    bool Busy() override;

    const forms::MemberTable& memberTable() const override;

    // ---- State, for tests ----
    const std::vector<std::string>& ListedScripts() const { return scripts_; }
    const std::vector<std::string>& EntryNames() const { return entryNames_; }
    const web::HTMLDocument& PageDocument() const { return Document; }
    // What the last installation could not do, one line each; empty when all went in.
    const std::vector<std::string>& Failures() const { return failures_; }
    // The message the last installation ended with.
    const std::string& Report() const { return report_; }
    // The terminal folder (with its trailing backslash), empty without an attached terminal.
    static std::string TerminalFolder();

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    void readHotkeys(const std::string& file, const std::string& scriptsDir);
    // Writes the rows ticked on the page after the section's opening line.
    void writeNewEntries(std::string& out, const std::string& from, const std::string& to);
    void GetElementPos(const std::string& id, int& left, int& top, int& width, int& height);
    void tell(int icon, const std::string& text);

    std::vector<std::string> scripts_;
    std::vector<std::string> entryNames_;
    std::vector<std::string> entryValues_;
    std::vector<std::string> lines_;
    std::vector<std::string> failures_;
    std::string report_;
    bool sectionFound_ = false;
    bool activated_ = false;
    int keyCounter_ = -1;
    bool keyAlt_ = false;
    bool keysExhausted_ = false;
};
