#include "Http.h"

#include "platform/system/Machine.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <deque>
#include <charconv>
#include <climits>
#include <mutex>

namespace net {

namespace {

constexpr uint64_t kDefaultTimeLimitMs = 30000;
constexpr uint64_t kDefaultMaxBytes = 8ull << 20;
constexpr long kMaxRedirects = 5;

uint64_t numberSetting(const sys::Machine& m, const std::string& key, uint64_t fallback) {
    const std::string text = m.setting(key);
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v == 0) return fallback;
    return v;
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// One part of a parsed URL, "" when it has none.
std::string urlPart(CURLU* u, CURLUPart part) {
    char* p = nullptr;
    if (curl_url_get(u, part, &p, 0) != CURLUE_OK || !p) return "";
    std::string s(p);
    curl_free(p);
    return s;
}

struct UrlHandle {
    CURLU* u = curl_url();
    ~UrlHandle() { curl_url_cleanup(u); }
    bool parse(const std::string& url) { return u && curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK; }
};

} // namespace

struct Http::Transfer {
    struct Event {
        bool done = false;
        Status status = Status::FindingResource;
        std::string text;
        uint64_t read = 0, total = 0;
        bool ok = false;
    };

    uint64_t id = 0;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::string url;
    Callbacks callbacks;
    std::string body;
    uint64_t total = 0;
    uint64_t maxBytes = 0;
    uint64_t timeLimitMs = 0;
    uint64_t deadline = 0;  // machine tick
    long httpStatus = 0;
    std::string location;
    bool begun = false;
    std::string failure;  // why a callback of ours aborted the transfer
    std::deque<Event> events;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    void queue(Status status, std::string text, uint64_t read = 0, uint64_t totalBytes = 0) {
        events.push_back(Event{false, status, std::move(text), read, totalBytes, false});
    }
    std::string effectiveUrl() const {
        char* p = nullptr;
        if (easy && curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &p) == CURLE_OK && p) return p;
        return url;
    }
    std::string capText() const {
        return "The download exceeds the size limit of " + std::to_string(maxBytes) + " bytes";
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user) {
        auto& t = *static_cast<Transfer*>(user);
        const size_t len = size * count;
        std::string line(data, len);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.rfind("HTTP/", 0) == 0) {
            t.httpStatus = 0;
            t.location.clear();
            const auto sp = line.find(' ');
            if (sp != std::string::npos) {
                long code = 0;
                std::from_chars(line.data() + sp + 1, line.data() + line.size(), code);
                t.httpStatus = code;
            }
        } else if (line.size() > 9 && lowerAscii(line.substr(0, 9)) == "location:") {
            auto v = line.substr(9);
            v.erase(0, v.find_first_not_of(" \t"));
            t.location = v;
        } else if (line.empty()) {
            if (t.httpStatus >= 300 && t.httpStatus < 400 && !t.location.empty()) {
                t.queue(Status::Redirecting, t.location);
            } else if (t.httpStatus >= 200 && t.httpStatus < 300) {
                curl_off_t length = -1;
                curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
                t.total = length > 0 ? static_cast<uint64_t>(length) : 0;
                if (t.total > t.maxBytes) {
                    t.failure = t.capText();
                    return 0;
                }
                if (!t.begun) {
                    t.begun = true;
                    t.queue(Status::BeginDownloadData, t.effectiveUrl(), 0, t.total);
                }
            }
        }
        return len;
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* user) {
        auto& t = *static_cast<Transfer*>(user);
        const size_t len = size * count;
        if (t.body.size() + len > t.maxBytes) {
            t.failure = t.capText();
            return 0;
        }
        t.body.append(data, len);
        const uint64_t total = t.total;
        // One notification per pump round is enough for a progress bar.
        if (!t.events.empty() && !t.events.back().done && t.events.back().status == Status::DownloadingData) {
            t.events.back().read = t.body.size();
            t.events.back().total = total;
        } else {
            t.queue(Status::DownloadingData, t.effectiveUrl(), t.body.size(), total);
        }
        return len;
    }

    static curl_socket_t onOpenSocket(void* user, curlsocktype, curl_sockaddr* addr) {
        auto& t = *static_cast<Transfer*>(user);
        char text[INET6_ADDRSTRLEN] = {};
        if (addr->family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&addr->addr)->sin_addr, text, sizeof text);
        else if (addr->family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&addr->addr)->sin6_addr, text, sizeof text);
        t.queue(Status::Connecting, text);
        return socket(addr->family, addr->socktype | SOCK_CLOEXEC, addr->protocol);
    }

    static int onPrereq(void* user, char*, char*, int, int) {
        auto& t = *static_cast<Transfer*>(user);
        t.queue(Status::SendingRequest, t.effectiveUrl());
        return CURL_PREREQFUNC_OK;
    }
};

Http::Http(sys::Machine& machine) : machine_(machine) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    multi_ = curl_multi_init();
    sys::Machine::Pump pump;
    pump.step = [this] { step(); };
    pump.nextDue = [this] { return nextDue(); };
    pumpId_ = machine_.addPump(std::move(pump));
}

Http::~Http() {
    machine_.removePump(pumpId_);
    for (auto& [id, t] : transfers_) detach(*t);
    transfers_.clear();
    curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

Http& Http::of(sys::Machine& machine) { return machine.service<Http>(machine); }

std::string Http::mapUrl(const std::string& url) const {
    UrlHandle u;
    if (!u.parse(url)) return url;
    const std::string host = lowerAscii(urlPart(u.u, CURLUPART_HOST));
    if (host.empty()) return url;
    const std::string baseText = machine_.setting("net.host." + host);
    UrlHandle base;
    if (baseText.empty() || !base.parse(baseText)) return url;
    std::string prefix = urlPart(base.u, CURLUPART_PATH);
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    const std::string path = prefix + urlPart(u.u, CURLUPART_PATH);
    const std::string port = urlPart(base.u, CURLUPART_PORT);
    if (curl_url_set(u.u, CURLUPART_SCHEME, urlPart(base.u, CURLUPART_SCHEME).c_str(), 0) != CURLUE_OK ||
        curl_url_set(u.u, CURLUPART_HOST, urlPart(base.u, CURLUPART_HOST).c_str(), 0) != CURLUE_OK ||
        curl_url_set(u.u, CURLUPART_PORT, port.empty() ? nullptr : port.c_str(), 0) != CURLUE_OK ||
        curl_url_set(u.u, CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK)
        return url;
    const std::string mapped = urlPart(u.u, CURLUPART_URL);
    return mapped.empty() ? url : mapped;
}

uint64_t Http::start(const Request& request, Callbacks callbacks, std::string* error) {
    auto fail = [&](const std::string& text) -> uint64_t {
        if (error) *error = text;
        return 0;
    };
    const std::string url = mapUrl(request.url);
    UrlHandle u;
    if (!u.parse(url)) return fail("Invalid URL: " + request.url);
    const std::string scheme = urlPart(u.u, CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https") return fail("Unsupported protocol: " + request.url);
    const std::string host = urlPart(u.u, CURLUPART_HOST);
    if (host.empty()) return fail("Invalid URL: " + request.url);

    auto t = std::make_shared<Transfer>();
    t->id = nextId_++;
    t->url = urlPart(u.u, CURLUPART_URL);
    t->callbacks = std::move(callbacks);
    t->maxBytes = request.maxBytes ? request.maxBytes : numberSetting(machine_, "net.maxBytes", kDefaultMaxBytes);
    t->timeLimitMs =
        request.timeLimitMs ? request.timeLimitMs : numberSetting(machine_, "net.timeoutMs", kDefaultTimeLimitMs);
    t->deadline = machine_.clock().tickMs() + t->timeLimitMs;

    CURL* e = curl_easy_init();
    if (!e) return fail("The network layer is not available");
    t->easy = e;
    curl_easy_setopt(e, CURLOPT_URL, t->url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    // The machine clock holds the limit; the real one backs it when a virtual clock stands still.
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(std::min<uint64_t>(t->timeLimitMs, LONG_MAX)));
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t->maxBytes));
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorBuffer);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &Transfer::onOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, t.get());
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Transfer::onPrereq);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, t.get());
    if (request.forceUpdate) {
        t->headers = curl_slist_append(t->headers, "Cache-Control: no-cache");
        t->headers = curl_slist_append(t->headers, "Pragma: no-cache");
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
    }
    if (curl_multi_add_handle(static_cast<CURLM*>(multi_), e) != CURLM_OK) {
        curl_slist_free_all(t->headers);
        curl_easy_cleanup(e);
        return fail("The network layer is not available");
    }
    machine_.beginOutsideWork();
    t->queue(Status::FindingResource, host);
    transfers_.emplace(t->id, t);
    return t->id;
}

bool Http::cancel(uint64_t id) {
    auto it = transfers_.find(id);
    if (it == transfers_.end()) return false;
    auto t = it->second;
    transfers_.erase(it);
    detach(*t);
    return true;
}

void Http::detach(Transfer& t) {
    if (!t.easy) return;
    curl_multi_remove_handle(static_cast<CURLM*>(multi_), t.easy);
    curl_easy_cleanup(t.easy);
    curl_slist_free_all(t.headers);
    t.easy = nullptr;
    t.headers = nullptr;
    machine_.endOutsideWork();
}

void Http::finish(Transfer& t, bool ok, const std::string& text) {
    if (ok) t.queue(Status::EndDownloadData, t.effectiveUrl(), t.body.size(), std::max<uint64_t>(t.total, t.body.size()));
    detach(t);
    Transfer::Event done;
    done.done = true;
    done.ok = ok;
    done.text = text;
    t.events.push_back(std::move(done));
}

std::optional<uint64_t> Http::nextDue() const {
    std::optional<uint64_t> due;
    for (auto& [id, t] : transfers_)
        if (t->easy && (!due || t->deadline < *due)) due = t->deadline;
    return due;
}

void Http::step() {
    if (transfers_.empty()) return;
    auto* multi = static_cast<CURLM*>(multi_);
    int running = 0;
    curl_multi_perform(multi, &running);

    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        auto found = std::find_if(transfers_.begin(), transfers_.end(),
                                  [&](auto& kv) { return kv.second->easy == msg->easy_handle; });
        if (found == transfers_.end()) continue;
        Transfer* t = found->second.get();
        const CURLcode result = msg->data.result;
        long code = 0;
        curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
        if (result == CURLE_OK && code >= 200 && code < 300) {
            finish(*t, true, "");
        } else if (!t->failure.empty()) {
            finish(*t, false, t->failure);
        } else if (result == CURLE_FILESIZE_EXCEEDED) {
            finish(*t, false, t->capText());
        } else if (result == CURLE_OK) {
            finish(*t, false, "The server answered with status " + std::to_string(code));
        } else {
            finish(*t, false, t->errorBuffer[0] ? std::string(t->errorBuffer) : curl_easy_strerror(result));
        }
    }

    const uint64_t now = machine_.clock().tickMs();
    for (auto& [id, t] : transfers_)
        if (t->easy && now >= t->deadline)
            finish(*t, false, "The operation timed out after " + std::to_string(t->timeLimitMs) + " ms");

    dispatch();
}

void Http::dispatch() {
    std::vector<uint64_t> ids;
    for (auto& [id, t] : transfers_)
        if (!t->events.empty()) ids.push_back(id);
    for (uint64_t id : ids) {
        auto it = transfers_.find(id);
        if (it == transfers_.end()) continue;
        auto t = it->second;  // a handler may cancel it, start others or pump
        // One at a time, so a handler that pumps sees the rest in order.
        while (!t->events.empty() && transfers_.count(id)) {
            Transfer::Event ev = std::move(t->events.front());
            t->events.pop_front();
            if (ev.done) {
                transfers_.erase(id);
                if (t->callbacks.done) t->callbacks.done(ev.ok, ev.ok ? std::move(t->body) : std::string(), ev.text);
                break;
            }
            if (t->callbacks.progress) t->callbacks.progress(ev.status, ev.text, ev.read, ev.total);
        }
    }
}

} // namespace net
