#include "Terminal.h"

namespace termsim {

// Filled in once the registry service is there.
void Terminal::writeInstallPath(sys::Machine&, const std::string&) {}

} // namespace termsim
