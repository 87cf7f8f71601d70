#pragma once
// The quote board: one always-on-top window listing the live quotes of every Market Watch
// symbol on the page "Quote.htm", one row per symbol (vertical) or one column per symbol
// (horizontal). It berths at a screen edge (or, with auto-hide off, stays inside the screen),
// fits itself to whole rows or columns, veils its quotes while they cannot be trusted, and has
// its own context menu. The core opens it and feeds it every price tick.
#include "core/QuoteWindows.h"
#include "platform/forms/CallByName.h"
#include "quotes/QuoteOverlays.h"
#include "toolkit/PageWindow.h"
#include "toolkit/ScreenBerth.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>

class frmQuote : public QuoteBoard, public forms::Dispatch, public PageWindow,
                 public std::enable_shared_from_this<frmQuote> {
public:
    frmQuote();
    ~frmQuote() override;

    // ---- Members reached by name, in the board's member order ----
    // Marks the table stale and starts hiding.
    void BerthLeave();
    void Hide_MaxMin() override;
    void Show_MaxMin() override;
    void xBerth() override;
    void TimeOut(bool on) override;
    void MT4Loading(bool on) override;
    void MT4Close(bool on) override;
    void Time(const std::string& text) override;
    bool BerthOn() override;
    bool Busy() override;
    void dbClick();
    void MoveIn();
    void MakeTable();
    // Writes the moved symbols (all visible ones when forced) into the shown table.
    void UpdateQuote(bool Force);
    void UpdateQuote(int16_t flag) override { UpdateQuote(flag != 0); }
    void ResizeWindow();
    // The page's context menu.
    bool WebDoc_oncontextmenu();

    std::string BaseCaption() override { return kCaption; }
    const forms::MemberTable& memberTable() const override;

    // "-" horizontal, anything else vertical.
    char Style() const { return Style_; }
    bool Horizontal() const { return Style_ == '-'; }
    bool AutoHide() const { return berth_ && berth_->AutoHide; }
    bool TableFresh() const { return TableFresh_; }
    // Test side.
    ScreenBerth* Berth() { return berth_.get(); }
    const web::HTMLDocument& PageDocument() const { return Document; }
    web::WebBrowser* Browser() const { return WebBrowser1.get(); }
    QuoteOverlays::Layers ShownLayers() const { return shownLayers_; }

    static constexpr const char* kCaption = "实时报价";
    static constexpr const char* kNode = "Window/FXQuote";
    // Pixels: a row of the vertical table, the heading allowance above it, a column of the
    // horizontal table.
    static constexpr int32_t kRow = 22, kHead = 25, kColumn = 60;

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Resize() override;
    void Form_QueryUnload(int& Cancel, int UnloadMode) override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    // The end of the user's drag or resize: save the place, fit to whole cells.
    void afterExitSizeMove();
    void sizeRule(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height);
    void showOverlays();
    void setDisplay(const char* id, bool shown);
    // The saved free size of a layout, pixels, never below what shows one row or column.
    int32_t savedWidth();
    int32_t savedHeight();
    // Frame sizes, pixels.
    int32_t frameWidth();
    int32_t frameHeight();
    void menuCommand(int32_t id, const std::string& symbol);

    char Style_ = '|';
    bool TableFresh_ = true;
    int32_t fittedWidth_ = 0, fittedHeight_ = 0;
    std::unique_ptr<ScreenBerth> berth_;
    web::HTMLDocument WebDoc;

    QuoteOverlays overlays_;
    QuoteOverlays::Layers shownLayers_;
    std::string timeText_;
    // Symbols the board left highlighted, so a still tick touches the page only to clear them.
    std::set<std::string> highlighted_;
};
