#pragma once
#include "Clock.h"

#include <any>
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

namespace sys {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

struct MachineOptions {
    // Empty: a fresh temporary folder, removed with the machine.
    std::filesystem::path root;
    bool virtualClock = true;
    int64_t startLocalMs = localMsFrom(2026, 12, 10, 9, 0, 0);
    int screenWidth = 1280;
    int screenHeight = 800;
    int taskbarHeight = 30;  // the work area leaves it out, at the bottom
    int codePage = 936;
    std::string userName = "user";
};

// One simulated Windows computer: drive C: under a root folder, its clock,
// configuration and environment, and the services the platform layers attach.
class Machine {
public:
    explicit Machine(MachineOptions options = {});
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The machine the free Win32-style functions act on.
    static Machine& current();
    static Machine* currentOrNull();
    static void setCurrent(Machine* m);

    const std::filesystem::path& root() const { return root_; }
    Clock& clock() { return *clock_; }
    int codePage() const { return options_.codePage; }

    // Screen, in pixels.
    int screenWidth() const { return options_.screenWidth; }
    int screenHeight() const { return options_.screenHeight; }
    Rect workArea() const { return workArea_; }
    void setScreen(int width, int height, Rect workArea);
    static constexpr int twipsPerPixel = 15;

    // Windows paths ("C:\Program Files\Pennant\Pennant.xml") to host paths under the root.
    // Each existing component is found without regard to case; missing ones keep their spelling.
    std::filesystem::path hostPath(const std::string& winPath) const;
    // The Windows path of a host path under the root ("" when it lies outside).
    std::string winPath(const std::filesystem::path& host) const;
    // Full Windows path of a possibly relative one, with "." and ".." folded.
    std::string fullWinPath(const std::string& winPath) const;
    std::string currentDirectory() const { return cwd_; }
    void setCurrentDirectory(const std::string& winPath);
    bool fileExists(const std::string& winPath) const;
    bool dirExists(const std::string& winPath) const;
    // Names in a folder matching a pattern with * and ?, sorted without regard to case.
    std::vector<std::string> listDir(const std::string& winDir, const std::string& pattern = "*",
                                     bool filesOnly = false) const;
    // Creates every missing folder of a Windows path.
    void makeDirs(const std::string& winDir);
    // Writes a whole file atomically (temporary file, then rename); false on failure.
    bool writeFileAtomic(const std::string& winPath, const std::string& bytes);
    // removeStaleTemporaries for a Windows path.
    void removeStaleTemporaries(const std::string& winPath) const;
    std::optional<std::string> readFile(const std::string& winPath) const;

    // Environment variables (TEMP, USERPROFILE, SystemRoot, ...), names without regard to case.
    std::string env(const std::string& name) const;
    void setEnv(const std::string& name, const std::string& value);

    // Machine configuration: site base addresses, the audio output and the like.
    std::string setting(const std::string& key, const std::string& fallback = "") const;
    void setSetting(const std::string& key, const std::string& value);

    // ---- Processes --------------------------------------------------------------------
    // Simulated programs run in this host process; the calling thread carries the id of the
    // simulated process it acts for (the program's own by default, see ProcessScope).
    static constexpr uint32_t kProgramProcessId = 1000;
    static uint32_t currentProcessId();

    // ---- The pump ---------------------------------------------------------------------
    // Layers register a step run once per pump round and, optionally, the machine tick at
    // which they next have work (timers), so virtual time can jump straight to it.
    struct Pump {
        std::function<void()> step;
        std::function<std::optional<uint64_t>()> nextDue;
    };
    int addPump(Pump pump);
    void removePump(int id);
    // Thread-safe: runs fn on the pumping thread in the next round.
    void post(std::function<void()> fn);
    // One round: posted completions, then every registered step.
    void pumpOnce();
    // Where an error thrown by a posted completion or a step goes (the program's last resort);
    // without a handler it leaves the pump for whoever pumped. The handler may throw on.
    void setPumpErrorHandler(std::function<void(std::exception_ptr)> handler) { pumpErrorHandler_ = std::move(handler); }
    // Pumps while the clock moves ms on (virtual: jumping between due times).
    void runFor(uint64_t ms);
    // Pumps until pred() holds or limitMs passes; returns pred()'s last value.
    bool runUntil(const std::function<bool()>& pred, uint64_t limitMs);
    // While work outside the pump is in flight (a speech worker, the browser, a download),
    // a virtual clock moves no faster than real time, so that work gets its real time.
    void beginOutsideWork() { outsideWork_++; }
    void endOutsideWork() { outsideWork_--; }

    // ---- Services attached by the layers above ----------------------------------------
    template <class T, class... Args>
    T& service(Args&&... args) {
        // Window and process calls ask for their service many times per message: each thread
        // remembers the last one found, for as long as this machine has let go of none.
        struct Last {
            uint64_t machine = 0, generation = 0;
            T* service = nullptr;
        };
        thread_local Last last;
        if (last.machine == id_ && last.generation == servicesGeneration_.load(std::memory_order_acquire))
            return *last.service;
        std::lock_guard<std::recursive_mutex> lock(servicesMutex_);
        auto it = services_.find(typeid(T));
        if (it == services_.end()) {
            auto p = std::make_shared<T>(std::forward<Args>(args)...);
            it = services_.emplace(typeid(T), std::move(p)).first;
            serviceOrder_.push_back(typeid(T));
        }
        T* found = std::any_cast<std::shared_ptr<T>&>(it->second).get();
        last = {id_, servicesGeneration_.load(std::memory_order_acquire), found};
        return *found;
    }
    template <class T>
    T* findService() {
        std::lock_guard<std::recursive_mutex> lock(servicesMutex_);
        auto it = services_.find(typeid(T));
        return it == services_.end() ? nullptr : std::any_cast<std::shared_ptr<T>&>(it->second).get();
    }

private:
    std::optional<uint64_t> nextDue();
    void runHandled(const std::function<void()>& work);

    MachineOptions options_;
    std::filesystem::path root_;
    bool ownsRoot_ = false;
    std::unique_ptr<Clock> clock_;
    Rect workArea_;
    std::string cwd_ = "C:\\";
    std::map<std::string, std::string> env_;       // upper-case names
    std::map<std::string, std::string> settings_;
    std::mutex settingsMutex_;

    std::map<int, Pump> pumps_;
    int nextPumpId_ = 1;
    std::mutex postMutex_;
    std::vector<std::function<void()>> posted_;
    std::function<void(std::exception_ptr)> pumpErrorHandler_;

    std::atomic<int> outsideWork_{0};

    const uint64_t id_;                          // unique over the process's machines
    std::atomic<uint64_t> servicesGeneration_{1};  // moves on whenever a service is let go
    std::recursive_mutex servicesMutex_;  // a service may ask for another while it is built
    std::map<std::type_index, std::any> services_;
    std::vector<std::type_index> serviceOrder_;
};

// Makes a machine current for a scope (tests), restoring the previous one.
class MachineScope {
public:
    explicit MachineScope(Machine& m) : prev_(Machine::currentOrNull()) { Machine::setCurrent(&m); }
    ~MachineScope() { Machine::setCurrent(prev_); }
    MachineScope(const MachineScope&) = delete;
    MachineScope& operator=(const MachineScope&) = delete;

private:
    Machine* prev_;
};

// Runs the calling thread as a simulated process for a scope (a window procedure of another
// program, a simulated program's start-up).
class ProcessScope {
public:
    explicit ProcessScope(uint32_t pid);
    ~ProcessScope();
    ProcessScope(const ProcessScope&) = delete;
    ProcessScope& operator=(const ProcessScope&) = delete;

private:
    uint32_t prev_;
};

// ASCII case folding, as Windows compares names.
std::string upperAscii(std::string s);
std::string lowerAscii(std::string s);
bool iequals(std::string_view a, std::string_view b);
// DOS wildcard match (* and ?) without regard to case.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Removes the temporary files ("<name>.tmp-<pid>[-<more>]") that writers of `file` killed before
// their rename left; a file whose process still runs may be mid-write and is kept.
void removeStaleTemporaries(const std::filesystem::path& file);

} // namespace sys
