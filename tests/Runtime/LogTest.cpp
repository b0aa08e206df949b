#include "Runtime/Log.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace aimset;

namespace {

TEST(LogTest, SinkReceivesWholeLinesAndIsRestored) {
    QStringList outer;
    auto previous = setLogSink([&](const QString& line) { outer << line; });
    {
        test::LogCapture capture;
        Log(QStringLiteral("[Intervention] Countdown expired \u2014 auto-closing tab"));
        EXPECT_EQ(capture.lines(),
                  QStringList{
                      QStringLiteral("[Intervention] Countdown expired \u2014 auto-closing tab")});
    }
    Log(QStringLiteral("after"));
    setLogSink(std::move(previous));
    EXPECT_EQ(outer, QStringList{QStringLiteral("after")});
}

TEST(LogTest, LinesFromManyThreadsNeverInterleave) {
    test::LogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 250; ++i) {
                Log(QStringLiteral("thread %1 line %2").arg(t).arg(i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const QStringList lines = capture.lines();
    ASSERT_EQ(lines.size(), 1000);
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith(QStringLiteral("thread "))) << line.toStdString();
    }
}

} // namespace
