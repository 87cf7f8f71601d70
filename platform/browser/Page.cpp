#include "Page.h"
#include "BrowserHost.h"

#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace web {

namespace {
// Raises a control's event through a copy of its handler: the handler may clear or replace
// itself (its window unloads and lets the control go) while it runs.
template <class Handler, class... Args>
void raiseEvent(const Handler& handler, Args&&... args) {
    if (Handler copy = handler) copy(std::forward<Args>(args)...);
}
} // namespace

Page::Page(BrowserHost& h, std::shared_ptr<Chromium> b, std::string target, std::string session)
    : host(h), browser(std::move(b)), targetId(std::move(target)), sessionId(std::move(session)) {}

Page::~Page() {
    if (orphan) return;
    setBusy(false);
    for (auto& [id, p] : popups) host.closePage(*p);
}

Page& Page::view(int popupId) {
    if (popupId == 0) return *this;
    auto it = popups.find(popupId);
    if (it == popups.end()) throw forms::RuntimeError(kErrObjectRequired, "No such pop-up window", "WebBrowser");
    return *it->second;
}

bool Page::alive() const { return !dead && browser && browser->alive(); }

json Page::call(const std::string& method, json params) {
    if (dead || orphan) throw forms::RuntimeError(kErrBrowserGone, "The page browser has ended", "WebBrowser");
    return host.call(browser, method, std::move(params), sessionId);
}

json Page::run(const std::string& token, json ops, std::string* tokenOut) {
    flushBatch();
    json r = call("Runtime.evaluate",
                  {{"expression", runExpression(token, ops)}, {"returnByValue", true}, {"userGesture", true}});
    if (r.contains("exceptionDetails")) {
        const json& d = r["exceptionDetails"];
        // The browser keeps a thrown object for the caller, once as the result and once as the
        // exception, until told otherwise.
        for (const json& o : {r.value("result", json()), d.value("exception", json())})
            if (o.is_object() && o.contains("objectId") && browser)
                browser->send("Runtime.releaseObject", {{"objectId", o["objectId"]}}, sessionId);
        std::string text = d.value("text", "error");
        if (d.contains("exception")) text = d["exception"].value("description", text);
        if (auto nl = text.find('\n'); nl != std::string::npos) text.resize(nl);
        long number = text.find("has been replaced") != std::string::npos ||
                              text.find("no such element") != std::string::npos
                          ? kErrObjectRequired
                          : kErrScript;
        throw forms::RuntimeError(number, text, "WebBrowser");
    }
    const json& v = r["result"]["value"];
    if (!v.is_array() || v.size() != 3 || !v[1].is_array())
        throw forms::RuntimeError(kErrScript, "The page gave no answer", "WebBrowser");
    docToken_ = v[0].is_string() ? v[0].get<std::string>() : "";
    // Forwarders of elements that have left the page, or were bound anew, are called no more.
    if (v[2].is_array())
        for (const json& id : v[2])
            if (id.is_number_integer()) sinks_.erase(id.get<int>());
    if (tokenOut) *tokenOut = docToken_;
    return v[1];
}

std::string Page::runExpression(const std::string& token, const json& ops, bool answered) const {
    json tok = token.empty() ? json(nullptr) : json(token);
    return "__pn.run(" + tok.dump() + "," + ops.dump(-1, ' ', false, json::error_handler_t::replace) +
           (answered ? ")" : ",true)");
}

void Page::endBatchNoWait() {
    if (batchDepth_ == 0 || --batchDepth_ > 0 || batch_.empty()) return;
    json ops = std::move(batch_);
    batch_ = json::array();
    if (dead || orphan || !browser) return;
    // The statement's value would be kept in the browser as a remote object for each batch.
    const std::string expr = "try { " + runExpression(batchToken_, ops, false) + "; } catch (e) {} void 0";
    browser->send("Runtime.evaluate", {{"expression", expr}, {"userGesture", true}}, sessionId);
}

void Page::write(const std::string& token, json op) {
    if (batchDepth_ == 0) {
        run(token, json::array({std::move(op)}));
        return;
    }
    // Every token came from a call's answer: one that is not the last document's is stale.
    if (!token.empty() && token != docToken_) return;
    if (!batch_.empty() && token != batchToken_) flushBatch();
    batchToken_ = token;
    batch_.push_back(std::move(op));
}

void Page::flushBatch() {
    if (batch_.empty()) return;
    json ops = std::move(batch_);
    batch_ = json::array();
    int depth = batchDepth_;
    batchDepth_ = 0;  // run() flushes first: keep it from recursing
    try {
        run(batchToken_, std::move(ops));
    } catch (...) {
        batchDepth_ = depth;
        throw;
    }
    batchDepth_ = depth;
}

void Page::endBatch() {
    if (batchDepth_ > 0 && --batchDepth_ == 0) flushBatch();
}

void Page::setBusy(bool b) {
    busy = b;
    if (orphan) return;
    // While the browser works on a navigation, a virtual clock must give it real time.
    if (b && !outsideWork_) {
        host.machine().beginOutsideWork();
        outsideWork_ = true;
    } else if (!b && outsideWork_) {
        host.machine().endOutsideWork();
        outsideWork_ = false;
    }
}

std::string Page::toHostUrl(const std::string& u) const {
    const std::string origin = BrowserHost::kOrigin;
    if (!resBase.empty() && u.rfind(origin, 0) == 0) return resBase + u.substr(origin.size());
    return u;
}

void Page::navigate(const std::string& address) {
    std::string target = address;
    if (address.size() > 6 && sys::iequals(std::string_view(address).substr(0, 6), "res://")) {
        // "res://C:\...\pennant.exe/TS.htm": the page name follows the last slash.
        auto slash = address.rfind('/');
        resBase = address.substr(0, slash + 1);
        target = std::string(BrowserHost::kOrigin) + address.substr(slash + 1);
    }
    setBusy(true);
    navigatingTo_ = target;
    try {
        json r = call("Page.navigate", {{"url", target}});
        if (r.contains("errorText") && !r["errorText"].get<std::string>().empty()) {
            std::fprintf(stderr, "pennant: navigation to %s failed: %s\n", address.c_str(),
                         r["errorText"].get<std::string>().c_str());
        }
    } catch (...) {
        setBusy(false);
        throw;
    }
}

HTMLDocument Page::document() {
    std::string token;
    json r = run("", json::array({json::array({"doc"})}), &token);
    return HTMLDocument(HTMLElement(shared_from_this(), token, r[0].get<int>()));
}

void Page::setViewport(int w, int h) {
    auto [method, params] = viewportCommand(w, h);
    call(method, std::move(params));
}

std::pair<std::string, json> Page::viewportCommand(int w, int h) {
    width = std::max(1, w);
    height = std::max(1, h);
    return {"Emulation.setDeviceMetricsOverride",
            {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}}};
}

int Page::addSink(std::shared_ptr<EventSink> sink) {
    int id = nextSink_++;
    sinks_[id] = std::move(sink);
    return id;
}

void Page::leaveDocument() {
    docToken_.clear();
    batch_ = json::array();
}

void Page::onBrowserDied() {
    dead = true;
    leaveDocument();
    sinks_.clear();
    setBusy(false);
}

void Page::onEvent(const std::string& method, const json& params) {
    if (method == "Page.frameStartedLoading") {
        if (params.value("frameId", "") == targetId) setBusy(true);
    } else if (method == "Page.frameNavigated") {
        const json& frame = params["frame"];
        if (frame.contains("parentId")) return;
        // A new document: the forwarders and the queued writes of the old one go with it.
        sinks_.clear();
        leaveDocument();
        url = frame.value("url", "") + frame.value("urlFragment", "");
        // The blank document a new window starts with may come after the address it was sent to.
        if (url != "about:blank") navigatingTo_.clear();
        if (control) raiseEvent(control->NavigateComplete2, toHostUrl(url));
    } else if (method == "Page.loadEventFired") {
        setBusy(false);
        createServerWindow();
        if (control) raiseEvent(control->DocumentComplete, toHostUrl(url));
    } else if (method == "Page.frameStoppedLoading") {
        // A navigation that ended without a load event (an error page, a cancelled one).
        if (params.value("frameId", "") == targetId && busy) setBusy(false);
    } else if (method == "Runtime.bindingCalled") {
        if (params.value("name", "") != "__pennantEvent") return;
        json msg = json::parse(params.value("payload", ""), nullptr, false);
        if (!msg.is_object()) return;
        if (msg.contains("s") && msg["s"].is_number_integer()) {
            auto it = sinks_.find(msg["s"].get<int>());
            if (it == sinks_.end()) return;
            auto sink = it->second;  // the handler may rebind and drop it
            try {
                sink->Invoke();
            } catch (const std::exception& e) {
                // The event's caller is the page, which has no one to tell.
                std::fprintf(stderr, "pennant: page event %s failed: %s\n", msg.value("t", "").c_str(), e.what());
            }
        } else if (msg.value("k", "") == "popup") {
            WebBrowser::PopupRequest req{msg.value("id", 0), msg.value("op", "") == "show",
                                         msg.value("x", 0), msg.value("y", 0), msg.value("w", 0), msg.value("h", 0)};
            if (msg.contains("rel") && msg["rel"].is_object()) {
                req.x += msg["rel"].value("left", 0);
                req.y += msg["rel"].value("top", 0);
            }
            if (auto it = popups.find(req.id); it != popups.end() && req.show && req.w > 0 && req.h > 0) {
                try {
                    it->second->setViewport(req.w, req.h);
                } catch (const std::exception&) {
                }
            }
            showPopupWindow(req);
            if (control) raiseEvent(control->PopupChanged, req);
        }
    } else if (method == "Inspector.targetCrashed" || method == "#gone") {
        dead = true;
        leaveDocument();
        setBusy(false);
    } else if (method == "Page.windowOpen") {
        pendingOpens_.push_back(params.value("url", ""));
    } else if (method == "#opened") {
        // A window the page opened: createPopup's own windows stay; others are offered.
        // The new target does not carry the address yet; the page's own notice came first.
        std::string u = params.value("url", "");
        std::string id = params.value("targetId", "");
        if (!pendingOpens_.empty()) {
            u = pendingOpens_.front();
            pendingOpens_.pop_front();
        }
        if (auto mark = u.find("#pnpopup-"); mark != std::string::npos) {
            int n = std::atoi(u.c_str() + mark + 9);
            try {
                popups[n] = host.attachPage(id, false);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "pennant: a page's pop-up window cannot be shown: %s\n", e.what());
            }
            return;
        }
        bool cancel = false;
        if (control) raiseEvent(control->NewWindow2, toHostUrl(u), cancel);
        // There is nowhere to show another browser window: it is closed either way.
        if (browser && browser->alive()) browser->send("Target.closeTarget", {{"targetId", id}});
    }
}

} // namespace web
