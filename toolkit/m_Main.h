#pragma once
// The toolkit's part of the program's module: where the program runs from, its captions, the
// tip's OK hook and the shared helper routines. The rest of the module, and the whole of the
// program's state and wiring, is core/Program.h.
#include "platform/desktop/Window.h"
#include "platform/system/WinTypes.h"

#include <functional>
#include <string>

namespace m_Main {

// ---- Process-wide values, set once by Main ----------------------------------------------
extern std::string AppDir;    // program folder, with a trailing backslash
extern std::string ExePath;   // AppDir + program name + ".exe"
extern std::string TempDir;   // the temporary folder with a trailing backslash, or AppDir
extern std::string PageBase;  // "res://" + ExePath + "/"

// What the tip's OK button runs for action code 1: the script installer's BalloonReturn, which
// installs the scripts and returns when done. Installed by the installer's module.
extern std::function<void()> BalloonReturn;

// Where what a user would see is told, one line each (the program's console); empty: nowhere.
extern std::function<void(const std::string& line)> Tell;
inline void tell(const std::string& line) {
    if (Tell) Tell(line);
}

// The main window's fixed caption: how a second copy finds the first.
inline const std::string kMainCaption = "8E1F4C2A6B3D5E7091A2B3C4D5E6F708";
inline const std::string kTitle = "Pennant";

bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
bool GetWorkArea(win::RECT& rect);

// ---- Shared helper routines --------------------------------------------------------------
bool SaveResToFile(const std::string& modulePath, const std::string& resName, const std::string& resType,
                   const std::string& outPath);
void SetTopMost(win::HWND hwnd);
std::string GetTagValue(const std::string& text, const std::string& name, const std::string& open,
                        const std::string& close);
std::string GetTempDir();
std::string GetLongPath(const std::string& path);
void PlaySysSound(const std::string& alias);
int32_t KeyLParam(int32_t key, bool keyUp);
std::string GetParentDir(const std::string& path);
void OpenLink(const std::string& target);

} // namespace m_Main
