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
    const std::pair<double, int> reached[] = {{899.99, 0}, {900, 25},   {1799, 25},
                                              {1800, 50},  {2700, 75},  {3599.9, 75},
                                              {3600, 100}, {9000, 100}, {-30, 0}};
    for (const auto& [seconds, milestone] : reached) {
        EXPECT_EQ(milestoneFor(seconds, 60), milestone) << seconds;
    }
    // The other three messages are on the goldens' screens.
    EXPECT_EQ(milestoneMessageFor(50), QStringLiteral("Halfway there."));
    EXPECT_EQ(milestoneMessageFor(0), QString());
}

} // namespace
