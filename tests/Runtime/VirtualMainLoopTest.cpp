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

TEST_F(VirtualMainLoopTest, DroppedResetReplacedOrOrphanedCallsNeverRun) {
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
    // A running timer may cancel itself and another.
    TimerHandle other = loop.scheduleOnce(30ms, record("other"));
    TimerHandle self = loop.scheduleRepeating(25ms, [&] {
        record("self")();
        self.reset();
        other.reset();
    });
    loop.advance(100ms);
    EXPECT_EQ(events, (std::vector<std::string>{"replacement@20", "self@25"}));
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(VirtualMainLoopTest, PostFromAnotherThreadRunsOnTheLoopThread) {
    std::thread::id ranOn;
    std::thread worker([&] { loop.post([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    EXPECT_EQ(loop.postedTaskCount(), 1u);
    loop.runPending();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
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
