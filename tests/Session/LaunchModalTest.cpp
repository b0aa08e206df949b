#include "Session/LaunchModal.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;

namespace {

// Starting with the trimmed aimset, and never with blanks, is told by the
// goldens and the simulator's presses; here the slider and the prefilled text.
struct LaunchModalTest : ::testing::Test {
    LaunchModal modal;
};

TEST_F(LaunchModalTest, TheSliderHasSevenStopsEndingAtThreeHours) {
    modal.setGoalIndex(99);
    EXPECT_EQ(modal.goalLabel(), QStringLiteral("3h"));
    EXPECT_EQ(LaunchModal::goalMinutes(6), 180);
    modal.setGoalIndex(-4);
    EXPECT_EQ(modal.goalIndex(), 0);
}

TEST_F(LaunchModalTest, TheInitialAimsetIsAppliedOnceOnAppearance) {
    LaunchModal prefilled(QStringLiteral("Plan the offsite"));
    EXPECT_EQ(prefilled.aimsetText(), QString());
    prefilled.appear();
    EXPECT_EQ(prefilled.aimsetText(), QStringLiteral("Plan the offsite"));
    prefilled.setAimsetText(QStringLiteral("Edited"));
    prefilled.appear();
    EXPECT_EQ(prefilled.aimsetText(), QStringLiteral("Edited"));
    modal.appear();
    EXPECT_EQ(modal.aimsetText(), QString());
}

} // namespace
