#pragma once
// An invisible control that fetches URLs into memory in the background. Several downloads run
// at once, each under a key the caller chooses; progress, state changes and completion come
// back as events on the pumping thread. Every started download ends in exactly one
// DownloadComplete unless it is cancelled, and a failure is announced by a DownloadStateChange
// just before it (state 0 for a failed transfer, 9 for a failed start).
#include "platform/forms/Variant.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace sys { class Machine; }

class ctlDownload {
public:
    // Downloads through the current machine's network service. The machine must outlive it.
    ctlDownload();
    // Cancels its downloads; none of their events follow.
    ~ctlDownload();
    ctlDownload(const ctlDownload&) = delete;
    ctlDownload& operator=(const ctlDownload&) = delete;

    // Cancels every download running under the key; never fails.
    void CancelDownload(const std::string& key);
    // A non-empty URL becomes the stored one; then fetches the stored URL afresh (no cached
    // copy) under the key. A start that fails raises DownloadStateChange(9, ...) and then
    // DownloadComplete("", False, key) before it returns.
    void BeginDownload(const std::string& url, std::string key);

    // The total size given by the latest progress notification of any download (0 before).
    int32_t MaxBytes() const { return maxBytes_; }
    // The stored URL.
    forms::Variant URL() const { return forms::Variant(url_); }

    // Events, raised synchronously on the pumping thread; a handler may start or cancel
    // downloads, pump, or destroy the control.
    std::function<void(int32_t bytesRead, int32_t bytesMax)> DownloadProgress;
    // Data: the downloaded bytes, the receiver's to keep; empty when Success is False.
    std::function<void(std::string Data, bool Success, const std::string& Key)> DownloadComplete;
    // State: 2 connecting, 3 sending request, 4 finding resource / data begins, 6 redirecting,
    // 7 data ended, 8 cached copy, 0 failed, 9 failed to start.
    std::function<void(int32_t State, const std::string& Status, const std::string& Key)> DownloadStateChange;

private:
    void progress(uint32_t status, const std::string& text, uint64_t read, uint64_t total, const std::string& key);
    void complete(bool ok, std::string body, const std::string& text, const std::string& key);
    void raiseStateChange(int32_t state, const std::string& text, const std::string& key);

    sys::Machine& machine_;
    std::string url_;
    int32_t maxBytes_ = 0;
    std::multimap<std::string, uint64_t> reads_;  // key -> transfer
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
