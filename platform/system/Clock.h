#pragma once
#include <cstdint>
#include <memory>

namespace sys {

// The machine's time. Nothing else in the tree reads the host clock.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the machine started (GetTickCount, timeGetTime).
    virtual uint64_t tickMs() const = 0;
    // Local wall time of the machine, milliseconds since 1970-01-01 00:00 local.
    virtual int64_t localMs() const = 0;
    virtual bool isVirtual() const = 0;
    // Virtual clocks move only when told; a real clock ignores advance.
    virtual void advance(uint64_t ms) = 0;
    // Blocks the calling thread for ms (real) or moves time on (virtual).
    virtual void sleep(uint64_t ms) = 0;
};

std::unique_ptr<Clock> makeRealClock();
// Starts at the given local wall time (ms since 1970 local).
std::unique_ptr<Clock> makeVirtualClock(int64_t startLocalMs);

// Local wall time for y-m-d h:m:s, as ms since 1970 (no time zone involved).
int64_t localMsFrom(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

} // namespace sys
