#pragma once
// The program running on a test machine with the simulated terminal attached and its own
// scripts in its folder, and the fixture sites with the version file a test chooses.
#include "app/ProgramWindows.h"
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

#include "FixtureSites.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace aux_test {

inline const char* const kBrowserKey = "Software\\Microsoft\\Internet Explorer";
inline const char* const kTerminalFolder = "C:\\Program Files\\MetaTrader 4\\";

inline std::string fixture(const std::string& name) {
    std::ifstream in(std::string(PENNANT_SOURCE_DIR) + "/tests/fixtures/update/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The update site among the fixture sites on 127.0.0.1: the version file a test chooses, or 404.
class UpdateSite {
public:
    static constexpr const char* kPath = "/update/download/qrb.xml";
    // The fixture served next; "" answers 404.
    void serve(const std::string& file) {
        sites.clearSwitches();
        if (file.empty()) sites.setStatus(kPath, 404);
        else sites.setPage(kPath, fixture(file));
    }
    int hits() { return sites.hits(kPath); }
    fixtures::FixtureSites sites;
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
        for (const auto& [key, value] : site.sites.hostSettings()) m->setSetting(key, value);
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
    bool runUntil(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    void runFor(uint64_t ms) { m.runForReal(ms); }
    std::string read(const std::string& path) { return m->readFile(path).value_or("<none>"); }
};

} // namespace aux_test
