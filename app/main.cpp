// The pennant program: runs on an emulated machine whose root folder is given (see scripts/run,
// which prepares one), in real time, until interrupted or the given time has passed. It prints one
// line for each event of the price loop worth seeing.
//
// usage: pennant --machine-root DIR [--folder WINPATH] [--seconds N] [--sound-files DIR]
//                [--snapshot=FILE [--snapshot-after=MS]] [--setting KEY=VALUE ...] [--report-quotes-shown]
// --sound-files writes every sound the program plays or speaks as a WAV file into DIR, so it can be
// heard or measured without a sound server; --setting sets a machine setting, such as
// "net.host.<host>=<base>"; --report-quotes-shown tells when each panel's page first shows a price
// (read back from the page), with the system's monotonic clock, for timing the start from outside.
#include "app/ProgramWindows.h"
#include "app/WindowLines.h"
#include "core/Program.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/browser/ScreenSnapshot.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Window.h"
#include "platform/speech/SpVoice.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"
#include "quotes/frmFloat.h"
#include "terminal-sim/Terminal.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::atomic<bool> g_stop{false};
sys::Machine* g_machine = nullptr;

void say(const std::string& text) {
    // One event, one line: a balloon's or a box's own line breaks are folded.
    std::string line;
    for (char c : text) {
        if (c == '\n') line += " / ";
        else if (c != '\r') line += c;
    }
    const int64_t ms = g_machine ? g_machine->clock().localMs() : 0;
    const int64_t s = (ms / 1000) % 86400;
    std::printf("[%02d:%02d:%02d] %s\n", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60), line.c_str());
    std::fflush(stdout);
}

// Each panel's page is read once the price loop holds its symbol's quote, every few
// milliseconds until the page shows a price, so the reads stay few and off the start-up's way:
// one round trip a read, as each waits on a renderer still busy with the pages loading.
void reportQuotesShown(sys::Machine& machine) {
    auto shown = std::make_shared<std::set<std::string>>();
    auto lastRead = std::make_shared<uint64_t>(0);
    machine.addPump({[&machine, shown, lastRead] {
                         const uint64_t now = machine.clock().tickMs();
                         if (now - *lastRead < 5) return;
                         *lastRead = now;
                         for (const auto& panel : m_Main::FloatForms) {
                             auto* page = dynamic_cast<frmFloat*>(panel.get());
                             if (!page || page->Busy()) continue;
                             const std::string symbol = page->ID();
                             if (shown->count(symbol) || !m_Main::Quotes.Exists(symbol) ||
                                 m_Main::Quotes.Item(symbol)->BID().empty())
                                 continue;
                             std::string text;
                             forms::ResumeNext([&] {
                                 const auto shownText = page->PageDocument().execScript(
                                     "(function () { var e = document.getElementById('Bid'); "
                                     "return e ? e.innerText : ''; })()");
                                 if (shownText.is_string()) text = shownText.get<std::string>();
                             });
                             if (text.empty() || text[0] < '0' || text[0] > '9') continue;
                             shown->insert(symbol);
                             const double monotonic =
                                 std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
                             char clock[32];
                             std::snprintf(clock, sizeof clock, "%.6f", monotonic);
                             say("quote shown on the " + symbol + " panel: " + text + " (monotonic clock " + clock + " s)");
                         }
                     },
                     {}});
}

int usage() {
    std::fprintf(stderr, "usage: pennant --machine-root DIR [--folder WINPATH] [--seconds N] [--sound-files DIR] "
                         "[--snapshot=FILE [--snapshot-after=MS]] [--setting KEY=VALUE ...] [--report-quotes-shown]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto snapshot = web::takeSnapshotSwitch(args);
    std::string root, folder = "C:\\Program Files\\Pennant", soundFiles;
    double seconds = 0;
    bool quotesShown = false;
    std::vector<std::pair<std::string, std::string>> settings;
    for (size_t i = 0; i < args.size(); i++) {
        const bool more = i + 1 < args.size();
        if (args[i] == "--machine-root" && more) root = args[++i];
        else if (args[i] == "--folder" && more) folder = args[++i];
        else if (args[i] == "--seconds" && more) seconds = std::atof(args[++i].c_str());
        else if (args[i] == "--sound-files" && more) soundFiles = args[++i];
        else if (args[i] == "--report-quotes-shown") quotesShown = true;
        else if (args[i] == "--setting" && more && args[i + 1].find('=') != std::string::npos) {
            const std::string& kv = args[++i];
            settings.emplace_back(kv.substr(0, kv.find('=')), kv.substr(kv.find('=') + 1));
        }
        else return usage();
    }
    if (root.empty() || !std::filesystem::is_directory(root)) return usage();

    sys::MachineOptions options;
    options.root = root;
    options.virtualClock = false;
    sys::Machine machine(options);
    sys::MachineScope scope(machine);
    if (!soundFiles.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(soundFiles, ec);
        machine.setSetting("audio.output", "wav");
        machine.setSetting("audio.wavdir", std::filesystem::absolute(soundFiles).string());
    }
    g_machine = &machine;
    for (const auto& [key, value] : settings) machine.setSetting(key, value);
    speech::installSpeechService(machine);
    termsim::Terminal::registerProgram();

    m_Main::InstallWindows(say);
    m_Main::setProgram(folder, "Pennant");
    std::signal(SIGINT, [](int) { g_stop = true; });
    std::signal(SIGTERM, [](int) { g_stop = true; });

    // What the user is told in a box is told on the console too: a start-up refused, a save
    // that failed at exit. So are the balloons, toasts and notice sources, and the program's own
    // windows that come and go (the terminal's are its own business).
    win::watchMessageBoxes([](const win::MessageBoxRecord& box) { say("message box: " + box.text); });
    m_Main::Tell = say;
    m_Main::WindowLines windows(say);
    say("pennant starting on " + root);
    if (quotesShown) reportQuotesShown(machine);
    // What still escapes the pump's handler (a fault before it is set, or in it) is told the
    // same way, and the run then ends as below: the program never aborts on it.
    const auto guarded = [](const std::function<void()>& step) {
        try {
            step();
            return true;
        } catch (...) {
            try {
                m_Main::FaultAtPump(std::current_exception());
            } catch (...) {
            }
            return false;
        }
    };
    bool started = false;
    if (!guarded([&] { started = m_Main::Main(); }) || !started) {
        say("start-up ended early");
        guarded([] { m_Main::EndProgram(); });
        return 1;
    }
    if (snapshot)
        web::scheduleSnapshot(machine, *snapshot, [](bool ok) { say(ok ? "snapshot written" : "snapshot failed"); });
    const uint64_t start = machine.clock().tickMs();
    while (!g_stop && m_Main::MainForm && m_Main::MainForm->IsLoaded()) {
        if (!guarded([&] { machine.runFor(50); })) break;
        if (seconds > 0 && machine.clock().tickMs() - start >= static_cast<uint64_t>(seconds * 1000)) break;
    }
    say("stopping");
    // Leave the way the user does, so panels, positions and settings are saved.
    guarded([&] {
        if (m_Main::MainForm && m_Main::MainForm->IsLoaded()) {
            m_Main::MainForm->m_frmSysTray_MenuClick("Exit");
            machine.runUntil([] { return !m_Main::MainForm || !m_Main::MainForm->IsLoaded(); }, 5000);
        }
    });
    // Unloads what the exit left, which saves the settings and gives the voice back.
    guarded([] { m_Main::EndProgram(); });
    return 0;
}
