#include "Session/ContentView.h"
#include "Simulator/SimulatedDesktop.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// The user flows through the view (start, interventions, voice, the session clock,
// changing the aimset) are told by the golden scenarios; here what they cannot see.
namespace {

const QString kAimset = u"Finish the quarterly report"_s;

struct ContentViewTest : ::testing::Test {
    SimulatedDesktop sim;
    test::LogCapture log;
    std::unique_ptr<ContentView> view;

    void SetUp() override {
        sim.defaults.setBool(ContentView::onboardingKey, true);
        sim.workspace.setFrontmost(u"Firefox"_s, u"org.mozilla.firefox"_s, 100,
                                   u"Pricing - Acme"_s);
        view = std::make_unique<ContentView>(sim.desktop());
    }
    void start(int goalIndex = 0) {
        view->launchModal()->setAimsetText(kAimset);
        view->launchModal()->setGoalIndex(goalIndex);
        view->launchModal()->submitLaunch();
    }
};

// The goldens look at the display now and then (without a goal it has no goal
// line); it changes each time a minute turns, and only then.
TEST_F(ContentViewTest, WithoutAGoalTheDisplayRefreshesOnceAMinute) {
    start();
    int refreshes = 0;
    QObject::connect(view->session(), &FocusSession::displayChanged, [&refreshes] { ++refreshes; });
    sim.loop.advance(3h - 1s);
    EXPECT_EQ(refreshes, 179);
}

TEST_F(ContentViewTest, LateAnswersAfterTheViewIsGoneDoNothing) {
    sim.accessibility.windows.insert(100, FakeElement::make()->withValue(u"pricing"_s));
    start(1);
    sim.loop.advance(5s);
    sim.http.respondJson(sim.http.nextPending(), {{u"aligned"_s, false}});
    sim.loop.runPending(); // the window's text is read
    sim.http.respondJson(sim.http.nextPending(), {{u"verdict"_s, u"UNCLEAR"_s}});
    view->interventionManager()->userSaidYes();
    sim.loop.runPending();
    view.reset();
    log.clear();
    sim.http.respondJson(sim.http.nextPending(), {{u"expansion"_s, u"x"_s}});
    sim.loop.advance(4h);
    EXPECT_EQ(log.lines(), QStringList{u"[AlignmentChecker] Aimset expanded to: x"_s});
}

} // namespace
