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

// The words of the line as the seconds run down are the question-times-out
// scenario's; here the line fades in below the buttons without moving them.
TEST_F(ClarifyingQuestionViewTest, AutoClosingLineAppearsFromFifteenSecondsDownAndMovesNothing) {
    QQuickItem* line = rig.item("autoClosing");
    QQuickItem* yes = rig.item("yesButton");
    rig.loop.advance(14s);
    EXPECT_EQ(line->opacity(), 0.0);
    const QRectF yesBefore = yes->mapRectToScene(QRectF(0, 0, yes->width(), yes->height()));

    rig.loop.advance(1s);
    EXPECT_EQ(line->opacity(), 1.0);
    EXPECT_EQ(rig.text("autoClosing"), u"Auto-closing in 15s"_s);
    EXPECT_EQ(yes->mapRectToScene(QRectF(0, 0, yes->width(), yes->height())), yesBefore);
    EXPECT_GT(line->mapToScene(QPointF(0, 0)).y(), yesBefore.bottom());
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
