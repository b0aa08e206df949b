#include "ViewRig.h"

#include "support/QtPrinters.h"

using namespace aimset;
using namespace aimset::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

struct ClarifyingQuestionViewTest : ::testing::Test {
    ViewRig rig;

    void SetUp() override {
        rig.manager.showClarifyingQuestion(u"Write the report"_s,
                                           u"Is this article research for the report?"_s);
        rig.load(u"ClarifyingQuestionView"_s);
    }
};

TEST_F(ClarifyingQuestionViewTest, ShowsTheQuestionAndBothAnswersOnTheCard) {
    QQuickItem* question = rig.item("question");
    EXPECT_EQ(ViewRig::text(question), u"Is this article research for the report?"_s);
    EXPECT_EQ(ViewRig::font(question).pixelSize(), 18);
    EXPECT_EQ(ViewRig::font(question).weight(), QFont::Medium);
    expectColour(ViewRig::color(question), 255, 1.0);
    EXPECT_EQ(question->property("maximumLineCount").toInt(), 3);

    QQuickItem* yes = rig.item("yesLabel");
    QQuickItem* no = rig.item("noLabel");
    EXPECT_EQ(ViewRig::text(yes), u"Yes, it's relevant"_s);
    EXPECT_EQ(ViewRig::text(no), u"No, close this"_s);
    for (QQuickItem* label : {yes, no}) {
        EXPECT_EQ(ViewRig::font(label).pixelSize(), 16);
        EXPECT_EQ(ViewRig::font(label).weight(), QFont::Medium);
    }
    expectColour(ViewRig::color(yes), 0, 1.0);
    expectColour(ViewRig::color(no), 255, 0.8);

    // Two equal buttons with 12 points between them across the 356-point
    // column; Yes filled white, No only outlined.
    QQuickItem* yesButton = rig.item("yesButton");
    QQuickItem* noButton = rig.item("noButton");
    EXPECT_DOUBLE_EQ(yesButton->width(), 172.0);
    EXPECT_DOUBLE_EQ(noButton->width(), 172.0);
    EXPECT_DOUBLE_EQ(noButton->x() - (yesButton->x() + yesButton->width()), 12.0);
    EXPECT_DOUBLE_EQ(yesButton->height(), yes->implicitHeight() + 24);
    EXPECT_EQ(yesButton->property("radius").toDouble(), 10.0);
    expectColour(ViewRig::color(yesButton), 255, 1.0);
    EXPECT_EQ(ViewRig::color(noButton).alpha(), 0);
    auto* noBorder = qvariant_cast<QObject*>(noButton->property("border"));
    ASSERT_TRUE(noBorder);
    EXPECT_EQ(noBorder->property("width").toInt(), 1);
    expectColour(noBorder->property("color").value<QColor>(), 255, 0.3);

    QQuickItem* card = rig.item("card");
    EXPECT_DOUBLE_EQ(card->width(), 420.0);
    EXPECT_EQ(card->property("radius").toDouble(), 12.0);
    expectColour(ViewRig::color(card), 0, 0.95);
    auto* cardBorder = qvariant_cast<QObject*>(card->property("border"));
    ASSERT_TRUE(cardBorder);
    EXPECT_EQ(cardBorder->property("width").toInt(), 1);
    expectColour(cardBorder->property("color").value<QColor>(), 255, 0.1);
    EXPECT_DOUBLE_EQ(question->mapToItem(card, QPointF(0, 0)).x(), 32.0);
    EXPECT_DOUBLE_EQ(question->mapToItem(card, QPointF(0, 0)).y(), 32.0);
    EXPECT_DOUBLE_EQ(question->width(), 356.0);
}

TEST_F(ClarifyingQuestionViewTest, AutoClosingLineAppearsFromFifteenSecondsDown) {
    QQuickItem* line = rig.item("autoClosing");
    rig.loop.advance(14s);
    EXPECT_EQ(rig.manager.clarifyTimeoutRemaining(), 16);
    EXPECT_FALSE(line->isVisible());
    const double heightWithout = rig.item("card")->height();

    rig.loop.advance(1s);
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(ViewRig::text(line), u"Auto-closing in 15s"_s);
    EXPECT_EQ(ViewRig::font(line).pixelSize(), 13);
    expectColour(ViewRig::color(line), 255, 0.4);
    // Added below the buttons, 20 points further down.
    QQuickItem* yesButton = rig.item("yesButton");
    EXPECT_DOUBLE_EQ(line->mapToItem(rig.item("card"), QPointF(0, 0)).y(),
                     yesButton->mapToItem(rig.item("card"), QPointF(0, 0)).y() +
                         yesButton->height() + 20);
    EXPECT_DOUBLE_EQ(rig.item("card")->height(), heightWithout + 20 + line->height());

    rig.loop.advance(14s);
    EXPECT_EQ(ViewRig::text(line), u"Auto-closing in 1s"_s);
}

TEST_F(ClarifyingQuestionViewTest, ALongQuestionIsCutToThreeLines) {
    rig.manager.userSaidYes();
    rig.manager.showClarifyingQuestion(
        u"Write the report"_s,
        u"Is this long thread about keyboards, desk lamps, monitor arms, cable trays, standing "
        "desks, chairs, foot rests and the best colour of sticky notes really part of finishing "
        "the quarterly report, or is it a detour that can wait until the report is done?"_s);
    QQuickItem* question = rig.item("question");
    EXPECT_EQ(question->property("lineCount").toInt(), 3);
    EXPECT_TRUE(question->property("truncated").toBool());
}

TEST_F(ClarifyingQuestionViewTest, TheButtonsAnswerThroughTheManager) {
    QString expanded;
    rig.manager.onAimsetExpanded = [&](const QString& aimset) { expanded = aimset; };
    rig.click(rig.item("yesButton"));
    EXPECT_EQ(rig.manager.phase(), InterventionManager::Phase::hidden);
    EXPECT_EQ(expanded, u"Write the report"_s);
    EXPECT_TRUE(rig.keys.posted.empty());

    rig.manager.showClarifyingQuestion(u"Write the report"_s, u"Again?"_s);
    rig.click(rig.item("noButton"));
    EXPECT_EQ(rig.manager.phase(), InterventionManager::Phase::hidden);
    EXPECT_EQ(rig.keys.posted.size(), 2u);
    EXPECT_EQ(rig.log.lines().last(), u"[Intervention] User said NO \u2014 closing tab"_s);
}

} // namespace
