#include "Terminal.h"

#include "platform/registry/Registry.h"

namespace termsim {

void Terminal::writeInstallPath(sys::Machine& machine, const std::string& folder) {
    sys::MachineScope scope(machine);
    reg::setString(win::HKEY_CURRENT_USER, "Software\\MetaQuotes Software\\MetaTrader 4", "InstallPath", folder);
}

} // namespace termsim
