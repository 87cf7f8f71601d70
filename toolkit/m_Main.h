#pragma once
// The program's module of shared routines and process-wide start-up values.
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
extern bool VoiceSwitched;
extern std::string PrevDefaultVoice;
// The user had no default voice before it was switched; exit then removes ours again.
extern bool PrevDefaultVoiceMissing;
// The screen point of the last right click on the tray icon.
extern win::POINT TrayCursorPoint;

// The main window's fixed caption: how a second copy finds the first.
inline const std::string kMainCaption = "8E1F4C2A6B3D5E7091A2B3C4D5E6F708";
inline const std::string kTitle = "Pennant";
inline const std::string kVoiceTokenKey = "SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese";
inline const std::string kVoiceTokenId =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\QXFemaleChinese";

// Where the program was started from: the folder and the file name without extension
// (the runtime's App.Path and App.EXEName).
void setProgram(const std::string& folder, const std::string& exeName);

// What Main shows and loads after the settings are read; filled by the windows' owners.
extern std::function<void()> ShowSplash;
extern std::function<void()> LoadMainWindow;

// The start-up entry. False when it ended early (second copy, no or broken settings).
bool Main();
void SelectVoice();
void RestoreVoice();
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
