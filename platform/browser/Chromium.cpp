#include "Chromium.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace web {

std::vector<std::string> hostProcessStat(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return {};
    const size_t close = text.rfind(')');  // the command name may hold spaces and brackets
    if (close == std::string::npos) return {};
    std::istringstream rest(text.substr(close + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) fields.push_back(field);
    return fields;
}
namespace fs = std::filesystem;

namespace {
// Moves a descriptor above the range the child will use, close-on-exec.
int highFd(int fd) {
    int h = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return h;
}
constexpr const char* kProfilePrefix = "pennant-chromium-";
constexpr const char* kOwnerNote = "pennant-owner";

// A process's start time in clock ticks since boot, so that a reused process id is not taken
// for the owner; 0 when the process is gone.
unsigned long long startTimeOf(pid_t pid) {
    const auto fields = hostProcessStat(pid);
    return fields.size() > 19 ? std::strtoull(fields[19].c_str(), nullptr, 10) : 0;
}

void writeOwnerNote(const fs::path& dir) {
    std::ofstream(dir / kOwnerNote) << ::getpid() << ' ' << startTimeOf(::getpid()) << '\n';
}

} // namespace

void Chromium::removeStaleProfiles(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path dir = it->path();
        if (dir.filename().string().rfind(kProfilePrefix, 0) != 0) continue;
        std::error_code e;
        if (!fs::is_directory(fs::symlink_status(dir, e)) || e) continue;
        bool stale = false;
        std::ifstream note(dir / kOwnerNote);
        long long pid = 0;
        unsigned long long start = 0;
        if (note >> pid >> start) {
            stale = pid <= 0 || startTimeOf(static_cast<pid_t>(pid)) != start;
        } else {
            const auto age = fs::file_time_type::clock::now() - fs::last_write_time(dir, e);
            stale = !e && age > std::chrono::minutes(1);
        }
        if (stale) fs::remove_all(dir, e);
    }
}

Chromium::Chromium(Options options) {
    static std::once_flag swept;
    std::call_once(swept, [] { removeStaleProfiles(fs::temp_directory_path()); });
    const std::string pattern = (fs::temp_directory_path() / (std::string(kProfilePrefix) + "XXXXXX")).string();
    std::vector<char> tmpl(pattern.begin(), pattern.end());
    tmpl.push_back('\0');
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a browser profile folder");
    profileDir_ = tmpl.data();
    writeOwnerNote(profileDir_);

    int in[2], out[2];  // in: we write, browser reads (fd 3); out: browser writes (fd 4)
    if (pipe(in) != 0) throw std::runtime_error("pipe failed");
    if (pipe(out) != 0) {
        close(in[0]);
        close(in[1]);
        throw std::runtime_error("pipe failed");
    }
    int childIn = highFd(in[0]), parentOut = highFd(in[1]);
    int parentIn = highFd(out[0]), childOut = highFd(out[1]);

    std::vector<std::string> args = {
        options.executable,
        "--remote-debugging-pipe",
        "--no-sandbox",
        "--disable-gpu",
        // Without a GPU the pages are composited in software all the same; the software GPU
        // would only serve WebGL, which no page uses, and costs the browser some 15 MB.
        "--disable-software-rasterizer",
        "--no-first-run",
        "--no-default-browser-check",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
        "--disable-extensions",
        "--disable-default-apps",
        "--disable-breakpad",
        "--disable-crash-reporter",
        "--disable-domain-reliability",
        "--disable-client-side-phishing-detection",
        "--disable-features=WebUIOmniboxPopup,WebUIOmniboxAimPopup,SpareRendererForSitePerProcess,Translate,MediaRouter,OptimizationHints,AutofillServerCommunication,"
        "CertificateTransparencyComponentUpdater,InterestFeedContentSuggestions,"
        // The fixture sites stand for public ones on 127.0.0.1: pages may load their pictures.
        "LocalNetworkAccessChecks,BlockInsecurePrivateNetworkRequests,PrivateNetworkAccessSendPreflights",
        "--metrics-recording-only",
        "--no-pings",
        "--password-store=basic",
        "--use-mock-keychain",
        "--disable-popup-blocking",
        "--hide-scrollbars",
        "--mute-audio",
        // Compositing and the network in the browser's own process: two processes fewer, some
        // 20 MB less in all, and every page works as before.
        "--in-process-gpu",
        "--enable-features=NetworkServiceInProcess2",
        // Every page comes from one made-up site and trusts it: the pages render in the
        // browser's own process, which spares a renderer process and some 15 MB. A page that
        // crashes takes the browser with it, which a browser's death covers already.
        "--single-process",
        "--no-zygote",
        "--user-data-dir=" + profileDir_.string(),
        "about:blank",
    };
    for (auto& f : options.extraFlags) args.insert(args.end() - 1, f);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const char* logPath = std::getenv("PENNANT_CHROMIUM_LOG");

    pid_ = fork();
    if (pid_ < 0) {
        close(childIn); close(parentOut); close(parentIn); close(childOut);
        fs::remove_all(profileDir_);
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setpgid(0, 0);
        dup2(childIn, 3);
        dup2(childOut, 4);
        int null = open(logPath ? logPath : "/dev/null", O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(childIn);
    close(childOut);
    toBrowser_ = parentOut;
    fromBrowser_ = parentIn;
    signal(SIGPIPE, SIG_IGN);  // a dead browser must give EPIPE, not end us
    alive_ = true;
    reader_ = std::thread([this] { readerLoop(); });
}

Chromium::~Chromium() {
    stopping_ = true;
    if (alive_) {
        send("Browser.close");
        // Give it a moment to close cleanly, then make sure.
        for (int i = 0; i < 100 && alive_; ++i) usleep(20000);
    }
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
    }
    if (toBrowser_ >= 0) close(toBrowser_);
    if (reader_.joinable()) reader_.join();
    if (fromBrowser_ >= 0) close(fromBrowser_);
    if (pid_ > 0 && !reaped_) waitpid(pid_, nullptr, 0);
    std::error_code ec;
    fs::remove_all(profileDir_, ec);
}

void Chromium::kill() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
    }
}

void Chromium::markDead() {
    {
        std::lock_guard lock(mutex_);
        alive_ = false;
    }
    cv_.notify_all();
}

void Chromium::readerLoop() {
    std::string buffer;
    char chunk[65536];
    for (;;) {
        pollfd p{fromBrowser_, POLLIN, 0};
        int r = poll(&p, 1, 100);
        if (r < 0 && errno != EINTR) break;
        if (r == 0) {
            // Quiet: make sure the browser is still there (a killed browser's renderers
            // can hold the pipe open a while).
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                break;
            }
            if (stopping_ && !alive_) break;
            continue;
        }
        if (r < 0) continue;
        ssize_t n = read(fromBrowser_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        buffer.append(chunk, static_cast<size_t>(n));
        size_t start = 0;
        for (;;) {
            size_t nul = buffer.find('\0', start);
            if (nul == std::string::npos) break;
            handleMessage(buffer.substr(start, nul - start));
            start = nul + 1;
        }
        buffer.erase(0, start);
        if (buffer.size() > (256u << 20)) break;  // no message is that large: the stream is corrupt
    }
    markDead();
}

void Chromium::handleMessage(const std::string& text) {
    json msg = json::parse(text, nullptr, false);
    if (msg.is_discarded() || !msg.is_object()) return;
    if (auto id = msg.find("id"); id != msg.end() && id->is_number_integer()) {
        {
            std::lock_guard lock(mutex_);
            auto it = pending_.find(id->get<int>());
            if (it == pending_.end()) return;  // a sent-and-forgotten command
            it->second = std::move(msg);
        }
        cv_.notify_all();
        return;
    }
    if (!msg.contains("method")) return;
    std::function<bool(const json&)> urgent;
    {
        std::lock_guard lock(mutex_);
        urgent = urgent_;
    }
    if (urgent && urgent(msg)) return;
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(msg));
    }
    cv_.notify_all();
}

bool Chromium::writeMessage(const std::string& text) {
    std::lock_guard lock(writeMutex_);
    const char* p = text.c_str();
    size_t left = text.size() + 1;  // with the NUL
    while (left > 0) {
        ssize_t n = write(toBrowser_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::variant<json, CdpError> Chromium::call(const std::string& method, json params,
                                            const std::string& sessionId, int timeoutMs) {
    const int id = ask(method, std::move(params), sessionId);
    return answer(id, method, timeoutMs);
}

int Chromium::ask(const std::string& method, json params, const std::string& sessionId) {
    if (!alive_) return 0;
    int id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        pending_[id] = std::nullopt;
    }
    json msg = {{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (!sessionId.empty()) msg["sessionId"] = sessionId;
    if (!writeMessage(msg.dump(-1, ' ', false, json::error_handler_t::replace))) {
        std::lock_guard lock(mutex_);
        pending_.erase(id);
        return -1;
    }
    return id;
}

std::variant<json, CdpError> Chromium::answer(int id, const std::string& method, int timeoutMs) {
    if (id == 0) return CdpError{CdpError::Dead, "the browser is not running"};
    if (id < 0) return CdpError{CdpError::Dead, "the browser's pipe is closed"};
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pending_[id].has_value() || !alive_; });
    json answer = pending_[id] ? std::move(*pending_[id]) : json();
    pending_.erase(id);
    lock.unlock();
    if (answer.is_null()) {
        if (!alive_) return CdpError{CdpError::Dead, "the browser ended during " + method};
        return CdpError{CdpError::Timeout, "no answer to " + method};
    }
    if (auto err = answer.find("error"); err != answer.end()) {
        std::string m = err->value("message", "error");
        if (err->contains("data") && (*err)["data"].is_string()) m += ": " + (*err)["data"].get<std::string>();
        return CdpError{CdpError::Protocol, m};
    }
    return answer.value("result", json::object());
}

void Chromium::send(const std::string& method, json params, const std::string& sessionId) {
    if (!alive_) return;
    int id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
    }
    json msg = {{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (!sessionId.empty()) msg["sessionId"] = sessionId;
    writeMessage(msg.dump(-1, ' ', false, json::error_handler_t::replace));
}

std::optional<json> Chromium::popEvent() {
    std::lock_guard lock(mutex_);
    if (events_.empty()) return std::nullopt;
    json e = std::move(events_.front());
    events_.pop_front();
    return e;
}

bool Chromium::hasEvents() {
    std::lock_guard lock(mutex_);
    return !events_.empty();
}

bool Chromium::waitForEvent(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !events_.empty() || !alive_; });
}

void Chromium::setUrgentHandler(std::function<bool(const json&)> handler) {
    std::lock_guard lock(mutex_);
    urgent_ = std::move(handler);
}

} // namespace web
