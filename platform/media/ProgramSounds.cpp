#include "ProgramSounds.h"

#include "platform/system/Machine.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef PENNANT_SOUNDS_DIR
#define PENNANT_SOUNDS_DIR ""
#endif

namespace media {
namespace fs = std::filesystem;

fs::path bundledSoundsDir(sys::Machine& machine) {
    return fs::path(machine.setting("media.sounds", PENNANT_SOUNDS_DIR));
}

std::vector<std::string> programSoundFiles(sys::Machine& machine) {
    std::vector<std::string> names;
    const fs::path base = bundledSoundsDir(machine);
    for (const char* folder : {"Media", "Sound"}) {
        std::error_code ec;
        std::vector<std::string> here;
        for (fs::directory_iterator it(base / folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_regular_file(ec)) here.push_back(std::string(folder) + "\\" + it->path().filename().string());
        }
        std::sort(here.begin(), here.end());
        names.insert(names.end(), here.begin(), here.end());
    }
    return names;
}

bool installProgramSounds(sys::Machine& machine, const std::string& programFolder) {
    const auto files = programSoundFiles(machine);
    if (files.empty()) return false;
    std::string folder = programFolder;
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    const fs::path base = bundledSoundsDir(machine);
    bool ok = true;
    for (const auto& rel : files) {
        std::string hostRel = rel;
        std::replace(hostRel.begin(), hostRel.end(), '\\', '/');
        std::ifstream in(base / hostRel, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const std::string dest = folder + rel;
        machine.makeDirs(dest.substr(0, dest.rfind('\\')));
        ok = in.good() && machine.writeFileAtomic(dest, bytes.str()) && ok;
    }
    return ok;
}

fs::path systemSoundFile(sys::Machine& machine, const std::string& alias) {
    static const struct { const char* alias; const char* file; } kAliases[] = {
        {"SystemAsterisk", "asterisk.wav"},
        {"SystemExclamation", "exclamation.wav"},
        {"SystemHand", "hand.wav"},
        {"SystemQuestion", "question.wav"},
        {"SystemDefault", "default.wav"},
        {".Default", "default.wav"},
    };
    const char* file = "default.wav";
    for (const auto& a : kAliases) {
        if (sys::iequals(alias, a.alias)) file = a.file;
    }
    const fs::path path = bundledSoundsDir(machine) / "System" / file;
    std::error_code ec;
    return fs::is_regular_file(path, ec) ? path : fs::path();
}

} // namespace media
