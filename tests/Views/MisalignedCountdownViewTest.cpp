#include "ViewRig.h"

#include "support/QtPrinters.h"

using namespace aimset;
using namespace aimset::test;
using namespace std::chrono_literals;
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

TEST_F(MisalignedCountdownViewTest, ShowsTheSecondsAndTheAimsetButNotTheReason) {
    const std::pair<const char*, QString> lines[] = {
        {"seconds", u"15"_s},
        {"doesNotLookLike", u"This doesn't look like:"_s},
        {"aimset", u"Finish the quarterly report"_s},
        {"tabWillClose", u"Tab will close in 15s"_s},
        {"switchHint", u"Switch to something aligned to cancel"_s},
    };
    for (const auto& [name, text] : lines) {
        EXPECT_EQ(ViewRig::text(rig.item(name)), text) << name;
    }
    // Nothing on the card mentions the reason, and nothing takes a click.
    for (QQuickItem* child : rig.item("card")->findChildren<QQuickItem*>()) {
        EXPECT_FALSE(child->property("text").toString().contains(u"Video"_s));
        EXPECT_STRNE(child->metaObject()->className(), "QQuickMouseArea");
    }
}

TEST_F(MisalignedCountdownViewTest, BothNumbersFollowEveryTick) {
    for (int expected = 14; expected >= 1; --expected) {
        rig.loop.advance(1s);
        EXPECT_EQ(ViewRig::text(rig.item("seconds")), QString::number(expected));
        EXPECT_EQ(ViewRig::text(rig.item("tabWillClose")),
                  u"Tab will close in %1s"_s.arg(expected));
    }
}

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
