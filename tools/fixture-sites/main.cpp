// Serves the fixture news sites on the loopback address until interrupted, for the demo.
//
// usage: fixture-sites [--pages DIR] [--port N] [--settings-file FILE] [--advance-every SECONDS]
// The settings file gets one "net.host.<host>=<base>" line for each site, once the server listens.
#include "FixtureSites.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {
std::atomic<bool> g_stop{false};
}

int main(int argc, char** argv) {
    std::filesystem::path pages = fixtures::defaultPagesDir();
    std::string settingsFile;
    int port = 0, advance = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--pages" && more) pages = argv[++i];
        else if (a == "--port" && more) port = std::atoi(argv[++i]);
        else if (a == "--settings-file" && more) settingsFile = argv[++i];
        else if (a == "--advance-every" && more) advance = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: fixture-sites [--pages DIR] [--port N] [--settings-file FILE] [--advance-every SECONDS]\n");
            return 2;
        }
    }
    std::signal(SIGINT, [](int) { g_stop = true; });
    std::signal(SIGTERM, [](int) { g_stop = true; });
    fixtures::FixtureSites sites(pages, port);
    if (!settingsFile.empty()) {
        // Written whole under another name first, so a reader never sees half of it.
        const std::string partial = settingsFile + ".part";
        {
            std::ofstream out(partial);
            for (const auto& [key, value] : sites.hostSettings()) out << key << "=" << value << "\n";
        }
        std::filesystem::rename(partial, settingsFile);
    }
    std::printf("fixture sites on http://127.0.0.1:%d\n", sites.port());
    std::fflush(stdout);
    // The sites bring new items now and then, as live sites do.
    int seconds = 0;
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (advance > 0 && ++seconds % (advance * 5) == 0) sites.setEdition(sites.edition() + 1);
    }
    return 0;
}
