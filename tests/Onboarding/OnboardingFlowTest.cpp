#include "Onboarding/OnboardingFlow.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeDesktopExtension.h"
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
        QObject::connect(&view, &OnboardingFlow::completed, [this] { ++completions; });
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

// Shown again, the pages start over; gone, nothing of them fires.
TEST_F(OnboardingFlowTest, ShownAgainThePagesRestartAndGoneTheyStop) {
    auto gone = std::make_unique<OnboardingFlow>(loop, accessibility);
    gone->appear();
    loop.advance(3s);
    gone->disappear();
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    gone->appear();
    EXPECT_EQ(gone->demo("countdownValue").toInt(), 7);
    EXPECT_FALSE(gone->demo("showHeadline").toBool());
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
    view.enableAccessibility();
    loop.advance(3500ms);
    EXPECT_EQ(view.permissionPollCount(), 3);
    accessibility.trusted = true;
    loop.advance(500ms);
    // Still off at the first poll: titles alone are offered until access comes.
    EXPECT_TRUE(view.canContinueWithTitlesOnly());
    EXPECT_TRUE(view.permissionGranted());
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

TEST_F(OnboardingFlowTest, PollingGivesUpAfter120PollsAndEachPressStartsItAnew) {
    pressWithoutAccess();
    loop.advance(119s);
    EXPECT_TRUE(view.isPollingPermission());
    loop.advance(1s);
    EXPECT_FALSE(view.isPollingPermission());
    EXPECT_EQ(view.permissionPollCount(), 120);
    EXPECT_EQ(accessibility.calls.count(u"isProcessTrusted"_s), 121);
    loop.advance(10min);
    EXPECT_EQ(accessibility.calls.count(u"isProcessTrusted"_s), 121);
    EXPECT_EQ(view.permissionButtonTitle(), u"Enable Aimset"_s);

    // Pressed again: a new prompt and a new round of polls; pressed while
    // polling, another prompt and the count starts over.
    accessibility.calls.clear();
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls,
              (QStringList{u"isProcessTrusted"_s, u"requestTrustWithPrompt"_s}));
    loop.advance(100s);
    EXPECT_EQ(view.permissionPollCount(), 100);
    view.enableAccessibility();
    EXPECT_EQ(accessibility.calls.count(u"requestTrustWithPrompt"_s), 2);
    loop.advance(119s);
    EXPECT_TRUE(view.isPollingPermission());
    loop.advance(1s);
    EXPECT_FALSE(view.isPollingPermission());
    EXPECT_EQ(accessibility.calls.count(u"isProcessTrusted"_s), 2 + 100 + 120);

    // Access granted after the polls gave up: the next press finishes.
    accessibility.trusted = true;
    loop.advance(10s);
    EXPECT_EQ(completions, 0);
    view.enableAccessibility();
    EXPECT_EQ(completions, 1);
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

// ---- the desktop extension, switched on with access
// -----------------------------------------------

namespace aimset {
void PrintTo(DesktopExtension::State state, std::ostream* out) {
    *out << static_cast<int>(state);
}
} // namespace aimset

namespace {

using Extension = DesktopExtension::State;

struct ExtensionCase {
    const char* name;
    Extension before;
    // What switching it on answers; nothing when it is not asked.
    std::optional<Extension> answer;
    QString noteBefore;
    QString noteAfter;
    // The onboarding ends by itself once access and the extension are on;
    // otherwise "Done" waits to be pressed.
    bool endsByItself;
};

const QString kOffNote =
    u"Under Wayland, GNOME shows apps nothing of other windows. \u201CEnable Aimset\u201D also "
    u"switches on Aimset's GNOME Shell extension, which tells Aimset the window in front, sends "
    u"it Ctrl+W and hears Alt+M."_s;
const QString kNextLoginNote =
    u"Log out and back in once: GNOME loads a newly installed extension only at login. Until "
    u"then sessions cannot watch windows."_s;
const QString kMissingNote = u"Aimset's GNOME Shell extension is missing or GNOME cannot start it, "
                             u"so sessions cannot watch windows. Aimset's log says why."_s;

const ExtensionCase extensionCases[] = {
    {"StartsAtOnce", Extension::off, Extension::running, kOffNote, {}, true},
    {"LoadsAtNextLogin", Extension::off, Extension::nextLogin, kOffNote, kNextLoginNote, false},
    {"CannotStart", Extension::off, Extension::unavailable, kOffNote, kMissingNote, false},
    {"AlreadyRunning", Extension::running, std::nullopt, {}, {}, true},
    {"NotInstalled", Extension::unavailable, std::nullopt, kMissingNote, kMissingNote, false},
};

struct OnboardingExtensionTest : OnboardingFlowTest, ::testing::WithParamInterface<ExtensionCase> {
    FakeDesktopExtension extension;
};

TEST_P(OnboardingExtensionTest, EnableAimsetAlsoSwitchesOnTheExtension) {
    const ExtensionCase& c = GetParam();
    extension.current = c.before;
    view.setDesktopExtension(&extension);
    reachPage(3);
    EXPECT_EQ(view.extensionNote(), c.noteBefore);
    // Access comes while the extension is asked: neither alone ends the step.
    accessibility.trusted = false;
    view.enableAccessibility();
    ASSERT_EQ(extension.pending.size(), c.answer ? 1u : 0u);
    accessibility.trusted = true;
    loop.advance(1100ms);
    if (c.answer) {
        loop.advance(5s);
        EXPECT_EQ(completions, 0);
        extension.answer(*c.answer);
    }
    EXPECT_EQ(view.extensionNote(), c.noteAfter);
    EXPECT_EQ(view.permissionButtonTitle(), u"Done"_s);
    loop.advance(300ms);
    EXPECT_EQ(completions, c.endsByItself ? 1 : 0);
    view.enableAccessibility();
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(extension.pending.empty());
}

INSTANTIATE_TEST_SUITE_P(States, OnboardingExtensionTest, ::testing::ValuesIn(extensionCases),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
