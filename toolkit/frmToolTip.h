#pragma once
// The tool tip: a short message with an icon and optionally an OK button, shown on the page
// "ToolTip.htm" in a balloon that points at a screen position. The window itself never shows;
// it lends its content container (holding the browser control) to a balloon while the tip is up.
//
// Callers take a tip (Shared() or a new one, loaded), pump while Busy(), set the icon and the
// optional members, set Info last, then call Balloon(x, y); DelayX and CloseX may come before
// or after Balloon.
#include "frmBalloon.h"
#include "platform/forms/CallByName.h"
#include "platform/forms/Form.h"
#include "toolkit/CTimer.h"
#include "toolkit/PageWindow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class frmToolTip : public forms::Form, public forms::Dispatch, public PageWindow,
                   public std::enable_shared_from_this<frmToolTip> {
public:
    frmToolTip();
    ~frmToolTip() override;

    // The program-wide shared tip, created and loaded on first use; a fresh one after the
    // previous shared tip was unloaded.
    static std::shared_ptr<frmToolTip> Shared();
    // Lets go of the shared tip without unloading it (the program's end, tests).
    static void ReleaseShared();

    // Icon codes and their images.
    static constexpr int kIconInfo = 0, kIconWarning = 1, kIconError = 2, kIconOK = 3, kIconWorking = 4;

    // ---- Members reached by name, in member order ----
    // Stores the OK action code and shows the button row, whatever the code.
    void ClickOK(int16_t code);
    void BalloonWidth(int32_t pixels);
    void BalloonHeight(int32_t pixels);
    void IconVAlign(const std::string& align);
    void InfoVAlign(const std::string& align);
    // Shows the tip with the balloon's pointer at the screen point (pixels; 0 in either means
    // the cursor position).
    void Balloon(int32_t X, int32_t Y);
    // Shows a hidden balloon again, then sets the message as plain text.
    void Info(const std::string& text);
    // True: the tip closes when its balloon loses activation; false: the balloon only hides.
    void CloseX(bool close);
    // Closes the tip after this many milliseconds from now, replacing an earlier delay; below 1
    // cancels the auto-close.
    void DelayX(double milliseconds);
    void UnloadME();
    // Codes 0 to 4 set the icon; anything else changes nothing.
    void TIPIcon(int32_t code);
    // The OK button's handler.
    void iClickOK();
    bool Busy();

    const forms::MemberTable& memberTable() const override;

    // ---- State, for the windows that host tips and for tests ----
    win::HWND Layout();
    int16_t ClickOKCode() const { return ClickOK_; }
    bool Shown() const { return Shown_; }
    bool CloseOnBalloonClose() const { return CloseX_; }
    // The balloon currently lent the content, or null.
    frmBalloon* BalloonForm() const { return mBalloonFrm.get(); }
    const web::HTMLDocument& PageDocument() const { return Document; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    web::HTMLElement element(const char* id);
    void mBalloonFrm_BalloonClose();
    void mDelay_ThatTime();
    // Takes the content back from the balloon and unloads it.
    void releaseBalloon();

    win::HWND layout_ = 0;
    bool CloseX_ = false;
    bool Shown_ = false;
    int16_t ClickOK_ = 0;
    std::shared_ptr<frmBalloon> mBalloonFrm;
    std::shared_ptr<CTimer> mDelay;
};
