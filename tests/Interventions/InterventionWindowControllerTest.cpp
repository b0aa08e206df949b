#include "Interventions/InterventionWindowController.h"

#include "Platform/Fake/FakePanelHost.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

struct InterventionWindowControllerTest : ::testing::Test {
    FakePanelHost host;
    QObject model;
    InterventionWindowController controller{host};
};

TEST_F(InterventionWindowControllerTest, ShowsEachViewCentredAtItsSizeObservingTheModel) {
    controller.showQuestionPanel(&model);
    EXPECT_EQ(host.lastRequest.model, &model);
    EXPECT_TRUE(controller.hasPanel());
    controller.hidePanel();
    controller.showCountdownPanel(&model);
    EXPECT_EQ(host.lastRequest.model, &model);
    controller.hidePanel();
    EXPECT_EQ(host.calls, (QStringList{u"present ClarifyingQuestionView 420x250 centred"_s,
                                       u"orderOut ClarifyingQuestionView"_s,
                                       u"present MisalignedCountdownView 420x280 centred"_s,
                                       u"orderOut MisalignedCountdownView"_s}));
    EXPECT_EQ(host.panelsOnScreen, 0);
    EXPECT_FALSE(controller.hasPanel());
}

TEST_F(InterventionWindowControllerTest, NeverTwoPanelsNeverAReusedOneAndHidingNothingIsQuiet) {
    controller.hidePanel();
    controller.showQuestionPanel(&model);
    controller.showQuestionPanel(&model);
    controller.showCountdownPanel(&model);
    EXPECT_EQ(host.panelsOnScreen, 1);
    EXPECT_EQ(host.calls, (QStringList{u"present ClarifyingQuestionView 420x250 centred"_s,
                                       u"orderOut ClarifyingQuestionView"_s,
                                       u"present ClarifyingQuestionView 420x250 centred"_s,
                                       u"orderOut ClarifyingQuestionView"_s,
                                       u"present MisalignedCountdownView 420x280 centred"_s}));
    controller.hidePanel();
    controller.hidePanel();
    EXPECT_EQ(host.calls.size(), 6);
}

TEST_F(InterventionWindowControllerTest, DestroyingTheControllerTakesThePanelAway) {
    {
        InterventionWindowController shortLived(host);
        shortLived.showCountdownPanel(&model);
        EXPECT_EQ(host.panelsOnScreen, 1);
    }
    EXPECT_EQ(host.panelsOnScreen, 0);
}

} // namespace
