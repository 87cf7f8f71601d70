#include "toolkit/ctlDownload.h"

#include "platform/net/Http.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

constexpr uint64_t kLimitMs = testing_support::kOutsideWaitMs;  // bound of every wait; transfers end long before

// An HTTP server on 127.0.0.1 with an ephemeral port, serving the test's pages.
class PageServer {
public:
    PageServer() {
        server_.Get("/a", [](const httplib::Request&, httplib::Response& res) { res.set_content("alpha", "text/html"); });
        server_.Get("/b", [](const httplib::Request&, httplib::Response& res) { res.set_content("beta page", "text/html"); });
        server_.Get("/bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string("\xC4\xE3\xBA\xC3\0\xFF\r\n", 8), "application/octet-stream");
        });
        server_.Get("/old", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/a"); });
        server_.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(64 * 1024, 'x'), "text/plain");
        });
        server_.Get("/stream", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
                if (offset >= 64 * 1024) {
                    sink.done();
                    return true;
                }
                const std::string chunk(4096, 'y');
                return sink.write(chunk.data(), chunk.size());
            });
        });
        server_.Get("/nocache", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cache-Control"), "text/plain");
        });
        server_.set_keep_alive_max_count(1);  // close after each answer, so stop() need not wait
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() before the accept loop has begun would leave the loop running for ever.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(testing_support::kOutsideWaitMs);
        while (!server_.is_running() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PageServer() {
        server_.stop();
        thread_.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int port() const { return port_; }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

// Takes connections into its backlog and never answers.
class SilentServer {
public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(fd_, 8);
        socklen_t len = sizeof addr;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~SilentServer() { close(fd_); }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    int fd_ = -1;
    int port_ = 0;
};

struct Event {
    std::string kind;  // "state", "progress", "complete"
    int32_t a = 0, b = 0;
    std::string text, key;
    bool success = false;
};

// Records every event of a control in order.
struct Recorder {
    std::vector<Event> events;
    explicit Recorder(ctlDownload& c) {
        c.DownloadStateChange = [this](int32_t state, const std::string& status, const std::string& key) {
            events.push_back({"state", state, 0, status, key});
        };
        c.DownloadProgress = [this](int32_t read, int32_t max) { events.push_back({"progress", read, max, "", ""}); };
        c.DownloadComplete = [this](std::string data, bool ok, const std::string& key) {
            events.push_back({"complete", 0, 0, std::move(data), key, ok});
        };
    }
    std::vector<Event> completes() const {
        std::vector<Event> out;
        for (auto& e : events)
            if (e.kind == "complete") out.push_back(e);
        return out;
    }
    std::vector<int32_t> states(const std::string& key) const {
        std::vector<int32_t> out;
        for (auto& e : events)
            if (e.kind == "state" && e.key == key) out.push_back(e.a);
        return out;
    }
    // The event just before the key's completion.
    const Event* beforeComplete(const std::string& key) const {
        for (size_t i = 1; i < events.size(); ++i)
            if (events[i].kind == "complete" && events[i].key == key) return &events[i - 1];
        return nullptr;
    }
};

class DownloadTest : public ::testing::Test {
protected:
    bool waitForCompletes(Recorder& rec, size_t n) {
        return machine->runUntil([&] { return rec.completes().size() >= n; }, kLimitMs);
    }
    testing_support::TestMachine machine;
    PageServer server;
};

TEST_F(DownloadTest, DeliversTheBodyWithStatesInOrder) {
    ctlDownload ctl;
    Recorder rec(ctl);
    ctl.BeginDownload(server.url("/bin"), "A");
    EXPECT_TRUE(rec.events.empty()) << "notifications arrive from the pump";
    ASSERT_TRUE(waitForCompletes(rec, 1));

    const auto done = rec.completes();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0].success);
    EXPECT_EQ(done[0].key, "A");
    EXPECT_EQ(done[0].text, std::string("\xC4\xE3\xBA\xC3\0\xFF\r\n", 8));

    // Finding, connecting, sending, data begins, data ends; then progress at full size.
    EXPECT_EQ(rec.states("A"), (std::vector<int32_t>{4, 2, 3, 4, 7}));
    EXPECT_EQ(rec.events.front().text, "127.0.0.1");
    const Event* last = rec.beforeComplete("A");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->kind, "progress");
    EXPECT_EQ(last->a, 8);
    EXPECT_EQ(last->b, 8);
    EXPECT_EQ(ctl.MaxBytes(), 8);
    EXPECT_EQ(ctl.URL().toString(), server.url("/bin"));

    // Nothing more follows.
    machine->runFor(200);
    EXPECT_EQ(rec.completes().size(), 1u);
}

TEST_F(DownloadTest, SeveralKeysRunAtOnceAndFollowRedirects) {
    ctlDownload ctl;
    Recorder rec(ctl);
    ctl.BeginDownload(server.url("/a"), "A");
    ctl.BeginDownload(server.url("/b"), "B");
    ctl.BeginDownload(server.url("/old"), "R");
    EXPECT_EQ(net::Http::of(*machine).inFlight(), 3u);
    ASSERT_TRUE(waitForCompletes(rec, 3));
    machine->runFor(100);

    std::map<std::string, std::string> got;
    for (auto& e : rec.completes()) {
        EXPECT_TRUE(e.success) << e.key;
        EXPECT_TRUE(got.emplace(e.key, e.text).second) << "one completion per key: " << e.key;
    }
    EXPECT_EQ(got, (std::map<std::string, std::string>{{"A", "alpha"}, {"B", "beta page"}, {"R", "alpha"}}));
    const auto redirected = rec.states("R");
    EXPECT_NE(std::find(redirected.begin(), redirected.end(), 6), redirected.end());
    EXPECT_EQ(net::Http::of(*machine).inFlight(), 0u);
}

TEST_F(DownloadTest, AsksForAFreshCopyAndReusesTheStoredUrl) {
    ctlDownload ctl;
    Recorder rec(ctl);
    ctl.BeginDownload(server.url("/nocache"), "first");
    ASSERT_TRUE(waitForCompletes(rec, 1));
    ctl.BeginDownload("", "again");
    ASSERT_TRUE(waitForCompletes(rec, 2));
    const auto done = rec.completes();
    EXPECT_EQ(done[0].text, "no-cache");
    EXPECT_EQ(done[1].key, "again");
    EXPECT_EQ(done[1].text, "no-cache");
}

struct FailureCase {
    const char* name;
    std::string path;       // on the page server; empty: the silent server
    const char* setting;    // machine setting for the case, or nullptr
    const char* value;
};

TEST_F(DownloadTest, FailedTransfersEndWithStateZeroThenOneFailedCompletion) {
    SilentServer silent;
    const FailureCase cases[] = {
        {"not found", "/missing", nullptr, nullptr},
        {"over the cap, length given", "/big", "net.maxBytes", "1000"},
        {"over the cap, streamed", "/stream", "net.maxBytes", "1000"},
        {"no answer", "", "net.timeoutMs", "300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        machine->setSetting("net.maxBytes", "");
        machine->setSetting("net.timeoutMs", "");
        if (c.setting) machine->setSetting(c.setting, c.value);
        ctlDownload ctl;
        Recorder rec(ctl);
        ctl.BeginDownload(c.path.empty() ? silent.url("/") : server.url(c.path), "K");
        ASSERT_TRUE(waitForCompletes(rec, 1));
        machine->runFor(50);

        const auto done = rec.completes();
        ASSERT_EQ(done.size(), 1u);
        EXPECT_FALSE(done[0].success);
        EXPECT_EQ(done[0].text, "");
        EXPECT_EQ(done[0].key, "K");
        const Event* before = rec.beforeComplete("K");
        ASSERT_NE(before, nullptr);
        EXPECT_EQ(before->kind, "state");
        EXPECT_EQ(before->a, 0);
        EXPECT_FALSE(before->text.empty());
        EXPECT_EQ(net::Http::of(*machine).inFlight(), 0u);
    }
}

TEST_F(DownloadTest, StartFailuresAreReportedBeforeBeginDownloadReturns) {
    for (const std::string url : {"not a url", "ftp://127.0.0.1/file", "file:///etc/passwd", "http://"}) {
        SCOPED_TRACE(url);
        ctlDownload ctl;
        Recorder rec(ctl);
        ctl.BeginDownload(url, "S");
        ASSERT_EQ(rec.events.size(), 2u);
        EXPECT_EQ(rec.events[0].kind, "state");
        EXPECT_EQ(rec.events[0].a, 9);
        EXPECT_FALSE(rec.events[0].text.empty());
        EXPECT_EQ(rec.events[1].kind, "complete");
        EXPECT_FALSE(rec.events[1].success);
        EXPECT_EQ(rec.events[1].key, "S");
        EXPECT_EQ(net::Http::of(*machine).inFlight(), 0u);
    }
}

TEST_F(DownloadTest, CancelledDownloadsRaiseNothingFurther) {
    SilentServer silent;
    ctlDownload ctl;
    Recorder rec(ctl);
    ctl.BeginDownload(server.url("/a"), "now");
    ctl.CancelDownload("now");
    ctl.BeginDownload(silent.url("/"), "hanging");
    ctl.BeginDownload(server.url("/b"), "B");
    machine->runFor(50);
    ctl.CancelDownload("hanging");
    const size_t hangingEvents = std::count_if(rec.events.begin(), rec.events.end(),
                                               [](const Event& e) { return e.key == "hanging"; });
    ctl.CancelDownload("no such key");
    ctl.CancelDownload("now");
    ASSERT_TRUE(waitForCompletes(rec, 1));
    machine->runFor(500);

    for (auto& e : rec.events) EXPECT_NE(e.key, "now");
    EXPECT_EQ(std::count_if(rec.events.begin(), rec.events.end(), [](const Event& e) { return e.key == "hanging"; }),
              static_cast<long>(hangingEvents));
    const auto done = rec.completes();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].key, "B");
    EXPECT_EQ(net::Http::of(*machine).inFlight(), 0u);
}

TEST_F(DownloadTest, AHandlerMayDestroyTheControl) {
    auto ctl = std::make_unique<ctlDownload>();
    int completes = 0;
    ctl->DownloadComplete = [&](std::string, bool, const std::string&) {
        ++completes;
        ctl.reset();
    };
    ctl->BeginDownload(server.url("/a"), "A");
    ctl->BeginDownload(server.url("/b"), "B");
    ASSERT_TRUE(machine->runUntil([&] { return completes > 0; }, kLimitMs));
    machine->runFor(300);
    EXPECT_EQ(completes, 1);
    EXPECT_EQ(net::Http::of(*machine).inFlight(), 0u);
}

TEST_F(DownloadTest, SiteSettingsPointFixedAddressesAtAnotherServer) {
    machine->setSetting("net.host.www.example-fx.com", "http://127.0.0.1:" + std::to_string(server.port()));
    machine->setSetting("net.host.news.example-fx.com", "http://127.0.0.1:" + std::to_string(server.port()) + "/");
    auto& http = net::Http::of(*machine);
    EXPECT_EQ(http.mapUrl("http://WWW.Example-FX.com/a?x=1"), server.url("/a?x=1"));
    EXPECT_EQ(http.mapUrl("http://other.example.org/a"), "http://other.example.org/a");

    ctlDownload ctl;
    Recorder rec(ctl);
    ctl.BeginDownload("http://news.example-fx.com/b", "N");
    ASSERT_TRUE(waitForCompletes(rec, 1));
    EXPECT_TRUE(rec.completes()[0].success);
    EXPECT_EQ(rec.completes()[0].text, "beta page");
    EXPECT_EQ(ctl.URL().toString(), "http://news.example-fx.com/b");
}

} // namespace
