#pragma once
#include "WebBrowser.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace web {

class BrowserHost;
class Chromium;

// One window target of the browser with its session: the state behind a WebBrowser and the
// proxies of its document.
class Page : public std::enable_shared_from_this<Page> {
public:
    Page(BrowserHost& host, std::shared_ptr<Chromium> browser, std::string targetId, std::string sessionId);
    ~Page();

    // Runs operations of the page's handle table in one round trip; returns their results.
    // Throws RuntimeError. token: the document the handles belong to ("" for any).
    json run(const std::string& token, json ops, std::string* tokenOut = nullptr);
    // A write: queued while a batch is open, else run at once. One meant for a document the
    // page has left is dropped from a batch (it would fail whoever sends the batch).
    void write(const std::string& token, json op);
    void beginBatch() { ++batchDepth_; }
    void endBatch();
    void flushBatch();
    // Ends a batch by sending what it collected without waiting for the page: the caller goes
    // on at once, a later round trip finds the writes done (one session keeps its order), and
    // a failing write is dropped. For display writes that nothing waits on.
    void endBatchNoWait();

    // A protocol call on this page's session.
    json call(const std::string& method, json params = json::object());
    bool alive() const;

    void navigate(const std::string& url);
    HTMLDocument document();
    void setViewport(int width, int height);
    // The command that sets the viewport, to send along with others.
    std::pair<std::string, json> viewportCommand(int width, int height);

    // Event sinks bound in the current document.
    int addSink(std::shared_ptr<EventSink> sink);
    // Lets go of every sink (the control goes away: the sinks may hold its window).
    void dropSinks() { sinks_.clear(); }
    size_t sinkCount() const { return sinks_.size(); }

    // Routed by the host, on the pumping thread.
    void onEvent(const std::string& method, const json& params);
    void onBrowserDied();

    // The address the page shows, or the one it was sent to and has not reached yet: where a
    // new browser opens it again.
    const std::string& address() const { return navigatingTo_.empty() ? url : navigatingTo_; }

    // Maps between the made-up origin and the "res://" base the page was opened with.
    std::string toHostUrl(const std::string& url) const;

    BrowserHost& host;
    std::shared_ptr<Chromium> browser;
    // Both change when the page is opened again in a new browser.
    std::string targetId;
    std::string sessionId;
    WebBrowser* control = nullptr;
    bool busy = false;
    bool dead = false;
    bool orphan = false;  // the machine and its host are gone
    int width = 0, height = 0;
    std::string url;
    std::string resBase;  // "res://...exe/" of the last navigation to the resources
    // The windows of the page's createPopup, by their number.
    std::map<int, std::shared_ptr<Page>> popups;
    // Its windows, when the control is placed in one.
    win::HWND parentHwnd = 0, controlHwnd = 0, serverHwnd = 0;
    bool fillParent = false;
    std::vector<int32_t> procs;  // window procedures to release
    std::map<int, win::HWND> popupHwnds;
    void createServerWindow();
    void showPopupWindow(const WebBrowser::PopupRequest& req);
    void destroyWindows();
    // The page itself or one of its pop-ups (0).
    Page& view(int popupId);

private:
    void setBusy(bool b);
    // answered: the caller reads the result, and with it the forwarders the page let go of.
    std::string runExpression(const std::string& token, const json& ops, bool answered = true) const;
    // The document is left (a new one, a dead browser): writes queued for it go.
    void leaveDocument();
    int batchDepth_ = 0;
    std::string batchToken_;
    json batch_ = json::array();
    // The token of the document the page shows, once a call has told it; empty while a new
    // document has not answered yet.
    std::string docToken_;
    std::map<int, std::shared_ptr<EventSink>> sinks_;
    int nextSink_ = 1;
    bool outsideWork_ = false;
    std::deque<std::string> pendingOpens_;
    std::string navigatingTo_;
};

} // namespace web
