#pragma once
#include "platform/system/Machine.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace testing_support {

// The bound of every wait on the outside world: the browser, the fixture sites, a worker
// thread, a child process. It holds on a machine loaded to several times its cores, so such a
// wait only runs out when something is broken. Waits the program's own timers decide stay on
// the virtual clock with bounds of their own.
inline constexpr uint64_t kOutsideWaitMs = 120000;

// A fresh emulated machine in a temporary folder with a virtual clock, current for the test.
class TestMachine {
public:
    explicit TestMachine(sys::MachineOptions options = {})
        : machine_(std::make_unique<sys::Machine>(std::move(options))), scope_(*machine_) {
        // A slow answer of a loaded machine's browser is not a hung browser.
        machine_->setSetting("browser.callTimeoutMs", std::to_string(kOutsideWaitMs));
        // Tests read what the machine played.
        machine_->setSetting("audio.record", "1");
    }
    sys::Machine& operator*() { return *machine_; }
    sys::Machine* operator->() { return machine_.get(); }
    sys::Machine& get() { return *machine_; }
    // Runs the machine with the outside world's time counted, for tests whose pages the
    // browser renders in real time.
    bool runUntilReal(const std::function<bool()>& done, uint64_t ms = kOutsideWaitMs) {
        machine_->beginOutsideWork();
        const bool ok = machine_->runUntil(done, ms);
        machine_->endOutsideWork();
        return ok;
    }
    void runForReal(uint64_t ms) {
        machine_->beginOutsideWork();
        machine_->runFor(ms);
        machine_->endOutsideWork();
    }

private:
    std::unique_ptr<sys::Machine> machine_;
    sys::MachineScope scope_;
};

} // namespace testing_support
