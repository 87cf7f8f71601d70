#pragma once
// Installs a built voice library on an emulated machine: its files, the voice token that names
// them, and the registration of the engine's classes.
#include <filesystem>
#include <string>

namespace sys { class Machine; }

namespace voicegen {

constexpr const char* kTokenKey = "SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese";
constexpr const char* kVoiceName = "Voxling Mandarin Female";
constexpr const char* kEngineClsid = "{7F5297E5-0462-4730-86A9-076A57C05C17}";
constexpr const char* kEngineUiClsid = "{BA729B8B-A6B3-4DBC-9A0C-31F2763F5D2D}";
constexpr const char* kDefaultVoiceFolder = "C:\\Program Files\\Voxling\\Voice";

struct InstallOptions {
    std::filesystem::path library;                // host folder holding a built library
    std::string voiceFolder = kDefaultVoiceFolder;  // where it goes on the machine
    // The engine library: a Windows path on the machine or an absolute host path. Empty: the
    // classes are not registered (the token alone is written).
    std::string engine;
};

// Copies the files, writes the token and registers the classes on the machine (which becomes
// the current one for the call).
bool installVoice(sys::Machine& machine, const InstallOptions& options, std::string& error);

} // namespace voicegen
