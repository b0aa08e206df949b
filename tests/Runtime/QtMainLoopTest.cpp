#include "Runtime/QtMainLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

// Runs Qt's event loop until done() or two seconds pass.
template <typename Done> void spinUntil(Done done) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// Wall-clock deadlines already passed fire at once; a post from a worker
// thread runs on the main thread.
TEST(QtMainLoopTest, TimersDeadlinesAndPostsRunOnTheEventLoop) {
    QtMainLoop loop;
    std::vector<std::string> events; // wall-clock calls only
    bool onceFired = false;
    int ticks = 0;
    const auto start = loop.now();
    const auto wallStart = loop.wallClock();
    auto once = loop.scheduleOnce(30ms, [&] { onceFired = true; });
    auto repeating = loop.scheduleRepeating(10ms, [&] { ++ticks; });
    auto soon = loop.scheduleAtWallClock(wallStart + 60ms, [&] { events.push_back("soon"); });
    auto past = loop.scheduleAtWallClock(wallStart - 1h, [&] { events.push_back("past"); });
    std::thread::id ranOn;
    std::thread worker([&] { loop.post([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    spinUntil([&] { return events.size() >= 2 && onceFired && ticks >= 3; });
    EXPECT_EQ(events, (std::vector<std::string>{"past", "soon"}));
    EXPECT_TRUE(onceFired);
    EXPECT_GE(ticks, 3);
    EXPECT_GE(loop.now() - start, 30ms);
    EXPECT_GE(loop.wallClock() - wallStart, 59ms);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(once.isActive());
    EXPECT_FALSE(soon.isActive());
    EXPECT_TRUE(repeating.isActive());
}

// Cancelled by the handle or by the end of its context, a call of any kind
// never runs; a handle may outlive its loop.
TEST(QtMainLoopTest, CancelledCallsNeverRun) {
    TimerHandle survivor;
    bool fired = false;
    bool sentinel = false;
    {
        QtMainLoop loop;
        auto dropped = loop.scheduleOnce(5ms, [&] { fired = true; });
        dropped.reset();
        auto repeating = loop.scheduleRepeating(5ms, [&] { fired = true; });
        repeating = TimerHandle();
        auto wall = loop.scheduleAtWallClock(loop.wallClock() + 5ms, [&] { fired = true; });
        wall.reset();
        auto context = std::make_unique<QObject>();
        auto ticks = loop.scheduleRepeating(
            5ms, [&] { fired = true; }, context.get());
        auto contextWall = loop.scheduleAtWallClock(
            loop.wallClock() + 5ms, [&] { fired = true; }, context.get());
        loop.post([&] { fired = true; }, context.get());
        loop.postAfter(
            5ms, [&] { fired = true; }, context.get());
        context.reset();
        EXPECT_FALSE(ticks.isActive());
        EXPECT_FALSE(contextWall.isActive());
        auto later = loop.scheduleOnce(40ms, [&] { sentinel = true; });
        spinUntil([&] { return sentinel; });
        survivor = loop.scheduleAtWallClock(loop.wallClock() + 1h, [] {});
    }
    EXPECT_TRUE(sentinel);
    EXPECT_FALSE(fired);
    EXPECT_FALSE(survivor.isActive());
    survivor.reset();
}

} // namespace
