// Prepares a demo machine for the pennant program: the program folder with its settings file,
// splash picture, sounds and terminal scripts, and the simulated trading terminal installed (its files and its
// InstallPath). A machine that already has the program only gets a missing splash picture; it keeps
// its settings file (remove the folder to get the demo's current places).
//
// usage: pennant-demo-machine DIR SETTINGS_FILE [--folder WINPATH]
#include "DemoSettings.h"
#include "platform/media/ProgramSounds.h"
#include "platform/registry/Registry.h"
#include "platform/system/Machine.h"
#include "terminal-sim/Terminal.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: pennant-demo-machine DIR SETTINGS_FILE [--folder WINPATH]\n");
        return 2;
    }
    std::string folder = "C:\\Program Files\\Pennant";
    if (argc >= 5 && std::string(argv[3]) == "--folder") folder = argv[4];
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    std::stringstream shipped;
    shipped << in.rdbuf();
    const std::optional<std::string> settings = demoSettings(shipped.str());
    if (!settings) {
        std::fprintf(stderr, "cannot parse %s\n", argv[2]);
        return 1;
    }

    std::filesystem::create_directories(argv[1]);
    sys::MachineOptions options;
    options.root = argv[1];
    options.virtualClock = false;
    sys::Machine machine(options);
    sys::MachineScope scope(machine);

    const std::string settingsPath = folder + "\\Pennant.xml";
    // The splash picture ships next to the settings file; machines made before it get it too.
    const std::string splashPath = folder + "\\Splash.png";
    if (!machine.fileExists(splashPath)) {
        std::ifstream art(std::filesystem::path(argv[2]).parent_path() / "Splash.png", std::ios::binary);
        std::stringstream bytes;
        bytes << art.rdbuf();
        machine.makeDirs(folder);
        if (!art || bytes.str().empty() || !machine.writeFileAtomic(splashPath, bytes.str()))
            std::fprintf(stderr, "warning: no splash picture installed\n");
    }
    // The program's own terminal scripts ship beside the settings file; older machines get them too.
    const auto scriptsSource = std::filesystem::path(argv[2]).parent_path() / "Scripts";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(scriptsSource, ec)) {
        const std::string target = folder + "\\Scripts\\" + entry.path().filename().string();
        if (!entry.is_regular_file() || machine.fileExists(target)) continue;
        std::ifstream script(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << script.rdbuf();
        machine.makeDirs(folder + "\\Scripts");
        if (!script || !machine.writeFileAtomic(target, bytes.str()))
            std::fprintf(stderr, "warning: script %s not installed\n", target.c_str());
    }
    if (machine.fileExists(settingsPath)) {
        std::printf("demo machine ready: %s\n", argv[1]);
        return 0;
    }
    machine.makeDirs(folder);
    if (!media::installProgramSounds(machine, folder))
        std::fprintf(stderr, "warning: the program's sounds were not all installed\n");
    const std::string terminal = termsim::Terminal::install(machine);
    // The page control draws PNG images itself, as browsers from version 7 on do.
    reg::setString(win::HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version", "9.0.8112.16421");
    // The settings file last: its presence marks a finished set-up.
    if (!machine.writeFileAtomic(settingsPath, *settings)) {
        std::fprintf(stderr, "cannot write %s\n", settingsPath.c_str());
        return 1;
    }
    std::printf("demo machine prepared: %s (terminal %s)\n", argv[1], terminal.c_str());
    return 0;
}
