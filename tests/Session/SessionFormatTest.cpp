#include "Session/SessionFormat.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;

namespace {

TEST(SessionFormatTest, Durations) {
    EXPECT_EQ(formatDuration(-5), QStringLiteral("< 1m"));
    EXPECT_EQ(formatDuration(59), QStringLiteral("< 1m"));
    EXPECT_EQ(formatDuration(60), QStringLiteral("1m"));
    EXPECT_EQ(formatDuration(1500), QStringLiteral("25m"));
    EXPECT_EQ(formatDuration(3599), QStringLiteral("59m"));
    EXPECT_EQ(formatDuration(3600), QStringLiteral("1h 0m"));
    EXPECT_EQ(formatDuration(8100), QStringLiteral("2h 15m"));
    EXPECT_EQ(formatDuration(10800), QStringLiteral("3h 0m"));
}

TEST(SessionFormatTest, Goals) {
    EXPECT_EQ(formatGoal(30), QStringLiteral("30m"));
    EXPECT_EQ(formatGoal(60), QStringLiteral("1h"));
    EXPECT_EQ(formatGoal(90), QStringLiteral("1h 30m"));
    EXPECT_EQ(formatGoal(120), QStringLiteral("2h"));
    EXPECT_EQ(formatGoal(150), QStringLiteral("2h 30m"));
    EXPECT_EQ(formatGoal(180), QStringLiteral("3h"));
}

TEST(SessionFormatTest, MilestonesTruncateAndNeedAGoal) {
    EXPECT_EQ(milestoneFor(10000, 0), 0);
    // 60 minutes: 25 % is 900 s.
    EXPECT_EQ(milestoneFor(899.99, 60), 0);
    EXPECT_EQ(milestoneFor(900, 60), 25);
    EXPECT_EQ(milestoneFor(1799, 60), 25);
    EXPECT_EQ(milestoneFor(1800, 60), 50);
    EXPECT_EQ(milestoneFor(2700, 60), 75);
    EXPECT_EQ(milestoneFor(3599.9, 60), 75);
    EXPECT_EQ(milestoneFor(3600, 60), 100);
    EXPECT_EQ(milestoneFor(9000, 60), 100);
    EXPECT_EQ(milestoneFor(-30, 60), 0);
    EXPECT_EQ(milestoneMessageFor(25), QStringLiteral("Great start. Keep going."));
    EXPECT_EQ(milestoneMessageFor(50), QStringLiteral("Halfway there."));
    EXPECT_EQ(milestoneMessageFor(75), QStringLiteral("Almost there. Don't stop now."));
    EXPECT_EQ(milestoneMessageFor(100), QStringLiteral("Goal reached! Keep going or end session."));
    EXPECT_EQ(milestoneMessageFor(0), QString());
}

} // namespace
