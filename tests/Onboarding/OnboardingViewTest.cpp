#include "Onboarding/OnboardingView.h"
#include "ChangeRecorder.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// What each page's sequence announces, in order, timed from the moment the
// page came on screen.
QStringList page0Sequence() {
    return {
        u"200 showHeadline true"_s, u"600 showBrowserFrame true"_s, u"1400 showIntervention true"_s,
        u"2300 countdownValue 6"_s, u"2900 countdownValue 5"_s,     u"3500 countdownValue 4"_s,
        u"4100 countdownValue 3"_s, u"4700 countdownValue 2"_s,     u"5300 countdownValue 1"_s,
        u"5900 showButton true"_s,
    };
}

QStringList page1Sequence() {
    QStringList lines{
        u"2500 stagesPhase 1"_s,
        u"2500 stagesGhostOpacity 0.15"_s,
        u"2500 stagesGhostFloat -6"_s,
        u"4100 stagesGhostOpacity 0"_s,
        u"4100 stagesGhostFloat 0"_s,
        u"5500 stagesPhase 2"_s,
        u"6100 showStagesQuestionUI true"_s,
        u"9600 stagesPhase 3"_s,
        u"10200 showStagesNudgeUI true"_s,
    };
    // From 14 down to 7, one step every 300 ms from 10.8 s.
    for (int value = 14; value >= 7; --value) {
        lines << u"%1 stagesCountdownValue %2"_s.arg(10800 + 300 * (14 - value)).arg(value);
    }
    return lines << u"13200 showStagesClosing true"_s << u"15200 showStagesButton true"_s;
}

QStringList page2Sequence() {
    QStringList lines{
        u"200 showVoiceHeadline true"_s, u"600 showKeyboardHint true"_s,
        u"1200 optionKeyPressed true"_s, u"1350 mKeyPressed true"_s,
        u"1650 showVoicePanel true"_s,
    };
    // One character every 45 ms from 2.05 s.
    const QString sentence = u"I'm planning my trip to Tokyo now"_s;
    for (int typed = 1; typed <= 33; ++typed) {
        lines << u"%1 voiceTranscript %2"_s.arg(2050 + 45 * typed).arg(sentence.left(typed));
    }
    lines << u"4035 mKeyPressed false"_s << u"4135 optionKeyPressed false"_s
          << u"4335 showVoicePanel false"_s << u"4735 showVoiceButton true"_s;
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

    // After the page was left: nothing runs while away, then it comes back;
    // returns what coming back announced.
    QStringList stayAwayAndReturn() {
        EXPECT_EQ(loop.scheduledTimerCount(), 0u);
        changes.take();
        loop.advance(30s);
        EXPECT_EQ(changes.take(), QStringList());
        changes.restart();
        view.appear();
        return changes.take();
    }
    // Shows the onboarding and plays each page before `page` to its end, where
    // its Next button appears; the recorder counts from there.
    void playPagesBefore(int page) {
        static constexpr std::chrono::milliseconds pageEnds[] = {5900ms, 15200ms, 4735ms};
        view.appear();
        for (int shown = 0; shown < page; ++shown) {
            if (shown > 0) {
                view.next();
            }
            loop.advance(pageEnds[shown]);
        }
        changes.take();
        changes.restart();
    }
    void reachPage(int page) {
        playPagesBefore(page);
        view.next();
        ASSERT_EQ(view.currentPage(), page);
        changes.take();
    }
    // On the accessibility step, presses the button without access (and grants it).
    void pressWithoutAccess() {
        reachPage(3);
        accessibility.trusted = false;
        view.enableAccessibility();
    }
    void grantWhilePolling() {
        pressWithoutAccess();
        accessibility.trusted = true;
        loop.advance(1100ms);
        ASSERT_TRUE(view.permissionGranted());
    }
};

// ---- the page sequences -----------------------------------------------------------------------

TEST_F(OnboardingViewTest, NothingPlaysBeforeTheOnboardingIsShownAndTheButtonWaitsForPage3) {
    loop.advance(60s);
    EXPECT_EQ(changes.take(), QStringList());
    EXPECT_EQ(view.currentPage(), 0);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    view.appear();
    loop.advance(20s);
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls, QStringList());
    EXPECT_EQ(completions, 0);
}

TEST_F(OnboardingViewTest, Page0CountsSevenToOneAndOffersNextAtTheSeventhTick) {
    view.appear();
    loop.advance(1s);
    view.appear(); // showing it again while shown starts no second run
    loop.advance(4899ms);
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
    playPagesBefore(1);
    view.next();
    EXPECT_EQ(changes.take(), (QStringList{u"0 currentPage 1"_s, u"0 isStagesActive true"_s}));
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
    playPagesBefore(2);
    view.next();
    EXPECT_EQ(changes.take(), (QStringList{u"0 isStagesActive false"_s, u"0 currentPage 2"_s}));
    loop.advance(4734ms);
    view.next(); // no button yet
    EXPECT_EQ(view.currentPage(), 2);
    loop.advance(1ms);
    EXPECT_EQ(changes.take(), page2Sequence());
    view.next();
    EXPECT_EQ(changes.take(), QStringList{u"4735 currentPage 3"_s});
    // Page 3 plays nothing by itself.
    loop.advance(60s);
    EXPECT_EQ(changes.take(), QStringList());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    EXPECT_EQ(accessibility.calls, QStringList());
}

// ---- leaving and returning --------------------------------------------------------------------

TEST_F(OnboardingViewTest, LeavingPage0StopsItAndReturningPlaysItFromTheStart) {
    view.appear();
    loop.advance(3s);
    EXPECT_EQ(changes.take(), page0Sequence().mid(0, 5));
    view.disappear();
    EXPECT_EQ(changes.take(), QStringList());
    EXPECT_EQ(stayAwayAndReturn(),
              (QStringList{u"0 showHeadline false"_s, u"0 showBrowserFrame false"_s,
                           u"0 showIntervention false"_s, u"0 countdownValue 7"_s}));
    loop.advance(5900ms);
    EXPECT_EQ(changes.take(), page0Sequence());
}

TEST_F(OnboardingViewTest, LeavingPage1StopsItsStepsPulseAndCountdownAndReturningRestartsIt) {
    reachPage(1);
    // Mid-pulse first: the mascot stays where it is.
    loop.advance(3s);
    view.disappear();
    EXPECT_FALSE(view.isStagesActive());
    EXPECT_EQ(stayAwayAndReturn(),
              (QStringList{u"0 stagesPhase 0"_s, u"0 stagesGhostOpacity 0"_s,
                           u"0 stagesGhostFloat 0"_s, u"0 isStagesActive true"_s}));
    // Then in the middle of the countdown.
    loop.advance(11s);
    EXPECT_EQ(changes.take(), page1Sequence().mid(0, 10));
    view.disappear();
    EXPECT_EQ(changes.take(), QStringList{u"11000 isStagesActive false"_s});
    EXPECT_EQ(stayAwayAndReturn(),
              (QStringList{u"0 stagesPhase 0"_s, u"0 stagesCountdownValue 15"_s,
                           u"0 showStagesQuestionUI false"_s, u"0 showStagesNudgeUI false"_s,
                           u"0 isStagesActive true"_s}));
    loop.advance(15200ms);
    EXPECT_EQ(changes.take(), page1Sequence());
}

TEST_F(OnboardingViewTest, LeavingPage2MidSentenceStopsTheTypingAndReturningRetypesIt) {
    reachPage(2);
    loop.advance(2950ms);
    EXPECT_EQ(view.voiceTranscript(), u"I'm planning my trip"_s);
    view.disappear();
    EXPECT_EQ(stayAwayAndReturn(),
              (QStringList{u"0 showVoiceHeadline false"_s, u"0 showKeyboardHint false"_s,
                           u"0 optionKeyPressed false"_s, u"0 mKeyPressed false"_s,
                           u"0 showVoicePanel false"_s, u"0 voiceTranscript "_s}));
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
    reachPage(3);
    accessibility.trusted = true;
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls, QStringList{u"isProcessTrusted"_s});
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    // Finished for good: the button does nothing more.
    view.enableAccessibility();
    loop.advance(5s);
    EXPECT_EQ(accessibility.calls, QStringList{u"isProcessTrusted"_s});
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, TrustArrivingWhilePollingShowsDoneAndFinishes300MsLater) {
    reachPage(3);
    accessibility.trusted = false;
    EXPECT_EQ(view.permissionButtonTitle(), u"Enable Aimset"_s);
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls,
              (QStringList{u"isProcessTrusted"_s, u"requestTrustWithPrompt"_s}));
    loop.advance(3500ms);
    EXPECT_EQ(view.permissionPollCount(), 3);
    accessibility.trusted = true;
    loop.advance(500ms);
    // Still off at the first poll: titles alone are offered until access comes.
    EXPECT_EQ(changes.take(), (QStringList{u"1000 canContinueWithTitlesOnly true"_s,
                                           u"4000 permissionGranted true"_s,
                                           u"4000 permissionButtonTitle Done"_s}));
    EXPECT_FALSE(view.isPollingPermission());
    loop.advance(299ms);
    EXPECT_EQ(completions, 0);
    loop.advance(1ms);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(accessibility.calls.count(u"isProcessTrusted"_s), 5);
    loop.advance(5s);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(OnboardingViewTest, PressingDoneDuringThePauseCompletesOnlyOnce) {
    grantWhilePolling();
    view.enableAccessibility();
    EXPECT_EQ(completions, 1);
    loop.advance(1s);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, PollingGivesUpAfter120PollsAndThePressStartsItAnew) {
    pressWithoutAccess();
    loop.advance(119s);
    EXPECT_TRUE(view.isPollingPermission());
    loop.advance(1s);
    EXPECT_FALSE(view.isPollingPermission());
    EXPECT_EQ(view.permissionPollCount(), 120);
    EXPECT_EQ(accessibility.calls.count(u"isProcessTrusted"_s), 121);
    loop.advance(10min);
    EXPECT_EQ(accessibility.calls.count(u"isProcessTrusted"_s), 121);
    EXPECT_FALSE(view.permissionGranted());
    EXPECT_EQ(view.permissionButtonTitle(), u"Enable Aimset"_s);
    EXPECT_EQ(completions, 0);

    // Pressed again: a new prompt and a new round of polls.
    accessibility.calls.clear();
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls,
              (QStringList{u"isProcessTrusted"_s, u"requestTrustWithPrompt"_s}));
    loop.advance(60s);
    EXPECT_EQ(view.permissionPollCount(), 60);
    accessibility.trusted = true;
    loop.advance(1300ms);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, AccessGrantedAfterPollingGaveUpFinishesOnTheNextPress) {
    pressWithoutAccess();
    loop.advance(120s);
    accessibility.trusted = true;
    loop.advance(10s);
    EXPECT_EQ(completions, 0);
    view.enableAccessibility();
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, PressingAgainWhilePollingPromptsAgainAndRestartsTheCount) {
    pressWithoutAccess();
    loop.advance(100s);
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls.count(u"requestTrustWithPrompt"_s), 2);
    loop.advance(119s);
    EXPECT_TRUE(view.isPollingPermission());
    loop.advance(1s);
    EXPECT_FALSE(view.isPollingPermission());
    EXPECT_EQ(accessibility.calls.count(u"isProcessTrusted"_s), 2 + 100 + 120);
}

TEST_F(OnboardingViewTest, LeavingPage3StopsPolling) {
    pressWithoutAccess();
    loop.advance(5s);
    view.disappear();
    EXPECT_FALSE(view.isPollingPermission());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    accessibility.trusted = true;
    loop.advance(5s);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(accessibility.calls.count(u"isProcessTrusted"_s), 6);
}

TEST_F(OnboardingViewTest, LeavingDuringTheDonePauseStillCompletes) {
    grantWhilePolling();
    // Access is granted: the onboarding ends even if the window went away.
    view.disappear();
    loop.advance(200ms);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewTest, AccessThatCannotBeSwitchedOnLeavesTheWayOnWithTitlesAlone) {
    pressWithoutAccess();
    // Not before the desktop has answered the request.
    EXPECT_FALSE(view.canContinueWithTitlesOnly());
    view.continueWithTitlesOnly();
    EXPECT_EQ(completions, 0);
    loop.advance(1s);
    EXPECT_TRUE(view.canContinueWithTitlesOnly());
    view.continueWithTitlesOnly();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    EXPECT_EQ(accessibility.calls.count(u"requestTrustWithPrompt"_s), 1);
}

} // namespace
