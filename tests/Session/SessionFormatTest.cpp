#include "Session/SessionFormat.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;

namespace {

TEST(SessionFormatTest, DurationsAndGoals) {
    QStringList durations;
    for (const int seconds : {-5, 59, 60, 1500, 3599, 3600, 8100, 10800}) {
        durations << formatDuration(seconds);
    }
    EXPECT_EQ(durations.join(QLatin1Char(',')),
              QStringLiteral("< 1m,< 1m,1m,25m,59m,1h 0m,2h 15m,3h 0m"));
    QStringList goals;
    for (const int minutes : {30, 60, 90, 120, 150, 180}) {
        goals << formatGoal(minutes);
    }
    EXPECT_EQ(goals.join(QLatin1Char(',')), QStringLiteral("30m,1h,1h 30m,2h,2h 30m,3h"));
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
