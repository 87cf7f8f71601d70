#pragma once
#include "platform/system/Machine.h"

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

private:
    std::unique_ptr<sys::Machine> machine_;
    sys::MachineScope scope_;
};

} // namespace testing_support
