#include "Interventions/InterventionManager.h"
#include "Interventions/TabCloser.h"
#include "Interventions/UsageStore.h"
#include "QmlWindowRig.h"
#include "support/SimulatedDesktop.h"

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// The question's view over a manager on the simulated desktop.
struct ClarifyingQuestionViewTest : ::testing::Test, test::QmlWindowRig {
    test::SimulatedDesktop sim;
    TabCloser tabCloser{sim.frontTab};
    UsageStore usage{sim.secrets};
    InterventionManager manager{sim.loop, sim.panels, tabCloser, usage,
                                [](std::function<void()> task) { task(); }};

    void SetUp() override {
        manager.showClarifyingQuestion(u"Write the report"_s,
                                       u"Is this article research for the report?"_s);
        load(u"ClarifyingQuestionView"_s, {{u"manager"_s, QVariant::fromValue(&manager)}},
             QSize(420, 280));
    }
    // The view goes before the manager it observes.
    ~ClarifyingQuestionViewTest() override { root.reset(); }
};

// The words of the line as the seconds run down are the question-times-out
// scenario's, "yes" is the question-yes scenario's and "no" the end-to-end
// test's; here the line fades in below the buttons without moving them.
TEST_F(ClarifyingQuestionViewTest, AutoClosingLineAppearsFromFifteenSecondsDownAndMovesNothing) {
    QQuickItem* line = item("autoClosing");
    QQuickItem* yes = item("yesButton");
    sim.loop.advance(14s);
    EXPECT_EQ(line->opacity(), 0.0);
    const QRectF yesBefore = yes->mapRectToScene(QRectF(0, 0, yes->width(), yes->height()));

    sim.loop.advance(1s);
    EXPECT_EQ(line->opacity(), 1.0);
    EXPECT_EQ(yes->mapRectToScene(QRectF(0, 0, yes->width(), yes->height())), yesBefore);
    EXPECT_GT(line->mapToScene(QPointF(0, 0)).y(), yesBefore.bottom());
}

} // namespace
