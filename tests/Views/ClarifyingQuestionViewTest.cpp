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

TEST_F(ClarifyingQuestionViewTest, AutoClosingLineAppearsFromFifteenSecondsDownAndMovesNothing) {
    QQuickItem* line = rig.item("autoClosing");
    const auto place = [this](const char* name) {
        QQuickItem* found = rig.item(name);
        return found->mapRectToScene(QRectF(0, 0, found->width(), found->height()));
    };
    rig.loop.advance(14s);
    EXPECT_EQ(rig.manager.clarifyTimeoutRemaining(), 16);
    EXPECT_EQ(line->opacity(), 0.0);
    const QRectF yesBefore = place("yesButton");
    const QRectF noBefore = place("noButton");
    const QRectF questionBefore = place("question");

    rig.loop.advance(1s);
    EXPECT_EQ(line->opacity(), 1.0);
    EXPECT_EQ(ViewRig::text(line), u"Auto-closing in 15s"_s);
    EXPECT_EQ(place("yesButton"), yesBefore);
    EXPECT_EQ(place("noButton"), noBefore);
    EXPECT_EQ(place("question"), questionBefore);
    EXPECT_GT(line->mapToScene(QPointF(0, 0)).y(), yesBefore.bottom());

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
    QObject::connect(&rig.manager, &InterventionManager::aimsetExpanded,
                     [&](const QString& aimset) { expanded = aimset; });
    rig.click(rig.item("yesButton"));
    EXPECT_EQ(rig.manager.phase(), InterventionManager::Phase::hidden);
    EXPECT_EQ(expanded, u"Write the report"_s);
    EXPECT_EQ(rig.keys.requests, 0);

    rig.manager.showClarifyingQuestion(u"Write the report"_s, u"Again?"_s);
    rig.click(rig.item("noButton"));
    EXPECT_EQ(rig.manager.phase(), InterventionManager::Phase::hidden);
    EXPECT_EQ(rig.keys.requests, 1);
    EXPECT_EQ(rig.log.lines().last(), u"[Intervention] User said NO \u2014 closing tab"_s);
}

} // namespace
