#pragma once
// The program running on a test machine with the simulated terminal attached and its own
// scripts in its folder, and a loopback update site whose version file a test chooses.
#include "core/Program.h"
#include "core/cls_MT4.h"
#include "core/frmMain.h"
#include "platform/registry/Registry.h"
#include "platform/speech/SpVoice.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"
#include "settings/frmLiveUpdate.h"
#include "toolkit/frmToolTip.h"

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace aux_test {

inline const char* const kBrowserKey = "Software\\Microsoft\\Internet Explorer";
inline const char* const kTerminalFolder = "C:\\Program Files\\MetaTrader 4\\";

inline std::string fixture(const std::string& name) {
    std::ifstream in(std::string(PENNANT_FIXTURES) + "/update/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The update site on 127.0.0.1: answers the version file with the chosen fixture, or 404.
class UpdateSite {
public:
    UpdateSite() {
        server_.Get("/download/qrb.xml", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++hits_;
            if (file_.empty()) {
                res.status = 404;
                return;
            }
            res.set_content(fixture(file_), "text/xml");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::yield();
    }
    ~UpdateSite() {
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }
    // The fixture served next; "" answers 404.
    void serve(const std::string& file) {
        std::lock_guard<std::mutex> lock(mutex_);
        file_ = file;
    }
    int hits() {
        std::lock_guard<std::mutex> lock(mutex_);
        return hits_;
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::string file_;
    int hits_ = 0;
    int port_ = 0;
};

struct Program {
    testing_support::TestMachine m;
    UpdateSite site;

    explicit Program(bool checkAtStart = false) {
        m_Main::EndProgram();
        speech::installSpeechService(*m);
        termsim::Terminal::install(*m, "C:\\Program Files\\MetaTrader 4");
        testing_support::installProgram(*m);
        testing_support::setSettingsAttrib("Settings/LiveUpdate", "Checked", checkAtStart ? "1" : "0");
        m->setSetting("net.host.update.kestrel.example", site.base());
        // The page control draws PNG images itself, as browsers from version 7 on do.
        reg::setString(win::HKEY_LOCAL_MACHINE, kBrowserKey, "Version", "9.0.8112.16421");
        const auto scripts = std::filesystem::path(PENNANT_SOURCE_DIR) / "core" / "Scripts";
        for (const auto& e : std::filesystem::directory_iterator(scripts)) {
            std::ifstream in(e.path(), std::ios::binary);
            std::stringstream s;
            s << in.rdbuf();
            addScript(e.path().stem().string(), s.str());
        }
        m_Main::InstallWindows();
    }
    ~Program() {
        // Tips that are still up (a report nobody clicked away) go while the machine is there.
        std::vector<win::HWND> windows;
        win::EnumWindows([&](win::HWND h, win::LPARAM) { windows.push_back(h); return win::TRUE; }, 0);
        for (win::HWND h : windows)
            if (auto* tip = dynamic_cast<frmToolTip*>(forms::Form::fromHwnd(h))) tip->UnloadME();
        runFor(10);
        m_Main::EndProgram();
    }

    void addScript(const std::string& name, const std::string& bytes = "PNSCRIPT 1\n") {
        m->makeDirs(std::string(testing_support::kProgramFolder) + "\\Scripts");
        m->writeFileAtomic(std::string(testing_support::kProgramFolder) + "\\Scripts\\" + name + ".ex4", bytes);
    }
    bool start() {
        if (!m_Main::Main()) return false;
        return runUntil([] { return !m_Main::TerminalExe.empty() && MT4().Mt4Hwnd() != 0; });
    }
    bool runUntil(const std::function<bool()>& pred, uint64_t ms = 30000) {
        m->beginOutsideWork();
        const bool ok = m->runUntil(pred, ms);
        m->endOutsideWork();
        return ok;
    }
    void runFor(uint64_t ms) {
        m->beginOutsideWork();
        m->runFor(ms);
        m->endOutsideWork();
    }
    std::string read(const std::string& path) { return m->readFile(path).value_or("<none>"); }
};

} // namespace aux_test
