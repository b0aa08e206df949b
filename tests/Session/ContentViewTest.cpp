#include "Session/ContentView.h"
#include "Interventions/UsageStore.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/SimulatedDesktop.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using Phase = InterventionManager::Phase;

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
        // A window that shows no text: its title is what the text check sends.
        sim.accessibility.windows.insert(100, FakeElement::make());
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
    // Title "no", then the text check (of a window showing no text) says misaligned.
    void answerMisaligned() {
        answerTitle(false);
        sim.http.respondJson(sim.http.nextPending(),
                             {{QStringLiteral("verdict"), QStringLiteral("MISALIGNED")},
                              {QStringLiteral("reason"), QStringLiteral("Off topic")}});
    }
    QStringList linesWith(const QString& fragment) const { return log.lines().filter(fragment); }
};

// ---- launch and start -----------------------------------------------------------------------

TEST(ContentViewLaunchTest, FirstLaunchShowsOnboardingUntilItCompletes) {
    test::SimulatedDesktop sim;
    sim.accessibility.trusted = false;
    ContentView view(sim.desktop());
    EXPECT_FALSE(view.hasCompletedOnboarding());
    EXPECT_TRUE(view.showLaunchModal());

    // The onboarding's own pages, through to the accessibility step.
    OnboardingFlow& onboarding = *view.onboarding();
    onboarding.appear();
    sim.loop.advance(5900ms);
    onboarding.next();
    sim.loop.advance(15200ms);
    onboarding.next();
    sim.loop.advance(4735ms);
    onboarding.next();
    onboarding.enableAccessibility();
    sim.loop.advance(10s);
    EXPECT_FALSE(view.hasCompletedOnboarding());
    EXPECT_EQ(sim.defaults.calls.filter(ContentView::onboardingKey), QStringList());

    // Access arrives during polling: "Done", and 0.3 s later the launch modal.
    sim.accessibility.trusted = true;
    sim.loop.advance(1300ms);
    EXPECT_TRUE(view.hasCompletedOnboarding());
    EXPECT_TRUE(view.showLaunchModal());
    EXPECT_TRUE(view.launchModal());
    EXPECT_EQ(sim.defaults.calls.filter(ContentView::onboardingKey),
              QStringList{QStringLiteral("setBool hasCompletedOnboarding true")});

    ContentView nextLaunch(sim.desktop());
    EXPECT_TRUE(nextLaunch.hasCompletedOnboarding());
    EXPECT_TRUE(nextLaunch.showLaunchModal());
}

TEST_F(ContentViewTest, StartingRunsTheStartSequenceInOrder) {
    log.clear();
    start(QStringLiteral("  ") + kAimset + QStringLiteral(" \n"), 3);
    EXPECT_FALSE(view->showLaunchModal());
    EXPECT_EQ(view->session()->aimset(), kAimset);
    EXPECT_EQ(view->session()->focusGoalMinutes(), 90);
    EXPECT_EQ(view->appMonitor()->userAimset(), kAimset);
    EXPECT_TRUE(view->appMonitor()->isMonitoring());
    EXPECT_EQ(view->session()->sessionStartDate(), std::optional(sim.loop.wallClock()));
    EXPECT_TRUE(view->session()->hasSessionTimers());
    EXPECT_TRUE(sim.voiceChord.watching());
    const QStringList lines = log.take();
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines.mid(0, 4),
              (QStringList{QStringLiteral("Aimset: ") + kAimset + QStringLiteral(", Goal: 90m"),
                           QStringLiteral("[AppMonitor] Accessibility: trusted"),
                           QStringLiteral("[AppMonitor] App: Firefox (org.mozilla.firefox) | "
                                          "Window: Q3 numbers - Sheets"),
                           QStringLiteral("[AppMonitor] Started monitoring")}));
    EXPECT_EQ(lines.last(), QStringLiteral("[Hotkey] Global hotkey monitor started (Alt+M)"));
    EXPECT_EQ(view->session()->focusedText(), QStringLiteral("Focused for < 1m"));
    EXPECT_EQ(view->session()->goalProgressText(), QStringLiteral("< 1m / 1h 30m"));
}

// ---- interventions, end to end over the fakes ---------------------------------------------------

TEST_F(ContentViewTest, ADistractingTabIsClosedAfterTheCountdownAndNotCountedAsFocus) {
    start();
    browse(QStringLiteral("Cat videos - YouTube"));
    sim.loop.advance(5s);
    answerMisaligned();
    EXPECT_EQ(view->interventionManager()->phase(), Phase::misalignedCountdown);
    EXPECT_EQ(sim.panels.calls.last(),
              QStringLiteral("present MisalignedCountdownView 420x280 centred"));
    EXPECT_EQ(view->appMonitor()->interventionWindowTitle(),
              QStringLiteral("Cat videos - YouTube"));
    EXPECT_EQ(linesWith(QStringLiteral("Poll interval")),
              QStringList{QStringLiteral("[AppMonitor] Poll interval set to 0.5s")});

    sim.loop.advance(15s);
    EXPECT_EQ(view->interventionManager()->phase(), Phase::hidden);
    EXPECT_EQ(sim.frontTab.requests, 1);
    EXPECT_EQ(sim.panels.panelsOnScreen, 0);
    // The tab is gone: the next poll looks afresh, slowly.
    EXPECT_EQ(view->appMonitor()->lastCheckedWindowTitle(), QString());
    EXPECT_EQ(view->appMonitor()->interventionWindowTitle(), QString());
    EXPECT_EQ(linesWith(QStringLiteral("Poll interval")).last(),
              QStringLiteral("[AppMonitor] Poll interval set to 5.0s"));
    EXPECT_EQ(linesWith(QStringLiteral("[TabCloser]")),
              QStringList{QStringLiteral("[TabCloser] Sent Ctrl+W via XTest")});
    // 20 seconds passed, 15 of them with the countdown on screen.
    EXPECT_NEAR(view->session()->focusedSeconds(), 5.0, 0.6);
}

TEST_F(ContentViewTest, SwitchingAwayDuringTheCountdownClosesNothing) {
    start();
    browse(QStringLiteral("Cat videos - YouTube"));
    sim.loop.advance(5s);
    answerMisaligned();
    sim.loop.advance(3s);
    browse(QStringLiteral("Q3 numbers - Sheets"));
    sim.loop.advance(500ms);
    EXPECT_EQ(view->interventionManager()->phase(), Phase::hidden);
    sim.loop.advance(30s);
    EXPECT_EQ(sim.frontTab.requests, 0);
    EXPECT_EQ(linesWith(QStringLiteral("Auto-dismissed")).size(), 1);
}

TEST_F(ContentViewTest, YesWidensTheAimsetAndTheWindowStaysAligned) {
    sim.accessibility.windows.insert(100,
                                     FakeElement::make()->withValue(QStringLiteral("pricing")));
    start();
    browse(QStringLiteral("Pricing - Acme"));
    sim.loop.advance(5s);
    answerTitle(false);
    sim.http.respondJson(
        sim.http.nextPending(),
        {{QStringLiteral("verdict"), QStringLiteral("UNCLEAR")},
         {QStringLiteral("question"), QStringLiteral("Is Acme's pricing part of it?")}});
    EXPECT_EQ(view->interventionManager()->phase(), Phase::clarifyingQuestion);
    const auto sentBeforeYes = sim.http.calls.size();
    view->interventionManager()->userSaidYes();
    // The expansion goes out from a task of its own, after the Yes is done with.
    EXPECT_EQ(sim.http.calls.size(), sentBeforeYes);
    EXPECT_EQ(log.lines().last(),
              QStringLiteral("[Intervention] User said YES \u2014 expanding aimset"));
    sim.loop.runPending();
    ASSERT_EQ(sim.http.calls.size(), sentBeforeYes + 1);
    const QJsonObject expand = sim.http.calls.back().json();
    EXPECT_EQ(expand.value(QStringLiteral("mode")).toString(), QStringLiteral("expand"));
    EXPECT_EQ(expand.value(QStringLiteral("windowTitle")).toString(),
              QStringLiteral("Pricing - Acme"));
    EXPECT_EQ(expand.value(QStringLiteral("aimset")).toString(), kAimset);
    sim.http.respondJson(sim.http.nextPending(),
                         {{QStringLiteral("expansion"), QStringLiteral("competitor pricing")}});
    const QString widened = kAimset + QStringLiteral(" (including competitor pricing)");
    EXPECT_EQ(view->session()->aimset(), widened);
    EXPECT_EQ(view->appMonitor()->userAimset(), widened);
    EXPECT_TRUE(view->appMonitor()->isTemporaryAimset());
    EXPECT_EQ(view->appMonitor()->originalAimset(), kAimset);

    const auto requests = sim.http.calls.size();
    sim.loop.advance(10s);
    EXPECT_EQ(sim.http.calls.size(), requests);
    EXPECT_EQ(view->appMonitor()->lastAlignmentResult(), QStringLiteral("ALIGNED"));
    EXPECT_EQ(sim.frontTab.requests, 0);
}

TEST_F(ContentViewTest, YesWithoutAnExpansionKeepsTheAimsetButAlignsTheWindow) {
    sim.accessibility.windows.insert(100,
                                     FakeElement::make()->withValue(QStringLiteral("pricing")));
    start();
    browse(QStringLiteral("Pricing - Acme"));
    sim.loop.advance(5s);
    answerTitle(false);
    sim.http.respondJson(sim.http.nextPending(),
                         {{QStringLiteral("verdict"), QStringLiteral("unclear")}});
    view->interventionManager()->userSaidYes();
    sim.loop.runPending();
    sim.http.fail(sim.http.nextPending(), QStringLiteral("Connection refused"));
    EXPECT_EQ(view->session()->aimset(), kAimset);
    EXPECT_FALSE(view->appMonitor()->isTemporaryAimset());
    EXPECT_EQ(view->appMonitor()->cachedVerdict(QStringLiteral("Firefox"),
                                                QStringLiteral("Pricing - Acme")),
              AlignmentVerdict::aligned());
}

// ---- voice
// ---------------------------------------------------------------------------------------

TEST_F(ContentViewTest, ASpokenAimsetBecomesTemporaryButNotWhileAQuestionIsShown) {
    start();
    sim.loop.runPending();
    const auto altM = [&](bool down) {
        if (down) {
            sim.voiceChord.press();
        } else {
            sim.voiceChord.release();
        }
        sim.loop.runPending();
    };
    altM(true);
    ASSERT_TRUE(view->voiceAimsetManager()->isListening());
    sim.speech.hear(QStringLiteral(" plan the offsite "));
    sim.loop.runPending();
    altM(false);
    EXPECT_EQ(view->session()->aimset(), QStringLiteral("plan the offsite"));
    EXPECT_TRUE(view->appMonitor()->isTemporaryAimset());

    view->interventionManager()->showClarifyingQuestion(view->appMonitor()->userAimset(),
                                                        QStringLiteral("Is this it?"));
    const auto calls = sim.speech.calls.size();
    altM(true);
    EXPECT_FALSE(view->voiceAimsetManager()->isListening());
    EXPECT_EQ(sim.speech.calls.size(), calls);
    altM(false);
    EXPECT_EQ(linesWith(QStringLiteral("[Voice] Started listening")).size(), 1);
}

// ---- the session clock
// ---------------------------------------------------------------------------

TEST_F(ContentViewTest, MilestonesAreAnnouncedOnceEachAndClearAfterThreeSeconds) {
    start(kAimset, 1); // 30 minutes
    sim.loop.advance(449s);
    EXPECT_EQ(view->session()->milestoneMessage(), QString());
    sim.loop.advance(1s); // 450 s is a quarter of 30 minutes
    EXPECT_EQ(view->session()->milestoneMessage(), QStringLiteral("Great start. Keep going."));
    EXPECT_EQ(view->session()->lastMilestone(), 25);
    sim.loop.advance(2999ms);
    EXPECT_EQ(view->session()->milestoneMessage(), QStringLiteral("Great start. Keep going."));
    sim.loop.advance(1ms);
    EXPECT_EQ(view->session()->milestoneMessage(), QString());
    sim.loop.advance(std::chrono::seconds(1800 - 453));
    EXPECT_EQ(view->session()->milestoneMessage(),
              QStringLiteral("Goal reached! Keep going or end session."));
    EXPECT_DOUBLE_EQ(view->session()->goalProgress(), 1.0);
    EXPECT_EQ(view->session()->goalProgressText(), QStringLiteral("30m / 30m"));
}

TEST_F(ContentViewTest, WithoutAGoalThereAreNoMilestonesAndNoGoalLine) {
    start();
    int refreshes = 0;
    QObject::connect(view->session(), &FocusSession::displayChanged, [&refreshes] { ++refreshes; });
    sim.loop.advance(3h - 1s);
    // The display tells its views only when a minute turns.
    EXPECT_EQ(refreshes, 179);
    EXPECT_EQ(view->session()->focusedText(), QStringLiteral("Focused for 2h 59m"));
    EXPECT_EQ(view->session()->milestoneMessage(), QString());
    EXPECT_EQ(view->session()->lastMilestone(), 0);
    EXPECT_EQ(view->session()->goalProgressText(), QString());
}

TEST_F(ContentViewTest, OnWakingFromASleepTheDisplayAndTheLimitCatchUpAtOnce) {
    start(kAimset, 1); // 30 minutes
    sim.loop.advance(10min);
    sim.loop.suspend(15min);
    EXPECT_EQ(view->session()->focusedText(), QStringLiteral("Focused for 25m"));
    EXPECT_EQ(view->session()->milestoneMessage(), QStringLiteral("Almost there. Don't stop now."));
    sim.loop.suspend(3h);
    EXPECT_TRUE(view->session()->sessionEnded());
    EXPECT_EQ(view->session()->summaryDurationText(), QStringLiteral("3h 25m"));
}

TEST_F(ContentViewTest, WarnsAt2h50AndEndsAt3hCountingTheSession) {
    start(kAimset, 1);
    sim.loop.advance(10200s - 1ms);
    EXPECT_EQ(view->session()->sessionWarningMessage(), QString());
    sim.loop.advance(1ms);
    EXPECT_EQ(view->session()->sessionWarningMessage(),
              QStringLiteral("Session ends in 10 minutes."));
    sim.loop.advance(600s);
    EXPECT_TRUE(view->session()->sessionEnded());
    EXPECT_FALSE(view->appMonitor()->isMonitoring());
    EXPECT_FALSE(sim.voiceChord.watching());
    EXPECT_EQ(view->session()->summaryDurationText(), QStringLiteral("3h 0m"));
    EXPECT_TRUE(view->session()->summaryGoalReached());
    EXPECT_EQ(view->session()->summaryGoalText(), QStringLiteral("Goal reached!"));
    EXPECT_EQ(log.lines().last(), QStringLiteral("[Session] Completed sessions: 1"));
    EXPECT_FALSE(view->session()->hasSessionTimers());
}

TEST_F(ContentViewTest, EndingDuringAnInterventionTakesItAwayWithoutClosingAndCountsItOut) {
    start(kAimset, 2); // 1 hour
    browse(QStringLiteral("Cat videos - YouTube"));
    sim.loop.advance(5s);
    answerMisaligned();
    sim.loop.advance(10s);
    view->session()->endSession();
    EXPECT_EQ(view->interventionManager()->phase(), Phase::hidden);
    EXPECT_EQ(sim.frontTab.requests, 0);
    EXPECT_NEAR(view->session()->sessionDuration(), 5.0, 0.01);
    EXPECT_EQ(view->session()->summaryDurationText(), QStringLiteral("< 1m"));
    EXPECT_EQ(view->session()->summaryGoalText(), QStringLiteral("0% of your goal"));
    sim.loop.advance(1h);
    EXPECT_EQ(sim.frontTab.requests, 0);
}

TEST_F(ContentViewTest, StartNewSessionResetsAndTheNextSessionRewires) {
    start(kAimset, 2);
    sim.loop.advance(2000s);
    view->session()->endSession();
    EXPECT_EQ(view->session()->summaryGoalText(), QStringLiteral("55% of your goal"));
    view->startNewSession();
    EXPECT_TRUE(view->showLaunchModal());
    EXPECT_FALSE(view->session()->sessionEnded());
    EXPECT_FALSE(view->session()->hasSessionStart());
    EXPECT_EQ(view->session()->aimset(), QString());
    EXPECT_EQ(view->session()->focusGoalMinutes(), 0);
    EXPECT_EQ(view->launchModal()->aimsetText(), QString());
    EXPECT_EQ(view->launchModal()->goalIndex(), 0);

    sim.loop.runPending();
    start(QStringLiteral("Second session"));
    EXPECT_TRUE(view->appMonitor()->isMonitoring());
    EXPECT_EQ(view->appMonitor()->userAimset(), QStringLiteral("Second session"));
    EXPECT_TRUE(sim.voiceChord.watching());
    view->session()->endSession();
    sim.loop.runPending();
    EXPECT_EQ(log.lines().last(), QStringLiteral("[Session] Completed sessions: 2"));
}

// ---- changing the aimset
// -------------------------------------------------------------------------

TEST_F(ContentViewTest, TypedChangesAreTemporaryAndRestoreBringsBackTheStart) {
    start();
    view->session()->beginChangeAimset();
    view->session()->setNewAimsetText(QStringLiteral("   "));
    view->session()->submitNewAimset();
    EXPECT_TRUE(view->session()->isChangingAimset());
    EXPECT_EQ(view->session()->aimset(), kAimset);

    view->session()->setNewAimsetText(QStringLiteral(" Reply to Dana "));
    view->session()->submitNewAimset();
    EXPECT_FALSE(view->session()->isChangingAimset());
    EXPECT_EQ(view->session()->aimset(), QStringLiteral("Reply to Dana"));
    view->session()->beginChangeAimset();
    EXPECT_EQ(view->session()->newAimsetText(), QString());
    view->session()->setNewAimsetText(QStringLiteral("Book the venue"));
    view->session()->submitNewAimset();
    EXPECT_EQ(view->appMonitor()->originalAimset(), kAimset);

    view->session()->beginChangeAimset();
    view->session()->setNewAimsetText(QStringLiteral("abandoned"));
    view->session()->cancelChangeAimset();
    EXPECT_FALSE(view->session()->isChangingAimset());
    EXPECT_EQ(view->session()->aimset(), QStringLiteral("Book the venue"));

    view->restoreOriginalAimset();
    EXPECT_EQ(view->session()->aimset(), kAimset);
    EXPECT_FALSE(view->appMonitor()->isTemporaryAimset());
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
