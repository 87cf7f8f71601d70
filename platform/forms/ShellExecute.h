#pragma once
// The shell's "open with the default verb". There is no desktop shell here: a registered
// simulated program is started, anything else (a web address, a document) is recorded as opened.
#include "platform/desktop/Window.h"

#include <string>
#include <vector>

namespace win {

// Greater than 32 on success, as the shell answers.
HANDLE ShellExecute(HWND owner, const std::string& operation, const std::string& file,
                    const std::string& parameters, const std::string& directory, int showCmd);

struct ShellOpenRecord {
    std::string operation, file, parameters;
    int showCmd = 0;
};
std::vector<ShellOpenRecord> shellOpened();

} // namespace win
