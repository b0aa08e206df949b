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
    QQuickItem* seconds = rig.item("seconds");
    EXPECT_EQ(ViewRig::text(seconds), u"15"_s);
    EXPECT_EQ(ViewRig::font(seconds).pixelSize(), 48);
    EXPECT_EQ(ViewRig::font(seconds).weight(), QFont::Bold);
    EXPECT_EQ(ViewRig::font(seconds).family(), u"monospace"_s);
    expectColour(ViewRig::color(seconds), 255, 1.0);

    QQuickItem* label = rig.item("doesNotLookLike");
    EXPECT_EQ(ViewRig::text(label), u"This doesn't look like:"_s);
    EXPECT_EQ(ViewRig::font(label).pixelSize(), 16);
    expectColour(ViewRig::color(label), 255, 0.6);

    QQuickItem* aimset = rig.item("aimset");
    EXPECT_EQ(ViewRig::text(aimset), u"Finish the quarterly report"_s);
    EXPECT_EQ(ViewRig::font(aimset).pixelSize(), 20);
    EXPECT_EQ(ViewRig::font(aimset).weight(), QFont::DemiBold);
    expectColour(ViewRig::color(aimset), 255, 1.0);
    EXPECT_EQ(aimset->property("maximumLineCount").toInt(), 2);

    QQuickItem* tabLine = rig.item("tabWillClose");
    EXPECT_EQ(ViewRig::text(tabLine), u"Tab will close in 15s"_s);
    EXPECT_EQ(ViewRig::font(tabLine).pixelSize(), 14);
    expectColour(ViewRig::color(tabLine), 255, 0.4);

    QQuickItem* hint = rig.item("switchHint");
    EXPECT_EQ(ViewRig::text(hint), u"Switch to something aligned to cancel"_s);
    EXPECT_EQ(ViewRig::font(hint).pixelSize(), 13);
    expectColour(ViewRig::color(hint), 255, 0.3);

    // Top to bottom, 20 points apart, inside 32 points of padding.
    QQuickItem* card = rig.item("card");
    double expectedY = 32;
    for (QQuickItem* item : {seconds, label, aimset, tabLine, hint}) {
        EXPECT_DOUBLE_EQ(item->mapToItem(card, QPointF(0, 0)).y(), expectedY);
        expectedY += item->height() + 20;
    }
    EXPECT_DOUBLE_EQ(card->height(), expectedY - 20 + 32);
    EXPECT_DOUBLE_EQ(card->width(), 420.0);
    expectColour(ViewRig::color(card), 0, 0.95);

    // Nothing on the card mentions the reason, and nothing takes a click.
    for (QQuickItem* child : card->findChildren<QQuickItem*>()) {
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
