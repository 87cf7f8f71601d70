#pragma once
#include <nlohmann/json.hpp>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <variant>
#include <vector>

namespace web {

// The fields of a host process's status line after its command name (state, parent, ...);
// empty when the process is gone.
std::vector<std::string> hostProcessStat(int pid);

using json = nlohmann::json;

// Why a protocol call failed: the browser went away, it did not answer in time, or it
// answered with an error.
struct CdpError {
    enum Kind { Dead, Timeout, Protocol } kind;
    std::string message;
};

// One headless Chromium driven over the DevTools protocol on a pipe (fd 3 in, fd 4 out,
// NUL-delimited JSON). A reader thread splits the stream: answers wake their caller,
// events go to a queue that the owner drains, and "urgent" events (those the browser
// waits on, such as paused requests) are handled on the reader thread at once.
class Chromium {
public:
    struct Options {
        // The headless shell: the same engine without the desktop browser around it, which
        // starts in half the time and needs some 160 MB less for ten page windows.
        std::string executable = "/usr/lib/chromium/chromium-headless-shell";
        std::vector<std::string> extraFlags;
    };
    // Starts the browser; throws std::runtime_error when it cannot be started.
    explicit Chromium(Options options);
    ~Chromium();
    Chromium(const Chromium&) = delete;
    Chromium& operator=(const Chromium&) = delete;

    // A round trip: sends the command and waits, in real time and bounded, for its answer.
    // Events that arrive meanwhile are queued, never handled here.
    // Returns the result object or the error.
    std::variant<json, CdpError> call(const std::string& method, json params = json::object(),
                                      const std::string& sessionId = "", int timeoutMs = 15000);
    // The two halves of a call, so that several commands (to several pages) are under way at
    // once: ask sends and returns the id to collect with answer (each id exactly once).
    int ask(const std::string& method, json params = json::object(), const std::string& sessionId = "");
    std::variant<json, CdpError> answer(int id, const std::string& method, int timeoutMs = 15000);
    // Sends without waiting; the answer is dropped.
    void send(const std::string& method, json params = json::object(), const std::string& sessionId = "");

    // Events in arrival order.
    std::optional<json> popEvent();
    bool hasEvents();
    // Runs on the reader thread for every event; returns true when it has handled it.
    void setUrgentHandler(std::function<bool(const json&)> handler);

    bool alive() const { return alive_; }
    // Ends the browser at once (it stopped answering); the reader then reports it dead.
    void kill();
    pid_t pid() const { return pid_; }
    // Blocks (bounded) until an event is queued or the browser dies; false on time-out.
    bool waitForEvent(int timeoutMs);

    // Removes the profile folders under `folder` that runs which were killed left behind: those
    // whose owning process is gone (a folder without its owner note is left for a minute, as
    // its owner may be writing it). Done once per process before the first browser starts.
    static void removeStaleProfiles(const std::filesystem::path& folder);

private:
    void readerLoop();
    void handleMessage(const std::string& text);
    void markDead();
    bool writeMessage(const std::string& text);

    pid_t pid_ = -1;
    int toBrowser_ = -1;    // our end of the browser's fd 3
    int fromBrowser_ = -1;  // our end of the browser's fd 4
    std::filesystem::path profileDir_;
    std::atomic<bool> alive_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> reaped_{false};
    std::thread reader_;

    std::mutex writeMutex_;
    std::mutex mutex_;
    std::condition_variable cv_;
    int nextId_ = 1;
    std::map<int, std::optional<json>> pending_;  // id -> answer once it came
    std::deque<json> events_;
    std::function<bool(const json&)> urgent_;
};

} // namespace web
