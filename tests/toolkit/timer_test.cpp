#include "toolkit/CTimer.h"

#include "platform/desktop/Win.h"
#include "platform/forms/RuntimeError.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using testing_support::TestMachine;

namespace {

struct Counted {
    std::shared_ptr<CTimer> timer = CTimer::create();
    int ticks = 0, overs = 0;
    Counted() {
        timer->ThatTime = [this] { ++ticks; };
        timer->TimeOver = [this] { ++overs; };
    }
    ~Counted() {
        timer->ThatTime = nullptr;
        timer->TimeOver = nullptr;
        timer->Interval(0);
    }
};

} // namespace

// Starting, changing, keeping and stopping: system timers and TimeOver as each set leaves them.
TEST(CTimer, IntervalStartsRestartsAndStops) {
    TestMachine m;
    Counted c;
    c.timer->PulseTimer();  // stopped: still one tick, at once
    EXPECT_EQ(c.ticks, 1);

    c.timer->Interval(1000);
    c.timer->Interval(1000);
    EXPECT_EQ(win::activeTimerCount(), 1u);
    EXPECT_EQ(mTimer::runningCount(), 1);

    c.timer->Interval(500);  // a restart, not a stop
    EXPECT_EQ(c.timer->Interval(), 500);
    EXPECT_EQ(win::activeTimerCount(), 1u);
    EXPECT_EQ(mTimer::highestSlot(), 1);  // the freed slot was taken again
    EXPECT_EQ(c.overs, 0);

    m->runFor(1000);
    EXPECT_EQ(c.ticks, 3);

    c.timer->Interval(-5);  // below 1 acts as 0
    EXPECT_EQ(c.overs, 1);
    EXPECT_EQ(c.timer->Interval(), 0);
    c.timer->Interval(0);
    EXPECT_EQ(c.overs, 1);
    EXPECT_EQ(win::activeTimerCount(), 0u);
    EXPECT_EQ(mTimer::runningCount(), 0);

    m->runFor(2000);
    EXPECT_EQ(c.ticks, 3);
}

// Ticks of several timers arrive in due order, and a restart begins a whole new interval.
TEST(CTimer, TicksArriveInDueOrder) {
    TestMachine m;
    std::vector<std::string> seen;
    auto a = CTimer::create(), b = CTimer::create();
    a->ThatTime = [&] { seen.push_back("a"); };
    b->ThatTime = [&] { seen.push_back("b"); };
    a->Interval(300);
    b->Interval(500);
    m->runFor(1000);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "a", "a", "b"}));

    // a would be due before b; restarted, it comes after.
    seen.clear();
    m->runFor(150);   // a due in 50, b in 350
    a->Interval(400);  // now due in 400
    m->runFor(400);
    EXPECT_EQ(seen, (std::vector<std::string>{"b", "a"}));
    a->Interval(0);
    b->Interval(0);
}

// A handler that pumps receives other timers' ticks and its own before it returns.
TEST(CTimer, HandlersThatPumpReceiveNestedTicks) {
    TestMachine m;
    std::vector<std::string> seen;
    int depth = 0, maxDepth = 0;
    auto a = CTimer::create(), b = CTimer::create();
    a->ThatTime = [&] {
        seen.push_back("a" + std::to_string(depth));
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (depth == 1) m->runFor(250);  // a pumping wait inside the first tick only
        --depth;
    };
    b->ThatTime = [&] { seen.push_back("b" + std::to_string(depth)); };
    a->Interval(100);
    b->Interval(150);
    m->runFor(100);
    // Inside a's first tick (to 350): b at 150, a at 200, b at 300, a at 300.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "a0");
    EXPECT_EQ(maxDepth, 2);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "b1"), 2);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "a1"), 2);
    a->Interval(0);
    b->Interval(0);
}

// Stopping from inside ThatTime, even dropping the last reference there, ends the ticks cleanly;
// stopping another timer that is due in the same round keeps it from ticking.
TEST(CTimer, StoppingInsideATick) {
    TestMachine m;
    int selfTicks = 0, otherTicks = 0;
    std::weak_ptr<CTimer> watch;
    std::shared_ptr<CTimer> other = CTimer::create();
    other->ThatTime = [&] { ++otherTicks; };
    {
        auto self = CTimer::create();
        watch = self;
        self->ThatTime = [&] {
            ++selfTicks;
            if (auto t = watch.lock()) t->Interval(0);
            other->Interval(0);
        };
        self->Interval(200);
        other->Interval(200);  // due in the same round, after self
    }  // the owner lets go; the table holds the running timer
    ASSERT_FALSE(watch.expired());
    m->runFor(1000);
    EXPECT_EQ(selfTicks, 1);
    EXPECT_EQ(otherTicks, 0);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(mTimer::runningCount(), 0);
    EXPECT_EQ(win::activeTimerCount(), 0u);
}

// A running timer whose owner let go keeps ticking until its Interval is set to 0.
TEST(CTimer, AnAbandonedRunningTimerKeepsTicking) {
    TestMachine m;
    int ticks = 0;
    std::weak_ptr<CTimer> watch;
    {
        auto t = CTimer::create();
        watch = t;
        t->ThatTime = [&] { ++ticks; };
        t->Interval(100);
    }
    m->runFor(500);
    EXPECT_EQ(ticks, 5);
    ASSERT_FALSE(watch.expired());
    watch.lock()->Interval(0);
    EXPECT_TRUE(watch.expired());
    m->runFor(500);
    EXPECT_EQ(ticks, 5);
}

// The table holds 100 running timers; one more is refused with its error and never ticks, and
// a freed slot is reused first.
TEST(CTimer, TableLimit) {
    TestMachine m;
    std::vector<std::unique_ptr<Counted>> running;
    for (int i = 0; i < mTimer::kMaxTimers; ++i) {
        running.push_back(std::make_unique<Counted>());
        running.back()->timer->Interval(100 + i);
    }
    Counted extra;
    try {
        extra.timer->Interval(50);
        FAIL() << "no error";
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, static_cast<int32_t>(0x80040000u + 13651));
        EXPECT_EQ(e.Description, "No more than 10 timers allowed per class");
        EXPECT_EQ(e.Source, "Pennant.WindowProc");
    }
    EXPECT_EQ(extra.timer->Interval(), 50);
    EXPECT_EQ(win::activeTimerCount(), 100u);
    m->runFor(300);
    EXPECT_EQ(extra.ticks, 0);
    for (auto& c : running) EXPECT_GE(c->ticks, 1);

    // The refused timer still counts as running for a stop: one TimeOver.
    extra.timer->Interval(0);
    EXPECT_EQ(extra.overs, 1);

    running[41]->timer->Interval(0);
    Counted next;
    next.timer->Interval(100);
    EXPECT_EQ(mTimer::runningCount(), 100);
    EXPECT_EQ(mTimer::highestSlot(), 100);
    m->runFor(100);
    EXPECT_EQ(next.ticks, 1);
}

// Running timers left at the machine's end are let go without touching the window system.
TEST(CTimer, MachineEndsWithTimersRunning) {
    std::weak_ptr<CTimer> watch;
    {
        TestMachine m;
        auto t = CTimer::create();
        watch = t;
        t->Interval(100);
        m->runFor(250);
    }
    EXPECT_TRUE(watch.expired());
}
