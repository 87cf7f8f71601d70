#pragma once
// The sound files we ship: the program's chimes ("Media\") and alert tones ("Sound\"), and the
// system sounds behind the aliases. They are synthesised at build time (tools/soundgen) into
// one folder of the build, laid out as Media\, Sound\ and System\.
#include <filesystem>
#include <string>
#include <vector>

namespace sys { class Machine; }

namespace media {

// The folder of the generated sounds: the machine's setting "media.sounds" when given, else
// the build's own.
std::filesystem::path bundledSoundsDir(sys::Machine& machine);

// The program's sound files relative to its folder ("Media\0.wav", "Sound\Alarm.wav", ...).
std::vector<std::string> programSoundFiles(sys::Machine& machine);

// Copies the program's sound files into its folder ("C:\Program Files\Pennant"), making
// Media\ and Sound\ as needed. False when a file is missing or cannot be written.
bool installProgramSounds(sys::Machine& machine, const std::string& programFolder);

// The host file that plays for a system sound alias (names compared without regard to case;
// unknown aliases give the default sound). Empty when the file is not there.
std::filesystem::path systemSoundFile(sys::Machine& machine, const std::string& alias);

} // namespace media
