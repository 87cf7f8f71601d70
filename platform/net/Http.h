#pragma once
// HTTP(S) downloads into memory, driven by the machine's pump on the pumping thread. Every
// transfer has a time limit (on the machine's clock) and a size cap; notifications follow the
// URL moniker binding status numbering so that download controls can pass them on as they are.
//
// Machine settings:
//   net.timeoutMs     time limit of a transfer (default 30000)
//   net.maxBytes      size cap of a body (default 8 MiB)
//   net.host.<host>   base address ("http://127.0.0.1:8080") that stands in for scheme, host and
//                     port of every URL naming <host>; how the demo and tests point the program's
//                     fixed site addresses at local servers
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sys { class Machine; }

namespace net {

// Binding status codes of progress notifications.
enum class Status : uint32_t {
    FindingResource = 1,
    Connecting = 2,
    Redirecting = 3,
    BeginDownloadData = 4,
    DownloadingData = 5,
    EndDownloadData = 6,
    UsingCachedCopy = 10,
    SendingRequest = 11,
};

struct Request {
    std::string url;
    // Ask every cache on the way for a fresh copy. We keep no cache of our own.
    bool forceUpdate = true;
    uint64_t timeLimitMs = 0;  // 0: the machine's setting
    uint64_t maxBytes = 0;     // 0: the machine's setting
};

struct Callbacks {
    // text: the engine's description (host, address, URL); total 0 when not known yet.
    std::function<void(Status status, const std::string& text, uint64_t read, uint64_t total)> progress;
    // Exactly once unless cancelled. body holds the bytes on success; text describes a failure.
    std::function<void(bool ok, std::string body, const std::string& text)> done;
};

class Http {
public:
    explicit Http(sys::Machine& machine);
    ~Http();
    Http(const Http&) = delete;
    Http& operator=(const Http&) = delete;

    // The machine's download service.
    static Http& of(sys::Machine& machine);

    // Starts a transfer; its notifications arrive from later pump rounds. Returns its id, or 0
    // with *error set when it cannot start (malformed URL, a scheme other than http/https).
    uint64_t start(const Request& request, Callbacks callbacks, std::string* error = nullptr);
    // Ends a transfer; nothing more is reported for it. False when it is not running.
    bool cancel(uint64_t id);
    size_t inFlight() const { return transfers_.size(); }

    // The URL with a net.host.<host> setting applied, or as it was.
    std::string mapUrl(const std::string& url) const;

    struct Transfer;

private:
    void step();
    std::optional<uint64_t> nextDue() const;
    void finish(Transfer& t, bool ok, const std::string& text);
    void detach(Transfer& t);
    void dispatch();

    sys::Machine& machine_;
    void* multi_ = nullptr;  // CURLM*
    int pumpId_ = 0;
    uint64_t nextId_ = 1;
    std::map<uint64_t, std::shared_ptr<Transfer>> transfers_;
};

} // namespace net
