#include "FixtureSites.h"

#include <httplib.h>
#include <iconv.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fixtures {
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string toGbk(const std::string& utf8) {
    iconv_t cd = iconv_open("GBK//TRANSLIT", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
    std::string out(utf8.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size();
    char* o = out.data();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) {
            if (errno == E2BIG) break;
            ++in, --inLeft;  // a character GBK lacks is left out
        }
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

std::string contentType(const fs::path& p, bool gbk) {
    const std::string ext = p.extension().string();
    const std::string charset = gbk ? "; charset=gb2312" : "; charset=utf-8";
    if (ext == ".xml") return "text/xml" + charset;
    if (ext == ".gif") return "image/gif";
    if (ext == ".png") return "image/png";
    return "text/html" + charset;
}

// A path that stays inside the pages folder: no "..", no empty or hidden segments.
bool safePath(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    std::stringstream s(path.substr(1));
    std::string seg;
    while (std::getline(s, seg, '/'))
        if (seg == ".." || seg == "." || (!seg.empty() && seg[0] == '.') || seg.find('\\') != std::string::npos)
            return false;
    return true;
}

} // namespace

fs::path defaultPagesDir() { return fs::path(PENNANT_FIXTURE_PAGES); }

FixtureSites::FixtureSites(fs::path pages, int port) : pages_(std::move(pages)), server_(std::make_unique<httplib::Server>()) {
    server_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        // Pages go out in gzip at most, as the sites serve them: the library's brotli, at its
        // highest quality, cost more than the program's whole poll. The request is the server's
        // own object, handed over as const.
        auto& headers = const_cast<httplib::Request&>(req).headers;
        if (auto it = headers.find("Accept-Encoding"); it != headers.end())
            it->second = it->second.find("gzip") != std::string::npos ? "gzip" : "";
        std::string query;
        for (const auto& [k, v] : req.params) query += (query.empty() ? "" : "&") + k + "=" + v;
        // Keep the query as it came, so "?0" and repeated keys stay as the program sent them.
        const auto q = req.target.find('?');
        if (q != std::string::npos) query = req.target.substr(q + 1);
        {
            std::lock_guard lock(mutex_);
            hits_[req.path]++;
            log_.push_back(query.empty() ? req.path : req.path + "?" + query);
        }
        if (!waitWhileSilent(req.path)) {
            res.status = 503;
            return;
        }
        int delay = 0;
        {
            std::lock_guard lock(mutex_);
            if (auto it = delays_.find(req.path); it != delays_.end()) delay = it->second;
        }
        if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        Answer a = answer(req.path, query);
        res.status = a.status;
        if (a.status == 200) res.set_content(a.body, a.contentType.c_str());
    });
    server_->set_keep_alive_max_count(1);
    port_ = port ? (server_->bind_to_port("127.0.0.1", port) ? port : -1) : server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("fixture sites: cannot listen on 127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() before the accept loop has begun would leave the loop running for ever; a loaded
    // machine may take a while to start the thread.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!server_->is_running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FixtureSites::~FixtureSites() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    released_.notify_all();
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

std::string FixtureSites::base(const std::string& site) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + site;
}

std::vector<std::pair<std::string, std::string>> FixtureSites::hostSettings() const {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream lines(readFile(pages_.parent_path() / "hosts"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string host, folder;
        if (line.empty() || line[0] == '#' || !(words >> host >> folder)) continue;
        out.emplace_back("net.host." + host, base(folder));
    }
    return out;
}

bool FixtureSites::waitWhileSilent(const std::string& path) {
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] {
        auto it = silent_.find(path);
        return stopping_ || it == silent_.end() || !it->second;
    });
    return !stopping_;
}

FixtureSites::Answer FixtureSites::answer(const std::string& path, const std::string& query) {
    Answer a;
    int edition;
    std::string override;
    bool overridden = false;
    {
        std::lock_guard lock(mutex_);
        if (auto it = statuses_.find(path); it != statuses_.end()) {
            a.status = it->second;
            return a;
        }
        edition = edition_;
        if (auto it = pagesOverride_.find(path); it != pagesOverride_.end()) override = it->second, overridden = true;
    }
    if (!safePath(path)) {
        a.status = 404;
        return a;
    }
    const std::string site = path.substr(1, path.find('/', 1) == std::string::npos ? std::string::npos : path.find('/', 1) - 1);
    const bool gbk = readFile(pages_ / site / ".charset").find("gbk") != std::string::npos;
    std::string rel = path.substr(1);
    if (rel.empty() || rel.back() == '/') rel += "index.htm";
    if (overridden) {
        a.body = gbk ? toGbk(override) : override;
        a.contentType = contentType(rel, gbk);
        return a;
    }
    // "<path>@<query>" first, then "<path>"; within each, the newest edition at or below now.
    std::vector<fs::path> names;
    if (!query.empty() && query.find('/') == std::string::npos && query.find("..") == std::string::npos)
        names.push_back(pages_ / (rel + "@" + query));
    names.push_back(pages_ / rel);
    for (const auto& name : names) {
        for (int k = edition; k >= 2; --k) {
            fs::path p = name;
            p += "." + std::to_string(k);
            if (fs::is_regular_file(p)) {
                const std::string body = readFile(p);
                a.body = gbk && p.extension() != ".gif" ? toGbk(body) : body;
                a.contentType = contentType(name, gbk);
                return a;
            }
        }
        if (fs::is_regular_file(name)) {
            const std::string body = readFile(name);
            a.body = gbk && name.extension() != ".gif" ? toGbk(body) : body;
            a.contentType = contentType(name, gbk);
            return a;
        }
    }
    a.status = 404;
    return a;
}

void FixtureSites::setEdition(int edition) {
    std::lock_guard lock(mutex_);
    edition_ = edition;
}
int FixtureSites::edition() const {
    std::lock_guard lock(mutex_);
    return edition_;
}
void FixtureSites::setDelay(const std::string& path, int ms) {
    std::lock_guard lock(mutex_);
    delays_[path] = ms;
}
void FixtureSites::setStatus(const std::string& path, int status) {
    std::lock_guard lock(mutex_);
    if (status) statuses_[path] = status;
    else statuses_.erase(path);
}
void FixtureSites::setSilent(const std::string& path, bool silent) {
    {
        std::lock_guard lock(mutex_);
        silent_[path] = silent;
    }
    released_.notify_all();
}
void FixtureSites::setPage(const std::string& path, const std::string& utf8Body) {
    std::lock_guard lock(mutex_);
    pagesOverride_[path] = utf8Body;
}
void FixtureSites::clearSwitches() {
    {
        std::lock_guard lock(mutex_);
        delays_.clear();
        statuses_.clear();
        silent_.clear();
        pagesOverride_.clear();
    }
    released_.notify_all();
}
int FixtureSites::hits(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = hits_.find(path);
    return it == hits_.end() ? 0 : it->second;
}
std::vector<std::string> FixtureSites::requests() const {
    std::lock_guard lock(mutex_);
    return log_;
}

} // namespace fixtures
