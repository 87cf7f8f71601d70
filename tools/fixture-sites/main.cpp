// Serves the fixture news sites on the loopback address until interrupted, for the demo.
//
// usage: fixture-sites [--pages DIR] [--port N] [--port-file FILE] [--advance-every SECONDS]
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
    std::string portFile;
    int port = 0, advance = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--pages" && more) pages = argv[++i];
        else if (a == "--port" && more) port = std::atoi(argv[++i]);
        else if (a == "--port-file" && more) portFile = argv[++i];
        else if (a == "--advance-every" && more) advance = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: fixture-sites [--pages DIR] [--port N] [--port-file FILE] [--advance-every SECONDS]\n");
            return 2;
        }
    }
    std::signal(SIGINT, [](int) { g_stop = true; });
    std::signal(SIGTERM, [](int) { g_stop = true; });
    fixtures::FixtureSites sites(pages, port);
    if (!portFile.empty()) std::ofstream(portFile) << sites.port() << "\n";
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
