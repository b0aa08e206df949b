#include "Session/LaunchModal.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;

namespace {

struct LaunchModalTest : ::testing::Test {
    test::LogCapture log;
    LaunchModal modal;
    QStringList submitted;

    void SetUp() override {
        QObject::connect(&modal, &LaunchModal::submitted,
                         [this](const QString& aimset, int minutes) {
                             submitted << aimset + QStringLiteral(" / ") + QString::number(minutes);
                         });
    }
};

TEST_F(LaunchModalTest, StartHandsOverTheTrimmedAimsetAndGoalAndLogsItButBlankTextCannotStart) {
    modal.setAimsetText(QStringLiteral("  \n\t "));
    EXPECT_FALSE(modal.canStart());
    modal.submitLaunch();
    EXPECT_TRUE(log.take().isEmpty());
    modal.setAimsetText(QStringLiteral("  Finish the\nquarterly  report \n"));
    EXPECT_TRUE(modal.canStart());
    modal.submitLaunch();
    modal.setGoalIndex(3);
    modal.submitLaunch();
    EXPECT_EQ(submitted, (QStringList{QStringLiteral("Finish the\nquarterly  report / 0"),
                                      QStringLiteral("Finish the\nquarterly  report / 90")}));
    EXPECT_EQ(log.take(),
              (QStringList{QStringLiteral("Aimset: Finish the\nquarterly  report, Goal: 0m"),
                           QStringLiteral("Aimset: Finish the\nquarterly  report, Goal: 90m")}));
}

TEST_F(LaunchModalTest, TheSliderHasSevenStopsEndingAtThreeHours) {
    EXPECT_EQ(LaunchModal::goalLabels().join(QLatin1Char(',')),
              QStringLiteral("No goal,30m,1h,1h 30m,2h,2h 30m,3h"));
    modal.setGoalIndex(99);
    EXPECT_EQ(modal.goalIndex(), 6);
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
