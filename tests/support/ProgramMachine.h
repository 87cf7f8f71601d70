#pragma once
// A test machine made ready for the whole program as a user's is: the tests' stub voice as the
// default voice, the simulated terminal in its usual folder, and the program with its shipped
// settings. The test's target defines SPEECH_TEST_ENGINE and links terminal_sim.
#include "support/Program.h"
#include "support/StubVoice.h"
#include "terminal-sim/Terminal.h"

namespace testing_support {

inline const char* const kTerminalFolder = "C:\\Program Files\\MetaTrader 4";

// Ends whatever run of the program came before, then installs.
inline void installWholeProgram(sys::Machine& m) {
    m_Main::EndProgram();
    installStubVoice(m);
    termsim::Terminal::install(m, kTerminalFolder);
    installProgram(m);
}

} // namespace testing_support
