#include "Machine.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <chrono>
#include <thread>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sys {

namespace {
std::atomic<Machine*> g_current{nullptr};
thread_local uint32_t t_processId = 0;

std::vector<std::string> splitPath(const std::string& p) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : p) {
        if (c == '\\' || c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

bool isDriveSpec(const std::string& s) {
    return s.size() == 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]));
}
} // namespace

std::string upperAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string lowerAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    auto eq = [](char a, char b) { return iequals(std::string_view(&a, 1), std::string_view(&b, 1)); };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || eq(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    // "*.*" matches names without a dot, as on the target.
    if (p + 2 == pattern.size() && pattern.substr(p) == ".*") return true;
    return p == pattern.size();
}

namespace {
std::atomic<uint64_t> g_nextMachineId{1};
}

Machine::Machine(MachineOptions options) : options_(std::move(options)), id_(g_nextMachineId.fetch_add(1)) {
    if (options_.root.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "pennant-machine-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a machine folder");
        root_ = tmpl;
        ownsRoot_ = true;
    } else {
        root_ = options_.root;
        fs::create_directories(root_);
    }
    clock_ = options_.virtualClock ? makeVirtualClock(options_.startLocalMs) : makeRealClock();
    workArea_ = {0, 0, options_.screenWidth, options_.screenHeight - options_.taskbarHeight};

    const std::string profile = "C:\\Documents and Settings\\" + options_.userName;
    setEnv("SystemRoot", "C:\\WINDOWS");
    setEnv("windir", "C:\\WINDOWS");
    setEnv("USERPROFILE", profile);
    setEnv("APPDATA", profile + "\\Application Data");
    setEnv("TEMP", profile + "\\Local Settings\\Temp");
    setEnv("TMP", profile + "\\Local Settings\\Temp");
    setEnv("ProgramFiles", "C:\\Program Files");
    setEnv("USERNAME", options_.userName);
    for (const char* d : {"C:\\WINDOWS\\system32", "C:\\WINDOWS\\Media", "C:\\Program Files"}) makeDirs(d);
    makeDirs(env("TEMP"));
    makeDirs(env("APPDATA"));
}

Machine::~Machine() {
    if (g_current.load() == this) g_current.store(nullptr);
    pumps_.clear();
    {
        // Later services may use earlier ones: end them in reverse order of creation.
        std::unique_lock lock(servicesMutex_);
        auto order = serviceOrder_;
        lock.unlock();
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            std::any victim;
            {
                std::lock_guard l(servicesMutex_);
                auto found = services_.find(*it);
                if (found == services_.end()) continue;
                victim = std::move(found->second);
                services_.erase(found);
                servicesGeneration_.fetch_add(1, std::memory_order_acq_rel);
            }
            victim.reset();
        }
    }
    if (ownsRoot_) {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
}

Machine& Machine::current() {
    Machine* m = g_current.load();
    if (!m) throw std::logic_error("no current machine");
    return *m;
}
Machine* Machine::currentOrNull() { return g_current.load(); }
void Machine::setCurrent(Machine* m) { g_current.store(m); }

uint32_t Machine::currentProcessId() { return t_processId ? t_processId : kProgramProcessId; }

ProcessScope::ProcessScope(uint32_t pid) : prev_(t_processId) { t_processId = pid; }
ProcessScope::~ProcessScope() { t_processId = prev_; }

void Machine::setScreen(int width, int height, Rect workArea) {
    options_.screenWidth = width;
    options_.screenHeight = height;
    workArea_ = workArea;
}

std::string Machine::fullWinPath(const std::string& winPath) const {
    std::string p = winPath;
    std::string drive;
    std::vector<std::string> parts;
    if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
        drive = upperAscii(p.substr(0, 2));
        p = p.substr(2);
        if (p.empty() || (p[0] != '\\' && p[0] != '/')) {
            // Drive-relative: only the current drive has a current folder here.
            if (iequals(drive, cwd_.substr(0, 2))) p = cwd_.substr(2) + "\\" + p;
        }
    } else if (!p.empty() && (p[0] == '\\' || p[0] == '/')) {
        drive = cwd_.substr(0, 2);
    } else {
        drive = cwd_.substr(0, 2);
        p = cwd_.substr(2) + "\\" + p;
    }
    for (auto& part : splitPath(p)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out = drive + "\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += "\\";
        out += parts[i];
    }
    return out;
}

fs::path Machine::hostPath(const std::string& winPath) const {
    const std::string full = fullWinPath(winPath);
    auto parts = splitPath(full);
    fs::path host = root_;
    if (parts.empty() || !isDriveSpec(parts[0])) return host;
    host /= std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(parts[0][0]))));
    bool exists = fs::is_directory(host);
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& name = parts[i];
        fs::path exact = host / name;
        if (exists) {
            std::error_code ec;
            if (fs::exists(exact, ec)) {
                host = exact;
                continue;
            }
            bool found = false;
            for (auto& entry : fs::directory_iterator(host, ec)) {
                if (iequals(entry.path().filename().string(), name)) {
                    host = entry.path();
                    found = true;
                    break;
                }
            }
            if (found) continue;
            exists = false;
        }
        host = exact;
    }
    return host;
}

std::string Machine::winPath(const fs::path& host) const {
    auto rel = host.lexically_normal().lexically_relative(root_);
    if (rel.empty() || *rel.begin() == "..") return "";
    std::string out;
    bool first = true;
    for (auto& part : rel) {
        if (first) {
            out = part.string() + ":";
            first = false;
        } else {
            out += "\\" + part.string();
        }
    }
    if (out.size() == 2) out += "\\";
    return out;
}

void Machine::setCurrentDirectory(const std::string& winPath) { cwd_ = fullWinPath(winPath); }

bool Machine::fileExists(const std::string& winPath) const {
    std::error_code ec;
    return fs::is_regular_file(hostPath(winPath), ec);
}

bool Machine::dirExists(const std::string& winPath) const {
    std::error_code ec;
    return fs::is_directory(hostPath(winPath), ec);
}

std::vector<std::string> Machine::listDir(const std::string& winDir, const std::string& pattern,
                                          bool filesOnly) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto& entry : fs::directory_iterator(hostPath(winDir), ec)) {
        if (filesOnly && !entry.is_regular_file()) continue;
        std::string name = entry.path().filename().string();
        if (wildcardMatch(pattern, name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return upperAscii(a) < upperAscii(b); });
    return names;
}

void Machine::makeDirs(const std::string& winDir) {
    std::error_code ec;
    fs::create_directories(hostPath(winDir), ec);
}

bool Machine::writeFileAtomic(const std::string& winPath, const std::string& bytes) {
    const fs::path target = hostPath(winPath);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    fs::path tmp = target;
    tmp += ".tmp-" + std::to_string(::getpid());
    {
        std::FILE* f = std::fopen(tmp.c_str(), "wb");
        if (!f) return false;
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok = (std::fflush(f) == 0) && ok;
        ok = (::fsync(::fileno(f)) == 0) && ok;
        ok = (std::fclose(f) == 0) && ok;
        if (!ok) {
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, target, ec);
    if (ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

void Machine::removeStaleTemporaries(const std::string& winPath) const { sys::removeStaleTemporaries(hostPath(winPath)); }

void removeStaleTemporaries(const fs::path& file) {
    const std::string prefix = file.filename().string() + ".tmp-";
    std::error_code ec;
    for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string rest = name.substr(prefix.size());
        size_t digits = 0;
        while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
        if (digits == 0 || digits > 9 || (digits < rest.size() && rest[digits] != '-')) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(rest.substr(0, digits)));
        if (pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM)) continue;
        std::error_code rm;
        if (it->is_regular_file(rm)) fs::remove(it->path(), rm);
    }
}

std::optional<std::string> Machine::readFile(const std::string& winPath) const {
    std::ifstream in(hostPath(winPath), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Machine::env(const std::string& name) const {
    auto it = env_.find(upperAscii(name));
    return it == env_.end() ? "" : it->second;
}
void Machine::setEnv(const std::string& name, const std::string& value) { env_[upperAscii(name)] = value; }

std::string Machine::setting(const std::string& key, const std::string& fallback) const {
    std::lock_guard lock(const_cast<std::mutex&>(settingsMutex_));
    auto it = settings_.find(key);
    return it == settings_.end() ? fallback : it->second;
}
void Machine::setSetting(const std::string& key, const std::string& value) {
    std::lock_guard lock(settingsMutex_);
    settings_[key] = value;
}

int Machine::addPump(Pump pump) {
    int id = nextPumpId_++;
    pumps_.emplace(id, std::move(pump));
    return id;
}
void Machine::removePump(int id) { pumps_.erase(id); }

void Machine::post(std::function<void()> fn) {
    std::lock_guard lock(postMutex_);
    posted_.push_back(std::move(fn));
}

void Machine::pumpOnce() {
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lock(postMutex_);
        batch.swap(posted_);
    }
    for (size_t i = 0; i < batch.size(); ++i) {
        try {
            runHandled(batch[i]);
        } catch (...) {
            // The completions after the failing one are still owed: they run next round.
            std::lock_guard lock(postMutex_);
            posted_.insert(posted_.begin(), std::make_move_iterator(batch.begin() + static_cast<long>(i) + 1),
                           std::make_move_iterator(batch.end()));
            throw;
        }
    }
    // A step may add or remove pumps: walk by id.
    std::vector<int> ids;
    for (auto& [id, p] : pumps_) ids.push_back(id);
    for (int id : ids) {
        auto it = pumps_.find(id);
        if (it != pumps_.end() && it->second.step) {
            auto step = it->second.step;  // the pump may remove itself
            runHandled(step);
        }
    }
}

void Machine::runHandled(const std::function<void()>& work) {
    if (!pumpErrorHandler_) return work();
    try {
        work();
    } catch (...) {
        auto handler = pumpErrorHandler_;  // it may replace itself
        handler(std::current_exception());
    }
}

std::optional<uint64_t> Machine::nextDue() {
    std::optional<uint64_t> best;
    for (auto& [id, p] : pumps_) {
        if (!p.nextDue) continue;
        if (auto d = p.nextDue(); d && (!best || *d < *best)) best = d;
    }
    return best;
}

void Machine::runFor(uint64_t ms) {
    const uint64_t end = clock_->tickMs() + ms;
    if (!clock_->isVirtual()) {
        while (clock_->tickMs() < end) {
            pumpOnce();
            clock_->sleep(1);
        }
        pumpOnce();
        return;
    }
    int spins = 0;
    for (;;) {
        pumpOnce();
        const uint64_t now = clock_->tickMs();
        if (now >= end) break;
        auto due = nextDue();
        uint64_t target = end;
        if (due && *due > now && *due < end) target = *due;
        if (due && *due <= now) {
            // Work is due now; pump again, but never spin without time moving.
            if (++spins < 8) continue;
            target = now + 1;
        }
        spins = 0;
        if (outsideWork_ > 0) {
            target = std::min(target, now + 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        clock_->advance(target - now);
    }
}

bool Machine::runUntil(const std::function<bool()>& pred, uint64_t limitMs) {
    const uint64_t end = clock_->tickMs() + limitMs;
    for (;;) {
        pumpOnce();
        if (pred()) return true;
        const uint64_t now = clock_->tickMs();
        if (now >= end) return pred();
        if (clock_->isVirtual()) {
            // Step in small slices so work posted from other threads is seen promptly.
            auto due = nextDue();
            uint64_t step = 1;
            if (outsideWork_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            else if (due && *due > now) step = std::min<uint64_t>(*due - now, 10);
            clock_->advance(std::min(step, end - now));
        } else {
            clock_->sleep(1);
        }
    }
}

} // namespace sys
