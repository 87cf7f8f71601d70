// voicegen: builds a voice library in the engine's file formats.
#include "Install.h"
#include "VoiceGen.h"
#include "platform/system/Machine.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: voicegen build MANIFEST OUTDIR [--jobs N] [--unihan FILE]\n"
                 "       voicegen install --machine-root DIR --library DIR [--folder WINPATH] [--engine PATH]\n");
    return 2;
}

int build(int argc, char** argv) {
    if (argc < 4) return usage();
    voicegen::BuildOptions options;
    for (int i = 4; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--jobs") && i + 1 < argc) options.jobs = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--unihan") && i + 1 < argc) options.unihan = argv[++i];
        else return usage();
    }
    // One line that counts up on a terminal; a line per tenth elsewhere, so a log stays short.
    const bool tty = isatty(STDOUT_FILENO);
    std::string lastStep;
    size_t lastTenth = 0;
    bool lineOpen = false;
    options.progress = [&](const char* step, size_t done, size_t total) {
        const size_t tenth = total ? done * 10 / total : 10;
        const bool same = step == lastStep;
        if (same && (tty ? done % 16 != 0 && done != total : tenth == lastTenth)) return;
        if (lineOpen && !same) std::printf("\n");
        lastStep = step;
        lastTenth = tenth;
        std::printf(tty ? "\rvoicegen: %s units, %zu of %zu" : "voicegen: %s units, %zu of %zu\n", step, done, total);
        lineOpen = tty && done != total;
        if (tty && !lineOpen) std::printf("\n");
        std::fflush(stdout);
    };
    std::string error;
    voicegen::Manifest manifest;
    if (!voicegen::loadManifest(argv[2], manifest, error)) {
        std::fprintf(stderr, "voicegen: %s\n", error.c_str());
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    voicegen::BuildReport report;
    if (!voicegen::buildLibrary(manifest, argv[3], options, report, error)) {
        std::fprintf(stderr, "voicegen: %s\n", error.c_str());
        return 1;
    }
    if (lineOpen) std::printf("\n");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("voicegen: %zu units with audio, %zu clips, %zu ideographs without a reading, "
                "%llu bytes, %.1f s\n",
                report.unitsWithAudio, report.clips, report.noReading.size(),
                static_cast<unsigned long long>(report.totalBytes), seconds);
    return 0;
}

int install(int argc, char** argv) {
    voicegen::InstallOptions options;
    std::string root;
    for (int i = 2; i < argc; ++i) {
        bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--machine-root") && more) root = argv[++i];
        else if (!std::strcmp(argv[i], "--library") && more) options.library = argv[++i];
        else if (!std::strcmp(argv[i], "--folder") && more) options.voiceFolder = argv[++i];
        else if (!std::strcmp(argv[i], "--engine") && more) options.engine = argv[++i];
        else return usage();
    }
    if (root.empty() || options.library.empty()) return usage();
    sys::MachineOptions machineOptions;
    machineOptions.root = root;
    sys::Machine machine(machineOptions);
    std::string error;
    if (!voicegen::installVoice(machine, options, error)) {
        std::fprintf(stderr, "voicegen: %s\n", error.c_str());
        return 1;
    }
    std::printf("voicegen: voice installed in %s\n", options.voiceFolder.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string command = argv[1];
    if (command == "build") return build(argc, argv);
    if (command == "install") return install(argc, argv);
    return usage();
}
