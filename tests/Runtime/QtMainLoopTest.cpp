#include "Runtime/QtMainLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

// Runs Qt's event loop until done() or the limit passes.
template <typename Done> void spinUntil(Done done, std::chrono::milliseconds limit = 2000ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limit.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

TEST(QtMainLoopTest, OneShotAndRepeatingTimersFireOnTheEventLoop) {
    QtMainLoop loop;
    std::vector<std::string> events;
    auto once = loop.scheduleOnce(30ms, [&] { events.push_back("once"); });
    int ticks = 0;
    auto repeating = loop.scheduleRepeating(10ms, [&] { ++ticks; });
    const auto start = loop.now();
    spinUntil([&] { return !events.empty() && ticks >= 3; });
    EXPECT_EQ(events, (std::vector<std::string>{"once"}));
    EXPECT_GE(ticks, 3);
    EXPECT_GE(loop.now() - start, 30ms);
    EXPECT_FALSE(once.isActive());
    EXPECT_TRUE(repeating.isActive());
}

TEST(QtMainLoopTest, CancelledCallsNeverRun) {
    QtMainLoop loop;
    bool fired = false;
    auto dropped = loop.scheduleOnce(5ms, [&] { fired = true; });
    dropped.reset();
    auto repeating = loop.scheduleRepeating(5ms, [&] { fired = true; });
    repeating = TimerHandle();
    // A destroyed context cancels calls of every kind, handles kept or none.
    auto context = std::make_unique<QObject>();
    auto ticks = loop.scheduleRepeating(
        5ms, [&] { fired = true; }, context.get());
    auto wall = loop.scheduleAtWallClock(
        loop.wallClock() + 5ms, [&] { fired = true; }, context.get());
    loop.post([&] { fired = true; }, context.get());
    loop.postAfter(
        5ms, [&] { fired = true; }, context.get());
    context.reset();
    EXPECT_FALSE(ticks.isActive());
    EXPECT_FALSE(wall.isActive());
    bool sentinel = false;
    auto later = loop.scheduleOnce(40ms, [&] { sentinel = true; });
    spinUntil([&] { return sentinel; });
    EXPECT_TRUE(sentinel);
    EXPECT_FALSE(fired);
}

TEST(QtMainLoopTest, WallClockTimersFireAtTheirDeadlineOrAtOnceWhenItHasPassed) {
    QtMainLoop loop;
    std::vector<std::string> events;
    const auto start = loop.wallClock();
    auto soon =
        loop.scheduleAtWallClock(loop.wallClock() + 30ms, [&] { events.push_back("soon"); });
    auto past = loop.scheduleAtWallClock(loop.wallClock() - 1h, [&] { events.push_back("past"); });
    auto dropped =
        loop.scheduleAtWallClock(loop.wallClock() + 10ms, [&] { events.push_back("x"); });
    dropped.reset();
    spinUntil([&] { return events.size() >= 2; });
    EXPECT_EQ(events, (std::vector<std::string>{"past", "soon"}));
    EXPECT_GE(loop.wallClock() - start, 29ms);
    EXPECT_FALSE(soon.isActive());
    EXPECT_FALSE(dropped.isActive());
}

TEST(QtMainLoopTest, PostFromAWorkerThreadRunsOnTheMainThread) {
    QtMainLoop loop;
    const auto mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    bool ran = false;
    std::thread worker([&] {
        loop.post([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
    });
    worker.join();
    spinUntil([&] { return ran; });
    EXPECT_EQ(ranOn, mainThread);
}

TEST(QtMainLoopTest, HandleOutlivingTheLoopIsHarmless) {
    TimerHandle survivor;
    TimerHandle wallClock;
    {
        QtMainLoop loop;
        survivor = loop.scheduleRepeating(5ms, [] {});
        wallClock = loop.scheduleAtWallClock(loop.wallClock() + 1h, [] {});
    }
    EXPECT_FALSE(survivor.isActive());
    EXPECT_FALSE(wallClock.isActive());
    survivor.reset();
    wallClock.reset();
}

} // namespace
