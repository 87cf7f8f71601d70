#pragma once
// The news, calendar and member-channel sites the program polls, as pages of our own served by
// one small HTTP server on the loopback address. Each site is a folder of pages/ (its name is the
// first path segment: http://127.0.0.1:<port>/<site>/<path>), so a machine's host mapping
// ("net.host.<host>" = base(site)) points the program's fixed addresses here.
//
// A request for <path>?<query> is answered by the file "<path>@<query>" when there is one, else by
// "<path>"; a path ending in "/" by its "index.htm". A site folder holding a file ".charset" with
// "gbk" is served in GBK (the pages themselves are kept in UTF-8). Editions stand for the sites'
// content changing between polls: in edition n a file "<name>.<k>" with the highest k <= n
// replaces "<name>".
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib { class Server; }

namespace fixtures {

// The pages folder of the source tree.
std::filesystem::path defaultPagesDir();

class FixtureSites {
public:
    // Starts listening on 127.0.0.1 (port 0: an ephemeral one); throws when it cannot.
    explicit FixtureSites(std::filesystem::path pages = defaultPagesDir(), int port = 0);
    // Releases answers held back and stops.
    ~FixtureSites();
    FixtureSites(const FixtureSites&) = delete;
    FixtureSites& operator=(const FixtureSites&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>/<site>"
    std::string base(const std::string& site) const;
    // The machine settings that lead the program's site hosts here ("net.host.<host>", base),
    // from the file "hosts" beside the pages folder.
    std::vector<std::pair<std::string, std::string>> hostSettings() const;

    // ---- Switches; a path is "/<site>/<path>" without the query ----
    void setEdition(int edition);
    int edition() const;
    void setDelay(const std::string& path, int ms);
    // Answers with the status and no page (404, 500, ...); 0 clears.
    void setStatus(const std::string& path, int status);
    // Takes the request and never answers (until cleared or stopped).
    void setSilent(const std::string& path, bool silent);
    // Serves this body (UTF-8, converted like the site's files) instead of the file.
    void setPage(const std::string& path, const std::string& utf8Body);
    void clearSwitches();

    // Requests taken for a path (any query), and every request's path and query, in order.
    int hits(const std::string& path) const;
    std::vector<std::string> requests() const;

private:
    struct Answer {
        int status = 200;
        std::string body, contentType;
    };
    Answer answer(const std::string& path, const std::string& query);
    bool waitWhileSilent(const std::string& path);

    std::filesystem::path pages_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool stopping_ = false;
    int edition_ = 1;
    std::map<std::string, int> delays_, statuses_;
    std::map<std::string, bool> silent_;
    std::map<std::string, std::string> pagesOverride_;
    std::map<std::string, int> hits_;
    std::vector<std::string> log_;
};

} // namespace fixtures
