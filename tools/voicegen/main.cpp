// voicegen: builds a voice library in the engine's file formats.
#include "VoiceGen.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: voicegen build MANIFEST OUTDIR [--jobs N] [--unihan FILE]\n");
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
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("voicegen: %zu units with audio, %zu clips, %zu ideographs without a reading, "
                "%llu bytes, %.1f s\n",
                report.unitsWithAudio, report.clips, report.noReading.size(),
                static_cast<unsigned long long>(report.totalBytes), seconds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string command = argv[1];
    if (command == "build") return build(argc, argv);
    return usage();
}
