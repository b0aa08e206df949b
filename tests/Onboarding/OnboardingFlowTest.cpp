#include "Onboarding/OnboardingFlow.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// When each page's "Next" comes, from the moment the page is shown.
constexpr std::chrono::milliseconds pageEnds[] = {5900ms, 15200ms, 4735ms};

struct OnboardingFlowTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeAccessibility accessibility;
    OnboardingFlow view{loop, accessibility};
    int completions = 0;

    OnboardingFlowTest() {
        view.onComplete = [this] { ++completions; };
    }

    void reachPage(int page) {
        view.appear();
        for (int shown = 0; shown < page; ++shown) {
            loop.advance(pageEnds[shown]);
            view.next();
        }
        ASSERT_EQ(view.currentPage(), page);
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

// ---- the pages ----------------------------------------------------------------------------------

TEST_F(OnboardingFlowTest, AFiringAfterTheFlowIsGoneDoesNothing) {
    auto gone = std::make_unique<OnboardingFlow>(loop, accessibility);
    gone->appear();
    loop.advance(2s);
    gone.reset();
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    loop.advance(30s);
}

// ---- the accessibility step -------------------------------------------------------------------

TEST_F(OnboardingFlowTest, AlreadyTrustedFinishesAtOnceWithoutAPrompt) {
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

TEST_F(OnboardingFlowTest, TrustArrivingWhilePollingShowsDoneAndFinishes300MsLater) {
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
    EXPECT_TRUE(view.canContinueWithTitlesOnly());
    EXPECT_TRUE(view.permissionGranted());
    EXPECT_EQ(view.permissionButtonTitle(), u"Done"_s);
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

TEST_F(OnboardingFlowTest, PressingDoneDuringThePauseCompletesOnlyOnce) {
    grantWhilePolling();
    view.enableAccessibility();
    EXPECT_EQ(completions, 1);
    loop.advance(1s);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingFlowTest, PollingGivesUpAfter120PollsAndThePressStartsItAnew) {
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

TEST_F(OnboardingFlowTest, AccessGrantedAfterPollingGaveUpFinishesOnTheNextPress) {
    pressWithoutAccess();
    loop.advance(120s);
    accessibility.trusted = true;
    loop.advance(10s);
    EXPECT_EQ(completions, 0);
    view.enableAccessibility();
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingFlowTest, PressingAgainWhilePollingPromptsAgainAndRestartsTheCount) {
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

TEST_F(OnboardingFlowTest, LeavingPage3StopsPolling) {
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

TEST_F(OnboardingFlowTest, LeavingDuringTheDonePauseStillCompletes) {
    grantWhilePolling();
    // Access is granted: the onboarding ends even if the window went away.
    view.disappear();
    loop.advance(200ms);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingFlowTest, AccessThatCannotBeSwitchedOnLeavesTheWayOnWithTitlesAlone) {
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
