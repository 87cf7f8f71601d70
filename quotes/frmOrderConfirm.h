#pragma once
// The order-confirmation balloon: before a quick order is sent it shows the terminal, symbol,
// side, price, volume, stop-loss and take-profit on the page "OrderConfirm.htm" in a balloon at
// the clicked button. The distances can be picked from menus; the send button hands the order
// back to its panel, closing the balloon drops it. One instance for the whole program, alive
// while a balloon is up.
#include "core/CommandWindows.h"
#include "platform/forms/CallByName.h"
#include "toolkit/PageWindow.h"
#include "toolkit/frmBalloon.h"

#include <cstdint>
#include <memory>
#include <string>

class frmOrderConfirm : public OrderConfirmBalloon, public forms::Dispatch, public PageWindow,
                        public std::enable_shared_from_this<frmOrderConfirm> {
public:
    frmOrderConfirm();
    ~frmOrderConfirm() override;

    // The program's instance, made and loaded when there is none.
    static std::shared_ptr<frmOrderConfirm> Instance();
    // The instance while its page is bound (OrderConfirmOpen), else null.
    static frmOrderConfirm* Open();

    // ---- Members reached by name, in member order ----
    void Balloon(int32_t x, int32_t y);
    void UNForm() override;
    void ConfirmOrder();
    void Price(const std::string& text);
    void SL(const std::string& text);
    void TP(const std::string& text);
    void Volume(const std::string& text);
    void SymBol(const std::string& symbol);
    std::string SymBol() const { return SymBol_; }
    // 1 buy, anything else sell.
    void OPT(int16_t side);
    void SLMouseOut();
    void TPMouseOut();
    void PICKSL();
    void PICKTP();
    bool Busy();

    const forms::MemberTable& memberTable() const override;

    // Test side.
    const web::HTMLDocument& PageDocument() const { return Document; }
    frmBalloon* BalloonForm() const { return mBalloonFrm.get(); }
    bool PickMenuOpen() const { return PickMenuOpen_; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    web::HTMLElement element(const char* id);
    void mBalloonFrm_BalloonClose();
    void pick(bool stopLoss);
    void releaseBalloon();
    // Calls a member of the order's panel by name; nothing when the panel has gone.
    void callPanel(const std::string& symbol, const char* member);

    win::HWND layout_ = 0;
    std::string SymBol_;
    bool PickMenuOpen_ = false;
    std::shared_ptr<frmBalloon> mBalloonFrm;
};
