#pragma once
// The program's process-wide state between tests, and its installation on a test machine.
#include "core/CommandWindows.h"
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/system/Machine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

inline const char* const kProgramFolder = "C:\\Program Files\\Pennant";
inline const char* const kProgramSettings = "C:\\Program Files\\Pennant\\Pennant.xml";

// The settings file as it ships.
inline std::string shippedSettings() {
    std::ifstream in(std::string(PENNANT_SOURCE_DIR) + "/core/Pennant.xml", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A program's globals outlive a test's machine: give each test a fresh start.
inline void resetProgramState() {
    using namespace m_Main;
    MainForm.reset();
    FloatForms.Clear();
    Quotes.Clear();
    SymbolList.clear();
    QuoteBoardOpen = TerminalWindowOpen = OrderConfirmOpen = LiveUpdateOpen = OrderRunning = false;
    SpeechFailed = OldBrowser = TerminalReady = PanelsLoaded = WindowTopMost = false;
    TimeoutSeconds = 0;
    TimeoutSound = TimeoutVoice = false;
    TerminalPid = 0;
    TerminalExe.clear();
    TerminalTitle.clear();
    LastMt4Hwnd = 0;
    ReleaseQuoteBoard();
    ReleaseNeighbourWindows();
    ReleaseCommandWindows();
    NewFloatPanel = nullptr;
    NewQuoteBoard = nullptr;
    NewFXNotify = nullptr;
    NewTerminalWindow = nullptr;
    NewSettingsWindow = NewAboutWindow = NewInsScriptWindow = nullptr;
    LoadMainWindow = nullptr;
}

// The program folder with the shipped settings, and the entry routine pointed at it.
inline void installProgram(sys::Machine& m) {
    m.makeDirs(kProgramFolder);
    m.writeFileAtomic(kProgramSettings, shippedSettings());
    m_Main::setProgram(kProgramFolder, "Pennant");
}

// Stops the price loop, unloads the main window and forgets the program's globals.
inline void stopProgram() {
    using namespace m_Main;
    if (MainForm && MainForm->m_PriceTimer) MainForm->m_PriceTimer->Interval(0);
    if (MainForm) MainForm->Unload();
    resetProgramState();
}

// Sets (creating it when missing) an attribute of the installed settings file.
inline void setSettingsAttrib(const std::string& path, const std::string& name, const std::string& value) {
    cls_Config c;
    c.XmlFile(kProgramSettings);
    ASSERT_TRUE(c.Initialize());
    if (!c.isExistAttrib(path, name)) ASSERT_TRUE(c.CreateAttrib(path, name, value));
    else ASSERT_TRUE(c.SetNodeAttrib(path, name, value));
    c.XMLSave();
}

} // namespace testing_support
