#include "Onboarding/OnboardingView.h"
#include "ChangeRecorder.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

// What each page's sequence announces, in order, timed from the moment the
// page came on screen.
QStringList page0Sequence() {
    return {
        QStringLiteral("200 showHeadline true"),      QStringLiteral("600 showBrowserFrame true"),
        QStringLiteral("1400 showIntervention true"), QStringLiteral("2300 countdownValue 6"),
        QStringLiteral("2900 countdownValue 5"),      QStringLiteral("3500 countdownValue 4"),
        QStringLiteral("4100 countdownValue 3"),      QStringLiteral("4700 countdownValue 2"),
        QStringLiteral("5300 countdownValue 1"),      QStringLiteral("5900 showButton true"),
    };
}

QStringList page1Sequence() {
    return {
        QStringLiteral("2500 stagesPhase 1"),
        QStringLiteral("2500 stagesGhostOpacity 0.15"),
        QStringLiteral("2500 stagesGhostFloat -6"),
        QStringLiteral("4100 stagesGhostOpacity 0"),
        QStringLiteral("4100 stagesGhostFloat 0"),
        QStringLiteral("5500 stagesPhase 2"),
        QStringLiteral("6100 showStagesQuestionUI true"),
        QStringLiteral("9600 stagesPhase 3"),
        QStringLiteral("10200 showStagesNudgeUI true"),
        QStringLiteral("10800 stagesCountdownValue 14"),
        QStringLiteral("11100 stagesCountdownValue 13"),
        QStringLiteral("11400 stagesCountdownValue 12"),
        QStringLiteral("11700 stagesCountdownValue 11"),
        QStringLiteral("12000 stagesCountdownValue 10"),
        QStringLiteral("12300 stagesCountdownValue 9"),
        QStringLiteral("12600 stagesCountdownValue 8"),
        QStringLiteral("12900 stagesCountdownValue 7"),
        QStringLiteral("13200 showStagesClosing true"),
        QStringLiteral("15200 showStagesButton true"),
    };
}

QStringList page2Sequence() {
    QStringList lines{
        QStringLiteral("200 showVoiceHeadline true"), QStringLiteral("600 showKeyboardHint true"),
        QStringLiteral("1200 optionKeyPressed true"), QStringLiteral("1350 mKeyPressed true"),
        QStringLiteral("1650 showVoicePanel true"),
    };
    // One character every 45 ms from 2.05 s.
    const QString sentence = QStringLiteral("I'm planning my trip to Tokyo now");
    for (int typed = 1; typed <= 33; ++typed) {
        lines << QStringLiteral("%1 voiceTranscript %2")
                     .arg(2050 + 45 * typed)
                     .arg(sentence.left(typed));
    }
    lines << QStringLiteral("4035 mKeyPressed false")
          << QStringLiteral("4135 optionKeyPressed false")
          << QStringLiteral("4335 showVoicePanel false")
          << QStringLiteral("4735 showVoiceButton true");
    return lines;
}

struct OnboardingViewTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeAccessibility accessibility;
    OnboardingView view{loop, accessibility};
    test::ChangeRecorder changes{view, loop};
    int completions = 0;

    OnboardingViewTest() {
        view.onComplete = [this] { ++completions; };
    }

    // Plays the pages through to the accessibility step.
    void reachPage3() {
        view.appear();
        loop.advance(5900ms);
        view.next();
        loop.advance(15200ms);
        view.next();
        loop.advance(4735ms);
        view.next();
        ASSERT_EQ(view.currentPage(), 3);
        changes.take();
        changes.restart();
    }
};

// ---- the page sequences -----------------------------------------------------------------------

TEST_F(OnboardingViewTest, NothingPlaysBeforeTheOnboardingIsShown) {
    loop.advance(60s);
    EXPECT_EQ(changes.take(), QStringList());
    EXPECT_EQ(view.currentPage(), 0);
    EXPECT_EQ(view.countdownValue(), 7);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(OnboardingViewTest, Page0CountsSevenToOneAndOffersNextAtTheSeventhTick) {
    view.appear();
    loop.advance(5899ms);
    view.next(); // no button yet
    EXPECT_EQ(view.currentPage(), 0);
    loop.advance(1ms);
    EXPECT_EQ(changes.take(), page0Sequence());
    // The card stays at 1 and the countdown is over.
    loop.advance(30s);
    EXPECT_EQ(changes.take(), QStringList());
    EXPECT_EQ(view.countdownValue(), 1);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(OnboardingViewTest, Page1WalksTheThreeOutcomesAndOffersNextAt15Point2Seconds) {
    view.appear();
    loop.advance(5900ms);
    changes.take();
    changes.restart();
    view.next();
    EXPECT_EQ(changes.take(), (QStringList{QStringLiteral("0 currentPage 1"),
                                           QStringLiteral("0 isStagesActive true")}));
    loop.advance(15199ms);
    view.next(); // no button yet
    EXPECT_EQ(view.currentPage(), 1);
    loop.advance(1ms);
    EXPECT_EQ(changes.take(), page1Sequence());
    loop.advance(30s);
    EXPECT_EQ(changes.take(), QStringList());
    EXPECT_EQ(view.stagesCountdownValue(), 7);
}

TEST_F(OnboardingViewTest, Page2TypesTheSpokenAimsetAndOffersNextAtTheEnd) {
    view.appear();
    loop.advance(5900ms);
    view.next();
    loop.advance(15200ms);
    changes.take();
    changes.restart();
    view.next();
    EXPECT_EQ(changes.take(), (QStringList{QStringLiteral("0 isStagesActive false"),
                                           QStringLiteral("0 currentPage 2")}));
    loop.advance(4734ms);
    view.next(); // no button yet
    EXPECT_EQ(view.currentPage(), 2);
    loop.advance(1ms);
    EXPECT_EQ(changes.take(), page2Sequence());
    view.next();
    EXPECT_EQ(changes.take(), QStringList{QStringLiteral("4735 currentPage 3")});
    // Page 3 plays nothing by itself.
    loop.advance(60s);
    EXPECT_EQ(changes.take(), QStringList());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    EXPECT_EQ(accessibility.calls, QStringList());
}

TEST_F(OnboardingViewTest, ShowingItAgainWhileShownStartsNoSecondRun) {
    view.appear();
    loop.advance(1s);
    view.appear();
    loop.advance(4900ms);
    EXPECT_EQ(changes.take(), page0Sequence());
}

// ---- leaving and returning --------------------------------------------------------------------

TEST_F(OnboardingViewTest, LeavingPage0StopsItAndReturningPlaysItFromTheStart) {
    view.appear();
    loop.advance(3s);
    EXPECT_EQ(changes.take(), page0Sequence().mid(0, 5));
    view.disappear();
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    loop.advance(30s);
    EXPECT_EQ(changes.take(), QStringList());

    changes.restart();
    view.appear();
    EXPECT_EQ(changes.take(), (QStringList{QStringLiteral("0 showHeadline false"),
                                           QStringLiteral("0 showBrowserFrame false"),
                                           QStringLiteral("0 showIntervention false"),
                                           QStringLiteral("0 countdownValue 7")}));
    loop.advance(5900ms);
    EXPECT_EQ(changes.take(), page0Sequence());
}

TEST_F(OnboardingViewTest, LeavingPage1StopsItsStepsPulseAndCountdownAndReturningRestartsIt) {
    view.appear();
    loop.advance(5900ms);
    view.next();
    // Mid-pulse first: the mascot stays where it is.
    loop.advance(3s);
    view.disappear();
    EXPECT_FALSE(view.isStagesActive());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    changes.take();
    loop.advance(30s);
    EXPECT_EQ(changes.take(), QStringList());

    changes.restart();
    view.appear();
    EXPECT_EQ(changes.take(), (QStringList{QStringLiteral("0 stagesPhase 0"),
                                           QStringLiteral("0 stagesGhostOpacity 0"),
                                           QStringLiteral("0 stagesGhostFloat 0"),
                                           QStringLiteral("0 isStagesActive true")}));
    // Then in the middle of the countdown.
    loop.advance(11s);
    EXPECT_EQ(changes.take(), page1Sequence().mid(0, 10));
    view.disappear();
    EXPECT_EQ(changes.take(), QStringList{QStringLiteral("11000 isStagesActive false")});
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    loop.advance(30s);
    EXPECT_EQ(changes.take(), QStringList());

    changes.restart();
    view.appear();
    EXPECT_EQ(changes.take(), (QStringList{QStringLiteral("0 stagesPhase 0"),
                                           QStringLiteral("0 stagesCountdownValue 15"),
                                           QStringLiteral("0 showStagesQuestionUI false"),
                                           QStringLiteral("0 showStagesNudgeUI false"),
                                           QStringLiteral("0 isStagesActive true")}));
    loop.advance(15200ms);
    EXPECT_EQ(changes.take(), page1Sequence());
}

TEST_F(OnboardingViewTest, LeavingPage2MidSentenceStopsTheTypingAndReturningRetypesIt) {
    view.appear();
    loop.advance(5900ms);
    view.next();
    loop.advance(15200ms);
    view.next();
    loop.advance(2950ms);
    EXPECT_EQ(view.voiceTranscript(), QStringLiteral("I'm planning my trip"));
    view.disappear();
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    changes.take();
    loop.advance(30s);
    EXPECT_EQ(changes.take(), QStringList());

    changes.restart();
    view.appear();
    EXPECT_EQ(changes.take(), (QStringList{QStringLiteral("0 showVoiceHeadline false"),
                                           QStringLiteral("0 showKeyboardHint false"),
                                           QStringLiteral("0 optionKeyPressed false"),
                                           QStringLiteral("0 mKeyPressed false"),
                                           QStringLiteral("0 showVoicePanel false"),
                                           QStringLiteral("0 voiceTranscript ")}));
    loop.advance(4735ms);
    EXPECT_EQ(changes.take(), page2Sequence());
}

TEST_F(OnboardingViewTest, AFiringAfterTheViewIsGoneDoesNothing) {
    auto gone = std::make_unique<OnboardingView>(loop, accessibility);
    gone->appear();
    loop.advance(2s);
    gone.reset();
    loop.advance(30s);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

// ---- the accessibility step -------------------------------------------------------------------

TEST_F(OnboardingViewTest, AlreadyTrustedFinishesAtOnceWithoutAPrompt) {
    reachPage3();
    accessibility.trusted = true;
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls, QStringList{QStringLiteral("isProcessTrusted")});
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    // Finished for good: the button does nothing more.
    view.enableAccessibility();
    loop.advance(5s);
    EXPECT_EQ(accessibility.calls, QStringList{QStringLiteral("isProcessTrusted")});
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, TrustArrivingWhilePollingShowsDoneAndFinishes300MsLater) {
    reachPage3();
    accessibility.trusted = false;
    EXPECT_EQ(view.permissionButtonTitle(), QStringLiteral("Enable Aimset"));
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls, (QStringList{QStringLiteral("isProcessTrusted"),
                                                QStringLiteral("requestTrustWithPrompt")}));
    loop.advance(3500ms);
    EXPECT_EQ(view.permissionPollCount(), 3);
    accessibility.trusted = true;
    loop.advance(500ms);
    EXPECT_EQ(changes.take(), (QStringList{QStringLiteral("4000 permissionGranted true"),
                                           QStringLiteral("4000 permissionButtonTitle Done")}));
    EXPECT_FALSE(view.isPollingPermission());
    loop.advance(299ms);
    EXPECT_EQ(completions, 0);
    loop.advance(1ms);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(accessibility.calls.count(QStringLiteral("isProcessTrusted")), 5);
    loop.advance(5s);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(OnboardingViewTest, PressingDoneDuringThePauseCompletesOnlyOnce) {
    reachPage3();
    accessibility.trusted = false;
    view.enableAccessibility();
    accessibility.trusted = true;
    loop.advance(1100ms);
    ASSERT_TRUE(view.permissionGranted());
    view.enableAccessibility();
    EXPECT_EQ(completions, 1);
    loop.advance(1s);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, PollingGivesUpAfter120PollsAndThePressStartsItAnew) {
    reachPage3();
    accessibility.trusted = false;
    view.enableAccessibility();
    loop.advance(119s);
    EXPECT_TRUE(view.isPollingPermission());
    loop.advance(1s);
    EXPECT_FALSE(view.isPollingPermission());
    EXPECT_EQ(view.permissionPollCount(), 120);
    EXPECT_EQ(accessibility.calls.count(QStringLiteral("isProcessTrusted")), 121);
    loop.advance(10min);
    EXPECT_EQ(accessibility.calls.count(QStringLiteral("isProcessTrusted")), 121);
    EXPECT_FALSE(view.permissionGranted());
    EXPECT_EQ(view.permissionButtonTitle(), QStringLiteral("Enable Aimset"));
    EXPECT_EQ(completions, 0);

    // Pressed again: a new prompt and a new round of polls.
    accessibility.calls.clear();
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls, (QStringList{QStringLiteral("isProcessTrusted"),
                                                QStringLiteral("requestTrustWithPrompt")}));
    loop.advance(60s);
    EXPECT_EQ(view.permissionPollCount(), 60);
    accessibility.trusted = true;
    loop.advance(1300ms);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, AccessGrantedAfterPollingGaveUpFinishesOnTheNextPress) {
    reachPage3();
    accessibility.trusted = false;
    view.enableAccessibility();
    loop.advance(120s);
    accessibility.trusted = true;
    loop.advance(10s);
    EXPECT_EQ(completions, 0);
    view.enableAccessibility();
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, PressingAgainWhilePollingPromptsAgainAndRestartsTheCount) {
    reachPage3();
    accessibility.trusted = false;
    view.enableAccessibility();
    loop.advance(100s);
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls.count(QStringLiteral("requestTrustWithPrompt")), 2);
    loop.advance(119s);
    EXPECT_TRUE(view.isPollingPermission());
    loop.advance(1s);
    EXPECT_FALSE(view.isPollingPermission());
    EXPECT_EQ(accessibility.calls.count(QStringLiteral("isProcessTrusted")), 2 + 100 + 120);
}

TEST_F(OnboardingViewTest, LeavingPage3StopsPolling) {
    reachPage3();
    accessibility.trusted = false;
    view.enableAccessibility();
    loop.advance(5s);
    view.disappear();
    EXPECT_FALSE(view.isPollingPermission());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    accessibility.trusted = true;
    loop.advance(5s);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(accessibility.calls.count(QStringLiteral("isProcessTrusted")), 6);
}

TEST_F(OnboardingViewTest, LeavingDuringTheDonePauseStillCompletes) {
    reachPage3();
    accessibility.trusted = false;
    view.enableAccessibility();
    accessibility.trusted = true;
    loop.advance(1100ms);
    ASSERT_TRUE(view.permissionGranted());
    // Access is granted: the onboarding ends even if the window went away.
    view.disappear();
    loop.advance(200ms);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, TheButtonDoesNothingBeforePage3) {
    view.appear();
    loop.advance(20s);
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls, QStringList());
    EXPECT_EQ(completions, 0);
}

TEST(OnboardingViewTextTest, TheLinuxNoteNamesTheRestartAndChromiumFlag) {
    EXPECT_EQ(OnboardingView::accessibilityNote(),
              QStringLiteral("Restart apps that were open before you enabled access.\n"
                             "Chromium also needs --force-renderer-accessibility."));
}

} // namespace
