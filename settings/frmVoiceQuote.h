#pragma once
// The per-symbol voice-quote dialog: whether a symbol's quotes are spoken, every N seconds and
// on a move of N points, each with its speech template, on the page "VoiceSet.htm". It behaves
// as a drop-down: losing activation closes it, and every closing hands its values to the main
// window's SaveVoice.
#include "core/NeighbourWindows.h"
#include "platform/forms/CallByName.h"
#include "toolkit/PageWindow.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

class cDropDown;

class frmVoiceQuote : public VoiceQuoteDialog, public forms::Dispatch, public PageWindow,
                      public std::enable_shared_from_this<frmVoiceQuote> {
public:
    frmVoiceQuote();
    ~frmVoiceQuote() override;

    // ---- Members, in the dialog's member order ----
    void ID(const std::string& symbol) override { ID_ = symbol; }
    // Takes the state snapshot: the opener sets it last.
    void VoiceEnable(bool on) override;
    bool SETChanged() override;
    bool VoiceEnable() override { return closed_.voice; }
    void EnableDelta(bool on) override { setTrigger("iPIP", on); }
    bool EnableDelta() override { return closed_.delta; }
    void EnableInterval(bool on) override { setTrigger("iTime", on); }
    bool EnableInterval() override { return closed_.interval; }
    void VoiceDelta(const std::string& points) override;
    std::string VoiceDelta() override { return std::to_string(closed_.deltaValue); }
    void VoiceInterval(const std::string& seconds) override;
    std::string VoiceInterval() override { return std::to_string(closed_.intervalValue); }
    void IntervalFormat(const std::string& text) override;
    std::string IntervalFormat() override { return closed_.intervalFormat; }
    void DeltaFormat(const std::string& text) override;
    std::string DeltaFormat() override { return closed_.deltaFormat; }
    // The page's callback: the placeholder menu for the template beside the active element.
    void SelFormat();
    bool Busy() override { return PageWindow::Busy(); }

    // The format buttons' clicks: the placeholder menu for their own template.
    void SelTimeFormat_Click();
    void SelPIPFormat_Click();

    const forms::MemberTable& memberTable() const override;
    const web::HTMLDocument& PageDocument() const { return Document; }

    // The placeholders, in menu order (ids 1 to 5).
    static constexpr const char* kPlaceholders[5] = {"[别名]", "[价格]", "[方向]", "[点差]", "[尾数]"};
    // A whole number of digits that fits 32 bits, blanks around it allowed.
    static std::optional<int32_t> WholeNumber(const std::string& text);

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_QueryUnload(int& Cancel, int UnloadMode) override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    web::HTMLElement el(const std::string& id) const;
    std::string VoiceStateText() const;
    void setTrigger(const std::string& box, bool on);
    void fitToPage();
    void placeholderMenu(const std::string& targetId);
    // A number field's whole number at closing; a field that holds none gets back the value the
    // opener gave it.
    int32_t takeNumber(const std::string& fieldId, const std::string& given);

    std::string ID_;
    std::unique_ptr<cDropDown> cDropDown1;
    // What the opener wrote into the number fields.
    std::string givenDelta_, givenInterval_;
    // The triggers as the opener wants them, so a refusal of an earlier setter is redone.
    std::map<std::string, bool> wantedTriggers_;
    std::string snapshot_;
    bool filled_ = false;
    // What the page held at closing.
    struct Closed {
        bool done = false;
        bool voice = false, delta = false, interval = false;
        int32_t deltaValue = 0, intervalValue = 0;
        std::string deltaFormat, intervalFormat, state;
    } closed_;
};
