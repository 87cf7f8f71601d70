#pragma once
// The live-update check: fetches the update site's version file, compares its version with the
// program's own and, when it is newer, offers the download address in a small window.
#include "core/NeighbourWindows.h"
#include "platform/forms/CallByName.h"
#include "toolkit/PageWindow.h"
#include "toolkit/ctlDownload.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class frmLiveUpdate : public LiveUpdateWindow, public forms::Dispatch, public PageWindow,
                      public std::enable_shared_from_this<frmLiveUpdate> {
public:
    frmLiveUpdate();
    ~frmLiveUpdate() override;

    // Where the version file is asked for; the machine's host mapping leads the host elsewhere.
    static constexpr const char* kUpdateHost = "update.kestrel.example";
    static constexpr const char* kVersionFileUrl = "http://update.kestrel.example/download/qrb.xml";

    // ---- Members reached by name, in member order ----
    void LoadHTM();
    void ClickCancel();
    // Opens the download address (an http or https one only) and leaves the window open.
    void ClickOK();
    bool Busy();
    bool Tip() const { return tip_; }
    void Tip(bool asked) override;

    const forms::MemberTable& memberTable() const override;

    // ---- For tests ----
    const std::string& OfferedVersion() const { return version_; }
    const std::string& DownloadURL() const { return url_; }
    const web::HTMLDocument& PageDocument() const { return Document; }
    // "2.0.826"
    static std::string RunningVersion();
    // The dotted numbers of a version text; nothing when it is not one.
    static std::optional<std::vector<long>> VersionNumbers(const std::string& text);
    // offered is a newer version than running, both compared number by number.
    static bool IsNewer(const std::string& offered, const std::string& running);

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    void versionFileComplete(const std::string& data, bool success);
    // The check ended without an offer: tells the user when asked, then unloads.
    void endCheck(const std::string& failure);
    void tellAbout();

    std::unique_ptr<ctlDownload> download_;
    std::string url_;
    std::string version_;
    bool tip_ = false;
    bool checkDone_ = false;
};
