#include "ViewRig.h"

#include "support/QtPrinters.h"

using namespace aimset;
using namespace aimset::test;
using namespace Qt::StringLiterals;

namespace {

struct MisalignedCountdownViewTest : ::testing::Test {
    ViewRig rig;

    void SetUp() override {
        rig.manager.startMisalignedCountdown(u"Finish the quarterly report"_s,
                                             u"Video streaming site"_s);
        rig.load(u"MisalignedCountdownView"_s);
    }
};

// Its texts as the seconds run down are in the simulator's golden scenarios.
TEST_F(MisalignedCountdownViewTest, ALongAimsetIsCutToTwoLines) {
    rig.manager.autoDismiss();
    rig.manager.startMisalignedCountdown(
        u"Finish the quarterly report for the board, including the regional breakdown, the "
        "hiring plan and the updated forecast for the next two quarters"_s,
        u"Shopping"_s);
    QQuickItem* aimset = rig.item("aimset");
    EXPECT_EQ(aimset->property("lineCount").toInt(), 2);
    EXPECT_TRUE(aimset->property("truncated").toBool());
}

} // namespace
