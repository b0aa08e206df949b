#include "Session/LaunchModal.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;

namespace {

// Starting with the trimmed aimset, and never with blanks, and the empty
// field of a new session are told by the goldens; here the slider's ends.
TEST(LaunchModalTest, TheSliderHasSevenStopsEndingAtThreeHours) {
    LaunchModal modal;
    modal.setGoalIndex(99);
    EXPECT_EQ(modal.goalLabel(), QStringLiteral("3h"));
    EXPECT_EQ(LaunchModal::goalMinutes(6), 180);
    modal.setGoalIndex(-4);
    EXPECT_EQ(modal.goalIndex(), 0);
}

} // namespace
