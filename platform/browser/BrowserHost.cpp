#include "BrowserHost.h"
#include "Page.h"

#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"
#include "platform/system/Resources.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <set>

namespace web {

namespace {
const char* kB64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string percentDecode(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string contentType(const std::string& name) {
    auto dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : sys::upperAscii(name.substr(dot + 1));
    if (ext == "HTM" || ext == "HTML") return "text/html; charset=utf-8";
    if (ext == "JS") return "application/javascript; charset=utf-8";
    if (ext == "CSS") return "text/css; charset=utf-8";
    if (ext == "PNG" || ext == "MPI") return "image/png";
    if (ext == "GIF") return "image/gif";
    if (ext == "JPG" || ext == "JPEG") return "image/jpeg";
    if (ext == "ICO") return "image/x-icon";
    if (ext == "BMP") return "image/bmp";
    return "application/octet-stream";
}

[[noreturn]] void fail(const CdpError& e, const std::string& method) {
    switch (e.kind) {
    case CdpError::Dead:
        throw forms::RuntimeError(kErrBrowserGone, "The page browser has ended (" + e.message + ")", "WebBrowser");
    case CdpError::Timeout:
        throw forms::RuntimeError(kErrBrowserTimeout, "The page browser did not answer " + method, "WebBrowser");
    default:
        throw forms::RuntimeError(kErrScript, e.message, "WebBrowser");
    }
}
} // namespace

std::string base64(std::string_view in) {
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += kB64[(v >> 6) & 63];
        out += kB64[v & 63];
    }
    if (i < in.size()) {
        uint32_t v = uint8_t(in[i]) << 16;
        if (i + 1 < in.size()) v |= uint8_t(in[i + 1]) << 8;
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += i + 1 < in.size() ? kB64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string unbase64(std::string_view in) {
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    for (char c : in) {
        const char* p = c ? std::strchr(kB64, c) : nullptr;
        if (!p) continue;  // padding, line breaks
        acc = (acc << 6) | uint32_t(p - kB64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return out;
}

BrowserHost::BrowserHost(sys::Machine& machine) : machine_(machine) {
    if (const int ms = std::atoi(machine_.setting("browser.callTimeoutMs").c_str()); ms > 0) callTimeoutMs = ms;
    pumpId_ = machine_.addPump({[this] { pump(); }, nullptr});
}

BrowserHost::~BrowserHost() {
    machine_.removePump(pumpId_);
    for (auto& weak : allPages_)
        if (auto p = weak.lock()) {
            p->onBrowserDied();
            p->orphan = true;
        }
    browser_.reset();
}

BrowserHost& BrowserHost::of(sys::Machine& machine) { return machine.service<BrowserHost>(machine); }

std::shared_ptr<Chromium> BrowserHost::browserIfRunning() {
    return browser_ && browser_->alive() ? browser_ : nullptr;
}

void BrowserHost::launch() {
    if ((browser_ && browser_->alive()) || (launched_ && launched_->alive())) return;
    try {
        launched_ = std::make_shared<Chromium>(Chromium::Options{});
    } catch (const std::exception&) {
        launched_.reset();  // the first use tries again and reports it
        return;
    }
    Chromium* raw = launched_.get();
    launched_->setUrgentHandler([this, raw](const json& ev) { return urgent(*raw, ev); });
}

Chromium& BrowserHost::browser() {
    if (browser_ && browser_->alive()) return *browser_;
    if (browser_) browserDied();
    std::shared_ptr<Chromium> b = std::move(launched_);
    if (!b || !b->alive()) {
        try {
            b = std::make_shared<Chromium>(Chromium::Options{});
        } catch (const std::exception& e) {
            throw forms::RuntimeError(kErrBrowserGone, std::string("The page browser cannot start: ") + e.what(),
                                      "WebBrowser");
        }
        Chromium* raw = b.get();
        b->setUrgentHandler([this, raw](const json& ev) { return urgent(*raw, ev); });
    }
    // The first answer says the browser is up; start-up takes real time.
    machine_.beginOutsideWork();
    auto r = b->call("Target.setDiscoverTargets", {{"discover", true}}, "", std::max(30000, callTimeoutMs));
    machine_.endOutsideWork();
    if (auto* e = std::get_if<CdpError>(&r)) fail(*e, "start-up");
    // The window the browser opens by itself and its preloaded address-bar pop-ups are not
    // ours; they would keep a renderer of their own.
    if (auto t = b->call("Target.getTargets"); std::holds_alternative<json>(t)) {
        for (auto& info : std::get<json>(t).value("targetInfos", json::array())) {
            std::string type = info.value("type", "");
            if (type == "page" || type == "browser_ui")
                b->send("Target.closeTarget", {{"targetId", info.value("targetId", "")}});
        }
    }
    browser_ = std::move(b);
    return *browser_;
}

json BrowserHost::call(const std::shared_ptr<Chromium>& b, const std::string& method, json params,
                       const std::string& sessionId) {
    if (!b || !b->alive()) fail(CdpError{CdpError::Dead, "not running"}, method);
    auto r = b->call(method, std::move(params), sessionId, callTimeoutMs);
    if (auto* e = std::get_if<CdpError>(&r)) failed(b, *e, method);
    return std::move(std::get<json>(r));
}

void BrowserHost::callAll(const std::shared_ptr<Chromium>& b, std::vector<Command> commands,
                          const std::string& sessionId) {
    if (commands.empty()) return;
    if (!b || !b->alive()) fail(CdpError{CdpError::Dead, "not running"}, commands.front().first);
    std::vector<int> ids;
    ids.reserve(commands.size());
    for (auto& [method, params] : commands) ids.push_back(b->ask(method, std::move(params), sessionId));
    std::optional<std::pair<CdpError, std::string>> first;
    for (size_t i = 0; i < ids.size(); ++i) {
        auto r = b->answer(ids[i], commands[i].first, callTimeoutMs);
        auto* e = std::get_if<CdpError>(&r);
        if (!e) continue;
        if (!first) first.emplace(*e, commands[i].first);
        if (e->kind == CdpError::Timeout) b->kill();  // the rest then end at once
    }
    if (first) failed(b, first->first, first->second);
}

void BrowserHost::failed(const std::shared_ptr<Chromium>& b, const CdpError& e, const std::string& method) {
    if (e.kind == CdpError::Timeout) {
        std::fprintf(stderr, "pennant: the page browser did not answer %s in %d ms; ending it\n", method.c_str(),
                     callTimeoutMs);
        b->kill();
    }
    if (e.kind != CdpError::Protocol && b == browser_) browserDied();
    fail(e, method);
}

void BrowserHost::browserDied() {
    if (!browser_) return;
    ++deaths_;
    std::fprintf(stderr, "pennant: the page browser (process %d) has ended; its pages are closed\n",
                 static_cast<int>(browser_->pid()));
    auto dying = std::move(browser_);
    for (auto& [id, weak] : sessions_)
        if (auto p = weak.lock()) {
            p->onBrowserDied();
            // Pages a window shows come back in the next browser; pop-ups come back with them.
            if (p->control && !p->orphan && !p->address().empty() && p->address() != "about:blank")
                toRevive_.push_back(p);
        }
    sessions_.clear();
    targets_.clear();
}

std::shared_ptr<Page> BrowserHost::openPage(int width, int height) {
    browser();
    auto page = makePage(newWindow(width, height));
    prepare(*page, true, {page->viewportCommand(width, height)});
    return page;
}

std::string BrowserHost::newWindow(int width, int height) {
    // A window of its own, not a tab: a background tab does not render.
    json created = call(browser_, "Target.createTarget",
                        {{"url", "about:blank"}, {"newWindow", true}, {"background", false},
                         {"width", std::max(1, width)}, {"height", std::max(1, height)}}, "");
    return created.value("targetId", "");
}

std::shared_ptr<Page> BrowserHost::makePage(const std::string& targetId) {
    auto page = std::make_shared<Page>(*this, browser_, targetId, "");
    std::erase_if(allPages_, [](const std::weak_ptr<Page>& w) { return w.expired(); });
    allPages_.push_back(page);
    return page;
}

std::shared_ptr<Page> BrowserHost::attachPage(const std::string& targetId, bool ours) {
    auto page = makePage(targetId);
    prepare(*page, ours);
    return page;
}

void BrowserHost::prepare(Page& page, bool ours, std::vector<Command> more) {
    json attached = call(page.browser, "Target.attachToTarget", {{"targetId", page.targetId}, {"flatten", true}}, "");
    page.sessionId = attached.value("sessionId", "");
    auto shared = page.shared_from_this();
    sessions_[page.sessionId] = shared;
    targets_[page.targetId] = shared;
    std::vector<Command> commands = {{"Page.enable", json::object()}};
    if (ours) {
        commands.push_back({"Runtime.enable", json::object()});
        commands.push_back({"Runtime.addBinding", {{"name", "__pennantEvent"}}});
        commands.push_back({"Page.addScriptToEvaluateOnNewDocument", {{"source", kCompatScript}, {"runImmediately", true}}});
        commands.push_back({"Fetch.enable", {{"patterns", json::array({{{"urlPattern", std::string(kOrigin) + "*"}}})}}});
    }
    for (auto& c : more) commands.push_back(std::move(c));
    callAll(page.browser, std::move(commands), page.sessionId);
}

void BrowserHost::reopen(Page& page) {
    page.browser = browser_;
    page.targetId = newWindow(page.width, page.height);
    page.popups.clear();  // the page makes its pop-ups again
    page.dead = false;
    prepare(page, true, {page.viewportCommand(page.width, page.height)});
    // The address is already the one the browser knows (the resources' made-up origin).
    page.navigate(page.address());
}

void BrowserHost::reviveDeadPages() {
    std::vector<std::shared_ptr<Page>> pages;
    for (auto& weak : toRevive_)
        if (auto p = weak.lock(); p && !p->alive() && !p->orphan && p->control &&
                                  std::find(pages.begin(), pages.end(), p) == pages.end())
            pages.push_back(p);
    toRevive_.clear();
    if (pages.empty()) return;
    const uint64_t now = machine_.clock().tickMs();
    std::erase_if(recentRestarts_, [now](uint64_t at) { return now - at >= kRestartWindowMs; });
    if (recentRestarts_.size() >= static_cast<size_t>(kMaxRestarts)) {
        std::fprintf(stderr, "pennant: the page browser has ended %d times, %d of them in a short while; its pages stay empty\n",
                     deaths_, kMaxRestarts);
        return;
    }
    recentRestarts_.push_back(now);
    ++restarts_;
    try {
        browser();
        for (auto& p : pages) reopen(*p);
        std::fprintf(stderr, "pennant: the page browser was started again; %zu page(s) reload\n", pages.size());
    } catch (const std::exception& e) {
        // Pages not reopened stay dead; a browser that dies again brings the rest back later.
        std::fprintf(stderr, "pennant: the page browser cannot be started again: %s\n", e.what());
        for (auto& p : pages)
            if (!p->alive()) toRevive_.push_back(p);
    }
}

void BrowserHost::closePage(Page& page) {
    sessions_.erase(page.sessionId);
    targets_.erase(page.targetId);
    if (page.browser && page.browser->alive()) page.browser->send("Target.closeTarget", {{"targetId", page.targetId}});
}

bool BrowserHost::urgent(Chromium& b, const json& ev) {
    const std::string method = ev.value("method", "");
    const json& params = ev.contains("params") ? ev["params"] : json::object();
    const std::string session = ev.value("sessionId", "");
    if (method == "Fetch.requestPaused") {
        serveResource(b, ev);
        return true;
    }
    if (method == "Page.javascriptDialogOpening") {
        // No dialog of its own: an alert or confirm is answered at once.
        b.send("Page.handleJavaScriptDialog", {{"accept", true}}, session);
        return true;
    }
    (void)params;
    return false;
}

void BrowserHost::serveResource(Chromium& b, const json& ev) {
    const json& params = ev["params"];
    const std::string session = ev.value("sessionId", "");
    const std::string requestId = params.value("requestId", "");
    std::string url = params.contains("request") ? params["request"].value("url", "") : "";
    std::string path = url.rfind(kOrigin, 0) == 0 ? url.substr(std::strlen(kOrigin)) : "";
    if (auto q = path.find_first_of("?#"); q != std::string::npos) path.resize(q);
    path = percentDecode(path);
    // Resources are named by their file names alone.
    std::string name = path.substr(path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1);
    std::optional<std::string_view> bytes;
    if (!name.empty()) bytes = sys::findResource(sys::kPageResourceType, name);
    if (!bytes) {
        b.send("Fetch.fulfillRequest",
               {{"requestId", requestId}, {"responseCode", 404},
                {"responseHeaders", json::array({{{"name", "Content-Type"}, {"value", "text/plain"}}})},
                {"body", ""}}, session);
        return;
    }
    b.send("Fetch.fulfillRequest",
           {{"requestId", requestId}, {"responseCode", 200},
            {"responseHeaders", json::array({{{"name", "Content-Type"}, {"value", contentType(name)}},
                                             {{"name", "Cache-Control"}, {"value", "no-store"}}})},
            {"body", base64(*bytes)}}, session);
}

std::shared_ptr<Page> BrowserHost::viewOf(int32_t hwnd, int* popupId) {
    auto it = views_.find(hwnd);
    if (it == views_.end()) return nullptr;
    if (popupId) *popupId = it->second.popupId;
    return it->second.page.lock();
}

void BrowserHost::pump() {
    followParents();
    if (browser_ && !browser_->alive()) browserDied();
    if (!toRevive_.empty()) reviveDeadPages();
    if (!browser_) return;
    // One event at a time: a handler may pump, and the next events then run inside it.
    auto b = browser_;
    int budget = 64;
    while (budget-- > 0) {
        auto ev = b->popEvent();
        if (!ev) break;
        dispatch(*ev);
        if (browser_ != b) break;
    }
}

void BrowserHost::dispatch(const json& ev) {
    const std::string method = ev.value("method", "");
    const json params = ev.contains("params") ? ev["params"] : json::object();
    const std::string session = ev.value("sessionId", "");
    if (std::getenv("PENNANT_CDP_TRACE")) std::fprintf(stderr, "cdp> %.300s\n", ev.dump().c_str());
    if (session.empty()) {
        if (method == "Target.targetCreated" || method == "Target.targetInfoChanged") {
            // A window opened by one of our pages: the page decides about it.
            const json& info = params.contains("targetInfo") ? params["targetInfo"] : json::object();
            std::string opener = info.value("openerId", "");
            if (method == "Target.targetCreated" && !opener.empty()) {
                auto it = targets_.find(opener);
                if (auto p = it != targets_.end() ? it->second.lock() : nullptr)
                    p->onEvent("#opened", info);
                else if (browser_)
                    browser_->send("Target.closeTarget", {{"targetId", info.value("targetId", "")}});
            }
        } else if (method == "Target.targetDestroyed" || method == "Target.targetCrashed") {
            auto it = targets_.find(params.value("targetId", ""));
            if (it != targets_.end())
                if (auto p = it->second.lock()) p->onEvent("#gone", params);
        }
        return;
    }
    auto it = sessions_.find(session);
    if (it == sessions_.end()) return;
    auto page = it->second.lock();
    if (!page) {
        sessions_.erase(it);
        return;
    }
    page->onEvent(method, params);
}

std::vector<int> BrowserHost::processTree() {
    std::vector<int> result;
    if (!browser_) return result;
    std::map<int, int> parent;
    if (DIR* d = opendir("/proc")) {
        while (auto* e = readdir(d)) {
            int pid = std::atoi(e->d_name);
            if (pid <= 0) continue;
            const auto fields = hostProcessStat(pid);
            if (fields.size() > 1) parent[pid] = std::atoi(fields[1].c_str());
        }
        closedir(d);
    }
    std::set<int> tree{browser_->pid()};
    bool grew = true;
    while (grew) {
        grew = false;
        for (auto& [pid, pp] : parent)
            if (tree.count(pp) && !tree.count(pid)) {
                tree.insert(pid);
                grew = true;
            }
    }
    return {tree.begin(), tree.end()};
}

} // namespace web
