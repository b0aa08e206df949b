#include "Session/ContentView.h"
#include "support/LogCapture.h"
#include "support/SimulatedDesktop.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

// The user flows through the view (start, interventions, voice, the session clock,
// changing the aimset) are told by the golden scenarios; here what they cannot see.
namespace {

const QString kAimset = QStringLiteral("Finish the quarterly report");

struct ContentViewTest : ::testing::Test {
    test::SimulatedDesktop sim;
    test::LogCapture log;
    std::unique_ptr<ContentView> view;

    void SetUp() override {
        sim.defaults.setBool(ContentView::onboardingKey, true);
        sim.workspace.setFrontmost(QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox"),
                                   100, QStringLiteral("Q3 numbers - Sheets"));
        view = std::make_unique<ContentView>(sim.desktop());
    }
    void start(const QString& aimset = kAimset, int goalIndex = 0) {
        view->launchModal()->setAimsetText(aimset);
        view->launchModal()->setGoalIndex(goalIndex);
        view->launchModal()->submitLaunch();
    }
    void browse(const QString& title, std::int32_t pid = 100) {
        sim.workspace.setFrontmost(QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox"),
                                   pid, title);
    }
    // Answers the pending title check; a "no" reads the window's text next.
    void answerTitle(bool aligned) {
        sim.http.respondJson(sim.http.nextPending(), {{QStringLiteral("aligned"), aligned}});
        sim.loop.runPending(); // the window's text is read
    }
};

// The goldens look at the display now and then; it changes each time a
// minute turns, and without a goal it has no goal line.
TEST_F(ContentViewTest, WithoutAGoalTheDisplayRefreshesOnceAMinuteWithNoGoalLine) {
    start();
    int refreshes = 0;
    QObject::connect(view->session(), &FocusSession::displayChanged, [&refreshes] { ++refreshes; });
    sim.loop.advance(3h - 1s);
    EXPECT_EQ(refreshes, 179);
    EXPECT_EQ(view->session()->focusedText(), QStringLiteral("Focused for 2h 59m"));
    EXPECT_EQ(view->session()->goalProgressText(), QString());
}

TEST_F(ContentViewTest, LateAnswersAfterTheViewIsGoneDoNothing) {
    sim.accessibility.windows.insert(100,
                                     FakeElement::make()->withValue(QStringLiteral("pricing")));
    start(kAimset, 1);
    browse(QStringLiteral("Pricing - Acme"));
    sim.loop.advance(5s);
    answerTitle(false);
    sim.http.respondJson(sim.http.nextPending(),
                         {{QStringLiteral("verdict"), QStringLiteral("UNCLEAR")}});
    view->interventionManager()->userSaidYes();
    sim.loop.runPending();
    view.reset();
    log.clear();
    sim.http.respondJson(sim.http.nextPending(),
                         {{QStringLiteral("expansion"), QStringLiteral("x")}});
    sim.loop.advance(4h);
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("[AlignmentChecker] Aimset expanded to: x")});
}

} // namespace
