#pragma once
// The program on a test machine for the settings window's tests: the stub voice, the simulated
// terminal, two sounds in the program's "Sound" folder, and the window opened as the tray menu
// opens it.
#include "settings/frmSettings.h"

#include "app/ProgramWindows.h"
#include "core/NeighbourWindows.h"
#include "core/Program.h"
#include "core/cls_MT4.h"
#include "core/frmMain.h"
#include "platform/desktop/Dialogs.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Tray.h"
#include "platform/desktop/Win.h"
#include "platform/registry/Registry.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/ProgramMachine.h"
#include "support/TestMachine.h"
#include "support/WaveFile.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"
#include "toolkit/ucHotKey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace settings_test {

using namespace m_Main;

inline const char* const kRunKey = frmSettings::kRunKey;
inline const std::string kExe = "C:\\Program Files\\Pennant\\Pennant.exe";

// A short mono wave file with a tone, ms long.
inline std::string wave(int ms) { return testing_support::waveFile(ms, true); }

inline sys::MachineOptions wideScreen() {
    sys::MachineOptions o;
    o.screenWidth = 1920;
    o.screenHeight = 1080;
    return o;
}

struct Program {
    testing_support::TestMachine m;

    explicit Program(bool sounds = true, sys::MachineOptions options = {}) : m(std::move(options)) {
        testing_support::installWholeProgram(*m);
        testing_support::setSettingsAttrib("Settings/LiveUpdate", "Checked", "0");
        reg::setString(win::HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version", "9.0.8112.16421");
        if (sounds) {
            m->makeDirs(std::string(testing_support::kProgramFolder) + "\\Sound");
            m->writeFileAtomic(std::string(testing_support::kProgramFolder) + "\\Sound\\Bell.wav", wave(500));
            m->writeFileAtomic(std::string(testing_support::kProgramFolder) + "\\Sound\\Alarm.wav", wave(500));
        }
        InstallWindows();
        EXPECT_TRUE(Main());
        EXPECT_TRUE(runUntil([] { return MainForm && TerminalReady; }));
    }
    ~Program() {
        win::clearMessageBoxes();
        EndProgram();
        m->pumpOnce();
    }
    bool runUntil(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    void runFor(uint64_t ms) { m.runForReal(ms); }
    // Opened as the tray menu opens it.
    frmSettings* open() {
        m->beginOutsideWork();
        MainForm->m_frmSysTray_MenuClick("Settings");
        m->endOutsideWork();
        auto* w = dynamic_cast<frmSettings*>(SettingsForm());
        EXPECT_TRUE(w && w->IsLoaded() && !w->Busy());
        return w;
    }
    static web::HTMLElement el(frmSettings& w, const std::string& id) { return w.PageDocument().all(id); }
    std::string file() { return m->readFile(testing_support::kProgramSettings).value_or(""); }
    // The attribute as the saved file holds it.
    std::string saved(const std::string& path, const std::string& name) {
        cls_Config c;
        c.XmlFile(testing_support::kProgramSettings);
        if (!c.Initialize()) return "<unreadable>";
        return name.empty() ? c.GetNodeText(path) : c.GetNodeAttrib(path, name);
    }
};

// Whether a program other than ours could take the combination now.
inline bool keyFree(win::UINT modifiers, win::UINT vk) {
    const win::HWND other = MT4().Mt4Hwnd();
    win::DWORD pid = 0;
    win::GetWindowThreadProcessId(other, &pid);
    sys::ProcessScope scope(pid);
    if (!win::RegisterHotKey(other, 99, modifiers, vk)) return false;
    win::UnregisterHotKey(other, 99);
    return true;
}

inline std::optional<std::string> runEntry() { return reg::getString(win::HKEY_LOCAL_MACHINE, kRunKey, "Pennant"); }

} // namespace settings_test
