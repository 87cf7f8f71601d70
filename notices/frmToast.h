#pragma once
// The toast of the notice page: a frameless top-most window of the program that rises from the
// bottom of the work area at the right edge of the screen, shows a copy of its source page's
// template "popupWin" on the page "iToast.htm", and closes by itself after the source page's
// "Duration" unless the mouse rests on it. The source page asks for it by its button "iPopup";
// its "更多..." and item links are handed back to the source page's "iMore" and "iLink".
#include "platform/browser/WebBrowser.h"
#include "platform/forms/CallByName.h"
#include "platform/forms/Form.h"
#include "toolkit/PageWindow.h"

#include <cstdint>
#include <memory>
#include <string>

class CTimer;

class frmToast : public forms::Form, public forms::Dispatch, public PageWindow,
                 public std::enable_shared_from_this<frmToast> {
public:
    frmToast();
    ~frmToast() override;

    static constexpr int kStepPixels = 10;
    static constexpr int kStepMs = 10;
    static constexpr int kHoverWatchMs = 100;
    // The longest auto-close delay honoured; longer (or unreadable) durations keep it open.
    static constexpr double kLongestDurationMs = 24.0 * 3600 * 1000;

    // The page whose template the toast copies and whose hidden controls it clicks.
    void Source(const web::HTMLDocument& page) { Source_ = page; }

    // ---- Members reached by name ----
    // The source page's "iPopup": closes an open toast, then raises a new one from the template.
    void iPopup();
    // Closes an open toast (its close button, a right click, the source's "Duration").
    void PopupClose();
    // "更多...": closes the toast and clicks the source page's "iMore".
    void ClickMore();
    // An item: closes the toast, writes the item's address into the source's "iLink", clicks it.
    void ClickItem();
    bool Busy();

    const forms::MemberTable& memberTable() const override;

    // ---- State, for the notice window and tests ----
    // Shown, rising or risen.
    bool IsOpen() const { return open_; }
    bool Rising() const;
    // The template's laid-out height: where the rise ends.
    int FullHeight() const { return full_; }
    // Milliseconds the toast stays once shown or left by the mouse; 0 = until closed.
    double DurationMs() const { return durationMs_; }
    bool ClosePending() const;
    const web::HTMLDocument& PageDocument() const { return Document; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    void show();
    void place();
    void m_Grow_ThatTime();
    void m_Hover_ThatTime();
    void startCloseDelay();
    web::HTMLElement sourceElement(const char* id) const;

    web::HTMLDocument Source_;
    std::shared_ptr<CTimer> m_Grow, m_Hover, m_Close;
    // The toast asked for while the page was still loading.
    bool pending_ = false;
    bool open_ = false;
    bool hovered_ = false;
    std::string html_;
    int width_ = 0, full_ = 0, height_ = 0, left_ = 0, bottom_ = 0;
    double durationMs_ = 0;
};
