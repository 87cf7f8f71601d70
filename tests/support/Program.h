#pragma once
// The program's installation on a test machine. A test ends the program with m_Main::EndProgram,
// which forgets every process-wide value, as the executable does.
#include "core/Program.h"
#include "platform/system/Machine.h"
#include "toolkit/cls_Config.h"

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

// The program folder with the shipped settings, and the entry routine pointed at it.
inline void installProgram(sys::Machine& m) {
    m.makeDirs(kProgramFolder);
    m.writeFileAtomic(kProgramSettings, shippedSettings());
    m_Main::setProgram(kProgramFolder, "Pennant");
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
