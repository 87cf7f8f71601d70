#pragma once
// A lock on a machine's root that holds across operating-system processes: what makes a program
// a single instance even when two host processes run the same emulated machine.
#include <string>

namespace sys {

class Machine;

// Takes the lock called name on the machine's root, held until the machine ends. True when this
// machine holds it (also when it already did); false while another process holds it.
bool holdMachineLock(Machine& machine, const std::string& name);

} // namespace sys
