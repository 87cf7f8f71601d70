#pragma once
// The quick-order defaults of one panel in a balloon: the confirm flag on the page
// "OrderSet.htm" and the stop-loss and take-profit distances in two spin boxes laid over the
// page. Closing the balloon applies them to the panel and stores them for the symbol when they
// changed. One instance for the whole program.
#include "platform/forms/CallByName.h"
#include "platform/forms/Form.h"
#include "toolkit/PageWindow.h"
#include "toolkit/cUpDown.h"
#include "toolkit/frmBalloon.h"

#include <cstdint>
#include <memory>
#include <string>

class frmFloat;

class frmOrderSet : public forms::Form, public forms::Dispatch, public PageWindow,
                    public std::enable_shared_from_this<frmOrderSet> {
public:
    frmOrderSet();
    ~frmOrderSet() override;

    // The program's instance, made and loaded when there is none.
    static std::shared_ptr<frmOrderSet> Instance();
    // The panel's settings balloon: filled from the panel and shown pointing at (x, y).
    static void OpenFor(frmFloat& panel, int32_t x, int32_t y);

    // ---- Members reached by name, in member order ----
    void Balloon(int32_t x, int32_t y);
    void UNForm();
    void SymBol(const std::string& symbol) { SymBol_ = symbol; }
    std::string SymBol() const { return SymBol_; }
    // Distances in points; iSUB must be set first.
    void SL(int16_t distance);
    void TP(int16_t distance);
    void iSUB(bool fractional) { iSUB_ = fractional; }
    void Confirm(bool on);
    bool Busy();
    // The user closed the balloon: the settings go to the panel and, when changed, to the store.
    void mBalloonFrm_BalloonClose();

    const forms::MemberTable& memberTable() const override;

    // Test side.
    cUpDown* SLUD() const { return SLUD_.get(); }
    cUpDown* TPUD() const { return TPUD_.get(); }
    win::HWND SLValue() const { return SLValue_; }
    win::HWND TPValue() const { return TPValue_; }
    const web::HTMLDocument& PageDocument() const { return Document; }
    frmBalloon* BalloonForm() const { return mBalloonFrm.get(); }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    web::HTMLElement element(const char* id);
    // "checked|stop-loss|take-profit" as the balloon holds them now.
    std::string StateString();
    void spin(cUpDown& ud, int16_t distance);
    void placeSpin(const char* inputId, std::unique_ptr<cUpDown>& ud, win::HWND& buddy);
    void releaseBalloon();

    win::HWND layout_ = 0;
    std::string SymBol_;
    bool iSUB_ = false;
    std::string initialState_;
    std::unique_ptr<cUpDown> SLUD_, TPUD_;
    win::HWND SLValue_ = 0, TPValue_ = 0;
    std::shared_ptr<frmBalloon> mBalloonFrm;
};
