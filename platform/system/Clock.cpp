#include "Clock.h"
#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace sys {
namespace {

class RealClock final : public Clock {
public:
    uint64_t tickMs() const override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start_).count());
    }
    int64_t localMs() const override {
        auto now = std::chrono::system_clock::now();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
        std::time_t t = static_cast<std::time_t>(ms / 1000);
        std::tm tm{};
        localtime_r(&t, &tm);
        return ms + static_cast<int64_t>(tm.tm_gmtoff) * 1000;
    }
    bool isVirtual() const override { return false; }
    void advance(uint64_t) override {}
    void sleep(uint64_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

class VirtualClock final : public Clock {
public:
    explicit VirtualClock(int64_t start) : startLocal_(start) {}
    uint64_t tickMs() const override { return elapsed_.load(); }
    int64_t localMs() const override { return startLocal_ + static_cast<int64_t>(elapsed_.load() - kBoot); }
    bool isVirtual() const override { return true; }
    void advance(uint64_t ms) override { elapsed_ += ms; }
    void sleep(uint64_t ms) override { elapsed_ += ms; }

private:
    int64_t startLocal_;
    // Machines are not booted at tick zero; this keeps tick arithmetic honest.
    static constexpr uint64_t kBoot = 100000;
    std::atomic<uint64_t> elapsed_{kBoot};
};

} // namespace

std::unique_ptr<Clock> makeRealClock() { return std::make_unique<RealClock>(); }
std::unique_ptr<Clock> makeVirtualClock(int64_t startLocalMs) { return std::make_unique<VirtualClock>(startLocalMs); }

int64_t localMsFrom(int year, int month, int day, int hour, int minute, int second) {
    // Days from civil (Howard Hinnant's algorithm).
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
    return ((days * 24 + hour) * 60 + minute) * 60000LL + second * 1000LL;
}

} // namespace sys
