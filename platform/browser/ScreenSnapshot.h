#pragma once
// The machine's screen as a person would see it, composed as a PNG: the desktop and taskbar
// with its tray icons, top-level windows in z-order with a simple frame and caption (a layered
// window as its face), their controls, the pages of page windows and their pop-ups, tray
// balloons and open menus.
#include "platform/desktop/Menu.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sys { class Machine; }

namespace web {

struct SnapshotOptions {
    // Menus to draw as open (a pop-up menu is open only while it is tracked; a test passes
    // the one it looks at, such as the last of win::trackedMenus()).
    std::vector<win::TrackedMenu> openMenus;
};

// The PNG bytes; throws forms::RuntimeError when the browser that draws it is not available.
std::string screenSnapshotPng(const SnapshotOptions& options = {});
// Writes the snapshot to a host file; false when it cannot be made or written.
bool writeScreenSnapshot(const std::string& hostPath, const SnapshotOptions& options = {});

// The program's switch "--snapshot=<host file>", with "--snapshot-after=<ms>" (machine time after
// start-up, 3000 when not given). Both are taken out of the argument list, so the program
// sees its own command line unchanged.
struct SnapshotSwitch {
    std::string path;
    uint64_t afterMs = 3000;
};
std::optional<SnapshotSwitch> takeSnapshotSwitch(std::vector<std::string>& args);
// Writes the snapshot once the time has passed, from the pump; then runs done (if any) with
// whether it was written.
void scheduleSnapshot(sys::Machine& machine, const SnapshotSwitch& request, std::function<void(bool)> done = {});

} // namespace web
