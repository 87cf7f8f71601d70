// Prepares a demo machine for the pennant program: the program folder with its settings file,
// splash picture and sounds, and the simulated trading terminal installed (its files and its
// InstallPath). A machine that already has the program only gets a missing splash picture.
//
// usage: pennant-demo-machine DIR SETTINGS_FILE [--folder WINPATH]
#include "platform/media/ProgramSounds.h"
#include "platform/registry/Registry.h"
#include "platform/system/Machine.h"
#include "terminal-sim/Terminal.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
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
    // The demo speaks: the first saved panel announces every move of a point.
    pugi::xml_document doc;
    if (!doc.load_string(shipped.str().c_str())) {
        std::fprintf(stderr, "cannot parse %s\n", argv[2]);
        return 1;
    }
    if (auto item = doc.child("App").child("Window").child("Float").child("Item")) item.attribute("Voice") = "1";
    if (auto vq = doc.child("App").child("VoiceQuote")) {
        vq.attribute("defPIP") = "1";
        vq.attribute("defPIPValue") = "1";
    }
    // The talking clock runs, with every chime on.
    if (auto clock = doc.child("App").child("Settings").child("VoiceClock"))
        for (const char* name : {"Checked", "Clock0", "Clock15", "Clock30", "Clock45"}) clock.attribute(name) = "1";
    // The notice window opens large enough for its tabs.
    if (auto news = doc.child("App").child("Window").child("FXNews")) {
        news.attribute("Left") = "420";
        news.attribute("Top") = "230";
        news.attribute("Width") = "760";
        news.attribute("Height") = "520";
    }
    std::ostringstream settings;
    doc.save(settings, "  ", pugi::format_default, pugi::encoding_utf8);

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
    if (!machine.writeFileAtomic(settingsPath, settings.str())) {
        std::fprintf(stderr, "cannot write %s\n", settingsPath.c_str());
        return 1;
    }
    std::printf("demo machine prepared: %s (terminal %s)\n", argv[1], terminal.c_str());
    return 0;
}
