#include "Install.h"

#include "VoiceWriter.h"
#include "platform/registry/Registry.h"
#include "platform/system/Machine.h"

#include <fstream>
#include <sstream>

namespace voicegen {

namespace {

bool copyInto(sys::Machine& machine, const std::filesystem::path& from, const std::string& winPath,
              std::string& error) {
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        error = "cannot read " + from.string();
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (!machine.writeFileAtomic(winPath, ss.str())) {
        error = "cannot write " + winPath;
        return false;
    }
    return true;
}

bool registerClass(const char* clsid, const char* description, const std::string& progId,
                   const std::string& engine) {
    using namespace win;
    const std::string key = std::string("CLSID\\") + clsid;
    return reg::setString(HKEY_CLASSES_ROOT, key, "", description) &&
           reg::setString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "", engine) &&
           reg::setString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel", "Both") &&
           reg::setString(HKEY_CLASSES_ROOT, key + "\\ProgID", "", progId + ".1") &&
           reg::setString(HKEY_CLASSES_ROOT, key + "\\VersionIndependentProgID", "", progId) &&
           reg::setString(HKEY_CLASSES_ROOT, progId, "", description) &&
           reg::setString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "", clsid) &&
           reg::setString(HKEY_CLASSES_ROOT, progId + "\\CurVer", "", progId + ".1") &&
           reg::setString(HKEY_CLASSES_ROOT, progId + ".1", "", description) &&
           reg::setString(HKEY_CLASSES_ROOT, progId + ".1\\CLSID", "", clsid);
}

} // namespace

bool installVoice(sys::Machine& machine, const InstallOptions& options, std::string& error) {
    sys::MachineScope scope(machine);
    std::string folder = options.voiceFolder;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    if (folder.size() < 3 || folder[1] != ':') {
        error = "the voice folder must be a Windows path such as C:\\Voice";
        return false;
    }
    machine.makeDirs(folder);

    // The library's own files and the sentence recordings beside them.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(options.library / kVoiceDefFile, ec)) {
        error = "no voice library in " + options.library.string();
        return false;
    }
    for (const auto& entry : std::filesystem::directory_iterator(options.library, ec)) {
        if (!entry.is_regular_file()) continue;
        if (!copyInto(machine, entry.path(), folder + "\\" + entry.path().filename().string(), error)) return false;
    }
    if (ec) {
        error = "cannot list " + options.library.string();
        return false;
    }

    using namespace win;
    const std::string token = kTokenKey;
    const std::pair<const char*, const char*> files[] = {
        {"VoiceDef", kVoiceDefFile},           {"VoiceData", kVoiceDataFile},
        {"VoiceWord", kVoiceWordFile},         {"VoiceWordData", kVoiceWordDataFile},
        {"VoiceSenData", kVoiceSenDataFile},
    };
    bool ok = reg::setString(HKEY_LOCAL_MACHINE, token, "", kVoiceName) &&
              reg::setString(HKEY_LOCAL_MACHINE, token, "CLSID", kEngineClsid);
    for (const auto& [value, file] : files)
        ok = ok && reg::setString(HKEY_LOCAL_MACHINE, token, value, folder + "\\" + file);
    const std::pair<const char*, const char*> attributes[] = {
        {"Name", kVoiceName}, {"Gender", "Female"}, {"Age", "Adult"}, {"Language", "804"}, {"Vendor", "Voxling"},
    };
    for (const auto& [name, value] : attributes)
        ok = ok && reg::setString(HKEY_LOCAL_MACHINE, token + "\\Attributes", name, value);
    // The voice's properties open the engine's own dialog through its UI class.
    ok = ok && reg::setString(HKEY_LOCAL_MACHINE, token + "\\UI\\EngineProperties", "CLSID", kEngineUiClsid);
    if (ok && !options.engine.empty())
        ok = registerClass(kEngineClsid, "VoxlingObj Class", "Voxling.VoxlingObj", options.engine) &&
             registerClass(kEngineUiClsid, "VoxlingUI Class", "Voxling.VoxlingUI", options.engine);
    if (!ok) {
        error = "registry write failed: " + reg::databaseError();
        return false;
    }
    return true;
}

} // namespace voicegen
