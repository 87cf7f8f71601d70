#pragma once
// The price loop's reads of the terminal's quotes, counted through the main window's trace, so a
// test waits for the next tick rather than for a second to pass.
#include "support/TestMachine.h"

#include <functional>
#include <string>

namespace testing_support {

struct PriceTicks {
    int count = 0;
    // For InstallWindows.
    std::function<void(const std::string&)> trace() {
        return [this](const std::string& event) {
            if (event.rfind("quotes read: ", 0) == 0) ++count;
        };
    }
    // Runs the program, the browser with its real time, until the loop has read the quotes once
    // more and written them out.
    bool next(TestMachine& m) {
        const int before = count;
        return m.runUntilReal([&] { return count > before; });
    }
};

} // namespace testing_support
