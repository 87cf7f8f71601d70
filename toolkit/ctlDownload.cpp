#include "ctlDownload.h"

#include "platform/net/Http.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <climits>

namespace {

int32_t clamp32(uint64_t v) { return static_cast<int32_t>(std::min<uint64_t>(v, INT32_MAX)); }

} // namespace

ctlDownload::ctlDownload() : machine_(sys::Machine::current()) {}

ctlDownload::~ctlDownload() {
    *alive_ = false;
    if (auto* http = machine_.findService<net::Http>())
        for (auto& [key, id] : reads_) http->cancel(id);
}

void ctlDownload::CancelDownload(const std::string& key) {
    auto [first, last] = reads_.equal_range(key);
    auto& http = net::Http::of(machine_);
    for (auto it = first; it != last; ++it) http.cancel(it->second);
    reads_.erase(first, last);
}

void ctlDownload::BeginDownload(const std::string& url, std::string key) {
    if (!url.empty()) url_ = url;
    net::Request request;
    request.url = url_;
    request.forceUpdate = true;

    // The id is known only after start returns; the callbacks find their read through it.
    auto id = std::make_shared<uint64_t>(0);
    std::weak_ptr<bool> alive = alive_;
    net::Callbacks cb;
    cb.progress = [this, alive, key](net::Status s, const std::string& text, uint64_t read, uint64_t total) {
        if (alive.lock() && *alive.lock()) progress(static_cast<uint32_t>(s), text, read, total, key);
    };
    cb.done = [this, alive, key, id](bool ok, std::string body, const std::string& text) {
        auto a = alive.lock();
        if (!a || !*a) return;
        auto [first, last] = reads_.equal_range(key);
        for (auto it = first; it != last; ++it)
            if (it->second == *id) {
                reads_.erase(it);
                break;
            }
        complete(ok, std::move(body), text, key);
    };

    std::string error;
    *id = net::Http::of(machine_).start(request, std::move(cb), &error);
    if (*id == 0) {
        auto a = alive_;
        raiseStateChange(9, error, key);
        if (!*a) return;
        auto fn = DownloadComplete;
        if (fn) fn(std::string(), false, key);
        return;
    }
    reads_.emplace(key, *id);
}

void ctlDownload::progress(uint32_t status, const std::string& text, uint64_t read, uint64_t total,
                           const std::string& key) {
    // A handler that fails must not stop the transfer's later notifications.
    try {
        maxBytes_ = clamp32(total);
        int32_t state = -1;
        switch (static_cast<net::Status>(status)) {
        case net::Status::FindingResource: state = 4; break;
        case net::Status::Connecting: state = 2; break;
        case net::Status::Redirecting: state = 6; break;
        case net::Status::BeginDownloadData: state = 4; break;
        case net::Status::EndDownloadData: state = 7; break;
        case net::Status::UsingCachedCopy: state = 8; break;
        case net::Status::SendingRequest: state = 3; break;
        case net::Status::DownloadingData: {
            auto fn = DownloadProgress;
            if (fn) fn(clamp32(read), clamp32(total));
            return;
        }
        }
        if (state >= 0) raiseStateChange(state, text, key);
    } catch (...) {
    }
}

void ctlDownload::complete(bool ok, std::string body, const std::string& text, const std::string& key) {
    auto a = alive_;  // a handler may destroy the control
    if (ok) {
        const int32_t total = clamp32(body.size());
        if (auto fn = DownloadProgress) fn(total, total);
        if (!*a) return;
        if (auto fn = DownloadComplete) fn(std::move(body), true, key);
    } else {
        raiseStateChange(0, text, key);
        if (!*a) return;
        if (auto fn = DownloadComplete) fn(std::string(), false, key);
    }
}

void ctlDownload::raiseStateChange(int32_t state, const std::string& text, const std::string& key) {
    if (auto fn = DownloadStateChange) fn(state, text, key);
}
