#include "InstanceLock.h"

#include "Machine.h"

#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace sys {

// The open lock files of a machine; closing them lets the locks go (also when the process dies).
struct MachineLocks {
    std::mutex mutex;
    std::map<std::string, int> held;
    ~MachineLocks() {
        for (auto& [name, fd] : held) ::close(fd);
    }
};

bool holdMachineLock(Machine& machine, const std::string& name) {
    auto& locks = machine.service<MachineLocks>();
    std::lock_guard lock(locks.mutex);
    if (locks.held.count(name)) return true;
    const std::string path = (machine.root() / ("." + name + ".lock")).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    locks.held[name] = fd;
    return true;
}

} // namespace sys
