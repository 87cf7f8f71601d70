#pragma once
#include "Chromium.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sys { class Machine; }

namespace web {

class Page;

// The program's one headless Chromium, attached to the machine as a service: it starts the
// browser on first use, serves the program's resources to it, and routes its events to the
// pages through the machine's pump.
class BrowserHost {
public:
    explicit BrowserHost(sys::Machine& machine);
    ~BrowserHost();
    static BrowserHost& of(sys::Machine& machine);

    // The made-up origin the program's resources are served under.
    static constexpr const char* kOrigin = "http://pages.invalid/";
    // Bound, in real time, of one round trip. A browser that does not answer in time is hung
    // (all pages share one renderer): it is ended, and the next page starts a new one. The
    // machine setting "browser.callTimeoutMs" changes it (a machine loaded far beyond its
    // cores answers slowly without being hung).
    int callTimeoutMs = 15000;

    sys::Machine& machine() { return machine_; }
    // Starts the browser when it is not running (again, after it died). Throws RuntimeError.
    Chromium& browser();
    // Starts the browser's process without waiting for it, so that it comes up while the
    // program does other things; the first use waits for it. Nothing when it runs already.
    void launch();
    std::shared_ptr<Chromium> browserIfRunning();
    // The browser's process and its children (renderers and helpers).
    std::vector<int> processTree();
    // How often the browser has ended on its own.
    int deaths() const { return deaths_; }
    // How often a new browser was started for the pages a dead one left. A browser that keeps
    // dying is not started for ever: no more than kMaxRestarts within kRestartWindowMs of the
    // machine's clock. One that dies now and then over a long day comes back each time.
    int restarts() const { return restarts_; }
    static constexpr int kMaxRestarts = 5;
    static constexpr uint64_t kRestartWindowMs = 5 * 60 * 1000;

    // A round trip for a page; throws forms::RuntimeError on failure.
    json call(const std::shared_ptr<Chromium>& browser, const std::string& method, json params,
              const std::string& sessionId);

    std::shared_ptr<Page> openPage(int width, int height);
    // Takes a target the browser already has (a window a page opened).
    std::shared_ptr<Page> attachPage(const std::string& targetId, bool ours);
    void closePage(Page& page);

    // Dispatches the queued browser events (one pump step).
    void pump();

    // Windows that show a page (the inner window of a control, a pop-up window).
    struct View {
        std::weak_ptr<Page> page;
        int popupId = 0;
    };
    void addView(int32_t hwnd, std::shared_ptr<Page> page, int popupId) { views_[hwnd] = {page, popupId}; }
    void removeView(int32_t hwnd) { views_.erase(hwnd); }
    // The page a window shows, with its pop-up number; null when it shows none.
    std::shared_ptr<Page> viewOf(int32_t hwnd, int* popupId = nullptr);
    // Controls that follow their parent's client area.
    void addFollower(std::shared_ptr<Page> page) { followers_.push_back(page); }

private:
    bool urgent(Chromium& browser, const json& event);
    void serveResource(Chromium& browser, const json& params);
    void dispatch(const json& event);
    void browserDied();
    // Several commands under way at once, answered in order: their round trips overlap.
    // Throws for the first that failed, once every answer is in.
    using Command = std::pair<std::string, json>;
    void callAll(const std::shared_ptr<Chromium>& browser, std::vector<Command> commands, const std::string& sessionId);
    // Makes the page ours: attached, its events on, the compatibility script, its resources
    // served by us; `more` go along in the same batch.
    void prepare(Page& page, bool ours, std::vector<Command> more = {});
    [[noreturn]] void failed(const std::shared_ptr<Chromium>& browser, const CdpError& error, const std::string& method);
    void reopen(Page& page);
    std::shared_ptr<Page> makePage(const std::string& targetId);
    // Opens a window target in the running browser; its target id.
    std::string newWindow(int width, int height);
    void reviveDeadPages();

    sys::Machine& machine_;
    int pumpId_ = 0;
    std::shared_ptr<Chromium> browser_;
    std::shared_ptr<Chromium> launched_;  // started by launch(), not yet waited for
    std::map<std::string, std::weak_ptr<Page>> sessions_;   // session id -> page
    std::map<std::string, std::weak_ptr<Page>> targets_;    // target id -> page
    int deaths_ = 0;
    int restarts_ = 0;
    std::vector<uint64_t> recentRestarts_;  // machine ticks of the restarts within the window
    std::vector<std::weak_ptr<Page>> toRevive_;  // shown by a browser that died
    std::map<int32_t, View> views_;
    std::vector<std::weak_ptr<Page>> allPages_;  // every page made, to orphan at the end
    std::vector<std::weak_ptr<Page>> followers_;
    void followParents();
};

// The compatibility script injected into every document.
extern const char* const kCompatScript;

// Encodes bytes as base64 (protocol bodies).
std::string base64(std::string_view bytes);
std::string unbase64(std::string_view text);

} // namespace web
