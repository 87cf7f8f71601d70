#pragma once
// The notice window: one resizable window whose face is the page "iPopup.htm". It polls the news
// sites, the week's calendar pages and the member channels from one table of sources, shows what
// they bring in the page's tabs, and keeps the week's calendar in the settings.
#include "core/NeighbourWindows.h"
#include "platform/com/ComBase.h"
#include "platform/forms/CallByName.h"
#include "platform/forms/DateTime.h"
#include "platform/speech/SpeechApi.h"
#include "toolkit/PageWindow.h"
#include "toolkit/ScreenBerth.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CTimer;
class clsSizeMove;
class cls_PopupMenu;
class ctlDownload;
class frmToast;
class PlayMediaCls;

// One download source of the notice window.
struct FeedSource {
    std::string Key;
    std::string Content;
    std::string URL;
    bool Enabled = false;
    bool Received = false;
    int32_t Counter = 0;
    int32_t Interval = 0;
    bool IsNews = false;
    bool InProgress = false;
};

class frmFXNotify : public NoticeWindow, public forms::Dispatch, public PageWindow,
                    public std::enable_shared_from_this<frmFXNotify> {
public:
    frmFXNotify();
    ~frmFXNotify() override;

    // Machine settings holding each site's base address ("http://host"); the defaults name
    // hosts that only the machine's host mapping ("net.host.<host>") can reach.
    struct Site {
        const char* setting;
        const char* fallback;
    };
    static constexpr Site kFX168Site{"site.fx168", "http://www.fx168.example"};
    static constexpr Site kDailyFXSite{"site.dailyfx", "http://www.dailyfx-hk.example"};
    static constexpr Site kCaiXunSite{"site.caixun", "http://forex.caixun.example"};
    static constexpr Site kCalendarSiteA{"site.calendar-a", "http://calendar-a.example"};
    static constexpr Site kCalendarSiteB{"site.calendar-b", "http://calendar-b.example"};
    static constexpr Site kMemberSite{"site.member", "http://member.kestrel.example"};
    static constexpr Site kMakerSite{"site.maker", "http://www.corvel.example"};
    static constexpr Site kServiceSite{"site.service", "http://bbs.kestrel.example"};
    static std::string siteBase(const Site& site);
    // Whether the machine's host mapping leads an address here: the only sites ever fetched.
    static bool onThisMachine(const std::string& url);

    // ---- The core's side ----
    bool Busy() override;
    void FXEvent() override;
    bool BerthOn() override;
    void xBerth() override;
    bool Working() override { return IsWorking; }
    void CancelWork() override;

    // ---- Members reached by name ----
    void Brisk(bool RunNow);
    void ProcessSource(int16_t Group);
    static std::string Utf8ToUnicode(const std::string& bytes);
    bool Filter(const std::string& Text = "");
    void ClickFn_All();
    void ClickFn_FX168();
    void ClickFn_Dailyfx();
    void ClickFn_CaiXun();
    void ClickFn_Strategy();
    void ClickFn_Vip();
    void ClickFn_Notice();
    void Calendar();
    void gWeb();
    void ClickMore();
    void ClosePopup();
    void ClickLink();
    void SelectWeekTab(int16_t day);
    // Asked for every new news item before it joins the toast.
    bool PopFilter(const std::string& Text);

    const forms::MemberTable& memberTable() const override;

    // ---- State others read (tests, later parts of the window) ----
    FeedSource& Source(int slot) { return FeedSources.at(static_cast<size_t>(slot)); }
    const std::string& FailedSources() const { return FailedSources_; }
    const std::string& CurrentPane() const { return CurrentPane_; }
    bool NewsShown() const { return NewsShown_; }
    bool WeekComplete() const { return WeekComplete_; }
    int16_t TodayIndex() const { return TodayIndex_; }
    forms::DateTime WeekFrom() const { return WeekFrom_; }
    // What the newness test reads: the items the news table has been given that their sources
    // may still list.
    const std::string& SeenText() const { return SeenText_; }
    // The new items of the latest call that found any, as the toast would show them.
    const std::string& ToastHtml() const { return ToastHtml_; }
    const web::HTMLDocument& PageDocument() const { return Document; }
    CTimer* NewsX() const { return NewsX_.get(); }

    // Items a poll takes from one source's page, at most: the sites list a few dozen.
    static constexpr size_t kItemsPerSource = 200;
    // A source's list is read no further than this; an item reaching past it waits for a poll
    // whose page is smaller.
    static constexpr size_t kListBytes = 1 << 20;
    // What one poll writes into the news table, at most; the rows that would pass it are left
    // unseen for a later poll.
    static constexpr size_t kPollRowBytes = 1 << 20;
    // A line of the seen-text memory goes once its source has read its page this many times
    // without it: the site no longer lists it, so it can never come back as new. A list cut
    // short now and then does not make the items it left out new again.
    static constexpr uint32_t kSeenReads = 30;
    // The rows the news table holds, at most: the newest to arrive. Far more than anyone scrolls
    // through; a day of busy sites brings thousands, which would only weigh on the page.
    static constexpr size_t kTableRows = 1000;

    // The news viewer opens an item's link (OpenInViewer unless replaced); nothing while unset.
    static std::function<void(const std::string& url)> OpenItem;

    // ---- Docking and auto-hide ----
    // Starts the slide out unless the window is minimised.
    void BerthLeave();
    // The page body's mouse-over: the slide in.
    void MoveIn();
    ScreenBerth* Berth() { return berth_.get(); }
    // ---- Links and menus ----
    // The page document's clicks and right clicks.
    bool WebDoc_onclick();
    bool WebDoc_oncontextmenu();
    void Click_MoreBut();
    bool InTaskbarShown() const { return InTaskbar; }
    // Loads the news viewer if need be, waits (bounded) for its page and opens the address in it;
    // a viewer whose page never came is let go with a message, so the next link starts afresh.
    static void OpenInViewer(const std::string& url);
    // The longest wait for the news viewer's page, on the machine's clock.
    static constexpr uint32_t kViewerWaitMs = 30000;
    static constexpr const char* kViewerNotReady = "新闻窗口没有准备好,请稍后再试!";

protected:
    void Form_Load() override;
    void Form_QueryUnload(int& Cancel, int UnloadMode) override;
    void Form_Unload(int& Cancel) override;
    void Form_Resize() override;
    void Form_Activate() override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    void NewsX_Timer();
    void fetch(const FeedSource& s);
    void startBatchDownload(FeedSource& s);
    void ctlDown_DownloadComplete(std::string Data, bool Success, const std::string& Key);
    void batchTest();
    void UpdateFailedBar();
    void AdjustCalcHead();
    void layoutPage();  // the page's parts that follow the window's size
    int calendarWidth();  // the calendar list's width without its scroll bar
    void ShowPane(const std::string& id);
    void GetElementPos(const std::string& id, int32_t& left, int32_t& top, int32_t& width, int32_t& height);
    void setFilterBars(int filterBar, int briskBar, int techCaption);
    void addLabel(const std::string& label);
    void removeLabel(const std::string& label);
    std::string memberQuery(const char* idKey, bool passwordTwice) const;

    // Content processing.
    struct NewsRow {
        std::string className;  // the source's class word
        std::string tipWord;    // the time cell's tool tip
        std::string time;
        std::string textHtml;   // the text cell, built from escaped text and checked links
        std::string text;       // the text cell as read
        bool shown = false;
    };
    void processFX168Page(const std::string& content, const std::string& pageUrl);
    // Queues a new row for the poll's one write into the table (flushRows) and records it as
    // seen; false, and nothing recorded, when the poll's rows are full.
    bool insertRow(const NewsRow& row);
    void flushRows();
    // A source's read of its list: the memory as it stands, against which the items are tested.
    void beginRead();
    // Whether the memory holds the key; its line is then still on offer from the source read.
    bool alreadySeen(const std::string& key);
    // Lets go of the lines their sources no longer list.
    void forgetUnlisted();
    void ShowToast(const std::string& html, bool newFound);
    // The news-source scrapers.
    void scrapeSource(int slot);
    void processCaiXun(const std::string& content, const std::string& pageUrl);
    void processDailyfxNews(const std::string& content);
    void processDailyfxTechs(const std::string& content);
    void processAnalysts(const std::string& content);
    void gatherToast(const std::string& entry);
    static std::string toastEntry(const char* image, const std::string& time, const std::string& headline,
                                  const std::string& link, const std::string& tail = "");

    web::HTMLElement el(const std::string& id);

    std::array<FeedSource, 17> FeedSources{};  // slots 1 to 16; 0 unused
    std::unique_ptr<ctlDownload> ctlDown;
    std::shared_ptr<CTimer> NewsX_, chkTimer, TipTimer;

    bool NewsShown_ = false;
    bool IsWorking = false;
    std::string FailedSources_;
    std::string CurrentPane_;
    bool WeekComplete_ = false;
    forms::DateTime WeekFrom_{};
    int16_t TodayIndex_ = 0;
    int16_t ShownWeekday = 0;
    bool InTaskbar = false;
    int32_t ScreenWidth = 0, ScreenHeight = 0;  // the place at load
    // Docking: the edge rule (with its timers) and the size/move watcher.
    std::unique_ptr<ScreenBerth> berth_;
    void berthLoad();
    void cSizeMove_Activate(bool ByClick);
    // The element a click or right click of the page was made on, as the page recorded it.
    struct PageClick {
        std::string tag, href, kind;
        int row = 0;
    };
    PageClick lastClick(const char* which);
    void connectWebDoc();
    void WebBrowser_NewWindow2(const std::string& url, bool& Cancel);
    int32_t trackMenu(cls_PopupMenu& menu);
    void menuCommand(int32_t id, const std::string& kind, int row);
    void copyRows(const std::string& kind, int row);
    void remindAll();
    void toggleTaskbar();
    bool remindOffered() const;
    web::HTMLDocument WebDoc;

    // The filter bar's choices: the tab's class word, the subject and the keywords.
    struct FilterBar {
        std::string key, subject;
        std::vector<std::string> keywords;
    };
    FilterBar filterBar();

    // One call of ProcessSource.
    bool Polling_ = false;
    std::optional<FilterBar> PollFilter_;  // read once per poll
    std::vector<NewsRow> PendingRows_;
    size_t PendingBytes_ = 0;
    std::string OldText;
    bool TabShows = false;
    bool NewFound = false;
    std::string NewItemsHtml;
    std::string SeenText_;
    // SeenText_'s lines: where each starts, and the source that last listed it with that
    // source's read then.
    struct SeenLine {
        size_t start;
        int slot;
        uint32_t read;
    };
    std::vector<SeenLine> SeenLines_;
    std::array<uint32_t, 17> Reads_{};  // each source's reads of its list so far
    int ReadingSlot_ = 0;               // the source whose page is being read
    size_t RowsGiven_ = 0;              // new items of the run
    std::string ToastHtml_;

    // ---- The week's calendar (frmFXNotify_Calendar.cpp) ----
public:
    void SelWeek(int16_t day);
    void chkTimer_ThatTime();
    void tipTimer_ThatTime();
    void TBodyClick();
    int16_t ShownDay() const { return ShownWeekday; }
    struct Balloon {
        std::string text, title;
    };
    // The calendar's tray balloons of the run, in order; the main window's tray shows them.
    const std::vector<Balloon>& CalendarBalloons() const { return CalendarBalloons_; }
    // What the stored week may take in the settings file, in bytes; each day has a fifth of it,
    // so that one swollen day page cannot crowd out the others.
    static constexpr size_t kCalendarBytes = 256 * 1024;

private:
    void ProcessCalendar();
    void newWeek(forms::DateTime monday);
    void remindToday(int16_t day);
    void markToday(int16_t day, bool today);
    void calendarBalloon(const std::string& text, const std::string& title);
    int16_t ReminderStart = 0;
    std::string PendingReminder;
    int16_t ReminderCountdown = 0;
    std::vector<Balloon> CalendarBalloons_;

    // ---- Member channels, their notification and the toast (frmFXNotify_Members.cpp) ----
public:
    // The failed-source bar has been shown or hidden this many times (each a layout change).
    int32_t LayoutChanges() const { return LayoutChanges_; }
    // The toast window, made when the page has loaded.
    frmToast* Toast() const { return popupWin_.get(); }
    // The keywords of a list separated by ";", each trimmed; empty ones are left out.
    static std::vector<std::string> Keywords(const std::string& list);

private:
    struct MemberChannel;
    void MemberChannels();
    void memberChannel(const MemberChannel& ch, int16_t& count);
    void NotifyMembers();
    void bindToast();
    std::shared_ptr<frmToast> popupWin_;
    std::shared_ptr<PlayMediaCls> m_PlayMedia;
    com::ComPtr<win::ISpeechVoice> m_Speech;
    int16_t StrategyCount = 0, VipCount = 0, NoticeCount = 0;
    bool MemberNewFound = false;
    std::string BalloonText;
    int32_t LayoutChanges_ = 0;
};
