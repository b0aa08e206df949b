#include "Runtime/QtMainLoop.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/SpinUntil.h"

#include <QObject>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

using test::spinUntil;

// Both loops keep one contract; a runner moves each one's time on, the
// virtual clock at once and Qt's in real time.
struct VirtualRunner {
    VirtualMainLoop loop;
    void run(std::chrono::milliseconds time) { loop.advance(time); }
};
struct QtRunner {
    QtMainLoop loop;
    void run(std::chrono::milliseconds time) {
        const auto end = loop.now() + time;
        spinUntil([&] { return loop.now() >= end; });
    }
};

template <typename Runner> struct MainLoopTest : ::testing::Test {
    Runner runner;
    std::vector<std::string> events;

    MainLoop::Task record(std::string name) {
        return [this, name] { events.push_back(name); };
    }
};
using Runners = ::testing::Types<VirtualRunner, QtRunner>;
TYPED_TEST_SUITE(MainLoopTest, Runners);

// Cancelled by its handle or by the end of its context, a call of any kind
// never runs; a running timer may cancel itself and another.
TYPED_TEST(MainLoopTest, CancelledCallsNeverRun) {
    MainLoop& loop = this->runner.loop;
    { auto dropped = loop.scheduleOnce(10ms, this->record("dropped")); }
    auto context = std::make_unique<QObject>();
    auto once = loop.scheduleOnce(10ms, this->record("context once"), context.get());
    auto wall = loop.scheduleAtWallClock(loop.wallClock() + 10ms, this->record("context wall"),
                                         context.get());
    auto ticks = loop.scheduleRepeating(10ms, this->record("context ticks"), context.get());
    loop.post(this->record("context post"), context.get());
    loop.postAfter(10ms, this->record("context postAfter"), context.get());
    context.reset();
    EXPECT_FALSE(ticks.isActive());
    EXPECT_FALSE(wall.isActive());
    auto reset = loop.scheduleAtWallClock(loop.wallClock() + 10ms, this->record("reset"));
    reset.reset();
    auto replaced = loop.scheduleRepeating(10ms, this->record("replaced"));
    replaced = loop.scheduleOnce(20ms, this->record("replacement"));
    TimerHandle other = loop.scheduleOnce(60ms, this->record("other"));
    TimerHandle self = loop.scheduleRepeating(25ms, [&] {
        this->record("self")();
        self.reset();
        other.reset();
    });
    this->runner.run(100ms);
    EXPECT_EQ(this->events, (std::vector<std::string>{"replacement", "self"}));
}

TYPED_TEST(MainLoopTest, PostFromAnotherThreadRunsOnTheLoopThread) {
    std::thread::id ranOn;
    std::thread worker(
        [&] { this->runner.loop.post([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    this->runner.run(10ms);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// Deadlines fire on time, wall-clock ones at once when already passed; a
// handle may outlive its loop.
TYPED_TEST(MainLoopTest, DeadlinesAndHandlesThatOutliveTheLoop) {
    auto ownRunner = std::make_unique<TypeParam>();
    MainLoop& loop = ownRunner->loop;
    auto soon = loop.scheduleAtWallClock(loop.wallClock() + 30ms, this->record("soon"));
    auto past = loop.scheduleAtWallClock(loop.wallClock() - 1h, this->record("past"));
    auto once = loop.scheduleOnce(30ms, [] {});
    TimerHandle survivor = loop.scheduleAtWallClock(loop.wallClock() + 1h, [] {});
    TimerHandle ticking = loop.scheduleRepeating(5ms, [] {});
    ownRunner->run(20ms);
    EXPECT_EQ(this->events, std::vector<std::string>{"past"});
    EXPECT_TRUE(once.isActive());
    ownRunner->run(60ms);
    EXPECT_EQ(this->events, (std::vector<std::string>{"past", "soon"}));
    EXPECT_FALSE(soon.isActive());
    EXPECT_FALSE(once.isActive());
    EXPECT_TRUE(ticking.isActive());
    ownRunner.reset();
    EXPECT_FALSE(survivor.isActive());
    EXPECT_FALSE(ticking.isActive());
}

struct VirtualMainLoopTest : ::testing::Test {
    VirtualMainLoop loop;
    std::vector<std::string> events;

    MainLoop::Task record(std::string name) {
        return [this, name] { events.push_back(name + "@" + std::to_string(loop.now().count())); };
    }
};

// The clock moves only when advanced; calls run at their due time, in the
// order they were scheduled within one time, and posts run before the next
// timer. A repeating timer first fires one interval after its creation.
TEST_F(VirtualMainLoopTest, RunsEachCallAtItsDueTimeInOrder) {
    loop.advance(300ms);
    auto tick = loop.scheduleRepeating(500ms, record("tick"));
    auto b = loop.scheduleOnce(500ms, [this] {
        record("b")();
        loop.post(record("posted-by-b"));
    });
    auto a = loop.scheduleOnce(200ms, record("a"));
    auto c = loop.scheduleOnce(500ms, record("c"));
    auto edge = loop.scheduleOnce(1501ms, record("edge"));
    loop.postAfter(700ms, record("late"));
    loop.post(record("posted"));
    loop.runPending();
    EXPECT_EQ(loop.now(), 300ms);
    loop.advance(1500ms);
    EXPECT_EQ(events, (std::vector<std::string>{"posted@300", "a@500", "tick@800", "b@800",
                                                "posted-by-b@800", "c@800", "late@1000",
                                                "tick@1300", "tick@1800"}));
    EXPECT_EQ(loop.now(), 1800ms);
    EXPECT_TRUE(tick.isActive());
    EXPECT_FALSE(a.isActive());
    EXPECT_TRUE(edge.isActive());
}

TEST_F(VirtualMainLoopTest, WallClockTimersFireOnTimeOrOnWakingFromASleepPastThem) {
    auto onTime = loop.scheduleAtWallClock(loop.wallClock() + 1s, record("onTime"));
    auto asleep = loop.scheduleAtWallClock(loop.wallClock() + 1h, record("asleep"));
    auto monotonic = loop.scheduleOnce(2s, record("monotonic"));
    loop.advance(1s);
    loop.suspend(2h);
    EXPECT_EQ(events, (std::vector<std::string>{"onTime@1000", "asleep@1000"}));
    loop.advance(1s);
    EXPECT_EQ(events.back(), "monotonic@2000");
}

TEST_F(VirtualMainLoopTest, ManyTicksNeedNoRealTimeAndAZeroIntervalCannotFreezeTheClock) {
    int ticks = 0;
    auto timer = loop.scheduleRepeating(500ms, [&] { ++ticks; });
    loop.advance(std::chrono::hours(3));
    EXPECT_EQ(ticks, 3 * 3600 * 2);
    timer = loop.scheduleRepeating(0ms, [&] { ++ticks; });
    loop.advance(5ms);
    EXPECT_EQ(ticks, 3 * 3600 * 2 + 5);
}

} // namespace
