#include "ShellExecute.h"

#include "platform/desktop/WindowSystemCalls.h"

#include "Interaction.h"
#include "RuntimeError.h"
#include "platform/system/Machine.h"

#include <mutex>

namespace win {
namespace {
struct ShellState {
    std::mutex mutex;
    std::vector<ShellOpenRecord> opened;
};
} // namespace

HANDLE ShellExecute(HWND, const std::string& operation, const std::string& file, const std::string& parameters,
                    const std::string&, int showCmd) {
    auto& state = sys::Machine::current().service<ShellState>();
    {
        std::lock_guard lock(state.mutex);
        state.opened.push_back({operation.empty() ? "open" : operation, file, parameters, showCmd});
    }
    if (file.size() > 4 && sys::iequals(file.substr(file.size() - 4), ".exe")) {
        try {
            forms::Shell(parameters.empty() ? file : file + " " + parameters, showCmd);
        } catch (const forms::RuntimeError&) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    return 42;
}

namespace {
// Libraries loaded into the program open links through the window system's table.
[[maybe_unused]] const bool g_offered = (setShellExecute(&ShellExecute), true);
} // namespace

std::vector<ShellOpenRecord> shellOpened() {
    auto& state = sys::Machine::current().service<ShellState>();
    std::lock_guard lock(state.mutex);
    return state.opened;
}

} // namespace win
