#pragma once
#include "platform/system/Machine.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace testing_support {

// A fresh emulated machine in a temporary folder with a virtual clock, current for the test.
class TestMachine {
public:
    explicit TestMachine(sys::MachineOptions options = {})
        : machine_(std::make_unique<sys::Machine>(std::move(options))), scope_(*machine_) {}
    sys::Machine& operator*() { return *machine_; }
    sys::Machine* operator->() { return machine_.get(); }
    sys::Machine& get() { return *machine_; }
    // Runs the machine with the outside world's time counted, for tests whose pages the
    // browser renders in real time.
    bool runUntilReal(const std::function<bool()>& done, uint64_t ms = 30000) {
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
