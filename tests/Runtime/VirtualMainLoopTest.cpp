#include "Runtime/VirtualMainLoop.h"

#include <QObject>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

struct VirtualMainLoopTest : ::testing::Test {
    VirtualMainLoop loop;
    std::vector<std::string> events;

    MainLoop::Task record(std::string name) {
        return [this, name] { events.push_back(name + "@" + std::to_string(loop.now().count())); };
    }
};

TEST_F(VirtualMainLoopTest, ClockMovesOnlyWhenAdvanced) {
    EXPECT_EQ(loop.now(), 0ms);
    auto timer = loop.scheduleOnce(1000ms, record("once"));
    loop.runPending();
    EXPECT_EQ(loop.now(), 0ms);
    EXPECT_TRUE(events.empty());
    loop.advance(999ms);
    EXPECT_TRUE(events.empty());
    loop.advance(1ms);
    EXPECT_EQ(events, (std::vector<std::string>{"once@1000"}));
    EXPECT_FALSE(timer.isActive());
    // A delayed post cannot be cancelled and runs on time too.
    loop.postAfter(200ms, record("late"));
    loop.advance(199ms);
    EXPECT_EQ(events.size(), 1u);
    loop.advance(1ms);
    EXPECT_EQ(events.back(), "late@1200");
}

TEST_F(VirtualMainLoopTest, RepeatingTimerFirstFiresOneIntervalAfterCreation) {
    loop.advance(300ms);
    auto timer = loop.scheduleRepeating(500ms, record("tick"));
    loop.advance(1600ms);
    EXPECT_EQ(events, (std::vector<std::string>{"tick@800", "tick@1300", "tick@1800"}));
    EXPECT_EQ(loop.now(), 1900ms);
    EXPECT_TRUE(timer.isActive());
}

TEST_F(VirtualMainLoopTest, DroppingResettingOrReplacingTheHandleOrTheContextCancels) {
    { auto dropped = loop.scheduleOnce(10ms, record("dropped")); }
    auto context = std::make_unique<QObject>();
    auto once = loop.scheduleOnce(10ms, record("context once"), context.get());
    auto wall =
        loop.scheduleAtWallClock(loop.wallClock() + 10ms, record("context wall"), context.get());
    auto ticks = loop.scheduleRepeating(10ms, record("context ticks"), context.get());
    loop.post(record("context post"), context.get());
    loop.postAfter(10ms, record("context postAfter"), context.get());
    context.reset();
    EXPECT_FALSE(ticks.isActive());
    auto reset = loop.scheduleRepeating(10ms, record("reset"));
    reset.reset();
    auto replaced = loop.scheduleRepeating(10ms, record("replaced"));
    replaced = loop.scheduleOnce(20ms, record("replacement"));
    loop.advance(100ms);
    EXPECT_EQ(events, (std::vector<std::string>{"replacement@20"}));
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(VirtualMainLoopTest, SameDueTimeRunsInSchedulingOrderAndPostsRunBetweenTimers) {
    auto second = loop.scheduleOnce(100ms, [this] {
        events.push_back("b@100");
        loop.post(record("posted-by-b"));
    });
    auto first = loop.scheduleOnce(50ms, record("a"));
    auto third = loop.scheduleOnce(100ms, record("c"));
    loop.post(record("posted-first"));
    loop.advance(100ms);
    EXPECT_EQ(events, (std::vector<std::string>{"posted-first@0", "a@50", "b@100",
                                                "posted-by-b@100", "c@100"}));
}

TEST_F(VirtualMainLoopTest, TimerCancellingItselfOrAnotherDuringItsRun) {
    TimerHandle self;
    TimerHandle other = loop.scheduleOnce(20ms, record("other"));
    self = loop.scheduleRepeating(10ms, [&] {
        record("self")();
        self.reset();
        other.reset();
    });
    loop.advance(50ms);
    EXPECT_EQ(events, (std::vector<std::string>{"self@10"}));
}

TEST_F(VirtualMainLoopTest, PostFromAnotherThreadRunsOnTheLoopThread) {
    const auto loopThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::thread worker([&] { loop.post([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    EXPECT_EQ(loop.postedTaskCount(), 1u);
    loop.runPending();
    EXPECT_EQ(ranOn, loopThread);
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
